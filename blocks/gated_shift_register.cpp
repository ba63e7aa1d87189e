#include "blocks/gated_shift_register.h"

#include "blocks/frame_ring.h"
#include "blocks/run_scan.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>

namespace {

// Parameter layout: 1 frameSize, 2 registerLength, 3 numChannels, 4 channelMajor.
struct RegisterShape {
    int32_t frameRows;  // F
    int32_t stages;     // L
    int32_t channels;   // C
    bool channelMajor;
};

// Decodes the parameters; called afresh by every method.
RegisterShape registerShape(const BlockRecord* block) {
    RegisterShape s{};
    s.frameRows = paramInt(block, 1);
    s.stages = paramInt(block, 2);
    s.channels = paramInt(block, 3);
    s.channelMajor = paramInt(block, 4) != 0;
    return s;
}

// Declares dataIn and output [C x F], gate [F], register [L x C] states and head.
void gatedShiftRegisterInitSizes(BlockRecord* block) {
    const RegisterShape s = registerShape(block);
    block->numContStates = 0;
    block->numDiscStates = std::max(s.stages, 0) * s.channels;
    block->numInputPorts = 2;
    block->numOutputPorts = 1;
    block->numSampleTimes = 1;
    block->numParams = 4;
    block->numIWork = 1;
    block->numRWork = 0;
    block->numPWork = 0;
    block->numModes = 0;
    block->options = 0;
    block->inputPorts[0].width = s.channels * s.frameRows;
    block->inputPorts[0].directFeedthrough = 1;
    // outputs reads the gate of the same step too.
    block->inputPorts[1].width = s.frameRows;
    block->inputPorts[1].directFeedthrough = 1;
    block->outputPorts[0].width = s.channels * s.frameRows;
}

// Empties register [L x C] and sets head to 0.
void gatedShiftRegisterInitConditions(BlockRecord* block) {
    const RegisterShape s = registerShape(block);
    block->iWork[0] = 0;
    for (int32_t e = 0; e < std::max(s.stages, 0) * s.channels; ++e) {
        block->discStates[e] = 0.0;
    }
}

// Clocks register [L x C] by gate [F], shifting in dataIn [F x C]; writes output [F x C].
void gatedShiftRegisterOutputs(BlockRecord* block, int32_t /*taskIndex*/) {
    const RegisterShape s = registerShape(block);
    if (s.stages < 1) {
        setBlockError(block, "Gated Shift Register: the register length must be at least 1");
        return;
    }
    const InputPort* ports = block->inputPorts;
    double* slots = block->discStates;
    double* out = block->outputPorts[0].signal;
    withInputs(ports[0], ports[1], [&](auto data, auto gate) {
#if !defined(KESTREL9_LITERAL)
        if (s.channels == 1) {
            // One channel: the oldest slot's value is held in a register until the gate moves
            // the register on.
            int32_t head = block->iWork[0];
            int32_t last = head % s.stages;
            double oldest = slots[last];
            int32_t i = 0;
            while (i < s.frameRows) {
                if constexpr (std::is_same_v<decltype(gate), ElementRun>) {
                    // Until the next open gate the output repeats the oldest slot.
                    const int32_t next = firstActive(gate.start, i, s.frameRows);
                    fillRun(out, i, next, oldest);
                    i = next;
                    if (i == s.frameRows) {
                        break;
                    }
                }
                if (isActiveValue(gate[i])) {
                    head = (head + 1) % s.stages;
                    slots[(head + s.stages - 1) % s.stages] = data[i];
                    last = head % s.stages;
                    oldest = slots[last];
                }
                out[i] = oldest;
                ++i;
            }
            block->iWork[0] = head;
            return;
        }
#endif
        int32_t head = block->iWork[0];
        // The oldest slot changes only with head, so its index is worked out only then.
        int32_t last = head % s.stages;
        for (int32_t i = 0; i < s.frameRows; ++i) {
            if (isActiveValue(gate[i])) {
                head = (head + 1) % s.stages;
                const int32_t newest = (head + s.stages - 1) % s.stages;
                for (int32_t c = 0; c < s.channels; ++c) {
                    slots[newest * s.channels + c] =
                        data[frameElement(i, c, s.frameRows, s.channels, s.channelMajor)];
                }
                last = head % s.stages;
            }
            for (int32_t c = 0; c < s.channels; ++c) {
                out[frameElement(i, c, s.frameRows, s.channels, s.channelMajor)] =
                    slots[last * s.channels + c];
            }
        }
        block->iWork[0] = head;
    });
}

// Nothing to release.
void gatedShiftRegisterTerminate(BlockRecord* /*block*/) {}

}  // namespace

void registerGatedShiftRegister(BlockRecord* block) {
    block->methods.initSizes = gatedShiftRegisterInitSizes;
    block->methods.initSampleTimes = setInheritedSampleTime;
    block->methods.initConditions = gatedShiftRegisterInitConditions;
    block->methods.outputs = gatedShiftRegisterOutputs;
    block->methods.terminate = gatedShiftRegisterTerminate;
}
