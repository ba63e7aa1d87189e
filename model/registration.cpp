// Registration and start of the kestrel9 model: the instance table, the parameter area, the
// wiring of every input element and the model start.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>

#include "blocks/clip_save.h"
#include "blocks/counter.h"
#include "blocks/deinterleave.h"
#include "blocks/delay.h"
#include "blocks/fifo.h"
#include "blocks/file_exist.h"
#include "blocks/from_wave_file.h"
#include "blocks/gated_shift_register.h"
#include "blocks/integrate.h"
#include "blocks/pulse_limited_flip_flop.h"
#include "blocks/real_fft.h"
#include "blocks/real_ifft.h"
#include "blocks/to_log_file.h"
#include "model/band_filter.h"
#include "model/kestrel9_model.h"

namespace {

// Storage of the model: records, rate cells and the signal, state and work areas.
struct ModelStorage {
    BlockRecord root;
    ModelInfo info;
    BlockRecord blocks[modelBlockCount];
    BlockRecord* children[modelBlockCount];
    double taskTimes[3];
    int32_t sampleHits[3];
    double rootSampleTimes[3];
    double rootOffsetTimes[3];
    int32_t rootTaskIds[3];
    double signalArea[signalAreaSize];
    double discStateArea[discStateAreaSize];
    double realWorkArea[realWorkAreaSize];  // block slices, then the hourly ring
    int32_t intWorkArea[intWorkAreaSize];
    void* pointerWorkArea[pointerWorkAreaSize];
    int32_t modes[modeCount];
    double blockSampleTimes[modelBlockCount];
    double blockOffsetTimes[modelBlockCount];
    int32_t blockTaskIds[modelBlockCount];
};

constexpr int32_t maxParams = 12;
constexpr int32_t maxInputs = 2;

// One parameter: a 1 x 1 number, or a text given as 1 x n character codes.
struct ParamEntry {
    bool given;
    double number;
    const char* text;
};

// A 1 x 1 number parameter.
constexpr ParamEntry num(double value) {
    return ParamEntry{true, value, nullptr};
}

// A text parameter, stored as 1 x n character codes.
constexpr ParamEntry text(const char* value) {
    return ParamEntry{true, 0.0, value};
}

// An input port: element k refers to element k of `source`; elements past its width continue
// into `continuation` (only the Real IFFT's input, which reads the two halves of a spectrum).
struct InputEntry {
    SignalId source = SignalId::none;
    SignalId continuation = SignalId::none;
};

struct InstanceEntry {
    const char* path;
    const char* typeName;
    void (*registerType)(BlockRecord* block);
    bool singleVector;  // Real FFT and Real IFFT
    ParamEntry params[maxParams];
    InputEntry inputs[maxInputs];
    SignalId output;
    int32_t numDiscStates;
    int32_t numRWork;
    int32_t numIWork;
    int32_t numPWork;
    int32_t rate;
};

#define DETECT_CLIP_SAVE "kestrel9/Detect, Clip & Save1/"

constexpr double basePeriod = 0.3715192743764172;
constexpr double existPeriod = 1.114557823129252;

// The 19 instances in registration order; instance i is root children[i].
constexpr InstanceEntry instances[modelBlockCount] = {
    {DETECT_CLIP_SAVE "Select Channel/Deinterleave/Deinterleave/S-Function", "S-Function",
     registerDeinterleave, false, {num(1), num(8192)},
     {{SignalId::waveFrame}}, SignalId::channelFrame, 0, 0, 0, 0, 0},
    {DETECT_CLIP_SAVE "Overload Check Valve/Digital Clock/Counter/S-Function", "S-Function",
     registerCounter, false,
     {num(8192), num(0), num(0), num(0), num(0), num(0), num(0), num(0), num(463050), num(1),
      num(1), num(basePeriod)},
     {}, SignalId::sampleCount, 1, 1, 0, 0, 0},
    {"kestrel9/From Wave File/S-Function", "S-Function", registerFromWaveFile, false,
     {num(22050), num(8192), num(1), num(1), text("c:\\My Recordings\\Soundfile.wav")},
     {}, SignalId::waveFrame, 0, 0, 8, 5, 0},
    {DETECT_CLIP_SAVE "Detector/FIR Filter/FIFO/S-Function", "S-Function", registerFifo, false,
     {num(8192), num(16384), num(1), num(0)},
     {{SignalId::channelFrame}}, SignalId::filterWindow, 8192, 0, 1, 0, 0},
    {DETECT_CLIP_SAVE "Detector/FIR Filter/Real FFT/FFT(u)", "FFT(u)", registerRealFft, true,
     {num(-1)},
     {{SignalId::filterWindow}}, SignalId::windowSpectrum, 0, 0, 0, 0, 0},
    {DETECT_CLIP_SAVE "Detector/FIR Filter/Real IFFT/IFFT", "IFFT", registerRealIfft, true,
     {num(-1)},
     {{SignalId::filteredRe, SignalId::filteredIm}}, SignalId::filteredWindow, 0, 0, 0, 0, 0},
    {DETECT_CLIP_SAVE "Detector/Integrate/S-Function", "S-Function", registerIntegrate, false,
     {num(8192), num(0), num(2000), num(1), num(1), num(0)},
     {{SignalId::energy}}, SignalId::envelope, 2001, 1, 1, 0, 0},
    {DETECT_CLIP_SAVE "Detector/Peak detector/Delay/S-Function", "S-Function", registerDelay,
     false, {num(8192), num(441), num(1), num(0)},
     {{SignalId::envelope}}, SignalId::envelopeDelayed, 441, 0, 1, 0, 0},
    {DETECT_CLIP_SAVE "Detector/Peak detector/Counter/S-Function", "S-Function", registerCounter,
     false,
     {num(8192), num(0), num(0), num(0), num(1), num(0), num(1), num(0), num(9830.4), num(1),
      num(1), num(-1)},
     {}, SignalId::holdOffCount, 1, 1, 0, 0, 0},
    {DETECT_CLIP_SAVE "Detector/Peak detector/Pulse Limited Flip Flop/S-Function1", "S-Function1",
     registerPulseLimitedFlipFlop, false,
     {num(8192), num(0), num(2205), num(8820), num(1), num(0)},
     {{SignalId::peakReset}, {SignalId::riseDetected}}, SignalId::peakPulse, 2, 1, 1, 0, 0},
    {DETECT_CLIP_SAVE "Pulse Extend/Counter3/S-Function", "S-Function", registerCounter, false,
     {num(8192), num(0), num(0), num(1), num(1), num(3001), num(1), num(0), num(0), num(1),
      num(0), num(-1)},
     {{SignalId::peakPulse}}, SignalId::extendedPulse, 1, 1, 0, 0, 0},
    {DETECT_CLIP_SAVE "Overload Check Valve/Edge Detect/Delay/S-Function", "S-Function",
     registerDelay, false, {num(8192), num(1), num(1), num(1)},
     {{SignalId::detection}}, SignalId::detectionDelayed, 1, 0, 1, 0, 0},
    {DETECT_CLIP_SAVE "Overload Check Valve/Gated Shift Register/S-Function", "S-Function",
     registerGatedShiftRegister, false, {num(8192), num(15), num(1), num(1)},
     {{SignalId::clockSeconds}, {SignalId::detectionEdge}}, SignalId::edgeTime, 15, 0, 1, 0, 0},
    {DETECT_CLIP_SAVE "Detector/To Log File/S-Function", "S-Function", registerToLogFile, false,
     {num(1), num(1), text("c:\\Temp\\Calls\\LogSwisk.txt")},
     {{SignalId::levelDb}}, SignalId::none, 0, 0, 0, 0, 2},
    {DETECT_CLIP_SAVE "Delay/S-Function", "S-Function", registerDelay, false,
     {num(8192), num(3000), num(1), num(0)},
     {{SignalId::waveFrame}}, SignalId::waveDelayed, 3000, 0, 1, 0, 0},
    {DETECT_CLIP_SAVE "Clip & Save/FIFO/S-Function", "S-Function", registerFifo, false,
     {num(8192), num(32768), num(1), num(0)},
     {{SignalId::waveDelayed}}, SignalId::audioWindow, 24576, 0, 1, 0, 0},
    {DETECT_CLIP_SAVE "Clip & Save/FIFO1/S-Function", "S-Function", registerFifo, false,
     {num(8192), num(32768), num(1), num(0)},
     {{SignalId::clipTrigger}}, SignalId::triggerWindow, 24576, 0, 1, 0, 0},
    {DETECT_CLIP_SAVE "Clip & Save/S-Function", "S-Function", registerClipSave, false,
     {num(8192), num(32768), num(1), num(0), text("Swisk"), text("c:\\temp\\calls"), num(1),
      num(3), num(22050)},
     {{SignalId::audioWindow}, {SignalId::triggerWindow}}, SignalId::none, 1, 0, 1, 0, 0},
    {"kestrel9/File Exist/S-Function", "S-Function", registerFileExist, false,
     {text("c:\\stop.txt"), num(existPeriod)},
     {}, SignalId::stopFileFlag, 0, 0, 0, 0, 1},
};

#undef DETECT_CLIP_SAVE

// Width of a signal (0 for none).
constexpr int32_t widthOf(SignalId id) {
    return id == SignalId::none ? 0 : signalWidths[static_cast<int32_t>(id)];
}

// Width of an input: its source and, for a split input, the continuation.
constexpr int32_t inputWidth(const InputEntry& input) {
    return widthOf(input.source) + widthOf(input.continuation);
}

// Characters of a NUL-terminated text.
constexpr int32_t textLength(const char* value) {
    int32_t n = 0;
    while (value[n] != '\0') {
        ++n;
    }
    return n;
}

// Number of parameters and of input ports of an instance entry.
constexpr int32_t paramCount(const InstanceEntry& entry) {
    int32_t n = 0;
    while (n < maxParams && entry.params[n].given) {
        ++n;
    }
    return n;
}

constexpr int32_t inputCount(const InstanceEntry& entry) {
    int32_t n = 0;
    while (n < maxInputs && entry.inputs[n].source != SignalId::none) {
        ++n;
    }
    return n;
}

// Totals over the instance table, which size the pools below.
struct Totals {
    int32_t params = 0;
    int32_t paramData = 0;
    int32_t inputPorts = 0;
    int32_t inputRefs = 0;
    int32_t outputPorts = 0;
    int32_t discStates = 0;
    int32_t rWork = 0;
    int32_t iWork = 0;
    int32_t pWork = 0;
};

// Sums the sizes of every instance entry.
constexpr Totals totals() {
    Totals t;
    for (const InstanceEntry& entry : instances) {
        const int32_t np = paramCount(entry);
        t.params += np;
        for (int32_t p = 0; p < np; ++p) {
            t.paramData += entry.params[p].text != nullptr ? textLength(entry.params[p].text) : 1;
        }
        const int32_t ni = inputCount(entry);
        t.inputPorts += entry.singleVector ? 0 : ni;
        for (int32_t i = 0; i < ni; ++i) {
            t.inputRefs += inputWidth(entry.inputs[i]);
        }
        t.outputPorts += (!entry.singleVector && entry.output != SignalId::none) ? 1 : 0;
        t.discStates += entry.numDiscStates;
        t.rWork += entry.numRWork;
        t.iWork += entry.numIWork;
        t.pWork += entry.numPWork;
    }
    return t;
}

constexpr Totals modelTotals = totals();
static_assert(modelTotals.discStates == discStateAreaSize);
static_assert(modelTotals.rWork == blockRealWorkSize);
static_assert(modelTotals.iWork == intWorkAreaSize);
static_assert(modelTotals.pWork == blockPointerWorkSize);

// The parameter area: the model's constants, then the blocks' ParamValue records and their data.
struct ParameterArea {
    ModelConstants constants;
    double data[modelTotals.paramData];
    ParamValue values[modelTotals.params];
    const ParamValue* refs[modelTotals.params];
};

// Port records and the reference arrays of every input element.
struct WiringArea {
    InputPort inputPorts[modelTotals.inputPorts];
    OutputPort outputPorts[modelTotals.outputPorts];
    const double* inputRefs[modelTotals.inputRefs];
};

ModelStorage storage;
ParameterArea parameterArea;
WiringArea wiring;
ModelSignals signalTable;

// Four distinct empty names: the model logs no signals.
const char timeVarName[] = "";
const char stateVarName[] = "";
const char outputVarNames[] = "";
const char finalStateVarName[] = "";

// First element of a signal in the signal area [493030].
double* signalPtr(SignalId id) {
    return storage.signalArea + signalOffset(id);
}

// Points every named signal at its place in the signal area.
void linkSignalTable() {
#define KESTREL9_SIGNAL_LINK(name, width) signalTable.name = signalPtr(SignalId::name);
    KESTREL9_SIGNALS(KESTREL9_SIGNAL_LINK)
#undef KESTREL9_SIGNAL_LINK
}

// Fills refs [width of the input] with the address of each element of its source signal(s).
void wireInput(const InputEntry& input, const double** refs) {
    const int32_t first = widthOf(input.source);
    const double* source = signalPtr(input.source);
    for (int32_t k = 0; k < first; ++k) {
        refs[k] = source + k;
    }
    if (input.continuation != SignalId::none) {
        const double* rest = signalPtr(input.continuation);
        for (int32_t k = first; k < first + widthOf(input.continuation); ++k) {
            refs[k] = rest + (k - first);
        }
    }
}

// Cursors into the pools while the instances are registered in order.
struct Cursors {
    int32_t params = 0;
    int32_t paramData = 0;
    int32_t inputPorts = 0;
    int32_t inputRefs = 0;
    int32_t outputPorts = 0;
    int32_t discStates = 0;
    int32_t rWork = 0;
    int32_t iWork = 0;
    int32_t pWork = 0;
};

// The ports of an instance (standard interface) or its element references and output
// vector (single-vector).
void wirePorts(BlockRecord& block, const InstanceEntry& entry, Cursors& c) {
    const int32_t ni = inputCount(entry);
    if (entry.singleVector) {
        const double** refs = wiring.inputRefs + c.inputRefs;
        wireInput(entry.inputs[0], refs);
        c.inputRefs += inputWidth(entry.inputs[0]);
        block.inputElementPtrs = refs;
        block.outputVector = signalPtr(entry.output);
        return;
    }
    block.numInputPorts = ni;
    if (ni > 0) {
        block.inputPorts = wiring.inputPorts + c.inputPorts;
        for (int32_t i = 0; i < ni; ++i) {
            InputPort& port = wiring.inputPorts[c.inputPorts++];
            const double** refs = wiring.inputRefs + c.inputRefs;
            wireInput(entry.inputs[i], refs);
            port.width = inputWidth(entry.inputs[i]);
            port.signalPtrs = refs;
            c.inputRefs += port.width;
        }
    }
    if (entry.output != SignalId::none) {
        block.numOutputPorts = 1;
        block.outputPorts = wiring.outputPorts + c.outputPorts;
        OutputPort& port = wiring.outputPorts[c.outputPorts++];
        port.width = widthOf(entry.output);
        port.signal = signalPtr(entry.output);
    } else {
        block.numOutputPorts = 0;
    }
}

// The block's non-empty slices of the state and work areas, in instance order.
void linkSlices(BlockRecord& block, const InstanceEntry& entry, Cursors& c) {
    if (entry.numDiscStates > 0) {
        block.discStates = storage.discStateArea + c.discStates;
        c.discStates += entry.numDiscStates;
    }
    if (entry.numRWork > 0) {
        block.rWork = storage.realWorkArea + c.rWork;
        c.rWork += entry.numRWork;
    }
    if (entry.numIWork > 0) {
        block.iWork = storage.intWorkArea + c.iWork;
        c.iWork += entry.numIWork;
    }
    if (entry.numPWork > 0) {
        block.pWork = storage.pointerWorkArea + c.pWork;
        c.pWork += entry.numPWork;
    }
}

// The ParamValue records of the instance, their data in the parameter area.
void linkParams(BlockRecord& block, const InstanceEntry& entry, Cursors& c) {
    const int32_t np = paramCount(entry);
    block.numParamsGiven = np;
    block.params = parameterArea.refs + c.params;
    for (int32_t p = 0; p < np; ++p) {
        const ParamEntry& param = entry.params[p];
        double* data = parameterArea.data + c.paramData;
        ParamValue& value = parameterArea.values[c.params];
        value.rows = 1.0;
        if (param.text != nullptr) {
            const int32_t n = textLength(param.text);
            for (int32_t i = 0; i < n; ++i) {
                data[i] = static_cast<double>(static_cast<unsigned char>(param.text[i]));
            }
            value.cols = static_cast<double>(n);
            c.paramData += n;
        } else {
            data[0] = param.number;
            value.cols = 1.0;
            c.paramData += 1;
        }
        value.data = data;
        parameterArea.refs[c.params] = &value;
        ++c.params;
    }
}

// Fills block record `index`: rate cells, ports, slices, names, parameters; then the type's
// registration, sizes and sample times, overwritten by the instance's resolved rate.
void registerInstance(int32_t index, BlockRecord& root, Cursors& c) {
    const InstanceEntry& entry = instances[index];
    BlockRecord& block = storage.blocks[index];
    block.sampleTimes = &storage.blockSampleTimes[index];
    block.offsetTimes = &storage.blockOffsetTimes[index];
    block.sampleTimeTaskIds = &storage.blockTaskIds[index];
    block.sampleTimes[0] = 0.0;
    block.offsetTimes[0] = 0.0;
    block.info = &storage.info;
    wirePorts(block, entry, c);
    linkSlices(block, entry, c);
    block.typeName = entry.typeName;
    block.path = entry.path;
    block.parent = &root;
    block.root = root.root;
    linkParams(block, entry, c);
    entry.registerType(&block);
    if (block.methods.initSizes != nullptr) {
        block.methods.initSizes(&block);
    }
    if (block.methods.initSampleTimes != nullptr) {
        block.methods.initSampleTimes(&block);
    }
    block.sampleTimes[0] = ratePeriods[entry.rate];
    block.offsetTimes[0] = 0.0;
    block.sampleTimeTaskIds[0] = entry.rate;
    if (entry.singleVector) {
        block.numInputPorts = inputWidth(entry.inputs[0]);
        block.numOutputPorts = widthOf(entry.output);
    }
}

// The constants of the parameter area; the spectrum is computed here, once.
void fillConstants(ModelConstants& c) {
    c.gapLimit = gapLimitValue;
    c.clockGain = clockGainValue;
    c.selectFlag = selectFlagValue;
    c.ratioThreshold = ratioThresholdValue;
    c.countThreshold = countThresholdValue;
    c.extendThreshold = extendThresholdValue;
    c.hourInitial = hourInitialValue;
    c.powerGain = powerGainValue;
    c.dbGain = dbGainValue;
    computeFilterSpectrum(c.filterSpectrum);
}

// Calls slot 3 of instance `index` in its interface.
void initConditionsOf(ModelRecord* root, int32_t index) {
    callInitConditions(root->children[index]);
}

}  // namespace

