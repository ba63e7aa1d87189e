// The kestrel9 model's outputs and update passes: the blocks' methods in model order and the
// model's own arithmetic between them, every operation rounded to double in the stated order.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "model/block.h"
#include "model/kestrel9_model.h"
#include "model/step_kernels.h"
#include "shell/nonfinite.h"

namespace {

constexpr int32_t frame = 8192;
constexpr int32_t bins = filterSpectrumBins;

// Rate r hits in a major step in which its task's sample hit is set.
bool rateHits(const ModelRecord* root, int32_t rate) {
    const ModelInfo* info = root->info;
    return info->simTimeStep == 1 && info->sampleHits[root->sampleTimeTaskIds[rate]] != 0;
}


#if defined(KESTREL9_LITERAL)
// Comparison result: 1.0 when a > b, 0.0 otherwise (also when either side is NaN).
double greater(double a, double b) {
    return a > b ? 1.0 : 0.0;
}

// AND and OR of two truth values, as 1.0 or 0.0.
double logicalAnd(double a, double b) {
    return (isActiveValue(a) && isActiveValue(b)) ? 1.0 : 0.0;
}

double logicalOr(double a, double b) {
    return (isActiveValue(a) || isActiveValue(b)) ? 1.0 : 0.0;
}
#endif

// Calls the outputs slot of instance `index` in its interface (an empty slot is skipped).
void outputsOf(ModelRecord* root, int32_t index, int32_t taskIndex) {
    callOutputs(root->children[index], taskIndex);
}

// Calls the update slot of instance `index` when it is set.
void updateOf(ModelRecord* root, int32_t index, int32_t taskIndex) {
    BlockRecord* block = root->children[index];
    if (block->methods.update != nullptr) {
        block->methods.update(block, taskIndex);
    }
}

// One selector branch with mode word `mode`: an enable of 1 activates the branch and, in a
// base-rate step, runs its action; an enable of 0 deactivates an active branch.
template <typename Action>
void selectorBranch(int32_t& mode, bool rate0, bool condition, Action action) {
    const int32_t enable = rate0 ? (condition ? 1 : 0) : mode;
    if (enable == 1) {
        if (mode == 0) {
            mode = 1;
        }
        if (rate0) {
            action();
        }
    } else if (enable == 0 && mode == 1) {
        mode = 0;
    }
}

#if defined(KESTREL9_LITERAL)
// Y[k] = F[k] X[k] for bins [16384], spectra in split layout [2 x 16384].
void spectrumProduct(const ModelSignals& s) {
    const double* x = s.windowSpectrum;
    const double* f = s.filterSpectrumSig;
    for (int32_t k = 0; k < bins; ++k) {
        s.prodReRe[k] = f[k] * x[k];
        s.prodImIm[k] = f[bins + k] * x[bins + k];
        s.filteredRe[k] = s.prodReRe[k] - s.prodImIm[k];
        s.prodImRe[k] = f[bins + k] * x[k];
        s.prodReIm[k] = x[bins + k] * f[k];
        s.filteredIm[k] = s.prodReIm[k] + s.prodImRe[k];
    }
}
#endif

#if defined(KESTREL9_LITERAL)
// The detector chain of one base-rate step: from the channel frame [8192] to clipTrigger [8192]
// and envelopeSum.
void detectorChain(ModelRecord* root, const ModelSignals& s, const ModelConstants& c,
                   int32_t taskIndex) {
    outputsOf(root, 3, taskIndex);
    outputsOf(root, 4, taskIndex);
    std::memcpy(s.filterSpectrumSig, c.filterSpectrum, sizeof(double) * filterSpectrumLength);
    spectrumProduct(s);
    outputsOf(root, 5, taskIndex);
    for (int32_t k = 0; k < frame; ++k) {
        const double y = s.filteredWindow[frame + k];
        s.energy[k] = y * y;
    }
    outputsOf(root, 6, taskIndex);
    outputsOf(root, 7, taskIndex);
    for (int32_t k = 0; k < frame; ++k) {
        const double reciprocal = 1.0 / s.envelope[k];
        s.fallRatio[k] = reciprocal * s.envelopeDelayed[k];
    }
    s.ratioThresholdSig[0] = c.ratioThreshold;
    for (int32_t k = 0; k < frame; ++k) {
        s.fallDetected[k] = greater(s.fallRatio[k], s.ratioThresholdSig[0]);
    }
    outputsOf(root, 8, taskIndex);
    s.countThresholdSig[0] = c.countThreshold;
    for (int32_t k = 0; k < frame; ++k) {
        s.holdOffActive[k] = greater(s.holdOffCount[k], s.countThresholdSig[0]);
        s.peakReset[k] = logicalOr(s.fallDetected[k], s.holdOffActive[k]);
        s.riseRatio[k] = s.envelope[k] / s.envelopeDelayed[k];
        s.riseDetected[k] = greater(s.riseRatio[k], s.ratioThresholdSig[0]);
    }
    outputsOf(root, 9, taskIndex);
    outputsOf(root, 10, taskIndex);
    s.extendThresholdSig[0] = c.extendThreshold;
    for (int32_t k = 0; k < frame; ++k) {
        s.detection[k] = greater(s.extendedPulse[k], s.extendThresholdSig[0]);
    }
    outputsOf(root, 11, taskIndex);
    for (int32_t k = 0; k < frame; ++k) {
        s.notDelayed[k] = isActiveValue(s.detectionDelayed[k]) ? 0.0 : 1.0;
        s.detectionEdge[k] = logicalAnd(s.detection[k], s.notDelayed[k]);
    }
    outputsOf(root, 12, taskIndex);
    for (int32_t k = 0; k < frame; ++k) {
        s.sinceEdge[k] = s.clockSeconds[k] - s.edgeTime[k];
        s.gapElapsed[k] = greater(s.sinceEdge[k], s.gapLimitSig[0]);
        s.clipTrigger[k] = logicalAnd(s.detection[k], s.gapElapsed[k]);
    }
    double sum = s.envelope[0];
    for (int32_t k = 1; k < frame; ++k) {
        sum = sum + s.envelope[k];
    }
    s.envelopeSum[0] = sum;
}
#else
// The detector chain of one base-rate step, its arithmetic in fused vector passes: from the
// channel frame [8192] to clipTrigger [8192] and envelopeSum.
void detectorChain(ModelRecord* root, const ModelSignals& s, const ModelConstants& c,
                   int32_t taskIndex) {
    outputsOf(root, 3, taskIndex);
    outputsOf(root, 4, taskIndex);
    // The constant spectrum is rewritten into its signal by the product pass that reads it.
    stepKernels::filterProduct(bins, c.filterSpectrum, s.windowSpectrum, s.filterSpectrumSig,
                               s.prodReRe, s.prodImIm, s.filteredRe, s.prodImRe, s.prodReIm,
                               s.filteredIm);
    outputsOf(root, 5, taskIndex);
    stepKernels::square(frame, s.filteredWindow + frame, s.energy);
    outputsOf(root, 6, taskIndex);
    outputsOf(root, 7, taskIndex);
    s.ratioThresholdSig[0] = c.ratioThreshold;
    // The envelope's sum is added up in the same pass; it is stored where the chain ends.
    const double envelopeSum = stepKernels::fallTest(frame, s.envelope, s.envelopeDelayed,
                                                     s.ratioThresholdSig[0], s.fallRatio,
                                                     s.fallDetected);
    outputsOf(root, 8, taskIndex);
    s.countThresholdSig[0] = c.countThreshold;
    stepKernels::riseTest(frame, s.holdOffCount, s.countThresholdSig[0], s.fallDetected,
                          s.envelope, s.envelopeDelayed, s.ratioThresholdSig[0], s.holdOffActive,
                          s.peakReset, s.riseRatio, s.riseDetected);
    outputsOf(root, 9, taskIndex);
    outputsOf(root, 10, taskIndex);
    s.extendThresholdSig[0] = c.extendThreshold;
    stepKernels::greaterThan(frame, s.extendedPulse, s.extendThresholdSig[0], s.detection);
    outputsOf(root, 11, taskIndex);
    stepKernels::risingEdge(frame, s.detection, s.detectionDelayed, s.notDelayed,
                            s.detectionEdge);
    outputsOf(root, 12, taskIndex);
    stepKernels::overloadGuard(frame, s.clockSeconds, s.edgeTime, s.gapLimitSig[0], s.detection,
                               s.sinceEdge, s.gapElapsed, s.clipTrigger);
    s.envelopeSum[0] = envelopeSum;
}
#endif

// Copies the 9690 ring entries from the read position into hourFrame and moves the read
// position on by 9690 (ring [19380]).
void readHourFrame(ModelRecord* root, const ModelSignals& s) {
    double* ring = root->rWork + blockRealWorkSize;
    int32_t read = static_cast<int32_t>(static_cast<double*>(root->pWork[hourReadSlot]) - ring);
    for (int32_t i = 0; i < hourFrameLength; ++i) {
        s.hourFrame[i] = ring[read];
        read = read + 1 == hourRingSize ? 0 : read + 1;
    }
    root->pWork[hourReadSlot] = ring + read;
}

// Stores envelopeSum at the write position of the ring [19380] and moves it on by one.
void writeHourRing(ModelRecord* root, const ModelSignals& s) {
    double* ring = root->rWork + blockRealWorkSize;
    double* write = static_cast<double*>(root->pWork[hourWriteSlot]);
    *write = s.envelopeSum[0];
    const int32_t next = static_cast<int32_t>(write - ring) + 1;
    root->pWork[hourWriteSlot] = ring + (next == hourRingSize ? 0 : next);
}

// The hourly level in decibels from hourFrame [9690].
void hourLevel(const ModelSignals& s, const ModelConstants& c) {
    double sum = s.hourFrame[0];
    for (int32_t i = 1; i < hourFrameLength; ++i) {
        sum = sum + s.hourFrame[i];
    }
    s.hourSum[0] = sum;
    s.meanPower[0] = c.powerGain * s.hourSum[0];
    s.log10Power[0] = s.meanPower[0] > 0.0 ? std::log10(s.meanPower[0]) : rtMinusInf;
    s.levelDb[0] = c.dbGain * s.log10Power[0];
}

}  // namespace

