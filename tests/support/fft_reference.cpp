#include "support/fft_reference.h"

#include <cmath>

namespace fftReference {

void complexFft(int32_t n, double* re, double* im) {
    // 1-based views: R(i) is re[i - 1], I(i) is im[i - 1].
    auto R = [re](int32_t i) -> double& { return re[i - 1]; };
    auto I = [im](int32_t i) -> double& { return im[i - 1]; };

    int32_t exponent = 0;
    std::frexp(static_cast<double>(n), &exponent);
    const int32_t m = exponent - 1;

    int32_t span = n;
    for (int32_t stage = 1; stage <= m; ++stage) {
        const int32_t half = span / 2;
        const double step = 6.283185307179586 / span;
        double a = 0.0;
        for (int32_t j = 1; j <= half; ++j) {
            const double c = std::cos(a);
            const double s = std::sin(a);
            a = j * step;
            for (int32_t i = j; i <= n; i += span) {
                const int32_t l = i + half;
                const double xt = R(i) - R(l);
                R(i) = R(i) + R(l);
                const double yt = I(i) - I(l);
                I(i) = I(i) + I(l);
                R(l) = xt * c + yt * s;
                I(l) = yt * c - xt * s;
            }
        }
        span = half;
    }

    int32_t j = 1;
    for (int32_t i = 1; i <= n - 1; ++i) {
        if (i < j) {
            const double tr = R(i);
            R(i) = R(j);
            R(j) = tr;
            const double ti = I(i);
            I(i) = I(j);
            I(j) = ti;
        }
        int32_t k = n / 2;
        while (k < j) {
            j = j - k;
            k = k / 2;
        }
        j = j + k;
    }
}

void realFftSplit(int32_t n, double* re, double* im) {
    const int32_t n2 = n / 2;
    const int32_t n4 = n2 / 2;
    const double theta = -8.0 * std::atan(1.0) / n;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    double wr = 1.0;
    double wi = 0.0;

    re[n2] = re[0] - im[0];
    im[n2] = 0.0;
    re[0] = re[0] + im[0];
    im[0] = 0.0;

    for (int32_t k = 1; k <= n4 - 1; ++k) {
        const int32_t p = n2 - k;
        const double wrNext = wr * c - wi * s;
        const double wiNext = wi * c + wr * s;
        wr = wrNext;
        wi = wiNext;
        const double h1r = 0.5 * (re[k] + re[p]);
        const double h1i = 0.5 * (im[k] - im[p]);
        const double h2r = 0.5 * (im[k] + im[p]);
        const double h2i = -0.5 * (re[k] - re[p]);
        re[k] = h1r + wr * h2r - wi * h2i;
        im[k] = h1i + wr * h2i + wi * h2r;
        re[p] = h1r - wr * h2r + wi * h2i;
        im[p] = -h1i + wr * h2i + wi * h2r;
    }

    im[n4] = -im[n4];
}

void realIfftMerge(int32_t n, const double* xr, const double* xi, double* re, double* im) {
    const int32_t n2 = n / 2;
    const double theta = 8.0 * std::atan(1.0) / n;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    double wr = 1.0;
    double wi = 0.0;
    for (int32_t k = 0; k <= n2 - 1; ++k) {
        const int32_t p = k + n2;
        const double ar = xr[k] + xr[p];
        const double ai = xi[k] + xi[p];
        const double dr = xr[k] - xr[p];
        const double di = xi[k] - xi[p];
        re[k] = ar - (dr * wi + di * wr);
        im[k] = ai + (dr * wr - di * wi);
        const double wrNext = wr * c - wi * s;
        const double wiNext = wr * s + wi * c;
        wr = wrNext;
        wi = wiNext;
    }
}

void realFft(int32_t n, const double* u, double* y) {
    if (n == 1) {
        y[0] = u[0];
        y[1] = 0.0;
        return;
    }
    const int32_t n2 = n / 2;
    double* re = y;
    double* im = y + n;
    for (int32_t t = 0; t <= n2 - 1; ++t) {
        re[t] = u[2 * t];
        im[t] = u[2 * t + 1];
    }
    complexFft(n2, re, im);
    realFftSplit(n, re, im);
    for (int32_t j = 1; j <= n2 - 1; ++j) {
        re[n2 + j] = re[n2 - j];
        im[n2 + j] = -im[n2 - j];
    }
}

void realIfft(int32_t m, const double* x, double* y) {
    const int32_t n = m / 2;
    if (n == 1) {
        y[0] = x[0];
        y[1] = x[1];
        return;
    }
    const int32_t n2 = n / 2;
    double* re = y;
    double* im = y + n;
    realIfftMerge(n, x, x + n, re, im);
    complexFft(n2, im, re);
    const double f = 1.0 / n;
    for (int32_t j = n2 - 1; j >= 0; --j) {
        y[2 * j + 1] = im[j] * f;
        y[2 * j] = re[j] * f;
    }
}

}  // namespace fftReference
