// The non-finite double constants shared by the shell, the model and the blocks.
#pragma once

#include <cstdint>

extern double rtInf;       // +infinity
extern double rtMinusInf;  // -infinity
extern double rtNaN;       // a quiet NaN with every fraction bit set

// Sets rtInf, rtMinusInf and rtNaN for a real type of `realSize` bytes (8: double patterns, 4:
// single patterns in the first four bytes, the other four zero). Any other width prints
// "Unable to initialize rtInf, rtMinusInf, and rtNaN\n" on standard error and returns false.
bool initNonFinite(int32_t realSize);
