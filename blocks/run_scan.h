// Searches of a frame for the next sample that ends a run of idle samples, vectorised: the
// flip-flop, the counters, the shift register and Clip & Save spend most samples waiting for one.
// Each returns the first index in [from, to) whose value passes its test, or `to`.
#pragma once

#include <cstdint>

// First x[i] != 0.0 (NaN passes): a counter's reset or load.
int32_t firstNonZero(const double* x, int32_t from, int32_t to);

// First x[i] < 0.0 or x[i] > 0.0 (NaN does not pass): a flip-flop's or register's input.
int32_t firstActive(const double* x, int32_t from, int32_t to);

// First x[i] != 0.0 and not NaN: a Clip & Save flag.
int32_t firstOn(const double* x, int32_t from, int32_t to);

// out[from .. to - 1] = value.
void fillRun(double* out, int32_t from, int32_t to, double value);
