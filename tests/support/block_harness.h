// A block record wired to test-owned storage the way the model wires an instance: a root that is
// its own root, a ModelInfo, 1 x 1 parameters, input ports whose signalPtrs reach into a strided
// buffer, one output port, and slices sized from what the type's initSizes declares.
#pragma once

#include "model/block.h"

#include <cstdint>
#include <string>
#include <vector>

namespace blockHarness {

using RegisterFn = void (*)(BlockRecord* block);

class Harness {
public:
    // Registers the type, places `inputPortCount` input ports (none: inputPorts stays null) and one
    // output port, calls initSizes and initSampleTimes, then sizes every slice and buffer from the
    // declared counts and widths. Each parameter is a 1 x 1 value.
    Harness(RegisterFn registerType, const std::vector<double>& parameters, int32_t inputPortCount);
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    BlockRecord& block() { return block_; }
    const BlockRecord& block() const { return block_; }
    const char* errorStatus() const { return root_.errorStatus; }

    // Copies `values` (as many as the port's declared width) into input port `port`.
    void setInput(int32_t port, const std::vector<double>& values);

    // Rewires every input port so that its references are consecutive and resolves them as the
    // model does: the block then reads its inputs straight from the storage. Keeps the values.
    void wireInputsConsecutively();

    // Each call runs the slot if the type set it and then checks the guards after every area.
    void initConditions();
    std::vector<double> outputs();
    void update();
    void terminate();

    // Sets the inputs (one vector per port), runs outputs then update, returns the outputs.
    std::vector<double> step(const std::vector<std::vector<double>>& inputs);

    // Copies of the slices and the output buffer as they are now.
    std::vector<double> discStates() const;
    std::vector<double> rWork() const;
    std::vector<int32_t> iWork() const;
    std::vector<double> output() const;
    // Every slice and the output buffer in one list (integers converted), to see that a call
    // changed nothing.
    std::vector<double> snapshot() const;

    // Writable slices, for tests that start from a given committed state.
    double* discStateData() { return discStates_.data(); }
    int32_t* iWorkData() { return iWork_.data(); }

    // True when nothing was written past the end of any slice or the output buffer.
    bool guardsIntact() const;

private:
    void checkGuards(const char* after) const;

    BlockRecord root_{};
    BlockRecord block_{};
    ModelInfo info_{};
    double taskTimes_[3] = {};
    int32_t sampleHits_[3] = {1, 0, 0};
    double sampleTime_ = 0.0;
    double offsetTime_ = 0.0;
    int32_t taskId_ = 0;

    std::vector<double> parameterData_;
    std::vector<ParamValue> parameterValues_;
    std::vector<const ParamValue*> parameterRefs_;

    std::vector<InputPort> inputPorts_;
    std::vector<std::vector<double>> inputStorage_;
    std::vector<std::vector<const double*>> inputPtrs_;
    size_t inputStride_ = 2;  // storage places per input element
    OutputPort outputPort_{};

    std::vector<double> output_;
    std::vector<double> discStates_;
    std::vector<double> rWork_;
    std::vector<int32_t> iWork_;
    std::vector<void*> pWork_;
    int32_t outputWidth_ = 0;
    int32_t numDiscStates_ = 0;
    int32_t numRWork_ = 0;
    int32_t numIWork_ = 0;
};

// The names of the method slots the type's registration function set, in slot order, separated
// by spaces ("initSizes initSampleTimes outputs terminate").
std::string setSlotNames(RegisterFn registerType);

}  // namespace blockHarness
