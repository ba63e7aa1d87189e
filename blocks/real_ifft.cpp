#include "blocks/real_ifft.h"

#include <cmath>

#include "blocks/complex_fft.h"
#include "blocks/fft_engine.h"
#include "blocks/transform_block.h"

namespace {

// Folds the n-bin split spectrum xr [n], xi [n] (read through u: xr[k] = *u[k], xi[k] = *u[n + k])
// into z = a + i w d of n/2 points in re [n/2], im [n/2]; w = e^(+2 pi i k / n) by recurrence.
void mergeSpectrum(int32_t n, const double* const* u, double* re, double* im) {
    const int32_t n2 = n / 2;
    const double theta = 8.0 * std::atan(1.0) / n;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    double wr = 1.0;
    double wi = 0.0;
    const double* const* xr = u;
    const double* const* xi = u + n;
    for (int32_t k = 0; k < n2; ++k) {
        const int32_t p = k + n2;
        const double ar = *xr[k] + *xr[p];
        const double ai = *xi[k] + *xi[p];
        const double dr = *xr[k] - *xr[p];
        const double di = *xi[k] - *xi[p];
        re[k] = ar - (dr * wi + di * wr);
        im[k] = ai + (dr * wr - di * wi);
        const double wrNext = wr * c - wi * s;
        const double wiNext = wr * s + wi * c;
        wr = wrNext;
        wi = wiNext;
    }
}

// Transforms the split spectrum of M/2 bins read through u [M] back into M/2 real samples in
// y [0 .. M/2 - 1], scaled by 2/M; y [M/2 .. M/2 + M/4 - 1] keep intermediate values and the rest
// of y [M] is not written. Does nothing outside a major step.
void realIfftOutputs(double* y, const double* /*x*/, const double* const* u, BlockRecord* block,
                     int32_t /*taskIndex*/) {
    if (block->info->simTimeStep != 1) {
        return;
    }
    const int32_t n = block->numOutputPorts / 2;
    // Widths that would make the transform read past its input are refused.
    if (n < 1) {
        setBlockError(block, "Real IFFT output width must be at least 2");
        return;
    }
    if (block->numInputPorts / 2 < n) {
        setBlockError(block, "Real IFFT input must be as wide as its output");
        return;
    }
    if (n == 1) {
        y[0] = *u[0];
        y[1] = *u[1];
        return;
    }

    const int32_t n2 = n / 2;
    double* re = y;
    double* im = y + n;
#if !defined(KESTREL9_LITERAL)
    if (n == kRealTableLength) {
        // The model's length: consecutive halves are merged straight from their signals with the
        // tabled twiddles; the scale and interleave runs on vectors.
        const FftVariant& variant = activeFftVariant();
        const double* xr = block->inputHalves[0];
        const double* xi = block->inputHalves[1];
        if (xr != nullptr && xi != nullptr && rangesDisjoint(xr, n, y, 2 * n) &&
            rangesDisjoint(xi, n, y, 2 * n)) {
            variant.merge(xr, xi, re, im, fftTables());
        } else {
            mergeSpectrum(n, u, re, im);
        }
        complexFft(n2, im, re);
        variant.scaleAndInterleave(1.0 / n, y);
        return;
    }
#endif
    mergeSpectrum(n, u, re, im);
    // Exchanging the arrays turns the forward transform into the unscaled inverse.
    complexFft(n2, im, re);
    // Scale and interleave from the top down: re[j] = y [j] is overwritten only at step j / 2,
    // after it has been read.
    const double f = 1.0 / n;
    for (int32_t j = n2 - 1; j >= 0; --j) {
        y[2 * j + 1] = im[j] * f;
        y[2 * j] = re[j] * f;
    }
}

}  // namespace

void registerRealIfft(BlockRecord* block) {
    installTransformMethods(block);
    block->methods.vectorOutputs = realIfftOutputs;
}
