#include "blocks/transform_block.h"

#include <cmath>

namespace {

// The transforms keep no state: nothing to initialise (x is the unused state vector).
void transformInitConditions(double* /*x*/, BlockRecord* /*block*/) {}

// Nothing to commit between steps.
void transformUpdate(BlockRecord* /*block*/, int32_t /*taskIndex*/) {}

// No continuous states.
void transformDerivatives(BlockRecord* /*block*/) {}

// Nothing to release.
void transformTerminate(BlockRecord* /*block*/) {}

// Declares the sizes; the model writes the widths afterwards.
void transformInitSizes(BlockRecord* block) {
    block->numContStates = 0;
    block->numDiscStates = 0;
    block->numParams = 1;
    block->numInputPorts = -1;
    block->numOutputPorts = -1;
    block->directFeedthrough = 1;
    block->numSampleTimes = 1;
    block->numIWork = 0;
    block->numRWork = 0;
    block->numPWork = 0;
    block->numModes = 0;
    block->options = 3;
}

// sampleTimes [1], offsetTimes [1]: the parameter's period, and its offset when it has 2 columns.
void transformInitSampleTimes(BlockRecord* block) {
    const ParamValue* sampleTime = paramValue(block, 1);
    block->sampleTimes[0] = sampleTime->data[0];
    block->offsetTimes[0] = std::trunc(sampleTime->cols) == 2.0 ? sampleTime->data[1] : 0.0;
}

}  // namespace

void installTransformMethods(BlockRecord* block) {
    block->methods.initSizes = transformInitSizes;
    block->methods.initSampleTimes = transformInitSampleTimes;
    block->methods.vectorInitConditions = transformInitConditions;
    block->methods.update = transformUpdate;
    block->methods.derivatives = transformDerivatives;
    block->methods.terminate = transformTerminate;
}
