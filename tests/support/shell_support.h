// Test support for the run-time shell and signal logging: a scripted model whose steps record
// what they saw, capture of the standard streams, a temporary working folder and file helpers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/block.h"
#include "shell/model_entry.h"

namespace shelltest {

constexpr double kBasePeriod = 0.3715192743764172;
constexpr double kStopTestPeriod = 1.114557823129252;
constexpr double kHourPeriod = 3600.021768707483;

// What the outputs pass of one step saw.
struct StepSeen {
    double taskTimes[3];
    int32_t sampleHits[3];
};

constexpr int32_t kScriptBlocks = 4;
constexpr int32_t kMaxScriptStates = 8;
constexpr int32_t kMaxScriptOutputs = 8;

// The configuration of the scripted model (set before a run) and its trace (read after).
struct Script {
    // Timing.
    double startTime = 0.0;
    double finalTime = 0.0;  // the model's own final time
    double sampleTimes[3] = {kBasePeriod, kStopTestPeriod, kHourPeriod};
    double offsetTimes[3] = {0.0, 0.0, 0.0};
    // Events, by step index (-1 = never).
    int32_t stopAtStep = -1;     // the update pass sets stopRequested
    int32_t errorAtStep = -1;    // the outputs pass sets the error status
    int32_t reenterAtStep = -1;  // the outputs pass calls oneStep again
    bool errorAtStart = false;
    // Logging configuration.
    const char* timeVarName = "";
    const char* stateVarName = "";
    const char* outputVarNames = "";
    const int32_t* outputVarWidths = nullptr;
    const char* finalStateVarName = "";
    int32_t logMaxRows = 0;
    int32_t logDecimation = 1;
    int32_t numDiscStates = 0;  // the state vector holds step * 10 + j after step's outputs
    int32_t numOutputs = 0;     // the output vector holds step * 100 + j
    // Trace.
    std::vector<StepSeen> outputsSeen;
    int32_t updateCalls = 0;
    int32_t startCalls = 0;
    std::vector<int32_t> terminated;  // block indices in call order
};

extern const char* const kScriptError;  // the text the scripted block error stores

// The one script; resetScript restores the defaults and clears the trace.
Script& script();
void resetScript();

// The scripted model: name "testmodel", four blocks whose terminate slots record their index
// (block 2 has none), execution order 1, 2, 0, 3.
const ModelEntry& scriptedModel();
// The root of the last registration.
ModelRecord* scriptedRoot();

// Standard output and error written during a call, and its result.
struct Captured {
    std::string out;
    std::string err;
    int status = 0;
};
Captured captureOutput(const std::function<int()>& body);

// Runs runMain on the scripted model with `args` (the program name is added).
Captured runScripted(const std::vector<std::string>& args);

// A fresh empty folder that is the working folder while the object lives.
class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;
    const std::string& path() const { return dir; }

private:
    std::string dir;
    std::string previous;
};

bool fileExists(const std::string& path);
std::string readFile(const std::string& path);

// The bytes of one Level-4 matrix on a little-endian host, built from its parts:
// header (0, rows, cols, 0, name length + 1), name and NUL, values column by column.
std::string matrixBytes(const std::string& name, int32_t rows, int32_t cols,
                        const std::vector<double>& columnMajor);

}  // namespace shelltest