void modelOutputs(ModelRecord* root, int32_t taskIndex) {
    const ModelSignals& s = modelSignals();
    const ModelConstants& c = modelConstants();
    const bool rate0 = rateHits(root, 0);
    const bool rate1 = rateHits(root, 1);
    const bool rate2 = rateHits(root, 2);

    if (rate0) {
        s.gapLimitSig[0] = c.gapLimit;
        outputsOf(root, 1, taskIndex);
#if defined(KESTREL9_LITERAL)
        for (int32_t k = 0; k < frame; ++k) {
            s.clockSeconds[k] = c.clockGain * s.sampleCount[k];
        }
#else
        stepKernels::scale(frame, c.clockGain, s.sampleCount, s.clockSeconds);
#endif
        outputsOf(root, 2, taskIndex);
        s.selectFlagSig[0] = c.selectFlag;
        s.selectFlagIsZero[0] = s.selectFlagSig[0] == 0.0 ? 1.0 : 0.0;
    }
    selectorBranch(root->modes[0], rate0, s.selectFlagIsZero[0] > 0.0,
                   [&] { outputsOf(root, 0, taskIndex); });
    selectorBranch(root->modes[1], rate0, s.selectFlagSig[0] > 0.0, [&] {
        std::memcpy(s.channelFrame, s.waveFrame, sizeof(double) * frame);
    });
    if (rate0) {
        detectorChain(root, s, c, taskIndex);
    }
    if (rate2) {
        readHourFrame(root, s);
    }
    if (rate0) {
        writeHourRing(root, s);
    }
    if (rate2) {
        hourLevel(s, c);
        outputsOf(root, 13, taskIndex);
    }
    if (rate0) {
        for (int32_t index : {14, 15, 16, 17}) {
            outputsOf(root, index, taskIndex);
        }
    }
    if (rate1) {
        outputsOf(root, 18, taskIndex);
    }
}

void modelUpdate(ModelRecord* root, int32_t taskIndex) {
    const bool rate0 = rateHits(root, 0);
    const bool rate1 = rateHits(root, 1);
    const bool rate2 = rateHits(root, 2);
    if (rate0) {
        for (int32_t index : {1, 3, 6, 7, 8, 9, 10, 11}) {
            updateOf(root, index, taskIndex);
        }
    }
    if (rate2) {
        updateOf(root, 13, taskIndex);
    }
    if (rate0) {
        for (int32_t index : {14, 15, 16, 17}) {
            updateOf(root, index, taskIndex);
        }
    }
    if (rate1 && isActiveValue(modelSignals().stopFileFlag[0])) {
        root->info->stopRequested = 1;
    }
}
