#include "blocks/from_wave_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "riff/riff.h"
#include "support/riff_bytes.h"

namespace {

using namespace riffTest;
namespace fs = std::filesystem;

// Parameters of one From Wave File instance.
struct WaveParams {
    double sampleRate = 22050.0;
    double frameSize = 4.0;
    double numChannels = 1.0;
    double channelMajor = 1.0;
    std::string fileName = "c:\\in.wav";
};

// A From Wave File block record built by hand: a root that is its own root, ModelInfo, the five
// parameters (the name as character codes, 1 x n), one output port, iWork [8] and pWork [5].
struct WaveBlock {
    explicit WaveBlock(const WaveParams& p) {
        values = {p.sampleRate, p.frameSize, p.numChannels, p.channelMajor};
        nameCodes.assign(p.fileName.begin(), p.fileName.end());
        for (int i = 0; i < 4; ++i) params[i] = ParamValue{1.0, 1.0, &values[static_cast<std::size_t>(i)]};
        params[4] = ParamValue{1.0, static_cast<double>(nameCodes.size()), nameCodes.data()};
        for (int i = 0; i < 5; ++i) paramPtrs[i] = &params[i];

        root.typeName = "kestrel9";
        root.path = "kestrel9";
        root.root = &root;
        root.info = &info;
        block.typeName = "S-Function";
        block.path = "kestrel9/From Wave File/S-Function";
        block.parent = &root;
        block.root = &root;
        block.info = &info;
        block.numParamsGiven = 5;
        block.params = paramPtrs;
        block.outputPorts = &port;
        block.iWork = iWork;
        block.pWork = pWork;
        block.sampleTimes = &sampleTime;
        block.offsetTimes = &offsetTime;
        block.sampleTimeTaskIds = &taskId;
        registerFromWaveFile(&block);
        block.methods.initSizes(&block);
        block.methods.initSampleTimes(&block);
        // The port keeps its declared width; a test with an absurd frame size gets a small buffer
        // (its start must fail before anything is written).
        const int32_t width = port.width > 0 ? (port.width < 65536 ? port.width : 65536) : 0;
        signal.assign(static_cast<std::size_t>(width), 0.0);
        port.signal = signal.data();
    }
    WaveBlock(const WaveBlock&) = delete;
    WaveBlock& operator=(const WaveBlock&) = delete;
    ~WaveBlock() {
        // Release what a test left open.
        if (pWork[1] != nullptr) riffClose(static_cast<RiffFile*>(pWork[1]));
        for (int slot : {0, 2, 3, 4}) std::free(pWork[slot]);
    }

    // Runs start; the error status ("" when healthy).
    std::string start() {
        block.methods.start(&block);
        return status();
    }
    // Runs outputs; the output port afterwards.
    std::vector<double> step() {
        block.methods.outputs(&block, 0);
        return signal;
    }
    std::string status() const { return root.errorStatus == nullptr ? "" : root.errorStatus; }
    bool slotsEmpty() const {
        for (void* slot : pWork) {
            if (slot != nullptr) return false;
        }
        return true;
    }

