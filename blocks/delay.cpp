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

// Empties ring [D x C] and sets head to 0.
void delayInitConditions(BlockRecord* block) {
    const DelayShape s = delayShape(block);
    block->iWork[0] = 0;
    for (int32_t e = 0; e < s.delay * s.channels; ++e) {
        block->discStates[e] = 0.0;
    }
}

// Writes output [F x C]: the D oldest samples from ring [D x C], then input [F x C] from its start.
void delayOutputs(BlockRecord* block, int32_t /*taskIndex*/) {
    const DelayShape s = delayShape(block);
    readRingThenFrame(block->outputPorts[0].signal, s.frameRows, block->discStates,
                      block->iWork[0], s.delay, block->inputPorts[0], s.frameRows,
                      s.channels, s.channelMajor);
}

// Stores input [F x C] into ring [D x C].
void delayUpdate(BlockRecord* block, int32_t /*taskIndex*/) {
    const DelayShape s = delayShape(block);
    storeFrameInRing(block->discStates, &block->iWork[0], block->inputPorts[0],
                     s.frameRows, s.delay, s.channels, s.channelMajor);
}

// Nothing to release.
void delayTerminate(BlockRecord* /*block*/) {}

}  // namespace

void registerDelay(BlockRecord* block) {
    block->methods.initSizes = delayInitSizes;
    block->methods.initSampleTimes = setInheritedSampleTime;
    block->methods.initConditions = delayInitConditions;
    block->methods.outputs = delayOutputs;
    block->methods.update = delayUpdate;
    block->methods.terminate = delayTerminate;
}
