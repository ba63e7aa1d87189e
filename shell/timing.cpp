#include "shell/timing.h"

namespace {

TimingEngine engine;

}  // namespace

const TimingEngine& timingEngine() {
    return engine;
}

const char* initTimingEngine(ModelRecord* root) {
    ModelInfo* info = root->info;
    if (info->startTime != 0.0) {
        return "Start time must be zero for real-time systems";
    }
    info->simTimeStep = 1;
    const double fixedStep = info->fixedStepSize;
    for (int32_t i = 0; i < kNumRates; ++i) {
        root->sampleTimeTaskIds[i] = i;
        engine.ratePeriod[i] = root->sampleTimes[i];
        engine.rateOffset[i] = root->offsetTimes[i];
        // roundToInt32 is floor(x + 0.5) and stays defined for a zero step size.
        engine.rateRatio[i] = roundToInt32(engine.ratePeriod[i] / fixedStep);
        if (engine.ratePeriod[i] != 0.0 && engine.rateOffset[i] != 0.0) {
            engine.rateCounter[i] =
                roundToInt32((engine.ratePeriod[i] - engine.rateOffset[i]) / fixedStep);
            engine.rateTick[i] = -1.0;
            info->sampleHits[i] = 0;
        } else {
            engine.rateCounter[i] = 0;
            engine.rateTick[i] = 0.0;
            info->sampleHits[i] = 1;
        }
    }
    engine.ratePeriod[0] = fixedStep;
    engine.rateRatio[0] = 1;
    engine.firstDiscreteRate =
        (root->sampleTimes[0] == 0.0 ? 1 : 0) + (root->sampleTimes[1] == 0.0 ? 1 : 0);
    return nullptr;
}

double advanceToNextHit() {
    engine.rateTick[0] += 1.0;
    for (int32_t i = 1; i < kNumRates; ++i) {
        engine.rateCounter[i] += 1;
        if (engine.rateCounter[i] == engine.rateRatio[i]) {
            engine.rateCounter[i] = 0;
            engine.rateTick[i] += 1.0;
        }
    }
    return engine.ratePeriod[0] * engine.rateTick[0];
}

void updateSampleHits(ModelRecord* root) {
    ModelInfo* info = root->info;
    for (int32_t i = engine.firstDiscreteRate; i < kNumRates; ++i) {
        const bool hit = engine.rateCounter[i] == 0;
        info->sampleHits[i] = hit ? 1 : 0;
        if (hit) {
            info->taskTimes[i] = engine.rateTick[i] * engine.ratePeriod[i] + engine.rateOffset[i];
        }
    }
}
