#include "blocks/integrate.h"

#include "blocks/frame_ring.h"

#include <algorithm>
#include <cstdint>

namespace {

// Parameter layout: 1 frameSize, 2 initialSum, 3 windowLength, 4 average, 5 numChannels,
// 6 channelMajor.
struct IntegrateShape {
    int32_t frameRows;  // F
    int32_t window;     // W, never below 0
    int32_t channels;   // C
    bool average;
    bool channelMajor;
};

// Decodes the parameters; called afresh by every method. A negative window would index before the
// start of the frame and declare too few states for the sums, so it counts as an empty one.
IntegrateShape integrateShape(const BlockRecord* block) {
    IntegrateShape s{};
    s.frameRows = paramInt(block, 1);
    s.window = std::max(paramInt(block, 3), 0);
    s.average = paramInt(block, 4) != 0;
    s.channels = paramInt(block, 5);
    s.channelMajor = paramInt(block, 6) != 0;
    return s;
}

// Declares input and output [C x F], states [C sums + W x C ring], rWork [C] and head.
void integrateInitSizes(BlockRecord* block) {
    const IntegrateShape s = integrateShape(block);
    block->numContStates = 0;
    block->numDiscStates = (s.window + 1) * s.channels;
    block->numInputPorts = 1;
    block->numOutputPorts = 1;
    block->numSampleTimes = 1;
    block->numParams = 6;
    block->numIWork = 1;
    block->numRWork = s.channels;
    block->numPWork = 0;
    block->numModes = 0;
    block->options = 0;
    block->inputPorts[0].width = s.channels * s.frameRows;
    block->inputPorts[0].directFeedthrough = 1;
    block->outputPorts[0].width = s.channels * s.frameRows;
}

// Sets the sums [C] to initialSum, empties ring [W x C] and sets head to 0.
void integrateInitConditions(BlockRecord* block) {
    const IntegrateShape s = integrateShape(block);
    const double initialSum = paramReal(block, 2);
    for (int32_t c = 0; c < s.channels; ++c) {
        block->discStates[c] = initialSum;
    }
    block->iWork[0] = 0;
    for (int32_t e = 0; e < s.window * s.channels; ++e) {
        block->discStates[s.channels + e] = 0.0;
    }
}

// Runs the sums [C] through one frame: output [F x C] from input [F x C] and ring [W x C].
template <typename Input>
void integrateFrame(const IntegrateShape& s, double gain, int32_t head, const double* history,
                    Input in, double* out, double* sum) {
    const int32_t fromRing = std::min(s.frameRows, s.window);
    for (int32_t i = 0; i < fromRing; ++i) {
        const int32_t q = ringRow(head, i, s.window);
        for (int32_t c = 0; c < s.channels; ++c) {
            const int32_t k = frameElement(i, c, s.frameRows, s.channels, s.channelMajor);
            sum[c] = (in[k] + sum[c]) - history[q * s.channels + c];
            out[k] = gain * sum[c];
        }
    }
    for (int32_t i = s.window; i < s.frameRows; ++i) {
        for (int32_t c = 0; c < s.channels; ++c) {
            const int32_t k = frameElement(i, c, s.frameRows, s.channels, s.channelMajor);
            const int32_t leaving =
                frameElement(i - s.window, c, s.frameRows, s.channels, s.channelMajor);
            sum[c] = (in[k] + sum[c]) - in[leaving];
            out[k] = gain * sum[c];
        }
    }
}

// One channel: the running sum stays in a register for the whole frame; output [F], input [F],
// ring [W].
template <typename Input>
void integrateOneChannel(const IntegrateShape& s, double gain, int32_t head,
                         const double* history, Input in, double* out, double* sum) {
    double running = sum[0];
    const int32_t fromRing = std::min(s.frameRows, s.window);
    for (int32_t i = 0; i < fromRing; ++i) {
        running = (in[i] + running) - history[ringRow(head, i, s.window)];
        out[i] = gain * running;
    }
    for (int32_t i = s.window; i < s.frameRows; ++i) {
        running = (in[i] + running) - in[i - s.window];
        out[i] = gain * running;
    }
    sum[0] = running;
}

// Writes output [F x C] from input [F x C] and ring [W x C]; the new sums go to rWork [C].
void integrateOutputs(BlockRecord* block, int32_t /*taskIndex*/) {
    const IntegrateShape s = integrateShape(block);
    const double gain = s.average ? 1.0 / static_cast<double>(s.window) : 1.0;
    const int32_t head = block->iWork[0];
    const double* history = block->discStates + s.channels;
    double* out = block->outputPorts[0].signal;
    double* sum = block->rWork;
    for (int32_t c = 0; c < s.channels; ++c) {
        sum[c] = block->discStates[c];
    }
    withInput(block->inputPorts[0], [&](auto in) {
#if !defined(KESTREL9_LITERAL)
        if (s.channels == 1) {
            integrateOneChannel(s, gain, head, history, in, out, sum);
            return;
        }
#endif
        integrateFrame(s, gain, head, history, in, out, sum);
    });
}

// Commits rWork [C] into the sums and stores input [F x C] into ring [W x C].
void integrateUpdate(BlockRecord* block, int32_t /*taskIndex*/) {
    const IntegrateShape s = integrateShape(block);
    for (int32_t c = 0; c < s.channels; ++c) {
        block->discStates[c] = block->rWork[c];
    }
    storeFrameInRing(block->discStates + s.channels, &block->iWork[0], block->inputPorts[0],
                     s.frameRows, s.window, s.channels, s.channelMajor);
}

// Nothing to release.
void integrateTerminate(BlockRecord* /*block*/) {}

}  // namespace

void registerIntegrate(BlockRecord* block) {
    block->methods.initSizes = integrateInitSizes;
    block->methods.initSampleTimes = setInheritedSampleTime;
    block->methods.initConditions = integrateInitConditions;
    block->methods.outputs = integrateOutputs;
    block->methods.update = integrateUpdate;
    block->methods.terminate = integrateTerminate;
}
