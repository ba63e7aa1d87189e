#include "support/block_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace blockHarness {

namespace {

// Values that sit just past the end of every slice; a block that writes beyond its slice
// changes one of them.
constexpr int32_t guardCount = 4;
constexpr double doubleGuard = -7777.25;
constexpr int32_t intGuard = 0x5A5A5A5A;

// A declared count as a buffer size; a negative count is a fault of the type under test.
size_t declaredSize(int32_t count, const char* what) {
    if (count < 0) {
        ADD_FAILURE() << what << " declared as " << count;
        return 0;
    }
    return static_cast<size_t>(count);
}

template <typename T>
bool guardIntact(const std::vector<T>& area, int32_t used, T guard) {
    for (size_t i = static_cast<size_t>(used); i < area.size(); ++i) {
        if (!(area[i] == guard)) {
            return false;
        }
    }
    return true;
}

}  // namespace

Harness::Harness(RegisterFn registerType, const std::vector<double>& parameters,
                 int32_t inputPortCount) {
    root_.typeName = "kestrel9";
    root_.path = "kestrel9";
    root_.root = &root_;
    root_.info = &info_;

    info_.taskTimes = taskTimes_;
    info_.sampleHits = sampleHits_;
    info_.simTimeStep = 1;
    info_.solverName = "FixedStepDiscrete";
    info_.fixedStepSize = 0.3715192743764172;

    parameterData_ = parameters;
    parameterValues_.reserve(parameterData_.size());
    for (const double& value : parameterData_) {
        parameterValues_.push_back(ParamValue{1.0, 1.0, &value});
    }
    for (const ParamValue& value : parameterValues_) {
        parameterRefs_.push_back(&value);
    }

    block_.typeName = "S-Function";
    block_.path = "kestrel9/test block/S-Function";
    block_.parent = &root_;
    block_.root = &root_;
    block_.info = &info_;
    block_.numParamsGiven = static_cast<int32_t>(parameterRefs_.size());
    block_.params = parameterRefs_.data();
    block_.sampleTimes = &sampleTime_;
    block_.offsetTimes = &offsetTime_;
    block_.sampleTimeTaskIds = &taskId_;

    // Widths start as -1 so that a test sees which ones initSizes wrote.
    inputPorts_.assign(static_cast<size_t>(inputPortCount), InputPort{-1, -1, nullptr});
    block_.inputPorts = inputPortCount > 0 ? inputPorts_.data() : nullptr;
    outputPort_.width = -1;
    block_.outputPorts = &outputPort_;

    registerType(&block_);
    if (block_.methods.initSizes != nullptr) {
        block_.methods.initSizes(&block_);
    }
    if (block_.methods.initSampleTimes != nullptr) {
        block_.methods.initSampleTimes(&block_);
    }

    // Input element k lives at storage[2k]; the odd places hold NaN, so a block that indexes the
    // first reference instead of following signalPtrs[k] reads wrong values.
    inputStorage_.resize(inputPorts_.size());
    inputPtrs_.resize(inputPorts_.size());
    for (size_t p = 0; p < inputPorts_.size(); ++p) {
        const size_t width = declaredSize(inputPorts_[p].width, "input port width");
        inputStorage_[p].assign(2 * width, std::numeric_limits<double>::quiet_NaN());
        for (size_t k = 0; k < width; ++k) {
            inputStorage_[p][2 * k] = 0.0;
            inputPtrs_[p].push_back(&inputStorage_[p][2 * k]);
        }
        inputPorts_[p].signalPtrs = inputPtrs_[p].data();
    }

    outputWidth_ = static_cast<int32_t>(declaredSize(outputPort_.width, "output port width"));
    numDiscStates_ = static_cast<int32_t>(declaredSize(block_.numDiscStates, "numDiscStates"));
    numRWork_ = static_cast<int32_t>(declaredSize(block_.numRWork, "numRWork"));
    numIWork_ = static_cast<int32_t>(declaredSize(block_.numIWork, "numIWork"));
    output_.assign(static_cast<size_t>(outputWidth_ + guardCount), doubleGuard);
    std::fill(output_.begin(), output_.begin() + outputWidth_, 0.0);
    discStates_.assign(static_cast<size_t>(numDiscStates_ + guardCount), doubleGuard);
    std::fill(discStates_.begin(), discStates_.begin() + numDiscStates_, 0.0);
    rWork_.assign(static_cast<size_t>(numRWork_ + guardCount), doubleGuard);
    std::fill(rWork_.begin(), rWork_.begin() + numRWork_, 0.0);
    iWork_.assign(static_cast<size_t>(numIWork_ + guardCount), intGuard);
    std::fill(iWork_.begin(), iWork_.begin() + numIWork_, 0);
    pWork_.assign(declaredSize(block_.numPWork, "numPWork"), nullptr);

    outputPort_.signal = output_.data();
    block_.discStates = discStates_.data();
    block_.rWork = rWork_.data();
    block_.iWork = iWork_.data();
    block_.pWork = pWork_.empty() ? nullptr : pWork_.data();
}

