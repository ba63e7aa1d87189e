#include "blocks/clipwriters/clip_file.h"
#include "platform/text_format.h"

// ".txt" type 4: one text line per sample, each channel as "%.15e "; reads audio [N x C].
void writeTextClip(const ClipRequest& clip) {
    std::FILE* file = clipOpen(clip, "w");
    if (file == nullptr) {
        return;
    }
    for (int32_t s = clip.first; s < clip.end; ++s) {
        for (int32_t c = 0; c < clip.numChannels; ++c) {
            char text[40];
            formatExp15(clipSample(clip, s, c), text, sizeof text);
            if (std::fprintf(file, "%s ", text) < 0) {
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
