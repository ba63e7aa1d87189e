#include "blocks/file_exist.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/event_harness.h"

namespace {

using eventHarness::BlockHarness;
using eventHarness::TempDriveRoot;

// A File Exist instance with its output [1].
struct FileExist {
    BlockHarness harness;

    explicit FileExist(const std::string& fileName, double existPeriod = 1.114557823129252) {
        harness.addText(fileName);
        harness.addNumber(existPeriod);
        harness.addOutput(1);
        harness.install(registerFileExist);
    }

    double test() {
        harness.outputs();
        return harness.output(0, 0);
    }
};

TEST(FileExist, DeclaresItsSizesAndSlots) {
    FileExist block("c:\\stop.txt");
    const BlockRecord& r = block.harness.block();
    EXPECT_EQ(r.numParams, 2);
    EXPECT_EQ(r.numInputPorts, 0);
    EXPECT_EQ(r.numOutputPorts, 1);
    EXPECT_EQ(r.outputPorts[0].width, 1);
    EXPECT_EQ(r.sampleTimes[0], 1.114557823129252);
    EXPECT_EQ(r.offsetTimes[0], 0.0);
    EXPECT_EQ(r.methods.initConditions, nullptr);
    EXPECT_EQ(r.methods.start, nullptr);
    EXPECT_EQ(r.methods.update, nullptr);
    EXPECT_EQ(r.methods.derivatives, nullptr);
    EXPECT_NE(r.methods.terminate, nullptr);
}

TEST(FileExist, OneWhileTheFileIsThere) {
    TempDriveRoot drive;
    FileExist block("c:\\stop.txt");
    EXPECT_EQ(block.test(), 0.0);
    std::ofstream(drive.path("stop.txt")) << "stop";
    EXPECT_EQ(block.test(), 1.0);
    FileExist otherCase("C:\\STOP.TXT");
    EXPECT_EQ(otherCase.test(), 1.0);
    std::filesystem::remove(drive.path("stop.txt"));
    EXPECT_EQ(block.test(), 0.0);
    EXPECT_EQ(block.harness.error(), nullptr);
}

TEST(FileExist, FoldersAndOverlongNamesCountAsAbsent) {
    TempDriveRoot drive;
    std::filesystem::create_directory(drive.path("stop.txt"));
    std::ofstream(drive.path(std::string(200, 's'))) << "x";
    const std::string cases[] = {
        "c:\\stop.txt",
        // 600 characters whose first 511 would name an existing file once cut.
        "c:\\" + std::string(200, 's') + std::string(397, '\0'),
    };
    for (const std::string& name : cases) {
        FileExist block(name);
        EXPECT_EQ(block.test(), 0.0);
        EXPECT_EQ(block.harness.error(), nullptr);
    }
}

}  // namespace