    std::vector<double> values;
    std::vector<double> nameCodes;
    ParamValue params[5]{};
    const ParamValue* paramPtrs[5]{};
    BlockRecord root{};
    BlockRecord block{};
    ModelInfo info{};
    OutputPort port{};
    std::vector<double> signal;
    int32_t iWork[8]{};
    void* pWork[5]{};
    double sampleTime = 0.0;
    double offsetTime = 0.0;
    int32_t taskId = 0;
};

// Open descriptors of this process.
int openDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

Bytes wave(const Bytes& format, const Bytes& data, const Bytes& before = {}, const Bytes& after = {}) {
    return form("RIFF", "WAVE", concat({before, chunk("fmt ", format), chunk("data", data), after}));
}

const Bytes kMono16 = formatRecord(1, 1, 22050, 2, 16);

class FromWaveFile : public TempRoot {
protected:
    void put(const std::string& name, const Bytes& bytes) { writeBytes(root / name, bytes); }
};

TEST_F(FromWaveFile, DeclaresSizesAndSampleTime) {
    const struct {
        double channels;
        double frameSize;
        int32_t width;
    } cases[] = {{1, 8192, 8192}, {2, 4, 8}, {65537, 4, 4}, {1.5, 3.4, 6}};
    for (const auto& c : cases) {
        WaveParams p;
        p.numChannels = c.channels;
        p.frameSize = c.frameSize;
        WaveBlock b(p);
        EXPECT_EQ(b.port.width, c.width) << c.channels;
        EXPECT_EQ(b.block.numOutputPorts, 1);
        EXPECT_EQ(b.block.numInputPorts, 0);
        EXPECT_EQ(b.block.numParams, 5);
        EXPECT_EQ(b.block.numIWork, 8);
        EXPECT_EQ(b.block.numPWork, 5);
        EXPECT_EQ(b.block.numRWork, 0);
        EXPECT_EQ(b.block.numSampleTimes, 1);
    }
    WaveParams model;
    model.frameSize = 8192.4;
    WaveBlock b(model);
    EXPECT_EQ(b.sampleTime, 8192.0 / 22050.0);
    EXPECT_NEAR(b.sampleTime, 0.3715192743764172, 1e-16);
    EXPECT_EQ(b.offsetTime, 0.0);
    EXPECT_EQ(b.block.methods.initConditions, nullptr);
    EXPECT_EQ(b.block.methods.update, nullptr);
    EXPECT_EQ(b.block.methods.derivatives, nullptr);
}

TEST_F(FromWaveFile, HeaderFailuresCloseTheFileAndFreeEverything) {
    const Bytes data = samples16({1, 2});
    Bytes truncatedFormat = wave(kMono16, data);
    truncatedFormat.resize(12 + 8 + 10);  // the file ends inside "fmt "
    const struct {
        const char* what;
        Bytes bytes;
        const char* message;
    } cases[] = {
        {"stereo file", wave(formatRecord(1, 2, 22050, 4, 16), data), "File contains wrong number of channels (2)"},
        {"44100 Hz file", wave(formatRecord(1, 1, 44100, 2, 16), data), "File has wrong sample rate (44100 Hz)"},
        {"both wrong", wave(formatRecord(1, 6, 44100, 12, 16), data), "File contains wrong number of channels (6)"},
        {"float format", wave(formatRecord(3, 1, 22050, 4, 32), data), "Wave file is not in PCM format"},
        {"float stereo", wave(formatRecord(3, 2, 44100, 8, 32), data), "Wave file is not in PCM format"},
        {"not RIFF", concat({Bytes{'J', 'U', 'N', 'K'}, wave(kMono16, data)}), "Error reading file header"},
        {"RIFF of another form", form("RIFF", "AVI ", concat({chunk("fmt ", kMono16), chunk("data", data)})),
         "Error reading file header"},
        {"no fmt", form("RIFF", "WAVE", chunk("data", data)), "Error reading file header"},
        {"fmt after data", form("RIFF", "WAVE", concat({chunk("data", data), chunk("fmt ", kMono16)})),
         "Error reading file header"},
        {"short fmt", form("RIFF", "WAVE", concat({chunk("fmt ", Bytes(kMono16.begin(), kMono16.begin() + 14)),
                                                   chunk("data", data)})),
         "Error reading file header"},
        {"file ends in fmt", truncatedFormat, "Error reading file header"},
        {"no data", form("RIFF", "WAVE", chunk("fmt ", kMono16)), "Error reading file header"},
        {"data outside the form", concat({form("RIFF", "WAVE", chunk("fmt ", kMono16)), chunk("data", data)}),
         "Error reading file header"},
        {"empty file", Bytes{}, "Error reading file header"},
    };
    const int before = openDescriptors();
    for (const auto& c : cases) {
        put("in.wav", c.bytes);
        WaveBlock b(WaveParams{});
        EXPECT_EQ(b.start(), c.message) << c.what;
        EXPECT_TRUE(b.slotsEmpty()) << c.what;
        EXPECT_EQ(openDescriptors(), before) << c.what;
    }
    WaveBlock missing(WaveParams{.fileName = "c:\\missing.wav"});
    EXPECT_EQ(missing.start(), "Error opening file");
    EXPECT_TRUE(missing.slotsEmpty());
}

TEST_F(FromWaveFile, NameRules) {
    const std::string a120(120, 'a');
    const struct {
        std::string name;      // the fileName parameter
        std::string onDisk;    // file created in the drive root
        std::string message;   // "" = start succeeds
        std::string filePath;  // the name the block used
    } cases[] = {
        {"c:\\song", "song.wav", "", "c:\\song.wav"},
        {"c:\\song.wav", "song.wav", "", "c:\\song.wav"},
        {"c:\\SONG.WAV", "SONG.WAV", "", "c:\\SONG.WAV"},
        {"c:\\song.Wav", "song.Wav", "", "c:\\song.Wav"},
        {"c:\\song.wa", "song.wa.wav", "", "c:\\song.wa.wav"},
        {"c:\\song.wa", "song.wa", "Error opening file", ""},
        {".wav", ".wav.wav", "", ".wav.wav"},
        {"c:\\" + a120, a120 + ".wav", "", "c:\\" + a120 + ".wav"},  // 127 characters
        {"c:\\" + a120 + "a", a120 + "a.wav", "File name too long", ""},  // 128 only after ".wav"
        {"c:\\" + a120 + "a.wav", a120 + "a.wav", "File name too long", ""},
        {"c:\\a+b.wav", "a+b.wav", "File name must not contain a \"+\" character", ""},
        {"c:\\" + a120 + "+", a120 + "+.wav", "File name too long", ""},
    };
    const fs::path cwd = fs::current_path();
    fs::current_path(root);  // ".wav" has no drive
    for (const auto& c : cases) {
        put(c.onDisk, wave(kMono16, samples16({1})));
        WaveBlock b(WaveParams{.fileName = c.name});
        EXPECT_EQ(b.start(), c.message) << c.name;
        if (c.message.empty()) {
            ASSERT_NE(b.pWork[2], nullptr) << c.name;
            EXPECT_EQ(std::string(static_cast<const char*>(b.pWork[2])), c.filePath) << c.name;
        } else {
            EXPECT_TRUE(b.slotsEmpty()) << c.name;
        }
        fs::remove(root / c.onDisk);
    }
    fs::current_path(cwd);
}

TEST_F(FromWaveFile, StartRecordsTheHeaderAndStandsAtTheFirstSample) {
    put("in.wav", wave(formatRecord(1, 2, 22050, 4, 16), samples16({1, 2, 3, 4, 5, 6})));
    WaveBlock b(WaveParams{.numChannels = 2.0});
    ASSERT_EQ(b.start(), "");
    EXPECT_EQ(std::vector<int32_t>(b.iWork, b.iWork + 8), (std::vector<int32_t>{0, 3, 16, 22050, 2, 4, 1, 1}));
    for (void* slot : b.pWork) EXPECT_NE(slot, nullptr);
    const RiffChunk* data = static_cast<const RiffChunk*>(b.pWork[3]);
    EXPECT_EQ(data->ckid, riffFourCC('d', 'a', 't', 'a'));
    EXPECT_EQ(data->cksize, 12u);
    const RiffChunk* riff = static_cast<const RiffChunk*>(b.pWork[4]);
    EXPECT_EQ(riff->fccType, riffFourCC('W', 'A', 'V', 'E'));
}

TEST_F(FromWaveFile, ChunkLayoutsAroundTheFormatAndData) {
    Bytes longFormat = kMono16;
    appendLe16(longFormat, 0);  // an 18-byte record with its extension size
    Bytes oddFormat = kMono16;
    oddFormat.push_back(0x5A);  // 17 bytes, followed by a pad byte
    const Bytes list = form("LIST", "INFO", chunk("INAM", {'x', 'y', 'z'}));
    const Bytes odd = chunk("junk", {9, 9, 9});
    const Bytes data = samples16({-2, 3, 4, 16384});
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"18-byte fmt", wave(longFormat, data)},
        {"17-byte fmt with pad", wave(oddFormat, data)},
        {"LIST before fmt", wave(kMono16, data, list)},
        {"odd chunk before data", form("RIFF", "WAVE", concat({chunk("fmt ", kMono16), odd, chunk("data", data)}))},
        {"all of them", form("RIFF", "WAVE", concat({list, chunk("fmt ", oddFormat), odd, chunk("data", data)}))},
    };
    const std::vector<double> expected = {-2 / 32768.0, 3 / 32768.0, 4 / 32768.0, 0.5};
    for (const auto& c : cases) {
        put("in.wav", c.bytes);
        WaveBlock b(WaveParams{});
        ASSERT_EQ(b.start(), "") << c.what;
        EXPECT_EQ(b.step(), expected) << c.what;
    }
}

