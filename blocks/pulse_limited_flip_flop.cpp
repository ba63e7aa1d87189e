#include "blocks/pulse_limited_flip_flop.h"

#include "blocks/frame_ring.h"
#include "blocks/run_scan.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace {

// Parameter layout: 1 frameSize, 2 initialState, 3 minPulseLength, 4 maxOnLength,
// 5 numChannels, 6 channelMajor.

// One frame's work: inputs reset and set [F x C], output [F x C], working latch [C] (rWork) and
// pulse count [C] (iWork).
template <typename Input>
struct FlipFlopFrame {
    int32_t frameRows;  // F
    int32_t channels;   // C
    bool channelMajor;
    int32_t minLength;  // H, 0 = no minimum
    int32_t maxLength;  // E, 0 = no maximum
    Input reset;
    Input set;
    double* out;
    double* latch;
    int32_t* count;
};

// The maximum pulse length: none when the value is infinite or NaN, else the rounded value.
int32_t maxOnLength(const BlockRecord* block) {
    return std::isfinite(paramReal(block, 4)) ? paramInt(block, 4) : 0;
}

// One sample of one channel: the latch q and pulse count n move on by the inputs; returns the
// output. `hasMax` and `hasMin` say whether E and H are non-zero.
template <bool hasMax, bool hasMin>
inline double flipFlopSample(double reset, double set, int32_t maxLength, int32_t minLength,
                             double& q, int32_t& n) {
    if (isActiveValue(reset) || (hasMax && n >= maxLength)) {
        q = 0.0;
    } else if (isActiveValue(set)) {
        q = 1.0;
    }
    if constexpr (!hasMax && !hasMin) {
        return q;
    } else if (q != 0.0 || (hasMin && 0 < n && n < minLength)) {
        // A pulse held on for 2^31 samples keeps its count rather than wrapping around.
        n = n < std::numeric_limits<int32_t>::max() ? n + 1 : n;
        return 1.0;
    } else {
        n = 0;
        return 0.0;
    }
}

// Runs the flip-flop over one frame.
template <bool hasMax, bool hasMin, typename Input>
void runFrame(const FlipFlopFrame<Input>& f) {
    for (int32_t i = 0; i < f.frameRows; ++i) {
        for (int32_t c = 0; c < f.channels; ++c) {
            const int32_t k = frameElement(i, c, f.frameRows, f.channels, f.channelMajor);
            double q = f.latch[c];
            int32_t n = f.count[c];
            f.out[k] = flipFlopSample<hasMax, hasMin>(f.reset[k], f.set[k], f.maxLength,
                                                      f.minLength, q, n);
            f.latch[c] = q;
            f.count[c] = n;
        }
    }
}

// One channel, latch and count in registers. While the flip-flop rests (latch +0.0 and, with a
// limit, no count) every sample whose set input is off gives 0.0 and changes nothing, whatever the
// reset input says, so such runs are written without the per-sample rules.
template <bool hasMax, bool hasMin, typename Input>
void runOneChannel(const FlipFlopFrame<Input>& f) {
    double q = f.latch[0];
    int32_t n = f.count[0];
    int32_t i = 0;
    while (i < f.frameRows) {
        const bool resting = q == 0.0 && !std::signbit(q) && (n == 0 || (!hasMax && !hasMin));
        if (resting) {
            if constexpr (std::is_same_v<Input, ElementRun>) {
                const int32_t next = firstActive(f.set.start, i, f.frameRows);
                fillRun(f.out, i, next, 0.0);
                i = next;
            } else {
                while (i < f.frameRows && !isActiveValue(f.set[i])) {
                    f.out[i] = 0.0;
                    ++i;
                }
            }
            if (i == f.frameRows) {
                break;
            }
        }
        f.out[i] = flipFlopSample<hasMax, hasMin>(f.reset[i], f.set[i], f.maxLength, f.minLength,
                                                  q, n);
        ++i;
    }
    f.latch[0] = q;
    f.count[0] = n;
}

// Runs the frame with the loop for its limits and channel count.
template <bool hasMax, bool hasMin, typename Input>
void runFlipFlop(const FlipFlopFrame<Input>& f) {
#if !defined(KESTREL9_LITERAL)
    if (f.channels == 1) {
        runOneChannel<hasMax, hasMin>(f);
        return;
    }
#endif
    runFrame<hasMax, hasMin>(f);
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
    const InputPort* ports = block->inputPorts;
    withInputs(ports[0], ports[1], [block](auto reset, auto set) {
        FlipFlopFrame<decltype(reset)> f{};
        f.frameRows = paramInt(block, 1);
        f.minLength = paramInt(block, 3);
        f.maxLength = maxOnLength(block);
        f.channels = paramInt(block, 5);
        f.channelMajor = paramInt(block, 6) != 0;
        f.reset = reset;
        f.set = set;
        f.out = block->outputPorts[0].signal;
        f.latch = block->rWork;
        f.count = block->iWork;
        for (int32_t c = 0; c < f.channels; ++c) {
            f.latch[c] = block->discStates[c];
            f.count[c] = roundToInt32(block->discStates[f.channels + c]);
        }
        if (f.maxLength != 0) {
            if (f.minLength != 0) {
                runFlipFlop<true, true>(f);
            } else {
                runFlipFlop<true, false>(f);
            }
        } else if (f.minLength != 0) {
            runFlipFlop<false, true>(f);
        } else {
            runFlipFlop<false, false>(f);
        }
    });
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
    block->methods.initSampleTimes = setInheritedSampleTime;
    block->methods.initConditions = flipFlopInitConditions;
    block->methods.outputs = flipFlopOutputs;
    block->methods.update = flipFlopUpdate;
    block->methods.terminate = flipFlopTerminate;
}
