// The built program run as a user runs it: arguments, usage text, streams and exit status.
// Each run gets an empty folder as working folder and drive root, so that a program with the
// real model fails fast at its input file, while an accepted argument still shows as a run
// that printed no usage text.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/shell_support.h"

using namespace shelltest;

namespace {

const char* const kUsage =
    "usage: kestrel9 [finaltime] [TCPport]\n"
    "arguments:\n"
    "  finaltime - overrides final time specified in Flowcraft (0 for no limit)\n"
    "  ExternModeTCPport - overrides 17725 default port, valid range 256 to 65535";

struct ProgramRun {
    std::string out;
    std::string err;
    int status = -1;  // exit status; -1 when the program did not exit by itself in time
    std::vector<std::string> leftFiles;
};

// Runs the program with `args` in a fresh empty folder; stops it after 30 seconds.
ProgramRun runProgram(const std::vector<std::string>& args) {
    TempWorkDir dir;
    // The captured streams lie beside the folder, which stays as the program left it.
    const std::string outPath = dir.path() + ".out";
    const std::string errPath = dir.path() + ".err";
    std::vector<std::string> words = {KESTREL9_BINARY};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        const int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (outFd < 0 || errFd < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0) {
            _exit(127);
        }
        setenv("KESTREL9_ROOT", dir.path().c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ProgramRun run;
    if (pid < 0) {
        return run;
    }
    int waitStatus = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    pid_t done = 0;
    while ((done = waitpid(pid, &waitStatus, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &waitStatus, 0);
    } else if (WIFEXITED(waitStatus)) {
        run.status = WEXITSTATUS(waitStatus);
    }
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        run.leftFiles.push_back(entry.path().string());
    }
    return run;
}

std::string joined(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& a : args) {
        text += "[" + a + "]";
    }
    return text;
}

TEST(CommandLineTest, RefusedArgumentsPrintExactlyTheUsageText) {
    const std::vector<std::vector<std::string>> cases = {
        {"-1"},         {"nan"},          {"5x"},          {"5 x"},
        {""},           {"1", "300", "2"}, {"1e-3", "255"}, {"1e-3", "65536"},
        {"1e-3", "80x"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(joined(args));
        const ProgramRun run = runProgram(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, kUsage);
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(run.leftFiles.empty());
    }
}

TEST(CommandLineTest, AcceptedArgumentsRunWithoutTheUsageText) {
    // Final times that end a run quickly; 0 and 0.0 (no limit) are covered by the parser test.
    const std::vector<std::vector<std::string>> cases = {
        {"1e-3"}, {" 5"}, {"1e3"}, {"1e-3", "256"}, {"1e-3", "65535"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(joined(args));
        const ProgramRun run = runProgram(args);
        ASSERT_NE(run.status, -1) << "the run did not end";
        EXPECT_EQ(run.out.find("usage:"), std::string::npos) << run.out;
        // The model logs no signal, so no matrix file is written, and nothing else is left.
        EXPECT_TRUE(run.leftFiles.empty()) << run.leftFiles.front();
        if (run.status != 0) {
            // A model that needs its input file fails on the empty drive root.
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err, "");
        } else {
            EXPECT_EQ(run.err, "");
        }
    }
}

}  // namespace