TEST_F(FromWaveFile, SilenceAfterTheEndOfTheFile) {
    const Bytes six = samples16({100, 200, 300, 400, 500, 600});
    const double q = 1.0 / 32768.0;
    const std::vector<double> zeros(4, 0.0);
    {
        put("in.wav", wave(kMono16, six));
        WaveBlock b(WaveParams{});
        ASSERT_EQ(b.start(), "");
        EXPECT_EQ(b.step(), (std::vector<double>{100 * q, 200 * q, 300 * q, 400 * q}));
        EXPECT_EQ(b.step(), (std::vector<double>{500 * q, 600 * q, 0, 0}));
        EXPECT_EQ(b.step(), zeros);
        EXPECT_EQ(b.step(), zeros);
        EXPECT_EQ(b.status(), "");
        EXPECT_EQ(b.iWork[0], 16);
        EXPECT_EQ(b.iWork[1], 6);
    }
    {
        // A trailing chunk's bytes come out as samples before the silence.
        put("in.wav", wave(kMono16, six, {}, chunk("tail", samples16({1000, -1000}))));
        WaveBlock b(WaveParams{});
        ASSERT_EQ(b.start(), "");
        b.step();
        EXPECT_EQ(b.step(), (std::vector<double>{500 * q, 600 * q, 0x6174 * q, 0x6C69 * q}));  // "ta", "il"
        EXPECT_EQ(b.step(), (std::vector<double>{4 * q, 0, 1000 * q, -1000 * q}));
        EXPECT_EQ(b.step(), zeros);
        EXPECT_EQ(b.status(), "");
    }
    {
        // 8-bit silence is 0x80, which converts to 0.0.
        put("in.wav", wave(formatRecord(1, 1, 22050, 1, 8), {0xFF, 0x40}));
        WaveBlock b(WaveParams{});
        ASSERT_EQ(b.start(), "");
        EXPECT_EQ(b.step(), (std::vector<double>{0.9921875, -0.5, 0.0, 0.0}));
        EXPECT_EQ(b.step(), zeros);
    }
}

