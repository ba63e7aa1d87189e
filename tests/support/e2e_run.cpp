#include "support/e2e_run.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace k9e2e {

TempDriveRoot::TempDriveRoot(bool withRecordings, bool withClips) {
    std::string pattern = (fs::temp_directory_path() / "kestrel9-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    root = pattern;
    if (withRecordings) {
        fs::create_directories(root + "/My Recordings");
    }
    if (withClips) {
        fs::create_directories(root + "/temp/calls");
    }
}

TempDriveRoot::~TempDriveRoot() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

std::vector<std::string> TempDriveRoot::clipNames() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(clipsPath(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name != "LogSwisk.txt") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> TempDriveRoot::logLines() const {
    std::vector<std::string> lines;
    std::ifstream in(clipsPath() + "/LogSwisk.txt");
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::string readTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& root, double timeoutSeconds) {
    RunResult result;
    const std::string outPath = root + "/.stdout";
    const std::string errPath = root + "/.stderr";
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(root.c_str()) != 0 || setenv("KESTREL9_ROOT", root.c_str(), 1) != 0 ||
            std::freopen(outPath.c_str(), "w", stdout) == nullptr ||
            std::freopen(errPath.c_str(), "w", stderr) == nullptr) {
            _exit(127);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    pid_t done = 0;
    while (child > 0 && (done = waitpid(child, &status, WNOHANG)) == 0) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (elapsed > timeoutSeconds) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            done = -1;
            break;
        }
        usleep(2000);
    }
    if (done == child && WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    }
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.out = readTextFile(outPath);
    result.err = readTextFile(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return result;
}

}  // namespace k9e2e
