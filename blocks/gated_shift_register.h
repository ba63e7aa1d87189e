// Gated Shift Register block type: shift register clocked by a per-sample gate.
#pragma once

#include "model/block.h"

// Installs the type's functions in the method slots of `block`.
void registerGatedShiftRegister(BlockRecord* block);