TEST_F(FromWaveFile, ConvertsEightAndSixteenBitSamples) {
    const struct {
        const char* what;
        Bytes format;
        Bytes data;
        std::vector<double> expected;
    } cases[] = {
        {"8-bit", formatRecord(1, 1, 22050, 1, 8), {0x80, 0xFF, 0x00, 0x01},
         {0.0, 0.9921875, -1.0, -0.9921875}},
        {"16-bit", kMono16, samples16({-32768, 32767, 0, -1}), {-1.0, 0.999969482421875, 0.0, -3.0517578125e-05}},
    };
    for (const auto& c : cases) {
        put("in.wav", wave(c.format, c.data));
        WaveBlock b(WaveParams{});
        ASSERT_EQ(b.start(), "") << c.what;
        EXPECT_EQ(b.step(), c.expected) << c.what;
    }
}

TEST_F(FromWaveFile, OtherSampleWidthsOpenAndLeaveTheOutputAlone) {
    put("in.wav", wave(formatRecord(1, 1, 22050, 3, 24), Bytes(12, 0x7F)));
    WaveBlock b(WaveParams{});
    ASSERT_EQ(b.start(), "");
    EXPECT_EQ(b.step(), std::vector<double>(4, 0.0));
    b.signal.assign(4, 7.0);
    EXPECT_EQ(b.step(), std::vector<double>(4, 7.0));
    EXPECT_EQ(b.step(), std::vector<double>(4, 7.0));  // past the end of the file as well
    EXPECT_EQ(b.status(), "");
}

