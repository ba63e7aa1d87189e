#include "blocks/from_wave_file.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "model/vector_clones.h"
#include "riff/riff.h"

namespace {

// Parameters.
constexpr int32_t paramSampleRate = 1;
constexpr int32_t paramFrameSize = 2;
constexpr int32_t paramNumChannels = 3;
constexpr int32_t paramChannelMajor = 4;
constexpr int32_t paramFileName = 5;

// Integer work slots.
constexpr int32_t framesRead = 0;
constexpr int32_t dataFrames = 1;
constexpr int32_t bitsPerSample = 2;
constexpr int32_t fileRate = 3;
constexpr int32_t fileChannels = 4;
constexpr int32_t blockAlign = 5;
constexpr int32_t inRiff = 6;
constexpr int32_t inData = 7;

// Pointer work slots.
constexpr int32_t frameBuffer = 0;
constexpr int32_t mmioHandle = 1;
constexpr int32_t filePath = 2;
constexpr int32_t dataChunk = 3;
constexpr int32_t riffChunk = 4;

// Holds the two messages that carry a number; shared by every instance of the type.
char formatMessage[80];

constexpr const char* errorMemory = "Error allocating memory";
constexpr const char* errorHeader = "Error reading file header";
constexpr const char* errorOpen = "Error opening file";

int32_t channelParam(const BlockRecord* block) { return paramInt(block, paramNumChannels) & 0xFFFF; }

// Closes the file and frees the frame buffer, the name and both chunk records (each if set).
void cleanUp(BlockRecord* block) {
    void** slots = block->pWork;
    if (slots[mmioHandle] != nullptr) {
        riffClose(static_cast<RiffFile*>(slots[mmioHandle]));
        slots[mmioHandle] = nullptr;
    }
    for (int32_t slot : {frameBuffer, filePath, dataChunk, riffChunk}) {
        if (slots[slot] != nullptr) {
            std::free(slots[slot]);
            slots[slot] = nullptr;
        }
    }
}

// Cleans up, then reports `message`.
void fail(BlockRecord* block, const char* message) {
    cleanUp(block);
    setBlockError(block, message);
}

bool endsWithWavIgnoringCase(const char* name, std::size_t length) {
    if (length <= 4) return false;
    const char* tail = name + length - 4;
    const char wav[] = ".wav";
    for (int i = 0; i < 4; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != wav[i]) return false;
    }
    return true;
}

uint32_t le16(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8);
}

uint32_t le32(const uint8_t* bytes) {
    return le16(bytes) | (le16(bytes + 2) << 16);
}

// Walks RIFF/WAVE -> "fmt " -> "data", checks the format against the parameters and leaves the
// file at the first sample; reads the 16-byte format record. Null on success, else the message.
const char* walkHeader(BlockRecord* block, RiffFile* file) {
    int32_t* iw = block->iWork;
    RiffChunk* riff = static_cast<RiffChunk*>(block->pWork[riffChunk]);
    RiffChunk* data = static_cast<RiffChunk*>(block->pWork[dataChunk]);

    riff->fccType = riffFourCC('W', 'A', 'V', 'E');
    if (riffDescend(file, riff, nullptr, riffFindRiff) != 0) return errorHeader;
    iw[inRiff] = 1;

    RiffChunk format{};
    format.ckid = riffFourCC('f', 'm', 't', ' ');
    if (riffDescend(file, &format, riff, riffFindChunk) != 0) return errorHeader;
    // A chunk shorter than the record would have the record completed by the next chunk's bytes.
    if (format.cksize < 16) return errorHeader;
    uint8_t record[16];
    if (riffRead(file, record, 16) != 16) return errorHeader;
    if (riffAscend(file, &format) != 0) return errorHeader;

    if (le16(record) != 1) return "Wave file is not in PCM format";
    iw[bitsPerSample] = static_cast<int32_t>(le16(record + 14));
    iw[fileRate] = static_cast<int32_t>(le32(record + 4));
    iw[fileChannels] = static_cast<int32_t>(le16(record + 2));
    iw[blockAlign] = static_cast<int32_t>(le16(record + 12));

    if (iw[fileChannels] != channelParam(block)) {
        std::snprintf(formatMessage, sizeof formatMessage, "File contains wrong number of channels (%ld)",
                      static_cast<long>(iw[fileChannels]));
        return formatMessage;
    }
    if (static_cast<double>(iw[fileRate]) != paramReal(block, paramSampleRate)) {
        std::snprintf(formatMessage, sizeof formatMessage, "File has wrong sample rate (%ld Hz)",
                      static_cast<long>(iw[fileRate]));
        return formatMessage;
    }

    // Refuse a frame layout that would divide by zero or reach outside the frame buffer or the
    // output: a sample frame must hold one sample of each channel.
    const int64_t channels = iw[fileChannels];
    const int64_t align = iw[blockAlign];
    const int64_t frameSize = paramInt(block, paramFrameSize);
    if (align == 0) return errorHeader;
    if ((iw[bitsPerSample] == 8 && align < channels) || (iw[bitsPerSample] == 16 && align < channels * 2)) {
        return errorHeader;
    }
    if (frameSize * align > INT32_MAX || frameSize * align < INT32_MIN) return errorHeader;
    const bool converts = iw[bitsPerSample] == 8 || iw[bitsPerSample] == 16;
    if (converts && frameSize > 0 &&
        (block->numOutputPorts < 1 || block->outputPorts == nullptr ||
         channels * frameSize > block->outputPorts[0].width)) {
        return errorHeader;
    }

    data->ckid = riffFourCC('d', 'a', 't', 'a');
    if (riffDescend(file, data, riff, riffFindChunk) != 0) return errorHeader;
    iw[inData] = 1;
    iw[dataFrames] = static_cast<int32_t>(data->cksize / static_cast<uint32_t>(iw[blockAlign]));
    return nullptr;
}

