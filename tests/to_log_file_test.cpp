#include "blocks/to_log_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "support/event_harness.h"

namespace {

using eventHarness::BlockHarness;
using eventHarness::readText;
using eventHarness::TempDriveRoot;

// A To Log File instance with its input [inputWidth].
struct ToLogFile {
    BlockHarness harness;
    std::vector<double>* input = nullptr;

    ToLogFile(int32_t inputWidth, double clockKind, const std::string& fileName) {
        harness.addNumber(inputWidth);
        harness.addNumber(clockKind);
        harness.addText(fileName);
        input = &harness.addInput(inputWidth);
        harness.install(registerToLogFile);
    }
};

const char* const logName = "c:\\Temp\\Calls\\LogSwisk.txt";

TEST(ToLogFile, DeclaresItsSizesAndSlots) {
    ToLogFile block(3, 1, logName);
    const BlockRecord& r = block.harness.block();
    EXPECT_EQ(r.numParams, 3);
    EXPECT_EQ(r.numInputPorts, 1);
    EXPECT_EQ(r.numOutputPorts, 0);
    EXPECT_EQ(r.inputPorts[0].width, 3);
    EXPECT_EQ(r.inputPorts[0].directFeedthrough, 0);
    EXPECT_EQ(r.numDiscStates + r.numIWork + r.numRWork + r.numPWork, 0);
    EXPECT_EQ(r.sampleTimes[0], -1.0);
    EXPECT_EQ(r.offsetTimes[0], 1.0);
    EXPECT_EQ(r.methods.start, nullptr);
    EXPECT_EQ(r.methods.derivatives, nullptr);
    EXPECT_NE(r.methods.update, nullptr);
}

TEST(ToLogFile, WritesOneStampedLinePerUpdate) {
    eventHarness::FixedClock clock(eventHarness::tuesdayMarch5th2024);
    const double minusInf = -std::numeric_limits<double>::infinity();
    struct Case {
        std::vector<double> inputs;
        double clockKind;
        const char* zone;
        const char* line;
    };
    const Case cases[] = {
        {{1.0, -0.5}, 1, "EST5",
         "Tue Mar 05 14:07:09 2024 1.000000000000000e+000 -5.000000000000000e-001 \n"},
        {{1.0, -0.5}, 2, "EST5",
         "Tue Mar 05 09:07:09 2024 1.000000000000000e+000 -5.000000000000000e-001 \n"},
        {{-42.5}, 0, "XYZ-10", "Wed Mar 06 00:07:09 2024 -4.250000000000000e+001 \n"},
        {{}, 1, "EST5", "Tue Mar 05 14:07:09 2024 \n"},
        {{minusInf}, 1, "EST5", "Tue Mar 05 14:07:09 2024 -1.#INF00000000000e+000 \n"},
    };
    for (const Case& c : cases) {
        eventHarness::ScopedTimeZone zone(c.zone);
        TempDriveRoot drive;
        ToLogFile block(static_cast<int32_t>(c.inputs.size()), c.clockKind, logName);
        *block.input = c.inputs;
        block.harness.update();
        EXPECT_EQ(block.harness.error(), nullptr);
        // The host layer finds the existing "temp/calls" for "Temp\Calls" and creates the file
        // with the case it is given.
        EXPECT_EQ(readText(drive.path("temp/calls/LogSwisk.txt")), c.line);
    }
}

TEST(ToLogFile, RunsAppendAndKeepEarlierLines) {
    eventHarness::FixedClock clock(eventHarness::tuesdayMarch5th2024);
    TempDriveRoot drive;
    std::ofstream(drive.path("temp/calls/LogSwisk.txt")) << "an earlier line\n";
    for (const double value : {1.0, 2.0}) {
        ToLogFile run(1, 1, logName);  // each run of the program has its own instance
        (*run.input)[0] = value;
        run.harness.update();
        EXPECT_EQ(run.harness.error(), nullptr);
    }
    EXPECT_EQ(readText(drive.path("temp/calls/LogSwisk.txt")),
              "an earlier line\n"
              "Tue Mar 05 14:07:09 2024 1.000000000000000e+000 \n"
              "Tue Mar 05 14:07:09 2024 2.000000000000000e+000 \n");
}

TEST(ToLogFile, UnopenableLogIsAnOpenError) {
    TempDriveRoot drive;
    const std::string cases[] = {
        "c:\\Temp\\Missing\\LogSwisk.txt",
        "c:\\Temp\\Calls",                           // a folder
        "c:\\temp\\calls\\" + std::string(600, 'L'),  // longer than 511 characters
    };
    for (const std::string& name : cases) {
        ToLogFile block(1, 1, name);
        block.harness.update();
        EXPECT_STREQ(block.harness.error(), "Error opening log file") << name.substr(0, 40);
    }
    EXPECT_FALSE(eventHarness::hostPathExists(drive.path("temp/Missing")));
    EXPECT_TRUE(drive.files("temp/calls").empty());
}

// /dev/full takes the open and refuses the bytes: a short line fails when it is flushed at the
// close, a long one while it is printed. The name is found through the case-blind lookup.
TEST(ToLogFile, FailedWriteIsAWriteError) {
    eventHarness::ScopedDriveRoot drive("/dev");
    // Checked before anything is written: a wrong mapping must not create a file in /dev.
    ASSERT_EQ(eventHarness::hostMapped("c:\\Full"), "/dev/full");
    for (const int32_t width : {1, 300}) {
        ToLogFile block(width, 1, "c:\\Full");
        block.harness.update();
        EXPECT_STREQ(block.harness.error(), "Error writing log file") << width;
    }
}

// A disk that fills up during the line: the failure is reported and what the log held before
// is intact.
TEST(ToLogFile, FailedWriteKeepsEarlierLines) {
    TempDriveRoot drive;
    const std::string earlier = "an earlier line\n";
    std::ofstream(drive.path("temp/calls/LogSwisk.txt")) << earlier;
    ToLogFile block(2, 1, logName);

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = earlier.size() + 10;
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    block.harness.update();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_STREQ(block.harness.error(), "Error writing log file");
    const std::string text = readText(drive.path("temp/calls/LogSwisk.txt"));
    EXPECT_EQ(text.substr(0, earlier.size()), earlier);
    EXPECT_EQ(text.size(), earlier.size() + 10);
}

}  // namespace
