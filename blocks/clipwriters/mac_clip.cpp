#include "blocks/clipwriters/clip_file.h"

// ".mac": 16-bit big-endian samples, channel after channel, no header; reads audio [N x C].
void writeMacClip(const ClipRequest& clip) {
    std::FILE* file = clipOpen(clip, "wb");
    if (file == nullptr) {
        return;
    }
    for (int32_t c = 0; c < clip.numChannels; ++c) {
        for (int32_t s = clip.first; s < clip.end; ++s) {
            if (!clipPut16Be(file, clipSampleBits(clip, s, c))) {
                clipFailWrite(clip, file);
                return;
            }
        }
    }
    clipFinish(clip, file);
}