// Declares 5 parameters, one output of (channels & 0xFFFF) x frameSize, iWork [8], pWork [5].
void initSizes(BlockRecord* block) {
    block->numContStates = 0;
    block->numDiscStates = 0;
    block->numOutputPorts = 1;
    block->numInputPorts = 0;
    block->numSampleTimes = 1;
    block->numParams = 5;
    block->numIWork = 8;
    block->numRWork = 0;
    block->numPWork = 5;
    block->numModes = 0;
    block->options = 0;
    if (block->outputPorts != nullptr) {
        const int64_t width = static_cast<int64_t>(channelParam(block)) * paramInt(block, paramFrameSize);
        block->outputPorts[0].width = static_cast<int32_t>(width);
    }
}

// One sample time: frameSize / sampleRate seconds, offset 0.
void initSampleTimes(BlockRecord* block) {
    block->sampleTimes[0] = static_cast<double>(paramInt(block, paramFrameSize)) / paramReal(block, paramSampleRate);
    block->offsetTimes[0] = 0.0;
}

// Opens the wave file, checks its header and allocates the frame buffer [frameSize x blockAlign].
void start(BlockRecord* block) {
    int32_t* iw = block->iWork;
    void** pw = block->pWork;
    for (int32_t slot = 0; slot < 5; ++slot) pw[slot] = nullptr;
    iw[inRiff] = 0;
    iw[inData] = 0;

    const ParamValue* name = paramValue(block, paramFileName);
    const double cols = std::trunc(name->cols);
    const double rows = std::trunc(name->rows);
    const double characters = (cols > 0.0 && rows > 0.0) ? cols * rows : 0.0;
    if (!(8.0 * characters + 5.0 <= static_cast<double>(INT32_MAX))) {
        fail(block, errorMemory);
        return;
    }
    const int32_t capacity = static_cast<int32_t>(8.0 * characters) + 5;
    char* path = static_cast<char*>(std::calloc(static_cast<std::size_t>(capacity), 1));
    if (path == nullptr) {
        fail(block, errorMemory);
        return;
    }
    pw[filePath] = path;
    if (textParamToString(name, path, capacity) != 0) {
        fail(block, "File name must be a string");
        return;
    }
    std::size_t length = std::strlen(path);
    if (!endsWithWavIgnoringCase(path, length)) {
        std::memcpy(path + length, ".wav", 5);
        length += 4;
    }

    pw[dataChunk] = std::calloc(1, sizeof(RiffChunk));
    if (pw[dataChunk] == nullptr) {
        fail(block, errorMemory);
        return;
    }
    pw[riffChunk] = std::calloc(1, sizeof(RiffChunk));
    if (pw[riffChunk] == nullptr) {
        fail(block, errorMemory);
        return;
    }

    if (length >= 128) {
        fail(block, "File name too long");
        return;
    }
    if (std::strchr(path, '+') != nullptr) {
        fail(block, "File name must not contain a \"+\" character");
        return;
    }

    RiffFile* file = riffOpenRead(path);
    if (file == nullptr) {
        fail(block, errorOpen);
        return;
    }
    pw[mmioHandle] = file;

    if (const char* message = walkHeader(block, file)) {
        fail(block, message);
        return;
    }

    const int32_t frameBytes = paramInt(block, paramFrameSize) * iw[blockAlign];
    if (riffSetBuffer(file, frameBytes) != 0) {
        fail(block, errorOpen);
        return;
    }
    pw[frameBuffer] = std::calloc(static_cast<std::size_t>(frameBytes > 0 ? frameBytes : 1), 1);
    if (pw[frameBuffer] == nullptr) {
        fail(block, errorMemory);
        return;
    }
    iw[framesRead] = 0;
}