void Harness::setInput(int32_t port, const std::vector<double>& values) {
    ASSERT_GE(port, 0);
    ASSERT_LT(static_cast<size_t>(port), inputPorts_.size());
    ASSERT_EQ(values.size(), inputPtrs_[static_cast<size_t>(port)].size()) << "port " << port;
    for (size_t k = 0; k < values.size(); ++k) {
        inputStorage_[static_cast<size_t>(port)][inputStride_ * k] = values[k];
    }
}

void Harness::wireInputsConsecutively() {
    for (size_t p = 0; p < inputPorts_.size(); ++p) {
        std::vector<double>& storage = inputStorage_[p];
        const size_t width = inputPtrs_[p].size();
        // Element k moves from storage[2k] to storage[k]; the places after the run hold NaN.
        for (size_t k = 0; k < width; ++k) {
            storage[k] = storage[inputStride_ * k];
        }
        std::fill(storage.begin() + static_cast<std::ptrdiff_t>(width), storage.end(),
                  std::numeric_limits<double>::quiet_NaN());
        for (size_t k = 0; k < width; ++k) {
            inputPtrs_[p][k] = &storage[k];
        }
    }
    inputStride_ = 1;
    resolveInputSources(&block_);
}

void Harness::initConditions() {
    callInitConditions(&block_);
    checkGuards("initConditions");
}

std::vector<double> Harness::outputs() {
    callOutputs(&block_, 0);
    checkGuards("outputs");
    return output();
}

void Harness::update() {
    if (block_.methods.update != nullptr) {
        block_.methods.update(&block_, 0);
    }
    checkGuards("update");
}

void Harness::terminate() {
    if (block_.methods.terminate != nullptr) {
        block_.methods.terminate(&block_);
    }
    checkGuards("terminate");
}

std::vector<double> Harness::step(const std::vector<std::vector<double>>& inputs) {
    for (size_t p = 0; p < inputs.size(); ++p) {
        setInput(static_cast<int32_t>(p), inputs[p]);
    }
    std::vector<double> result = outputs();
    update();
    return result;
}

std::vector<double> Harness::discStates() const {
    return std::vector<double>(discStates_.begin(), discStates_.begin() + numDiscStates_);
}

std::vector<double> Harness::rWork() const {
    return std::vector<double>(rWork_.begin(), rWork_.begin() + numRWork_);
}

std::vector<int32_t> Harness::iWork() const {
    return std::vector<int32_t>(iWork_.begin(), iWork_.begin() + numIWork_);
}

std::vector<double> Harness::output() const {
    return std::vector<double>(output_.begin(), output_.begin() + outputWidth_);
}

std::vector<double> Harness::snapshot() const {
    std::vector<double> all = discStates();
    for (double v : rWork()) {
        all.push_back(v);
    }
    for (int32_t v : iWork()) {
        all.push_back(static_cast<double>(v));
    }
    for (double v : output()) {
        all.push_back(v);
    }
    return all;
}

bool Harness::guardsIntact() const {
    return guardIntact(output_, outputWidth_, doubleGuard) &&
           guardIntact(discStates_, numDiscStates_, doubleGuard) &&
           guardIntact(rWork_, numRWork_, doubleGuard) && guardIntact(iWork_, numIWork_, intGuard);
}

void Harness::checkGuards(const char* after) const {
    if (!guardsIntact()) {
        ADD_FAILURE() << "a write past the end of a slice or the output during " << after;
    }
}

std::string setSlotNames(RegisterFn registerType) {
    BlockRecord block{};
    registerType(&block);
    const BlockMethods& m = block.methods;
    const struct {
        bool set;
        const char* name;
    } slots[] = {
        {m.initSizes != nullptr, "initSizes"},
        {m.initSampleTimes != nullptr, "initSampleTimes"},
        {m.initConditions != nullptr, "initConditions"},
        {m.start != nullptr, "start"},
        {m.outputs != nullptr, "outputs"},
        {m.update != nullptr, "update"},
        {m.derivatives != nullptr, "derivatives"},
        {m.terminate != nullptr, "terminate"},
        {m.vectorInitConditions != nullptr, "vectorInitConditions"},
        {m.vectorOutputs != nullptr, "vectorOutputs"},
    };
    std::string names;
    for (const auto& slot : slots) {
        if (slot.set) {
            names += names.empty() ? "" : " ";
            names += slot.name;
        }
    }
    return names;
}

}  // namespace blockHarness
