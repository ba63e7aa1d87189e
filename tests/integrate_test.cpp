#include "blocks/integrate.h"
#include "support/block_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using blockHarness::Harness;
using Frame = std::vector<double>;

constexpr double a0 = 10, a1 = 11, b0 = 20, b1 = 21;
constexpr double third = 1.0 / 3.0;

TEST(Integrate, SlotsAndSizes) {
    EXPECT_EQ(blockHarness::setSlotNames(registerIntegrate),
              "initSizes initSampleTimes initConditions outputs update terminate");
    struct Case {
        // frameSize, initialSum, windowLength, average, numChannels, channelMajor
        std::vector<double> params;
        int32_t width, states, rWork;
    };
    const Case cases[] = {
        {{8192, 0, 2000, 1, 1, 0}, 8192, 2001, 1},
        {{5, 0, 3, 0, 2, 1}, 10, 8, 2},
        {{4.5, 0.4, 2.5, 0, 2.5, 0}, 15, 12, 3},  // rounded: F 5, W 3, C 3
        {{4, 0, 0, 0, 2, 0}, 8, 2, 2},
        {{4, 0, -3, 0, 2, 0}, 8, 2, 2},  // a negative window counts as empty
    };
    for (const Case& k : cases) {
        Harness h(registerIntegrate, k.params, 1);
        const BlockRecord& r = h.block();
        EXPECT_EQ(r.numParams, 6);
        EXPECT_EQ(r.numInputPorts, 1);
        EXPECT_EQ(r.numOutputPorts, 1);
        EXPECT_EQ(r.inputPorts[0].width, k.width);
        EXPECT_EQ(r.inputPorts[0].directFeedthrough, 1);
        EXPECT_EQ(r.outputPorts[0].width, k.width);
        EXPECT_EQ(r.numDiscStates, k.states);
        EXPECT_EQ(r.numRWork, k.rWork);
        EXPECT_EQ(r.numIWork, 1);
        EXPECT_EQ(r.numPWork + r.numContStates + r.numModes + r.options, 0);
        EXPECT_EQ(r.numSampleTimes, 1);
        EXPECT_EQ(r.sampleTimes[0], -1.0);
        EXPECT_EQ(r.offsetTimes[0], 1.0);
    }
}

