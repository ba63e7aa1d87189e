#include "support/event_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/host_clock.h"
#include "platform/host_fs.h"

namespace eventHarness {

namespace {

int64_t fixedSeconds = 0;

// The fixed clock source.
int64_t fixedNow() {
    return fixedSeconds;
}

// Sets or unsets an environment variable, remembering the old value in saved/had.
void overrideEnv(const char* name, const char* value, std::string& saved, bool& had) {
    const char* old = std::getenv(name);
    had = old != nullptr;
    saved = had ? old : "";
    setenv(name, value, 1);
}

void restoreEnv(const char* name, const std::string& saved, bool had) {
    if (had) {
        setenv(name, saved.c_str(), 1);
    } else {
        unsetenv(name);
    }
}

}  // namespace

TempDriveRoot::TempDriveRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "k9events-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    if (made == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
        return;
    }
    root_ = made;
    std::filesystem::create_directories(root_ + "/temp/calls");
    overrideEnv("KESTREL9_ROOT", root_.c_str(), savedRoot_, hadRoot_);
}

TempDriveRoot::~TempDriveRoot() {
    restoreEnv("KESTREL9_ROOT", savedRoot_, hadRoot_);
    if (!root_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
}

std::string TempDriveRoot::path(const std::string& relative) const {
    return root_ + "/" + relative;
}

std::vector<std::string> TempDriveRoot::files(const std::string& relative) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path(relative))) {
        if (entry.is_regular_file()) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

ScopedDriveRoot::ScopedDriveRoot(const char* root) {
    overrideEnv("KESTREL9_ROOT", root, saved_, had_);
}

ScopedDriveRoot::~ScopedDriveRoot() {
    restoreEnv("KESTREL9_ROOT", saved_, had_);
}

FixedClock::FixedClock(int64_t secondsSinceEpoch) {
    fixedSeconds = secondsSinceEpoch;
    hostSetClock(fixedNow);
}

FixedClock::~FixedClock() {
    hostSetClock(nullptr);
}

ScopedTimeZone::ScopedTimeZone(const char* zone) {
    overrideEnv("TZ", zone, saved_, had_);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    restoreEnv("TZ", saved_, had_);
    tzset();
}

std::vector<uint8_t> readBytes(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

std::string readText(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool hostPathExists(const std::string& hostPath) {
    std::error_code ignored;
    return std::filesystem::exists(hostPath, ignored);
}

std::string hostMapped(const char* modelPath) {
    char mapped[4096];
    return hostMapPath(modelPath, mapped, sizeof mapped) ? std::string(mapped) : std::string();
}

BlockHarness::BlockHarness() {
    root_.typeName = "kestrel9";
    root_.path = "kestrel9";
    root_.root = &root_;
    root_.info = &info_;
    info_.taskTimes = taskTimes_;
    info_.sampleHits = sampleHits_;
    info_.simTimeStep = 1;
    block_.typeName = "S-Function";
    block_.path = "kestrel9/Test/S-Function";
    block_.parent = &root_;
    block_.root = &root_;
    block_.info = &info_;
    block_.numSampleTimes = 1;
    block_.sampleTimes = &sampleTime_;
    block_.offsetTimes = &offsetTime_;
    block_.sampleTimeTaskIds = &taskId_;
    block_.iWork = iWork_.data();
    block_.discStates = discStates_.data();
}

void BlockHarness::addNumber(double value) {
    paramData_.push_back({value});
}

void BlockHarness::addText(const std::string& text) {
    std::vector<double> codes;
    for (const char c : text) {
        codes.push_back(static_cast<double>(static_cast<unsigned char>(c)));
    }
    paramData_.push_back(codes);
}

std::vector<double>& BlockHarness::addInput(int32_t width) {
    inputValues_.emplace_back(static_cast<size_t>(width), 0.0);
    return inputValues_.back();
}

void BlockHarness::addOutput(int32_t width) {
    outputValues_.emplace_back(static_cast<size_t>(width), 0.0);
}

void BlockHarness::install(void (*registerType)(BlockRecord*)) {
    params_.clear();
    paramPtrs_.clear();
    for (const auto& data : paramData_) {
        params_.push_back(ParamValue{1.0, static_cast<double>(data.size()), data.data()});
    }
    for (const auto& param : params_) {
        paramPtrs_.push_back(&param);
    }
    block_.numParamsGiven = static_cast<int32_t>(params_.size());
    block_.params = paramPtrs_.data();

    inputs_.clear();
    for (const auto& values : inputValues_) {
        auto& ptrs = inputPtrs_.emplace_back();
        for (const double& v : values) {
            ptrs.push_back(&v);
        }
        inputs_.push_back(InputPort{static_cast<int32_t>(values.size()), 0, ptrs.data()});
    }
    block_.inputPorts = inputs_.empty() ? nullptr : inputs_.data();
    outputs_.clear();
    for (auto& values : outputValues_) {
        outputs_.push_back(OutputPort{static_cast<int32_t>(values.size()), values.data()});
    }
    block_.outputPorts = outputs_.empty() ? nullptr : outputs_.data();

    registerType(&block_);
    if (block_.methods.initSizes != nullptr) {
        block_.methods.initSizes(&block_);
    }
    if (block_.methods.initSampleTimes != nullptr) {
        block_.methods.initSampleTimes(&block_);
    }
    callInitConditions(&block_);
}

void BlockHarness::outputs() {
    callOutputs(&block_, 0);
}

void BlockHarness::update() {
    if (block_.methods.update != nullptr) {
        block_.methods.update(&block_, 0);
    }
}

}  // namespace eventHarness
