#include "blocks/clipwriters/clip_writer.h"

#include <cstdio>

#include "blocks/clipwriters/clip_file.h"
#include "platform/host_fs.h"

int16_t clipToInt16(double value) {
    // roundToInt32 is floor(x + 0.5); NaN and values beyond 32 bits give INT32_MIN (low bits 0).
    const int32_t wide = roundToInt32(value * 32767.0);
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(wide) & 0xFFFFu));
}

ClipWriterFn clipWriterFor(int32_t fileType) {
    static const ClipWriterFn writers[] = {writeWavClip,  writeMacClip,     writeGrxClip,
                                           writeTextClip, writeIntTextClip, writeFltClip,
                                           writeBinClip,  writeAifClip};
    return (fileType >= 1 && fileType <= 8) ? writers[fileType - 1] : nullptr;
}

const char* clipExtensionFor(int32_t fileType) {
    static const char* const extensions[] = {".wav", ".mac", ".grx", ".txt",
                                             ".txt", ".flt", ".bin", ".aif"};
    return (fileType >= 1 && fileType <= 8) ? extensions[fileType - 1] : nullptr;
}

std::FILE* clipOpen(const ClipRequest& clip, const char* mode) {
    std::FILE* file = hostOpen(clip.fileName, mode);
    if (file == nullptr) {
        setBlockError(clip.block, "Error creating clip file");
    }
    return file;
}

void clipFailWrite(const ClipRequest& clip, std::FILE* file) {
    std::fclose(file);
    setBlockError(clip.block, "Error writing clip file");
}

void clipFinish(const ClipRequest& clip, std::FILE* file) {
    if (std::fclose(file) != 0) {
        setBlockError(clip.block, "Error writing clip file");
    }
}
