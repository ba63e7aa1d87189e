// Methods shared by the two single-vector transform block types (Real FFT and Real IFFT).
#pragma once

#include "model/block.h"

// Installs the shared methods in `block`: sizes (1 parameter, widths -1 for the model to set,
// direct feedthrough, 1 sample time, options 3, no states or work memory), sample times from the
// one parameter, and the empty initConditions, update, derivatives and terminate.
void installTransformMethods(BlockRecord* block);
