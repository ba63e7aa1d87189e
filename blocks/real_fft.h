// Real FFT block type (single-vector interface): N real samples to the N-bin split spectrum.
#pragma once

#include "model/block.h"

// Installs the type's functions in the method slots of `block`.
void registerRealFft(BlockRecord* block);
