#include "blocks/clip_save.h"

#include <cmath>
#include <cstdio>
#include <type_traits>

#include "blocks/clipwriters/clip_writer.h"
#include "blocks/run_scan.h"
#include "platform/host_clock.h"
#include "platform/host_fs.h"

namespace {

// Parameters, counted from 1.
constexpr int32_t frameSizeParam = 1;
constexpr int32_t bufferSizeParam = 2;
constexpr int32_t numChannelsParam = 3;
constexpr int32_t channelMajorParam = 4;
constexpr int32_t baseNameParam = 5;
constexpr int32_t directoryParam = 6;
constexpr int32_t fileTypeParam = 7;
constexpr int32_t stampKindParam = 8;
constexpr int32_t sampleRateParam = 9;

// Every clip name is built in buffers of this size (at most 511 characters).
constexpr int32_t nameCapacity = 512;

// Integer work slot 0: number of completed update calls.
int32_t& stepCount(BlockRecord* block) {
    return block->iWork[0];
}

// The time-stamp part of the name into stamp[64]: "_YYYY-MM-DD_hh.mm.ss" in UTC (kind 1) or
// local time (kind 2), the elapsed signal time "_hhh.mm.ss" (kind 3), else empty.
void formatStamp(BlockRecord* block, int32_t first, char* stamp, std::size_t capacity) {
    stamp[0] = '\0';
    const int32_t kind = paramInt(block, stampKindParam);
    if (kind == 1 || kind == 2) {
        const CalendarTime t = hostCalendarTime(kind == 1);
        std::snprintf(stamp, capacity, "_%04d-%02d-%02d_%02d.%02d.%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
    } else if (kind == 3) {
        // The position is kept in 64 bits: a 32-bit product would wrap after about 27 hours of
        // signal at 22,050 Hz and give a negative stamp.
        const int64_t position =
            static_cast<int64_t>(stepCount(block)) * paramInt(block, frameSizeParam) + first;
        const double seconds = static_cast<double>(position) / paramReal(block, sampleRateParam);
        const double hours = std::floor(seconds * 0.0002777777777777778);
        const double rest = seconds - 3600.0 * hours;
        const double minutes = std::floor(rest * 0.016666666666666666);
        const double wholeSeconds = std::floor(rest - 60.0 * minutes);
        std::snprintf(stamp, capacity, "_%.3d.%.2d.%.2d", static_cast<int>(roundToInt32(hours)),
                      static_cast<int>(roundToInt32(minutes)),
                      static_cast<int>(roundToInt32(wholeSeconds)));
    }
}

// Builds the clip's file name in name[512] and writes samples [first, end) of the audio
// buffer [C x N]. A name that does not fit in 511 characters is refused as a file that cannot
// be created.
void saveClip(BlockRecord* block, int32_t first, int32_t end) {
    const int32_t fileType = paramInt(block, fileTypeParam);
    const ClipWriterFn writer = clipWriterFor(fileType);
    if (writer == nullptr) {
        return;
    }
    char directory[nameCapacity];
    char baseName[nameCapacity];
    const int32_t directoryCut =
        textParamToString(paramValue(block, directoryParam), directory, nameCapacity);
    const int32_t baseNameCut =
        textParamToString(paramValue(block, baseNameParam), baseName, nameCapacity);
    char stamp[64];
    formatStamp(block, first, stamp, sizeof stamp);

    char prefix[nameCapacity];
    const int prefixLength =
        std::snprintf(prefix, sizeof prefix, "%s\\%s%s", directory, baseName, stamp);
    if (directoryCut != 0 || baseNameCut != 0 || prefixLength < 0 ||
        prefixLength >= nameCapacity) {
        setBlockError(block, "Error creating clip file");
        return;
    }
    // The first free name of _00 .. _99; when all exist, _99 is overwritten.
    char name[nameCapacity];
    const char* extension = clipExtensionFor(fileType);
    for (int32_t u = 0; u <= 99; ++u) {
        const int nameLength = std::snprintf(name, sizeof name, "%s_%.2d%s", prefix,
                                             static_cast<int>(u), extension);
        if (nameLength < 0 || nameLength >= nameCapacity) {
            setBlockError(block, "Error creating clip file");
            return;
        }
        if (u == 99 || !hostFileExists(name)) {
            break;
        }
    }

    ClipRequest clip{};
    clip.block = block;
    clip.fileName = name;
    clip.numChannels = paramInt(block, numChannelsParam);
    clip.first = first;
    clip.end = end;
    clip.audio = &block->inputPorts[0];
    clip.bufferSize = paramInt(block, bufferSizeParam);
    clip.channelMajor = paramInt(block, channelMajorParam) != 0;
    clip.sampleRate = paramReal(block, sampleRateParam);
    writer(clip);
}

// Declares 9 parameters, 1 discrete state, inputs audio [C x N] and save flags [N], 1 iWork.
void initSizes(BlockRecord* block) {
    const int32_t bufferSize = paramInt(block, bufferSizeParam);
    const int32_t numChannels = paramInt(block, numChannelsParam);
    block->numContStates = 0;
    block->numDiscStates = 1;
    block->numOutputPorts = 0;
    block->numInputPorts = 2;
    block->numSampleTimes = 1;
    block->numParams = 9;
    block->numIWork = 1;
    block->numRWork = 0;
    block->numPWork = 0;
    block->numModes = 0;
    block->options = 0;
    if (block->inputPorts != nullptr) {
        block->inputPorts[0].width = numChannels * bufferSize;
        block->inputPorts[0].directFeedthrough = 1;
        block->inputPorts[1].width = bufferSize;
        block->inputPorts[1].directFeedthrough = 1;
    }
}

// Resets stepCount.
void initConditions(BlockRecord* block) {
    stepCount(block) = 0;
}

// The block has no outputs.
void outputs(BlockRecord*, int32_t) {}

// Saves every run of on save flags [N] (read through `flags`) that ended within the newest M
// samples or exactly at their start.
template <typename Input>
void saveEndedRuns(BlockRecord* block, Input flags, int32_t bufferSize, int32_t newStart) {
    const auto isOn = [flags](int32_t k) { return isActiveValue(flags[k]); };

    // A run still on at the last sample of the previous step whose first off sample is the first
    // new sample ended exactly at the frame boundary. The scan below starts at the first new
    // sample and would never find it, so it is saved here, before the runs that follow it.
    if (newStart > 0 && isOn(newStart - 1) && !isOn(newStart)) {
        int32_t start = newStart - 1;
        while (start > 0 && isOn(start - 1)) {
            --start;
        }
        saveClip(block, start, newStart);
    }

    int32_t i = newStart;
    for (;;) {
        if constexpr (std::is_same_v<Input, ElementRun>) {
            i = firstOn(flags.start, i, bufferSize);
        } else {
            while (i < bufferSize && !isOn(i)) {
                ++i;
            }
        }
        if (i >= bufferSize) {
            break;
        }
        if (i == newStart) {
            // On at the first new sample: the run may have begun in an older frame.
            while (i > 0 && isOn(i - 1)) {
                --i;
            }
        }
        int32_t j = i > newStart ? i : newStart;
        while (j < bufferSize && isOn(j)) {
            ++j;
        }
        if (j >= bufferSize) {
            break;  // still on at the newest sample: saved once it has ended
        }
        saveClip(block, i, j);
        i = j;
    }
}

// Saves every run of on save flags [N] that ended within the newest M samples or exactly at
// their start, then counts the step. A flag is on when it is not 0.0 (NaN is off).
void update(BlockRecord* block, int32_t) {
    const int32_t bufferSize = paramInt(block, bufferSizeParam);
    int32_t frameSize = paramInt(block, frameSizeParam);
    frameSize = frameSize < 0 ? 0 : (frameSize > bufferSize ? bufferSize : frameSize);
    const int32_t newStart = bufferSize - frameSize;
    withInput(block->inputPorts[1],
              [&](auto flags) { saveEndedRuns(block, flags, bufferSize, newStart); });
    stepCount(block) = static_cast<int32_t>(static_cast<uint32_t>(stepCount(block)) + 1u);
}

// No file stays open between steps.
void terminate(BlockRecord*) {}

}  // namespace

void registerClipSave(BlockRecord* block) {
    block->methods.initSizes = initSizes;
    block->methods.initSampleTimes = setInheritedSampleTime;
    block->methods.initConditions = initConditions;
    block->methods.outputs = outputs;
    block->methods.update = update;
    block->methods.terminate = terminate;
}
