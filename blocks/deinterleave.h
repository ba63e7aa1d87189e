// Deinterleave block type: interleaved frame to channel-major order.
#pragma once

#include "model/block.h"

// Installs the type's functions in the method slots of `block`.
void registerDeinterleave(BlockRecord* block);
