// Microbenchmarks of the stages of one model step, each block wired as the model wires it (its
// inputs whole signals, resolved to straight reads) with the model's parameters: wave read and
// conversion, the FIFOs, the spectrum product and the step's other passes, Integrate, the Delays,
// the Counters, the flip-flop, the shift register, and the Clip & Save scan when no run ends.
// The transforms are in fft_bench. Run with --benchmark_min_time=... on a quiet machine; compare
// minimums, since other processes disturb single runs.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "blocks/clip_save.h"
#include "blocks/counter.h"
#include "blocks/delay.h"
#include "blocks/fifo.h"
#include "blocks/from_wave_file.h"
#include "blocks/gated_shift_register.h"
#include "blocks/integrate.h"
#include "blocks/pulse_limited_flip_flop.h"
#include "model/block.h"
#include "model/step_kernels.h"

namespace {

constexpr int32_t frame = 8192;

std::vector<double> randomValues(size_t count, uint64_t seed, double low = -1.0,
                                 double high = 1.0) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> dist(low, high);
    std::vector<double> values(count);
    for (double& v : values) {
        v = dist(rng);
    }
    return values;
}

// Sparse 0/1 flags: about one sample in `gap` is 1.
std::vector<double> sparseFlags(size_t count, uint64_t seed, int gap) {
    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<int> pick(0, gap - 1);
    std::vector<double> values(count);
    for (double& v : values) {
        v = pick(rng) == 0 ? 1.0 : 0.0;
    }
    return values;
}

// A parameter: a 1 x 1 number or a text (1 x n character codes).
struct Param {
    Param(double v) : number(v) {}
    Param(int v) : number(v) {}
    Param(const char* t) : text(t) {}
    double number = 0.0;
    const char* text = nullptr;
};

