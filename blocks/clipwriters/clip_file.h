// Helpers shared by the clip writers that write through the buffered FILE layer: explicit byte
// composition, one record per write, and the common open/fail/finish frame.
#pragma once

#include <cstdint>
#include <cstdio>

#include "blocks/clipwriters/clip_writer.h"

// Number of sample frames of the clip, end - first (0 for an empty or reversed range).
inline int32_t clipLength(const ClipRequest& clip) {
    return clip.end > clip.first ? clip.end - clip.first : 0;
}

// Opens the clip's file with `mode`; on failure sets "Error creating clip file" and returns null.
std::FILE* clipOpen(const ClipRequest& clip, const char* mode);

// Closes the file after a failed write and sets "Error writing clip file".
void clipFailWrite(const ClipRequest& clip, std::FILE* file);

// Closes the file after the last item; a failed close (data that never reached the file) sets
// "Error writing clip file".
void clipFinish(const ClipRequest& clip, std::FILE* file);

// Writes bytes [size] as one record; true when the record was written.
inline bool clipPut(std::FILE* file, const uint8_t* bytes, std::size_t size) {
    return std::fwrite(bytes, size, 1, file) == 1;
}

// Writes a 16-bit value as one 2-byte record, low byte first.
inline bool clipPut16Le(std::FILE* file, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
    return clipPut(file, bytes, 2);
}

// Writes a 16-bit value as one 2-byte record, high byte first.
inline bool clipPut16Be(std::FILE* file, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    return clipPut(file, bytes, 2);
}

// Writes a 32-bit value as one 4-byte record, high byte first.
inline bool clipPut32Be(std::FILE* file, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return clipPut(file, bytes, 4);
}

// Item n (0 <= n < L x C) of the buffer's own order: channel after channel when the buffer is
// channel-major, interleaved otherwise. Gives the sample index s and the channel c.
inline void clipBufferOrder(const ClipRequest& clip, int32_t n, int32_t& s, int32_t& c) {
    if (clip.channelMajor) {
        const int32_t length = clipLength(clip);
        c = n / length;
        s = clip.first + n % length;
    } else {
        s = clip.first + n / clip.numChannels;
        c = n % clip.numChannels;
    }
}

// The 16-bit sample of element (s, c) as its unsigned bit pattern.
inline uint16_t clipSampleBits(const ClipRequest& clip, int32_t s, int32_t c) {
    return static_cast<uint16_t>(clipToInt16(clipSample(clip, s, c)));
}
