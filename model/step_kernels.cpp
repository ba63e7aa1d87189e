#include "model/step_kernels.h"

#include <cmath>

#include "model/block.h"
#include "model/vector_clones.h"

namespace stepKernels {

KESTREL9_VECTOR_CLONES
void filterProduct(int32_t n, const double* __restrict spectrum, const double* __restrict x,
                   double* __restrict filterSpectrumSig, double* __restrict prodReRe,
                   double* __restrict prodImIm, double* __restrict filteredRe,
                   double* __restrict prodImRe, double* __restrict prodReIm,
                   double* __restrict filteredIm) {
    for (int32_t k = 0; k < n; ++k) {
        const double fRe = spectrum[k];
        const double fIm = spectrum[n + k];
        const double xRe = x[k];
        const double xIm = x[n + k];
        filterSpectrumSig[k] = fRe;
        filterSpectrumSig[n + k] = fIm;
        const double reRe = fRe * xRe;
        const double imIm = fIm * xIm;
        prodReRe[k] = reRe;
        prodImIm[k] = imIm;
        filteredRe[k] = reRe - imIm;
        const double imRe = fIm * xRe;
        const double reIm = xIm * fRe;
        prodImRe[k] = imRe;
        prodReIm[k] = reIm;
        filteredIm[k] = reIm + imRe;
    }
}

KESTREL9_VECTOR_CLONES
void square(int32_t n, const double* __restrict y, double* __restrict energy) {
    for (int32_t k = 0; k < n; ++k) {
        energy[k] = y[k] * y[k];
    }
}

KESTREL9_VECTOR_CLONES
void scale(int32_t n, double gain, const double* __restrict in, double* __restrict out) {
    for (int32_t k = 0; k < n; ++k) {
        out[k] = gain * in[k];
    }
}

KESTREL9_VECTOR_CLONES
double fallTest(int32_t n, const double* __restrict envelope,
                const double* __restrict envelopeDelayed, double threshold,
                double* __restrict fallRatio, double* __restrict fallDetected) {
    // Chunks: the vector pass over one chunk runs while the sum's chain of dependent additions
    // works through the previous one.
    constexpr int32_t chunk = 64;
    double sum = n > 0 ? envelope[0] : 0.0;
    for (int32_t start = 0; start < n; start += chunk) {
        const int32_t end = start + chunk < n ? start + chunk : n;
        for (int32_t k = start; k < end; ++k) {
            const double reciprocal = 1.0 / envelope[k];
            const double ratio = reciprocal * envelopeDelayed[k];
            fallRatio[k] = ratio;
            fallDetected[k] = ratio > threshold ? 1.0 : 0.0;
        }
        for (int32_t k = start > 0 ? start : 1; k < end; ++k) {
            sum = sum + envelope[k];
        }
    }
    return sum;
}

KESTREL9_VECTOR_CLONES
void riseTest(int32_t n, const double* __restrict holdOffCount, double countThreshold,
              const double* __restrict fallDetected, const double* __restrict envelope,
              const double* __restrict envelopeDelayed, double ratioThreshold,
              double* __restrict holdOffActive, double* __restrict peakReset,
              double* __restrict riseRatio, double* __restrict riseDetected) {
    for (int32_t k = 0; k < n; ++k) {
        const double active = holdOffCount[k] > countThreshold ? 1.0 : 0.0;
        holdOffActive[k] = active;
        peakReset[k] = (isActiveValue(fallDetected[k]) || isActiveValue(active)) ? 1.0 : 0.0;
        const double ratio = envelope[k] / envelopeDelayed[k];
        riseRatio[k] = ratio;
        riseDetected[k] = ratio > ratioThreshold ? 1.0 : 0.0;
    }
}

KESTREL9_VECTOR_CLONES
void greaterThan(int32_t n, const double* __restrict in, double threshold,
                 double* __restrict out) {
    for (int32_t k = 0; k < n; ++k) {
        out[k] = in[k] > threshold ? 1.0 : 0.0;
    }
}

KESTREL9_VECTOR_CLONES
void risingEdge(int32_t n, const double* __restrict detection,
                const double* __restrict detectionDelayed, double* __restrict notDelayed,
                double* __restrict detectionEdge) {
    for (int32_t k = 0; k < n; ++k) {
        const double notBefore = isActiveValue(detectionDelayed[k]) ? 0.0 : 1.0;
        notDelayed[k] = notBefore;
        detectionEdge[k] = (isActiveValue(detection[k]) && isActiveValue(notBefore)) ? 1.0 : 0.0;
    }
}

KESTREL9_VECTOR_CLONES
void overloadGuard(int32_t n, const double* __restrict clockSeconds,
                   const double* __restrict edgeTime, double gapLimit,
                   const double* __restrict detection, double* __restrict sinceEdge,
                   double* __restrict gapElapsed, double* __restrict clipTrigger) {
    for (int32_t k = 0; k < n; ++k) {
        const double since = clockSeconds[k] - edgeTime[k];
        sinceEdge[k] = since;
        const double elapsed = since > gapLimit ? 1.0 : 0.0;
        gapElapsed[k] = elapsed;
        clipTrigger[k] = (isActiveValue(detection[k]) && isActiveValue(elapsed)) ? 1.0 : 0.0;
    }
}

}  // namespace stepKernels