const ModelSignals& modelSignals() {
    return signalTable;
}

const ModelConstants& modelConstants() {
    return parameterArea.constants;
}

double* modelHourRing() {
    return storage.realWorkArea + blockRealWorkSize;
}

ModelRecord* registerModel() {
    BlockRecord& root = storage.root;
    ModelInfo& info = storage.info;
    root = BlockRecord{};
    info = ModelInfo{};
    root.info = &info;

    std::fill(std::begin(storage.taskTimes), std::end(storage.taskTimes), 0.0);
    std::fill(std::begin(storage.sampleHits), std::end(storage.sampleHits), 0);
    std::fill(std::begin(storage.rootSampleTimes), std::end(storage.rootSampleTimes), 0.0);
    std::fill(std::begin(storage.rootOffsetTimes), std::end(storage.rootOffsetTimes), 0.0);
    std::fill(std::begin(storage.rootTaskIds), std::end(storage.rootTaskIds), 0);
    root.sampleTimes = storage.rootSampleTimes;
    root.offsetTimes = storage.rootOffsetTimes;
    root.sampleTimeTaskIds = storage.rootTaskIds;
    info.taskTimes = storage.taskTimes;
    info.sampleHits = storage.sampleHits;

    info.signals = storage.signalArea;
    std::fill(std::begin(storage.signalArea), std::end(storage.signalArea), 0.0);
    root.stateVector = storage.discStateArea;
    root.discStates = storage.discStateArea;
    std::fill(std::begin(storage.discStateArea), std::end(storage.discStateArea), 0.0);
    root.rWork = storage.realWorkArea;
    root.iWork = storage.intWorkArea;
    root.pWork = storage.pointerWorkArea;
    root.modes = storage.modes;
    std::fill(std::begin(storage.realWorkArea), std::end(storage.realWorkArea), 0.0);
    std::fill(std::begin(storage.intWorkArea), std::end(storage.intWorkArea), 0);
    std::fill(std::begin(storage.pointerWorkArea), std::end(storage.pointerWorkArea), nullptr);
    std::fill(std::begin(storage.modes), std::end(storage.modes), 0);
    linkSignalTable();
    fillConstants(parameterArea.constants);

    root.root = &root;
    root.typeName = "kestrel9";
    root.path = "kestrel9";

    info.startTime = 0.0;
    info.finalTime = 0.0;
    info.fixedStepSize = ratePeriods[0];
    info.timeVarName = timeVarName;
    info.stateVarName = stateVarName;
    info.outputVarNames = outputVarNames;
    info.finalStateVarName = finalStateVarName;
    info.logMaxRows = 0;
    info.logDecimation = 1;
    info.paramArea = &parameterArea.constants.gapLimit;

    for (int32_t i = 0; i < modelBlockCount; ++i) {
        storage.blocks[i] = BlockRecord{};
        storage.children[i] = &storage.blocks[i];
    }
    root.children = storage.children;
    root.numChildren = modelBlockCount;

    Cursors cursors;
    for (int32_t i = 0; i < modelBlockCount; ++i) {
        registerInstance(i, root, cursors);
    }
    // With every reference wired, the inputs that are consecutive runs are read straight.
    for (int32_t i = 0; i < modelBlockCount; ++i) {
        resolveInputSources(&storage.blocks[i]);
    }
    return &root;
}

