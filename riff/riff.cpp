#include "riff/riff.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/types.h>

#include "platform/host_fs.h"

// An open RIFF file. A file opened for reading is read through the service's own buffer (stdio
// buffering is off); a file opened for writing uses stdio's buffer.
struct RiffFile {
    std::FILE* stream;
    bool writing;
    int64_t fileSize;    // reading: length of the file at open
    uint8_t* buffer;     // reading: [bufferSize] bytes, or null when unbuffered
    int32_t bufferSize;
    int64_t bufferStart; // file offset of buffer[0]
    int32_t bufferFill;  // valid bytes in the buffer
    int32_t bufferPos;   // next byte to deliver
    bool failed;         // writing: some data did not reach the stream
};

namespace {

constexpr int32_t defaultBufferSize = 8192;
constexpr uint32_t riffId = riffFourCC('R', 'I', 'F', 'F');
constexpr uint32_t listId = riffFourCC('L', 'I', 'S', 'T');

uint32_t loadLe32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

void storeLe32(uint8_t* bytes, uint32_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
    bytes[2] = static_cast<uint8_t>(value >> 16);
    bytes[3] = static_cast<uint8_t>(value >> 24);
}

// Logical position of the next byte read or written.
int64_t tell(const RiffFile* file) {
    if (file->writing) return static_cast<int64_t>(ftello(file->stream));
    return file->bufferStart + file->bufferPos;
}

// Moves to absolute offset `target` (may lie past the end of a file being read); keeps the
// buffered bytes when the target is inside them.
bool seekTo(RiffFile* file, int64_t target) {
    if (target < 0) return false;
    if (!file->writing && target >= file->bufferStart &&
        target <= file->bufferStart + file->bufferFill) {
        file->bufferPos = static_cast<int32_t>(target - file->bufferStart);
        return true;
    }
    if (fseeko(file->stream, static_cast<off_t>(target), SEEK_SET) != 0) return false;
    file->bufferStart = target;
    file->bufferFill = 0;
    file->bufferPos = 0;
    return true;
}

// Reads up to `count` bytes from the stream at the logical position into out[count], through the
// buffer [bufferSize]; returns the bytes read, -1 on a stream error.
int32_t readBytes(RiffFile* file, uint8_t* out, int32_t count) {
    int32_t done = 0;
    while (done < count) {
        const int32_t available = file->bufferFill - file->bufferPos;
        if (available > 0) {
            const int32_t take = available < count - done ? available : count - done;
            std::memcpy(out + done, file->buffer + file->bufferPos, static_cast<std::size_t>(take));
            file->bufferPos += take;
            done += take;
            continue;
        }
        // The buffer is used up: the stream stands at its end.
        file->bufferStart += file->bufferFill;
        file->bufferFill = 0;
        file->bufferPos = 0;
        const int32_t wanted = count - done;
        if (file->buffer == nullptr || wanted >= file->bufferSize) {
            const std::size_t got = std::fread(out + done, 1, static_cast<std::size_t>(wanted), file->stream);
            file->bufferStart += static_cast<int64_t>(got);
            done += static_cast<int32_t>(got);
            if (got < static_cast<std::size_t>(wanted)) break;
        } else {
            const std::size_t got =
                std::fread(file->buffer, 1, static_cast<std::size_t>(file->bufferSize), file->stream);
            file->bufferFill = static_cast<int32_t>(got);
            if (got == 0) break;
        }
    }
    if (std::ferror(file->stream)) {
        std::clearerr(file->stream);
        return -1;
    }
    std::clearerr(file->stream);  // an end-of-file mark must not stick after a later seek
    return done;
}

// Writes data[count] at the current position; false when it did not all reach the stream.
bool writeBytes(RiffFile* file, const void* data, std::size_t count) {
    if (std::fwrite(data, 1, count, file->stream) != count) {
        file->failed = true;
        return false;
    }
    return true;
}

RiffFile* openWith(const char* path, const char* mode, bool writing) {
    std::FILE* stream = hostOpen(path, mode);
    if (stream == nullptr) return nullptr;
    RiffFile* file = new (std::nothrow) RiffFile{};
    if (file == nullptr) {
        std::fclose(stream);
        return nullptr;
    }
    file->stream = stream;
    file->writing = writing;
    if (!writing) {
        std::setvbuf(stream, nullptr, _IONBF, 0);
        if (fseeko(stream, 0, SEEK_END) != 0 || (file->fileSize = ftello(stream)) < 0 ||
            fseeko(stream, 0, SEEK_SET) != 0 || riffSetBuffer(file, defaultBufferSize) != 0) {
            riffClose(file);
            return nullptr;
        }
    }
    return file;
}

}  // namespace

// Opens `path` for buffered reading (own buffer [8192] until riffSetBuffer).
RiffFile* riffOpenRead(const char* path) { return openWith(path, "rb", false); }

// Creates or truncates `path` for writing.
RiffFile* riffOpenWrite(const char* path) { return openWith(path, "wb", true); }

