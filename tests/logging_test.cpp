// Signal logging and the Level-4 matrix writer: buffer sizes, wrapping, names, column order,
// every diagnostic and the files, compared byte for byte.
#include <gtest/gtest.h>

#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "logging/matfile.h"
#include "logging/signal_log.h"
#include "support/shell_support.h"

using namespace shelltest;

namespace {

static_assert(std::endian::native == std::endian::little, "expected bytes are little-endian");

const char* const kFile = "testmodel.grx";

// The root of the scripted model with an empty log record, as after the main program's start.
ModelRecord* startedRoot(double finalTime) {
    ModelRecord* root = scriptedModel().registerModel();
    root->info->finalTime = finalTime;
    EXPECT_EQ(startDataLogging(root, "rt_"), nullptr);
    return root;
}

class LoggingTest : public ::testing::Test {
protected:
    void SetUp() override { resetScript(); }
    TempWorkDir workDir;
};

TEST_F(LoggingTest, MatrixWriterLaysOutHeaderNameAndValues) {
    EXPECT_EQ(matTypeForHost(), 0);
    std::FILE* file = std::fopen("m.grx", "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(matWriteHeader(file, 2, 1, 4));
    EXPECT_TRUE(matWriteName(file, "abc", 4));
    EXPECT_TRUE(matWriteValue(file, 1.5));
    EXPECT_TRUE(matWriteValue(file, -2.0));
    std::fclose(file);
    EXPECT_EQ(readFile("m.grx"), matrixBytes("abc", 2, 1, {1.5, -2.0}));

    // A stream that cannot be written stores nothing and every write says so.
    std::FILE* readOnly = std::fopen("m.grx", "rb");
    ASSERT_NE(readOnly, nullptr);
    EXPECT_FALSE(matWriteHeader(readOnly, 2, 1, 4));
    EXPECT_FALSE(matWriteName(readOnly, "abc", 4));
    EXPECT_FALSE(matWriteValue(readOnly, 1.5));
    std::fclose(readOnly);
}

TEST_F(LoggingTest, BufferRowsFollowFinalTimeDecimationAndMaximum) {
    struct Case {
        double finalTime;
        int32_t maxRows;
        int32_t decimation;
        int32_t rows;
        int32_t usedDefault;
    };
    const Case cases[] = {
        {1.0, 0, 1, 4, 0},          // trunc(1.0 / P) + 1 = 3, and 2P < 1.0 adds one
        {1.0, 0, 2, 2, 0},          {1.0, 0, 3, 2, 0},      {1.0, 3, 1, 3, 0},
        {1.0, 10, 1, 4, 0},         {kBasePeriod, 0, 1, 2, 0},
        {kBasePeriod / 4, 0, 1, 2, 0}, {0.0, 50, 1, 50, 0}, {0.0, 0, 1, 1024, 1},
        {0.0, -5, 1, 1024, 1},
        {1.0, 0, 0, 4, 0},  // a decimation below 1 logs every call instead of dividing by zero
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.finalTime << " max " << c.maxRows << " dec "
                                        << c.decimation);
        ModelRecord* root = startedRoot(c.finalTime);
        LogVar* var = nullptr;
        const Captured run = captureOutput([&] {
            return createLogVar(root, "rt_", "v", c.maxRows, c.decimation, 2, kBasePeriod, &var) ==
                           nullptr
                       ? 0
                       : 1;
        });
        ASSERT_EQ(run.status, 0);
        ASSERT_NE(var, nullptr);
        EXPECT_EQ(root->info->logRecord->first, var);
        EXPECT_STREQ(var->name, "rt_v");
        EXPECT_EQ(var->nRows, c.rows);
        EXPECT_EQ(var->nCols, 2);
        EXPECT_EQ(var->usedDefaultSize, c.usedDefault);
        EXPECT_EQ(var->decimationCounter, -1);
        EXPECT_EQ(var->decimation, c.decimation < 1 ? 1 : c.decimation);
        EXPECT_EQ(run.out, c.usedDefault == 1
                               ? "*** Using a default buffer of size 1024 for log variable v\n"
                               : "");
        // Nothing was logged: no file and no message.
        const Captured stop = captureOutput([&] {
            stopDataLogging(kFile, root);
            return 0;
        });
        EXPECT_EQ(stop.out, "");
        EXPECT_EQ(stop.err, "");
        EXPECT_FALSE(fileExists(kFile));
        EXPECT_EQ(root->info->logRecord, nullptr);
    }
}

TEST_F(LoggingTest, DecimationLogsTheFirstCallAndEveryNthAfterIt) {
    ModelRecord* root = startedRoot(0.0);
    LogVar* var = nullptr;
    ASSERT_EQ(createLogVar(root, "rt_", "d", 10, 3, 1, kBasePeriod, &var), nullptr);
    for (int32_t call = 1; call <= 7; ++call) {
        const double value = call;
        logRow(var, &value);
    }
    logRow(var, nullptr);  // the 8th call: counted, stores nothing
    logRow(var, nullptr);  // the 9th
    const double tenth = 10.0;
    logRow(var, &tenth);
    ASSERT_EQ(var->rowIdx, 4);
    EXPECT_EQ(var->data[0], 1.0);
    EXPECT_EQ(var->data[1], 4.0);
    EXPECT_EQ(var->data[2], 7.0);
    EXPECT_EQ(var->data[3], 10.0);
    const Captured stop = captureOutput([&] {
        stopDataLogging(kFile, root);
        return 0;
    });
    EXPECT_EQ(stop.out, "Created testmodel.grx\n");
    EXPECT_EQ(readFile(kFile), matrixBytes("rt_d", 4, 1, {1.0, 4.0, 7.0, 10.0}));
}

TEST_F(LoggingTest, OneSecondRunLogsFourTimeRows) {
    script().timeVarName = "tout";
    const Captured run = runScripted({"1.0"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "Created testmodel.grx\n");
    EXPECT_EQ(readFile(kFile), matrixBytes("rt_tout", 4, 1,
                                           {0.0, kBasePeriod, 2 * kBasePeriod, 3 * kBasePeriod}));
}

TEST_F(LoggingTest, DefaultBufferKeepsTheNewestRowsOldestFirst) {
    struct Case {
        int32_t steps;
        const char* wrapMessages;
    };
    const Case cases[] = {
        {2500,
         "*** Log variable rt_tout has wrapped 2 times using a buffer size of 1024\n"
         "*** To prevent wrapping, explicitly specify a buffer size of 2500 in your Flowcraft "
         "model.\n"},
        {2048, ""},  // wrapped twice but back at row 0: already in order
        {1000, ""},  // never filled
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.steps);
        resetScript();
        script().timeVarName = "tout";
        script().stopAtStep = c.steps - 1;
        const Captured run = runScripted({});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, std::string("*** Using a default buffer of size 1024 for log variable "
                                       "tout\n") +
                               c.wrapMessages + "Created testmodel.grx\n");
        const int32_t rows = c.steps < 1024 ? c.steps : 1024;
        std::vector<double> times;
        for (int32_t k = c.steps - rows; k < c.steps; ++k) {
            times.push_back(k * kBasePeriod);
        }
        EXPECT_EQ(readFile(kFile), matrixBytes("rt_tout", rows, 1, times));
    }
}

