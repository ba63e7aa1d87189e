// The transform kernels compiled for 512-bit vector units (eight lanes); chosen at run time only
// on processors that have them.
#include "blocks/fft_engine.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif

#include "blocks/fft_kernels.h"

const FftVariant kFftVariantAvx512 = makeFftVariant<8>("avx512");

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
