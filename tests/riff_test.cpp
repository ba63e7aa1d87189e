#include "riff/riff.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/riff_bytes.h"

namespace {

using namespace riffTest;
namespace fs = std::filesystem;

constexpr uint32_t idRiff = riffFourCC('R', 'I', 'F', 'F');
constexpr uint32_t idList = riffFourCC('L', 'I', 'S', 'T');
constexpr uint32_t idWave = riffFourCC('W', 'A', 'V', 'E');
constexpr uint32_t idFmt = riffFourCC('f', 'm', 't', ' ');
constexpr uint32_t idData = riffFourCC('d', 'a', 't', 'a');

const Bytes kFormat = formatRecord(1, 1, 22050, 2, 16);

// RIFF/WAVE { LIST/INFO { INAM "abc" + pad }, "fmt " [16], "odd " [3] + pad, "data" [4] },
// then a trailing chunk "tail" [2] outside the form. Offsets: LIST 12, fmt data 44, odd data 68,
// data data 80, tail 84, end 94.
Bytes sampleFile() {
    return concat({form("RIFF", "WAVE",
                        concat({form("LIST", "INFO", chunk("INAM", {'a', 'b', 'c'})), chunk("fmt ", kFormat),
                                chunk("odd ", {1, 2, 3}), chunk("data", {10, 11, 12, 13})})),
                   chunk("tail", {20, 21})});
}

class Riff : public TempRoot {
protected:
    // Writes `bytes` as c:\in.wav and opens it.
    RiffFile* openBytes(const Bytes& bytes) {
        writeBytes(root / "in.wav", bytes);
        return riffOpenRead("c:\\in.wav");
    }
};

// The walk of the wave reader: RIFF/WAVE, "fmt " (read 16 bytes, ascend), "data". Returns how
// many of its five steps succeeded; `rest` gets what a long read after "data" delivers.
int walk(RiffFile* file, Bytes* rest) {
    RiffChunk riff{};
    riff.fccType = idWave;
    if (riffDescend(file, &riff, nullptr, riffFindRiff) != 0) return 0;
    RiffChunk format{};
    format.ckid = idFmt;
    if (riffDescend(file, &format, &riff, riffFindChunk) != 0) return 1;
    uint8_t record[16];
    if (riffRead(file, record, 16) != 16 || Bytes(record, record + 16) != kFormat) return 2;
    if (riffAscend(file, &format) != 0) return 3;
    RiffChunk data{};
    data.ckid = idData;
    if (riffDescend(file, &data, &riff, riffFindChunk) != 0) return 4;
    uint8_t buffer[256];
    const int32_t got = riffRead(file, buffer, sizeof buffer);
    if (got < 0) return 4;
    rest->assign(buffer, buffer + got);
    return 5;
}

TEST_F(Riff, FindsChunksPastListAndOddSizedChunks) {
    RiffFile* file = openBytes(sampleFile());
    ASSERT_NE(file, nullptr);
    RiffChunk riff{};
    riff.fccType = idWave;
    ASSERT_EQ(riffDescend(file, &riff, nullptr, riffFindRiff), 0);
    EXPECT_EQ(riff.ckid, idRiff);
    EXPECT_EQ(riff.cksize, 76u);
    EXPECT_EQ(riff.dwDataOffset, 8u);

    RiffChunk format{};
    format.ckid = idFmt;
    ASSERT_EQ(riffDescend(file, &format, &riff, riffFindChunk), 0);
    EXPECT_EQ(format.cksize, 16u);
    EXPECT_EQ(format.dwDataOffset, 44u);
    uint8_t record[16];
    ASSERT_EQ(riffRead(file, record, 16), 16);
    EXPECT_EQ(Bytes(record, record + 16), kFormat);
    ASSERT_EQ(riffAscend(file, &format), 0);

    RiffChunk data{};
    data.ckid = idData;
    ASSERT_EQ(riffDescend(file, &data, &riff, riffFindChunk), 0);
    EXPECT_EQ(data.cksize, 4u);
    EXPECT_EQ(data.dwDataOffset, 80u);
    // Reads run on past the data chunk into the trailing chunk, up to the end of the file.
    uint8_t rest[64];
    ASSERT_EQ(riffRead(file, rest, 64), 14);
    EXPECT_EQ(Bytes(rest, rest + 14), (Bytes{10, 11, 12, 13, 't', 'a', 'i', 'l', 2, 0, 0, 0, 20, 21}));
    EXPECT_EQ(riffRead(file, rest, 64), 0);
    EXPECT_EQ(riffClose(file), 0);
}

TEST_F(Riff, AscendSkipsPadBytesAndListTypes) {
    RiffFile* file = openBytes(sampleFile());
    ASSERT_NE(file, nullptr);
    RiffChunk riff{};
    riff.fccType = idWave;
    ASSERT_EQ(riffDescend(file, &riff, nullptr, riffFindRiff), 0);
    // Without a find flag each descend enters the next chunk.
    RiffChunk list{};
    ASSERT_EQ(riffDescend(file, &list, &riff, 0), 0);
    EXPECT_EQ(list.ckid, idList);
    EXPECT_EQ(list.fccType, riffFourCC('I', 'N', 'F', 'O'));
    RiffChunk name{};
    ASSERT_EQ(riffDescend(file, &name, &list, 0), 0);
    EXPECT_EQ(name.ckid, riffFourCC('I', 'N', 'A', 'M'));
    EXPECT_EQ(name.cksize, 3u);
    ASSERT_EQ(riffAscend(file, &name), 0);
    RiffChunk none{};
    EXPECT_NE(riffDescend(file, &none, &list, 0), 0);  // the LIST holds nothing more
    ASSERT_EQ(riffAscend(file, &list), 0);

    const struct {
        uint32_t id;
        uint32_t size;
    } expected[] = {{idFmt, 16}, {riffFourCC('o', 'd', 'd', ' '), 3}, {idData, 4}};
    for (const auto& e : expected) {
        RiffChunk next{};
        ASSERT_EQ(riffDescend(file, &next, &riff, 0), 0);
        EXPECT_EQ(next.ckid, e.id);
        EXPECT_EQ(next.cksize, e.size);
        ASSERT_EQ(riffAscend(file, &next), 0);
    }
    RiffChunk after{};
    EXPECT_NE(riffDescend(file, &after, &riff, 0), 0);
    ASSERT_EQ(riffDescend(file, &after, nullptr, 0), 0);
    EXPECT_EQ(after.ckid, riffFourCC('t', 'a', 'i', 'l'));
    riffClose(file);
}

TEST_F(Riff, SearchStopsAtTheParentsEnd) {
    // "tail" lies after the form: not found within it, found without a parent.
    RiffFile* file = openBytes(sampleFile());
    ASSERT_NE(file, nullptr);
    RiffChunk riff{};
    riff.fccType = idWave;
    ASSERT_EQ(riffDescend(file, &riff, nullptr, riffFindRiff), 0);
    RiffChunk list{};
    ASSERT_EQ(riffDescend(file, &list, &riff, 0), 0);
    RiffChunk format{};
    format.ckid = idFmt;
    EXPECT_NE(riffDescend(file, &format, &list, riffFindChunk), 0);  // "fmt " follows the LIST
    riffClose(file);

    file = riffOpenRead("c:\\in.wav");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(riffDescend(file, &riff, nullptr, riffFindRiff), 0);
    RiffChunk tail{};
    tail.ckid = riffFourCC('t', 'a', 'i', 'l');
    EXPECT_NE(riffDescend(file, &tail, &riff, riffFindChunk), 0);
    riffClose(file);

    file = riffOpenRead("c:\\in.wav");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(riffDescend(file, &riff, nullptr, riffFindRiff), 0);
    ASSERT_EQ(riffDescend(file, &tail, nullptr, riffFindChunk), 0);
    EXPECT_EQ(tail.dwDataOffset, 92u);
    riffClose(file);

    // A form whose size ends before its "data" chunk.
    Bytes shortForm = sampleFile();
    shortForm[4] = 52;  // LIST and "fmt " only
    file = openBytes(shortForm);
    ASSERT_NE(file, nullptr);
    Bytes rest;
    EXPECT_EQ(walk(file, &rest), 4);
    riffClose(file);
}

TEST_F(Riff, FindRiffMatchesTheFormType) {
    const Bytes avi = form("RIFF", "AVI ", chunk("fmt ", kFormat));
    const Bytes wave = form("RIFF", "WAVE", concat({chunk("fmt ", kFormat), chunk("data", {7, 8})}));
    RiffFile* file = openBytes(avi);
    ASSERT_NE(file, nullptr);
    Bytes rest;
    EXPECT_EQ(walk(file, &rest), 0);
    riffClose(file);

    file = openBytes(concat({avi, wave}));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(walk(file, &rest), 5);
    EXPECT_EQ(rest, (Bytes{7, 8}));
    riffClose(file);
}

TEST_F(Riff, TruncatedFilesFailWhereTheirBytesEnd) {
    // Every prefix of the sample file: each step succeeds exactly when its bytes are present.
    const Bytes whole = sampleFile();
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        RiffFile* file = openBytes(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
        ASSERT_NE(file, nullptr) << n;
        Bytes rest;
        const int steps = walk(file, &rest);
        const int expected = n < 12 ? 0 : n < 44 ? 1 : n < 60 ? 2 : n < 80 ? 4 : 5;
        EXPECT_EQ(steps, expected) << n;
        if (steps == 5) {
            EXPECT_EQ(rest, Bytes(whole.begin() + 80, whole.begin() + static_cast<std::ptrdiff_t>(n))) << n;
        }
        riffClose(file);
    }
}

TEST_F(Riff, HostileSizesNeverLeadOutsideTheFile) {
    const Bytes fmt = chunk("fmt ", kFormat);
    const Bytes data = chunk("data", {1, 2});
    const struct {
        const char* what;
        Bytes bytes;
        int steps;
    } cases[] = {
        {"huge chunk before fmt", form("RIFF", "WAVE", concat({chunkHeader("junk", 0xFFFFFFFFu), fmt, data})), 1},
        {"huge even chunk before fmt", form("RIFF", "WAVE", concat({chunkHeader("junk", 0xFFFFFFFEu), fmt, data})), 1},
        {"huge data size", form("RIFF", "WAVE", concat({fmt, chunkHeader("data", 0xFFFFFFFFu), Bytes{1, 2}})), 5},
        {"huge RIFF size", concat({chunkHeader("RIFF", 0xFFFFFFFFu), Bytes{'W', 'A', 'V', 'E'}, fmt, data}), 5},
        {"RIFF too small for its type", concat({chunkHeader("RIFF", 2), Bytes{'W', 'A', 'V', 'E'}, fmt, data}), 0},
        {"RIFF of size 4", concat({chunkHeader("RIFF", 4), Bytes{'W', 'A', 'V', 'E'}, fmt, data}), 1},
        {"LIST too small for its type", form("RIFF", "WAVE", concat({chunkHeader("LIST", 1), Bytes{0, 0}, fmt, data})), 5},
        {"fmt larger than the form", form("RIFF", "WAVE", chunkHeader("fmt ", 0x7FFFFFF0u)), 2},
    };
    for (const auto& c : cases) {
        RiffFile* file = openBytes(c.bytes);
        ASSERT_NE(file, nullptr) << c.what;
        Bytes rest;
        EXPECT_EQ(walk(file, &rest), c.steps) << c.what;
        if (c.steps == 5) {
            EXPECT_EQ(rest, (Bytes{1, 2})) << c.what;
        }
        riffClose(file);
    }
}

TEST_F(Riff, AnyBufferSizeReadsTheSameBytes) {
    const Bytes whole = sampleFile();
    writeBytes(root / "in.wav", whole);
    for (int32_t size : {0, 1, 3, 7, 16, 93, 94, 4096}) {
        RiffFile* file = riffOpenRead("c:\\in.wav");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(riffSetBuffer(file, size), 0) << size;
        Bytes rest;
        ASSERT_EQ(walk(file, &rest), 5) << size;
        EXPECT_EQ(rest, Bytes(whole.begin() + 80, whole.end())) << size;
        riffClose(file);
    }
    // Changing the buffer keeps the position.
    RiffFile* file = riffOpenRead("c:\\in.wav");
    ASSERT_NE(file, nullptr);
    uint8_t head[5];
    ASSERT_EQ(riffRead(file, head, 5), 5);
    ASSERT_EQ(riffSetBuffer(file, 2), 0);
    uint8_t next[3];
    ASSERT_EQ(riffRead(file, next, 3), 3);
    EXPECT_EQ(Bytes(next, next + 3), Bytes(whole.begin() + 5, whole.begin() + 8));
    EXPECT_NE(riffSetBuffer(file, -1), 0);
    ASSERT_EQ(riffRead(file, next, 3), 3);
    EXPECT_EQ(Bytes(next, next + 3), Bytes(whole.begin() + 8, whole.begin() + 11));
    riffClose(file);
}

// Writes RIFF/WAVE { "fmt " [16], "data" [payload] } declaring the given sizes in the headers.
int32_t writeWave(const char* path, uint32_t riffSize, uint32_t dataSize, const Bytes& payload) {
    RiffFile* file = riffOpenWrite(path);
    if (file == nullptr) return -100;
    RiffChunk riff{};
    riff.fccType = idWave;
    riff.cksize = riffSize;
    RiffChunk format{};
    format.ckid = idFmt;
    format.cksize = 16;
    RiffChunk data{};
    data.ckid = idData;
    data.cksize = dataSize;
    int32_t failures = 0;
    failures += riffCreateChunk(file, &riff, riffCreateRiff) != 0;
    failures += riffCreateChunk(file, &format, 0) != 0;
    failures += riffWrite(file, kFormat.data(), 16) != 16;
    failures += riffAscend(file, &format) != 0;
    failures += riffCreateChunk(file, &data, 0) != 0;
    failures += riffWrite(file, payload.data(), static_cast<int32_t>(payload.size())) !=
                static_cast<int32_t>(payload.size());
    failures += riffAscend(file, &data) != 0;
    failures += riffAscend(file, &riff) != 0;
    failures += data.cksize != payload.size();
    return riffClose(file) != 0 ? -1 : failures;
}

TEST_F(Riff, WritesExactBytesAndFixesSizes) {
    const struct {
        const char* what;
        Bytes payload;
        uint32_t riffSize;
        uint32_t dataSize;
    } cases[] = {
        {"sizes known in advance", {1, 2, 3, 4}, 36 + 4, 4},
        {"sizes fixed on ascend", {1, 2, 3, 4}, 0, 0},
        {"odd length gets a pad byte", {1, 2, 3}, 0, 7},
        {"empty data", {}, 99, 99},
    };
    for (const auto& c : cases) {
        // A longer old file is truncated.
        writeBytes(root / "out.wav", Bytes(300, 0xEE));
        ASSERT_EQ(writeWave("c:\\out.wav", c.riffSize, c.dataSize, c.payload), 0) << c.what;
        const Bytes expected = form("RIFF", "WAVE", concat({chunk("fmt ", kFormat), chunk("data", c.payload)}));
        EXPECT_EQ(readBytes(root / "out.wav"), expected) << c.what;
    }
}

TEST_F(Riff, WrittenFileReadsBack) {
    ASSERT_EQ(writeWave("c:\\out.wav", 0, 0, {5, 6, 7}), 0);
    RiffFile* file = riffOpenRead("C:\\OUT.WAV");
    ASSERT_NE(file, nullptr);
    Bytes rest;
    EXPECT_EQ(walk(file, &rest), 5);
    EXPECT_EQ(rest, (Bytes{5, 6, 7, 0}));
    riffClose(file);
}

TEST_F(Riff, CloseReportsDataThatDidNotReachTheFile) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    RiffFile* file = riffOpenWrite("/dev/full");
    ASSERT_NE(file, nullptr);
    RiffChunk chunk{};
    chunk.ckid = idData;
    riffCreateChunk(file, &chunk, 0);
    riffWrite(file, "abcd", 4);
    EXPECT_NE(riffClose(file), 0);
}

