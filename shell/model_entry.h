// The seam between the run-time shell and a model: the shell knows a model only through this
// table of functions, so the real model and the small test models plug in the same way.
#pragma once

#include <cstdint>

#include "model/block.h"

struct ModelEntry {
    const char* name;  // "kestrel9": the usage text, the overrun message
    // Builds the records and areas and returns the root; zero-fills everything first.
    ModelRecord* (*registerModel)();
    void (*setRootSizes)(ModelRecord* root);
    void (*setRootSampleTimes)(ModelRecord* root);
    // Initial conditions, start methods and the model's own initial values.
    void (*startModel)(ModelRecord* root);
    void (*modelOutputs)(ModelRecord* root, int32_t taskIndex);
    void (*modelUpdate)(ModelRecord* root, int32_t taskIndex);
    // Indices into root->children in the order terminateModel calls their terminate slots.
    const int32_t* executionOrder;
    int32_t numBlocks;
};
