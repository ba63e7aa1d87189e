// One step of the model and the step loop with its final-step rule, and the model's termination.
#pragma once

#include <cstdint>

#include "model/block.h"
#include "shell/model_entry.h"

// State of the main program, one instance.
struct ShellState {
    int32_t stopExecution;     // 1 ends the step loop
    int32_t stepInProgress;    // entries into oneStep not yet finished; non-zero at exit = overrun
    const char* logErrorText;  // last result of starting or updating the signal log
};

// The one shell state record.
ShellState& shellState();

// Clears the shell state before a run.
void resetShellState();

// One step: advance the engine, outputs pass, signal logging, update pass, next step's hits.
void oneStep(const ModelEntry& model, ModelRecord* root);

// Steps until the final time (then one final step), a stop request or the stop flag.
void runStepLoop(const ModelEntry& model, ModelRecord* root);

// Calls the terminate slot of root->children[executionOrder[i]] for i = 0..numBlocks - 1;
// empty slots and empty children are skipped.
void terminateModel(const ModelEntry& model, ModelRecord* root);
