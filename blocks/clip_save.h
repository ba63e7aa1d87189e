// Clip & Save block type: writes each run of non-zero save flags, with its audio, as a clip file.
#pragma once

#include "model/block.h"

// Installs the type's functions in the method slots of `block`.
void registerClipSave(BlockRecord* block);