// Finds the next chunk matching `flags` between the current position and the end of `parent`
// (or of the file); reads one 12-byte header at a time.
int32_t riffDescend(RiffFile* file, RiffChunk* chunk, const RiffChunk* parent, uint32_t flags) {
    if (file == nullptr || chunk == nullptr || file->writing) return -1;
    int64_t end = file->fileSize;
    if (parent != nullptr) {
        const int64_t parentEnd = static_cast<int64_t>(parent->dwDataOffset) + parent->cksize;
        if (parentEnd < end) end = parentEnd;
    }
    const bool findRiff = (flags & riffFindRiff) != 0;
    const bool findChunk = !findRiff && (flags & riffFindChunk) != 0;
    for (int64_t at = tell(file); at + 8 <= end;) {
        if (!seekTo(file, at)) return -1;
        uint8_t header[12];
        if (readBytes(file, header, 8) != 8) return -1;
        const uint32_t id = loadLe32(header);
        const uint32_t size = loadLe32(header + 4);
        const int64_t dataAt = at + 8;
        const bool isForm = id == riffId || id == listId;
        const int64_t next = dataAt + size + (size & 1u);
        uint32_t type = 0;
        if (isForm) {
            // A form's type lies inside both the form and the searched range.
            if (size < 4 || dataAt + 4 > end || readBytes(file, header + 8, 4) != 4) {
                at = next;
                continue;
            }
            type = loadLe32(header + 8);
        }
        const bool match = findRiff ? (id == riffId && type == chunk->fccType)
                                    : findChunk ? id == chunk->ckid : true;
        if (match) {
            if (dataAt > UINT32_MAX) return -1;  // the record cannot hold the offset
            chunk->ckid = id;
            chunk->cksize = size;
            chunk->fccType = type;
            chunk->dwDataOffset = static_cast<uint32_t>(dataAt);
            chunk->dwFlags = 0;
            return seekTo(file, isForm ? dataAt + 4 : dataAt) ? 0 : -1;
        }
        at = next;
    }
    return -1;
}

// Reading: moves past the chunk and its pad byte. Writing: fixes the size field [4] when the
// written length differs and adds the pad byte of an odd length.
int32_t riffAscend(RiffFile* file, RiffChunk* chunk) {
    if (file == nullptr || chunk == nullptr) return -1;
    if (!file->writing) {
        const int64_t end = static_cast<int64_t>(chunk->dwDataOffset) + chunk->cksize + (chunk->cksize & 1u);
        return seekTo(file, end) ? 0 : -1;
    }
    const int64_t at = tell(file);
    const int64_t written = at - static_cast<int64_t>(chunk->dwDataOffset);
    if (at < 0 || chunk->dwDataOffset < 4 || written < 0 || written > UINT32_MAX) return -1;
    if (static_cast<uint32_t>(written) != chunk->cksize) {
        uint8_t size[4];
        storeLe32(size, static_cast<uint32_t>(written));
        if (!seekTo(file, static_cast<int64_t>(chunk->dwDataOffset) - 4) || !writeBytes(file, size, 4) ||
            !seekTo(file, at)) {
            file->failed = true;
            return -1;
        }
        chunk->cksize = static_cast<uint32_t>(written);
    }
    if ((written & 1) != 0) {
        const uint8_t pad = 0;
        if (!writeBytes(file, &pad, 1)) return -1;
    }
    return 0;
}

// Reads up to `count` bytes into buffer[count] from the current position onwards.
int32_t riffRead(RiffFile* file, void* buffer, int32_t count) {
    if (file == nullptr || file->writing || count < 0 || (buffer == nullptr && count > 0)) return -1;
    return readBytes(file, static_cast<uint8_t*>(buffer), count);
}

// Writes buffer[count] at the current position.
int32_t riffWrite(RiffFile* file, const void* buffer, int32_t count) {
    if (file == nullptr || !file->writing || count < 0 || (buffer == nullptr && count > 0)) return -1;
    if (count == 0) return 0;
    return writeBytes(file, buffer, static_cast<std::size_t>(count)) ? count : -1;
}

// Replaces the read buffer by a new one of `size` bytes (0 = unbuffered); the current position
// is kept. Only files opened for reading have a service buffer.
int32_t riffSetBuffer(RiffFile* file, int32_t size) {
    if (file == nullptr || file->writing || size < 0) return -1;
    uint8_t* fresh = nullptr;
    if (size > 0) {
        fresh = static_cast<uint8_t*>(std::malloc(static_cast<std::size_t>(size)));
        if (fresh == nullptr) return -1;
    }
    const int64_t at = tell(file);
    if (fseeko(file->stream, static_cast<off_t>(at), SEEK_SET) != 0) {
        std::free(fresh);
        return -1;
    }
    std::free(file->buffer);
    file->buffer = fresh;
    file->bufferSize = size;
    file->bufferStart = at;
    file->bufferFill = 0;
    file->bufferPos = 0;
    return 0;
}

// Writes a chunk header [8] (a RIFF form's [12]) at the current position.
int32_t riffCreateChunk(RiffFile* file, RiffChunk* chunk, uint32_t flags) {
    if (file == nullptr || chunk == nullptr || !file->writing) return -1;
    const int64_t at = tell(file);
    if (at < 0 || at + 8 > UINT32_MAX) return -1;
    const bool form = (flags & riffCreateRiff) != 0;
    if (form) chunk->ckid = riffId;
    uint8_t header[12];
    storeLe32(header, chunk->ckid);
    storeLe32(header + 4, chunk->cksize);
    storeLe32(header + 8, chunk->fccType);
    if (!writeBytes(file, header, form ? 12 : 8)) return -1;
    chunk->dwDataOffset = static_cast<uint32_t>(at + 8);
    chunk->dwFlags = 0;
    return 0;
}

// Closes the stream and releases the file and its buffer.
int32_t riffClose(RiffFile* file) {
    if (file == nullptr) return -1;
    bool failed = file->failed;
    if (file->writing && (std::fflush(file->stream) != 0 || std::ferror(file->stream))) failed = true;
    if (std::fclose(file->stream) != 0) failed = true;
    std::free(file->buffer);
    delete file;
    return failed ? -1 : 0;
}
