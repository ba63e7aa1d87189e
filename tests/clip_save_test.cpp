#include "blocks/clip_save.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/event_harness.h"

namespace {

using eventHarness::BlockHarness;
using eventHarness::TempDriveRoot;

struct Params {
    int32_t frameSize = 4;
    int32_t bufferSize = 16;
    int32_t numChannels = 1;
    double channelMajor = 0.0;
    std::string baseName = "Swisk";
    std::string directory = "c:\\temp\\calls";
    double fileType = 5;  // "%6d " text: each line reads back as the sample's code
    double stampKind = 0;
    double sampleRate = 22050.0;
};

// A Clip & Save instance with its audio buffer [C x N] and save flags [N].
struct ClipSave {
    BlockHarness harness;
    std::vector<double>* audio = nullptr;
    std::vector<double>* flags = nullptr;

    explicit ClipSave(const Params& s) {
        harness.addNumber(s.frameSize);
        harness.addNumber(s.bufferSize);
        harness.addNumber(s.numChannels);
        harness.addNumber(s.channelMajor);
        harness.addText(s.baseName);
        harness.addText(s.directory);
        harness.addNumber(s.fileType);
        harness.addNumber(s.stampKind);
        harness.addNumber(s.sampleRate);
        audio = &harness.addInput(s.numChannels * s.bufferSize);
        flags = &harness.addInput(s.bufferSize);
        harness.install(registerClipSave);
        // Each audio element's 16-bit value is its own index.
        for (size_t k = 0; k < audio->size(); ++k) {
            (*audio)[k] = static_cast<double>(k) / 32767.0;
        }
    }

    // Flags from a pattern: '0' off, '1' on, 'm' -1.0 (on), 'n' NaN (off).
    void setFlags(const std::string& pattern) {
        for (size_t k = 0; k < pattern.size(); ++k) {
            const char c = pattern[k];
            (*flags)[k] = c == '1' ? 1.0 : c == 'm' ? -1.0 : c == 'n' ? std::nan("") : 0.0;
        }
    }