void setRootSizes(ModelRecord* root) {
    root->numContStates = 0;
    root->numDiscStates = discStateAreaSize;
    root->numOutputPorts = 0;
    root->numInputPorts = 0;
    root->numSampleTimes = 3;
    root->numModes = modeCount;
    root->numRWork = realWorkAreaSize;
    root->numPWork = pointerWorkAreaSize;
}

void setRootSampleTimes(ModelRecord* root) {
    for (int32_t r = 0; r < 3; ++r) {
        root->sampleTimes[r] = ratePeriods[r];
        root->offsetTimes[r] = 0.0;
    }
}

void startModel(ModelRecord* root) {
    for (int32_t index : {1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}) {
        initConditionsOf(root, index);
    }
    double* ring = root->rWork + blockRealWorkSize;
    const ModelConstants& k = parameterArea.constants;
    std::fill(ring + hourFrameLength, ring + hourRingSize, k.hourInitial);
    root->pWork[hourReadSlot] = ring + hourFrameLength;
    root->pWork[hourWriteSlot] = ring;
    for (int32_t index : {13, 14, 15, 16, 17}) {
        initConditionsOf(root, index);
    }
    const ModelSignals& s = signalTable;
    s.gapLimitSig[0] = k.gapLimit;
    BlockRecord* wave = root->children[2];
    if (wave->methods.start != nullptr) {
        wave->methods.start(wave);
    }
    root->modes[0] = 0;
    root->modes[1] = 0;
    s.selectFlagSig[0] = k.selectFlag;
    std::memcpy(s.filterSpectrumSig, k.filterSpectrum, sizeof(double) * filterSpectrumLength);
    s.ratioThresholdSig[0] = k.ratioThreshold;
    s.countThresholdSig[0] = k.countThreshold;
    s.extendThresholdSig[0] = k.extendThreshold;
}

namespace {
const int32_t executionOrder[modelBlockCount] = {1, 2, 0, 3, 4, 5, 6, 7, 8, 9,
                                                 10, 11, 12, 13, 14, 15, 16, 17, 18};
}  // namespace

const ModelEntry kestrel9Model = {
    "kestrel9",   registerModel, setRootSizes, setRootSampleTimes, startModel,
    modelOutputs, modelUpdate,   executionOrder, modelBlockCount,
};
