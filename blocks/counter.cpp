#include "blocks/counter.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "blocks/run_scan.h"
#include "model/vector_clones.h"

namespace {

// Parameter layout: 1 frameSize, 2 hasIncrementInput, 3 hasResetInput, 4 hasLoadInput,
// 5 countDown, 6 loadValue, 7 stopAtLimit, 8 countLimit, 9 initialCount, 10 numChannels,
// 11 channelMajor, 12 sampleTime.

// One frame's work: the optional inputs [m x n] (unused when absent), output [m x n] and the
// working counts [n] in rWork.
template <typename Input>
struct CounterFrame {
    int32_t samples;   // m
    int32_t channels;  // n
    double loadValue;
    double threshold;  // upper when counting up, lower when counting down; with stopAtLimit only
    Input increment;
    Input reset;
    Input load;
    double* counts;
    double* out;
};

// One count through one sample at element k: reset, load, or a step unless held at its limit.
template <typename Input, bool hasIncrement, bool countDown, bool stopAtLimit, bool hasReset,
          bool hasLoad>
inline double countSample(const CounterFrame<Input>& f, int32_t k, double c) {
    bool set = false;
    if constexpr (hasReset) {
        if (f.reset[k] != 0.0) {
            c = 0.0;
            set = true;
        }
    }
    if constexpr (hasLoad) {
        if (!set && f.load[k] != 0.0) {
            c = f.loadValue;
            set = true;
        }
    }
    if (!set) {
        double s = 1.0;
        if constexpr (hasIncrement) {
            s = f.increment[k];
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
    return c;
}

// Advances every count through one frame; the options are template parameters, so the loop
// body holds no option tests.
template <typename Input, bool channelMajor, bool hasIncrement, bool countDown, bool stopAtLimit,
          bool hasReset, bool hasLoad>
void countFrame(const CounterFrame<Input>& f) {
#if !defined(KESTREL9_LITERAL)
    if constexpr (stopAtLimit && !hasIncrement) {
        if (f.channels == 1) {
            // One count in a register. Held at its limit, it stays there through every sample
            // whose reset and load inputs are 0, so such runs are written without the rules.
            double c = f.counts[0];
            int32_t i = 0;
            while (i < f.samples) {
                const bool held = countDown ? !(c > f.threshold) : !(c < f.threshold);
                if (held) {
                    if constexpr (std::is_same_v<Input, ElementRun>) {
                        int32_t next = f.samples;
                        if constexpr (hasReset) {
                            next = firstNonZero(f.reset.start, i, next);
                        }
                        if constexpr (hasLoad) {
                            next = firstNonZero(f.load.start, i, next);
                        }
                        fillRun(f.out, i, next, c);
                        i = next;
                    } else {
                        while (i < f.samples && (!hasReset || f.reset[i] == 0.0) &&
                               (!hasLoad || f.load[i] == 0.0)) {
                            f.out[i] = c;
                            ++i;
                        }
                    }
                    if (i == f.samples) {
                        break;
                    }
                }
                c = countSample<Input, hasIncrement, countDown, stopAtLimit, hasReset, hasLoad>(
                    f, i, c);
                f.out[i] = c;
                ++i;
            }
            f.counts[0] = c;
            return;
        }
    }
#endif
    for (int32_t i = 0; i < f.samples; ++i) {
        for (int32_t j = 0; j < f.channels; ++j) {
            const int32_t k = channelMajor ? j * f.samples + i : i * f.channels + j;
            const double c =
                countSample<Input, hasIncrement, countDown, stopAtLimit, hasReset, hasLoad>(
                    f, k, f.counts[j]);
            f.counts[j] = c;
            f.out[k] = c;
        }
    }
}

template <typename Input>
using CountFrameFn = void (*)(const CounterFrame<Input>& frame);

// Option bits of the table index.
constexpr uint32_t channelMajorBit = 1;
constexpr uint32_t incrementBit = 2;
constexpr uint32_t countDownBit = 4;
constexpr uint32_t stopAtLimitBit = 8;
constexpr uint32_t resetBit = 16;
constexpr uint32_t loadBit = 32;

template <typename Input, uint32_t options>
constexpr CountFrameFn<Input> countFrameFor() {
    return &countFrame<Input, (options & channelMajorBit) != 0, (options & incrementBit) != 0,
                       (options & countDownBit) != 0, (options & stopAtLimitBit) != 0,
                       (options & resetBit) != 0, (options & loadBit) != 0>;
}

template <typename Input, uint32_t... options>
constexpr std::array<CountFrameFn<Input>, sizeof...(options)> makeCountFrameTable(
    std::integer_sequence<uint32_t, options...> /*all*/) {
    return {countFrameFor<Input, options>()...};
}

// One specialised loop per combination of the six options, for each way of reading the inputs.
template <typename Input>
constexpr std::array<CountFrameFn<Input>, 64> countFrameTable =
    makeCountFrameTable<Input>(std::make_integer_sequence<uint32_t, 64>{});

#if !defined(KESTREL9_LITERAL)
// Largest magnitude below which every integer is a double: counting by 1.0 from an integer is
// exact up to here, so the k-th count is the start plus or minus k.
constexpr double kExactIntegerLimit = 9007199254740992.0;

// out [n] = value.
KESTREL9_VECTOR_CLONES
void fillCounts(double* out, int32_t n, double value) {
    for (int32_t i = 0; i < n; ++i) {
        out[i] = value;
    }
}

// out [n]: the counts start + 1.0, start + 2.0, ... (exact for an integer start below 2^53 - n).
KESTREL9_VECTOR_CLONES
void countUpFrom(double* out, int32_t n, double start) {
    for (int32_t i = 0; i < n; ++i) {
        out[i] = start + static_cast<double>(i + 1);
    }
}

// out [n]: the counts start - 1.0, start - 2.0, ...
KESTREL9_VECTOR_CLONES
void countDownFrom(double* out, int32_t n, double start) {
    for (int32_t i = 0; i < n; ++i) {
        out[i] = start - static_cast<double>(i + 1);
    }
}

// One channel without inputs, as a closed form where every count it replaces is exact: a count
// held at its limit repeats, and an integer count stepping by 1.0 is the start plus or minus the
// step number. Output [m]; false when the loop has to run.
bool countWithoutInputs(double* counts, double* out, int32_t samples, bool countDown,
                        bool stopAtLimit, double threshold) {
    const double start = counts[0];
    if (stopAtLimit) {
        const bool moves = countDown ? start > threshold : start < threshold;
        if (moves) {
            return false;
        }
        fillCounts(out, samples, start);
        return true;
    }
    if (!(std::floor(start) == start && std::fabs(start) <= kExactIntegerLimit - samples)) {
        return false;
    }
    if (countDown) {
        countDownFrom(out, samples, start);
    } else {
        countUpFrom(out, samples, start);
    }
    counts[0] = out[samples - 1];
    return true;
}
#endif

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
    const int32_t samples = paramInt(block, 1);
    const int32_t channels = paramInt(block, 10);
    double* counts = block->rWork;
    for (int32_t j = 0; j < channels; ++j) {
        counts[j] = block->discStates[j];
    }

    const bool channelMajor = paramInt(block, 11) != 0;
    const bool hasIncrement = paramFlag(block, 2);
    const bool hasReset = paramFlag(block, 3);
    const bool hasLoad = paramFlag(block, 4);
    const bool countDown = paramFlag(block, 5);
    const bool stopAtLimit = paramFlag(block, 7);
    double threshold = 0.0;
    if (stopAtLimit) {
        const double countLimit = paramReal(block, 8);
        threshold = countDown ? countLimit * 1.000000000001 + 1e-12
                              : countLimit * 0.999999999999 - 1e-12;
    }
    if (samples <= 0) {
        return;
    }
    double* out = block->outputPorts[0].signal;
#if !defined(KESTREL9_LITERAL)
    if (channels == 1 && !hasIncrement && !hasReset && !hasLoad &&
        countWithoutInputs(counts, out, samples, countDown, stopAtLimit, threshold)) {
        return;
    }
#endif

    const uint32_t options = (channelMajor ? channelMajorBit : 0) |
                             (hasIncrement ? incrementBit : 0) | (countDown ? countDownBit : 0) |
                             (stopAtLimit ? stopAtLimitBit : 0) | (hasReset ? resetBit : 0) |
                             (hasLoad ? loadBit : 0);
    const int32_t inputs = enabledInputs(block);
    bool straight = true;
    for (int32_t p = 0; p < inputs; ++p) {
        straight = straight && block->inputPorts[p].source != nullptr;
    }
    // Fills the frame's readers in port order (increment, reset, load) and runs the loop.
    const auto run = [&](auto reader) {
        using Input = decltype(reader(0));
        CounterFrame<Input> f{};
        f.samples = samples;
        f.channels = channels;
        f.threshold = threshold;
        f.loadValue = paramReal(block, 6);
        f.counts = counts;
        f.out = out;
        int32_t port = 0;
        if (hasIncrement) {
            f.increment = reader(port++);
        }
        if (hasReset) {
            f.reset = reader(port++);
        }
        if (hasLoad) {
            f.load = reader(port++);
        }
        countFrameTable<Input>[options](f);
    };
    if (straight) {
        run([block](int32_t p) { return ElementRun{block->inputPorts[p].source}; });
    } else {
        run([block](int32_t p) { return ElementRefs{block->inputPorts[p].signalPtrs}; });
    }
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