    void update() { harness.update(); }
    int32_t stepCount() { return harness.iWork(0); }
};

// The "%6d " values of a type-5 clip, all lines in order.
std::vector<int> readCodes(const std::string& hostPath) {
    std::istringstream in(eventHarness::readText(hostPath));
    std::vector<int> codes;
    int value = 0;
    while (in >> value) {
        codes.push_back(value);
    }
    return codes;
}

std::vector<int> range(int first, int end) {
    std::vector<int> codes;
    for (int k = first; k < end; ++k) {
        codes.push_back(k);
    }
    return codes;
}

TEST(ClipSave, DeclaresItsSizesAndSlots) {
    Params s;
    s.numChannels = 2;
    ClipSave block(s);
    const BlockRecord& r = block.harness.block();
    EXPECT_EQ(r.numParams, 9);
    EXPECT_EQ(r.numDiscStates, 1);
    EXPECT_EQ(r.numInputPorts, 2);
    EXPECT_EQ(r.numOutputPorts, 0);
    EXPECT_EQ(r.numIWork, 1);
    EXPECT_EQ(r.numRWork + r.numPWork + r.numModes + r.numContStates, 0);
    EXPECT_EQ(r.inputPorts[0].width, 32);
    EXPECT_EQ(r.inputPorts[1].width, 16);
    EXPECT_EQ(r.inputPorts[0].directFeedthrough, 1);
    EXPECT_EQ(r.inputPorts[1].directFeedthrough, 1);
    EXPECT_EQ(r.sampleTimes[0], -1.0);
    EXPECT_EQ(r.offsetTimes[0], 1.0);
    EXPECT_EQ(r.methods.start, nullptr);
    EXPECT_EQ(r.methods.derivatives, nullptr);
    EXPECT_NE(r.methods.outputs, nullptr);
    EXPECT_NE(r.methods.terminate, nullptr);
}

// M = 4 new samples at the end of N = 16; each step's flags are given in full, oldest first.
TEST(ClipSave, RunScanSavesEachRunThatEndedInTheNewestFrame) {
    struct Case {
        const char* what;
        std::vector<std::string> steps;
        std::vector<std::vector<int>> clips;  // the codes of each saved clip, in saving order
    };
    const Case cases[] = {
        {"all off", {"0000000000000000"}, {}},
        {"a run that ended in an older frame", {"0001111000000000"}, {}},
        {"one run inside the newest frame", {"0000000000000110"}, {range(13, 15)}},
        {"a negative flag is on", {"00000000000000m0"}, {range(14, 15)}},
        {"two runs in one frame", {"0000000000001010"}, {range(12, 13), range(14, 15)}},
        {"starts at the first new sample after an off sample", {"0000000000001100"},
         {range(12, 14)}},
        {"began in an older frame", {"0000000001111100"}, {range(9, 14)}},
        {"began older, and a second run still on", {"0000000011111011"}, {range(8, 13)}},
        {"NaN is off", {"000000000000n1n0"}, {range(13, 14)}},
        {"NaN stops the backward move", {"0000000n11111100"}, {range(8, 14)}},
        {"on at the last sample: not yet", {"0000000000000111"}, {}},
        {"on at the last sample, ended in the next step",
         {"0000000000000111", "0000000001111100"}, {range(9, 14)}},
        {"on since the oldest sample, ended later",
         {"1111111111111111", "1111111111111111", "1111111111111000"}, {range(0, 13)}},
        {"ends exactly at the step boundary: saved by the next step",
         {"0000000000000011", "0000000000110000"}, {range(10, 12)}},
        {"ends at the boundary after running since the oldest sample",
         {"1111111111111111", "1111111111110000"}, {range(0, 12)}},
        {"ends at the boundary, then a new run in the newest frame",
         {"0000000000000001", "0000000000010110"}, {range(11, 12), range(13, 15)}},
    };
    for (const Case& c : cases) {
        TempDriveRoot drive;
        ClipSave block(Params{});
        for (size_t step = 0; step < c.steps.size(); ++step) {
            block.setFlags(c.steps[step]);
            block.update();
            EXPECT_EQ(block.stepCount(), static_cast<int32_t>(step + 1)) << c.what;
        }
        EXPECT_EQ(block.harness.error(), nullptr) << c.what;
        std::vector<std::string> expectedNames;
        for (size_t n = 0; n < c.clips.size(); ++n) {
            expectedNames.push_back("Swisk_0" + std::to_string(n) + ".txt");
        }
        ASSERT_EQ(drive.files("temp/calls"), expectedNames) << c.what;
        for (size_t n = 0; n < c.clips.size(); ++n) {
            EXPECT_EQ(readCodes(drive.path("temp/calls/" + expectedNames[n])), c.clips[n])
                << c.what << ", clip " << n;
        }
    }
}

// The clip request carries the channel count, buffer size and rounded layout flag.
TEST(ClipSave, StereoClipsFollowTheBufferLayout) {
    struct Case {
        double channelMajor;
        std::vector<int> codes;  // ".bin" writes the buffer's own order
    };
    const Case cases[] = {
        {0.0, {26, 27, 28, 29}},         // interleaved: element s * 2 + c
        {0.4, {26, 27, 28, 29}},         // rounds to 0
        {1.0, {13, 14, 29, 30}},         // channel-major: element s + 16 c
    };
    for (const Case& c : cases) {
        TempDriveRoot drive;
        Params s;
        s.numChannels = 2;
        s.channelMajor = c.channelMajor;
        s.fileType = 7;
        ClipSave block(s);
        block.setFlags("0000000000000110");
        block.update();
        ASSERT_EQ(block.harness.error(), nullptr);
        const std::vector<uint8_t> bytes =
            eventHarness::readBytes(drive.path("temp/calls/Swisk_00.bin"));
        std::vector<int> codes;
        for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
            codes.push_back(bytes[at] | (bytes[at + 1] << 8));
        }
        EXPECT_EQ(codes, c.codes) << c.channelMajor;
    }
}

