// FIFO block type: the latest frames of a stream as one longer, overlapping frame.
#pragma once

#include "model/block.h"

// Installs the type's functions in the method slots of `block`.
void registerFifo(BlockRecord* block);
