// To Log File block type: appends a time-stamped line of its input values to a text file.
#pragma once

#include "model/block.h"

// Installs the type's functions in the method slots of `block`.
void registerToLogFile(BlockRecord* block);
