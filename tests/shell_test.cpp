// The main program in-process: argument rules, non-finite constants, start-up and shut-down
// order, messages and exit status.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "logging/signal_log.h"
#include "shell/main_program.h"
#include "shell/nonfinite.h"
#include "support/shell_support.h"

using namespace shelltest;

namespace {

const char* const kUsage =
    "usage: testmodel [finaltime] [TCPport]\n"
    "arguments:\n"
    "  finaltime - overrides final time specified in Flowcraft (0 for no limit)\n"
    "  ExternModeTCPport - overrides 17725 default port, valid range 256 to 65535";

TEST(ArgumentTest, FinalTimeAcceptsOneNonNegativeNumber) {
    struct Case {
        const char* text;
        double value;
    };
    const Case accepted[] = {
        {"0", 0.0},       {"0.0", 0.0},    {"1e3", 1000.0}, {" 5", 5.0},     {"5 ", 5.0},
        {"\t2.5\n", 2.5}, {"+7", 7.0},     {"0x10", 16.0},  {"-0", 0.0},     {"1e-3", 0.001},
        {"inf", INFINITY},
    };
    for (const Case& c : accepted) {
        SCOPED_TRACE(c.text);
        double value = -1.0;
        ASSERT_TRUE(parseFinalTimeArg(c.text, &value));
        EXPECT_EQ(value, c.value);
    }
    const char* const refused[] = {"-1", "-1e-300", "nan", "-inf", "5x", "5 x", "",
                                   " ",  "x",       ".",   "1,5",  "0x"};
    for (const char* text : refused) {
        SCOPED_TRACE(text);
        double value = -1.0;
        EXPECT_FALSE(parseFinalTimeArg(text, &value));
        EXPECT_EQ(value, -1.0);
    }
}

TEST(ArgumentTest, PortAcceptsOneIntegerFrom256To65535) {
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case accepted[] = {{"256", 256}, {"65535", 65535}, {" 300", 300}, {"300 ", 300},
                             {"+1000", 1000}};
    for (const Case& c : accepted) {
        SCOPED_TRACE(c.text);
        int32_t value = 0;
        ASSERT_TRUE(parsePortArg(c.text, &value));
        EXPECT_EQ(value, c.value);
    }
    // 4294967552 is 2^32 + 256: it does not fit an int and must not wrap to 256.
    const char* const refused[] = {"255", "65536", "80x", "80 x", "", " ", "0x100", "-300",
                                   "300.0", "4294967552", "99999999999999999999", "- 300"};
    for (const char* text : refused) {
        SCOPED_TRACE(text);
        int32_t value = 0;
        EXPECT_FALSE(parsePortArg(text, &value));
    }
}

class MainProgramTest : public ::testing::Test {
protected:
    void SetUp() override { resetScript(); }
    TempWorkDir workDir;
};

TEST_F(MainProgramTest, RefusedArgumentsPrintTheUsageTextAndRunNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {"1", "300", "3"}, {"-1"}, {"nan"}, {"5x"}, {"5 x"}, {""}, {"1", "255"}, {"1", "65536"},
        {"1", "80x"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.size() == 1 ? args[0] : args[0] + " " + args[1]);
        resetScript();
        const Captured run = runScripted(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, kUsage);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(script().startCalls, 0);
    }
}