// One standard-interface block with its root, ModelInfo, parameters, input signals, output
// signal and slices, wired and resolved as the model does.
class Block {
public:
    Block(void (*registerType)(BlockRecord*), const std::vector<Param>& params,
          const std::vector<int32_t>& inputWidths, int32_t outputWidth) {
        root_.root = &root_;
        root_.info = &info_;
        info_.taskTimes = taskTimes_;
        info_.sampleHits = sampleHits_;
        info_.simTimeStep = 1;
        for (const Param& p : params) {
            if (p.text != nullptr) {
                data_.emplace_back(p.text, p.text + std::string(p.text).size());
            } else {
                data_.push_back({p.number});
            }
        }
        for (const std::vector<double>& d : data_) {
            values_.push_back(ParamValue{1.0, static_cast<double>(d.size()), d.data()});
        }
        for (const ParamValue& v : values_) {
            refs_.push_back(&v);
        }
        for (int32_t width : inputWidths) {
            signals_.emplace_back(static_cast<size_t>(width), 0.0);
            std::vector<const double*>& ptrs = ptrs_.emplace_back();
            for (double& x : signals_.back()) {
                ptrs.push_back(&x);
            }
            ports_.push_back(InputPort{width, 1, ptrs.data()});
        }
        output_.assign(static_cast<size_t>(outputWidth > 0 ? outputWidth : 1), 0.0);
        outputPort_ = OutputPort{outputWidth, output_.data()};
        block_.root = &root_;
        block_.parent = &root_;
        block_.info = &info_;
        block_.params = refs_.data();
        block_.numParamsGiven = static_cast<int32_t>(refs_.size());
        block_.sampleTimes = &sampleTime_;
        block_.offsetTimes = &offsetTime_;
        block_.sampleTimeTaskIds = &taskId_;
        block_.inputPorts = ports_.empty() ? nullptr : ports_.data();
        block_.outputPorts = &outputPort_;
        registerType(&block_);
        block_.methods.initSizes(&block_);
        discStates_.assign(static_cast<size_t>(block_.numDiscStates) + 1, 0.0);
        rWork_.assign(static_cast<size_t>(block_.numRWork) + 1, 0.0);
        iWork_.assign(static_cast<size_t>(block_.numIWork) + 1, 0);
        pWork_.assign(static_cast<size_t>(block_.numPWork) + 1, nullptr);
        block_.discStates = discStates_.data();
        block_.rWork = rWork_.data();
        block_.iWork = iWork_.data();
        block_.pWork = pWork_.data();
        block_.numInputPorts = static_cast<int32_t>(ports_.size());
        resolveInputSources(&block_);
        if (block_.methods.initConditions != nullptr) {
            block_.methods.initConditions(&block_);
        }
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    std::vector<double>& input(size_t port) { return signals_[port]; }
    BlockRecord* record() { return &block_; }
    const char* error() const { return root_.errorStatus; }
    void outputs() { block_.methods.outputs(&block_, 0); }
    void update() {
        if (block_.methods.update != nullptr) {
            block_.methods.update(&block_, 0);
        }
    }
    double* output() { return output_.data(); }

private:
    BlockRecord root_{};
    BlockRecord block_{};
    ModelInfo info_{};
    double taskTimes_[3] = {};
    int32_t sampleHits_[3] = {1, 1, 1};
    double sampleTime_ = 0.0;
    double offsetTime_ = 0.0;
    int32_t taskId_ = 0;
    std::deque<std::vector<double>> data_;
    std::vector<ParamValue> values_;
    std::vector<const ParamValue*> refs_;
    std::deque<std::vector<double>> signals_;
    std::deque<std::vector<const double*>> ptrs_;
    std::vector<InputPort> ports_;
    std::vector<double> output_;
    OutputPort outputPort_{};
    std::vector<double> discStates_;
    std::vector<double> rWork_;
    std::vector<int32_t> iWork_;
    std::vector<void*> pWork_;
};

// Outputs then update, as the step calls them.
void runSteps(benchmark::State& state, Block& b) {
    for (auto _ : state) {
        b.outputs();
        b.update();
        benchmark::DoNotOptimize(b.output());
        benchmark::ClobberMemory();
    }
}

// A drive root with "My Recordings/Soundfile.wav": `seconds` of 16-bit mono noise at 22050 Hz.
class WaveRoot {
public:
    explicit WaveRoot(double seconds) {
        char pattern[] = "/tmp/k9bench.XXXXXX";
        root_ = mkdtemp(pattern) != nullptr ? pattern : "";
        const std::string folder = root_ + "/My Recordings";
        std::system(("mkdir -p '" + folder + "'").c_str());
        const uint32_t samples = static_cast<uint32_t>(seconds * 22050);
        const uint32_t bytes = samples * 2;
        std::FILE* f = std::fopen((folder + "/Soundfile.wav").c_str(), "wb");
        if (f == nullptr) {
            return;
        }
        const auto u32 = [f](uint32_t v) {
            const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                        static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
            std::fwrite(b, 1, 4, f);
        };
        const auto u16 = [f](uint32_t v) {
            const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
            std::fwrite(b, 1, 2, f);
        };
        std::fwrite("RIFF", 1, 4, f);
        u32(36 + bytes);
        std::fwrite("WAVEfmt ", 1, 8, f);
        u32(16);
        u16(1);
        u16(1);
        u32(22050);
        u32(44100);
        u16(2);
        u16(16);
        std::fwrite("data", 1, 4, f);
        u32(bytes);
        std::mt19937_64 rng(5);
        std::uniform_int_distribution<int> sample(-3000, 3000);
        for (uint32_t i = 0; i < samples; ++i) {
            u16(static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(sample(rng)))));
        }
        std::fclose(f);
        setenv("KESTREL9_ROOT", root_.c_str(), 1);
    }
    ~WaveRoot() {
        if (!root_.empty()) {
            std::system(("rm -rf '" + root_ + "'").c_str());
        }
    }
    WaveRoot(const WaveRoot&) = delete;
    WaveRoot& operator=(const WaveRoot&) = delete;

