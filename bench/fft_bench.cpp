// Microbenchmarks of the model's transforms: the 8192-point complex FFT and the Real FFT (16384
// inputs) and Real IFFT (32768 outputs) blocks as the model calls them.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "blocks/complex_fft.h"
#include "blocks/real_fft.h"
#include "blocks/real_ifft.h"
#include "model/block.h"

namespace {

std::vector<double> randomValues(size_t count, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> values(count);
    for (double& v : values) {
        v = dist(rng);
    }
    return values;
}

// A single-vector block record wired to consecutive input storage and resolved, as the model
// wires it.
struct TransformBlock {
    ModelInfo info{};
    BlockRecord root{};
    BlockRecord block{};
    std::vector<double> input;
    std::vector<const double*> inputPtrs;
    std::vector<double> output;

    TransformBlock(void (*registerType)(BlockRecord*), int32_t inputWidth, int32_t outputWidth)
        : input(randomValues(static_cast<size_t>(inputWidth), 1)),
          inputPtrs(static_cast<size_t>(inputWidth)),
          output(static_cast<size_t>(outputWidth)) {
        info.simTimeStep = 1;
        root.root = &root;
        block.root = &root;
        block.info = &info;
        registerType(&block);
        block.numInputPorts = inputWidth;
        block.numOutputPorts = outputWidth;
        for (size_t i = 0; i < input.size(); ++i) {
            inputPtrs[i] = &input[i];
        }
        block.inputElementPtrs = inputPtrs.data();
        block.outputVector = output.data();
        resolveInputSources(&block);
    }
};

// The transform works in place, so each iteration restarts from the same data (the copy of
// 2 x 8192 doubles is part of the time).
void complexFft8192(benchmark::State& state) {
    const int32_t n = 8192;
    const std::vector<double> re0 = randomValues(n, 2);
    const std::vector<double> im0 = randomValues(n, 3);
    std::vector<double> re(n);
    std::vector<double> im(n);
    for (auto _ : state) {
        std::memcpy(re.data(), re0.data(), n * sizeof(double));
        std::memcpy(im.data(), im0.data(), n * sizeof(double));
        complexFft(n, re.data(), im.data());
        benchmark::DoNotOptimize(re.data());
        benchmark::DoNotOptimize(im.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(complexFft8192);

void realFft16384(benchmark::State& state) {
    TransformBlock fft(registerRealFft, 16384, 32768);
    for (auto _ : state) {
        callOutputs(&fft.block, 0);
        benchmark::DoNotOptimize(fft.output.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(realFft16384);

void realIfft32768(benchmark::State& state) {
    TransformBlock ifft(registerRealIfft, 32768, 32768);
    for (auto _ : state) {
        callOutputs(&ifft.block, 0);
        benchmark::DoNotOptimize(ifft.output.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(realIfft32768);

}  // namespace

BENCHMARK_MAIN();
