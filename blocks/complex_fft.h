// In-place radix-2 complex FFT on separate real and imaginary arrays (forward, unscaled).
#pragma once

#include <cstdint>

// re [n], im [n]; n a power of two (any other length leaves both arrays unchanged).
void complexFft(int32_t n, double* re, double* im);
