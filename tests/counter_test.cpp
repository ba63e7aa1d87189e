#include "blocks/counter.h"
#include "support/block_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using blockHarness::Harness;
using Frame = std::vector<double>;

// The twelve parameters by name, in their order.
struct Options {
    double frameSize = 6;
    double hasIncrementInput = 0;
    double hasResetInput = 0;
    double hasLoadInput = 0;
    double countDown = 0;
    double loadValue = 0;
    double stopAtLimit = 0;
    double countLimit = 0;
    double initialCount = 0;
    double numChannels = 1;
    double channelMajor = 0;
    double sampleTime = -1;
};

std::vector<double> params(const Options& o) {
    return {o.frameSize,  o.hasIncrementInput, o.hasResetInput, o.hasLoadInput,
            o.countDown,  o.loadValue,         o.stopAtLimit,   o.countLimit,
            o.initialCount, o.numChannels,     o.channelMajor,  o.sampleTime};
}

int32_t inputCount(const Options& o) {
    return (o.hasIncrementInput != 0.0) + (o.hasResetInput != 0.0) + (o.hasLoadInput != 0.0);
}

const Options digitalClock{.frameSize = 8192, .initialCount = 463050, .channelMajor = 1,
                           .sampleTime = 0.3715192743764172};
const Options peakDetector{.frameSize = 8192, .countDown = 1, .stopAtLimit = 1,
                           .initialCount = 9830.4, .channelMajor = 1};
const Options pulseExtend{.frameSize = 8192, .hasLoadInput = 1, .countDown = 1,
                          .loadValue = 3001, .stopAtLimit = 1};

