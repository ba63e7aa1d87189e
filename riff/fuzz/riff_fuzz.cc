// libFuzzer target for the RIFF reader: walks arbitrary bytes the way the wave reader does and
// enters every chunk it can reach. Not part of the normal build (the .cc is not globbed). Build:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. riff/fuzz/riff_fuzz.cc \
//     riff/riff.cpp platform/host_fs.cpp -o riff_fuzz && ./riff_fuzz -max_total_time=60
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <unistd.h>

#include "riff/riff.h"

namespace {

// Enters every chunk inside `parent` in turn, descending into forms, to a depth of 8.
void visit(RiffFile* file, const RiffChunk* parent, int depth) {
    RiffChunk chunk{};
    while (riffDescend(file, &chunk, parent, 0) == 0) {
        const bool form = chunk.ckid == riffFourCC('R', 'I', 'F', 'F') || chunk.ckid == riffFourCC('L', 'I', 'S', 'T');
        if (form && depth < 8) {
            visit(file, &chunk, depth + 1);
        } else {
            uint8_t bytes[64];
            riffRead(file, bytes, sizeof bytes);
        }
        if (riffAscend(file, &chunk) != 0) break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char path[64];
    std::snprintf(path, sizeof path, "/tmp/riff_fuzz_%ld.bin", static_cast<long>(getpid()));
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return 0;
    std::fwrite(data, 1, size, out);
    std::fclose(out);

    RiffFile* file = riffOpenRead(path);
    if (file == nullptr) return 0;
    RiffChunk riff{};
    riff.fccType = riffFourCC('W', 'A', 'V', 'E');
    if (riffDescend(file, &riff, nullptr, riffFindRiff) == 0) {
        RiffChunk format{};
        format.ckid = riffFourCC('f', 'm', 't', ' ');
        if (riffDescend(file, &format, &riff, riffFindChunk) == 0) {
            uint8_t record[16];
            riffRead(file, record, 16);
            riffAscend(file, &format);
            RiffChunk chunk{};
            chunk.ckid = riffFourCC('d', 'a', 't', 'a');
            if (riffDescend(file, &chunk, &riff, riffFindChunk) == 0) {
                riffSetBuffer(file, static_cast<int32_t>(size % 64));
                uint8_t frame[48];
                while (riffRead(file, frame, sizeof frame) > 0) {
                }
            }
        }
    }
    riffClose(file);

    file = riffOpenRead(path);
    if (file != nullptr) {
        visit(file, nullptr, 0);
        riffClose(file);
    }
    unlink(path);
    return 0;
}
