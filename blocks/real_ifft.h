// Real IFFT block type (single-vector interface): N-bin split spectrum back to N real samples.
#pragma once

#include "model/block.h"

// Installs the type's functions in the method slots of `block`.
void registerRealIfft(BlockRecord* block);
