#include "blocks/run_scan.h"

#include <cmath>

#include "model/vector_clones.h"

namespace {

// Samples tested together before the first passing one is looked for one by one.
constexpr int32_t chunk = 32;

// First index in [from, to) whose value passes `test`: whole chunks are counted on vectors.
template <typename Test>
inline int32_t firstPassing(const double* x, int32_t from, int32_t to, Test test) {
    int32_t i = from;
    while (i + chunk <= to) {
        int32_t passing = 0;
        for (int32_t j = 0; j < chunk; ++j) {
            passing += test(x[i + j]) ? 1 : 0;
        }
        if (passing != 0) {
            break;
        }
        i += chunk;
    }
    while (i < to && !test(x[i])) {
        ++i;
    }
    return i;
}

}  // namespace

KESTREL9_VECTOR_CLONES
int32_t firstNonZero(const double* x, int32_t from, int32_t to) {
    return firstPassing(x, from, to, [](double v) { return v != 0.0; });
}

KESTREL9_VECTOR_CLONES
int32_t firstActive(const double* x, int32_t from, int32_t to) {
    return firstPassing(x, from, to, [](double v) { return v < 0.0 || v > 0.0; });
}

KESTREL9_VECTOR_CLONES
int32_t firstOn(const double* x, int32_t from, int32_t to) {
    return firstPassing(x, from, to, [](double v) { return v != 0.0 && !std::isnan(v); });
}

KESTREL9_VECTOR_CLONES
void fillRun(double* out, int32_t from, int32_t to, double value) {
    for (int32_t i = from; i < to; ++i) {
        out[i] = value;
    }
}