TEST_F(Riff, RefusesMisuse) {
    writeBytes(root / "in.wav", sampleFile());
    fs::create_directories(root / "folder.wav");
    EXPECT_EQ(riffOpenRead("c:\\missing.wav"), nullptr);
    EXPECT_EQ(riffOpenRead("c:\\folder.wav"), nullptr);
    EXPECT_EQ(riffOpenRead("d:\\in.wav"), nullptr);
    EXPECT_EQ(riffOpenWrite("c:\\no folder\\out.wav"), nullptr);

    RiffFile* reader = riffOpenRead("c:\\in.wav");
    ASSERT_NE(reader, nullptr);
    uint8_t byte = 0;
    EXPECT_EQ(riffWrite(reader, &byte, 1), -1);
    EXPECT_EQ(riffRead(reader, &byte, -1), -1);
    RiffChunk chunk{};
    EXPECT_NE(riffCreateChunk(reader, &chunk, 0), 0);
    EXPECT_EQ(riffRead(reader, &byte, 1), 1);
    EXPECT_EQ(byte, 'R');  // nothing above moved the position
    riffClose(reader);

    RiffFile* writer = riffOpenWrite("c:\\out.wav");
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(riffRead(writer, &byte, 1), -1);
    EXPECT_NE(riffDescend(writer, &chunk, nullptr, 0), 0);
    EXPECT_EQ(riffWrite(writer, &byte, -1), -1);
    EXPECT_EQ(riffClose(writer), 0);
    EXPECT_EQ(fs::file_size(root / "out.wav"), 0u);
}

}  // namespace
