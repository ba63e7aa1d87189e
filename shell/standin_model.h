// A stand-in for the kestrel9 model with the model's three rates and no blocks, so that the
// program builds and runs before the real model is wired in.
#pragma once

#include "shell/model_entry.h"

extern const ModelEntry standinModel;
