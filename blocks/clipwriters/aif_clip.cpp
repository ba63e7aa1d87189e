#include <cstring>

#include "blocks/clipwriters/clip_file.h"

namespace {

// The 80-bit extended real of `value` into bytes [10], big-endian: sign and 15-bit exponent
// (bias 16383), then a 64-bit mantissa with an explicit integer bit.
void toExtended(double value, uint8_t* bytes) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const uint32_t sign = static_cast<uint32_t>(bits >> 63);
    const uint32_t exponent = static_cast<uint32_t>(bits >> 52) & 0x7FFu;
    const uint64_t fraction = bits & 0xFFFFFFFFFFFFFull;
    uint64_t mantissa = fraction << 11;
    uint32_t wide = 0;
    if (exponent == 0x7FF) {
        wide = 0x7FFF;
    } else if (exponent != 0) {
        wide = exponent + 15360;
        mantissa |= 0x8000000000000000ull;
    } else if (fraction != 0) {
        wide = 0x3C00;
    } else {
        mantissa = 0;
    }
    const uint32_t word = sign * 0x8000u + wide;
    bytes[0] = static_cast<uint8_t>(word >> 8);
    bytes[1] = static_cast<uint8_t>(word);
    for (int b = 0; b < 8; ++b) {
        bytes[2 + b] = static_cast<uint8_t>(mantissa >> (56 - 8 * b));
    }
}

// Writes a four-character id as one record.
bool putId(std::FILE* file, const char* id) {
    return clipPut(file, reinterpret_cast<const uint8_t*>(id), 4);
}

}  // namespace

// ".aif": AIFF, 16-bit big-endian interleaved samples, 54 + D bytes, at most two channels;
// reads audio [N x C].
void writeAifClip(const ClipRequest& clip) {
    if (clip.numChannels > 2) {
        setBlockError(clip.block, "AIFF clip file can only save up to two channels.");
        return;
    }
    std::FILE* file = clipOpen(clip, "wb");
    if (file == nullptr) {
        return;
    }
    const uint32_t length = static_cast<uint32_t>(clipLength(clip));
    const uint32_t dataSize = length * static_cast<uint32_t>(clip.numChannels) * 2u;
    uint8_t rate[10];
    toExtended(clip.sampleRate, rate);
    const bool headerWritten =
        putId(file, "FORM") && clipPut32Be(file, 46u + dataSize) && putId(file, "AIFF") &&
        putId(file, "COMM") && clipPut32Be(file, 18) &&
        clipPut16Be(file, static_cast<uint16_t>(clip.numChannels)) && clipPut32Be(file, length) &&
        clipPut16Be(file, 16) && clipPut(file, rate, sizeof rate) && putId(file, "SSND") &&
        clipPut32Be(file, dataSize + 8u) && clipPut32Be(file, 0) && clipPut32Be(file, 0);
    if (!headerWritten) {
        clipFailWrite(clip, file);
        return;
    }
    for (int32_t s = clip.first; s < clip.end; ++s) {
        for (int32_t c = 0; c < clip.numChannels; ++c) {
            if (!clipPut16Be(file, clipSampleBits(clip, s, c))) {
                clipFailWrite(clip, file);
                return;
            }
        }
    }
    clipFinish(clip, file);
}
