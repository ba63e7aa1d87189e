#include "shell/main_program.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "logging/signal_log.h"
#include "shell/nonfinite.h"
#include "shell/step_loop.h"
#include "shell/timing.h"

namespace {

constexpr int32_t kDefaultPort = 17725;

// True when `text` holds nothing but white space (what "%1s" fails to match).
bool onlyBlanks(const char* text) {
    for (; *text != '\0'; ++text) {
        if (std::isspace(static_cast<unsigned char>(*text)) == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool parseFinalTimeArg(const char* text, double* value) {
    double parsed = 0.0;
    char rest[2];
    // The host's own conversion, so that every spelling it accepts ("inf", hex floats, leading
    // blanks) is accepted here too; a second conversion means trailing characters.
    if (std::sscanf(text, "%lf%1s", &parsed, rest) != 1) {
        return false;
    }
    if (!(parsed >= 0.0)) {
        return false;
    }
    *value = parsed;
    return true;
}

bool parsePortArg(const char* text, int32_t* value) {
    // strtol reads the same syntax as "%d" (blanks, sign, decimal digits). It saturates where
    // "%d" would wrap, so a number that does not fit an int can never wrap into the valid range
    // ("4294967552" is refused, not read as 256).
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (end == text) {
        return false;
    }
    if (!onlyBlanks(end)) {
        return false;
    }
    if (parsed < 256 || parsed > 65535) {
        return false;
    }
    *value = static_cast<int32_t>(parsed);
    return true;
}

void printUsage(const char* modelName) {
    std::printf("usage: %s [finaltime] [TCPport]\n", modelName);
    std::printf("arguments:\n");
    std::printf("  finaltime - overrides final time specified in Flowcraft (0 for no limit)\n");
    std::printf("  ExternModeTCPport - overrides 17725 default port, valid range 256 to 65535");
}

int runMain(int argc, char** argv, const ModelEntry& model) {
    resetShellState();
    ShellState& shell = shellState();

    if (argc > 3) {
        printUsage(model.name);
        return 1;
    }
    const bool haveFinalTime = argc >= 2;
    double finalTime = 0.0;
    if (haveFinalTime && !parseFinalTimeArg(argv[1], &finalTime)) {
        printUsage(model.name);
        return 1;
    }
    int32_t port = kDefaultPort;
    if (argc >= 3 && !parsePortArg(argv[2], &port)) {
        printUsage(model.name);
        return 1;
    }
    (void)port;  // validated only: the program has no network interface

    if (!initNonFinite(static_cast<int32_t>(sizeof(double)))) {
        return 1;
    }

    ModelRecord* root = model.registerModel();
    ModelInfo* info = root->info;
    if (haveFinalTime) {
        info->finalTime = finalTime;
    }
    model.setRootSizes(root);
    model.setRootSampleTimes(root);

    if (const char* engineError = initTimingEngine(root); engineError != nullptr) {
        std::fprintf(stderr, "Failed to initialize sample time engine: %s\n", engineError);
        return 1;
    }
    info->solverName = "FixedStepDiscrete";

    shell.logErrorText = startDataLogging(root, "rt_");
    if (shell.logErrorText != nullptr) {
        std::fprintf(stderr, "Error starting data logging: %s\n", shell.logErrorText);
        return 1;
    }

    model.startModel(root);
    if (root->errorStatus != nullptr) {
        shell.stopExecution = 1;
    } else {
        runStepLoop(model, root);
    }

    char logFileName[256];
    std::snprintf(logFileName, sizeof logFileName, "%s.grx", model.name);
    stopDataLogging(logFileName, root);

    if (shell.logErrorText != nullptr) {
        std::fprintf(stderr, "%s\n", shell.logErrorText);
        return 1;
    }
    if (shell.stepInProgress != 0) {
        std::fprintf(stderr, "%s: ISR overrun - base sampling rate is too fast\n", model.name);
        return 1;
    }
    if (root->errorStatus != nullptr) {
        std::fprintf(stderr, "%s\n", root->errorStatus);
        return 1;
    }
    terminateModel(model, root);
    return 0;
}
