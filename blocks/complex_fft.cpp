#include "blocks/complex_fft.h"

#include <cmath>
#include <cstring>

namespace {

// Longest stage span whose twiddles are kept in the table: the model's 8192-point transform.
constexpr int32_t kTableSpan = 8192;

// cos and sin of the angles (j - 1) * (6.283185307179586 / span), j = 1 .. span / 2, for every
// power-of-two span from 2 to kTableSpan; the stage of span s starts at index kTableSpan - s. The
// angles depend only on the span, so every transform shares the table for its stages of that span.
struct TwiddleTable {
    double cosine[kTableSpan];
    double sine[kTableSpan];
};

TwiddleTable twiddleTable;
bool twiddleTableBuilt = false;

// Fills the table [kTableSpan - 1 used] with exactly the angles and calls of the direct computation.
void buildTwiddleTable() {
    for (int32_t span = kTableSpan; span >= 2; span /= 2) {
        const int32_t half = span / 2;
        const double step = 6.283185307179586 / span;
        double* cosine = twiddleTable.cosine + (kTableSpan - span);
        double* sine = twiddleTable.sine + (kTableSpan - span);
        double a = 0.0;
        for (int32_t j = 1; j <= half; ++j) {
            cosine[j - 1] = std::cos(a);
            sine[j - 1] = std::sin(a);
            a = j * step;
        }
    }
    twiddleTableBuilt = true;
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
    for (int32_t i = 0; i < n; i += 2) {
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

// Puts re [n], im [n] from bit-reversed into natural order (j counts from 1 as i + 1 does).
void bitReverse(int32_t n, double* re, double* im) {
    int32_t j = 1;
    for (int32_t i = 1; i <= n - 1; ++i) {
        if (i < j) {
            const double tr = re[i - 1];
            re[i - 1] = re[j - 1];
            re[j - 1] = tr;
            const double ti = im[i - 1];
            im[i - 1] = im[j - 1];
            im[j - 1] = ti;
        }
        int32_t k = n / 2;
        while (k < j) {
            j = j - k;
            k = k / 2;
        }
        j = j + k;
    }
}

}  // namespace

void complexFft(int32_t n, double* re, double* im) {
    // Other lengths would make the butterflies reach past the arrays and the reordering loop
    // endlessly; they are left untouched.
    if (n < 1 || (n & (n - 1)) != 0) {
        return;
    }
    if (!twiddleTableBuilt) {
        buildTwiddleTable();
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
            tableStage(n, span, twiddleTable.cosine + offset, twiddleTable.sine + offset, re, im);
        } else {
            tableLastStage(n, twiddleTable.cosine[kTableSpan - 2], twiddleTable.sine[kTableSpan - 2],
                           re, im);
        }
        span = span / 2;
    }

    bitReverse(n, re, im);
}