TEST(Counter, SlotsAndSizes) {
    EXPECT_EQ(blockHarness::setSlotNames(registerCounter),
              "initSizes initSampleTimes initConditions outputs update terminate");
    struct Case {
        const char* name;
        Options options;
        int32_t inputs, width, channels;
        double sampleTime;
    };
    const Case cases[] = {
        {"digital clock", digitalClock, 0, 8192, 1, 0.3715192743764172},
        {"peak detector", peakDetector, 0, 8192, 1, -1},
        {"pulse extend", pulseExtend, 1, 8192, 1, -1},
        {"all inputs", {.frameSize = 3, .hasIncrementInput = 1, .hasResetInput = 1,
                        .hasLoadInput = 1, .numChannels = 2, .sampleTime = 0.25},
         3, 6, 2, 0.25},
        {"fractional and negative flags", {.frameSize = 2.5, .hasIncrementInput = 0.5,
                                           .hasLoadInput = -1, .numChannels = 1.5},
         2, 6, 2, -1},
        {"no channels", {.frameSize = 4, .hasResetInput = 1, .numChannels = 0}, 1, 0, 0, -1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        // With no input flag on, inputPorts stays null: initSizes must not touch it.
        Harness h(registerCounter, params(k.options), inputCount(k.options));
        const BlockRecord& r = h.block();
        EXPECT_EQ(r.numParams, 12);
        EXPECT_EQ(r.numInputPorts, k.inputs);
        for (int32_t p = 0; p < k.inputs; ++p) {
            EXPECT_EQ(r.inputPorts[p].width, k.width);
            EXPECT_EQ(r.inputPorts[p].directFeedthrough, 1);
        }
        EXPECT_EQ(r.numOutputPorts, 1);
        EXPECT_EQ(r.outputPorts[0].width, k.width);
        EXPECT_EQ(r.numDiscStates, k.channels);
        EXPECT_EQ(r.numRWork, k.channels);
        EXPECT_EQ(r.numIWork + r.numPWork + r.numContStates + r.numModes + r.options, 0);
        EXPECT_EQ(r.numSampleTimes, 1);
        EXPECT_EQ(r.sampleTimes[0], k.sampleTime);
        EXPECT_EQ(r.offsetTimes[0], 0.0);
    }
}

TEST(Counter, DigitalClockOverTwoFrames) {
    Harness h(registerCounter, params(digitalClock), 0);
    h.initConditions();
    for (int frame = 0; frame < 2; ++frame) {
        const Frame out = h.step({});
        for (int i = 0; i < 8192; ++i) {
            ASSERT_EQ(out[static_cast<size_t>(i)], 463051.0 + frame * 8192 + i) << frame << " " << i;
        }
    }
    EXPECT_EQ(h.discStates()[0], 463050.0 + 2 * 8192);
}

TEST(Counter, PeakDetectorHoldOffOverTwoFrames) {
    Harness h(registerCounter, params(peakDetector), 0);
    h.initConditions();
    const double initial = 9830.4;
    std::vector<double> output = h.step({});
    const Frame second = h.step({});
    output.insert(output.end(), second.begin(), second.end());
    int positive = 0;
    for (size_t k = 0; k < output.size(); ++k) {
        const double expected = k <= 9830 ? initial - static_cast<double>(k + 1) : initial - 9831;
        ASSERT_EQ(output[k], expected) << k;
        positive += output[k] > 0.0;
    }
    EXPECT_EQ(positive, 8192 + 1638);
    EXPECT_GT(output[9829], 0.399999);
    EXPECT_LT(output[9829], 0.4);
    EXPECT_EQ(output[9830], -0.6000000000003638);
    EXPECT_EQ(output[16383], -0.6000000000003638);
    EXPECT_EQ(h.discStates()[0], -0.6000000000003638);
}

TEST(Counter, PulseExtendAcrossFrames) {
    struct Case {
        const char* name;
        std::vector<size_t> loaded;  // samples (from the start of the run) with a non-zero input
    };
    const Case cases[] = {
        {"single sample near a frame end", {7000}},
        {"run of samples", {100, 101, 102, 103}},
        {"reload while counting down", {10, 2000}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Harness h(registerCounter, params(pulseExtend), 1);
        h.initConditions();
        std::vector<double> output;
        for (size_t frame = 0; frame < 2; ++frame) {
            Frame load(8192, 0.0);
            for (size_t s : k.loaded) {
                if (s / 8192 == frame) {
                    load[s % 8192] = 1.0;
                }
            }
            const Frame out = h.step({load});
            output.insert(output.end(), out.begin(), out.end());
        }
        // 3001 at a loaded sample, then one less per sample down to 0.
        for (size_t s = 0; s < output.size(); ++s) {
            double expected = 0.0;
            for (size_t l : k.loaded) {
                if (l <= s) {
                    expected = std::max(3001.0 - static_cast<double>(s - l), 0.0);
                }
            }
            ASSERT_EQ(output[s], expected) << s;
        }
        EXPECT_EQ(output[k.loaded.back() + 3000], 1.0);
        EXPECT_EQ(output[k.loaded.back() + 3001], 0.0);
    }
}

TEST(Counter, CountsLimitsResetsAndLoads) {
    struct Case {
        const char* name;
        Options options;
        std::vector<double> start;  // committed counts to start from; empty: initialCount
        std::vector<Frame> inputs;  // one frame per enabled input port
        Frame output;
    };
    const Case cases[] = {
        {"load, interleaved", {.frameSize = 3, .hasLoadInput = 1, .loadValue = 9,
                               .numChannels = 2},
         {0, 100}, {{0, 0, 0, 1, 0, 0}}, {1, 101, 2, 9, 3, 10}},
        {"load, channel blocks", {.frameSize = 3, .hasLoadInput = 1, .loadValue = 9,
                                  .numChannels = 2, .channelMajor = 1},
         {0, 100}, {{0, 0, 0, 1, 0, 0}}, {1, 2, 3, 9, 10, 11}},
        {"layout 0.5 is channel blocks", {.frameSize = 3, .hasLoadInput = 1, .loadValue = 9,
                                          .numChannels = 2, .channelMajor = 0.5},
         {0, 100}, {{0, 0, 0, 1, 0, 0}}, {1, 2, 3, 9, 10, 11}},
        {"layout -0.5 is interleaved", {.frameSize = 3, .hasLoadInput = 1, .loadValue = 9,
                                        .numChannels = 2, .channelMajor = -0.5},
         {0, 100}, {{0, 0, 0, 1, 0, 0}}, {1, 101, 2, 9, 3, 10}},
        {"flags 0.5 and -1 are on", {.frameSize = 4, .hasLoadInput = 0.5, .countDown = -1,
                                     .loadValue = 7},
         {}, {{0, 1, 0, 0}}, {-1, 7, 6, 5}},
        {"reset wins over load", {.frameSize = 4, .hasResetInput = 1, .hasLoadInput = 1,
                                  .loadValue = 50, .initialCount = 10},
         {}, {{0, 1, 0, 0}, {1, 1, 0, 1}}, {50, 0, 1, 50}},
        {"reset and load hold while on", {.frameSize = 6, .hasResetInput = 1, .hasLoadInput = 1,
                                          .loadValue = 5, .initialCount = 10},
         {}, {{1, 1, 0, 0, 0, 0}, {0, 0, 0, 2, -1, 0}}, {0, 0, 1, 5, 5, 6}},
        {"NaN is not 0.0", {.frameSize = 3, .hasResetInput = 1, .initialCount = 10},
         {}, {{0, std::nan(""), 0}}, {11, 0, 1}},
        {"up to a limit", {.frameSize = 6, .stopAtLimit = 1, .countLimit = 4},
         {}, {}, {1, 2, 3, 4, 4, 4}},
        {"down to a limit", {.frameSize = 4, .countDown = 1, .stopAtLimit = 1, .countLimit = 2,
                             .initialCount = 5},
         {}, {}, {4, 3, 2, 2}},
        {"a step overshoots the limit once", {.frameSize = 4, .hasIncrementInput = 1,
                                              .stopAtLimit = 1, .countLimit = 4},
         {}, {{3, 3, 3, 3}}, {3, 6, 6, 6}},
        {"just below the upper threshold still steps", {.frameSize = 2, .stopAtLimit = 1,
                                                        .countLimit = 4,
                                                        .initialCount = 3.99999999999},
         {}, {}, {3.99999999999 + 1, 3.99999999999 + 1}},
        {"within the threshold margin stays", {.frameSize = 2, .stopAtLimit = 1, .countLimit = 4,
                                               .initialCount = 3.9999999999999},
         {}, {}, {3.9999999999999, 3.9999999999999}},
        {"exactly at the lower threshold stays", {.frameSize = 2, .countDown = 1,
                                                  .stopAtLimit = 1, .initialCount = 1e-12},
         {}, {}, {1e-12, 1e-12}},
        {"exactly at the upper threshold stays", {.frameSize = 2, .stopAtLimit = 1,
                                                  .initialCount = -1e-12},
         {}, {}, {-1e-12, -1e-12}},
        {"negative limit counting up", {.frameSize = 4, .stopAtLimit = 1, .countLimit = -3,
                                        .initialCount = -5},
         {}, {}, {-4, -3, -2, -2}},
        {"negative limit counting down", {.frameSize = 5, .countDown = 1, .stopAtLimit = 1,
                                          .countLimit = -3},
         {}, {}, {-1, -2, -3, -4, -4}},
        {"loaded beyond the limit stays", {.frameSize = 4, .hasLoadInput = 1, .loadValue = 10,
                                           .stopAtLimit = 1, .countLimit = 4},
         {}, {{0, 1, 0, 0}}, {1, 10, 10, 10}},
        {"zero and negative increments", {.frameSize = 4, .hasIncrementInput = 1,
                                          .stopAtLimit = 1, .countLimit = 4, .initialCount = 2},
         {}, {{0, -5, 0.5, 2}}, {2, -3, -2.5, -0.5}},
        {"increment counting down", {.frameSize = 3, .hasIncrementInput = 1, .countDown = 1},
         {}, {{2, -1, 0.25}}, {-2, -1, -1.25}},
        {"unbounded past the limit", {.frameSize = 3, .countLimit = 1}, {}, {}, {1, 2, 3}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Harness h(registerCounter, params(k.options), inputCount(k.options));
        h.initConditions();
        for (size_t j = 0; j < k.start.size(); ++j) {
            h.discStateData()[j] = k.start[j];
        }
        EXPECT_EQ(h.step(k.inputs), k.output);
    }
}

TEST(Counter, EmptyFramesAndNoChannels) {
    // frameSize 0.4 rounds to 0: nothing is written and the count stays.
    Harness noSamples(registerCounter, params({.frameSize = 0.4, .initialCount = 7}), 0);
    noSamples.initConditions();
    EXPECT_TRUE(noSamples.step({}).empty());
    EXPECT_EQ(noSamples.discStates(), (std::vector<double>{7}));

    Harness noChannels(registerCounter,
                       params({.frameSize = 4, .hasResetInput = 1, .numChannels = 0}), 1);
    const std::vector<double> before = noChannels.snapshot();
    noChannels.initConditions();
    EXPECT_TRUE(noChannels.step({{}}).empty());
    EXPECT_EQ(noChannels.snapshot(), before);
    EXPECT_TRUE(noChannels.guardsIntact());
}

TEST(Counter, OutputsRestartsFromTheCommittedCount) {
    Harness h(registerCounter, params({.frameSize = 3, .initialCount = 1}), 0);
    h.initConditions();
    EXPECT_EQ(h.outputs(), (Frame{2, 3, 4}));
    EXPECT_EQ(h.outputs(), (Frame{2, 3, 4}));
    EXPECT_EQ(h.rWork(), (std::vector<double>{4}));
    EXPECT_EQ(h.discStates(), (std::vector<double>{1}));
    h.update();
    EXPECT_EQ(h.discStates(), (std::vector<double>{4}));
    EXPECT_EQ(h.outputs(), (Frame{5, 6, 7}));

    const std::vector<double> all = h.snapshot();
    h.terminate();
    EXPECT_EQ(h.snapshot(), all);

    h.initConditions();
    EXPECT_EQ(h.discStates(), (std::vector<double>{1}));
}

// The rules written plainly, with every option tested inside the loop.
void referenceCount(const Options& o, std::vector<double>& counts,
                    const std::vector<Frame>& inputs, Frame& out) {
    const int m = static_cast<int>(std::floor(o.frameSize + 0.5));
    const int n = static_cast<int>(std::floor(o.numChannels + 0.5));
    const bool major = std::floor(o.channelMajor + 0.5) != 0.0;
    size_t port = 0;
    const Frame* increment = o.hasIncrementInput != 0.0 ? &inputs[port++] : nullptr;
    const Frame* reset = o.hasResetInput != 0.0 ? &inputs[port++] : nullptr;
    const Frame* load = o.hasLoadInput != 0.0 ? &inputs[port++] : nullptr;
    const double upper = o.countLimit * 0.999999999999 - 1e-12;
    const double lower = o.countLimit * 1.000000000001 + 1e-12;
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < n; ++j) {
            const size_t k = static_cast<size_t>(major ? j * m + i : i * n + j);
            double& c = counts[static_cast<size_t>(j)];
            if (reset != nullptr && (*reset)[k] != 0.0) {
                c = 0.0;
            } else if (load != nullptr && (*load)[k] != 0.0) {
                c = o.loadValue;
            } else {
                const double s = increment != nullptr ? (*increment)[k] : 1.0;
                if (o.countDown != 0.0) {
                    if (o.stopAtLimit == 0.0 || c > lower) {
                        c = c - s;
                    }
                } else if (o.stopAtLimit == 0.0 || c < upper) {
                    c = c + s;
                }
            }
            out[k] = c;
        }
    }
}

TEST(Counter, EverySpecialisationMatchesThePlainRules) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> step(-1.5, 2.5);
    std::bernoulli_distribution rare(0.08);
    for (uint32_t combination = 0; combination < 64; ++combination) {
        const Options o{.frameSize = 7,
                        .hasIncrementInput = (combination & 2u) ? 1.0 : 0.0,
                        .hasResetInput = (combination & 16u) ? 1.0 : 0.0,
                        .hasLoadInput = (combination & 32u) ? 1.0 : 0.0,
                        .countDown = (combination & 4u) ? 1.0 : 0.0,
                        .loadValue = 2.5,
                        .stopAtLimit = (combination & 8u) ? 1.0 : 0.0,
                        .countLimit = (combination & 4u) ? -3.0 : 4.0,
                        .initialCount = 0.75,
                        .numChannels = 3,
                        .channelMajor = (combination & 1u) ? 1.0 : 0.0};
        SCOPED_TRACE("combination " + std::to_string(combination));
        Harness h(registerCounter, params(o), inputCount(o));
        h.initConditions();
        std::vector<double> counts(3, o.initialCount);
        for (int frame = 0; frame < 4; ++frame) {
            std::vector<Frame> inputs;
            for (int p = 0; p < inputCount(o); ++p) {
                Frame in(21);
                for (double& v : in) {
                    v = rare(random) ? 1.0 : 0.0;
                }
                inputs.push_back(in);
            }
            if (o.hasIncrementInput != 0.0) {
                for (double& v : inputs[0]) {
                    v = rare(random) ? 0.0 : step(random);
                }
            }
            Frame expected(21);
            referenceCount(o, counts, inputs, expected);
            ASSERT_EQ(h.step(inputs), expected) << "frame " << frame;
            ASSERT_EQ(h.discStates(), counts) << "frame " << frame;
        }
    }
}

