// The transform kernels compiled for 256-bit vector units (four lanes); chosen at run time only
// on processors that have them.
#include "blocks/fft_engine.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "blocks/fft_kernels.h"

const FftVariant kFftVariantAvx2 = makeFftVariant<4>("avx2");

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