TEST_F(LoggingTest, LongNamesAreCutTo31Characters) {
    const char* longName = "abcdefghijklmnopqrstuvwxyz0123456789";  // 36 characters
    script().timeVarName = longName;
    ASSERT_EQ(runScripted({"0.1"}).status, 0);
    const std::string stored = std::string("rt_") + std::string(longName).substr(0, 28);
    ASSERT_EQ(stored.size(), 31U);
    EXPECT_EQ(readFile(kFile), matrixBytes(stored, 2, 1, {0.0, kBasePeriod}));
}

TEST_F(LoggingTest, OutputNamesSplitAtCommas) {
    struct Case {
        const char* names;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"alpha,beta", {"rt_alpha", "rt_beta"}},
        {"solo", {"rt_solo"}},
        {"abcdefghijklmnopqrstuvwxyz0123456789,b", {"rt_abcdefghijklmnopqrstuvwxyz01", "rt_b"}},
        // The search for a comma starts at a name's second character; a list that runs out
        // early gives empty names rather than a read past its end.
        {"a,,b", {"rt_a", "rt_,b", "rt_"}},
        {",a", {"rt_,a", "rt_"}},
        {"a,", {"rt_a", "rt_"}},
    };
    const int32_t widths[3] = {1, 1, 1};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names);
        resetScript();
        script().outputVarNames = c.names;
        script().outputVarWidths = widths;
        script().logMaxRows = 5;
        ModelRecord* root = startedRoot(0.0);
        const LogRecord* record = root->info->logRecord;
        ASSERT_EQ(record->numOutputVars, static_cast<int32_t>(c.expected.size()));
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(record->outputVars[i]->name, c.expected[i]);
        }
        stopDataLogging(kFile, root);
    }
}