TEST(ClipSave, NamesCarryTheElapsedSignalTime) {
    struct Case {
        int32_t stepCount;
        int32_t start;  // first on sample
        const char* name;
    };
    const Case cases[] = {
        {9, 30000, "Swisk_000.00.04_00.wav"},
        {0, 24576, "Swisk_000.00.01_00.wav"},
        {161, 24576, "Swisk_000.01.00_00.wav"},     // 1343488 samples = 60.93 s
        {300000, 24576, "Swisk_030.57.36_00.wav"},  // beyond 2^31 samples
        {3000000, 24576, "Swisk_309.35.58_00.wav"},
    };
    for (const Case& c : cases) {
        TempDriveRoot drive;
        Params s;
        s.frameSize = 8192;
        s.bufferSize = 32768;
        s.fileType = 1;
        s.stampKind = 3;
        ClipSave block(s);
        block.harness.iWork(0) = c.stepCount;
        for (int32_t k = c.start; k < c.start + 10; ++k) {
            (*block.flags)[static_cast<size_t>(k)] = 1.0;
        }
        block.update();
        EXPECT_EQ(block.harness.error(), nullptr);
        EXPECT_EQ(drive.files("temp/calls"), std::vector<std::string>{c.name}) << c.stepCount;
        const std::string host = drive.path(std::string("temp/calls/") + c.name);
        EXPECT_EQ(eventHarness::readBytes(host).size(), 44u + 20u);
    }
}

TEST(ClipSave, NamesCarryTheCalendarTime) {
    eventHarness::FixedClock clock(eventHarness::tuesdayMarch5th2024);
    struct Case {
        double stampKind;
        const char* zone;
        const char* name;
    };
    const Case cases[] = {
        {1, "EST5", "Swisk_2024-03-05_14.07.09_00.wav"},   // UTC whatever the zone
        {2, "EST5", "Swisk_2024-03-05_09.07.09_00.wav"},   // UTC - 5 h
        {2, "XYZ-10", "Swisk_2024-03-06_00.07.09_00.wav"}, // UTC + 10 h: the next day
        {0, "EST5", "Swisk_00.wav"},
        {4, "EST5", "Swisk_00.wav"},
    };
    for (const Case& c : cases) {
        eventHarness::ScopedTimeZone zone(c.zone);
        TempDriveRoot drive;
        Params s;
        s.fileType = 1;
        s.stampKind = c.stampKind;
        ClipSave block(s);
        block.setFlags("0000000000000110");
        block.update();
        EXPECT_EQ(block.harness.error(), nullptr);
        EXPECT_EQ(drive.files("temp/calls"), std::vector<std::string>{c.name})
            << c.stampKind << " " << c.zone;
    }
}

// Writes a small file at hostPath.
void makeFile(const std::string& hostPath, const std::string& content) {
    std::ofstream(hostPath, std::ios::binary) << content;
}

