#include "shell/standin_model.h"

#include <cstdint>

namespace {

constexpr double kBasePeriod = 0.3715192743764172;
constexpr double kStopTestPeriod = 1.114557823129252;
constexpr double kHourPeriod = 3600.021768707483;

ModelRecord rootRecord;
ModelInfo modelInfo;
double taskTimes[3];
int32_t sampleHits[3];
double sampleTimes[3];
double offsetTimes[3];
int32_t sampleTimeTaskIds[3];

// Zero-fills the records and links the root to its timing record.
ModelRecord* registerStandin() {
    rootRecord = ModelRecord{};
    modelInfo = ModelInfo{};
    for (int32_t i = 0; i < 3; ++i) {
        taskTimes[i] = 0.0;
        sampleHits[i] = 0;
        sampleTimes[i] = 0.0;
        offsetTimes[i] = 0.0;
        sampleTimeTaskIds[i] = 0;
    }
    modelInfo.taskTimes = taskTimes;
    modelInfo.sampleHits = sampleHits;
    modelInfo.fixedStepSize = kBasePeriod;
    modelInfo.timeVarName = "";
    modelInfo.stateVarName = "";
    modelInfo.outputVarNames = "";
    modelInfo.finalStateVarName = "";
    modelInfo.logDecimation = 1;
    rootRecord.typeName = "kestrel9";
    rootRecord.path = "kestrel9";
    rootRecord.root = &rootRecord;
    rootRecord.info = &modelInfo;
    rootRecord.sampleTimes = sampleTimes;
    rootRecord.offsetTimes = offsetTimes;
    rootRecord.sampleTimeTaskIds = sampleTimeTaskIds;
    return &rootRecord;
}

// The root runs three sample times.
void setStandinSizes(ModelRecord* root) {
    root->numSampleTimes = 3;
}

// The model's three rates [3], all without offset.
void setStandinSampleTimes(ModelRecord* root) {
    root->sampleTimes[0] = kBasePeriod;
    root->sampleTimes[1] = kStopTestPeriod;
    root->sampleTimes[2] = kHourPeriod;
    root->offsetTimes[0] = 0.0;
    root->offsetTimes[1] = 0.0;
    root->offsetTimes[2] = 0.0;
}

// Nothing to start and nothing to compute: the stand-in has no blocks.
void startStandin(ModelRecord*) {}

// The outputs and update passes of a model without blocks.
void stepStandin(ModelRecord*, int32_t) {}

}  // namespace

const ModelEntry standinModel = {
    "kestrel9",
    registerStandin,
    setStandinSizes,
    setStandinSampleTimes,
    startStandin,
    stepStandin,
    stepStandin,
    nullptr,
    0,
};
