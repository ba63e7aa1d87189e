#include "logging/matfile.h"

#include <bit>

int32_t matTypeForHost() {
    return std::endian::native == std::endian::big ? 1000 : 0;
}

bool matWriteHeader(std::FILE* file, int32_t rows, int32_t cols, int32_t nameLength) {
    const int32_t header[5] = {matTypeForHost(), rows, cols, 0, nameLength};
    return std::fwrite(header, sizeof header, 1, file) == 1;
}

bool matWriteName(std::FILE* file, const char* name, int32_t nameLength) {
    if (nameLength <= 0) {
        return false;
    }
    return std::fwrite(name, static_cast<std::size_t>(nameLength), 1, file) == 1;
}

bool matWriteValue(std::FILE* file, double value) {
    return std::fwrite(&value, sizeof value, 1, file) == 1;
}
