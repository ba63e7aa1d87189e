// Number formatting of our own, independent of the host C library and its locale.
#pragma once

#include <cstddef>

#include "platform/host_clock.h"

// "%.15e" with an exponent of at least three digits: 0.5 -> "5.000000000000000e-001".
// +inf -> "1.#INF00000000000e+000", -inf -> "-1.#INF00000000000e+000", NaN -> see the .cpp.
// Writes a NUL-terminated text into out[capacity] and returns its length (at most 32 characters).
int formatExp15(double value, char* out, std::size_t capacity);

// The 24-character calendar text "Www Mmm DD hh:mm:ss YYYY" with English names.
// out must hold at least 25 characters.
void formatCalendar24(const CalendarTime& time, char* out);
