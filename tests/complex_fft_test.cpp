#include "blocks/complex_fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "blocks/fft_engine.h"
#include "support/fft_reference.h"

namespace {

std::vector<double> randomValues(size_t count, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> values(count);
    for (double& v : values) {
        v = dist(rng);
    }
    return values;
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// The blocked, fused and reordering kernels of every variant this machine runs, the stages above
// the table (16384) and the short transforms must give exactly the literal routine's doubles.
// The lengths cover every split of the stages into pairs and single stages.
TEST(ComplexFft, MatchesTheLiteralRoutineBitForBit) {
    int32_t variantCount = 0;
    const FftVariant* const* variants = availableFftVariants(&variantCount);
    const char* const initial = activeFftVariant().name;
    for (int32_t v = 0; v < variantCount; ++v) {
        ASSERT_TRUE(selectFftVariant(variants[v]->name));
        std::mt19937_64 rng(20240611);
        for (int32_t n : {8192, 1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 16384}) {
            for (int trial = 0; trial < 2; ++trial) {
                std::vector<double> re = randomValues(static_cast<size_t>(n), rng);
                std::vector<double> im = randomValues(static_cast<size_t>(n), rng);
                if (trial == 1) {
                    // Signed zeros and large magnitudes take part in the butterflies too.
                    re[0] = -0.0;
                    im[static_cast<size_t>(n) - 1] = 32767.0;
                }
                std::vector<double> refRe = re;
                std::vector<double> refIm = im;
                complexFft(n, re.data(), im.data());
                fftReference::complexFft(n, refRe.data(), refIm.data());
                EXPECT_TRUE(sameBits(re, refRe))
                    << variants[v]->name << ", n = " << n << ", trial " << trial;
                EXPECT_TRUE(sameBits(im, refIm))
                    << variants[v]->name << ", n = " << n << ", trial " << trial;
            }
        }
    }
    ASSERT_TRUE(selectFftVariant(initial));
}

// The widest variant the machine has is the one in use, and unknown names change nothing.
TEST(ComplexFft, UsesTheWidestAvailableVariant) {
    int32_t variantCount = 0;
    const FftVariant* const* variants = availableFftVariants(&variantCount);
    ASSERT_GE(variantCount, 1);
    EXPECT_STREQ(variants[0]->name, "baseline");
    EXPECT_STREQ(activeFftVariant().name, variants[variantCount - 1]->name);
    EXPECT_FALSE(selectFftVariant("no such variant"));
    EXPECT_STREQ(activeFftVariant().name, variants[variantCount - 1]->name);
}

// An independent check of the convention: Z[k] = sum z[t] e^(-2 pi i t k / n), unscaled.
TEST(ComplexFft, AgreesWithADirectDft) {
    std::mt19937_64 rng(7);
    for (int32_t n : {2, 8, 64, 512}) {
        const size_t count = static_cast<size_t>(n);
        const std::vector<double> zr = randomValues(count, rng);
        const std::vector<double> zi = randomValues(count, rng);
        std::vector<double> re = zr;
        std::vector<double> im = zi;
        complexFft(n, re.data(), im.data());
        const long double pi = 3.141592653589793238462643383279502884L;
        double worst = 0.0;
        for (size_t k = 0; k < count; ++k) {
            long double sumRe = 0.0L;
            long double sumIm = 0.0L;
            for (size_t t = 0; t < count; ++t) {
                const long double angle = -2.0L * pi * static_cast<long double>((t * k) % count) / n;
                const long double c = std::cos(angle);
                const long double s = std::sin(angle);
                sumRe += zr[t] * c - zi[t] * s;
                sumIm += zr[t] * s + zi[t] * c;
            }
            worst = std::fmax(worst, std::fabs(static_cast<double>(sumRe) - re[k]));
            worst = std::fmax(worst, std::fabs(static_cast<double>(sumIm) - im[k]));
        }
        EXPECT_LT(worst, 1e-12) << "n = " << n;
    }
}

// Lengths that are not powers of two would run the butterflies past the arrays and the
// reordering loop forever; they leave the arrays as they were.
TEST(ComplexFft, LeavesOtherLengthsUntouched) {
    for (int32_t n : {0, -4, 3, 5, 6, 12, 24}) {
        const size_t count = n > 0 ? static_cast<size_t>(n) : 1;
        std::vector<double> re(count);
        std::vector<double> im(count);
        for (size_t i = 0; i < count; ++i) {
            re[i] = 1.0 + static_cast<double>(i);
            im[i] = -2.0 * static_cast<double>(i);
        }
        const std::vector<double> re0 = re;
        const std::vector<double> im0 = im;
        complexFft(n, re.data(), im.data());
        EXPECT_TRUE(sameBits(re, re0)) << "n = " << n;
        EXPECT_TRUE(sameBits(im, im0)) << "n = " << n;
    }
}

}  // namespace