private:
    std::string root_;
};

// From Wave File: one frame read from the file and converted; the file is reopened (untimed)
// before its end, so every timed frame holds samples.
void waveReadAndConvert(benchmark::State& state) {
    WaveRoot root(30.0);
    Block wave(registerFromWaveFile, {22050, frame, 1, 1, "c:\\My Recordings\\Soundfile.wav"}, {},
               frame);
    const int32_t framesInFile = static_cast<int32_t>(30.0 * 22050) / frame;
    wave.record()->methods.start(wave.record());
    int32_t read = 0;
    for (auto _ : state) {
        if (read == framesInFile) {
            state.PauseTiming();
            wave.record()->methods.terminate(wave.record());
            wave.record()->methods.start(wave.record());
            read = 0;
            state.ResumeTiming();
        }
        wave.outputs();
        ++read;
        benchmark::DoNotOptimize(wave.output());
    }
    if (wave.error() != nullptr) {
        state.SkipWithError(wave.error());
    }
    wave.record()->methods.terminate(wave.record());
}
BENCHMARK(waveReadAndConvert);

void fifoFilterWindow(benchmark::State& state) {
    Block b(registerFifo, {frame, 16384, 1, 0}, {frame}, 16384);
    b.input(0) = randomValues(frame, 1);
    runSteps(state, b);
}
BENCHMARK(fifoFilterWindow);

// The clip FIFOs: a ring of three frames, head cycling.
void fifoClipWindow(benchmark::State& state) {
    Block b(registerFifo, {frame, 32768, 1, 0}, {frame}, 32768);
    b.input(0) = randomValues(frame, 2);
    runSteps(state, b);
}
BENCHMARK(fifoClipWindow);

