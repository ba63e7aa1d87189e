// The detector's 100-tap band-pass FIR filter (about 6 to 10 kHz at 22,050 Hz) and its
// 16,384-bin spectrum, which the model multiplies with the spectrum of every filter window.
#pragma once

#include <cstdint>

inline constexpr int32_t filterTapCount = 100;
inline constexpr int32_t filterSpectrumBins = 16384;
// Real parts of all bins, then imaginary parts.
inline constexpr int32_t filterSpectrumLength = 2 * filterSpectrumBins;

// The taps h[0..99]; symmetric, h[n] = h[99 - n] (linear phase, delay 49.5 samples).
extern const double filterTaps[filterTapCount];

// Fills spectrum [2 x 16384] (real parts of bins 0..16383, then imaginary parts) with
// F[k] = sum over n of h[n] * exp(-2 pi i k n / 16384), n = 0..99 in index order. Bins 0..8192 are
// computed from a quarter-wave-symmetric cos/sin table; bins 8193..16383 are their exact
// conjugates, and bins 0 and 8192 get an imaginary part of exactly 0.
void computeFilterSpectrum(double* spectrum);
