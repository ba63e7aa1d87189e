#include "blocks/real_fft.h"
#include "blocks/real_ifft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "blocks/fft_engine.h"
#include "support/fft_reference.h"

namespace {

using RegisterFn = void (*)(BlockRecord*);

constexpr double kSentinel = -1.2345e300;

// How the input element references of a test block reach its storage.
enum class Wiring {
    reversed,     // element i refers to storage element width - 1 - i: never consecutive
    consecutive,  // one consecutive run, resolved as the model resolves its instances
    twoSignals,   // each half its own consecutive run, the halves apart (as filteredRe/Im)
};

// A single-vector block wired as the model wires it: the root is its own root, ModelInfo has
// simTimeStep 1, the widths are written after initSizes, and each input element is a reference
// into separate storage.
struct TransformBlock {
    ModelInfo info{};
    BlockRecord root{};
    BlockRecord block{};
    double sampleTime = 0.0;
    double offsetTime = 0.0;
    int32_t taskId = 0;
    double paramData[1] = {-1.0};
    ParamValue param{1.0, 1.0, paramData};
    const ParamValue* paramRefs[1] = {&param};
    std::vector<double> storage;
    std::vector<size_t> slot;  // storage element behind input element i
    std::vector<const double*> inputPtrs;
    std::vector<double> output;

    TransformBlock(RegisterFn registerType, int32_t inputWidth, int32_t outputWidth,
                   Wiring wiring = Wiring::reversed)
        : storage(static_cast<size_t>(inputWidth) + 8, 0.0),
          slot(static_cast<size_t>(inputWidth)),
          inputPtrs(static_cast<size_t>(inputWidth)),
          output(static_cast<size_t>(outputWidth), kSentinel) {
        info.simTimeStep = 1;
        root.root = &root;
        root.info = &info;
        block.root = &root;
        block.parent = &root;
        block.info = &info;
        block.sampleTimes = &sampleTime;
        block.offsetTimes = &offsetTime;
        block.sampleTimeTaskIds = &taskId;
        block.numParamsGiven = 1;
        block.params = paramRefs;
        registerType(&block);
        block.methods.initSizes(&block);
        block.methods.initSampleTimes(&block);
        block.numInputPorts = inputWidth;
        block.numOutputPorts = outputWidth;
        const size_t width = slot.size();
        for (size_t i = 0; i < width; ++i) {
            switch (wiring) {
                case Wiring::reversed: slot[i] = width - 1 - i; break;
                case Wiring::consecutive: slot[i] = i; break;
                case Wiring::twoSignals: slot[i] = i < width / 2 ? i : i + 8; break;
            }
            inputPtrs[i] = &storage[slot[i]];
        }
        block.inputElementPtrs = inputPtrs.data();
        block.outputVector = output.data();
        if (wiring != Wiring::reversed) {
            resolveInputSources(&block);
        }
    }
    TransformBlock(const TransformBlock&) = delete;
    TransformBlock& operator=(const TransformBlock&) = delete;