#if !defined(KESTREL9_LITERAL)
// One channel of 16-bit samples: bytes [2 n] to y [n], element i in either layout.
KESTREL9_VECTOR_CLONES
void convertMono16(const uint8_t* __restrict bytes, double* __restrict y, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        // The file's little-endian sample is the host's own 16-bit value.
        int16_t s = 0;
        std::memcpy(&s, bytes + i * 2, sizeof s);
#else
        const uint8_t* at = bytes + i * 2;
        const int16_t s = static_cast<int16_t>(static_cast<uint16_t>(at[0] | (at[1] << 8)));
#endif
        y[i] = static_cast<double>(s) * 3.0517578125e-05;
    }
}
#endif

// Reads one frame [frameSize x blockAlign] bytes and converts it to the output
// [channels x frameSize] doubles; silence past the end of the file.
void outputs(BlockRecord* block, int32_t /*taskIndex*/) {
    int32_t* iw = block->iWork;
    RiffFile* file = static_cast<RiffFile*>(block->pWork[mmioHandle]);
    uint8_t* bytes = static_cast<uint8_t*>(block->pWork[frameBuffer]);
    if (file == nullptr || bytes == nullptr) {
        fail(block, "Error reading file");
        return;
    }
    const int32_t frameSize = paramInt(block, paramFrameSize);
    const int32_t frameBytes = frameSize * iw[blockAlign];
    const int32_t got = riffRead(file, bytes, frameBytes);
    if (got == -1) {
        fail(block, "Error reading file");
        return;
    }
    const int32_t bits = iw[bitsPerSample];
    if (got < frameBytes) {
        if (bits == 8) {
            std::memset(bytes + got, 0x80, static_cast<std::size_t>(frameBytes - got));
        } else if (bits == 16) {
            std::memset(bytes + got, 0x00, static_cast<std::size_t>(frameBytes - got));
        }
    }

    const int32_t channels = iw[fileChannels];
    const bool contiguous = paramInt(block, paramChannelMajor) != 0;
    double* y = block->outputPorts[0].signal;
    if (bits == 8) {
        for (int32_t i = 0; i < frameSize; ++i) {
            for (int32_t c = 0; c < channels; ++c) {
                const int32_t b = bytes[i * channels + c];
                const double value = static_cast<double>(b - 128) * 0.0078125;
                y[contiguous ? c * frameSize + i : i * channels + c] = value;
            }
        }
#if !defined(KESTREL9_LITERAL)
    } else if (bits == 16 && channels == 1) {
        convertMono16(bytes, y, frameSize);
#endif
    } else if (bits == 16) {
        for (int32_t i = 0; i < frameSize; ++i) {
            for (int32_t c = 0; c < channels; ++c) {
                const uint8_t* at = bytes + (i * channels + c) * 2;
                const int16_t s = static_cast<int16_t>(static_cast<uint16_t>(at[0] | (at[1] << 8)));
                const double value = static_cast<double>(s) * 3.0517578125e-05;
                y[contiguous ? c * frameSize + i : i * channels + c] = value;
            }
        }
    }
    // Wraps like the 32-bit counter it is instead of overflowing after 2^31 sample frames.
    iw[framesRead] = static_cast<int32_t>(static_cast<uint32_t>(iw[framesRead]) + static_cast<uint32_t>(frameSize));
}

// Leaves the data chunk and the RIFF form, then closes the file and frees everything.
void terminate(BlockRecord* block) {
    int32_t* iw = block->iWork;
    void** pw = block->pWork;
    RiffFile* file = static_cast<RiffFile*>(pw[mmioHandle]);
    if (iw[inData] != 0 && pw[dataChunk] != nullptr && file != nullptr) {
        if (riffAscend(file, static_cast<RiffChunk*>(pw[dataChunk])) != 0) {
            fail(block, "Error exiting data chunk");
            return;
        }
        iw[inData] = 0;
    }
    if (iw[inRiff] != 0 && pw[riffChunk] != nullptr && file != nullptr) {
        if (riffAscend(file, static_cast<RiffChunk*>(pw[riffChunk])) != 0) {
            fail(block, "Error exiting wave chunk");
            return;
        }
        iw[inRiff] = 0;
    }
    cleanUp(block);
}

}  // namespace

void registerFromWaveFile(BlockRecord* block) {
    block->methods.initSizes = initSizes;
    block->methods.initSampleTimes = initSampleTimes;
    block->methods.start = start;
    block->methods.outputs = outputs;
    block->methods.terminate = terminate;
}