TEST_F(FromWaveFile, BothChannelLayouts) {
    // Sample frames (L0,R0) ... (L3,R3) with Lk = 10 + k and Rk = 20 + k in sample units.
    Bytes eight;
    Bytes sixteen;
    for (int k = 0; k < 4; ++k) {
        for (int c = 0; c < 2; ++c) {
            eight.push_back(static_cast<uint8_t>(128 + 10 * (c + 1) + k));
            appendLe16(sixteen, static_cast<uint32_t>(10 * (c + 1) + k));
        }
    }
    const struct {
        int bits;
        Bytes data;
        double unit;
    } files[] = {{8, eight, 1.0 / 128.0}, {16, sixteen, 1.0 / 32768.0}};
    for (const auto& f : files) {
        const double u = f.unit;
        const struct {
            double channelMajor;
            std::vector<double> expected;
        } layouts[] = {
            {1.0, {10 * u, 11 * u, 12 * u, 13 * u, 20 * u, 21 * u, 22 * u, 23 * u}},
            {0.0, {10 * u, 20 * u, 11 * u, 21 * u, 12 * u, 22 * u, 13 * u, 23 * u}},
        };
        for (const auto& layout : layouts) {
            put("in.wav", wave(formatRecord(1, 2, 22050, static_cast<uint32_t>(f.bits / 4), static_cast<uint32_t>(f.bits)), f.data));
            WaveBlock b(WaveParams{.numChannels = 2.0, .channelMajor = layout.channelMajor});
            ASSERT_EQ(b.start(), "") << f.bits;
            EXPECT_EQ(b.step(), layout.expected) << f.bits << " bits, channelMajor " << layout.channelMajor;
        }
    }
}

TEST_F(FromWaveFile, TerminateClosesTheFile) {
    put("in.wav", wave(kMono16, samples16({1, 2, 3, 4, 5})));
    const int before = openDescriptors();
    WaveBlock b(WaveParams{});
    ASSERT_EQ(b.start(), "");
    EXPECT_EQ(openDescriptors(), before + 1);
    b.step();
    b.block.methods.terminate(&b.block);
    EXPECT_EQ(b.status(), "");
    EXPECT_TRUE(b.slotsEmpty());
    EXPECT_EQ(b.iWork[6], 0);
    EXPECT_EQ(b.iWork[7], 0);
    EXPECT_EQ(openDescriptors(), before);
    // A second terminate finds nothing to do.
    b.block.methods.terminate(&b.block);
    EXPECT_EQ(b.status(), "");
}

TEST_F(FromWaveFile, RefusesFrameLayoutsThatWouldLeaveItsBuffers) {
    const struct {
        const char* what;
        Bytes format;
        WaveParams params;
    } cases[] = {
        {"blockAlign 0, 16-bit", formatRecord(1, 1, 22050, 0, 16), {}},
        {"blockAlign 0, 8-bit", formatRecord(1, 1, 22050, 0, 8), {}},
        {"blockAlign 0, 24-bit", formatRecord(1, 1, 22050, 0, 24), {}},
        {"blockAlign 1, 16-bit mono", formatRecord(1, 1, 22050, 1, 16), {}},
        {"blockAlign 3, 16-bit stereo", formatRecord(1, 2, 22050, 3, 16), {.numChannels = 2.0}},
        {"blockAlign 1, 8-bit stereo", formatRecord(1, 2, 22050, 1, 8), {.numChannels = 2.0}},
        {"frame bytes overflow", formatRecord(1, 1, 22050, 4, 16), {.frameSize = 1073741824.0}},
    };
    for (const auto& c : cases) {
        put("in.wav", wave(c.format, Bytes(16, 0x11)));
        WaveBlock b(c.params);
        EXPECT_EQ(b.start(), "Error reading file header") << c.what;
        EXPECT_TRUE(b.slotsEmpty()) << c.what;
    }
    // An output port narrower than channels x frameSize.
    put("in.wav", wave(formatRecord(1, 2, 22050, 4, 16), Bytes(16, 0x11)));
    WaveBlock narrow(WaveParams{.numChannels = 2.0});
    narrow.port.width = 4;
    EXPECT_EQ(narrow.start(), "Error reading file header");
    EXPECT_TRUE(narrow.slotsEmpty());
}

}  // namespace
