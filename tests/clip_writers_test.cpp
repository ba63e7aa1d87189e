#include "blocks/clipwriters/clip_writer.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support/event_harness.h"

namespace {

using eventHarness::readBytes;
using eventHarness::TempDriveRoot;
using Bytes = std::vector<uint8_t>;

// Expected file contents, composed byte by byte.
struct ByteBuilder {
    Bytes bytes;
    ByteBuilder& text(const std::string& s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    ByteBuilder& raw(std::initializer_list<uint8_t> list) {
        bytes.insert(bytes.end(), list);
        return *this;
    }
    ByteBuilder& le(uint64_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
        return *this;
    }
    ByteBuilder& be(uint64_t value, int size) {
        for (int i = size - 1; i >= 0; --i) {
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
        return *this;
    }
    ByteBuilder& leDouble(double value) {
        uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        return le(bits, 8);
    }
};

// An audio buffer port of N samples per channel and the clip request that reads it.
struct ClipFixture {
    BlockRecord root{};
    std::vector<double> values;
    std::vector<const double*> ptrs;
    InputPort port{};
    ClipRequest clip{};

    ClipFixture(std::vector<double> buffer, int32_t channels, bool channelMajor, int32_t first,
                int32_t end, double sampleRate = 22050.0)
        : values(std::move(buffer)) {
        root.root = &root;
        for (const double& v : values) {
            ptrs.push_back(&v);
        }
        port.width = static_cast<int32_t>(values.size());
        port.signalPtrs = ptrs.data();
        clip.block = &root;
        clip.numChannels = channels;
        clip.first = first;
        clip.end = end;
        clip.audio = &port;
        clip.bufferSize = static_cast<int32_t>(values.size()) / channels;
        clip.channelMajor = channelMajor;
        clip.sampleRate = sampleRate;
    }

    // Runs the writer of `fileType` on `fileName`; returns the error status.
    const char* write(int32_t fileType, const char* fileName) {
        root.errorStatus = nullptr;
        clip.fileName = fileName;
        clipWriterFor(fileType)(clip);
        return root.errorStatus;
    }
};

// 16-bit code n as the audio value that converts back to it.
double code(int n) {
    return n / 32767.0;
}

TEST(ClipToInt16, RoundsWithoutSaturation) {
    struct Case {
        double value;
        int16_t sample;
    };
    const Case cases[] = {
        {0.0, 0},          {0.5, 16384},      {1.0, 32767},   {-1.0, -32767},
        {1.0001, -32766},  {2.0, -2},         {-0.5 / 32767.0, 0},
        {std::numeric_limits<double>::quiet_NaN(), 0},  // the x86 conversion gives INT32_MIN
        {1e10, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(clipToInt16(c.value), c.sample) << c.value;
    }
}

TEST(ClipWriterFor, CoversTypesOneToEight) {
    const char* const extensions[] = {".wav", ".mac", ".grx", ".txt",
                                      ".txt", ".flt", ".bin", ".aif"};
    const ClipWriterFn writers[] = {writeWavClip,  writeMacClip,     writeGrxClip, writeTextClip,
                                    writeIntTextClip, writeFltClip, writeBinClip, writeAifClip};
    for (int32_t t = 1; t <= 8; ++t) {
        EXPECT_EQ(clipWriterFor(t), writers[t - 1]) << t;
        EXPECT_STREQ(clipExtensionFor(t), extensions[t - 1]) << t;
    }
    for (const int32_t t : {0, 9, -1}) {
        EXPECT_EQ(clipWriterFor(t), nullptr) << t;
        EXPECT_EQ(clipExtensionFor(t), nullptr) << t;
    }
}

// The mono clip 0.0, 0.5, -1.0 at 22050 Hz in every format.
TEST(ClipWriters, MonoClipByteForByte) {
    TempDriveRoot drive;
    const std::string text4 =
        "0.000000000000000e+000 \n5.000000000000000e-001 \n-1.000000000000000e+000 \n";
    const std::string text5 = "     0 \n 16384 \n-32767 \n";
    struct Case {
        int32_t fileType;
        Bytes bytes;
    };
    const Case cases[] = {
        {1, ByteBuilder()
                .text("RIFF").le(42, 4).text("WAVE")
                .text("fmt ").le(16, 4)
                .le(1, 2).le(1, 2).le(22050, 4).le(44100, 4).le(2, 2).le(16, 2)
                .text("data").le(6, 4).raw({0x00, 0x00, 0x00, 0x40, 0x01, 0x80})
                .bytes},
        {2, {0x00, 0x00, 0x40, 0x00, 0x80, 0x01}},
        {3, ByteBuilder()
                .le(0, 4).le(1, 4).le(3, 4).le(0, 4).le(10, 4).text("soundData").raw({0})
                .leDouble(0.0).leDouble(0.5).leDouble(-1.0)
                .le(0, 4).le(1, 4).le(1, 4).le(0, 4).le(3, 4).text("fs").raw({0}).leDouble(22050.0)
                .bytes},
        {4, Bytes(text4.begin(), text4.end())},
        {5, Bytes(text5.begin(), text5.end())},
        {6, ByteBuilder().leDouble(0.0).leDouble(0.5).leDouble(-1.0).bytes},
        {7, {0x00, 0x00, 0x00, 0x40, 0x01, 0x80}},
        {8, ByteBuilder()
                .text("FORM").be(52, 4).text("AIFF")
                .text("COMM").be(18, 4).be(1, 2).be(3, 4).be(16, 2)
                .raw({0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0})
                .text("SSND").be(14, 4).be(0, 4).be(0, 4).raw({0x00, 0x00, 0x40, 0x00, 0x80, 0x01})
                .bytes},
    };
    const size_t sizes[] = {50, 6, 85, text4.size(), text5.size(), 24, 6, 60};
    // Junk before and after the clip: only [first, end) is written.
    ClipFixture fixture({0.25, 0.0, 0.5, -1.0, 0.75}, 1, false, 1, 4);
    for (const Case& c : cases) {
        const std::string name = "c:\\temp\\calls\\mono" + std::to_string(c.fileType);
        EXPECT_EQ(fixture.write(c.fileType, name.c_str()), nullptr) << c.fileType;
        const Bytes written = readBytes(drive.path("temp/calls/mono" + std::to_string(c.fileType)));
        EXPECT_EQ(written.size(), sizes[c.fileType - 1]) << c.fileType;
        EXPECT_EQ(written, c.bytes) << c.fileType;
    }
}

TEST(ClipWriters, ReplaceAnExistingFile) {
    TempDriveRoot drive;
    ClipFixture fixture({0.0, 0.5, -1.0}, 1, false, 0, 3);
    std::FILE* old = std::fopen(drive.path("temp/calls/old.bin").c_str(), "wb");
    ASSERT_NE(old, nullptr);
    std::fputs("a longer file that was here before", old);
    std::fclose(old);
    EXPECT_EQ(fixture.write(7, "c:\\temp\\calls\\old.bin"), nullptr);
    EXPECT_EQ(readBytes(drive.path("temp/calls/old.bin")),
              (Bytes{0x00, 0x00, 0x00, 0x40, 0x01, 0x80}));
}

constexpr int lineEndMarker = -99999;

// Decodes a written clip into the 16-bit codes it holds, in file order.
std::vector<int> decode(int32_t fileType, const Bytes& b) {
    std::vector<int> codes;
    auto le16 = [&](size_t at) { return static_cast<int16_t>(b[at] | (b[at + 1] << 8)); };
    auto be16 = [&](size_t at) { return static_cast<int16_t>((b[at] << 8) | b[at + 1]); };
    auto leDouble = [&](size_t at) {
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) {
            bits |= static_cast<uint64_t>(b[at + static_cast<size_t>(i)]) << (8 * i);
        }
        double v = 0.0;
        std::memcpy(&v, &bits, sizeof v);
        return static_cast<int>(clipToInt16(v));
    };
    switch (fileType) {
        case 1:
            for (size_t at = 44; at + 1 < b.size(); at += 2) codes.push_back(le16(at));
            break;
        case 2:
            for (size_t at = 0; at + 1 < b.size(); at += 2) codes.push_back(be16(at));
            break;
        case 3:  // soundData values only: they follow its 20-byte header and 10-byte name
            for (size_t at = 30; at + 8 <= b.size() - 31; at += 8) codes.push_back(leDouble(at));
            break;
        case 4:
        case 5: {
            // One code per blank-separated item, and a marker for each line end.
            std::istringstream lines(std::string(b.begin(), b.end()));
            std::string line;
            while (std::getline(lines, line)) {
                std::istringstream items(line);
                std::string item;
                while (items >> item) {
                    codes.push_back(fileType == 4 ? clipToInt16(std::stod(item)) : std::stoi(item));
                }
                codes.push_back(lineEndMarker);
            }
            break;
        }
        case 6:
            for (size_t at = 0; at + 8 <= b.size(); at += 8) codes.push_back(leDouble(at));
            break;
        case 7:
            for (size_t at = 0; at + 1 < b.size(); at += 2) codes.push_back(le16(at));
            break;
        case 8:
            for (size_t at = 54; at + 1 < b.size(); at += 2) codes.push_back(be16(at));
            break;
        default:
            break;
    }
    return codes;
}

// Two channels, the clip [1, 4) of a 4-sample buffer; sample s of channel c holds the code
// 10 c + s, so each written value names its own place.
TEST(ClipWriters, StereoOrderInBothLayouts) {
    TempDriveRoot drive;
    constexpr int lineEnd = lineEndMarker;
    const std::vector<int> channelAfterChannel = {1, 2, 3, 11, 12, 13};
    const std::vector<int> interleaved = {1, 11, 2, 12, 3, 13};
    const std::vector<int> lines = {1, 11, lineEnd, 2, 12, lineEnd, 3, 13, lineEnd};
    struct Case {
        int32_t fileType;
        std::vector<int> interleavedBuffer;  // order written for an interleaved buffer
        std::vector<int> channelMajorBuffer;  // order written for a channel-major buffer
    };
    const Case cases[] = {
        {1, interleaved, interleaved},
        {2, channelAfterChannel, channelAfterChannel},
        {3, interleaved, channelAfterChannel},
        {4, lines, lines},
        {5, lines, lines},
        {6, interleaved, channelAfterChannel},
        {7, interleaved, channelAfterChannel},
        {8, interleaved, interleaved},
    };
    ClipFixture interleavedFixture(
        {code(0), code(10), code(1), code(11), code(2), code(12), code(3), code(13)}, 2, false, 1, 4);
    ClipFixture channelMajorFixture(
        {code(0), code(1), code(2), code(3), code(10), code(11), code(12), code(13)}, 2, true, 1, 4);
    for (const Case& c : cases) {
        const std::string host = drive.path("temp/calls/stereo");
        EXPECT_EQ(interleavedFixture.write(c.fileType, "c:\\temp\\calls\\stereo"), nullptr);
        EXPECT_EQ(decode(c.fileType, readBytes(host)), c.interleavedBuffer) << c.fileType;
        EXPECT_EQ(channelMajorFixture.write(c.fileType, "c:\\temp\\calls\\stereo"), nullptr);
        EXPECT_EQ(decode(c.fileType, readBytes(host)), c.channelMajorBuffer) << c.fileType;
    }
}

// Header fields that depend on the channel count and the layout of the matrix.
TEST(ClipWriters, StereoHeaders) {
    TempDriveRoot drive;
    ClipFixture fixture({0, 0, 0, 0, 0, 0, 0, 0}, 2, true, 1, 4);
    const std::string host = drive.path("temp/calls/h");
    ASSERT_EQ(fixture.write(1, "c:\\temp\\calls\\h"), nullptr);
    Bytes b = readBytes(host);
    ASSERT_EQ(b.size(), 44u + 12u);
    EXPECT_EQ(Bytes(b.begin() + 4, b.begin() + 8), ByteBuilder().le(48, 4).bytes);
    EXPECT_EQ(Bytes(b.begin() + 22, b.begin() + 36),
              ByteBuilder().le(2, 2).le(22050, 4).le(88200, 4).le(4, 2).le(16, 2).bytes);
    EXPECT_EQ(Bytes(b.begin() + 40, b.begin() + 44), ByteBuilder().le(12, 4).bytes);

    ASSERT_EQ(fixture.write(8, "c:\\temp\\calls\\h"), nullptr);
    b = readBytes(host);
    ASSERT_EQ(b.size(), 54u + 12u);
    EXPECT_EQ(Bytes(b.begin() + 4, b.begin() + 8), ByteBuilder().be(58, 4).bytes);
    EXPECT_EQ(Bytes(b.begin() + 20, b.begin() + 28),
              ByteBuilder().be(2, 2).be(3, 4).be(16, 2).bytes);
    EXPECT_EQ(Bytes(b.begin() + 42, b.begin() + 46), ByteBuilder().be(20, 4).bytes);

    // soundData is L x C (3 x 2) channel-major and C x L (2 x 3) interleaved.
    ASSERT_EQ(fixture.write(3, "c:\\temp\\calls\\h"), nullptr);
    b = readBytes(host);
    EXPECT_EQ(b.size(), 30u + 48u + 31u);
    EXPECT_EQ(Bytes(b.begin() + 4, b.begin() + 12), ByteBuilder().le(3, 4).le(2, 4).bytes);
    fixture.clip.channelMajor = false;
    ASSERT_EQ(fixture.write(3, "c:\\temp\\calls\\h"), nullptr);
    b = readBytes(host);
    EXPECT_EQ(Bytes(b.begin() + 4, b.begin() + 12), ByteBuilder().le(2, 4).le(3, 4).bytes);
}

TEST(ClipWriters, FullScaleOverflowWraps) {
    TempDriveRoot drive;
    ClipFixture fixture({1.0001}, 1, false, 0, 1);
    ASSERT_EQ(fixture.write(5, "c:\\temp\\calls\\w.txt"), nullptr);
    EXPECT_EQ(eventHarness::readText(drive.path("temp/calls/w.txt")), "-32766 \n");
    ASSERT_EQ(fixture.write(2, "c:\\temp\\calls\\w.mac"), nullptr);
    EXPECT_EQ(readBytes(drive.path("temp/calls/w.mac")), (Bytes{0x80, 0x02}));
}

// The wave header carries the rounded rate, the AIFF header the exact one as an 80-bit real.
TEST(ClipWriters, SampleRateInTheHeaders) {
    TempDriveRoot drive;
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double rate;
        Bytes extended;
    };
    const Case cases[] = {
        {22050.0, {0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}},
        {22050.5, {0x40, 0x0D, 0xAC, 0x45, 0, 0, 0, 0, 0, 0}},
        {0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {-1.0, {0xBF, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}},
        {inf, {0x7F, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}},
        {std::numeric_limits<double>::quiet_NaN(), {0x7F, 0xFF, 0x40, 0, 0, 0, 0, 0, 0, 0}},
        {std::numeric_limits<double>::denorm_min(), {0x3C, 0x00, 0, 0, 0, 0, 0, 0, 0x08, 0x00}},
    };
    for (const Case& c : cases) {
        ClipFixture fixture({0.0}, 1, false, 0, 1, c.rate);
        ASSERT_EQ(fixture.write(8, "c:\\temp\\calls\\r.aif"), nullptr);
        const Bytes b = readBytes(drive.path("temp/calls/r.aif"));
        ASSERT_EQ(b.size(), 56u);
        EXPECT_EQ(Bytes(b.begin() + 28, b.begin() + 38), c.extended) << c.rate;
    }
    ClipFixture fixture({0.0}, 1, false, 0, 1, 22050.5);
    ASSERT_EQ(fixture.write(1, "c:\\temp\\calls\\r.wav"), nullptr);
    const Bytes b = readBytes(drive.path("temp/calls/r.wav"));
    EXPECT_EQ(Bytes(b.begin() + 24, b.begin() + 32), ByteBuilder().le(22051, 4).le(44102, 4).bytes);
    // The matrix file keeps the exact rate too.
    ASSERT_EQ(fixture.write(3, "c:\\temp\\calls\\r.grx"), nullptr);
    const Bytes m = readBytes(drive.path("temp/calls/r.grx"));
    EXPECT_EQ(Bytes(m.end() - 8, m.end()), ByteBuilder().leDouble(22050.5).bytes);
}

TEST(ClipWriters, AiffRefusesThreeChannels) {
    TempDriveRoot drive;
    ClipFixture fixture({0, 0, 0}, 3, false, 0, 1);
    EXPECT_STREQ(fixture.write(8, "c:\\temp\\calls\\three.aif"),
                 "AIFF clip file can only save up to two channels.");
    EXPECT_TRUE(drive.files("temp/calls").empty());
}

TEST(ClipWriters, MissingFolderIsACreateError) {
    TempDriveRoot drive;
    ClipFixture fixture({0.0, 0.5, -1.0}, 1, false, 0, 3);
    for (int32_t t = 1; t <= 8; ++t) {
        EXPECT_STREQ(fixture.write(t, "c:\\temp\\nothere\\clip"), "Error creating clip file") << t;
    }
    EXPECT_FALSE(eventHarness::hostPathExists(drive.path("temp/nothere")));
}

// /dev/full accepts the open and fails every write that reaches it: a short clip fails only
// when its buffered bytes are flushed at the close, a long one already while it is written.
TEST(ClipWriters, WriteFailureOnAFullDevice) {
    eventHarness::ScopedDriveRoot drive("/dev");
    // Checked before anything is written: a wrong mapping must not create a file in /dev.
    ASSERT_EQ(eventHarness::hostMapped("c:\\Full"), "/dev/full");
    for (const int32_t length : {3, 20000}) {
        const std::vector<double> samples(static_cast<size_t>(length), 0.25);
        ClipFixture fixture(samples, 1, false, 0, length);
        for (int32_t t = 1; t <= 8; ++t) {
            EXPECT_STREQ(fixture.write(t, "c:\\Full"), "Error writing clip file")
                << "type " << t << ", " << length << " samples";
        }
    }
}

// A file size limit makes the disk "full" after a number of bytes: the writer reports the
// failure and the partial file stays, holding the start of the clip.
TEST(ClipWriters, WriteFailureKeepsThePartialFile) {
    TempDriveRoot drive;
    constexpr rlim_t limit = 1000;
    const int32_t length = 5000;
    std::vector<double> samples;
    for (int32_t s = 0; s < length; ++s) {
        samples.push_back(code(s));
    }
    ClipFixture fixture(samples, 1, false, 0, length);
    for (int32_t t = 1; t <= 8; ++t) {
        ASSERT_EQ(fixture.write(t, "c:\\temp\\calls\\whole"), nullptr) << t;
        const Bytes whole = readBytes(drive.path("temp/calls/whole"));
        ASSERT_GT(whole.size(), limit) << t;

        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = limit;
        auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const char* error = fixture.write(t, "c:\\temp\\calls\\partial");
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        EXPECT_STREQ(error, "Error writing clip file") << t;
        const Bytes partial = readBytes(drive.path("temp/calls/partial"));
        EXPECT_EQ(partial.size(), limit) << t;
        const Bytes start(whole.begin(), whole.begin() + static_cast<long>(partial.size()));
        EXPECT_EQ(partial, start) << t;
    }
}

}  // namespace
