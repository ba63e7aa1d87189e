#include "model/band_filter.h"

#include <cmath>

const double filterTaps[filterTapCount] = {
    -0.0063084710155561, 0.000664880767533591, 0.000536534190488226, 0.0071349380956116,  // h[0..3]
    -0.0118585135070566, 0.00576273225446768, 0.000745864181482732, 0.00330060319666679,  // h[4..7]
    -0.0096836804641819, 0.00471614277898405, 0.00625298605846039, -0.00709841870160815,  // h[8..11]
    -0.000874180652918315, 0.000408832142437661, 0.0112829983563806, -0.0162325205782156,  // h[12..15]
    0.00657489497341408, 0.00067964085022355, 0.00719433826299125, -0.0152094217313049,  // h[16..19]
    0.00583698693815041, 0.00921141842333253, -0.00773577912977266, -0.00372459819694154,  // h[20..23]
    -0.000226044533869148, 0.0187624713624098, -0.0236049096680127, 0.00776868636828753,  // h[24..27]
    -6.13534691288368e-06, 0.0153749202089512, -0.0260276594757022, 0.00774679831964725,  // h[28..31]
    0.0149749107112827, -0.00818313695198784, -0.0102761221781138, -0.00242557576000462,  // h[32..35]
    0.0373009555283513, -0.0419186373422111, 0.0108852576480286, -0.0032131146588202,  // h[36..39]
    0.0419799339350972, -0.0622691321413386, 0.0144005701664512, 0.0375579944596184,  // h[40..43]
    -0.00841377235532574, -0.0464671856755805, -0.0201477191122198, 0.211081829715078,  // h[44..47]
    -0.313642518444303, 0.153222877530102, 0.153222877530102, -0.313642518444303,  // h[48..51]
    0.211081829715078, -0.0201477191122198, -0.0464671856755805, -0.00841377235532574,  // h[52..55]
    0.0375579944596184, 0.0144005701664512, -0.0622691321413386, 0.0419799339350972,  // h[56..59]
    -0.0032131146588202, 0.0108852576480286, -0.0419186373422111, 0.0373009555283513,  // h[60..63]
    -0.00242557576000462, -0.0102761221781138, -0.00818313695198784, 0.0149749107112827,  // h[64..67]
    0.00774679831964725, -0.0260276594757022, 0.0153749202089512, -6.13534691288368e-06,  // h[68..71]
    0.00776868636828753, -0.0236049096680127, 0.0187624713624098, -0.000226044533869148,  // h[72..75]
    -0.00372459819694154, -0.00773577912977266, 0.00921141842333253, 0.00583698693815041,  // h[76..79]
    -0.0152094217313049, 0.00719433826299125, 0.00067964085022355, 0.00657489497341408,  // h[80..83]
    -0.0162325205782156, 0.0112829983563806, 0.000408832142437661, -0.000874180652918315,  // h[84..87]
    -0.00709841870160815, 0.00625298605846039, 0.00471614277898405, -0.0096836804641819,  // h[88..91]
    0.00330060319666679, 0.000745864181482732, 0.00576273225446768, -0.0118585135070566,  // h[92..95]
    0.0071349380956116, 0.000536534190488226, 0.000664880767533591, -0.0063084710155561,  // h[96..99]
};

namespace {

constexpr int32_t quarter = filterSpectrumBins / 4;

// cosTable, sinTable [16384]: cos and sin of 2 pi m / 16384. Only the first eighth of the circle
// is evaluated; the rest follows by symmetry, so cos(pi/2), sin(pi) and their kin are exact zeros.
void fillTwiddleTable(double* cosTable, double* sinTable) {
    const double step = 6.283185307179586 / static_cast<double>(filterSpectrumBins);
    for (int32_t m = 0; m <= quarter / 2; ++m) {
        cosTable[m] = std::cos(step * static_cast<double>(m));
        sinTable[m] = std::sin(step * static_cast<double>(m));
    }
    for (int32_t m = quarter / 2 + 1; m <= quarter; ++m) {
        cosTable[m] = sinTable[quarter - m];
        sinTable[m] = cosTable[quarter - m];
    }
    for (int32_t m = quarter + 1; m <= 2 * quarter; ++m) {
        cosTable[m] = -cosTable[2 * quarter - m];
        sinTable[m] = sinTable[2 * quarter - m];
    }
    for (int32_t m = 2 * quarter + 1; m < filterSpectrumBins; ++m) {
        cosTable[m] = cosTable[filterSpectrumBins - m];
        sinTable[m] = -sinTable[filterSpectrumBins - m];
    }
}

}  // namespace

void computeFilterSpectrum(double* spectrum) {
    static double cosTable[filterSpectrumBins];
    static double sinTable[filterSpectrumBins];
    fillTwiddleTable(cosTable, sinTable);
    double* re = spectrum;
    double* im = spectrum + filterSpectrumBins;
    const int32_t half = filterSpectrumBins / 2;
    for (int32_t k = 0; k <= half; ++k) {
        double sumRe = 0.0;
        double sumIm = 0.0;
        for (int32_t n = 0; n < filterTapCount; ++n) {
            const int32_t m = (k * n) % filterSpectrumBins;
            sumRe = sumRe + filterTaps[n] * cosTable[m];
            sumIm = sumIm - filterTaps[n] * sinTable[m];
        }
        re[k] = sumRe;
        im[k] = sumIm;
    }
    im[0] = 0.0;
    im[half] = 0.0;
    for (int32_t k = half + 1; k < filterSpectrumBins; ++k) {
        re[k] = re[filterSpectrumBins - k];
        im[k] = -im[filterSpectrumBins - k];
    }
}
