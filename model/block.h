// The block instance record, its method slots and the parameter layout shared by every block
// type. A block type is a set of free functions that receive a BlockRecord and read everything
// from it; the model owns every storage a record refers to.
#pragma once

#include <cstdint>

struct BlockRecord;
struct LogRecord;

// A constant matrix parameter: rows x cols doubles, column by column. A text parameter holds one
// character code per element.
struct ParamValue {
    double rows;
    double cols;
    const double* data;
};

struct InputPort {
    int32_t width;
    int32_t directFeedthrough;
    const double* const* signalPtrs;  // [width] references into the producer's buffer
    // Set once after wiring when signalPtrs[k] == source + k for every k (resolveInputSources):
    // the block may then read element k as source[k]. Null: read through signalPtrs.
    const double* source = nullptr;
};

struct OutputPort {
    int32_t width;
    double* signal;  // [width], owned by the model's signal area
};

// Standard interface.
using BlockFn = void (*)(BlockRecord* block);
using BlockStepFn = void (*)(BlockRecord* block, int32_t taskIndex);
// Single-vector interface (Real FFT, Real IFFT).
using VectorInitFn = void (*)(double* x, BlockRecord* block);
using VectorOutputsFn = void (*)(double* y, const double* x, const double* const* u,
                                 BlockRecord* block, int32_t taskIndex);

// The eight method slots. Slots 3 and 5 exist in both calling interfaces: a single-vector type
// fills `vectorInitConditions` and `vectorOutputs` instead of `initConditions` and `outputs`.
// An empty slot is never called; use callInitConditions and callOutputs to dispatch.
struct BlockMethods {
    BlockFn initSizes;
    BlockFn initSampleTimes;
    BlockFn initConditions;
    BlockFn start;
    BlockStepFn outputs;
    BlockStepFn update;
    BlockFn derivatives;
    BlockFn terminate;
    VectorInitFn vectorInitConditions;
    VectorOutputsFn vectorOutputs;
};

// Shared timing and logging record; one per model, linked from the root and every block.
struct ModelInfo {
    double* taskTimes;   // [3]
    int32_t* sampleHits; // [3]
    double startTime;
    double finalTime;    // 0.0 = no limit
    int32_t simTimeStep;
    int32_t stopRequested;
    const char* solverName;
    double nextHitTime;
    double fixedStepSize;
    const char* timeVarName;
    const char* stateVarName;
    const char* outputVarNames;
    const int32_t* outputVarWidths;
    const char* finalStateVarName;
    int32_t logMaxRows;
    int32_t logDecimation;
    LogRecord* logRecord;
    double* signals;
    const double* paramArea;
};

struct BlockRecord {
    const char* typeName;
    const char* path;
    BlockRecord* parent;
    BlockRecord* root;
    const char* errorStatus;  // root only: null while healthy
    int32_t numContStates;
    int32_t numDiscStates;
    int32_t numOutputPorts;   // single-vector interface: output width
    int32_t numInputPorts;    // single-vector interface: input width
    int32_t directFeedthrough;
    int32_t numSampleTimes;
    int32_t numParams;
    int32_t numIWork;
    int32_t numRWork;
    int32_t numPWork;
    int32_t numModes;
    int32_t options;
    InputPort* inputPorts;
    OutputPort* outputPorts;
    int32_t numParamsGiven;
    const ParamValue* const* params;
    const double* const* inputElementPtrs;  // single-vector interface
    // Single-vector interface: the input's two halves of numInputPorts / 2 elements, each set once
    // after wiring when that half's references are consecutive (resolveInputSources); else null.
    const double* inputHalves[2] = {nullptr, nullptr};
    double* outputVector;                   // single-vector interface
    double* stateVector;                    // root only
    double* discStates;
    int32_t* iWork;
    double* rWork;
    void** pWork;
    int32_t* modes;  // root only
    ModelInfo* info;
    double* sampleTimes;
    double* offsetTimes;
    int32_t* sampleTimeTaskIds;
    BlockMethods methods;
    BlockRecord** children;  // root only
    int32_t numChildren;     // root only
};

// The root record has the same fields as a block record.
using ModelRecord = BlockRecord;

// Calls slot 3 in the block's interface (the single-vector form gets the record's stateVector).
void callInitConditions(BlockRecord* block);
// Calls slot 5 in the block's interface (the single-vector form gets outputVector, stateVector and
// inputElementPtrs of the record).
void callOutputs(BlockRecord* block, int32_t taskIndex);

// Stores a constant message in the root's error status; the step loop stops at the next step.
inline void setBlockError(BlockRecord* block, const char* message) {
    block->root->errorStatus = message;
}

// Converts a text parameter to a NUL-terminated string in buffer [capacity]. Returns 1 when the
// text was cut to capacity - 1 characters, else 0.
int32_t textParamToString(const ParamValue* param, char* buffer, int32_t capacity);

// Parameter reading rules; `index` counts from 1 in the order the model supplies the parameters.
// Rounded integer: floor(x + 0.5) as a 32-bit signed integer (NaN and values outside the range
// give INT32_MIN, as the x86 conversion does, instead of undefined behaviour).
int32_t roundToInt32(double x);
double paramReal(const BlockRecord* block, int32_t index);
int32_t paramInt(const BlockRecord* block, int32_t index);
// A flag is on when the value is not exactly 0.0.
bool paramFlag(const BlockRecord* block, int32_t index);
// The parameter record itself (for text parameters and column counts).
const ParamValue* paramValue(const BlockRecord* block, int32_t index);

// Start of the consecutive elements that refs [width] refer to (refs[k] == start + k for every k),
// or null when they are not consecutive or width < 1.
const double* consecutiveElements(const double* const* refs, int32_t width);

// Records which inputs of the block are consecutive runs of a signal: `source` of every standard
// input port, `inputHalves` of a single-vector input. The model calls it once for each block after
// the references are wired; a block never resolved reads every input through its references.
void resolveInputSources(BlockRecord* block);

// A value counts as true (a gate, set or save flag is active) when it is neither 0 nor NaN.
inline bool isActiveValue(double x) {
    return x < 0.0 || x > 0.0;
}

// initSampleTimes of the types whose rate the model resolves: period -1.0 (inherited), offset 1.0.
inline void setInheritedSampleTime(BlockRecord* block) {
    block->sampleTimes[0] = -1.0;
    block->offsetTimes[0] = 1.0;
}

// Input element i of standard input port `port` (counted from 0).
inline double inputElement(const BlockRecord* block, int32_t port, int32_t i) {
    return *block->inputPorts[port].signalPtrs[i];
}

// Reading an input frame, with the same code for both ways in: element k through its reference,
// or straight from the consecutive source.
struct ElementRefs {
    const double* const* refs;
    double operator[](int32_t k) const { return *refs[k]; }
};
struct ElementRun {
    const double* start;
    double operator[](int32_t k) const { return start[k]; }
};

// Calls body(input) with the port's source when it has one, else with its references.
template <typename Body>
inline void withInput(const InputPort& port, Body body) {
    if (port.source != nullptr) {
        body(ElementRun{port.source});
    } else {
        body(ElementRefs{port.signalPtrs});
    }
}

// Calls body(a, b) with both ports' sources when both have one, else with their references.
template <typename Body>
inline void withInputs(const InputPort& a, const InputPort& b, Body body) {
    if (a.source != nullptr && b.source != nullptr) {
        body(ElementRun{a.source}, ElementRun{b.source});
    } else {
        body(ElementRefs{a.signalPtrs}, ElementRefs{b.signalPtrs});
    }
}
