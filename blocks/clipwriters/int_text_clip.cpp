#include "blocks/clipwriters/clip_file.h"

// ".txt" type 5: one text line per sample, each channel's 16-bit value as "%6d "; reads
// audio [N x C].
void writeIntTextClip(const ClipRequest& clip) {
    std::FILE* file = clipOpen(clip, "w");
    if (file == nullptr) {
        return;
    }
    for (int32_t s = clip.first; s < clip.end; ++s) {
        for (int32_t c = 0; c < clip.numChannels; ++c) {
            const int value = clipToInt16(clipSample(clip, s, c));
            if (std::fprintf(file, "%6d ", value) < 0) {
                clipFailWrite(clip, file);
                return;
            }
        }
        if (std::fprintf(file, "\n") < 0) {
            clipFailWrite(clip, file);
            return;
        }
    }
    clipFinish(clip, file);
}
