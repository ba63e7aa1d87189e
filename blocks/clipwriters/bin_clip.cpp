#include "blocks/clipwriters/clip_file.h"

// ".bin": 16-bit little-endian samples in the buffer's own order, no header; reads audio [N x C].
void writeBinClip(const ClipRequest& clip) {
    std::FILE* file = clipOpen(clip, "wb");
    if (file == nullptr) {
        return;
    }
    const int32_t count = clipLength(clip) * clip.numChannels;
    for (int32_t n = 0; n < count; ++n) {
        int32_t s = 0;
        int32_t c = 0;
        clipBufferOrder(clip, n, s, c);
        if (!clipPut16Le(file, clipSampleBits(clip, s, c))) {
            clipFailWrite(clip, file);
            return;
        }
    }
    clipFinish(clip, file);
}