TEST_F(MainProgramTest, NormalEndTerminatesInExecutionOrderAndReturnsZero) {
    const Captured run = runScripted({"1.0", "65535"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(script().startCalls, 1);
    EXPECT_EQ(script().outputsSeen.size(), 4U);
    EXPECT_EQ(script().terminated, (std::vector<int32_t>{1, 0, 3}));
    EXPECT_STREQ(scriptedRoot()->info->solverName, "FixedStepDiscrete");
    EXPECT_EQ(scriptedRoot()->info->logRecord, nullptr);
    // Nothing is logged, so no matrix file is left behind.
    EXPECT_FALSE(fileExists("testmodel.grx"));
}

TEST_F(MainProgramTest, FinalTimeArgumentReplacesTheModelsOwn) {
    script().finalTime = 1.0;  // four steps unless replaced
    EXPECT_EQ(runScripted({}).status, 0);
    EXPECT_EQ(script().outputsSeen.size(), 4U);
    resetScript();
    script().finalTime = 1.0;
    EXPECT_EQ(runScripted({"0.3"}).status, 0);
    EXPECT_EQ(script().outputsSeen.size(), 2U);
    resetScript();
    script().finalTime = 1.0;
    script().stopAtStep = 30;
    EXPECT_EQ(runScripted({"0"}).status, 0);  // 0 lifts the limit
    EXPECT_EQ(script().outputsSeen.size(), 31U);
}

TEST_F(MainProgramTest, FailuresArePrintedOnStandardErrorWithStatusOne) {
    struct Case {
        const char* label;
        void (*setUp)(Script&);
        std::vector<std::string> args;
        std::string err;
        int32_t steps;
    };
    const std::string blockText = std::string(kScriptError) + "\n";
    const Case cases[] = {
        {"start time not zero", [](Script& s) { s.startTime = 1.0; }, {"1"},
         "Failed to initialize sample time engine: Start time must be zero for real-time "
         "systems\n",
         0},
        {"error raised by the model start", [](Script& s) { s.errorAtStart = true; }, {"1"},
         blockText, 0},
        {"error raised in the first step", [](Script& s) { s.errorAtStep = 0; }, {}, blockText,
         1},
        {"error raised in the last step before the limit", [](Script& s) { s.errorAtStep = 2; },
         {"1.0"}, blockText, 3},
        {"error raised in the final step", [](Script& s) { s.errorAtStep = 3; }, {"1.0"},
         blockText, 4},
        {"overrun", [](Script& s) { s.reenterAtStep = 1; }, {},
         "testmodel: ISR overrun - base sampling rate is too fast\n", 2},
        // The overrun is checked before the block error and only the first is reported.
        {"overrun and block error",
         [](Script& s) {
             s.reenterAtStep = 1;
             s.errorAtStep = 1;
         },
         {}, "testmodel: ISR overrun - base sampling rate is too fast\n", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        resetScript();
        c.setUp(script());
        const Captured run = runScripted(c.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(static_cast<int32_t>(script().outputsSeen.size()), c.steps);
        EXPECT_TRUE(script().terminated.empty());
    }
}

TEST_F(MainProgramTest, LoggingStartFailureStopsBeforeTheModelStarts) {
    // A state variable too large for any buffer.
    script().stateVarName = "x";
    script().numDiscStates = INT32_MAX;
    script().logMaxRows = INT32_MAX;
    const Captured run = runScripted({});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Error starting data logging: Memory allocation error\n");
    EXPECT_EQ(run.out,
              "*** Error allocating memory for the circular buffer\n"
              "*** Details:\n"
              "       varName         = x\n"
              "       nRows           = 2147483647\n"
              "       nCols           = 2147483647\n"
              "       sizeof(GrxReal) = 8\n");
    EXPECT_EQ(script().startCalls, 0);
    EXPECT_TRUE(script().terminated.empty());
    // The program would exit here; the test releases the logging record itself.
    stopDataLogging("unused.grx", scriptedRoot());
    EXPECT_FALSE(fileExists("unused.grx"));
}

TEST(NonFiniteTest, ConstantsForEachRealWidth) {
    ASSERT_TRUE(initNonFinite(8));
    EXPECT_EQ(std::bit_cast<uint64_t>(rtInf), 0x7FF0000000000000ULL);
    EXPECT_EQ(std::bit_cast<uint64_t>(rtMinusInf), 0xFFF0000000000000ULL);
    EXPECT_EQ(std::bit_cast<uint64_t>(rtNaN), 0x7FFFFFFFFFFFFFFFULL);
    EXPECT_TRUE(std::isinf(rtInf) && rtInf > 0.0);
    EXPECT_TRUE(std::isinf(rtMinusInf) && rtMinusInf < 0.0);
    EXPECT_TRUE(std::isnan(rtNaN));

    ASSERT_TRUE(initNonFinite(4));
    const struct {
        const double* constant;
        uint32_t bits;
    } singles[] = {{&rtInf, 0x7F800000U}, {&rtMinusInf, 0xFF800000U}, {&rtNaN, 0x7FFFFFFFU}};
    for (const auto& s : singles) {
        uint32_t first = 0;
        std::memcpy(&first, s.constant, sizeof first);
        EXPECT_EQ(first, s.bits);
        float asFloat = 0.0F;
        std::memcpy(&asFloat, s.constant, sizeof asFloat);
        EXPECT_FALSE(std::isfinite(asFloat));
    }

    const Captured run = captureOutput([] { return initNonFinite(5) ? 0 : 1; });
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to initialize rtInf, rtMinusInf, and rtNaN\n");
    EXPECT_EQ(run.out, "");
    ASSERT_TRUE(initNonFinite(8));
}

}  // namespace