// The spectrum product with the constant spectrum rewritten into its signal.
void spectrumProduct(benchmark::State& state) {
    const int32_t bins = 16384;
    const std::vector<double> spectrum = randomValues(2 * bins, 3);
    const std::vector<double> x = randomValues(2 * bins, 4);
    std::vector<double> sig(2 * bins), a(bins), b(bins), c(bins), d(bins), e(bins), f(bins);
    for (auto _ : state) {
        stepKernels::filterProduct(bins, spectrum.data(), x.data(), sig.data(), a.data(), b.data(),
                                   c.data(), d.data(), e.data(), f.data());
        benchmark::DoNotOptimize(c.data());
        benchmark::DoNotOptimize(f.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(spectrumProduct);

// The peak detector's passes around the hold-off counter: fall test, then rise test.
void peakDetectorPasses(benchmark::State& state) {
    const std::vector<double> envelope = randomValues(frame, 5, 0.0, 1e-3);
    const std::vector<double> delayed = randomValues(frame, 6, 0.0, 1e-3);
    const std::vector<double> holdOff(frame, -0.6);
    std::vector<double> fallRatio(frame), fall(frame), active(frame), reset(frame), rise(frame),
        riseDetected(frame);
    for (auto _ : state) {
        stepKernels::fallTest(frame, envelope.data(), delayed.data(), 2.0, fallRatio.data(),
                              fall.data());
        stepKernels::riseTest(frame, holdOff.data(), 0.0, fall.data(), envelope.data(),
                              delayed.data(), 2.0, active.data(), reset.data(), rise.data(),
                              riseDetected.data());
        benchmark::DoNotOptimize(reset.data());
        benchmark::DoNotOptimize(riseDetected.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(peakDetectorPasses);

// The overload guard's passes: detection, rising edge, gap test.
void overloadGuardPasses(benchmark::State& state) {
    const std::vector<double> extended = sparseFlags(frame, 7, 40);
    const std::vector<double> delayed = sparseFlags(frame, 8, 40);
    const std::vector<double> clock = randomValues(frame, 9, 20.0, 3600.0);
    const std::vector<double> edge = randomValues(frame, 10, 0.0, 20.0);
    std::vector<double> detection(frame), notDelayed(frame), edges(frame), since(frame),
        elapsed(frame), trigger(frame);
    for (auto _ : state) {
        stepKernels::greaterThan(frame, extended.data(), 0.0, detection.data());
        stepKernels::risingEdge(frame, detection.data(), delayed.data(), notDelayed.data(),
                                edges.data());
        stepKernels::overloadGuard(frame, clock.data(), edge.data(), 20.0, detection.data(),
                                   since.data(), elapsed.data(), trigger.data());
        benchmark::DoNotOptimize(trigger.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(overloadGuardPasses);

void integrateEnvelope(benchmark::State& state) {
    Block b(registerIntegrate, {frame, 0, 2000, 1, 1, 0}, {frame}, frame);
    b.input(0) = randomValues(frame, 11, 0.0, 1e-4);
    runSteps(state, b);
}
BENCHMARK(integrateEnvelope);

void delay441(benchmark::State& state) {
    Block b(registerDelay, {frame, 441, 1, 0}, {frame}, frame);
    b.input(0) = randomValues(frame, 12);
    runSteps(state, b);
}
BENCHMARK(delay441);

void delay3000(benchmark::State& state) {
    Block b(registerDelay, {frame, 3000, 1, 0}, {frame}, frame);
    b.input(0) = randomValues(frame, 13);
    runSteps(state, b);
}
BENCHMARK(delay3000);

void counterDigitalClock(benchmark::State& state) {
    Block b(registerCounter, {frame, 0, 0, 0, 0, 0, 0, 0, 463050, 1, 1, 0.3715192743764172},
            {}, frame);
    runSteps(state, b);
}
BENCHMARK(counterDigitalClock);

// The hold-off counter after the start-up: held at its limit.
void counterHoldOffHeld(benchmark::State& state) {
    Block b(registerCounter, {frame, 0, 0, 0, 1, 0, 1, 0, -0.6, 1, 1, -1}, {}, frame);
    runSteps(state, b);
}
BENCHMARK(counterHoldOffHeld);

void counterPulseExtend(benchmark::State& state) {
    Block b(registerCounter, {frame, 0, 0, 1, 1, 3001, 1, 0, 0, 1, 0, -1}, {frame}, frame);
    b.input(0) = sparseFlags(frame, 14, 4000);
    runSteps(state, b);
}
BENCHMARK(counterPulseExtend);

void pulseLimitedFlipFlop(benchmark::State& state) {
    Block b(registerPulseLimitedFlipFlop, {frame, 0, 2205, 8820, 1, 0}, {frame, frame}, frame);
    b.input(0) = sparseFlags(frame, 15, 500);
    b.input(1) = sparseFlags(frame, 16, 3000);
    runSteps(state, b);
}
BENCHMARK(pulseLimitedFlipFlop);

void gatedShiftRegister(benchmark::State& state) {
    Block b(registerGatedShiftRegister, {frame, 15, 1, 1}, {frame, frame}, frame);
    b.input(0) = randomValues(frame, 17, 0.0, 3600.0);
    b.input(1) = sparseFlags(frame, 18, 4000);
    runSteps(state, b);
}
BENCHMARK(gatedShiftRegister);

// Clip & Save's update when no run of flags ends: the scan of the newest frame only.
void clipSaveScanWithoutClip(benchmark::State& state) {
    Block b(registerClipSave, {frame, 32768, 1, 0, "Swisk", "c:\\temp\\calls", 1, 3, 22050},
            {32768, 32768}, 0);
    for (auto _ : state) {
        b.update();
        benchmark::ClobberMemory();
    }
    if (b.error() != nullptr) {
        state.SkipWithError(b.error());
    }
}
BENCHMARK(clipSaveScanWithoutClip);

}  // namespace

BENCHMARK_MAIN();
