#include "blocks/counter.h"

#include <array>
#include <cstdint>
#include <utility>

namespace {

// Parameter layout: 1 frameSize, 2 hasIncrementInput, 3 hasResetInput, 4 hasLoadInput,
// 5 countDown, 6 loadValue, 7 stopAtLimit, 8 countLimit, 9 initialCount, 10 numChannels,
// 11 channelMajor, 12 sampleTime.

// One frame's work: the optional inputs [m x n] (null when absent), output [m x n] and the
// working counts [n] in rWork.
struct CounterFrame {
    int32_t samples;   // m
    int32_t channels;  // n
    double loadValue;
    double threshold;  // upper when counting up, lower when counting down; with stopAtLimit only
    const double* const* increment;
    const double* const* reset;
    const double* const* load;
    double* counts;
    double* out;
};

// Advances every count through one frame; the options are template parameters, so the loop
// body holds no option tests.
template <bool channelMajor, bool hasIncrement, bool countDown, bool stopAtLimit, bool hasReset,
          bool hasLoad>
void countFrame(const CounterFrame& f) {
    for (int32_t i = 0; i < f.samples; ++i) {
        for (int32_t j = 0; j < f.channels; ++j) {
            const int32_t k = channelMajor ? j * f.samples + i : i * f.channels + j;
            double c = f.counts[j];
            bool set = false;
            if constexpr (hasReset) {
                if (*f.reset[k] != 0.0) {
                    c = 0.0;
                    set = true;
                }
            }
            if constexpr (hasLoad) {
                if (!set && *f.load[k] != 0.0) {
                    c = f.loadValue;
                    set = true;
                }
            }
            if (!set) {
                double s = 1.0;
                if constexpr (hasIncrement) {
                    s = *f.increment[k];
                }
                if constexpr (countDown) {
                    if constexpr (stopAtLimit) {
                        if (c > f.threshold) {
                            c = c - s;
                        }
                    } else {
                        c = c - s;
                    }
                } else {
                    if constexpr (stopAtLimit) {
                        if (c < f.threshold) {
                            c = c + s;
                        }
                    } else {
                        c = c + s;
                    }
                }
            }
            f.counts[j] = c;
            f.out[k] = c;
        }
    }
}

using CountFrameFn = void (*)(const CounterFrame& frame);

// Option bits of the table index.
constexpr uint32_t channelMajorBit = 1;
constexpr uint32_t incrementBit = 2;
constexpr uint32_t countDownBit = 4;
constexpr uint32_t stopAtLimitBit = 8;
constexpr uint32_t resetBit = 16;
constexpr uint32_t loadBit = 32;

template <uint32_t options>
constexpr CountFrameFn countFrameFor() {
    return &countFrame<(options & channelMajorBit) != 0, (options & incrementBit) != 0,
                       (options & countDownBit) != 0, (options & stopAtLimitBit) != 0,
                       (options & resetBit) != 0, (options & loadBit) != 0>;
}

template <uint32_t... options>
constexpr std::array<CountFrameFn, sizeof...(options)> makeCountFrameTable(
    std::integer_sequence<uint32_t, options...> /*all*/) {
    return {countFrameFor<options>()...};
}

// One specialised loop per combination of the six options.
constexpr std::array<CountFrameFn, 64> countFrameTable =
    makeCountFrameTable(std::make_integer_sequence<uint32_t, 64>{});

// Number of input ports the flags switch on (increment, reset, load in this order).
int32_t enabledInputs(const BlockRecord* block) {
    return (paramFlag(block, 2) ? 1 : 0) + (paramFlag(block, 3) ? 1 : 0) +
           (paramFlag(block, 4) ? 1 : 0);
}

// Declares the enabled inputs and the output [n x m], the counts [n] as states and rWork [n].
void counterInitSizes(BlockRecord* block) {
    const int32_t samples = paramInt(block, 1);
    const int32_t channels = paramInt(block, 10);
    const int32_t inputs = enabledInputs(block);
    block->numContStates = 0;
    block->numDiscStates = channels;
    block->numInputPorts = inputs;
    block->numOutputPorts = 1;
    block->numSampleTimes = 1;
    block->numParams = 12;
    block->numIWork = 0;
    block->numRWork = channels;
    block->numPWork = 0;
    block->numModes = 0;
    block->options = 0;
    for (int32_t p = 0; p < inputs; ++p) {
        block->inputPorts[p].width = channels * samples;
        block->inputPorts[p].directFeedthrough = 1;
    }
    block->outputPorts[0].width = channels * samples;
}

// The sample time is the sampleTime parameter, unrounded, with offset 0.
void counterInitSampleTimes(BlockRecord* block) {
    block->sampleTimes[0] = paramReal(block, 12);
    block->offsetTimes[0] = 0.0;
}

// Sets every committed count [n] to initialCount.
void counterInitConditions(BlockRecord* block) {
    const int32_t channels = paramInt(block, 10);
    const double initialCount = paramReal(block, 9);
    for (int32_t j = 0; j < channels; ++j) {
        block->discStates[j] = initialCount;
    }
}

// Counts one frame from the committed counts [n] into rWork [n] and output [m x n].
void counterOutputs(BlockRecord* block, int32_t /*taskIndex*/) {
    CounterFrame f{};
    f.samples = paramInt(block, 1);
    f.channels = paramInt(block, 10);
    f.counts = block->rWork;
    for (int32_t j = 0; j < f.channels; ++j) {
        f.counts[j] = block->discStates[j];
    }

    const bool channelMajor = paramInt(block, 11) != 0;
    const bool hasIncrement = paramFlag(block, 2);
    const bool hasReset = paramFlag(block, 3);
    const bool hasLoad = paramFlag(block, 4);
    const bool countDown = paramFlag(block, 5);
    const bool stopAtLimit = paramFlag(block, 7);
    if (stopAtLimit) {
        const double countLimit = paramReal(block, 8);
        f.threshold = countDown ? countLimit * 1.000000000001 + 1e-12
                                : countLimit * 0.999999999999 - 1e-12;
    }
    if (f.samples <= 0) {
        return;
    }

    int32_t port = 0;
    if (hasIncrement) {
        f.increment = block->inputPorts[port++].signalPtrs;
    }
    if (hasReset) {
        f.reset = block->inputPorts[port++].signalPtrs;
    }
    if (hasLoad) {
        f.load = block->inputPorts[port++].signalPtrs;
    }
    f.loadValue = paramReal(block, 6);
    f.out = block->outputPorts[0].signal;

    const uint32_t options = (channelMajor ? channelMajorBit : 0) |
                             (hasIncrement ? incrementBit : 0) | (countDown ? countDownBit : 0) |
                             (stopAtLimit ? stopAtLimitBit : 0) | (hasReset ? resetBit : 0) |
                             (hasLoad ? loadBit : 0);
    countFrameTable[options](f);
}

// Commits the working counts rWork [n] into the states.
void counterUpdate(BlockRecord* block, int32_t /*taskIndex*/) {
    const int32_t channels = paramInt(block, 10);
    for (int32_t j = 0; j < channels; ++j) {
        block->discStates[j] = block->rWork[j];
    }
}

// Nothing to release.
void counterTerminate(BlockRecord* /*block*/) {}

}  // namespace

void registerCounter(BlockRecord* block) {
    block->methods.initSizes = counterInitSizes;
    block->methods.initSampleTimes = counterInitSampleTimes;
    block->methods.initConditions = counterInitConditions;
    block->methods.outputs = counterOutputs;
    block->methods.update = counterUpdate;
    block->methods.terminate = counterTerminate;
}
