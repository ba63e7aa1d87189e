// The three-rate sample-time engine: which rates run in a step and the time each rate sees.
// Time is always tick x period + offset from real-valued tick counts, never a sum of periods.
#pragma once

#include <cstdint>

#include "model/block.h"

constexpr int32_t kNumRates = 3;

// Engine tables, one entry per rate.
struct TimingEngine {
    double ratePeriod[kNumRates];   // entry 0 is the model's fixed step size
    double rateOffset[kNumRates];
    double rateTick[kNumRates];     // hits so far; -1.0 before the first hit of an offset rate
    int32_t rateCounter[kNumRates]; // base steps since the rate's last hit (0 = hits now)
    int32_t rateRatio[kNumRates];   // period in base steps; entry 0 is 1
    int32_t firstDiscreteRate;      // leading continuous rates among rates 0 and 1
};

// The engine's tables (read by tests).
const TimingEngine& timingEngine();

// Sets up the engine from the root's three sample times and offsets [3]; fills the root's
// sampleTimeTaskIds [3] and ModelInfo sampleHits [3]. Returns null or a message text.
const char* initTimingEngine(ModelRecord* root);

// Advances the tick counts at the start of a step; returns the base-rate time of the next step.
double advanceToNextHit();

// Sets ModelInfo sampleHits [3] and taskTimes [3] for the next step.
void updateSampleHits(ModelRecord* root);
