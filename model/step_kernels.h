// The model step's element-wise arithmetic as fused passes over whole frames: each pass computes
// several of the model's signals per element, every value with the same operations in the same
// order as written one signal at a time. Each kernel is compiled for the baseline, avx2 and
// avx512f instruction sets and picked for the processor at load time; the signals must not
// overlap (they are separate signals of the model).
#pragma once

#include <cstdint>

namespace stepKernels {

// filterSpectrumSig [2n] = spectrum [2n] (the constant, rewritten on the way) and the product
// Y = F X of the split spectra F = spectrum, X = x [2n] for n bins: prodReRe, prodImIm,
// filteredRe = prodReRe - prodImIm, prodImRe, prodReIm, filteredIm = prodReIm + prodImRe [n].
void filterProduct(int32_t n, const double* spectrum, const double* x, double* filterSpectrumSig,
                   double* prodReRe, double* prodImIm, double* filteredRe, double* prodImRe,
                   double* prodReIm, double* filteredIm);

// energy [n] = y [k] * y [k].
void square(int32_t n, const double* y, double* energy);

// out [n] = gain * in [k].
void scale(int32_t n, double gain, const double* in, double* out);

// fallRatio [n] = (1.0 / envelope [k]) * envelopeDelayed [k]; fallDetected [n] = fallRatio > t.
// Returns envelope [0] + envelope [1] + ... + envelope [n - 1], added in index order.
double fallTest(int32_t n, const double* envelope, const double* envelopeDelayed,
                double threshold, double* fallRatio, double* fallDetected);

// holdOffActive = holdOffCount > countThreshold; peakReset = fallDetected OR holdOffActive;
// riseRatio = envelope / envelopeDelayed; riseDetected = riseRatio > ratioThreshold; all [n].
void riseTest(int32_t n, const double* holdOffCount, double countThreshold,
              const double* fallDetected, const double* envelope, const double* envelopeDelayed,
              double ratioThreshold, double* holdOffActive, double* peakReset, double* riseRatio,
              double* riseDetected);

// out [n] = in [k] > threshold (1.0 or 0.0).
void greaterThan(int32_t n, const double* in, double threshold, double* out);

// notDelayed = 1.0 where detectionDelayed is 0 or NaN; detectionEdge = detection AND notDelayed;
// all [n].
void risingEdge(int32_t n, const double* detection, const double* detectionDelayed,
                double* notDelayed, double* detectionEdge);

// sinceEdge = clockSeconds - edgeTime; gapElapsed = sinceEdge > gapLimit;
// clipTrigger = detection AND gapElapsed; all [n].
void overloadGuard(int32_t n, const double* clockSeconds, const double* edgeTime, double gapLimit,
                   const double* detection, double* sinceEdge, double* gapElapsed,
                   double* clipTrigger);

}  // namespace stepKernels
