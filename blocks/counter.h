// Counter block type: per-sample up/down counts with optional increment, reset and load inputs.
#pragma once

#include "model/block.h"

// Installs the type's functions in the method slots of `block`.
void registerCounter(BlockRecord* block);