TEST_F(LoggingTest, OutputsAndStatesAreWrittenColumnByColumn) {
    const int32_t widths[2] = {1, 2};
    script().outputVarNames = "alpha,beta";
    script().outputVarWidths = widths;
    script().numOutputs = 3;  // output j of step k is k * 100 + j
    script().stateVarName = "xs";
    script().numDiscStates = 3;  // state j of step k is k * 10 + j
    script().finalStateVarName = "xFinal";
    const Captured run = runScripted({"1.0"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Created testmodel.grx\n");
    const std::string expected =
        matrixBytes("rt_xs", 4, 3, {0, 10, 20, 30, 1, 11, 21, 31, 2, 12, 22, 32}) +
        matrixBytes("rt_alpha", 4, 1, {0, 100, 200, 300}) +
        matrixBytes("rt_beta", 4, 2, {1, 101, 201, 301, 2, 102, 202, 302}) +
        matrixBytes("rt_xFinal", 1, 3, {30, 31, 32});
    EXPECT_EQ(readFile(kFile), expected);
}

TEST_F(LoggingTest, WrappedMultiColumnBufferIsRotatedPerColumnWithoutMessages) {
    // An explicit 3-row buffer over 5 steps keeps steps 2, 3 and 4; only the default size
    // prints the wrap messages.
    script().stateVarName = "xs";
    script().numDiscStates = 3;
    script().logMaxRows = 3;
    script().stopAtStep = 4;
    const Captured run = runScripted({});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Created testmodel.grx\n");
    EXPECT_EQ(readFile(kFile),
              matrixBytes("rt_xs", 3, 3, {20, 30, 40, 21, 31, 41, 22, 32, 42}));
}

TEST_F(LoggingTest, NothingConfiguredWritesNoFileAndPrintsNothing) {
    script().finalTime = 1.0;
    const Captured run = runScripted({});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(fileExists(kFile));
    EXPECT_EQ(scriptedRoot()->info->logRecord, nullptr);
}

TEST_F(LoggingTest, FileThatCannotBeOpenedIsReported) {
    script().timeVarName = "tout";
    ModelRecord* root = startedRoot(1.0);
    updateLogVars(root);
    const Captured run = captureOutput([&] {
        stopDataLogging("missing/dir/x.grx", root);
        return 0;
    });
    EXPECT_EQ(run.err, "Error opening missing/dir/x.grx: No such file or directory\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(root->info->logRecord, nullptr);
}

TEST_F(LoggingTest, WriteFailuresAreReportedAndTheFileStillAnnounced) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full on this host";
    }
    ASSERT_EQ(symlink("/dev/full", "full.grx"), 0);
    struct Case {
        const char* label;
        int32_t rows;
        int32_t states;
    };
    // A small matrix fails only when the buffered bytes are flushed at close, a large one
    // while its values are written; each is reported once.
    const Case cases[] = {{"small", 4, 1}, {"large", 1024, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        resetScript();
        script().stateVarName = "xs";
        script().numDiscStates = c.states;
        script().logMaxRows = 1024;
        ModelRecord* root = startedRoot(0.0);
        for (int32_t k = 0; k < c.rows; ++k) {
            updateLogVars(root);
        }
        const Captured run = captureOutput([&] {
            stopDataLogging("full.grx", root);
            return 0;
        });
        EXPECT_EQ(run.err, "*** Error writing full.grx: No space left on device\n");
        EXPECT_EQ(run.out, "Created full.grx\n");
        EXPECT_EQ(root->info->logRecord, nullptr);
    }
}

}  // namespace
