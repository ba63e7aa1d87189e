#include "blocks/deinterleave.h"

#include <cstdint>

#include "blocks/frame_ring.h"

namespace {

// Parameter layout: 1 numChannels, 2 frameSize.

// Declares input and output [C x F], no states and no work.
void deinterleaveInitSizes(BlockRecord* block) {
    const int32_t channels = paramInt(block, 1);
    const int32_t frameRows = paramInt(block, 2);
    block->numContStates = 0;
    block->numDiscStates = 0;
    block->numInputPorts = 1;
    block->numOutputPorts = 1;
    block->numSampleTimes = 1;
    block->numParams = 2;
    block->numIWork = 0;
    block->numRWork = 0;
    block->numPWork = 0;
    block->numModes = 0;
    block->options = 0;
    block->inputPorts[0].width = channels * frameRows;
    block->inputPorts[0].directFeedthrough = 1;
    block->outputPorts[0].width = channels * frameRows;
}

// Reorders interleaved input [F x C] into channel-major output [C x F]; one channel read straight
// from its signal is a plain copy.
void deinterleaveOutputs(BlockRecord* block, int32_t /*taskIndex*/) {
    const int32_t channels = paramInt(block, 1);
    const int32_t frameRows = paramInt(block, 2);
    const InputPort& port = block->inputPorts[0];
    double* out = block->outputPorts[0].signal;
#if !defined(KESTREL9_LITERAL)
    if (channels == 1 && port.source != nullptr) {
        copyForward(out, port.source, frameRows);
        return;
    }
#endif
    withInput(port, [&](auto in) {
        for (int32_t c = 0; c < channels; ++c) {
            for (int32_t k = 0; k < frameRows; ++k) {
                out[c * frameRows + k] = in[k * channels + c];
            }
        }
    });
}

// Nothing to release.
void deinterleaveTerminate(BlockRecord* /*block*/) {}

}  // namespace

void registerDeinterleave(BlockRecord* block) {
    block->methods.initSizes = deinterleaveInitSizes;
    block->methods.initSampleTimes = setInheritedSampleTime;
    block->methods.outputs = deinterleaveOutputs;
    block->methods.terminate = deinterleaveTerminate;
}
