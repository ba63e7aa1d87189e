#include "blocks/to_log_file.h"

#include <cstdio>

#include "platform/host_clock.h"
#include "platform/host_fs.h"
#include "platform/text_format.h"

namespace {

constexpr int32_t inputWidthParam = 1;
constexpr int32_t clockKindParam = 2;
constexpr int32_t logFileNameParam = 3;

constexpr int32_t nameCapacity = 512;

// Declares 3 parameters and one input [inputWidth] without direct feedthrough.
void initSizes(BlockRecord* block) {
    block->numContStates = 0;
    block->numDiscStates = 0;
    block->numOutputPorts = 0;
    block->numInputPorts = 1;
    block->numSampleTimes = 1;
    block->numParams = 3;
    block->numIWork = 0;
    block->numRWork = 0;
    block->numPWork = 0;
    block->numModes = 0;
    block->options = 0;
    if (block->inputPorts != nullptr) {
        block->inputPorts[0].width = paramInt(block, inputWidthParam);
        block->inputPorts[0].directFeedthrough = 0;
    }
}

// Nothing to initialise.
void initConditions(BlockRecord*) {}

// The block has no outputs.
void outputs(BlockRecord*, int32_t) {}

// Closes the log after a failed print and sets "Error writing log file".
void failWrite(BlockRecord* block, std::FILE* file) {
    std::fclose(file);
    setBlockError(block, "Error writing log file");
}

// Appends "<calendar time> " and each input value [inputWidth] as "%.15e ", then the line end.
// A name longer than 511 characters is refused rather than cut to another file's name.
void update(BlockRecord* block, int32_t) {
    char name[nameCapacity];
    if (textParamToString(paramValue(block, logFileNameParam), name, nameCapacity) != 0) {
        setBlockError(block, "Error opening log file");
        return;
    }
    char stamp[25];
    formatCalendar24(hostCalendarTime(paramInt(block, clockKindParam) == 1), stamp);

    std::FILE* file = hostOpen(name, "a");
    if (file == nullptr) {
        setBlockError(block, "Error opening log file");
        return;
    }
    if (std::fprintf(file, "%s ", stamp) < 0) {
        failWrite(block, file);
        return;
    }
    const int32_t width = paramInt(block, inputWidthParam);
    for (int32_t i = 0; i < width; ++i) {
        char text[40];
        formatExp15(inputElement(block, 0, i), text, sizeof text);
        if (std::fprintf(file, "%s ", text) < 0) {
            failWrite(block, file);
            return;
        }
    }
    if (std::fprintf(file, "\n") < 0) {
        failWrite(block, file);
        return;
    }
    // The line is buffered: a full disk shows only when it is flushed at the close.
    if (std::fclose(file) != 0) {
        setBlockError(block, "Error writing log file");
    }
}

// Nothing stays open.
void terminate(BlockRecord*) {}

}  // namespace

void registerToLogFile(BlockRecord* block) {
    block->methods.initSizes = initSizes;
    block->methods.initSampleTimes = setInheritedSampleTime;
    block->methods.initConditions = initConditions;
    block->methods.outputs = outputs;
    block->methods.update = update;
    block->methods.terminate = terminate;
}
