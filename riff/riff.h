// RIFF chunk service: buffered reading and writing of RIFF files with the operations the wave
// reader and the wave clip writer rely on. Files are opened through the host file layer.
// Chunk sizes are little-endian on every host; a chunk of odd size is followed by a pad byte.
#pragma once

#include <cstdint>

// Four-character code as stored in the file ("RIFF" = 'R' | 'I' << 8 | 'F' << 16 | 'F' << 24).
constexpr uint32_t riffFourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

// Chunk record (20 bytes): id, size of the data, form type (RIFF and LIST chunks), file offset
// of the chunk's data, flags.
struct RiffChunk {
    uint32_t ckid;
    uint32_t cksize;
    uint32_t fccType;
    uint32_t dwDataOffset;
    uint32_t dwFlags;
};

struct RiffFile;  // an open file; owned by whoever opened it until riffClose

// Flags.
constexpr uint32_t riffFindRiff = 0x20;     // descend: find a RIFF form of the record's fccType
constexpr uint32_t riffFindChunk = 0x10;    // descend: find a chunk of the record's ckid
constexpr uint32_t riffCreateRiff = 0x20;   // create: a RIFF form of the record's fccType

// Opens for buffered reading; null on failure.
RiffFile* riffOpenRead(const char* path);
// Creates or truncates for writing; null on failure.
RiffFile* riffOpenWrite(const char* path);

// Descends into the chunk described by `chunk` (found by the flag), searching from the current
// position to the end of `parent` (or of the file when parent is null). 0 when found: the record
// is filled and the file is positioned at the chunk's data (for a RIFF form, after its type).
int32_t riffDescend(RiffFile* file, RiffChunk* chunk, const RiffChunk* parent, uint32_t flags);

// Moves to the end of `chunk` (after its pad byte). When writing, rewrites the chunk's size if the
// written length differs and adds the pad byte of an odd length. 0 on success.
int32_t riffAscend(RiffFile* file, RiffChunk* chunk);

// Sequential read, not limited to the current chunk: bytes read (fewer at the end of the file,
// 0 after it), -1 on error.
int32_t riffRead(RiffFile* file, void* buffer, int32_t count);

// Sequential write: bytes written, -1 on error.
int32_t riffWrite(RiffFile* file, const void* buffer, int32_t count);

// Sets the size of the service's own I/O buffer. 0 on success.
int32_t riffSetBuffer(RiffFile* file, int32_t size);

// Writes a chunk header (id and size; for riffCreateRiff "RIFF", size and form type) at the
// current position and positions the file at the chunk's data. 0 on success.
int32_t riffCreateChunk(RiffFile* file, RiffChunk* chunk, uint32_t flags);

// Closes and releases the file. 0 when all written data reached the file.
int32_t riffClose(RiffFile* file);
