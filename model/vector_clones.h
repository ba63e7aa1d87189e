// Marks a function to be compiled for the baseline, avx2 and avx512f instruction sets, the build
// for the processor being picked when the program is loaded, with its loops vectorised whatever
// their trip count. Only for loops whose every element is computed on its own: vector lanes then
// apply the same IEEE operations, in the same order, as the scalar code.
#pragma once

#if defined(__x86_64__) && defined(__clang__)
#define KESTREL9_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#elif defined(__x86_64__) && defined(__GNUC__)
#define KESTREL9_VECTOR_CLONES \
    __attribute__((target_clones("avx512f", "avx2", "default"), optimize("vect-cost-model=dynamic")))
#else
#define KESTREL9_VECTOR_CLONES
#endif