// One channel without inputs takes closed forms where each count is exact: a count held at its
// limit repeats, an integer count stepping by 1.0 is the start plus or minus the step number. Near
// 2^53, off the integers, or not finite, the loop runs instead. Either way the bits must be those
// of the plain rules (signed zeros and NaN included).
TEST(Counter, ClosedFormsGiveThePlainRulesBits) {
    const double nearLimit = 9007199254740992.0 - 10.0;
    struct Case {
        const char* name;
        Options options;
        int frames;
    };
    const Case cases[] = {
        {"digital clock", digitalClock, 3},
        {"up through zero", {.frameSize = 6, .initialCount = -3}, 2},
        {"down through zero", {.frameSize = 6, .countDown = 1, .initialCount = 2}, 2},
        {"down from negative zero", {.frameSize = 4, .countDown = 1, .initialCount = -0.0}, 2},
        {"up past 2^53", {.frameSize = 16, .initialCount = nearLimit}, 2},
        {"up from a half", {.frameSize = 5, .initialCount = 0.5}, 2},
        {"up from infinity", {.frameSize = 3, .initialCount = HUGE_VAL}, 1},
        {"hold-off", peakDetector, 3},
        {"held above an upper limit",
         {.frameSize = 5, .stopAtLimit = 1, .countLimit = 4, .initialCount = 10}, 2},
        {"held at NaN", {.frameSize = 5, .stopAtLimit = 1, .initialCount = std::nan("")}, 1},
    };
    for (const Case& c : cases) {
        Harness h(registerCounter, params(c.options), 0);
        h.initConditions();
        std::vector<double> counts(1, c.options.initialCount);
        for (int frame = 0; frame < c.frames; ++frame) {
            Frame expected(static_cast<size_t>(c.options.frameSize));
            referenceCount(c.options, counts, {}, expected);
            const Frame out = h.step({});
            ASSERT_EQ(std::memcmp(out.data(), expected.data(), out.size() * sizeof(double)), 0)
                << c.name << ", frame " << frame;
            ASSERT_EQ(std::memcmp(h.discStates().data(), counts.data(), sizeof(double)), 0)
                << c.name << ", frame " << frame;
        }
    }
}

}  // namespace
