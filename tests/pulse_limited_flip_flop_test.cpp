#include "blocks/pulse_limited_flip_flop.h"
#include "support/block_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

using blockHarness::Harness;
using Frame = std::vector<double>;

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::nan("");

// Parameters with one channel and interleaved layout.
std::vector<double> flipFlop(double frameSize, double minPulse, double maxOn,
                             double initialState = 0) {
    return {frameSize, initialState, minPulse, maxOn, 1, 0};
}

TEST(PulseLimitedFlipFlop, SlotsAndSizes) {
    EXPECT_EQ(blockHarness::setSlotNames(registerPulseLimitedFlipFlop),
              "initSizes initSampleTimes initConditions outputs update terminate");
    struct Case {
        // frameSize, initialState, minPulseLength, maxOnLength, numChannels, channelMajor
        std::vector<double> params;
        int32_t width, channels;
    };
    const Case cases[] = {
        {{8192, 0, 2205, 8820, 1, 0}, 8192, 1},
        {{3, 0, 0, 0, 2, 1}, 6, 2},
        {{2.5, 0, 0, 0, 2.5, 0}, 9, 3},  // rounded: F 3, C 3
    };
    for (const Case& k : cases) {
        Harness h(registerPulseLimitedFlipFlop, k.params, 2);
        const BlockRecord& r = h.block();
        EXPECT_EQ(r.numParams, 6);
        EXPECT_EQ(r.numInputPorts, 2);
        EXPECT_EQ(r.numOutputPorts, 1);
        for (int32_t p = 0; p < 2; ++p) {
            EXPECT_EQ(r.inputPorts[p].width, k.width);
            EXPECT_EQ(r.inputPorts[p].directFeedthrough, 1);
        }
        EXPECT_EQ(r.outputPorts[0].width, k.width);
        EXPECT_EQ(r.numDiscStates, 2 * k.channels);
        EXPECT_EQ(r.numRWork, k.channels);
        EXPECT_EQ(r.numIWork, k.channels);
        EXPECT_EQ(r.numPWork + r.numContStates + r.numModes + r.options, 0);
        EXPECT_EQ(r.numSampleTimes, 1);
        EXPECT_EQ(r.sampleTimes[0], -1.0);
        EXPECT_EQ(r.offsetTimes[0], 1.0);
    }
}

