#include "model/block.h"

#include <cmath>
#include <cstdint>

void callInitConditions(BlockRecord* block) {
    if (block->methods.vectorInitConditions != nullptr) {
        block->methods.vectorInitConditions(block->stateVector, block);
    } else if (block->methods.initConditions != nullptr) {
        block->methods.initConditions(block);
    }
}

void callOutputs(BlockRecord* block, int32_t taskIndex) {
    if (block->methods.vectorOutputs != nullptr) {
        block->methods.vectorOutputs(block->outputVector, block->stateVector,
                                     block->inputElementPtrs, block, taskIndex);
    } else if (block->methods.outputs != nullptr) {
        block->methods.outputs(block, taskIndex);
    }
}

namespace {

// Truncation toward zero to a 32-bit signed integer; NaN and out-of-range values give INT32_MIN,
// the value the x86 conversion produces, rather than undefined behaviour.
int32_t truncToInt32(double x) {
    if (!(x > -2147483649.0 && x < 2147483648.0)) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(x);
}

}  // namespace

int32_t roundToInt32(double x) {
    return truncToInt32(std::floor(x + 0.5));
}

const ParamValue* paramValue(const BlockRecord* block, int32_t index) {
    return block->params[index - 1];
}

double paramReal(const BlockRecord* block, int32_t index) {
    return paramValue(block, index)->data[0];
}

int32_t paramInt(const BlockRecord* block, int32_t index) {
    return roundToInt32(paramReal(block, index));
}

bool paramFlag(const BlockRecord* block, int32_t index) {
    return paramReal(block, index) != 0.0;
}

int32_t textParamToString(const ParamValue* param, char* buffer, int32_t capacity) {
    if (capacity <= 0) {
        return 1;
    }
    // trunc(cols) x trunc(rows) characters, computed without overflow for absurd sizes.
    const double cols = std::trunc(param->cols);
    const double rows = std::trunc(param->rows);
    const double n = (cols > 0.0 && rows > 0.0) ? cols * rows : 0.0;
    int32_t count = 0;
    int32_t cut = 0;
    if (n >= static_cast<double>(capacity)) {
        count = capacity - 1;
        cut = 1;
    } else {
        count = static_cast<int32_t>(n);
    }
    for (int32_t i = 0; i < count; ++i) {
        // Element plus 0.5, truncated, kept in 8 bits.
        const int32_t code = truncToInt32(param->data[i] + 0.5);
        buffer[i] = static_cast<char>(static_cast<uint8_t>(code & 0xFF));
    }
    buffer[count] = '\0';
    return cut;
}

const double* consecutiveElements(const double* const* refs, int32_t width) {
    if (refs == nullptr || width < 1) {
        return nullptr;
    }
    const double* start = refs[0];
    for (int32_t k = 1; k < width; ++k) {
        if (refs[k] != start + k) {
            return nullptr;
        }
    }
    return start;
}

void resolveInputSources(BlockRecord* block) {
#if defined(KESTREL9_LITERAL)
    // The literal build reads every input through its references.
    (void)block;
#else
    if (block->inputElementPtrs != nullptr) {
        const int32_t half = block->numInputPorts / 2;
        for (int32_t h = 0; h < 2; ++h) {
            block->inputHalves[h] =
                half > 0 ? consecutiveElements(block->inputElementPtrs + h * half, half) : nullptr;
        }
        return;
    }
    if (block->inputPorts == nullptr) {
        return;
    }
    for (int32_t p = 0; p < block->numInputPorts; ++p) {
        InputPort& port = block->inputPorts[p];
        port.source = consecutiveElements(port.signalPtrs, port.width);
    }
#endif
}
