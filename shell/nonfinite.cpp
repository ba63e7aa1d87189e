#include "shell/nonfinite.h"

#include <bit>
#include <cstdio>
#include <cstring>

// Constant-initialised to the 8-byte values so that code running before the main program (unit
// tests of single blocks) sees the same constants.
double rtInf = std::bit_cast<double>(0x7FF0000000000000ULL);
double rtMinusInf = std::bit_cast<double>(0xFFF0000000000000ULL);
double rtNaN = std::bit_cast<double>(0x7FFFFFFFFFFFFFFFULL);

namespace {

// Stores a 32-bit pattern in the first four bytes of `target` and zeroes the rest.
void storeSingle(double* target, uint32_t bits) {
    unsigned char bytes[sizeof(double)] = {};
    std::memcpy(bytes, &bits, sizeof bits);
    std::memcpy(target, bytes, sizeof bytes);
}

}  // namespace

bool initNonFinite(int32_t realSize) {
    if (realSize == 8) {
        rtInf = std::bit_cast<double>(0x7FF0000000000000ULL);
        rtMinusInf = std::bit_cast<double>(0xFFF0000000000000ULL);
        rtNaN = std::bit_cast<double>(0x7FFFFFFFFFFFFFFFULL);
        return true;
    }
    if (realSize == 4) {
        storeSingle(&rtInf, 0x7F800000U);
        storeSingle(&rtMinusInf, 0xFF800000U);
        storeSingle(&rtNaN, 0x7FFFFFFFU);
        return true;
    }
    std::fputs("Unable to initialize rtInf, rtMinusInf, and rtNaN\n", stderr);
    return false;
}
