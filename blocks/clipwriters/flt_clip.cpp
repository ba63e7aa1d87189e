#include <cstring>

#include "blocks/clipwriters/clip_file.h"

// ".flt": 64-bit little-endian doubles in the buffer's own order, no header; reads audio [N x C].
void writeFltClip(const ClipRequest& clip) {
    std::FILE* file = clipOpen(clip, "wb");
    if (file == nullptr) {
        return;
    }
    const int32_t count = clipLength(clip) * clip.numChannels;
    for (int32_t n = 0; n < count; ++n) {
        int32_t s = 0;
        int32_t c = 0;
        clipBufferOrder(clip, n, s, c);
        const double value = clipSample(clip, s, c);
        uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        uint8_t bytes[8];
        for (int b = 0; b < 8; ++b) {
            bytes[b] = static_cast<uint8_t>(bits >> (8 * b));
        }
        if (!clipPut(file, bytes, sizeof bytes)) {
            clipFailWrite(clip, file);
            return;
        }
    }
    clipFinish(clip, file);
}
