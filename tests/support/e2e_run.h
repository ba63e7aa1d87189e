// Running the built kestrel9 program the way a user does: in a temporary drive root that holds
// "My Recordings/Soundfile.wav" and "temp/calls", with KESTREL9_ROOT pointing at it.
#pragma once

#include <string>
#include <vector>

namespace k9e2e {

// A temporary drive root, removed with everything in it when the object goes.
class TempDriveRoot {
public:
    // Creates the root with the folders "My Recordings" and "temp/calls" (each optional).
    explicit TempDriveRoot(bool withRecordings = true, bool withClips = true);
    ~TempDriveRoot();
    TempDriveRoot(const TempDriveRoot&) = delete;
    TempDriveRoot& operator=(const TempDriveRoot&) = delete;

    const std::string& path() const { return root; }
    std::string recordingPath() const { return root + "/My Recordings/Soundfile.wav"; }
    std::string clipsPath() const { return root + "/temp/calls"; }
    // The clip files in temp/calls (every file but the log), sorted by name.
    std::vector<std::string> clipNames() const;
    // The lines of temp/calls/LogSwisk.txt (empty when it does not exist).
    std::vector<std::string> logLines() const;

private:
    std::string root;
};

struct RunResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally (or timed out)
    std::string out;
    std::string err;
    double seconds = 0.0;  // wall-clock run time
};

// Runs `program` with `args` in `root` (as its current directory and KESTREL9_ROOT); a run
// still going after timeoutSeconds is killed.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& root, double timeoutSeconds = 300.0);

#ifdef KESTREL9_BINARY
// Runs the built kestrel9 with `args` in `root` (KESTREL9_BINARY is defined for each test).
inline RunResult runKestrel9(const std::vector<std::string>& args, const std::string& root,
                             double timeoutSeconds = 300.0) {
    return runProgram(KESTREL9_BINARY, args, root, timeoutSeconds);
}
#endif

// The whole content of a text file ("" when missing).
std::string readTextFile(const std::string& path);

}  // namespace k9e2e
