// Pulse Limited Flip Flop block type: set/reset flip-flop with minimum and maximum pulse length.
#pragma once

#include "model/block.h"

// Installs the type's functions in the method slots of `block`.
void registerPulseLimitedFlipFlop(BlockRecord* block);
