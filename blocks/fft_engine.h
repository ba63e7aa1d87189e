// The transforms' shared machinery: twiddle tables computed once with exactly the calls and
// recurrences of the direct routines (so an entry is the very double the direct code computes),
// and the vector kernels of one instruction-set variant, chosen once for the machine.
#pragma once

#include <cstdint>

// Longest stage span whose twiddles are kept: the model's 8192-point complex transform.
constexpr int32_t kTableSpan = 8192;
// The model's real transform length; its split and merge twiddles are kept.
constexpr int32_t kRealTableLength = 16384;

struct FftTables {
    // cos and sin of the angles (j - 1) * (6.283185307179586 / span), j = 1 .. span / 2, for every
    // power-of-two span from 2 to kTableSpan; the stage of span s starts at index kTableSpan - s.
    double cosine[kTableSpan];
    double sine[kTableSpan];
    // Split step of the Real FFT of kRealTableLength points: the running twiddle after its k-th
    // advance, k = 1 .. kRealTableLength / 4 - 1 (entry 0 unused).
    double splitWr[kRealTableLength / 4];
    double splitWi[kRealTableLength / 4];
    // Merge step of the Real IFFT of kRealTableLength points: the twiddle used at bin k,
    // k = 0 .. kRealTableLength / 2 - 1.
    double mergeWr[kRealTableLength / 2];
    double mergeWi[kRealTableLength / 2];
    // Bit-reversal exchanges (0-based, low < high) of kTableSpan points, in the reordering
    // loop's order.
    int32_t swapLow[kTableSpan / 2];
    int32_t swapHigh[kTableSpan / 2];
    int32_t swapCount;
};

// The tables, built at the first call.
const FftTables& fftTables();

// The kernels of one instruction-set variant. Lengths: complexFft takes 2^bits points with
// 6 <= bits and 2^bits <= kTableSpan; the others work on the model's real length
// n = kRealTableLength (n2 = n / 2).
struct FftVariant {
    const char* name;
    // Forward complex transform of re [2^bits], im [2^bits], in place.
    void (*complexFft)(int32_t bits, double* re, double* im, const FftTables& tables);
    // Real FFT: even samples of u [n] into re [n2], odd samples into im [n2].
    void (*pack)(const double* u, double* re, double* im);
    // Real FFT: split step of re [n], im [n] (the n2-point transform in their lower halves) and
    // the conjugate mirror into their upper halves.
    void (*splitAndMirror)(double* re, double* im, const FftTables& tables);
    // Real IFFT: merge of the split spectrum xr [n], xi [n] into re [n2], im [n2].
    void (*merge)(const double* xr, const double* xi, double* re, double* im,
                  const FftTables& tables);
    // Real IFFT: y [2j + 1] = y [n + j] * f, y [2j] = y [j] * f for j = n2 - 1 down to 0; y [2n].
    void (*scaleAndInterleave)(double f, double* y);
};

// The variants this machine can run, the baseline first; `count` receives their number.
const FftVariant* const* availableFftVariants(int32_t* count);

// The variant in use: the widest available one unless a test chose another.
const FftVariant& activeFftVariant();

// Makes the named available variant the one in use; false (and no change) when there is none.
bool selectFftVariant(const char* name);

// The baseline, two-lane and the wider variants (defined in their own files).
extern const FftVariant kFftVariantBaseline;
extern const FftVariant kFftVariantAvx2;
extern const FftVariant kFftVariantAvx512;

// True when a [na] and b [nb] share no element.
inline bool rangesDisjoint(const double* a, int32_t na, const double* b, int32_t nb) {
    const auto start = [](const double* p) { return reinterpret_cast<uintptr_t>(p); };
    return start(a + na) <= start(b) || start(b + nb) <= start(a);
}
