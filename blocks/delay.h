// Delay block type: each channel delayed by a whole number of samples across frames.
#pragma once

#include "model/block.h"

// Installs the type's functions in the method slots of `block`.
void registerDelay(BlockRecord* block);
