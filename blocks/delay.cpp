#include "blocks/delay.h"

#include "blocks/frame_ring.h"

#include <algorithm>
#include <cstdint>

namespace {

// Parameter layout: 1 frameSize, 2 delayLength, 3 numChannels, 4 channelMajor.
struct DelayShape {
    int32_t frameRows;  // F
    int32_t delay;      // D, never below 0
    int32_t channels;   // C
    bool channelMajor;
};

// Decodes the parameters; called afresh by every method. A negative delay would index before the
// start of the frame, so it counts as no delay.
DelayShape delayShape(const BlockRecord* block) {
    DelayShape s{};
    s.frameRows = paramInt(block, 1);
    s.delay = std::max(paramInt(block, 2), 0);
    s.channels = paramInt(block, 3);
    s.channelMajor = paramInt(block, 4) != 0;
    return s;
}

// Declares input and output [C x F], ring [D x C] states and head; the input feeds the output
// directly only when the delay is shorter than a frame.
void delayInitSizes(BlockRecord* block) {
    const DelayShape s = delayShape(block);
    block->numContStates = 0;
    block->numDiscStates = s.delay * s.channels;
    block->numInputPorts = 1;
    block->numOutputPorts = 1;
    block->numSampleTimes = 1;
    block->numParams = 4;
    block->numIWork = 1;
    block->numRWork = 0;
    block->numPWork = 0;
    block->numModes = 0;
    block->options = 0;
    block->inputPorts[0].width = s.channels * s.frameRows;
    block->inputPorts[0].directFeedthrough = s.delay < s.frameRows ? 1 : 0;
    block->outputPorts[0].width = s.channels * s.frameRows;
}

// Inherited sample time.
void delayInitSampleTimes(BlockRecord* block) {
    block->sampleTimes[0] = -1.0;
    block->offsetTimes[0] = 1.0;
}

// Empties ring [D x C] and sets head to 0.
void delayInitConditions(BlockRecord* block) {
    const DelayShape s = delayShape(block);
    block->iWork[0] = 0;
    for (int32_t e = 0; e < s.delay * s.channels; ++e) {
        block->discStates[e] = 0.0;
    }
}

// Writes output [F x C]: the D oldest samples from ring [D x C], then input [F x C] from its start.
template <typename Input>
void writeDelayOutput(const DelayShape& s, int32_t head, const double* ring, Input in,
                      double* out) {
    const int32_t fromRing = std::min(s.frameRows, s.delay);
    for (int32_t i = 0; i < fromRing; ++i) {
        const int32_t q = ringRow(head, i, s.delay);
        for (int32_t c = 0; c < s.channels; ++c) {
            out[frameElement(i, c, s.frameRows, s.channels, s.channelMajor)] =
                ring[q * s.channels + c];
        }
    }
    for (int32_t i = s.delay; i < s.frameRows; ++i) {
        for (int32_t c = 0; c < s.channels; ++c) {
            out[frameElement(i, c, s.frameRows, s.channels, s.channelMajor)] =
                in[frameElement(i - s.delay, c, s.frameRows, s.channels, s.channelMajor)];
        }
    }
}

// Writes output [F x C] from ring [D x C] and input [F x C]; whole rows as copies where the
// layout allows.
void delayOutputs(BlockRecord* block, int32_t /*taskIndex*/) {
    const DelayShape s = delayShape(block);
    const int32_t head = block->iWork[0];
    const double* ring = block->discStates;
    const InputPort& port = block->inputPorts[0];
    double* out = block->outputPorts[0].signal;
#if !defined(KESTREL9_LITERAL)
    if (rowsAreRuns(s.channels, s.channelMajor) && s.delay > 0 && head >= 0 && head < s.delay) {
        const int32_t fromRing = std::min(s.frameRows, s.delay);
        if (fromRing > 0) {
            copyRingRows(out, ring, head, s.delay, fromRing, s.channels);
        }
        const int32_t fromInput = s.frameRows - s.delay;
        double* newRows = out + s.delay * s.channels;
        if (fromInput > 0 && port.source != nullptr) {
            copyForward(newRows, port.source, fromInput * s.channels);
        } else {
            for (int32_t k = 0; k < fromInput * s.channels; ++k) {
                newRows[k] = *port.signalPtrs[k];
            }
        }
        return;
    }
#endif
    withInput(port, [&](auto in) { writeDelayOutput(s, head, ring, in, out); });
}

// Stores input [F x C] into ring [D x C].
void delayUpdate(BlockRecord* block, int32_t /*taskIndex*/) {
    const DelayShape s = delayShape(block);
    storeFrameInRing(block->discStates, &block->iWork[0], block->inputPorts[0], s.frameRows,
                     s.delay, s.channels, s.channelMajor);
}

// Nothing to release.
void delayTerminate(BlockRecord* /*block*/) {}

}  // namespace

void registerDelay(BlockRecord* block) {
    block->methods.initSizes = delayInitSizes;
    block->methods.initSampleTimes = delayInitSampleTimes;
    block->methods.initConditions = delayInitConditions;
    block->methods.outputs = delayOutputs;
    block->methods.update = delayUpdate;
    block->methods.terminate = delayTerminate;
}
