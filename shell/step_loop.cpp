#include "shell/step_loop.h"

#include "logging/signal_log.h"
#include "shell/timing.h"

namespace {

ShellState state;

constexpr double kDoubleEpsilon = 2.220446049250313e-16;

}  // namespace

ShellState& shellState() {
    return state;
}

void resetShellState() {
    state = ShellState{};
}

void oneStep(const ModelEntry& model, ModelRecord* root) {
    ModelInfo* info = root->info;
    if (state.stepInProgress++ != 0) {
        // Re-entered while a step runs: an overrun. The count stays raised so that it is reported.
        state.stopExecution = 1;
        return;
    }
    if (root->errorStatus != nullptr) {
        state.stopExecution = 1;
        state.stepInProgress -= 1;
        return;
    }
    info->nextHitTime = advanceToNextHit();
    model.modelOutputs(root, 0);
    state.logErrorText = updateLogVars(root);
    if (state.logErrorText != nullptr) {
        state.stopExecution = 1;
        state.stepInProgress -= 1;
        return;
    }
    model.modelUpdate(root, 0);
    updateSampleHits(root);
    if (root->sampleTimes[0] == 0.0) {
        info->taskTimes[0] = info->nextHitTime;
    }
    // Back to the count before this step: a nested entry during the step stays visible.
    state.stepInProgress -= 1;
}

void runStepLoop(const ModelEntry& model, ModelRecord* root) {
    ModelInfo* info = root->info;
    for (;;) {
        const double finalTime = info->finalTime;
        const double now = info->taskTimes[0];
        if (!(finalTime == 0.0 || (finalTime - now) > now * kDoubleEpsilon)) {
            break;
        }
        oneStep(model, root);
        if (info->stopRequested != 0 || state.stopExecution != 0) {
            return;
        }
    }
    // Left by the time limit: one final step.
    if (state.stopExecution == 0 && info->stopRequested == 0) {
        oneStep(model, root);
    }
}

void terminateModel(const ModelEntry& model, ModelRecord* root) {
    for (int32_t i = 0; i < model.numBlocks; ++i) {
        BlockRecord* block = root->children[model.executionOrder[i]];
        if (block != nullptr && block->methods.terminate != nullptr) {
            block->methods.terminate(block);
        }
    }
}
