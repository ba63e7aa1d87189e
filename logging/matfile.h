// Level-4 matrix file layout: per matrix a header of five 32-bit integers in host byte order
// (type, rows, columns, imaginary flag, name length with the NUL), the name with its NUL, then
// rows x cols doubles, column by column. Used by signal logging and by the ".grx" clip format.
#pragma once

#include <cstdint>
#include <cstdio>

// 0 on a little-endian host, 1000 on a big-endian one.
int32_t matTypeForHost();

// Writes the 20-byte header (type, rows, cols, 0, nameLength) in one write; false when it stored
// nothing.
bool matWriteHeader(std::FILE* file, int32_t rows, int32_t cols, int32_t nameLength);

// Writes the name and its NUL (nameLength bytes) in one write; false unless all bytes were written.
bool matWriteName(std::FILE* file, const char* name, int32_t nameLength);

// Writes one double; false when it was not written.
bool matWriteValue(std::FILE* file, double value);
