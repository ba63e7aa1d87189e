#include "support/shell_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "shell/main_program.h"
#include "shell/step_loop.h"

namespace shelltest {

const char* const kScriptError = "Scripted block failed";

namespace {

Script theScript;

ModelRecord rootRecord;
ModelInfo modelInfo;
double taskTimes[3];
int32_t sampleHits[3];
double sampleTimes[3];
double offsetTimes[3];
int32_t sampleTimeTaskIds[3];
double states[kMaxScriptStates];
double outputs[kMaxScriptOutputs];
BlockRecord blocks[kScriptBlocks];
BlockRecord* children[kScriptBlocks];
const int32_t executionOrder[kScriptBlocks] = {1, 2, 0, 3};

// Terminate slot of the scripted blocks: records the block index.
void recordTerminate(BlockRecord* block) {
    theScript.terminated.push_back(static_cast<int32_t>(block - blocks));
}

// Zero-fills and links the records; copies the script's timing and logging configuration.
ModelRecord* registerScripted() {
    rootRecord = ModelRecord{};
    modelInfo = ModelInfo{};
    for (int32_t i = 0; i < 3; ++i) {
        taskTimes[i] = 0.0;
        sampleHits[i] = 0;
        sampleTimes[i] = 0.0;
        offsetTimes[i] = 0.0;
        sampleTimeTaskIds[i] = 0;
    }
    std::memset(states, 0, sizeof states);
    std::memset(outputs, 0, sizeof outputs);
    modelInfo.taskTimes = taskTimes;
    modelInfo.sampleHits = sampleHits;
    modelInfo.startTime = theScript.startTime;
    modelInfo.finalTime = theScript.finalTime;
    modelInfo.fixedStepSize = theScript.sampleTimes[0];
    modelInfo.timeVarName = theScript.timeVarName;
    modelInfo.stateVarName = theScript.stateVarName;
    modelInfo.outputVarNames = theScript.outputVarNames;
    modelInfo.outputVarWidths = theScript.outputVarWidths;
    modelInfo.finalStateVarName = theScript.finalStateVarName;
    modelInfo.logMaxRows = theScript.logMaxRows;
    modelInfo.logDecimation = theScript.logDecimation;
    rootRecord.typeName = "testmodel";
    rootRecord.path = "testmodel";
    rootRecord.root = &rootRecord;
    rootRecord.info = &modelInfo;
    rootRecord.sampleTimes = sampleTimes;
    rootRecord.offsetTimes = offsetTimes;
    rootRecord.sampleTimeTaskIds = sampleTimeTaskIds;
    rootRecord.numDiscStates = theScript.numDiscStates;
    rootRecord.stateVector = theScript.numDiscStates > 0 ? states : nullptr;
    rootRecord.discStates = rootRecord.stateVector;
    rootRecord.outputVector = theScript.numOutputs > 0 ? outputs : nullptr;
    for (int32_t i = 0; i < kScriptBlocks; ++i) {
        blocks[i] = BlockRecord{};
        blocks[i].root = &rootRecord;
        blocks[i].parent = &rootRecord;
        blocks[i].info = &modelInfo;
        blocks[i].methods.terminate = i == 2 ? nullptr : recordTerminate;
        children[i] = &blocks[i];
    }
    rootRecord.children = children;
    rootRecord.numChildren = kScriptBlocks;
    return &rootRecord;
}

// The root runs three sample times.
void setScriptedSizes(ModelRecord* root) {
    root->numSampleTimes = 3;
}

// The script's periods and offsets [3].
void setScriptedSampleTimes(ModelRecord* root) {
    for (int32_t i = 0; i < 3; ++i) {
        root->sampleTimes[i] = theScript.sampleTimes[i];
        root->offsetTimes[i] = theScript.offsetTimes[i];
    }
}

// Counts the start and raises the start error when scripted.
void startScripted(ModelRecord* root) {
    theScript.startCalls += 1;
    if (theScript.errorAtStart) {
        setBlockError(root, kScriptError);
    }
}

// Records what the step sees, fills states [numDiscStates] and outputs [numOutputs], raises
// the scripted error and re-enters the step when scripted.
void scriptedOutputs(ModelRecord* root, int32_t) {
    const auto step = static_cast<int32_t>(theScript.outputsSeen.size());
    StepSeen seen{};
    for (int32_t i = 0; i < 3; ++i) {
        seen.taskTimes[i] = root->info->taskTimes[i];
        seen.sampleHits[i] = root->info->sampleHits[i];
    }
    theScript.outputsSeen.push_back(seen);
    for (int32_t j = 0; j < theScript.numDiscStates; ++j) {
        states[j] = step * 10.0 + j;
    }
    for (int32_t j = 0; j < theScript.numOutputs; ++j) {
        outputs[j] = step * 100.0 + j;
    }
    if (step == theScript.errorAtStep) {
        setBlockError(root, kScriptError);
    }
    if (step == theScript.reenterAtStep) {
        oneStep(scriptedModel(), root);
    }
}

// Counts the update pass and requests the scripted stop.
void scriptedUpdate(ModelRecord* root, int32_t) {
    const int32_t step = theScript.updateCalls;
    theScript.updateCalls += 1;
    if (step == theScript.stopAtStep) {
        root->info->stopRequested = 1;
    }
}

const ModelEntry entry = {
    "testmodel",      registerScripted, setScriptedSizes, setScriptedSampleTimes, startScripted,
    scriptedOutputs,  scriptedUpdate,   executionOrder,   kScriptBlocks,
};

// Reads everything written to an open file from its start.
std::string readAll(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, n);
    }
    return text;
}

}  // namespace

Script& script() {
    return theScript;
}

void resetScript() {
    theScript = Script{};
}

const ModelEntry& scriptedModel() {
    return entry;
}

ModelRecord* scriptedRoot() {
    return &rootRecord;
}

Captured captureOutput(const std::function<int()>& body) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::FILE* outFile = std::tmpfile();
    std::FILE* errFile = std::tmpfile();
    if (outFile == nullptr || errFile == nullptr) {
        throw std::runtime_error("no temporary file for capture");
    }
    const int savedOut = dup(1);
    const int savedErr = dup(2);
    dup2(fileno(outFile), 1);
    dup2(fileno(errFile), 2);
    Captured captured;
    captured.status = body();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    close(savedOut);
    close(savedErr);
    captured.out = readAll(outFile);
    captured.err = readAll(errFile);
    std::fclose(outFile);
    std::fclose(errFile);
    return captured;
}

Captured runScripted(const std::vector<std::string>& args) {
    std::vector<std::string> words = {"testmodel"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    return captureOutput([&] {
        return runMain(static_cast<int>(words.size()), argv.data(), scriptedModel());
    });
}

TempWorkDir::TempWorkDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                          "/k9shell-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    dir = pattern;
    previous = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
}

TempWorkDir::~TempWorkDir() {
    std::error_code ignored;
    std::filesystem::current_path(previous, ignored);
    std::filesystem::remove_all(dir, ignored);
}

bool fileExists(const std::string& path) {
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string matrixBytes(const std::string& name, int32_t rows, int32_t cols,
                        const std::vector<double>& columnMajor) {
    const int32_t header[5] = {0, rows, cols, 0, static_cast<int32_t>(name.size() + 1)};
    std::string bytes(reinterpret_cast<const char*>(header), sizeof header);
    bytes += name;
    bytes.push_back('\0');
    for (double value : columnMajor) {
        bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    return bytes;
}

}  // namespace shelltest