TEST(Integrate, SlidingSumsAcrossFrames) {
    struct Case {
        const char* name;
        // frameSize, initialSum, windowLength, average, numChannels, channelMajor
        std::vector<double> params;
        std::vector<Frame> inputs;
        std::vector<Frame> outputs;
        std::vector<int32_t> heads;  // after each update
    };
    const Case cases[] = {
        {"window shorter than a frame", {5, 0, 3, 0, 1, 0},
         {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}},
         {{1, 3, 6, 9, 12}, {15, 18, 21, 24, 27}},
         {0, 0}},
        {"average", {5, 0, 3, 1, 1, 0},
         {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}},
         {{third, 1, 2, 3, 4}, {5, 6, 7, 8, 9}},
         {0, 0}},
        // The gain multiplies the sum: 5 x (1/3) is not 5 / 3 in doubles.
        {"average is gain times sum", {3, 0, 3, 1, 1, 0},
         {{5, 2, 3}},
         {{1.6666666666666665, 2.333333333333333, 3.333333333333333}},
         {0}},
        {"window longer than a frame", {2, 0, 4, 0, 1, 0},
         {{1, 1}, {1, 1}, {1, 1}, {2, 3}},
         {{1, 2}, {3, 4}, {4, 4}, {5, 7}},
         {2, 0, 2, 0}},
        {"initial sum stays", {2, 10, 2, 0, 1, 0},
         {{1, 1}, {0, 0}, {0, 0}},
         {{11, 12}, {11, 10}, {10, 10}},
         {0, 0, 0}},
        {"two channels interleaved, window 1", {2, 0, 1, 0, 2, 0},
         {{a0, b0, a1, b1}}, {{a0, b0, a1, b1}}, {0}},
        {"two channels in blocks", {3, 0, 2, 0, 2, 1},
         {{1, 2, 3, 10, 20, 30}, {4, 5, 6, 40, 50, 60}},
         {{1, 3, 5, 10, 30, 50}, {7, 9, 11, 70, 90, 110}},
         {0, 0}},
        {"two channels interleaved, window longer than a frame", {1, 0, 2, 0, 2, 0},
         {{1, 10}, {2, 20}, {3, 30}},
         {{1, 10}, {3, 30}, {5, 50}},
         {1, 0, 1}},
        // (in + sum) - leaving, in this order: 1e16 + 1 rounds back to 1e16.
        {"order within a frame", {3, 0, 1, 0, 1, 0},
         {{1e16, 1, 3}}, {{1e16, 0, 2}}, {0}},
        {"order across frames", {1, 0, 2, 0, 1, 0},
         {{1e16}, {1}, {1}}, {{1e16}, {1e16}, {0}}, {1, 0, 1}},
        {"empty window", {3, 0, 0, 0, 1, 0}, {{1, 2, 3}}, {{0, 0, 0}}, {0}},
        {"negative window", {3, 0, -2, 0, 1, 0}, {{1, 2, 3}}, {{0, 0, 0}}, {0}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Harness h(registerIntegrate, k.params, 1);
        h.initConditions();
        for (size_t s = 0; s < k.inputs.size(); ++s) {
            EXPECT_EQ(h.step({k.inputs[s]}), k.outputs[s]) << "step " << s;
            EXPECT_EQ(h.iWork()[0], k.heads[s]) << "step " << s;
        }
    }
}

TEST(Integrate, ModelEnvelopeMatchesANaiveMovingAverage) {
    Harness h(registerIntegrate, {8192, 0, 2000, 1, 1, 0}, 1);
    h.initConditions();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> power(0.0, 1.0);
    std::vector<double> stream;
    for (int frame = 0; frame < 3; ++frame) {
        Frame input(8192);
        for (double& v : input) {
            v = power(random);
        }
        stream.insert(stream.end(), input.begin(), input.end());
        const Frame out = h.step({input});
        for (size_t i = 0; i < 8192; ++i) {
            const size_t at = static_cast<size_t>(frame) * 8192 + i;
            double windowSum = 0.0;
            for (size_t j = at >= 1999 ? at - 1999 : 0; j <= at; ++j) {
                windowSum += stream[j];
            }
            ASSERT_NEAR(out[i], windowSum / 2000.0, 1e-12) << "frame " << frame << " sample " << i;
        }
    }
    EXPECT_EQ(h.iWork()[0], 0);
}

TEST(Integrate, OutputsWorksOnACopyOfTheSums) {
    Harness h(registerIntegrate, {2, 5, 3, 0, 1, 0}, 1);
    h.initConditions();
    EXPECT_EQ(h.discStates(), (std::vector<double>{5, 0, 0, 0}));
    h.step({{1, 2}});
    h.setInput(0, {3, 4});
    const std::vector<double> before = h.discStates();
    EXPECT_EQ(h.outputs(), (Frame{11, 14}));
    EXPECT_EQ(h.outputs(), (Frame{11, 14}));
    EXPECT_EQ(h.rWork(), (std::vector<double>{14}));
    EXPECT_EQ(h.discStates(), before);
    h.update();
    EXPECT_EQ(h.discStates()[0], 14);

    const std::vector<double> all = h.snapshot();
    h.terminate();
    EXPECT_EQ(h.snapshot(), all);

    h.initConditions();
    EXPECT_EQ(h.discStates(), (std::vector<double>{5, 0, 0, 0}));
    EXPECT_EQ(h.iWork()[0], 0);
    EXPECT_EQ(h.outputs(), (Frame{8, 12}));
}

}  // namespace
