// Test support for the event output blocks: a temporary drive root, a fixed calendar clock, a
// time-zone override, file reading, and a hand-built block record with its root and ModelInfo.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "model/block.h"

namespace eventHarness {

// A fresh folder used as the "c:" drive (KESTREL9_ROOT) with "temp/calls" in it; removed with
// everything in it on destruction, and the previous root restored.
class TempDriveRoot {
public:
    TempDriveRoot();
    ~TempDriveRoot();
    TempDriveRoot(const TempDriveRoot&) = delete;
    TempDriveRoot& operator=(const TempDriveRoot&) = delete;

    // Host path of `relative` ("temp/calls/Swisk_00.wav") under the root.
    std::string path(const std::string& relative) const;
    // Names of the regular files in the folder `relative`, sorted.
    std::vector<std::string> files(const std::string& relative) const;

private:
    std::string root_;
    std::string savedRoot_;
    bool hadRoot_ = false;
};

// Sets KESTREL9_ROOT to `root` for its lifetime (for mapping "c:\full" to /dev/full).
class ScopedDriveRoot {
public:
    explicit ScopedDriveRoot(const char* root);
    ~ScopedDriveRoot();
    ScopedDriveRoot(const ScopedDriveRoot&) = delete;
    ScopedDriveRoot& operator=(const ScopedDriveRoot&) = delete;

private:
    std::string saved_;
    bool had_ = false;
};

// Replaces the host clock by a fixed time (seconds since 1970 UTC) for its lifetime.
class FixedClock {
public:
    explicit FixedClock(int64_t secondsSinceEpoch);
    ~FixedClock();
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
};

// Sets TZ (and calls tzset) for its lifetime.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::string saved_;
    bool had_ = false;
};

// 14:07:09 UTC on Tuesday 5 March 2024.
constexpr int64_t tuesdayMarch5th2024 = 1709647629;

std::vector<uint8_t> readBytes(const std::string& hostPath);
std::string readText(const std::string& hostPath);
bool hostPathExists(const std::string& hostPath);
// The host path the host file layer maps a model path to ("" when it cannot be mapped).
std::string hostMapped(const char* modelPath);

// One block record with its root (whose root is itself) and a ModelInfo. Parameters and ports
// are added first; install() then wires the record and runs the registration, initSizes,
// initSampleTimes and initConditions.
class BlockHarness {
public:
    BlockHarness();
    BlockHarness(const BlockHarness&) = delete;
    BlockHarness& operator=(const BlockHarness&) = delete;

    // A number parameter (1 x 1).
    void addNumber(double value);
    // A text parameter: one character code per element, a 1 x n row.
    void addText(const std::string& text);
    // An input port of `width` elements, all 0.0; returns its values, which the test may change
    // at any time (the port's signalPtrs point at them).
    std::vector<double>& addInput(int32_t width);
    void addOutput(int32_t width);
    void install(void (*registerType)(BlockRecord*));

    void outputs();
    void update();

    BlockRecord& block() { return block_; }
    const char* error() const { return root_.errorStatus; }
    void clearError() { root_.errorStatus = nullptr; }
    double output(int32_t port, int32_t i) const {
        return outputValues_[static_cast<size_t>(port)][static_cast<size_t>(i)];
    }
    int32_t& iWork(int32_t i) { return iWork_[static_cast<size_t>(i)]; }

private:
    BlockRecord root_{};
    BlockRecord block_{};
    ModelInfo info_{};
    double taskTimes_[3] = {};
    int32_t sampleHits_[3] = {};
    double sampleTime_ = 0.0;
    double offsetTime_ = 0.0;
    int32_t taskId_ = 0;
    std::deque<std::vector<double>> paramData_;
    std::vector<ParamValue> params_;
    std::vector<const ParamValue*> paramPtrs_;
    std::deque<std::vector<double>> inputValues_;
    std::deque<std::vector<const double*>> inputPtrs_;
    std::vector<InputPort> inputs_;
    std::deque<std::vector<double>> outputValues_;
    std::vector<OutputPort> outputs_;
    std::vector<int32_t> iWork_ = std::vector<int32_t>(8, 0);
    std::vector<double> discStates_ = std::vector<double>(8, 0.0);
};

}  // namespace eventHarness