TEST(ClipSave, NumberingTakesTheFirstFreeNameAndOverwritesNinetyNine) {
    TempDriveRoot drive;
    Params s;
    s.fileType = 7;
    ClipSave block(s);
    // _00 and _02 taken, and a differently cased _01 that the case-blind lookup finds.
    makeFile(drive.path("temp/calls/Swisk_00.bin"), "old");
    makeFile(drive.path("temp/calls/SWISK_01.BIN"), "old");
    makeFile(drive.path("temp/calls/Swisk_03.bin"), "old");
    block.setFlags("0000000000000010");
    block.update();
    EXPECT_EQ(block.harness.error(), nullptr);
    EXPECT_EQ(eventHarness::readBytes(drive.path("temp/calls/Swisk_02.bin")).size(), 2u);
    EXPECT_EQ(eventHarness::readText(drive.path("temp/calls/Swisk_03.bin")), "old");

    for (int u = 0; u <= 99; ++u) {
        char name[32];
        std::snprintf(name, sizeof name, "temp/calls/Swisk_%02d.bin", u);
        makeFile(drive.path(name), "old");
    }
    block.update();
    EXPECT_EQ(block.harness.error(), nullptr);
    EXPECT_EQ(eventHarness::readBytes(drive.path("temp/calls/Swisk_99.bin")),
              (std::vector<uint8_t>{14, 0}));
    EXPECT_EQ(eventHarness::readText(drive.path("temp/calls/Swisk_98.bin")), "old");
    EXPECT_EQ(drive.files("temp/calls").size(), 101u);  // 100 numbered files and SWISK_01.BIN
}

TEST(ClipSave, FileTypeOutsideOneToEightSavesNothing) {
    for (const double fileType : {0.0, 9.0, -1.0}) {
        TempDriveRoot drive;
        Params s;
        s.fileType = fileType;
        ClipSave block(s);
        block.setFlags("0000000000001010");
        block.update();
        EXPECT_EQ(block.harness.error(), nullptr) << fileType;
        EXPECT_TRUE(drive.files("temp/calls").empty()) << fileType;
        EXPECT_EQ(block.stepCount(), 1);
    }
}

TEST(ClipSave, NamesBeyond511CharactersAreRefused) {
    struct Case {
        std::string directory;
        std::string baseName;
    };
    const Case cases[] = {
        {"c:\\temp\\calls\\" + std::string(586, 'd'), "Swisk"},  // 600-character folder
        {"c:\\temp\\calls", std::string(600, 'b')},
        {"c:\\temp\\calls", std::string(494, 'b')},  // prefix fits, the numbered name does not
    };
    for (const Case& c : cases) {
        TempDriveRoot drive;
        Params s;
        s.directory = c.directory;
        s.baseName = c.baseName;
        ClipSave block(s);
        block.setFlags("0000000000001010");
        block.update();
        EXPECT_STREQ(block.harness.error(), "Error creating clip file");
        EXPECT_TRUE(drive.files("temp/calls").empty());
        EXPECT_EQ(block.stepCount(), 1);
    }
}

// A folder that bears the clip's name is no file: the name is taken, its creation fails, and
// the scan goes on with the next run, whose stamp differs.
TEST(ClipSave, AFailedClipDoesNotStopTheScan) {
    TempDriveRoot drive;
    Params s;
    s.fileType = 1;
    s.stampKind = 3;
    s.sampleRate = 2.0;  // index 12 is 6 s, index 14 is 7 s
    ClipSave block(s);
    std::filesystem::create_directory(drive.path("temp/calls/Swisk_000.00.06_00.wav"));
    block.setFlags("0000000000001010");
    block.update();
    EXPECT_STREQ(block.harness.error(), "Error creating clip file");
    EXPECT_EQ(drive.files("temp/calls"), std::vector<std::string>{"Swisk_000.00.07_00.wav"});
    EXPECT_EQ(block.stepCount(), 1);
}

TEST(ClipSave, WriterErrorsReachTheRoot) {
    TempDriveRoot drive;
    Params s;
    s.numChannels = 3;
    s.fileType = 8;
    ClipSave block(s);
    block.setFlags("0000000000000010");
    block.update();
    EXPECT_STREQ(block.harness.error(), "AIFF clip file can only save up to two channels.");
    EXPECT_TRUE(drive.files("temp/calls").empty());

    Params missing;
    missing.directory = "c:\\temp\\nothere";
    ClipSave other(missing);
    other.setFlags("0000000000000010");
    other.update();
    EXPECT_STREQ(other.harness.error(), "Error creating clip file");
}

}  // namespace
