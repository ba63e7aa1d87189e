#include "blocks/complex_fft.h"

#include <cmath>
#include <cstring>

namespace {

// Longest stage span whose twiddles are kept in the table: the model's 8192-point transform.
constexpr int32_t kTableSpan = 8192;

// Calls swap(i, j) (0-based, i < j) for every exchange of the bit-reversal reordering of n
// points, in the order of the reordering loop (whose j counts from 1 as i + 1 does).
template <typename Swap>
void forEachReversalSwap(int32_t n, Swap swap) {
    int32_t j = 1;
    for (int32_t i = 1; i <= n - 1; ++i) {
        if (i < j) {
            swap(i - 1, j - 1);
        }
        int32_t k = n / 2;
        while (k < j) {
            j = j - k;
            k = k / 2;
        }
        j = j + k;
    }
}

// Exchanges re[i] with re[j] and im[i] with im[j].
inline void swapPoints(double* re, double* im, int32_t i, int32_t j) {
    const double tr = re[i];
    re[i] = re[j];
    re[j] = tr;
    const double ti = im[i];
    im[i] = im[j];
    im[j] = ti;
}

// Tables built once, at the first transform.
// cosine, sine: cos and sin of the angles (j - 1) * (6.283185307179586 / span), j = 1 .. span / 2,
// for every power-of-two span from 2 to kTableSpan; the stage of span s starts at index
// kTableSpan - s. The angles depend only on the span, so every transform shares the table for its
// stages of that span.
// swapLow, swapHigh: the exchanges of the bit-reversal reordering of kTableSpan points.
struct FftTables {
    double cosine[kTableSpan];
    double sine[kTableSpan];
    int32_t swapLow[kTableSpan / 2];
    int32_t swapHigh[kTableSpan / 2];
    int32_t swapCount;
    bool built;
};

FftTables tables;

// Fills the twiddles [kTableSpan - 1 used] with exactly the angles and calls of the direct
// computation, and records the reordering's exchanges [at most kTableSpan / 2].
void buildTables() {
    for (int32_t span = kTableSpan; span >= 2; span /= 2) {
        const int32_t half = span / 2;
        const double step = 6.283185307179586 / span;
        double* cosine = tables.cosine + (kTableSpan - span);
        double* sine = tables.sine + (kTableSpan - span);
        double a = 0.0;
        for (int32_t j = 1; j <= half; ++j) {
            cosine[j - 1] = std::cos(a);
            sine[j - 1] = std::sin(a);
            a = j * step;
        }
    }
    tables.swapCount = 0;
    forEachReversalSwap(kTableSpan, [](int32_t i, int32_t j) {
        tables.swapLow[tables.swapCount] = i;
        tables.swapHigh[tables.swapCount] = j;
        ++tables.swapCount;
    });
    tables.built = true;
}

// Two doubles processed together; each lane gets the same IEEE operations as a scalar would.
using Pair = double __attribute__((vector_size(2 * sizeof(double))));

inline Pair loadPair(const double* p) {
    Pair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void storePair(double* p, Pair v) {
    std::memcpy(p, &v, sizeof v);
}

// One stage from the table: butterflies of the blocks of `span` points of re [n], im [n]
// (span >= 4, so half is even); twiddles cosine [span / 2], sine [span / 2].
void tableStage(int32_t n, int32_t span, const double* cosine, const double* sine, double* re,
                double* im) {
    const int32_t half = span / 2;
    // The butterflies of a stage touch disjoint pairs of points, so they run block by block with
    // the contiguous j innermost.
    for (int32_t base = 0; base < n; base += span) {
        double* reLow = re + base;
        double* reHigh = reLow + half;
        double* imLow = im + base;
        double* imHigh = imLow + half;
        for (int32_t j = 0; j < half; j += 2) {
            const Pair c = loadPair(cosine + j);
            const Pair s = loadPair(sine + j);
            const Pair ri = loadPair(reLow + j);
            const Pair rl = loadPair(reHigh + j);
            const Pair ii = loadPair(imLow + j);
            const Pair il = loadPair(imHigh + j);
            const Pair xt = ri - rl;
            const Pair yt = ii - il;
            storePair(reLow + j, ri + rl);
            storePair(imLow + j, ii + il);
            storePair(reHigh + j, xt * c + yt * s);
            storePair(imHigh + j, yt * c - xt * s);
        }
    }
}

// The last stage (span 2) from the table: one butterfly per pair of points of re [n], im [n].
void tableLastStage(int32_t n, double c, double s, double* re, double* im) {
    // Two butterflies at a time: lanes (i, i + 2) against (i + 1, i + 3).
    const Pair cc = {c, c};
    const Pair ss = {s, s};
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const Pair r01 = loadPair(re + i);
        const Pair r23 = loadPair(re + i + 2);
        const Pair i01 = loadPair(im + i);
        const Pair i23 = loadPair(im + i + 2);
        const Pair ri = __builtin_shufflevector(r01, r23, 0, 2);
        const Pair rl = __builtin_shufflevector(r01, r23, 1, 3);
        const Pair ii = __builtin_shufflevector(i01, i23, 0, 2);
        const Pair il = __builtin_shufflevector(i01, i23, 1, 3);
        const Pair xt = ri - rl;
        const Pair yt = ii - il;
        const Pair reI = ri + rl;
        const Pair imI = ii + il;
        const Pair reL = xt * cc + yt * ss;
        const Pair imL = yt * cc - xt * ss;
        storePair(re + i, __builtin_shufflevector(reI, reL, 0, 2));
        storePair(re + i + 2, __builtin_shufflevector(reI, reL, 1, 3));
        storePair(im + i, __builtin_shufflevector(imI, imL, 0, 2));
        storePair(im + i + 2, __builtin_shufflevector(imI, imL, 1, 3));
    }
    for (; i < n; i += 2) {
        const int32_t l = i + 1;
        const double xt = re[i] - re[l];
        re[i] = re[i] + re[l];
        const double yt = im[i] - im[l];
        im[i] = im[i] + im[l];
        re[l] = xt * c + yt * s;
        im[l] = yt * c - xt * s;
    }
}

// One stage longer than the table: cos and sin computed for every butterfly group; re [n], im [n].
void directStage(int32_t n, int32_t span, double* re, double* im) {
    const int32_t half = span / 2;
    const double step = 6.283185307179586 / span;
    double a = 0.0;
    for (int32_t j = 1; j <= half; ++j) {
        const double c = std::cos(a);
        const double s = std::sin(a);
        a = j * step;
        for (int32_t i = j - 1; i < n; i += span) {
            const int32_t l = i + half;
            const double xt = re[i] - re[l];
            re[i] = re[i] + re[l];
            const double yt = im[i] - im[l];
            im[i] = im[i] + im[l];
            re[l] = xt * c + yt * s;
            im[l] = yt * c - xt * s;
        }
    }
}

// Puts re [n], im [n] from bit-reversed into natural order; the model's length replays the
// recorded exchanges instead of rerunning the branchy index loop.
void bitReverse(int32_t n, double* re, double* im) {
    if (n == kTableSpan) {
        for (int32_t q = 0; q < tables.swapCount; ++q) {
            swapPoints(re, im, tables.swapLow[q], tables.swapHigh[q]);
        }
        return;
    }
    forEachReversalSwap(n, [re, im](int32_t i, int32_t j) { swapPoints(re, im, i, j); });
}

}  // namespace

void complexFft(int32_t n, double* re, double* im) {
    // Other lengths would make the butterflies reach past the arrays and the reordering loop run
    // endlessly; they are left untouched.
    if (n < 1 || (n & (n - 1)) != 0) {
        return;
    }
    if (!tables.built) {
        buildTables();
    }

    int32_t exponent = 0;
    std::frexp(static_cast<double>(n), &exponent);
    const int32_t stages = exponent - 1;

    // Decimation in frequency, the spans halving from n down to 2.
    int32_t span = n;
    for (int32_t stage = 1; stage <= stages; ++stage) {
        if (span > kTableSpan) {
            directStage(n, span, re, im);
        } else if (span > 2) {
            const int32_t offset = kTableSpan - span;
            tableStage(n, span, tables.cosine + offset, tables.sine + offset, re, im);
        } else {
            tableLastStage(n, tables.cosine[kTableSpan - 2], tables.sine[kTableSpan - 2],
                           re, im);
        }
        span = span / 2;
    }

    bitReverse(n, re, im);
}
