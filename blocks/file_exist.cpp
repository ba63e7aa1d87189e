#include "blocks/file_exist.h"

#include "platform/host_fs.h"

namespace {

constexpr int32_t fileNameParam = 1;
constexpr int32_t existPeriodParam = 2;

constexpr int32_t nameCapacity = 512;

// Declares 2 parameters, no inputs and one output [1].
void initSizes(BlockRecord* block) {
    block->numContStates = 0;
    block->numDiscStates = 0;
    block->numOutputPorts = 1;
    block->numInputPorts = 0;
    block->numSampleTimes = 1;
    block->numParams = 2;
    block->numIWork = 0;
    block->numRWork = 0;
    block->numPWork = 0;
    block->numModes = 0;
    block->options = 0;
    if (block->outputPorts != nullptr) {
        block->outputPorts[0].width = 1;
    }
}

// Sample time existPeriod, offset 0.
void initSampleTimes(BlockRecord* block) {
    block->sampleTimes[0] = paramReal(block, existPeriodParam);
    block->offsetTimes[0] = 0.0;
}

// Output [1]: 1.0 when the named file can be opened for reading, else 0.0 (a folder, or a name
// longer than 511 characters, counts as absent).
void outputs(BlockRecord* block, int32_t) {
    char name[nameCapacity];
    const bool cut = textParamToString(paramValue(block, fileNameParam), name, nameCapacity) != 0;
    block->outputPorts[0].signal[0] = (!cut && hostFileExists(name)) ? 1.0 : 0.0;
}

// Nothing stays open.
void terminate(BlockRecord*) {}

}  // namespace

void registerFileExist(BlockRecord* block) {
    block->methods.initSizes = initSizes;
    block->methods.initSampleTimes = initSampleTimes;
    block->methods.outputs = outputs;
    block->methods.terminate = terminate;
}
