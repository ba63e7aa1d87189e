// Integrate block type: running sum (or average) over a sliding window of samples.
#pragma once

#include "model/block.h"

// Installs the type's functions in the method slots of `block`.
void registerIntegrate(BlockRecord* block);
