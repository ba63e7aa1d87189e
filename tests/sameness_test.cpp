// The program and its straightforward build (every optimised path compiled out) run over the same
// four-minute demo recording, each in its own drive root: they must save the same clips, byte for
// byte, and log the same values.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/e2e_run.h"

namespace {

using k9e2e::RunResult;
using k9e2e::TempDriveRoot;

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The logged value of each log line: the last field, after the calendar time of the write.
std::vector<std::string> loggedValues(const TempDriveRoot& drive) {
    std::vector<std::string> values;
    for (const std::string& line : drive.logLines()) {
        std::istringstream fields(line);
        std::string field;
        std::string last;
        while (fields >> field) {
            last = field;
        }
        values.push_back(last);
    }
    return values;
}

TEST(Sameness, TheProgramSavesAndLogsWhatTheStraightforwardBuildDoes) {
    TempDriveRoot fast;
    TempDriveRoot literal;
    const RunResult made =
        k9e2e::runProgram(std::string(KESTREL9_TOOLS_DIR) + "/make_demo",
                          {"--dir", fast.path() + "/My Recordings", "--seconds", "240"},
                          fast.path());
    ASSERT_EQ(made.status, 0) << made.err;
    {
        std::ofstream copy(literal.recordingPath(), std::ios::binary);
        copy << readBytes(fast.recordingPath());
    }

    const RunResult fastRun = k9e2e::runProgram(KESTREL9_BINARY, {"242"}, fast.path());
    const RunResult literalRun =
        k9e2e::runProgram(KESTREL9_LITERAL_BINARY, {"242"}, literal.path(), 600.0);
    std::printf("242 s of signal: %.2f s, straightforward build %.2f s\n", fastRun.seconds,
                literalRun.seconds);
    ASSERT_EQ(fastRun.status, 0) << fastRun.err;
    ASSERT_EQ(literalRun.status, 0) << literalRun.err;
    EXPECT_EQ(fastRun.out, literalRun.out);
    EXPECT_EQ(fastRun.err, literalRun.err);

    const std::vector<std::string> clips = fast.clipNames();
    // The scene and the first minute of its repeat hold dozens of calls.
    ASSERT_GE(clips.size(), 30u);
    ASSERT_EQ(clips, literal.clipNames());
    for (const std::string& name : clips) {
        const std::string bytes = readBytes(fast.clipsPath() + "/" + name);
        ASSERT_FALSE(bytes.empty()) << name;
        ASSERT_TRUE(bytes == readBytes(literal.clipsPath() + "/" + name)) << name;
    }
    const std::vector<std::string> values = loggedValues(fast);
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values, loggedValues(literal));
}

}  // namespace
