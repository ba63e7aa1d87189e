#include "blocks/delay.h"
#include "support/block_harness.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using blockHarness::Harness;
using Frame = std::vector<double>;

constexpr double a0 = 10, a1 = 11, a2 = 12, a3 = 13, b0 = 20, b1 = 21, b2 = 22, b3 = 23;

TEST(Delay, SlotsAndSizes) {
    EXPECT_EQ(blockHarness::setSlotNames(registerDelay),
              "initSizes initSampleTimes initConditions outputs update terminate");
    struct Case {
        std::vector<double> params;  // frameSize, delayLength, numChannels, channelMajor
        int32_t width, states, feedthrough;
    };
    const Case cases[] = {
        {{8192, 441, 1, 0}, 8192, 441, 1},
        {{8192, 1, 1, 1}, 8192, 1, 1},
        {{8192, 3000, 1, 0}, 8192, 3000, 1},
        {{4, 4, 1, 0}, 4, 4, 0},
        {{4, 6, 2, 0}, 8, 12, 0},
        {{4, 3.5, 1.5, 1}, 8, 8, 0},  // rounded: D 4, C 2
        {{4, 0, 1, 0}, 4, 0, 1},
        {{4, -2, 1, 0}, 4, 0, 1},  // a negative delay counts as none
    };
    for (const Case& k : cases) {
        Harness h(registerDelay, k.params, 1);
        const BlockRecord& r = h.block();
        EXPECT_EQ(r.numParams, 4);
        EXPECT_EQ(r.numInputPorts, 1);
        EXPECT_EQ(r.numOutputPorts, 1);
        EXPECT_EQ(r.inputPorts[0].width, k.width);
        EXPECT_EQ(r.inputPorts[0].directFeedthrough, k.feedthrough);
        EXPECT_EQ(r.outputPorts[0].width, k.width);
        EXPECT_EQ(r.numDiscStates, k.states);
        EXPECT_EQ(r.numIWork, 1);
        EXPECT_EQ(r.numRWork + r.numPWork + r.numContStates + r.numModes + r.options, 0);
        EXPECT_EQ(r.numSampleTimes, 1);
        EXPECT_EQ(r.sampleTimes[0], -1.0);
        EXPECT_EQ(r.offsetTimes[0], 1.0);
    }
}

TEST(Delay, DelaysAcrossFrames) {
    struct Case {
        const char* name;
        std::vector<double> params;  // frameSize, delayLength, numChannels, channelMajor
        std::vector<Frame> inputs;
        std::vector<Frame> outputs;
        std::vector<int32_t> heads;  // after each update
    };
    const Case cases[] = {
        {"one sample", {4, 1, 1, 0},
         {{1, 2, 3, 4}, {5, 6, 7, 8}}, {{0, 1, 2, 3}, {4, 5, 6, 7}}, {0, 0}},
        {"one frame", {4, 4, 1, 0},
         {{1, 2, 3, 4}, {5, 6, 7, 8}}, {{0, 0, 0, 0}, {1, 2, 3, 4}}, {0, 0}},
        {"longer than a frame", {4, 6, 1, 0},
         {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}},
         {{0, 0, 0, 0}, {0, 0, 1, 2}, {3, 4, 5, 6}, {7, 8, 9, 10}},
         {4, 2, 0, 4}},
        {"no delay", {3, 0, 1, 0}, {{1, 2, 3}, {4, 5, 6}}, {{1, 2, 3}, {4, 5, 6}}, {0, 0}},
        {"negative delay", {3, -1, 1, 0}, {{1, 2, 3}}, {{1, 2, 3}}, {0}},
        {"two channels in blocks", {2, 1, 2, 1},
         {{a0, a1, b0, b1}, {a2, a3, b2, b3}}, {{0, a0, 0, b0}, {a1, a2, b1, b2}}, {0, 0}},
        {"two channels interleaved", {2, 1, 2, 0},
         {{a0, b0, a1, b1}, {a2, b2, a3, b3}}, {{0, 0, a0, b0}, {a1, b1, a2, b2}}, {0, 0}},
        {"two channels interleaved, longer than a frame", {2, 3, 2, 0},
         {{a0, b0, a1, b1}, {a2, b2, a3, b3}, {1, 2, 3, 4}},
         {{0, 0, 0, 0}, {0, 0, a0, b0}, {a1, b1, a2, b2}},
         {2, 1, 0}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Harness h(registerDelay, k.params, 1);
        h.initConditions();
        for (size_t s = 0; s < k.inputs.size(); ++s) {
            EXPECT_EQ(h.step({k.inputs[s]}), k.outputs[s]) << "step " << s;
            EXPECT_EQ(h.iWork()[0], k.heads[s]) << "step " << s;
        }
    }
}

TEST(Delay, PeakDetectorDelayOverTwoFrames) {
    Harness h(registerDelay, {8192, 441, 1, 0}, 1);
    h.initConditions();
    Frame first(8192), second(8192);
    for (size_t i = 0; i < 8192; ++i) {
        first[i] = 1.0 + static_cast<double>(i);
        second[i] = -1.0 - static_cast<double>(i);
    }
    const Frame out1 = h.step({first});
    for (size_t i = 0; i < 441; ++i) {
        ASSERT_EQ(out1[i], 0.0) << i;
    }
    for (size_t i = 441; i < 8192; ++i) {
        ASSERT_EQ(out1[i], first[i - 441]) << i;
    }
    const Frame out2 = h.step({second});
    for (size_t i = 0; i < 441; ++i) {
        ASSERT_EQ(out2[i], first[7751 + i]) << i;
    }
    for (size_t i = 441; i < 8192; ++i) {
        ASSERT_EQ(out2[i], second[i - 441]) << i;
    }
}

TEST(Delay, OutputsLeavesTheRingAndInitConditionsEmptiesIt) {
    Harness h(registerDelay, {4, 6, 1, 0}, 1);
    h.initConditions();
    h.step({{1, 2, 3, 4}});
    h.setInput(0, {5, 6, 7, 8});
    const std::vector<double> before = h.discStates();
    EXPECT_EQ(h.outputs(), (Frame{0, 0, 1, 2}));
    EXPECT_EQ(h.outputs(), (Frame{0, 0, 1, 2}));
    EXPECT_EQ(h.discStates(), before);

    const std::vector<double> all = h.snapshot();
    h.terminate();
    EXPECT_EQ(h.snapshot(), all);

    h.initConditions();
    EXPECT_EQ(h.iWork()[0], 0);
    EXPECT_EQ(h.outputs(), (Frame{0, 0, 0, 0}));
}

}  // namespace
