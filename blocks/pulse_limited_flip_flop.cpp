#include "blocks/pulse_limited_flip_flop.h"

#include "blocks/frame_ring.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// Parameter layout: 1 frameSize, 2 initialState, 3 minPulseLength, 4 maxOnLength,
// 5 numChannels, 6 channelMajor.

// One frame's work: inputs reset and set [F x C], output [F x C], working latch [C] (rWork) and
// pulse count [C] (iWork).
struct FlipFlopFrame {
    int32_t frameRows;  // F
    int32_t channels;   // C
    bool channelMajor;
    int32_t minLength;  // H, 0 = no minimum
    int32_t maxLength;  // E, 0 = no maximum
    const double* const* reset;
    const double* const* set;
    double* out;
    double* latch;
    int32_t* count;
};

// An input element is active when it is non-zero and not NaN.
bool isActive(double x) {
    return x < 0.0 || x > 0.0;
}

// The maximum pulse length: none when the value is infinite or NaN, else the rounded value.
int32_t maxOnLength(const BlockRecord* block) {
    return std::isfinite(paramReal(block, 4)) ? paramInt(block, 4) : 0;
}

// Runs the flip-flop over one frame; `hasMax` and `hasMin` say whether E and H are non-zero.
template <bool hasMax, bool hasMin>
void runFrame(const FlipFlopFrame& f) {
    for (int32_t i = 0; i < f.frameRows; ++i) {
        for (int32_t c = 0; c < f.channels; ++c) {
            const int32_t k = frameElement(i, c, f.frameRows, f.channels, f.channelMajor);
            double q = f.latch[c];
            int32_t n = f.count[c];
            if (isActive(*f.reset[k]) || (hasMax && n >= f.maxLength)) {
                q = 0.0;
            } else if (isActive(*f.set[k])) {
                q = 1.0;
            }
            if constexpr (!hasMax && !hasMin) {
                f.out[k] = q;
            } else if (q != 0.0 || (hasMin && 0 < n && n < f.minLength)) {
                f.out[k] = 1.0;
                // A pulse held on for 2^31 samples keeps its count rather than wrapping around.
                n = n < std::numeric_limits<int32_t>::max() ? n + 1 : n;
            } else {
                f.out[k] = 0.0;
                n = 0;
            }
            f.latch[c] = q;
            f.count[c] = n;
        }
    }
}

// Declares reset and set inputs and output [C x F], states [C latches + C counts], rWork [C] and
// iWork [C].
void flipFlopInitSizes(BlockRecord* block) {
    const int32_t frameRows = paramInt(block, 1);
    const int32_t channels = paramInt(block, 5);
    block->numContStates = 0;
    block->numDiscStates = 2 * channels;
    block->numInputPorts = 2;
    block->numOutputPorts = 1;
    block->numSampleTimes = 1;
    block->numParams = 6;
    block->numIWork = channels;
    block->numRWork = channels;
    block->numPWork = 0;
    block->numModes = 0;
    block->options = 0;
    for (int32_t p = 0; p < 2; ++p) {
        block->inputPorts[p].width = channels * frameRows;
        block->inputPorts[p].directFeedthrough = 1;
    }
    block->outputPorts[0].width = channels * frameRows;
}

// Inherited sample time.
void flipFlopInitSampleTimes(BlockRecord* block) {
    block->sampleTimes[0] = -1.0;
    block->offsetTimes[0] = 1.0;
}

// Sets every latch [C] and pulse count [C] to 1.0 when the block starts set, else to 0.0.
void flipFlopInitConditions(BlockRecord* block) {
    const int32_t channels = paramInt(block, 5);
    const double v = paramReal(block, 2) != 0.0 ? 1.0 : 0.0;
    for (int32_t e = 0; e < 2 * channels; ++e) {
        block->discStates[e] = v;
    }
}

// Loads the working copies rWork [C] and iWork [C] from the states and runs the frame into
// output [F x C].
void flipFlopOutputs(BlockRecord* block, int32_t /*taskIndex*/) {
    FlipFlopFrame f{};
    f.frameRows = paramInt(block, 1);
    f.minLength = paramInt(block, 3);
    f.maxLength = maxOnLength(block);
    f.channels = paramInt(block, 5);
    f.channelMajor = paramInt(block, 6) != 0;
    f.reset = block->inputPorts[0].signalPtrs;
    f.set = block->inputPorts[1].signalPtrs;
    f.out = block->outputPorts[0].signal;
    f.latch = block->rWork;
    f.count = block->iWork;
    for (int32_t c = 0; c < f.channels; ++c) {
        f.latch[c] = block->discStates[c];
        f.count[c] = roundToInt32(block->discStates[f.channels + c]);
    }
    if (f.maxLength != 0) {
        if (f.minLength != 0) {
            runFrame<true, true>(f);
        } else {
            runFrame<true, false>(f);
        }
    } else if (f.minLength != 0) {
        runFrame<false, true>(f);
    } else {
        runFrame<false, false>(f);
    }
}

// Commits rWork [C] into the latches and iWork [C] into the pulse counts.
void flipFlopUpdate(BlockRecord* block, int32_t /*taskIndex*/) {
    const int32_t channels = paramInt(block, 5);
    for (int32_t c = 0; c < channels; ++c) {
        block->discStates[c] = block->rWork[c];
        block->discStates[channels + c] = static_cast<double>(block->iWork[c]);
    }
}

// Nothing to release.
void flipFlopTerminate(BlockRecord* /*block*/) {}

}  // namespace

void registerPulseLimitedFlipFlop(BlockRecord* block) {
    block->methods.initSizes = flipFlopInitSizes;
    block->methods.initSampleTimes = flipFlopInitSampleTimes;
    block->methods.initConditions = flipFlopInitConditions;
    block->methods.outputs = flipFlopOutputs;
    block->methods.update = flipFlopUpdate;
    block->methods.terminate = flipFlopTerminate;
}
