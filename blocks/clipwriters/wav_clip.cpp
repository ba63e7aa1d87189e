#include "blocks/clipwriters/clip_file.h"
#include "riff/riff.h"

namespace {

// Stores value little-endian in bytes [size].
void putLe(uint8_t* bytes, uint32_t value, int size) {
    for (int b = 0; b < size; ++b) {
        bytes[b] = static_cast<uint8_t>(value >> (8 * b));
    }
}

// Closes the file after a failed chunk operation or write and sets "Error writing clip file".
void failWav(const ClipRequest& clip, RiffFile* file) {
    riffClose(file);
    setBlockError(clip.block, "Error writing clip file");
}

}  // namespace

// ".wav": RIFF/WAVE, 16-bit PCM, interleaved samples, 44 + D bytes; reads audio [N x C].
void writeWavClip(const ClipRequest& clip) {
    RiffFile* file = riffOpenWrite(clip.fileName);
    if (file == nullptr) {
        setBlockError(clip.block, "Error creating clip file");
        return;
    }
    const uint32_t channels = static_cast<uint16_t>(clip.numChannels);
    const uint32_t rate = static_cast<uint32_t>(roundToInt32(clip.sampleRate));
    const uint32_t blockAlign = 2u * channels;
    const uint32_t dataSize = static_cast<uint32_t>(clipLength(clip)) * blockAlign;

    RiffChunk riff{};
    riff.fccType = riffFourCC('W', 'A', 'V', 'E');
    riff.cksize = 36u + dataSize;
    if (riffCreateChunk(file, &riff, riffCreateRiff) != 0) {
        failWav(clip, file);
        return;
    }
    RiffChunk format{};
    format.ckid = riffFourCC('f', 'm', 't', ' ');
    format.cksize = 16;
    if (riffCreateChunk(file, &format, 0) != 0) {
        failWav(clip, file);
        return;
    }
    uint8_t record[16];
    putLe(record, 1, 2);  // PCM
    putLe(record + 2, channels, 2);
    putLe(record + 4, rate, 4);
    putLe(record + 8, blockAlign * rate, 4);
    putLe(record + 12, blockAlign, 2);
    putLe(record + 14, 16, 2);
    if (riffWrite(file, record, 16) != 16 || riffAscend(file, &format) != 0) {
        failWav(clip, file);
        return;
    }
    RiffChunk data{};
    data.ckid = riffFourCC('d', 'a', 't', 'a');
    data.cksize = dataSize;
    if (riffCreateChunk(file, &data, 0) != 0) {
        failWav(clip, file);
        return;
    }
    for (int32_t s = clip.first; s < clip.end; ++s) {
        for (int32_t c = 0; c < clip.numChannels; ++c) {
            uint8_t bytes[2];
            putLe(bytes, clipSampleBits(clip, s, c), 2);
            if (riffWrite(file, bytes, 2) != 2) {
                failWav(clip, file);
                return;
            }
        }
    }
    if (riffAscend(file, &data) != 0 || riffAscend(file, &riff) != 0) {
        failWav(clip, file);
        return;
    }
    if (riffClose(file) != 0) {
        setBlockError(clip.block, "Error writing clip file");
    }
}