TEST(PulseLimitedFlipFlop, PulsesAcrossFrames) {
    struct Case {
        const char* name;
        std::vector<double> params;
        std::vector<Frame> reset, set, outputs;
        std::vector<double> counts;  // committed pulse count after each frame
    };
    const Case cases[] = {
        {"minimum outlasts an early reset", flipFlop(6, 3, 0),
         {{0, 1, 0, 0, 0, 0}}, {{1, 0, 0, 0, 0, 0}}, {{1, 1, 1, 0, 0, 0}}, {0}},
        {"maximum cuts a held set", flipFlop(8, 0, 3),
         {{0, 0, 0, 0, 0, 0, 0, 0}}, {{1, 1, 1, 1, 1, 1, 1, 1}}, {{1, 1, 1, 0, 1, 1, 1, 0}}, {0}},
        {"plain flip-flop keeps no count", flipFlop(2, 0, 0),
         {{0, 0}, {0, 1}}, {{0, 1}, {0, 0}}, {{0, 1}, {1, 0}}, {0, 0}},
        {"reset wins over set, the minimum still holds", flipFlop(4, 3, 0),
         {{0, 1, 0, 0}}, {{1, 1, 0, 0}}, {{1, 1, 1, 0}}, {0}},
        {"reset wins over set with no pulse running", flipFlop(3, 3, 0),
         {{0, 1, 0}}, {{0, 1, 0}}, {{0, 0, 0}}, {0}},
        {"reset wins over set, plain flip-flop", flipFlop(3, 0, 0),
         {{0, 1, 0}}, {{1, 1, 0}}, {{1, 0, 0}}, {0}},
        {"minimum across a frame boundary", flipFlop(2, 3, 0),
         {{0, 0}, {1, 0}, {0, 0}}, {{0, 1}, {0, 0}, {0, 0}}, {{0, 1}, {1, 1}, {0, 0}},
         {1, 3, 0}},
        {"maximum across a frame boundary", flipFlop(2, 0, 3),
         {{0, 0}, {0, 0}, {0, 0}}, {{1, 1}, {1, 1}, {1, 1}}, {{1, 1}, {1, 0}, {1, 1}},
         {2, 0, 2}},
        {"held set with both limits", flipFlop(4, 2, 3),
         {{0, 0, 0, 0}, {0, 0, 0, 1}}, {{1, 1, 1, 1}, {1, 1, 1, 1}},
         {{1, 1, 1, 0}, {1, 1, 1, 0}}, {0, 0}},
        {"NaN inputs are inactive", flipFlop(4, 0, 0),
         {{0, 0, nan, 0}}, {{nan, -2, 0, 0}}, {{0, 1, 1, 1}}, {0}},
        {"starts set with a count of 1", flipFlop(4, 0, 3, 0.5),
         {{0, 0, 0, 0}}, {{0, 0, 0, 0}}, {{1, 1, 0, 0}}, {0}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Harness h(registerPulseLimitedFlipFlop, k.params, 2);
        h.initConditions();
        for (size_t s = 0; s < k.reset.size(); ++s) {
            EXPECT_EQ(h.step({k.reset[s], k.set[s]}), k.outputs[s]) << "frame " << s;
            EXPECT_EQ(h.discStates()[1], k.counts[s]) << "frame " << s;
        }
    }
}

// A maximum that is infinite or NaN means no maximum, exactly as 0 does.
TEST(PulseLimitedFlipFlop, NonFiniteMaximumIsNoMaximum) {
    const Frame reset = {0, 1, 0, 0, 0, 0, 0, 1, 0, 0};
    const Frame set = {1, 0, 0, 0, 1, 1, 1, 0, 1, 1};
    for (double minPulse : {0.0, 3.0}) {
        Harness reference(registerPulseLimitedFlipFlop, flipFlop(10, minPulse, 0), 2);
        reference.initConditions();
        const Frame expected = reference.step({reset, set});
        for (double maxOn : {inf, -inf, nan, 0.4}) {
            Harness h(registerPulseLimitedFlipFlop, flipFlop(10, minPulse, maxOn), 2);
            h.initConditions();
            EXPECT_EQ(h.step({reset, set}), expected) << minPulse << " " << maxOn;
            EXPECT_EQ(h.discStates(), reference.discStates()) << minPulse << " " << maxOn;
        }
    }
}

TEST(PulseLimitedFlipFlop, ModelLimitsOverFrames) {
    struct Case {
        const char* name;
        size_t setAt;    // a single set sample (or a held set when `held`)
        bool held;
        size_t resetAt;  // a single reset sample, or none
        size_t firstOne, lastOne;  // the one pulse expected within the first two frames
    };
    constexpr size_t none = 1u << 30;
    const Case cases[] = {
        {"early reset: the minimum", 100, false, 110, 100, 100 + 2204},
        {"late reset ends the pulse", 100, false, 5000, 100, 4999},
        {"no reset: the maximum, across the frame boundary", 8000, false, none, 8000,
         8000 + 8819},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Harness h(registerPulseLimitedFlipFlop, {8192, 0, 2205, 8820, 1, 0}, 2);
        h.initConditions();
        std::vector<double> output;
        for (size_t frame = 0; frame < 3; ++frame) {
            Frame reset(8192, 0.0), set(8192, 0.0);
            for (size_t i = 0; i < 8192; ++i) {
                const size_t at = frame * 8192 + i;
                set[i] = (at == k.setAt || (k.held && at >= k.setAt)) ? 1.0 : 0.0;
                reset[i] = at == k.resetAt ? 1.0 : 0.0;
            }
            const Frame out = h.step({reset, set});
            output.insert(output.end(), out.begin(), out.end());
        }
        for (size_t at = 0; at < output.size(); ++at) {
            ASSERT_EQ(output[at], (at >= k.firstOne && at <= k.lastOne) ? 1.0 : 0.0) << at;
        }
    }

    // A held set gives pulses of exactly E samples with one 0.0 between them.
    Harness h(registerPulseLimitedFlipFlop, {8192, 0, 2205, 8820, 1, 0}, 2);
    h.initConditions();
    std::vector<double> output;
    for (int frame = 0; frame < 3; ++frame) {
        const Frame out = h.step({Frame(8192, 0.0), Frame(8192, 1.0)});
        output.insert(output.end(), out.begin(), out.end());
    }
    for (size_t at = 0; at < output.size(); ++at) {
        ASSERT_EQ(output[at], at % 8821 == 8820 ? 0.0 : 1.0) << at;
    }
}

TEST(PulseLimitedFlipFlop, ChannelsAreIndependentInBothLayouts) {
    // Channel 0: set at sample 0, reset at 1; channel 1: set at 1. H = 2, E = 0.
    struct Case {
        double channelMajor;
        Frame reset, set, output;
    };
    const Case cases[] = {
        {0, {0, 0, 1, 0, 0, 0}, {1, 0, 0, 1, 0, 0}, {1, 0, 1, 1, 0, 1}},
        {1, {0, 1, 0, 0, 0, 0}, {1, 0, 0, 0, 1, 0}, {1, 1, 0, 0, 1, 1}},
    };
    for (const Case& k : cases) {
        Harness h(registerPulseLimitedFlipFlop, {3, 0, 2, 0, 2, k.channelMajor}, 2);
        h.initConditions();
        EXPECT_EQ(h.step({k.reset, k.set}), k.output) << k.channelMajor;
        EXPECT_EQ(h.discStates(), (std::vector<double>{0, 1, 0, 2})) << k.channelMajor;
    }
}

TEST(PulseLimitedFlipFlop, OutputsWorksOnCopiesThatUpdateCommits) {
    Harness h(registerPulseLimitedFlipFlop, flipFlop(2, 0, 3), 2);
    h.initConditions();
    h.setInput(0, {0, 0});
    h.setInput(1, {1, 1});
    EXPECT_EQ(h.outputs(), (Frame{1, 1}));
    EXPECT_EQ(h.outputs(), (Frame{1, 1}));
    EXPECT_EQ(h.discStates(), (std::vector<double>{0, 0}));
    EXPECT_EQ(h.rWork(), (std::vector<double>{1}));
    EXPECT_EQ(h.iWork(), (std::vector<int32_t>{2}));
    h.update();
    EXPECT_EQ(h.discStates(), (std::vector<double>{1, 2}));

    const std::vector<double> all = h.snapshot();
    h.terminate();
    EXPECT_EQ(h.snapshot(), all);

    h.initConditions();
    EXPECT_EQ(h.discStates(), (std::vector<double>{0, 0}));
}

TEST(PulseLimitedFlipFlop, EndlessPulseKeepsItsCount) {
    Harness h(registerPulseLimitedFlipFlop, flipFlop(2, 3, 0), 2);
    h.initConditions();
    h.discStateData()[0] = 1.0;
    h.discStateData()[1] = 2147483646.0;
    EXPECT_EQ(h.step({{0, 0}, {0, 0}}), (Frame{1, 1}));
    EXPECT_EQ(h.discStates()[1], 2147483647.0);
    EXPECT_EQ(h.step({{0, 0}, {0, 0}}), (Frame{1, 1}));
    EXPECT_EQ(h.discStates()[1], 2147483647.0);
    EXPECT_EQ(h.step({{1, 0}, {0, 0}}), (Frame{0, 0}));
    EXPECT_EQ(h.discStates(), (std::vector<double>{0, 0}));
}

}  // namespace
