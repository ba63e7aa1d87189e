#include "blocks/complex_fft.h"

#include <cmath>
#include <cstring>

#include "blocks/fft_engine.h"
#include "blocks/fft_kernels.h"

namespace {

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

FftTables tables;
bool tablesBuilt = false;

// Fills the stage twiddles [kTableSpan - 1 used] with exactly the angles and calls of the direct
// computation, the split and merge twiddles with exactly their recurrences, and records the
// reordering's exchanges [at most kTableSpan / 2].
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
    {
        const int32_t n = kRealTableLength;
        const double theta = -8.0 * std::atan(1.0) / n;
        const double c = std::cos(theta);
        const double s = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        tables.splitWr[0] = wr;
        tables.splitWi[0] = wi;
        for (int32_t k = 1; k < n / 4; ++k) {
            const double wrNext = wr * c - wi * s;
            const double wiNext = wi * c + wr * s;
            wr = wrNext;
            wi = wiNext;
            tables.splitWr[k] = wr;
            tables.splitWi[k] = wi;
        }
    }
    {
        const int32_t n = kRealTableLength;
        const double theta = 8.0 * std::atan(1.0) / n;
        const double c = std::cos(theta);
        const double s = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (int32_t k = 0; k < n / 2; ++k) {
            tables.mergeWr[k] = wr;
            tables.mergeWi[k] = wi;
            const double wrNext = wr * c - wi * s;
            const double wiNext = wr * s + wi * c;
            wr = wrNext;
            wi = wiNext;
        }
    }
    tables.swapCount = 0;
    forEachReversalSwap(kTableSpan, [](int32_t i, int32_t j) {
        tables.swapLow[tables.swapCount] = i;
        tables.swapHigh[tables.swapCount] = j;
        ++tables.swapCount;
    });
    tablesBuilt = true;
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

#if !defined(KESTREL9_LITERAL)
// One stage from the table, scalar: butterflies of the blocks of `span` points of re [n], im [n].
void tableStage(int32_t n, int32_t span, const double* cosine, const double* sine, double* re,
                double* im) {
    const int32_t half = span / 2;
    for (int32_t base = 0; base < n; base += span) {
        for (int32_t j = 0; j < half; ++j) {
            const int32_t i = base + j;
            const int32_t l = i + half;
            const double xt = re[i] - re[l];
            re[i] = re[i] + re[l];
            const double yt = im[i] - im[l];
            im[i] = im[i] + im[l];
            re[l] = xt * cosine[j] + yt * sine[j];
            im[l] = yt * cosine[j] - xt * sine[j];
        }
    }
}

// Transforms of fewer than 64 or more than kTableSpan points, which the model does not use: the
// stages one by one (direct above the table) and the reordering loop; re [n], im [n].
void complexFftByStages(int32_t n, int32_t stages, double* re, double* im) {
    int32_t span = n;
    for (int32_t stage = 1; stage <= stages; ++stage) {
        if (span > kTableSpan) {
            directStage(n, span, re, im);
        } else {
            const int32_t offset = kTableSpan - span;
            tableStage(n, span, tables.cosine + offset, tables.sine + offset, re, im);
        }
        span = span / 2;
    }
    forEachReversalSwap(n, [re, im](int32_t i, int32_t j) { swapPoints(re, im, i, j); });
}
#endif

// The variant in use; null until the first transform picks the widest available one.
const FftVariant* active = nullptr;

}  // namespace

const FftVariant kFftVariantBaseline = makeFftVariant<2>("baseline");

const FftTables& fftTables() {
    if (!tablesBuilt) {
        buildTables();
    }
    return tables;
}

const FftVariant* const* availableFftVariants(int32_t* count) {
    static const FftVariant* list[3];
    static int32_t listCount = 0;
    if (listCount == 0) {
        list[listCount++] = &kFftVariantBaseline;
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2")) {
            list[listCount++] = &kFftVariantAvx2;
        }
        if (__builtin_cpu_supports("avx512f")) {
            list[listCount++] = &kFftVariantAvx512;
        }
    }
    *count = listCount;
    return list;
}

const FftVariant& activeFftVariant() {
    if (active == nullptr) {
        int32_t count = 0;
        const FftVariant* const* list = availableFftVariants(&count);
        active = list[count - 1];
    }
    return *active;
}

bool selectFftVariant(const char* name) {
    int32_t count = 0;
    const FftVariant* const* list = availableFftVariants(&count);
    for (int32_t i = 0; i < count; ++i) {
        if (std::strcmp(list[i]->name, name) == 0) {
            active = list[i];
            return true;
        }
    }
    return false;
}

void complexFft(int32_t n, double* re, double* im) {
    // Other lengths would make the butterflies reach past the arrays and the reordering loop run
    // endlessly; they are left untouched.
    if (n < 1 || (n & (n - 1)) != 0) {
        return;
    }
    int32_t exponent = 0;
    std::frexp(static_cast<double>(n), &exponent);
    const int32_t stages = exponent - 1;
#if defined(KESTREL9_LITERAL)
    // The literal build: cos and sin for every butterfly group of every stage, then the
    // reordering loop.
    int32_t span = n;
    for (int32_t stage = 1; stage <= stages; ++stage) {
        directStage(n, span, re, im);
        span = span / 2;
    }
    forEachReversalSwap(n, [re, im](int32_t i, int32_t j) { swapPoints(re, im, i, j); });
#else
    const FftTables& t = fftTables();
    if (stages >= 6 && n <= kTableSpan) {
        activeFftVariant().complexFft(stages, re, im, t);
        return;
    }
    complexFftByStages(n, stages, re, im);
#endif
}
