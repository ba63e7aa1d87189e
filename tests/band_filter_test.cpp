#include "model/band_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double tolerance = 2e-13;
constexpr int32_t bins = filterSpectrumBins;

std::vector<double> spectrum() {
    std::vector<double> s(filterSpectrumLength, -1.0);
    computeFilterSpectrum(s.data());
    return s;
}

double magnitude(const std::vector<double>& s, int32_t k) {
    return std::hypot(s[k], s[bins + k]);
}

double frequencyOf(int32_t k) {
    return static_cast<double>(k) * 22050.0 / static_cast<double>(bins);
}

TEST(FilterTaps, AreSymmetricAndMatchTheirDesignValues) {
    for (int32_t n = 0; n < filterTapCount; ++n) {
        EXPECT_EQ(filterTaps[n], filterTaps[filterTapCount - 1 - n]) << n;
    }
    EXPECT_EQ(filterTaps[0], -0.0063084710155561);
    EXPECT_EQ(filterTaps[28], -6.13534691288368e-06);
    EXPECT_EQ(filterTaps[49], 0.153222877530102);
}

TEST(FilterSpectrum, MatchesTheKnownBins) {
    const std::vector<double> s = spectrum();
    struct Case {
        int32_t bin;
        double re;
        double im;
    };
    const Case cases[] = {
        {0, -0.008372500396055471, 0.0},
        {1, -0.008369448387039262, 0.0001588964280765957},
        {4592, 0.7476091675214527, 0.7614992193733443},
        {8192, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(s[c.bin], c.re, tolerance) << c.bin;
        EXPECT_NEAR(s[bins + c.bin], c.im, tolerance) << c.bin;
    }
    EXPECT_EQ(s[bins + 0], 0.0);
    EXPECT_EQ(s[bins + 8192], 0.0);
}

TEST(FilterSpectrum, IsExactlyConjugateSymmetric) {
    const std::vector<double> s = spectrum();
    for (int32_t k = 1; k < bins; ++k) {
        ASSERT_EQ(s[bins - k], s[k]) << k;
        ASSERT_EQ(s[bins + (bins - k)], -s[bins + k]) << k;
    }
}

TEST(FilterSpectrum, AgreesWithALongDoubleDft) {
    const std::vector<double> s = spectrum();
    const long double twoPi = 6.283185307179586476925286766559L;
    std::vector<long double> cosTable(bins);
    std::vector<long double> sinTable(bins);
    for (int32_t m = 0; m < bins; ++m) {
        const long double angle = twoPi * static_cast<long double>(m) / bins;
        cosTable[m] = std::cos(angle);
        sinTable[m] = std::sin(angle);
    }
    double worst = 0.0;
    for (int32_t k = 0; k < bins; ++k) {
        long double re = 0.0L;
        long double im = 0.0L;
        for (int32_t n = 0; n < filterTapCount; ++n) {
            const int32_t m = (k * n) % bins;
            re += static_cast<long double>(filterTaps[n]) * cosTable[m];
            im -= static_cast<long double>(filterTaps[n]) * sinTable[m];
        }
        worst = std::fmax(worst, std::fabs(static_cast<double>(re - s[k])));
        worst = std::fmax(worst, std::fabs(static_cast<double>(im - s[bins + k])));
    }
    EXPECT_LT(worst, tolerance);
}

TEST(FilterSpectrum, PassesSixToTenKilohertzAndStopsTheLowBand) {
    const std::vector<double> s = spectrum();
    int32_t passBins = 0;
    int32_t stopBins = 0;
    for (int32_t k = 0; k <= bins / 2; ++k) {
        const double f = frequencyOf(k);
        const double m = magnitude(s, k);
        if (f >= 6100.0 && f <= 9900.0) {
            // The band edges 0.965 and 1.067 are quoted to three decimals (the peak is 1.06715).
            EXPECT_GE(m, 0.9645) << f;
            EXPECT_LT(m, 1.0675) << f;
            ++passBins;
        }
        if (f < 5000.0) {
            EXPECT_LE(20.0 * std::log10(m), -33.5) << f;
            ++stopBins;
        }
    }
    // Bins 4533..7356 and 0..3715.
    EXPECT_EQ(passBins, 2824);
    EXPECT_EQ(stopBins, 3716);
}

TEST(FilterSpectrum, HalfPowerPointsLieNearSixAndTenKilohertz) {
    const std::vector<double> s = spectrum();
    const double halfPower = std::sqrt(0.5);
    std::vector<double> crossings;
    for (int32_t k = 1; k <= bins / 2; ++k) {
        const bool below = magnitude(s, k - 1) < halfPower;
        if (below != (magnitude(s, k) < halfPower)) {
            crossings.push_back(frequencyOf(k));
        }
    }
    ASSERT_EQ(crossings.size(), 2u);
    EXPECT_NEAR(crossings[0], 5998.0, 5.0);
    EXPECT_NEAR(crossings[1], 10005.0, 5.0);
}

}  // namespace
