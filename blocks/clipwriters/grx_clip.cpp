#include "blocks/clipwriters/clip_file.h"
#include "logging/matfile.h"

// ".grx": matrix file with "soundData" (L x C channel-major, else C x L) and "fs"; reads
// audio [N x C].
void writeGrxClip(const ClipRequest& clip) {
    std::FILE* file = clipOpen(clip, "wb");
    if (file == nullptr) {
        return;
    }
    const int32_t length = clipLength(clip);
    const int32_t rows = clip.channelMajor ? length : clip.numChannels;
    const int32_t cols = clip.channelMajor ? clip.numChannels : length;
    if (!matWriteHeader(file, rows, cols, 10) || !matWriteName(file, "soundData", 10)) {
        clipFailWrite(clip, file);
        return;
    }
    // Column by column; a column is one channel (channel-major) or one sample instant.
    const int32_t count = length * clip.numChannels;
    for (int32_t n = 0; n < count; ++n) {
        int32_t s = 0;
        int32_t c = 0;
        clipBufferOrder(clip, n, s, c);
        if (!matWriteValue(file, clipSample(clip, s, c))) {
            clipFailWrite(clip, file);
            return;
        }
    }
    if (!matWriteHeader(file, 1, 1, 3) || !matWriteName(file, "fs", 3) ||
        !matWriteValue(file, clip.sampleRate)) {
        clipFailWrite(clip, file);
        return;
    }
    clipFinish(clip, file);
}
