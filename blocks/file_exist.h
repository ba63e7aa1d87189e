// File Exist block type: 1.0 when the named file can be opened for reading, else 0.0.
#pragma once

#include "model/block.h"

// Installs the type's functions in the method slots of `block`.
void registerFileExist(BlockRecord* block);
