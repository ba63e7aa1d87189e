#include "blocks/fifo.h"
#include "support/block_harness.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using blockHarness::Harness;
using Frame = std::vector<double>;

// Letters of the worked examples as distinct sample values.
constexpr double a = 1, b = 2, c = 3, d = 4, e = 5, f = 6, x0 = 10, y0 = 20, x1 = 11, y1 = 21;

TEST(Fifo, SlotsAndSizes) {
    EXPECT_EQ(blockHarness::setSlotNames(registerFifo),
              "initSizes initSampleTimes initConditions outputs update terminate");
    struct Case {
        std::vector<double> params;  // frameSize, outputSize, numChannels, channelMajor
        int32_t inWidth, outWidth, states;
    };
    const Case cases[] = {
        {{8192, 16384, 1, 0}, 8192, 16384, 8192},
        {{8192, 32768, 1, 0}, 8192, 32768, 24576},
        {{2, 5, 3, 1}, 6, 15, 9},
        {{2.5, 4.49, 1.5, 0}, 6, 8, 2},  // rounded: F 3, O 4, C 2
        {{4, 4, 2, 0}, 8, 8, 0},
        {{5, 3, 2, 0}, 10, 6, 0},  // output shorter than the frame: no history
    };
    for (const Case& k : cases) {
        Harness h(registerFifo, k.params, 1);
        const BlockRecord& r = h.block();
        EXPECT_EQ(r.numParams, 4);
        EXPECT_EQ(r.numInputPorts, 1);
        EXPECT_EQ(r.numOutputPorts, 1);
        EXPECT_EQ(r.inputPorts[0].width, k.inWidth);
        EXPECT_EQ(r.inputPorts[0].directFeedthrough, 1);
        EXPECT_EQ(r.outputPorts[0].width, k.outWidth);
        EXPECT_EQ(r.numDiscStates, k.states);
        EXPECT_EQ(r.numIWork, 1);
        EXPECT_EQ(r.numRWork + r.numPWork + r.numContStates + r.numModes + r.options, 0);
        EXPECT_EQ(r.numSampleTimes, 1);
        EXPECT_EQ(r.sampleTimes[0], -1.0);
        EXPECT_EQ(r.offsetTimes[0], 1.0);
    }
}

TEST(Fifo, KeepsTheNewestRowsAcrossSteps) {
    struct Case {
        const char* name;
        std::vector<double> params;  // frameSize, outputSize, numChannels, channelMajor
        std::vector<Frame> inputs;
        std::vector<Frame> outputs;
        std::vector<int32_t> heads;  // after each update
    };
    const Case cases[] = {
        {"ring shorter than a frame", {3, 5, 1, 0},
         {{a, b, c}, {d, e, f}},
         {{0, 0, a, b, c}, {b, c, d, e, f}},
         {0, 0}},
        {"ring longer than a frame", {2, 5, 1, 0},
         {{a, b}, {c, d}, {e, f}, {x0, x1}},
         {{0, 0, 0, a, b}, {0, a, b, c, d}, {b, c, d, e, f}, {d, e, f, x0, x1}},
         {2, 1, 0, 2}},
        {"no ring", {3, 3, 1, 0}, {{a, b, c}, {d, e, f}}, {{a, b, c}, {d, e, f}}, {0, 0}},
        {"output shorter than the frame", {3, 2, 1, 0},
         {{a, b, c}, {d, e, f}}, {{b, c}, {e, f}}, {0, 0}},
        {"two channels interleaved", {1, 2, 2, 0},
         {{x0, y0}, {x1, y1}}, {{0, 0, x0, y0}, {x0, y0, x1, y1}}, {0, 0}},
        {"two channels in blocks", {1, 2, 2, 1},
         {{x0, y0}, {x1, y1}}, {{0, x0, 0, y0}, {x0, x1, y0, y1}}, {0, 0}},
        {"two channels in blocks, ring longer than a frame", {2, 5, 2, 1},
         {{a, b, x0, x1}, {c, d, y0, y1}},
         {{0, 0, 0, a, b, 0, 0, 0, x0, x1}, {0, a, b, c, d, 0, x0, x1, y0, y1}},
         {2, 1}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Harness h(registerFifo, k.params, 1);
        h.initConditions();
        for (size_t s = 0; s < k.inputs.size(); ++s) {
            EXPECT_EQ(h.step({k.inputs[s]}), k.outputs[s]) << "step " << s;
            EXPECT_EQ(h.iWork()[0], k.heads[s]) << "step " << s;
        }
    }
}

// Frame `n` (from 1) of the model-sized cases: every sample distinct.
Frame modelFrame(int n) {
    Frame frame(8192);
    for (int i = 0; i < 8192; ++i) {
        frame[static_cast<size_t>(i)] = n * 100000.0 + i;
    }
    return frame;
}

// Expected output: `zeros` zeros, then the given frames in order.
Frame concat(int zeros, const std::vector<int>& frames) {
    Frame out(static_cast<size_t>(zeros), 0.0);
    for (int n : frames) {
        const Frame frame = modelFrame(n);
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

TEST(Fifo, ModelWindows) {
    Harness filter(registerFifo, {8192, 16384, 1, 0}, 1);
    filter.initConditions();
    EXPECT_EQ(filter.step({modelFrame(1)}), concat(8192, {1}));
    EXPECT_EQ(filter.step({modelFrame(2)}), concat(0, {1, 2}));
    EXPECT_EQ(filter.iWork()[0], 0);

    Harness clip(registerFifo, {8192, 32768, 1, 0}, 1);
    clip.initConditions();
    const std::vector<Frame> expected = {
        concat(24576, {1}), concat(16384, {1, 2}), concat(8192, {1, 2, 3}),
        concat(0, {1, 2, 3, 4}), concat(0, {2, 3, 4, 5}),
    };
    const int32_t heads[] = {8192, 16384, 0, 8192, 16384};
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(clip.step({modelFrame(n)}), expected[static_cast<size_t>(n - 1)]) << n;
        EXPECT_EQ(clip.iWork()[0], heads[n - 1]) << n;
    }
}

TEST(Fifo, OutputsLeavesTheRingAndInitConditionsEmptiesIt) {
    Harness h(registerFifo, {2, 5, 1, 0}, 1);
    h.initConditions();
    h.step({{a, b}});
    h.step({{c, d}});
    h.setInput(0, {e, f});
    const std::vector<double> before = h.discStates();
    EXPECT_EQ(h.outputs(), (Frame{b, c, d, e, f}));
    EXPECT_EQ(h.outputs(), (Frame{b, c, d, e, f}));
    EXPECT_EQ(h.discStates(), before);
    EXPECT_EQ(h.iWork()[0], 1);

    const std::vector<double> all = h.snapshot();
    h.terminate();
    EXPECT_EQ(h.snapshot(), all);

    h.initConditions();
    EXPECT_EQ(h.iWork()[0], 0);
    EXPECT_EQ(h.outputs(), (Frame{0, 0, 0, e, f}));
}

}  // namespace
