// From Wave File block type: reads a PCM wave file frame by frame.
#pragma once

#include "model/block.h"

// Installs the type's functions in the method slots of `block`.
void registerFromWaveFile(BlockRecord* block);
