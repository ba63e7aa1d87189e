// The model step's fused vector passes against the arithmetic written one signal at a time, bit
// for bit, on random frames sprinkled with the values that matter to comparisons and divisions:
// signed zeros, infinities, NaN, subnormals and exact thresholds.
#include "model/step_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

using Frame = std::vector<double>;

constexpr int32_t n = 8192;

Frame randomFrame(std::mt19937_64& rng, double low = -1.0, double high = 1.0) {
    const double specials[] = {0.0,
                               -0.0,
                               2.0,
                               20.0,
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::denorm_min(),
                               1e-300};
    std::uniform_real_distribution<double> value(low, high);
    std::uniform_int_distribution<int> pick(0, 49);
    Frame frame(n);
    for (double& x : frame) {
        const int p = pick(rng);
        x = p < 9 ? specials[p] : value(rng);
    }
    return frame;
}

bool sameBits(const Frame& a, const Frame& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

bool isTrue(double x) {
    return x != 0.0 && !std::isnan(x);
}

double greater(double a, double b) {
    return a > b ? 1.0 : 0.0;
}

TEST(StepKernels, FilterProductRewritesTheSpectrumAndMultipliesBinByBin) {
    std::mt19937_64 rng(1);
    const int32_t bins = 16384;
    Frame f = randomFrame(rng);
    Frame f2 = randomFrame(rng);
    f.insert(f.end(), f2.begin(), f2.end());
    f.resize(4 * n);
    Frame x = f;
    std::shuffle(x.begin(), x.end(), rng);
    Frame sig(2 * bins, 7.0), reRe(bins), imIm(bins), re(bins), imRe(bins), reIm(bins), im(bins);
    stepKernels::filterProduct(bins, f.data(), x.data(), sig.data(), reRe.data(), imIm.data(),
                               re.data(), imRe.data(), reIm.data(), im.data());
    EXPECT_TRUE(sameBits(sig, f));
    Frame eReRe(bins), eImIm(bins), eRe(bins), eImRe(bins), eReIm(bins), eIm(bins);
    for (int32_t k = 0; k < bins; ++k) {
        eReRe[k] = f[k] * x[k];
        eImIm[k] = f[bins + k] * x[bins + k];
        eRe[k] = eReRe[k] - eImIm[k];
        eImRe[k] = f[bins + k] * x[k];
        eReIm[k] = x[bins + k] * f[k];
        eIm[k] = eReIm[k] + eImRe[k];
    }
    EXPECT_TRUE(sameBits(reRe, eReRe));
    EXPECT_TRUE(sameBits(imIm, eImIm));
    EXPECT_TRUE(sameBits(re, eRe));
    EXPECT_TRUE(sameBits(imRe, eImRe));
    EXPECT_TRUE(sameBits(reIm, eReIm));
    EXPECT_TRUE(sameBits(im, eIm));
}

TEST(StepKernels, ElementWisePassesGiveTheLiteralValues) {
    std::mt19937_64 rng(2);
    const Frame a = randomFrame(rng);
    const Frame b = randomFrame(rng, 0.0, 3.0);
    const Frame c = randomFrame(rng, -1.0, 40.0);
    const Frame flags = randomFrame(rng, 0.0, 1.0);

    Frame out(n), out2(n), out3(n), out4(n), e1(n), e2(n), e3(n), e4(n);
    stepKernels::square(n, a.data(), out.data());
    stepKernels::scale(n, 4.53514739229025e-05, c.data(), out2.data());
    for (int32_t k = 0; k < n; ++k) {
        e1[k] = a[k] * a[k];
        e2[k] = 4.53514739229025e-05 * c[k];
    }
    EXPECT_TRUE(sameBits(out, e1)) << "energy";
    EXPECT_TRUE(sameBits(out2, e2)) << "clock seconds";

    stepKernels::fallTest(n, b.data(), c.data(), 2.0, out.data(), out2.data());
    for (int32_t k = 0; k < n; ++k) {
        const double reciprocal = 1.0 / b[k];
        e1[k] = reciprocal * c[k];
        e2[k] = greater(e1[k], 2.0);
    }
    EXPECT_TRUE(sameBits(out, e1)) << "fall ratio";
    EXPECT_TRUE(sameBits(out2, e2)) << "fall detected";

    // The envelope's sum, in index order: finite values of mixed magnitudes, so that any other
    // order of the additions rounds differently.
    Frame envelope(n);
    std::uniform_real_distribution<double> level(-30.0, 3.0);
    for (double& x : envelope) {
        x = std::pow(10.0, level(rng));
    }
    const double sum =
        stepKernels::fallTest(n, envelope.data(), c.data(), 2.0, out.data(), out2.data());
    double expectedSum = envelope[0];
    for (int32_t k = 1; k < n; ++k) {
        expectedSum = expectedSum + envelope[k];
    }
    EXPECT_EQ(std::memcmp(&sum, &expectedSum, sizeof sum), 0) << "envelope sum";

    stepKernels::riseTest(n, a.data(), 0.0, flags.data(), b.data(), c.data(), 2.0, out.data(),
                          out2.data(), out3.data(), out4.data());
    for (int32_t k = 0; k < n; ++k) {
        e1[k] = greater(a[k], 0.0);
        e2[k] = (isTrue(flags[k]) || isTrue(e1[k])) ? 1.0 : 0.0;
        e3[k] = b[k] / c[k];
        e4[k] = greater(e3[k], 2.0);
    }
    EXPECT_TRUE(sameBits(out, e1)) << "hold-off active";
    EXPECT_TRUE(sameBits(out2, e2)) << "peak reset";
    EXPECT_TRUE(sameBits(out3, e3)) << "rise ratio";
    EXPECT_TRUE(sameBits(out4, e4)) << "rise detected";

    stepKernels::greaterThan(n, a.data(), 0.0, out.data());
    for (int32_t k = 0; k < n; ++k) {
        e1[k] = greater(a[k], 0.0);
    }
    EXPECT_TRUE(sameBits(out, e1)) << "detection";

    stepKernels::risingEdge(n, flags.data(), a.data(), out.data(), out2.data());
    for (int32_t k = 0; k < n; ++k) {
        e1[k] = isTrue(a[k]) ? 0.0 : 1.0;
        e2[k] = (isTrue(flags[k]) && isTrue(e1[k])) ? 1.0 : 0.0;
    }
    EXPECT_TRUE(sameBits(out, e1)) << "not delayed";
    EXPECT_TRUE(sameBits(out2, e2)) << "detection edge";

    stepKernels::overloadGuard(n, c.data(), b.data(), 20.0, flags.data(), out.data(), out2.data(),
                               out3.data());
    for (int32_t k = 0; k < n; ++k) {
        e1[k] = c[k] - b[k];
        e2[k] = greater(e1[k], 20.0);
        e3[k] = (isTrue(flags[k]) && isTrue(e2[k])) ? 1.0 : 0.0;
    }
    EXPECT_TRUE(sameBits(out, e1)) << "since edge";
    EXPECT_TRUE(sameBits(out2, e2)) << "gap elapsed";
    EXPECT_TRUE(sameBits(out3, e3)) << "clip trigger";
}

}  // namespace
