// Blocks whose inputs are consecutive runs read them straight from the signal and copy whole rows;
// every output, state and work value must be the very bits the reference-following loops give.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "blocks/clip_save.h"
#include "blocks/counter.h"
#include "blocks/deinterleave.h"
#include "blocks/delay.h"
#include "blocks/fifo.h"
#include "blocks/gated_shift_register.h"
#include "blocks/integrate.h"
#include "blocks/pulse_limited_flip_flop.h"
#include "support/block_harness.h"
#include "support/event_harness.h"

namespace {

using blockHarness::Harness;
using blockHarness::RegisterFn;

// What an input carries: audio-like values, or sparse flags (with the odd NaN and -0.0 that
// count as off).
enum class Kind { values, flags };

std::vector<double> randomFrame(size_t width, Kind kind, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::uniform_int_distribution<int> pick(0, 99);
    std::vector<double> frame(width);
    for (double& x : frame) {
        const int p = pick(rng);
        if (kind == Kind::values) {
            x = p == 0 ? 0.0 : p == 1 ? -0.0 : value(rng);
        } else {
            x = p < 3 ? 1.0 : p == 3 ? std::nan("") : p == 4 ? -0.0 : p == 5 ? -2.5 : 0.0;
        }
    }
    return frame;
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

struct Case {
    const char* name;
    RegisterFn registerType;
    std::vector<double> params;
    std::vector<Kind> inputs;  // one per input port
    int steps;
};

// The model's instances and shapes around them: rings shorter and longer than a frame, a
// wrapping head, two channels in both layouts, no history at all.
const Case cases[] = {
    {"FIFO filter window", registerFifo, {8192, 16384, 1, 0}, {Kind::values}, 3},
    {"FIFO clip window", registerFifo, {8192, 32768, 1, 0}, {Kind::values}, 5},
    {"FIFO ring shorter than a frame", registerFifo, {3, 5, 1, 0}, {Kind::values}, 4},
    {"FIFO ring longer than a frame", registerFifo, {2, 5, 1, 0}, {Kind::values}, 7},
    {"FIFO two channels interleaved", registerFifo, {2, 5, 2, 0}, {Kind::values}, 7},
    {"FIFO two channel blocks", registerFifo, {2, 5, 2, 1}, {Kind::values}, 7},
    {"FIFO without history", registerFifo, {4, 4, 1, 0}, {Kind::values}, 3},
    {"Delay 441", registerDelay, {8192, 441, 1, 0}, {Kind::values}, 3},
    {"Delay 1", registerDelay, {8192, 1, 1, 1}, {Kind::flags}, 3},
    {"Delay 3000", registerDelay, {8192, 3000, 1, 0}, {Kind::values}, 3},
    {"Delay longer than a frame", registerDelay, {4, 6, 1, 0}, {Kind::values}, 7},
    {"Delay of a whole frame", registerDelay, {4, 4, 1, 0}, {Kind::values}, 4},
    {"Delay two channels interleaved", registerDelay, {3, 5, 2, 0}, {Kind::values}, 7},
    {"Delay two channel blocks", registerDelay, {2, 1, 2, 1}, {Kind::values}, 4},
    {"Delay none", registerDelay, {4, 0, 1, 0}, {Kind::values}, 3},
    {"Integrate envelope", registerIntegrate, {8192, 0, 2000, 1, 1, 0}, {Kind::values}, 3},
    {"Integrate window longer than a frame", registerIntegrate, {2, 10, 4, 0, 1, 0},
     {Kind::values}, 7},
    {"Integrate two channels", registerIntegrate, {5, 0, 3, 1, 2, 0}, {Kind::values}, 5},
    {"Deinterleave one channel", registerDeinterleave, {1, 8192}, {Kind::values}, 2},
    {"Deinterleave three channels", registerDeinterleave, {3, 5}, {Kind::values}, 2},
    {"Counter pulse extend", registerCounter, {8192, 0, 0, 1, 1, 3001, 1, 0, 0, 1, 0, -1},
     {Kind::flags}, 4},
    {"Counter with every input", registerCounter, {16, 1, 1, 1, 0, 7, 1, 40, 3, 2, 1, -1},
     {Kind::values, Kind::flags, Kind::flags}, 6},
    {"Flip flop peak detector", registerPulseLimitedFlipFlop, {8192, 0, 2205, 8820, 1, 0},
     {Kind::flags, Kind::flags}, 4},
    {"Flip flop two channels, no limits", registerPulseLimitedFlipFlop, {6, 1, 0, 0, 2, 1},
     {Kind::flags, Kind::flags}, 5},
    {"Gated shift register", registerGatedShiftRegister, {8192, 15, 1, 1},
     {Kind::values, Kind::flags}, 4},
    {"Gated shift register two channels", registerGatedShiftRegister, {5, 3, 2, 0},
     {Kind::values, Kind::flags}, 6},
};

TEST(StraightInputs, GiveTheReferencePathsBits) {
    for (const Case& c : cases) {
        const int32_t ports = static_cast<int32_t>(c.inputs.size());
        Harness viaRefs(c.registerType, c.params, ports);
        Harness straight(c.registerType, c.params, ports);
        straight.wireInputsConsecutively();
        for (int32_t p = 0; p < ports; ++p) {
            ASSERT_NE(straight.block().inputPorts[p].source, nullptr) << c.name;
            ASSERT_EQ(viaRefs.block().inputPorts[p].source, nullptr) << c.name;
        }
        viaRefs.initConditions();
        straight.initConditions();
        std::mt19937_64 rng(std::hash<std::string>{}(c.name));
        for (int step = 0; step < c.steps; ++step) {
            std::vector<std::vector<double>> inputs;
            for (int32_t p = 0; p < ports; ++p) {
                inputs.push_back(randomFrame(
                    static_cast<size_t>(viaRefs.block().inputPorts[p].width), c.inputs[p], rng));
            }
            const std::vector<double> expected = viaRefs.step(inputs);
            const std::vector<double> got = straight.step(inputs);
            ASSERT_TRUE(sameBits(got, expected)) << c.name << ", step " << step;
            ASSERT_TRUE(sameBits(straight.snapshot(), viaRefs.snapshot()))
                << c.name << ", states after step " << step;
        }
        EXPECT_EQ(straight.errorStatus(), nullptr) << c.name;
    }
}

// Clip & Save scanning its flags straight from the signal writes the same clips, under the same
// names, as scanning them through the references.
TEST(StraightInputs, ClipAndSaveWritesTheSameClips) {
    const auto run = [](bool straight) {
        eventHarness::TempDriveRoot drive;
        eventHarness::BlockHarness h;
        for (double v : {64.0, 256.0, 1.0, 0.0}) {
            h.addNumber(v);
        }
        h.addText("Swisk");
        h.addText("c:\\temp\\calls");
        h.addNumber(5);  // "%6d " text clips
        h.addNumber(3);  // elapsed-time stamp
        h.addNumber(22050);
        std::vector<double>& audio = h.addInput(256);
        std::vector<double>& flags = h.addInput(256);
        h.install(registerClipSave);
        if (straight) {
            resolveInputSources(&h.block());
        }
        std::mt19937_64 rng(99);
        std::vector<std::string> clips;
        for (int step = 0; step < 40; ++step) {
            for (size_t k = 0; k + 64 < 256; ++k) {
                audio[k] = audio[k + 64];
                flags[k] = flags[k + 64];
            }
            const std::vector<double> newAudio = randomFrame(64, Kind::values, rng);
            std::vector<double> newFlags = randomFrame(64, Kind::flags, rng);
            // Quiet stretches longer than the scan's chunks, and runs across frame boundaries.
            for (size_t k = 0; k < 64; ++k) {
                newFlags[k] = step % 5 == 1 ? 1.0 : (k < 40 ? 0.0 : newFlags[k]);
            }
            for (size_t k = 0; k < 64; ++k) {
                audio[192 + k] = newAudio[k];
                flags[192 + k] = newFlags[k];
            }
            h.update();
        }
        EXPECT_EQ(h.error(), nullptr);
        for (const std::string& name : drive.files("temp/calls")) {
            clips.push_back(name + "\n" + eventHarness::readText(drive.path("temp/calls/" + name)));
        }
        return clips;
    };
    const std::vector<std::string> viaRefs = run(false);
    ASSERT_GE(viaRefs.size(), 3u);
    EXPECT_EQ(run(true), viaRefs);
}

}  // namespace
