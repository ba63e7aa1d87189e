#include "model/kestrel9_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "model/band_filter.h"
#include "shell/nonfinite.h"
#include "shell/step_loop.h"
#include "shell/timing.h"
#include "support/e2e_run.h"
#include "support/synth_recording.h"

using namespace k9e2e;

namespace {

constexpr int32_t frame = 8192;

uint64_t bitsOf(double x) {
    uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

ModelRecord* registered() {
    ModelRecord* root = registerModel();
    setRootSizes(root);
    setRootSampleTimes(root);
    return root;
}

// The model registered, started over a recording in a temporary drive root and stepped by the
// shell's engine, as the program does.
class RunningModel {
public:
    explicit RunningModel(const std::vector<int16_t>& recording) {
        EXPECT_TRUE(writeWave16(drive.recordingPath(), recording));
        setenv("KESTREL9_ROOT", drive.path().c_str(), 1);
        EXPECT_TRUE(initNonFinite(8));
        resetShellState();
        root = registered();
        EXPECT_EQ(initTimingEngine(root), nullptr);
        startModel(root);
        EXPECT_EQ(root->errorStatus, nullptr);
    }
    ~RunningModel() {
        terminateModel(kestrel9Model, root);
        unsetenv("KESTREL9_ROOT");
    }
    RunningModel(const RunningModel&) = delete;
    RunningModel& operator=(const RunningModel&) = delete;

    void step() { oneStep(kestrel9Model, root); }

    TempDriveRoot drive;
    ModelRecord* root = nullptr;
};

struct InstanceCase {
    int32_t index;
    const char* path;
    const char* typeName;
    int32_t rate;
    int32_t numParams;
};

const InstanceCase instanceCases[] = {
    {0, "kestrel9/Detect, Clip & Save1/Select Channel/Deinterleave/Deinterleave/S-Function",
     "S-Function", 0, 2},
    {1, "kestrel9/Detect, Clip & Save1/Overload Check Valve/Digital Clock/Counter/S-Function",
     "S-Function", 0, 12},
    {2, "kestrel9/From Wave File/S-Function", "S-Function", 0, 5},
    {3, "kestrel9/Detect, Clip & Save1/Detector/FIR Filter/FIFO/S-Function", "S-Function", 0, 4},
    {4, "kestrel9/Detect, Clip & Save1/Detector/FIR Filter/Real FFT/FFT(u)", "FFT(u)", 0, 1},
    {5, "kestrel9/Detect, Clip & Save1/Detector/FIR Filter/Real IFFT/IFFT", "IFFT", 0, 1},
    {6, "kestrel9/Detect, Clip & Save1/Detector/Integrate/S-Function", "S-Function", 0, 6},
    {7, "kestrel9/Detect, Clip & Save1/Detector/Peak detector/Delay/S-Function", "S-Function", 0,
     4},
    {8, "kestrel9/Detect, Clip & Save1/Detector/Peak detector/Counter/S-Function", "S-Function",
     0, 12},
    {9,
     "kestrel9/Detect, Clip & Save1/Detector/Peak detector/Pulse Limited Flip Flop/S-Function1",
     "S-Function1", 0, 6},
    {10, "kestrel9/Detect, Clip & Save1/Pulse Extend/Counter3/S-Function", "S-Function", 0, 12},
    {11, "kestrel9/Detect, Clip & Save1/Overload Check Valve/Edge Detect/Delay/S-Function",
     "S-Function", 0, 4},
    {12, "kestrel9/Detect, Clip & Save1/Overload Check Valve/Gated Shift Register/S-Function",
     "S-Function", 0, 4},
    {13, "kestrel9/Detect, Clip & Save1/Detector/To Log File/S-Function", "S-Function", 2, 3},
    {14, "kestrel9/Detect, Clip & Save1/Delay/S-Function", "S-Function", 0, 4},
    {15, "kestrel9/Detect, Clip & Save1/Clip & Save/FIFO/S-Function", "S-Function", 0, 4},
    {16, "kestrel9/Detect, Clip & Save1/Clip & Save/FIFO1/S-Function", "S-Function", 0, 4},
    {17, "kestrel9/Detect, Clip & Save1/Clip & Save/S-Function", "S-Function", 0, 9},
    {18, "kestrel9/File Exist/S-Function", "S-Function", 1, 2},
};

TEST(ModelRegistration, EveryInstanceHasItsPathTypeRateAndParameters) {
    ModelRecord* root = registered();
    ASSERT_EQ(root->numChildren, modelBlockCount);
    for (const InstanceCase& c : instanceCases) {
        const BlockRecord* b = root->children[c.index];
        SCOPED_TRACE(c.index);
        EXPECT_STREQ(b->path, c.path);
        EXPECT_STREQ(b->typeName, c.typeName);
        EXPECT_EQ(b->parent, root);
        EXPECT_EQ(b->root, root);
        EXPECT_EQ(b->info, root->info);
        EXPECT_EQ(b->sampleTimes[0], ratePeriods[c.rate]);
        EXPECT_EQ(b->offsetTimes[0], 0.0);
        EXPECT_EQ(b->sampleTimeTaskIds[0], c.rate);
        EXPECT_EQ(b->numParamsGiven, c.numParams);
        EXPECT_EQ(b->numParams, c.numParams);
        EXPECT_EQ(b->numSampleTimes, 1);
    }
}

// One parameter as the model supplies it: a 1 x 1 number, or a text as 1 x n character codes.
struct ParamCase {
    double number;
    const char* text = nullptr;
};

ParamCase textParam(const char* text) {
    return ParamCase{0.0, text};
}

TEST(ModelRegistration, ParametersCarryTheModelValuesInOrder) {
    ModelRecord* root = registered();
    const std::vector<ParamCase> params[modelBlockCount] = {
        {{1}, {8192}},
        {{8192}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {463050}, {1}, {1}, {0.3715192743764172}},
        {{22050}, {8192}, {1}, {1}, textParam("c:\\My Recordings\\Soundfile.wav")},
        {{8192}, {16384}, {1}, {0}},
        {{-1}},
        {{-1}},
        {{8192}, {0}, {2000}, {1}, {1}, {0}},
        {{8192}, {441}, {1}, {0}},
        {{8192}, {0}, {0}, {0}, {1}, {0}, {1}, {0}, {9830.4}, {1}, {1}, {-1}},
        {{8192}, {0}, {2205}, {8820}, {1}, {0}},
        {{8192}, {0}, {0}, {1}, {1}, {3001}, {1}, {0}, {0}, {1}, {0}, {-1}},
        {{8192}, {1}, {1}, {1}},
        {{8192}, {15}, {1}, {1}},
        {{1}, {1}, textParam("c:\\Temp\\Calls\\LogSwisk.txt")},
        {{8192}, {3000}, {1}, {0}},
        {{8192}, {32768}, {1}, {0}},
        {{8192}, {32768}, {1}, {0}},
        {{8192}, {32768}, {1}, {0}, textParam("Swisk"), textParam("c:\\temp\\calls"), {1}, {3},
         {22050}},
        {textParam("c:\\stop.txt"), {1.114557823129252}},
    };
    for (int32_t i = 0; i < modelBlockCount; ++i) {
        const BlockRecord* b = root->children[i];
        ASSERT_EQ(b->numParamsGiven, static_cast<int32_t>(params[i].size())) << "instance " << i;
        for (int32_t p = 0; p < b->numParamsGiven; ++p) {
            SCOPED_TRACE(testing::Message() << "instance " << i << " parameter " << p + 1);
            const ParamCase& expected = params[i][static_cast<size_t>(p)];
            const ParamValue* value = paramValue(b, p + 1);
            EXPECT_EQ(value->rows, 1.0);
            if (expected.text == nullptr) {
                EXPECT_EQ(value->cols, 1.0);
                EXPECT_EQ(bitsOf(value->data[0]), bitsOf(expected.number));
                continue;
            }
            const size_t n = std::strlen(expected.text);
            ASSERT_EQ(value->cols, static_cast<double>(n));
            for (size_t k = 0; k < n; ++k) {
                EXPECT_EQ(value->data[k], static_cast<double>(expected.text[k])) << k;
            }
            char buffer[64];
            EXPECT_EQ(textParamToString(value, buffer, sizeof buffer), 0);
            EXPECT_STREQ(buffer, expected.text);
        }
    }
}

TEST(ModelRegistration, MethodSlotsFollowEachBlockType) {
    ModelRecord* root = registered();
    // initSizes, initSampleTimes, initConditions, start, outputs, update, derivatives, terminate
    struct SlotCase {
        int32_t index;
        bool slots[8];
    };
    const bool deinterleave[8] = {true, true, false, false, true, false, false, true};
    const bool counter[8] = {true, true, true, false, true, true, false, true};
    const bool wave[8] = {true, true, false, true, true, false, false, true};
    const bool history[8] = {true, true, true, false, true, true, false, true};
    const bool transform[8] = {true, true, true, false, true, true, true, true};
    const bool shiftRegister[8] = {true, true, true, false, true, false, false, true};
    const bool logFile[8] = {true, true, true, false, true, true, false, true};
    const bool fileExist[8] = {true, true, false, false, true, false, false, true};
    const bool* expected[modelBlockCount] = {
        deinterleave, counter, wave,    history, transform, transform, history,
        history,      counter, history, counter, history,   shiftRegister, logFile,
        history,      history, history, history, fileExist};
    for (int32_t i = 0; i < modelBlockCount; ++i) {
        const BlockMethods& m = root->children[i]->methods;
        const bool vector = i == 4 || i == 5;
        const bool present[8] = {
            m.initSizes != nullptr,
            m.initSampleTimes != nullptr,
            vector ? m.vectorInitConditions != nullptr : m.initConditions != nullptr,
            m.start != nullptr,
            vector ? m.vectorOutputs != nullptr : m.outputs != nullptr,
            m.update != nullptr,
            m.derivatives != nullptr,
            m.terminate != nullptr,
        };
        for (int32_t slot = 0; slot < 8; ++slot) {
            EXPECT_EQ(present[slot], expected[i][slot]) << "instance " << i << " slot " << slot + 1;
        }
    }
}

// The signal an input or output refers to, by name, for the wiring table.
struct WireCase {
    int32_t index;
    std::vector<double*> inputs;  // one source signal per input port
    double* output;
    int32_t outputWidth;
};

TEST(ModelRegistration, EveryPortElementRefersToItsSignal) {
    ModelRecord* root = registered();
    const ModelSignals& s = modelSignals();
    const WireCase cases[] = {
        {0, {s.waveFrame}, s.channelFrame, 8192},
        {1, {}, s.sampleCount, 8192},
        {2, {}, s.waveFrame, 8192},
        {3, {s.channelFrame}, s.filterWindow, 16384},
        {6, {s.energy}, s.envelope, 8192},
        {7, {s.envelope}, s.envelopeDelayed, 8192},
        {8, {}, s.holdOffCount, 8192},
        {9, {s.peakReset, s.riseDetected}, s.peakPulse, 8192},
        {10, {s.peakPulse}, s.extendedPulse, 8192},
        {11, {s.detection}, s.detectionDelayed, 8192},
        {12, {s.clockSeconds, s.detectionEdge}, s.edgeTime, 8192},
        {13, {s.levelDb}, nullptr, 0},
        {14, {s.waveFrame}, s.waveDelayed, 8192},
        {15, {s.waveDelayed}, s.audioWindow, 32768},
        {16, {s.clipTrigger}, s.triggerWindow, 32768},
        {17, {s.audioWindow, s.triggerWindow}, nullptr, 0},
        {18, {}, s.stopFileFlag, 1},
    };
    for (const WireCase& c : cases) {
        const BlockRecord* b = root->children[c.index];
        SCOPED_TRACE(c.index);
        ASSERT_EQ(b->numInputPorts, static_cast<int32_t>(c.inputs.size()));
        if (c.inputs.empty()) {
            EXPECT_EQ(b->inputPorts, nullptr);
        }
        for (size_t p = 0; p < c.inputs.size(); ++p) {
            const InputPort& port = b->inputPorts[p];
            ASSERT_EQ(port.width, c.index == 13 ? 1 : (c.index == 17 ? 32768 : 8192));
            for (int32_t k = 0; k < port.width; ++k) {
                ASSERT_EQ(port.signalPtrs[k], c.inputs[p] + k) << "port " << p << " element " << k;
            }
            // Every input is a whole signal, so the block reads it straight.
            EXPECT_EQ(port.source, c.inputs[p]) << "port " << p;
        }
        ASSERT_EQ(b->numOutputPorts, c.output != nullptr ? 1 : 0);
        if (c.output != nullptr) {
            EXPECT_EQ(b->outputPorts[0].width, c.outputWidth);
            EXPECT_EQ(b->outputPorts[0].signal, c.output);
        }
    }
}

TEST(ModelRegistration, TransformBlocksGetTheirWidthsAndSplitInput) {
    ModelRecord* root = registered();
    const ModelSignals& s = modelSignals();
    const BlockRecord* fft = root->children[4];
    const BlockRecord* ifft = root->children[5];
    EXPECT_EQ(fft->numInputPorts, 16384);
    EXPECT_EQ(fft->numOutputPorts, 32768);
    EXPECT_EQ(ifft->numInputPorts, 32768);
    EXPECT_EQ(ifft->numOutputPorts, 32768);
    EXPECT_EQ(fft->outputVector, s.windowSpectrum);
    EXPECT_EQ(ifft->outputVector, s.filteredWindow);
    EXPECT_EQ(fft->stateVector, nullptr);
    for (int32_t k = 0; k < 16384; ++k) {
        ASSERT_EQ(fft->inputElementPtrs[k], s.filterWindow + k) << k;
        ASSERT_EQ(ifft->inputElementPtrs[k], s.filteredRe + k) << k;
        ASSERT_EQ(ifft->inputElementPtrs[16384 + k], s.filteredIm + k) << k;
    }
    EXPECT_EQ(ifft->inputElementPtrs[16384], &s.filteredIm[0]);
    EXPECT_EQ(fft->inputHalves[0], s.filterWindow);
    EXPECT_EQ(fft->inputHalves[1], s.filterWindow + 8192);
    EXPECT_EQ(ifft->inputHalves[0], s.filteredRe);
    EXPECT_EQ(ifft->inputHalves[1], s.filteredIm);
}

TEST(ModelRegistration, SlicesTileTheStateAndWorkAreasInInstanceOrder) {
    ModelRecord* root = registered();
    int32_t states = 0;
    int32_t rWork = 0;
    int32_t iWork = 0;
    int32_t pWork = 0;
    for (int32_t i = 0; i < modelBlockCount; ++i) {
        const BlockRecord* b = root->children[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(b->discStates, b->numDiscStates > 0 ? root->discStates + states : nullptr);
        EXPECT_EQ(b->rWork, b->numRWork > 0 ? root->rWork + rWork : nullptr);
        EXPECT_EQ(b->iWork, b->numIWork > 0 ? root->iWork + iWork : nullptr);
        EXPECT_EQ(b->pWork, b->numPWork > 0 ? root->pWork + pWork : nullptr);
        states += b->numDiscStates;
        rWork += b->numRWork;
        iWork += b->numIWork;
        pWork += b->numPWork;
    }
    EXPECT_EQ(states, 62808);
    EXPECT_EQ(rWork, 5);
    EXPECT_EQ(iWork, 18);
    EXPECT_EQ(pWork, 5);
    EXPECT_EQ(root->numDiscStates, 62808);
    EXPECT_EQ(root->numRWork, 19385);
    EXPECT_EQ(root->numPWork, 7);
    EXPECT_EQ(root->numModes, 2);
    EXPECT_EQ(root->numSampleTimes, 3);
    EXPECT_EQ(root->stateVector, root->discStates);
}

TEST(ModelRegistration, SignalsLieInOrderInOneArea) {
    ModelRecord* root = registered();
    const ModelSignals& s = modelSignals();
    double* const ordered[] = {
#define KESTREL9_TEST_SIGNAL(name, width) s.name,
        KESTREL9_SIGNALS(KESTREL9_TEST_SIGNAL)
#undef KESTREL9_TEST_SIGNAL
    };
    EXPECT_EQ(root->info->signals, s.gapLimitSig);
    for (int32_t i = 1; i < signalCount; ++i) {
        EXPECT_EQ(ordered[i] - ordered[i - 1], signalWidths[i - 1]) << i;
    }
    EXPECT_EQ(s.stopFileFlag + 1 - s.gapLimitSig, 493030);
    EXPECT_EQ(signalWidths[static_cast<int32_t>(SignalId::hourFrame)], 9690);
}

TEST(ModelRegistration, RootAndModelInfoStartAsTheShellExpects) {
    ModelRecord* root = registered();
    const ModelInfo* info = root->info;
    EXPECT_STREQ(root->typeName, "kestrel9");
    EXPECT_STREQ(root->path, "kestrel9");
    EXPECT_EQ(root->root, root);
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(root->errorStatus, nullptr);
    EXPECT_EQ(info->finalTime, 0.0);
    EXPECT_EQ(info->startTime, 0.0);
    EXPECT_EQ(bitsOf(info->fixedStepSize), 0x3FD7C6F8C751F176u);
    EXPECT_EQ(info->logMaxRows, 0);
    EXPECT_EQ(info->logDecimation, 1);
    EXPECT_EQ(info->outputVarWidths, nullptr);
    const char* names[] = {info->timeVarName, info->stateVarName, info->outputVarNames,
                           info->finalStateVarName};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(names[i], "");
        for (int j = 0; j < i; ++j) {
            EXPECT_NE(names[i], names[j]);
        }
    }
    EXPECT_EQ(info->paramArea, &modelConstants().gapLimit);
    for (int32_t r = 0; r < 3; ++r) {
        EXPECT_EQ(root->sampleTimes[r], ratePeriods[r]);
        EXPECT_EQ(root->offsetTimes[r], 0.0);
    }
    EXPECT_EQ(info->taskTimes[0], 0.0);
    EXPECT_EQ(kestrel9Model.numBlocks, 19);
    const int32_t order[19] = {1, 2, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    for (int32_t i = 0; i < 19; ++i) {
        EXPECT_EQ(kestrel9Model.executionOrder[i], order[i]) << i;
    }
    EXPECT_STREQ(kestrel9Model.name, "kestrel9");
}

TEST(ModelConstants, HaveTheirExactBitPatterns) {
    registered();
    const ModelConstants& c = modelConstants();
    struct Case {
        const char* name;
        double value;
        uint64_t bits;
    };
    const Case cases[] = {
        {"clockGain", c.clockGain, 0x3F07C6F8C751F178u},
        {"powerGain", c.powerGain, 0x3E4B0D9450F2A1C8u},
        {"rate 0", ratePeriods[0], 0x3FD7C6F8C751F176u},
        {"rate 1", ratePeriods[1], 0x3FF1D53A957D751Au},
        {"rate 2", ratePeriods[2], 0x40AC200B25449D6Eu},
        {"gapLimit", c.gapLimit, bitsOf(20.0)},
        {"ratioThreshold", c.ratioThreshold, bitsOf(2.0)},
        {"dbGain", c.dbGain, bitsOf(10.0)},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(bitsOf(k.value), k.bits) << k.name;
    }
    EXPECT_EQ(c.selectFlag, 0.0);
    EXPECT_EQ(c.countThreshold, 0.0);
    EXPECT_EQ(c.extendThreshold, 0.0);
    EXPECT_EQ(c.hourInitial, 0.0);
    // The stored spectrum is the filter's.
    std::vector<double> expected(filterSpectrumLength);
    computeFilterSpectrum(expected.data());
    EXPECT_EQ(std::memcmp(expected.data(), c.filterSpectrum, sizeof(double) * expected.size()), 0);
}

TEST(ModelStart, FillsTheHourlyRingAndTheConstantSignals) {
    RunningModel run(std::vector<int16_t>(100, 0));
    ModelRecord* root = run.root;
    const ModelSignals& s = modelSignals();
    double* ring = modelHourRing();
    EXPECT_EQ(ring, root->rWork + 5);
    EXPECT_EQ(root->pWork[5], ring + 9690);
    EXPECT_EQ(root->pWork[6], ring);
    EXPECT_NE(root->pWork[1], nullptr);  // From Wave File has opened its file
    EXPECT_EQ(s.gapLimitSig[0], 20.0);
    EXPECT_EQ(s.ratioThresholdSig[0], 2.0);
    EXPECT_EQ(root->modes[0], 0);
    EXPECT_EQ(root->modes[1], 0);
    EXPECT_EQ(std::memcmp(s.filterSpectrumSig, modelConstants().filterSpectrum,
                          sizeof(double) * filterSpectrumLength),
              0);
    // Counter initial counts.
    EXPECT_EQ(root->children[1]->discStates[0], 463050.0);
    EXPECT_EQ(root->children[8]->discStates[0], 9830.4);
}

TEST(ModelStep, AUnitImpulseComesOutAsTheSquaredTaps) {
    // An impulse of 0.5 just before a frame boundary: its 100 filter outputs straddle two frames.
    const int64_t j = 2 * frame - 40;
    std::vector<int16_t> recording(4 * frame, 0);
    recording[static_cast<size_t>(j)] = 16384;
    RunningModel run(recording);
    const ModelSignals& s = modelSignals();
    double worstTap = 0.0;
    double worstElsewhere = 0.0;
    for (int32_t step = 0; step < 4; ++step) {
        run.step();
        ASSERT_EQ(run.root->errorStatus, nullptr);
        for (int32_t k = 0; k < frame; ++k) {
            const int64_t n = static_cast<int64_t>(step) * frame + k - j;
            if (n >= 0 && n < filterTapCount) {
                const double expected = (0.5 * filterTaps[n]) * (0.5 * filterTaps[n]);
                worstTap = std::fmax(worstTap, std::fabs(s.energy[k] - expected) / expected);
            } else {
                worstElsewhere = std::fmax(worstElsewhere, std::fabs(s.energy[k]));
            }
        }
    }
    EXPECT_LT(worstTap, 1e-8);
    EXPECT_LT(worstElsewhere, 1e-28);
}

TEST(ModelStep, SilenceGivesNoPulseAndAMinusInfiniteFirstLevel) {
    RunningModel run(std::vector<int16_t>(frame, 0));
    const ModelSignals& s = modelSignals();
    run.step();
    EXPECT_TRUE(std::isinf(s.levelDb[0]) && s.levelDb[0] < 0.0);
    EXPECT_EQ(s.meanPower[0], 0.0);
    for (int32_t step = 0; step < 6; ++step) {
        if (step > 0) {
            run.step();
        }
        for (int32_t k = 0; k < frame; ++k) {
            ASSERT_TRUE(std::isnan(s.riseRatio[k])) << step << " " << k;
            ASSERT_EQ(s.riseDetected[k], 0.0);
            ASSERT_EQ(s.fallDetected[k], 0.0);
            ASSERT_EQ(s.peakPulse[k], 0.0);
            ASSERT_EQ(s.clipTrigger[k], 0.0);
        }
    }
    const std::vector<std::string> lines = run.drive.logLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(24), " -1.#INF00000000000e+000 ");
    EXPECT_TRUE(run.drive.clipNames().empty());
}

TEST(ModelStep, ACallPulsesOnceTheHoldOffHasEnded) {
    // Two loud in-band calls: one inside the first 9830 samples (held off), one at 2.0 s.
    std::vector<double> audio = noiseRecording(4.0, 0.004);
    addSound(audio, SynthSound{2000, 3000, 8500.0, 7000.0, 0.2});
    addSound(audio, SynthSound{44100, 3000, 8500.0, 7000.0, 0.2});
    RunningModel run(toPcm16(audio));
    const ModelSignals& s = modelSignals();
    std::vector<double> pulse;
    std::vector<double> detection;
    std::vector<double> trigger;
    for (int32_t step = 0; step < 11; ++step) {
        run.step();
        pulse.insert(pulse.end(), s.peakPulse, s.peakPulse + frame);
        detection.insert(detection.end(), s.detection, s.detection + frame);
        trigger.insert(trigger.end(), s.clipTrigger, s.clipTrigger + frame);
    }
    // Runs of ones in a 0/1 sequence, as [start, end).
    auto runsOf = [](const std::vector<double>& v) {
        std::vector<std::pair<size_t, size_t>> runs;
        for (size_t i = 0; i < v.size(); ++i) {
            if (v[i] != 0.0 && (i == 0 || v[i - 1] == 0.0)) {
                runs.emplace_back(i, i);
            }
            if (v[i] != 0.0) {
                runs.back().second = i + 1;
            }
        }
        return runs;
    };
    const auto pulses = runsOf(pulse);
    ASSERT_EQ(pulses.size(), 1u);
    const size_t start = pulses[0].first;
    const size_t length = pulses[0].second - start;
    EXPECT_GE(start, 44100u);
    EXPECT_LT(start, 44100u + 200u);
    EXPECT_GE(length, 2205u);
    EXPECT_LE(length, 8820u);
    // The extender holds detection 3000 samples past the pulse, and the open guard passes it.
    const auto detections = runsOf(detection);
    ASSERT_EQ(detections.size(), 1u);
    EXPECT_EQ(detections[0].first, start);
    EXPECT_EQ(detections[0].second, pulses[0].second + 3000);
    EXPECT_EQ(trigger, detection);
}

// True when doubles a [n] and b [n] have the same bits.
bool sameBits(const double* a, const double* b, int32_t n) {
    return std::memcmp(a, b, sizeof(double) * static_cast<size_t>(n)) == 0;
}

TEST(ModelStep, TheInlineArithmeticEqualsItsLiteralFormBitForBit) {
    // Silence (0 / 0 ratios), then noise with calls (rises, falls, pulses), then silence again
    // (falls to a zero envelope). Each derived signal is recomputed from its inputs, one rounded
    // operation at a time in the stated order, after every step.
    std::vector<double> audio = noiseRecording(4.5, 0.004);
    std::fill(audio.begin(), audio.begin() + 2 * frame, 0.0);
    std::fill(audio.begin() + 9 * frame, audio.end(), 0.0);
    addSound(audio, SynthSound{20000, 3000, 8500.0, 7000.0, 0.2});
    addSound(audio, SynthSound{40000, 2500, 7000.0, 9000.0, 0.1});
    RunningModel run(toPcm16(audio));
    const ModelSignals& s = modelSignals();
    const int32_t bins = filterSpectrumBins;
    std::vector<double> want(2 * bins);
    double pulses = 0.0;
    for (int32_t step = 0; step < 12; ++step) {
        run.step();
        SCOPED_TRACE(step);
        for (int32_t k = 0; k < frame; ++k) {
            want[k] = modelConstants().clockGain * s.sampleCount[k];
        }
        EXPECT_TRUE(sameBits(want.data(), s.clockSeconds, frame)) << "clockSeconds";
        std::vector<double> reRe(bins), imIm(bins), re(bins), imRe(bins), reIm(bins), im(bins);
        const double* x = s.windowSpectrum;
        const double* f = s.filterSpectrumSig;
        for (int32_t k = 0; k < bins; ++k) {
            reRe[k] = f[k] * x[k];
            imIm[k] = f[bins + k] * x[bins + k];
            re[k] = reRe[k] - imIm[k];
            imRe[k] = f[bins + k] * x[k];
            reIm[k] = x[bins + k] * f[k];
            im[k] = reIm[k] + imRe[k];
        }
        EXPECT_TRUE(sameBits(re.data(), s.filteredRe, bins)) << "filteredRe";
        EXPECT_TRUE(sameBits(im.data(), s.filteredIm, bins)) << "filteredIm";
        EXPECT_TRUE(sameBits(reRe.data(), s.prodReRe, bins)) << "prodReRe";
        EXPECT_TRUE(sameBits(imIm.data(), s.prodImIm, bins)) << "prodImIm";
        EXPECT_TRUE(sameBits(imRe.data(), s.prodImRe, bins)) << "prodImRe";
        EXPECT_TRUE(sameBits(reIm.data(), s.prodReIm, bins)) << "prodReIm";
        struct Derived {
            const char* name;
            const double* actual;
            double (*literal)(const ModelSignals& s, int32_t k);
        };
        const Derived derived[] = {
            {"energy", s.energy,
             [](const ModelSignals& s, int32_t k) {
                 return s.filteredWindow[frame + k] * s.filteredWindow[frame + k];
             }},
            {"fallRatio", s.fallRatio,
             [](const ModelSignals& s, int32_t k) {
                 const double reciprocal = 1.0 / s.envelope[k];
                 return reciprocal * s.envelopeDelayed[k];
             }},
            {"fallDetected", s.fallDetected,
             [](const ModelSignals& s, int32_t k) { return s.fallRatio[k] > 2.0 ? 1.0 : 0.0; }},
            {"holdOffActive", s.holdOffActive,
             [](const ModelSignals& s, int32_t k) { return s.holdOffCount[k] > 0.0 ? 1.0 : 0.0; }},
            {"peakReset", s.peakReset,
             [](const ModelSignals& s, int32_t k) {
                 return (s.fallDetected[k] != 0.0 || s.holdOffActive[k] != 0.0) ? 1.0 : 0.0;
             }},
            {"riseRatio", s.riseRatio,
             [](const ModelSignals& s, int32_t k) { return s.envelope[k] / s.envelopeDelayed[k]; }},
            {"riseDetected", s.riseDetected,
             [](const ModelSignals& s, int32_t k) { return s.riseRatio[k] > 2.0 ? 1.0 : 0.0; }},
            {"detection", s.detection,
             [](const ModelSignals& s, int32_t k) { return s.extendedPulse[k] > 0.0 ? 1.0 : 0.0; }},
            {"notDelayed", s.notDelayed,
             [](const ModelSignals& s, int32_t k) {
                 return (s.detectionDelayed[k] == 0.0 || std::isnan(s.detectionDelayed[k])) ? 1.0
                                                                                            : 0.0;
             }},
            {"detectionEdge", s.detectionEdge,
             [](const ModelSignals& s, int32_t k) {
                 return (s.detection[k] != 0.0 && s.notDelayed[k] != 0.0) ? 1.0 : 0.0;
             }},
            {"sinceEdge", s.sinceEdge,
             [](const ModelSignals& s, int32_t k) { return s.clockSeconds[k] - s.edgeTime[k]; }},
            {"gapElapsed", s.gapElapsed,
             [](const ModelSignals& s, int32_t k) { return s.sinceEdge[k] > 20.0 ? 1.0 : 0.0; }},
            {"clipTrigger", s.clipTrigger,
             [](const ModelSignals& s, int32_t k) {
                 return (s.detection[k] != 0.0 && s.gapElapsed[k] != 0.0) ? 1.0 : 0.0;
             }},
        };
        for (const Derived& d : derived) {
            for (int32_t k = 0; k < frame; ++k) {
                want[k] = d.literal(s, k);
            }
            EXPECT_TRUE(sameBits(want.data(), d.actual, frame)) << d.name;
        }
        double sum = s.envelope[0];
        for (int32_t k = 1; k < frame; ++k) {
            sum = sum + s.envelope[k];
        }
        EXPECT_EQ(bitsOf(s.envelopeSum[0]), bitsOf(sum)) << "envelopeSum";
        for (int32_t k = 0; k < frame; ++k) {
            pulses += s.peakPulse[k];
        }
    }
    // The recording did drive the chain through pulses.
    EXPECT_GT(pulses, 0.0);
}

TEST(ModelStep, TheHourlyFrameIsReadBeforeTheNewSumIsWritten) {
    // Rate 2 is made to hit in step 4 (the engine would not before step 9690): its frame holds
    // the sums of steps 0 to 3 only, and the level follows them one rounded operation at a time.
    RunningModel run(toPcm16(noiseRecording(3.0, 0.01)));
    const ModelSignals& s = modelSignals();
    double sums = 0.0;
    for (int32_t step = 0; step < 4; ++step) {
        run.step();
        sums = step == 0 ? s.envelopeSum[0] : sums + s.envelopeSum[0];
    }
    ASSERT_EQ(run.root->info->sampleHits[2], 0);
    run.root->info->sampleHits[2] = 1;
    run.step();
    ASSERT_GT(s.envelopeSum[0], 0.0);
    EXPECT_EQ(bitsOf(s.hourSum[0]), bitsOf(sums));
    const double meanPower = modelConstants().powerGain * sums;
    EXPECT_EQ(bitsOf(s.meanPower[0]), bitsOf(meanPower));
    EXPECT_EQ(bitsOf(s.levelDb[0]), bitsOf(10.0 * std::log10(meanPower)));
    EXPECT_EQ(run.drive.logLines().size(), 2u);
}

TEST(ModelStep, AStopFileIsSeenAtTheNextMultipleOfThreeSteps) {
    RunningModel run(std::vector<int16_t>(frame, 0));
    run.step();
    EXPECT_EQ(run.root->info->stopRequested, 0);
    { std::ofstream(run.drive.path() + "/stop.txt") << "stop\n"; }
    for (int32_t step = 1; step <= 3; ++step) {
        run.step();
        EXPECT_EQ(run.root->info->stopRequested, step == 3 ? 1 : 0) << step;
    }
}

}  // namespace
