// The kestrel9 model: 19 block instances, the signals that wire them, the model's own
// arithmetic between them, and its entry for the run-time shell.
#pragma once

#include <cstdint>

#include "model/block.h"
#include "model/band_filter.h"
#include "shell/model_entry.h"

// Name and width of every signal, in signal-area order.
#define KESTREL9_SIGNALS(X)       \
    X(gapLimitSig, 1)             \
    X(sampleCount, 8192)          \
    X(clockSeconds, 8192)         \
    X(waveFrame, 8192)            \
    X(selectFlagSig, 1)           \
    X(selectFlagIsZero, 1)        \
    X(channelFrame, 8192)         \
    X(filterWindow, 16384)        \
    X(windowSpectrum, 32768)      \
    X(filterSpectrumSig, 32768)   \
    X(prodReRe, 16384)            \
    X(prodImIm, 16384)            \
    X(filteredRe, 16384)          \
    X(prodImRe, 16384)            \
    X(prodReIm, 16384)            \
    X(filteredIm, 16384)          \
    X(filteredWindow, 32768)      \
    X(energy, 8192)               \
    X(envelope, 8192)             \
    X(envelopeDelayed, 8192)      \
    X(fallRatio, 8192)            \
    X(ratioThresholdSig, 1)       \
    X(fallDetected, 8192)         \
    X(holdOffCount, 8192)         \
    X(countThresholdSig, 1)       \
    X(holdOffActive, 8192)        \
    X(peakReset, 8192)            \
    X(riseRatio, 8192)            \
    X(riseDetected, 8192)         \
    X(peakPulse, 8192)            \
    X(extendedPulse, 8192)        \
    X(extendThresholdSig, 1)      \
    X(detection, 8192)            \
    X(detectionDelayed, 8192)     \
    X(notDelayed, 8192)           \
    X(detectionEdge, 8192)        \
    X(edgeTime, 8192)             \
    X(sinceEdge, 8192)            \
    X(gapElapsed, 8192)           \
    X(clipTrigger, 8192)          \
    X(envelopeSum, 1)             \
    X(hourFrame, 9690)            \
    X(hourSum, 1)                 \
    X(meanPower, 1)               \
    X(log10Power, 1)              \
    X(levelDb, 1)                 \
    X(waveDelayed, 8192)          \
    X(audioWindow, 32768)         \
    X(triggerWindow, 32768)       \
    X(stopFileFlag, 1)

enum class SignalId : int32_t {
#define KESTREL9_SIGNAL_ID(name, width) name,
    KESTREL9_SIGNALS(KESTREL9_SIGNAL_ID)
#undef KESTREL9_SIGNAL_ID
    none,
};

inline constexpr int32_t signalCount = static_cast<int32_t>(SignalId::none);

inline constexpr int32_t signalWidths[signalCount] = {
#define KESTREL9_SIGNAL_WIDTH(name, width) width,
    KESTREL9_SIGNALS(KESTREL9_SIGNAL_WIDTH)
#undef KESTREL9_SIGNAL_WIDTH
};

// Start of each signal in the signal area [signalCount].
constexpr int32_t signalOffset(SignalId id) {
    int32_t offset = 0;
    for (int32_t i = 0; i < static_cast<int32_t>(id); ++i) {
        offset += signalWidths[i];
    }
    return offset;
}

inline constexpr int32_t signalAreaSize = signalOffset(SignalId::none);
inline constexpr int32_t discStateAreaSize = 62808;
inline constexpr int32_t blockRealWorkSize = 5;
inline constexpr int32_t hourRingSize = 19380;
inline constexpr int32_t hourFrameLength = 9690;
inline constexpr int32_t realWorkAreaSize = blockRealWorkSize + hourRingSize;
inline constexpr int32_t intWorkAreaSize = 18;
inline constexpr int32_t blockPointerWorkSize = 5;
// The hourly ring's read and write positions follow the blocks' pointer slots.
inline constexpr int32_t hourReadSlot = blockPointerWorkSize;
inline constexpr int32_t hourWriteSlot = blockPointerWorkSize + 1;
inline constexpr int32_t pointerWorkAreaSize = blockPointerWorkSize + 2;
inline constexpr int32_t modeCount = 2;
inline constexpr int32_t modelBlockCount = 19;
static_assert(signalAreaSize == 493030);

// Every signal of the model, each one contiguous array in the signal area.
struct ModelSignals {
#define KESTREL9_SIGNAL_FIELD(name, width) double* name;
    KESTREL9_SIGNALS(KESTREL9_SIGNAL_FIELD)
#undef KESTREL9_SIGNAL_FIELD
};

// Values of the model's constants.
inline constexpr double gapLimitValue = 20.0;
// One unit in the last place above the double nearest to 1/22050.
inline constexpr double clockGainValue = 4.53514739229025e-05;
inline constexpr double selectFlagValue = 0.0;
inline constexpr double ratioThresholdValue = 2.0;
inline constexpr double countThresholdValue = 0.0;
inline constexpr double extendThresholdValue = 0.0;
inline constexpr double hourInitialValue = 0.0;
// Two units in the last place below the double nearest to 1/(9690 x 8192).
inline constexpr double powerGainValue = 1.259755546955624e-08;
inline constexpr double dbGainValue = 10.0;
// Periods of rates 0, 1 and 2 in seconds.
inline constexpr double ratePeriods[3] = {0.3715192743764172, 1.114557823129252,
                                          3600.021768707483};

// The model's constants as kept at the start of its parameter area; the signals named ...Sig
// copy them in every step.
struct ModelConstants {
    double gapLimit;
    double clockGain;
    double selectFlag;
    double ratioThreshold;
    double countThreshold;
    double extendThreshold;
    double hourInitial;
    double powerGain;
    double dbGain;
    double filterSpectrum[filterSpectrumLength];  // computed by registerModel
};

// Builds the root record, ModelInfo, the areas and the 19 block records; zero-fills everything
// first and computes the stored filter spectrum. Returns the root.
ModelRecord* registerModel();
// Root counts: states, rates, modes, work sizes.
void setRootSizes(ModelRecord* root);
// Root sampleTimes [3] and offsetTimes [3].
void setRootSampleTimes(ModelRecord* root);
// Initial conditions, the hourly ring, the From Wave File start and the constant signals.
void startModel(ModelRecord* root);
// Outputs pass: the blocks' outputs in model order and the arithmetic between them.
void modelOutputs(ModelRecord* root, int32_t taskIndex);
// Update pass: the blocks' updates in model order and the stop test.
void modelUpdate(ModelRecord* root, int32_t taskIndex);

// The signals of the registered model (valid after registerModel).
const ModelSignals& modelSignals();
// The constants in the parameter area (the spectrum is valid after registerModel).
const ModelConstants& modelConstants();
// The hourly ring [19380] in the real work area.
double* modelHourRing();

// The model's entry for the shell; executionOrder is 1, 2, 0, 3, 4, ..., 18.
extern const ModelEntry kestrel9Model;
