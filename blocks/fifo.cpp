#include "blocks/fifo.h"

#include "blocks/frame_ring.h"

#include <algorithm>
#include <cstdint>

namespace {

// Parameter layout: 1 frameSize, 2 outputSize, 3 numChannels, 4 channelMajor.
struct FifoShape {
    int32_t frameRows;   // F
    int32_t outputRows;  // O
    int32_t channels;    // C
    int32_t ringRows;    // N = O - F
    bool channelMajor;
};

// Decodes the parameters; called afresh by every method.
FifoShape fifoShape(const BlockRecord* block) {
    FifoShape s{};
    s.frameRows = paramInt(block, 1);
    s.outputRows = paramInt(block, 2);
    s.channels = paramInt(block, 3);
    s.channelMajor = paramInt(block, 4) != 0;
    s.ringRows = s.outputRows - s.frameRows;
    return s;
}

// Declares input [C x F], output [C x O], ring [N x C] states (none when O < F) and head.
void fifoInitSizes(BlockRecord* block) {
    const FifoShape s = fifoShape(block);
    block->numContStates = 0;
    // An output shorter than the frame keeps no history; never declare a negative slice.
    block->numDiscStates = std::max(s.ringRows, 0) * s.channels;
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
    block->inputPorts[0].directFeedthrough = 1;
    block->outputPorts[0].width = s.channels * s.outputRows;
}

// Empties ring [N x C] and sets head to 0.
void fifoInitConditions(BlockRecord* block) {
    const FifoShape s = fifoShape(block);
    block->iWork[0] = 0;
    const int32_t count = std::max(s.ringRows, 0) * s.channels;
    for (int32_t e = 0; e < count; ++e) {
        block->discStates[e] = 0.0;
    }
}

// Writes output [O x C]: the N kept rows of ring [N x C] oldest first, then input [F x C].
void fifoOutputs(BlockRecord* block, int32_t /*taskIndex*/) {
    const FifoShape s = fifoShape(block);
    readRingThenFrame(block->outputPorts[0].signal, s.outputRows, block->discStates,
                      block->iWork[0], s.ringRows, block->inputPorts[0], s.frameRows,
                      s.channels, s.channelMajor);
}

// Stores input [F x C] into ring [N x C].
void fifoUpdate(BlockRecord* block, int32_t /*taskIndex*/) {
    const FifoShape s = fifoShape(block);
    storeFrameInRing(block->discStates, &block->iWork[0], block->inputPorts[0],
                     s.frameRows, s.ringRows, s.channels, s.channelMajor);
}

// Nothing to release.
void fifoTerminate(BlockRecord* /*block*/) {}

}  // namespace

void registerFifo(BlockRecord* block) {
    block->methods.initSizes = fifoInitSizes;
    block->methods.initSampleTimes = setInheritedSampleTime;
    block->methods.initConditions = fifoInitConditions;
    block->methods.outputs = fifoOutputs;
    block->methods.update = fifoUpdate;
    block->methods.terminate = fifoTerminate;
}
