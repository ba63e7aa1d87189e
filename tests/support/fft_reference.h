// Literal, unoptimised versions of the transform steps: the radix-2 complex FFT, the split and
// merge steps of the real transforms, and the whole Real FFT and Real IFFT outputs built from them.
// The product's routines must agree with these bit for bit.
#pragma once

#include <cstdint>

namespace fftReference {

// In-place forward complex FFT of re [n], im [n], 1-based indices as the algorithm is written
// (cos and sin computed for every butterfly group).
void complexFft(int32_t n, double* re, double* im);

// Split step of the real FFT of length n: turns the n/2-point complex transform in re [n/2 + 1],
// im [n/2 + 1] into bins 0 to n/2 of the real signal's spectrum.
void realFftSplit(int32_t n, double* re, double* im);

// Merge step of the real IFFT of length n: folds the split spectrum xr [n], xi [n] into the
// n/2-point complex sequence re [n/2], im [n/2].
void realIfftMerge(int32_t n, const double* xr, const double* xi, double* re, double* im);

// Real FFT outputs: u [n] real samples to the split spectrum y [2n].
void realFft(int32_t n, const double* u, double* y);

// Real IFFT outputs: x [m] split spectrum (m = 2 * transform length) to y [m]; only elements 0 to
// m/2 + m/4 - 1 are written.
void realIfft(int32_t m, const double* x, double* y);

}  // namespace fftReference
