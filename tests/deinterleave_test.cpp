#include "blocks/deinterleave.h"
#include "support/block_harness.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using blockHarness::Harness;
using Frame = std::vector<double>;

constexpr double l0 = 1, l1 = 2, l2 = 3, r0 = 11, r1 = 12, r2 = 13;
constexpr double a0 = 21, a1 = 22, b0 = 31, b1 = 32, c0 = 41, c1 = 42;

TEST(Deinterleave, SlotsAndSizes) {
    EXPECT_EQ(blockHarness::setSlotNames(registerDeinterleave),
              "initSizes initSampleTimes outputs terminate");
    struct Case {
        std::vector<double> params;  // numChannels, frameSize
        int32_t width;
    };
    const Case cases[] = {{{1, 8192}, 8192}, {{2, 3}, 6}, {{1.5, 3}, 6}, {{1.49, 3}, 3}};
    for (const Case& k : cases) {
        Harness h(registerDeinterleave, k.params, 1);
        const BlockRecord& r = h.block();
        EXPECT_EQ(r.numParams, 2);
        EXPECT_EQ(r.numInputPorts, 1);
        EXPECT_EQ(r.numOutputPorts, 1);
        EXPECT_EQ(r.inputPorts[0].width, k.width);
        EXPECT_EQ(r.inputPorts[0].directFeedthrough, 1);
        EXPECT_EQ(r.outputPorts[0].width, k.width);
        EXPECT_EQ(r.numDiscStates + r.numIWork + r.numRWork + r.numPWork + r.numContStates +
                      r.numModes + r.options,
                  0);
        EXPECT_EQ(r.numSampleTimes, 1);
        EXPECT_EQ(r.sampleTimes[0], -1.0);
        EXPECT_EQ(r.offsetTimes[0], 1.0);
    }
}

TEST(Deinterleave, ReordersChannels) {
    struct Case {
        std::vector<double> params;  // numChannels, frameSize
        Frame input, output;
    };
    const Case cases[] = {
        {{2, 3}, {l0, r0, l1, r1, l2, r2}, {l0, l1, l2, r0, r1, r2}},
        {{3, 2}, {a0, b0, c0, a1, b1, c1}, {a0, a1, b0, b1, c0, c1}},
        {{1.5, 3}, {l0, r0, l1, r1, l2, r2}, {l0, l1, l2, r0, r1, r2}},  // 1.5 rounds to 2
        {{1.49, 3}, {l0, l1, l2}, {l0, l1, l2}},                          // 1.49 rounds to 1
        {{2, 2.5}, {l0, r0, l1, r1, l2, r2}, {l0, l1, l2, r0, r1, r2}},  // 2.5 rounds to 3
    };
    for (const Case& k : cases) {
        Harness h(registerDeinterleave, k.params, 1);
        EXPECT_EQ(h.step({k.input}), k.output) << k.params[0] << " x " << k.params[1];
    }
}

TEST(Deinterleave, OneChannelCopiesTheModelFrame) {
    Harness h(registerDeinterleave, {1, 8192}, 1);
    Frame input(8192);
    for (size_t i = 0; i < input.size(); ++i) {
        input[i] = static_cast<double>(i) * 0.5 - 7.0;
    }
    EXPECT_EQ(h.step({input}), input);
    const std::vector<double> all = h.snapshot();
    h.terminate();
    EXPECT_EQ(h.snapshot(), all);
}

TEST(Deinterleave, NonPositiveSizesWriteNothing) {
    // The output port of the record under test is given a buffer of its own here, since the
    // declared width is zero or negative.
    const std::vector<std::vector<double>> cases = {{0, 4}, {2, 0}, {-1, 3}, {3, -2}};
    for (const std::vector<double>& params : cases) {
        const double value = 5.0;
        const ParamValue p1{1, 1, &params[0]}, p2{1, 1, &params[1]};
        const ParamValue* refs[] = {&p1, &p2};
        const double* ptrs[8] = {&value, &value, &value, &value, &value, &value, &value, &value};
        InputPort in{8, 1, ptrs};
        double out[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
        OutputPort outPort{8, out};
        BlockRecord root{};
        root.root = &root;
        BlockRecord block{};
        block.root = &root;
        block.params = refs;
        block.numParamsGiven = 2;
        block.inputPorts = &in;
        block.outputPorts = &outPort;
        registerDeinterleave(&block);
        callOutputs(&block, 0);
        for (double v : out) {
            EXPECT_EQ(v, -1.0) << params[0] << " x " << params[1];
        }
    }
}

}  // namespace
