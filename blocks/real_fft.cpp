#include "blocks/real_fft.h"

#include <cmath>

#include "blocks/complex_fft.h"
#include "blocks/fft_engine.h"
#include "blocks/transform_block.h"

namespace {

// Turns the n/2-point complex transform of the packed samples in re [n/2 + 1], im [n/2 + 1] into
// bins 0 to n/2 of the real spectrum; the twiddle e^(ik theta) is built by recurrence.
void splitSpectrum(int32_t n, double* re, double* im) {
    const int32_t n2 = n / 2;
    const int32_t n4 = n2 / 2;
    const double theta = -8.0 * std::atan(1.0) / n;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    double wr = 1.0;
    double wi = 0.0;

    // Bins 0 and n/2 are real.
    re[n2] = re[0] - im[0];
    im[n2] = 0.0;
    re[0] = re[0] + im[0];
    im[0] = 0.0;

    for (int32_t k = 1; k < n4; ++k) {
        const int32_t p = n2 - k;
        const double wrNext = wr * c - wi * s;
        const double wiNext = wi * c + wr * s;
        wr = wrNext;
        wi = wiNext;
        const double h1r = 0.5 * (re[k] + re[p]);
        const double h1i = 0.5 * (im[k] - im[p]);
        const double h2r = 0.5 * (im[k] + im[p]);
        const double h2i = -0.5 * (re[k] - re[p]);
        re[k] = h1r + wr * h2r - wi * h2i;
        im[k] = h1i + wr * h2i + wi * h2r;
        re[p] = h1r - wr * h2r + wi * h2i;
        im[p] = -h1i + wr * h2i + wi * h2r;
    }

    im[n4] = -im[n4];
}

// Transforms the N real inputs u [N] into the split spectrum y [2N]: real parts of bins 0 to N - 1
// in y [0 .. N - 1], imaginary parts in y [N .. 2N - 1]. Does nothing outside a major step.
void realFftOutputs(double* y, const double* /*x*/, const double* const* u, BlockRecord* block,
                    int32_t /*taskIndex*/) {
    if (block->info->simTimeStep != 1) {
        return;
    }
    const int32_t n = block->numInputPorts;
    // Widths that would make the transform write past the output are refused.
    if (n < 1) {
        setBlockError(block, "Real FFT input width must be positive");
        return;
    }
    if (block->numOutputPorts / 2 < n) {
        setBlockError(block, "Real FFT output must be twice as wide as its input");
        return;
    }
    if (n == 1) {
        y[0] = *u[0];
        y[1] = 0.0;
        return;
    }

    const int32_t n2 = n / 2;
    double* re = y;
    double* im = y + n;
#if !defined(KESTREL9_LITERAL)
    if (n == kRealTableLength) {
        // The model's length: a consecutive input is packed straight from its signal, the split
        // uses the tabled twiddles and writes the mirror as it goes.
        const FftVariant& variant = activeFftVariant();
        const double* source = block->inputHalves[0];
        if (source != nullptr && block->inputHalves[1] == source + n2 &&
            rangesDisjoint(source, n, y, 2 * n)) {
            variant.pack(source, re, im);
        } else {
            for (int32_t t = 0; t < n2; ++t) {
                re[t] = *u[2 * t];
                im[t] = *u[2 * t + 1];
            }
        }
        complexFft(n2, re, im);
        variant.splitAndMirror(re, im, fftTables());
        return;
    }
#endif
    // Even samples as real parts, odd samples as imaginary parts of an n/2-point sequence.
    for (int32_t t = 0; t < n2; ++t) {
        re[t] = *u[2 * t];
        im[t] = *u[2 * t + 1];
    }
    complexFft(n2, re, im);
    splitSpectrum(n, re, im);
    // The upper half is the complex conjugate of the lower half.
    for (int32_t j = 1; j < n2; ++j) {
        re[n2 + j] = re[n2 - j];
        im[n2 + j] = -im[n2 - j];
    }
}

}  // namespace

void registerRealFft(BlockRecord* block) {
    installTransformMethods(block);
    block->methods.vectorOutputs = realFftOutputs;
}
