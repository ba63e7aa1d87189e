#include "blocks/gated_shift_register.h"
#include "support/block_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using blockHarness::Harness;
using Frame = std::vector<double>;

constexpr double a0 = 10, a1 = 11, b0 = 20, b1 = 21;
const double nan = std::nan("");

TEST(GatedShiftRegister, SlotsAndSizes) {
    EXPECT_EQ(blockHarness::setSlotNames(registerGatedShiftRegister),
              "initSizes initSampleTimes initConditions outputs terminate");
    struct Case {
        std::vector<double> params;  // frameSize, registerLength, numChannels, channelMajor
        int32_t dataWidth, gateWidth, states;
    };
    const Case cases[] = {
        {{8192, 15, 1, 1}, 8192, 8192, 15},
        {{4, 3, 2, 0}, 8, 4, 6},
        {{3.5, 1.5, 2.5, 0}, 12, 4, 6},  // rounded: F 4, L 2, C 3
        {{4, 0, 2, 0}, 8, 4, 0},
    };
    for (const Case& k : cases) {
        Harness h(registerGatedShiftRegister, k.params, 2);
        const BlockRecord& r = h.block();
        EXPECT_EQ(r.numParams, 4);
        EXPECT_EQ(r.numInputPorts, 2);
        EXPECT_EQ(r.numOutputPorts, 1);
        EXPECT_EQ(r.inputPorts[0].width, k.dataWidth);
        EXPECT_EQ(r.inputPorts[0].directFeedthrough, 1);
        EXPECT_EQ(r.inputPorts[1].width, k.gateWidth);
        EXPECT_EQ(r.outputPorts[0].width, k.dataWidth);
        EXPECT_EQ(r.numDiscStates, k.states);
        EXPECT_EQ(r.numIWork, 1);
        EXPECT_EQ(r.numRWork + r.numPWork + r.numContStates + r.numModes + r.options, 0);
        EXPECT_EQ(r.numSampleTimes, 1);
        EXPECT_EQ(r.sampleTimes[0], -1.0);
        EXPECT_EQ(r.offsetTimes[0], 1.0);
    }
}

TEST(GatedShiftRegister, ShiftsOnGateEvents) {
    struct Case {
        const char* name;
        std::vector<double> params;  // frameSize, registerLength, numChannels, channelMajor
        std::vector<Frame> data, gate, outputs;
        int32_t finalHead;
    };
    const Case cases[] = {
        {"sample and hold", {4, 1, 1, 0}, {{5, 6, 7, 8}}, {{0, 1, 0, 1}}, {{0, 6, 6, 8}}, 0},
        {"two stages", {5, 2, 1, 0}, {{1, 2, 3, 4, 5}}, {{1, 0, 1, 0, 1}}, {{0, 0, 1, 1, 3}}, 1},
        {"NaN gate is inactive, negative is active", {4, 1, 1, 0},
         {{5, 6, 7, 8}}, {{1, nan, -1, 0}}, {{5, 5, 7, 7}}, 0},
        {"two stages across frames, idle frame holds", {2, 2, 1, 0},
         {{1, 2}, {3, 4}, {5, 6}, {7, 8}},
         {{1, 1}, {1, 0}, {0, 0}, {0, 1}},
         {{0, 1}, {2, 2}, {2, 2}, {2, 3}},
         0},
        {"two channels in blocks", {2, 1, 2, 1}, {{a0, a1, b0, b1}}, {{1, 0}}, {{a0, a0, b0, b0}}, 0},
        {"two channels interleaved", {2, 1, 2, 0}, {{a0, b0, a1, b1}}, {{0, 1}}, {{0, 0, a1, b1}}, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Harness h(registerGatedShiftRegister, k.params, 2);
        h.initConditions();
        for (size_t s = 0; s < k.data.size(); ++s) {
            EXPECT_EQ(h.step({k.data[s], k.gate[s]}), k.outputs[s]) << "frame " << s;
        }
        EXPECT_EQ(h.iWork()[0], k.finalHead);
        EXPECT_EQ(h.errorStatus(), nullptr);
    }
}

TEST(GatedShiftRegister, FifteenStagesWithAnEventAtEverySample) {
    Harness h(registerGatedShiftRegister, {8, 15, 1, 1}, 2);
    h.initConditions();
    const Frame gate(8, 1.0);
    for (int frame = 0; frame < 4; ++frame) {
        Frame data(8);
        for (int i = 0; i < 8; ++i) {
            data[static_cast<size_t>(i)] = 100.0 + frame * 8 + i;
        }
        const Frame out = h.step({data, gate});
        for (int i = 0; i < 8; ++i) {
            const int sample = frame * 8 + i;
            EXPECT_EQ(out[static_cast<size_t>(i)], sample < 14 ? 0.0 : 100.0 + sample - 14)
                << sample;
        }
    }
}

// The model's register against a list of every captured value: the output is the 15th most
// recent capture, or 0.0 before there are 15.
TEST(GatedShiftRegister, ModelRegisterShowsTheFifteenthMostRecentEvent) {
    Harness h(registerGatedShiftRegister, {8192, 15, 1, 1}, 2);
    h.initConditions();
    std::mt19937 random(3);
    std::bernoulli_distribution event(0.003);
    std::vector<double> captured;
    for (int frame = 0; frame < 3; ++frame) {
        Frame data(8192), gate(8192);
        for (size_t i = 0; i < 8192; ++i) {
            data[i] = frame * 8192.0 + static_cast<double>(i) + 0.5;
            gate[i] = event(random) ? 1.0 : 0.0;
        }
        const Frame out = h.step({data, gate});
        for (size_t i = 0; i < 8192; ++i) {
            if (gate[i] != 0.0) {
                captured.push_back(data[i]);
            }
            const double expected = captured.size() >= 15 ? captured[captured.size() - 15] : 0.0;
            ASSERT_EQ(out[i], expected) << "frame " << frame << " sample " << i;
        }
    }
    EXPECT_GT(captured.size(), 30u);
}

TEST(GatedShiftRegister, EmptyRegisterIsAnErrorNotACrash) {
    for (double length : {0.0, -3.0, 0.4}) {
        Harness h(registerGatedShiftRegister, {2, length, 1, 0}, 2);
        h.initConditions();
        EXPECT_EQ(h.step({{1, 2}, {1, 1}}), (Frame{0, 0})) << length;
        ASSERT_NE(h.errorStatus(), nullptr) << length;
        EXPECT_EQ(std::string(h.errorStatus()),
                  "Gated Shift Register: the register length must be at least 1");
    }
}

TEST(GatedShiftRegister, InitConditionsClearsAndTerminateLeavesAlone) {
    Harness h(registerGatedShiftRegister, {2, 2, 1, 0}, 2);
    h.initConditions();
    h.step({{1, 2}, {1, 1}});
    EXPECT_EQ(h.discStates(), (std::vector<double>{1, 2}));
    const std::vector<double> all = h.snapshot();
    h.terminate();
    EXPECT_EQ(h.snapshot(), all);
    h.initConditions();
    EXPECT_EQ(h.discStates(), (std::vector<double>{0, 0}));
    EXPECT_EQ(h.iWork()[0], 0);
    EXPECT_EQ(h.step({{5, 6}, {0, 1}}), (Frame{0, 0}));
}

}  // namespace