    // Makes u[i] the value behind input element i.
    void setInput(const std::vector<double>& u) {
        for (size_t i = 0; i < u.size(); ++i) {
            storage[slot[i]] = u[i];
        }
    }
    void run() { callOutputs(&block, 0); }
};

std::vector<double> randomValues(size_t count, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> values(count);
    for (double& v : values) {
        v = dist(rng);
    }
    return values;
}

bool sameBits(const double* a, const double* b, size_t count) {
    return std::memcmp(a, b, count * sizeof(double)) == 0;
}

std::vector<double> realFft(const std::vector<double>& u, Wiring wiring = Wiring::reversed) {
    const int32_t n = static_cast<int32_t>(u.size());
    TransformBlock fft(registerRealFft, n, 2 * n, wiring);
    fft.setInput(u);
    fft.run();
    EXPECT_EQ(fft.root.errorStatus, nullptr);
    return fft.output;
}

std::vector<double> realIfft(const std::vector<double>& spectrum,
                             Wiring wiring = Wiring::reversed) {
    const int32_t m = static_cast<int32_t>(spectrum.size());
    TransformBlock ifft(registerRealIfft, m, m, wiring);
    ifft.setInput(spectrum);
    ifft.run();
    EXPECT_EQ(ifft.root.errorStatus, nullptr);
    return ifft.output;
}

TEST(TransformBlocks, RegistrationFillsTheSingleVectorSlots) {
    for (RegisterFn registerType : {registerRealFft, registerRealIfft}) {
        BlockRecord block{};
        registerType(&block);
        const BlockMethods& m = block.methods;
        EXPECT_NE(m.initSizes, nullptr);
        EXPECT_NE(m.initSampleTimes, nullptr);
        EXPECT_NE(m.vectorInitConditions, nullptr);
        EXPECT_NE(m.vectorOutputs, nullptr);
        EXPECT_NE(m.update, nullptr);
        EXPECT_NE(m.derivatives, nullptr);
        EXPECT_NE(m.terminate, nullptr);
        EXPECT_EQ(m.initConditions, nullptr);
        EXPECT_EQ(m.outputs, nullptr);
        EXPECT_EQ(m.start, nullptr);
    }
    BlockRecord fft{};
    BlockRecord ifft{};
    registerRealFft(&fft);
    registerRealIfft(&ifft);
    EXPECT_NE(fft.methods.vectorOutputs, ifft.methods.vectorOutputs);
}

TEST(TransformBlocks, InitSizesDeclaresTheSingleVectorSizes) {
    for (RegisterFn registerType : {registerRealFft, registerRealIfft}) {
        BlockRecord block{};
        registerType(&block);
        // Counts left over from elsewhere are declared zero.
        block.numContStates = 5;
        block.numDiscStates = 5;
        block.numIWork = 5;
        block.numRWork = 5;
        block.numPWork = 5;
        block.numModes = 5;
        block.methods.initSizes(&block);
        EXPECT_EQ(block.numParams, 1);
        EXPECT_EQ(block.numInputPorts, -1);
        EXPECT_EQ(block.numOutputPorts, -1);
        EXPECT_EQ(block.directFeedthrough, 1);
        EXPECT_EQ(block.numSampleTimes, 1);
        EXPECT_EQ(block.options, 3);
        EXPECT_EQ(block.numContStates, 0);
        EXPECT_EQ(block.numDiscStates, 0);
        EXPECT_EQ(block.numIWork, 0);
        EXPECT_EQ(block.numRWork, 0);
        EXPECT_EQ(block.numPWork, 0);
        EXPECT_EQ(block.numModes, 0);
    }
}

TEST(TransformBlocks, InitSampleTimesTakesPeriodAndOptionalOffset) {
    struct Case {
        double cols;
        double data[3];
        double period;
        double offset;
    };
    const Case cases[] = {
        {1.0, {-1.0, 7.0, 7.0}, -1.0, 0.0},
        {2.0, {0.25, 0.125, 7.0}, 0.25, 0.125},
        {2.9, {0.5, 0.1, 7.0}, 0.5, 0.1},  // the column count is truncated
        {3.0, {0.5, 0.1, 0.2}, 0.5, 0.0},
    };
    for (RegisterFn registerType : {registerRealFft, registerRealIfft}) {
        for (const Case& c : cases) {
            const ParamValue param{1.0, c.cols, c.data};
            const ParamValue* refs[1] = {&param};
            double sampleTime = 99.0;
            double offsetTime = 99.0;
            BlockRecord block{};
            block.params = refs;
            block.numParamsGiven = 1;
            block.sampleTimes = &sampleTime;
            block.offsetTimes = &offsetTime;
            registerType(&block);
            block.methods.initSampleTimes(&block);
            EXPECT_EQ(sampleTime, c.period) << c.cols;
            EXPECT_EQ(offsetTime, c.offset) << c.cols;
        }
    }
}

// Small spectra with their exact bits, signed zeros included.
TEST(RealFft, SmallCasesGiveExactSpectra) {
    struct Case {
        std::vector<double> input;
        std::vector<double> output;  // real parts, then imaginary parts
    };
    const Case cases[] = {
        {{1.0, 0.0, 0.0, 0.0}, {1.0, 1.0, 1.0, 1.0, 0.0, -0.0, 0.0, 0.0}},
        {{1.0, 1.0, 1.0, 1.0}, {4.0, 0.0, 0.0, 0.0, 0.0, -0.0, 0.0, 0.0}},
        {{1.0, 2.0}, {3.0, -1.0, -0.0, 0.0}},
        {{2.5}, {2.5, 0.0}},
    };
    for (const Case& c : cases) {
        const std::vector<double> y = realFft(c.input);
        ASSERT_EQ(y.size(), c.output.size());
        for (size_t i = 0; i < y.size(); ++i) {
            EXPECT_EQ(y[i], c.output[i]) << "N = " << c.input.size() << ", element " << i;
            EXPECT_EQ(std::signbit(y[i]), std::signbit(c.output[i]))
                << "N = " << c.input.size() << ", element " << i;
        }
    }
}

TEST(RealFft, CosineHasTwoBinsOfEight) {
    std::vector<double> u(16);
    for (size_t t = 0; t < u.size(); ++t) {
        u[t] = std::cos(2.0 * std::numbers::pi * 3.0 * static_cast<double>(t) / 16.0);
    }
    const std::vector<double> y = realFft(u);
    for (size_t k = 0; k < 16; ++k) {
        const double expected = (k == 3 || k == 13) ? 8.0 : 0.0;
        EXPECT_NEAR(y[k], expected, 1e-14) << "bin " << k;
        EXPECT_NEAR(y[16 + k], 0.0, 1e-14) << "bin " << k;
    }
}

TEST(RealFft, AgreesWithADirectDft) {
    const size_t n = 256;
    const std::vector<double> u = randomValues(n, 11);
    const std::vector<double> y = realFft(u);
    const long double pi = 3.141592653589793238462643383279502884L;
    double worst = 0.0;
    for (size_t k = 0; k < n; ++k) {
        long double sumRe = 0.0L;
        long double sumIm = 0.0L;
        for (size_t t = 0; t < n; ++t) {
            const long double angle = -2.0L * pi * static_cast<long double>((t * k) % n) / n;
            sumRe += u[t] * std::cos(angle);
            sumIm += u[t] * std::sin(angle);
        }
        worst = std::fmax(worst, std::fabs(static_cast<double>(sumRe) - y[k]));
        worst = std::fmax(worst, std::fabs(static_cast<double>(sumIm) - y[n + k]));
    }
    EXPECT_LT(worst, 1e-12);
}

TEST(RealIfft, InvertsTheRealFft) {
    const std::vector<double> u = randomValues(64, 5);
    const std::vector<double> y = realIfft(realFft(u));
    double worst = 0.0;
    for (size_t t = 0; t < u.size(); ++t) {
        worst = std::fmax(worst, std::fabs(y[t] - u[t]));
    }
    EXPECT_LT(worst, 5e-15);
}

// Every bin is used, symmetric or not: with x = (1/N) sum X[k] e^(+2 pi i k t / N) (complex),
// y[2j] = Re x[2j] - Im x[2j+1] and y[2j+1] = Re x[2j+1] + Im x[2j].
TEST(RealIfft, UsesAllBinsOfANonSymmetricSpectrum) {
    const size_t n = 64;
    const std::vector<double> spectrum = randomValues(2 * n, 9);
    const std::vector<double> y = realIfft(spectrum);
    const long double pi = 3.141592653589793238462643383279502884L;
    std::vector<long double> xr(n);
    std::vector<long double> xi(n);
    for (size_t t = 0; t < n; ++t) {
        for (size_t k = 0; k < n; ++k) {
            const long double angle = 2.0L * pi * static_cast<long double>((t * k) % n) / n;
            const long double c = std::cos(angle);
            const long double s = std::sin(angle);
            xr[t] += (spectrum[k] * c - spectrum[n + k] * s) / n;
            xi[t] += (spectrum[k] * s + spectrum[n + k] * c) / n;
        }
    }
    double worst = 0.0;
    for (size_t j = 0; j < n / 2; ++j) {
        worst = std::fmax(worst, std::fabs(y[2 * j] - static_cast<double>(xr[2 * j] - xi[2 * j + 1])));
        worst = std::fmax(worst,
                          std::fabs(y[2 * j + 1] - static_cast<double>(xr[2 * j + 1] + xi[2 * j])));
    }
    EXPECT_LT(worst, 1e-14);
}

TEST(RealIfft, LengthTwoCopiesTheInput) {
    const std::vector<double> y = realIfft({1.5, -0.0});
    EXPECT_EQ(y[0], 1.5);
    EXPECT_EQ(y[1], 0.0);
    EXPECT_TRUE(std::signbit(y[1]));
}

// The packing, split, mirror, merge and interleave of every variant this machine runs must give
// exactly the literal steps' doubles. The model's lengths also show what is written: every Real
// FFT output, and Real IFFT outputs 0 to 24575 only (the sentinel survives above).
TEST(TransformBlocks, MatchTheLiteralStepsBitForBit) {
    int32_t variantCount = 0;
    const FftVariant* const* variants = availableFftVariants(&variantCount);
    const char* const initial = activeFftVariant().name;
    for (int32_t v = 0; v < variantCount; ++v) {
        ASSERT_TRUE(selectFftVariant(variants[v]->name));
        const char* const name = variants[v]->name;
        for (int32_t n : {2, 4, 8, 16, 64, 1024, 16384}) {
            for (Wiring wiring : {Wiring::reversed, Wiring::consecutive, Wiring::twoSignals}) {
                const std::vector<double> u = randomValues(static_cast<size_t>(n), 100 + n);
                const std::vector<double> y = realFft(u, wiring);
                std::vector<double> expected(2 * static_cast<size_t>(n), kSentinel);
                fftReference::realFft(n, u.data(), expected.data());
                EXPECT_TRUE(sameBits(y.data(), expected.data(), y.size()))
                    << name << ", Real FFT N = " << n << ", wiring " << static_cast<int>(wiring);
                for (size_t i = 0; i < y.size(); ++i) {
                    ASSERT_NE(y[i], kSentinel)
                        << name << ", Real FFT N = " << n << " left element " << i;
                }
            }
        }
        for (int32_t m : {4, 8, 16, 128, 2048, 32768}) {
            // A realistic spectrum (of a real signal) and an arbitrary one.
            for (int variant = 0; variant < 6; ++variant) {
                const Wiring wiring = variant / 2 == 0   ? Wiring::reversed
                                      : variant / 2 == 1 ? Wiring::consecutive
                                                         : Wiring::twoSignals;
                const std::vector<double> x =
                    variant % 2 == 0 ? realFft(randomValues(static_cast<size_t>(m / 2), 200 + m))
                                     : randomValues(static_cast<size_t>(m), 300 + m);
                const std::vector<double> y = realIfft(x, wiring);
                std::vector<double> expected(static_cast<size_t>(m), kSentinel);
                fftReference::realIfft(m, x.data(), expected.data());
                EXPECT_TRUE(sameBits(y.data(), expected.data(), y.size()))
                    << name << ", Real IFFT M = " << m << ", case " << variant;
                const size_t written = static_cast<size_t>(m / 2 + m / 4);
                for (size_t i = 0; i < y.size(); ++i) {
                    ASSERT_EQ(y[i] == kSentinel, i >= written)
                        << name << ", Real IFFT M = " << m << ", element " << i;
                }
            }
        }
    }
    ASSERT_TRUE(selectFftVariant(initial));
}

TEST(TransformBlocks, DoNothingOutsideAMajorStep) {
    struct Case {
        RegisterFn registerType;
        int32_t inputWidth;
        int32_t outputWidth;
    };
    for (const Case& c : {Case{registerRealFft, 32, 64}, Case{registerRealIfft, 64, 64}}) {
        TransformBlock t(c.registerType, c.inputWidth, c.outputWidth);
        t.setInput(randomValues(static_cast<size_t>(c.inputWidth), 3));
        t.info.simTimeStep = 0;
        t.run();
        for (double v : t.output) {
            ASSERT_EQ(v, kSentinel);
        }
        EXPECT_EQ(t.root.errorStatus, nullptr);
    }
}

// Widths that would make a transform write past its output or read past its input are refused
// with an error and the output is left alone.
TEST(TransformBlocks, RefuseWidthsThatDoNotFit) {
    struct Case {
        RegisterFn registerType;
        int32_t inputWidth;
        int32_t outputWidth;
    };
    const Case cases[] = {
        {registerRealFft, 0, 2},
        {registerRealFft, 16, 31},
        {registerRealFft, 16, 16},
        {registerRealIfft, 4, 1},
        {registerRealIfft, 31, 32},
        {registerRealIfft, 16, 32},
    };
    for (const Case& c : cases) {
        TransformBlock t(c.registerType, c.inputWidth, c.outputWidth);
        t.run();
        EXPECT_NE(t.root.errorStatus, nullptr) << c.inputWidth << " -> " << c.outputWidth;
        for (double v : t.output) {
            ASSERT_EQ(v, kSentinel);
        }
    }
}

}  // namespace
