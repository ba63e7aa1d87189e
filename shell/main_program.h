// The console entry point of the shell: arguments, start-up, step loop, shut-down, exit status.
#pragma once

#include <cstdint>

#include "shell/model_entry.h"

// Reads a final time as sscanf "%lf%1s" would: true when there is exactly one number, nothing
// but blanks after it, and the value is >= 0 (NaN and negative values are refused).
bool parseFinalTimeArg(const char* text, double* value);

// Reads a port as sscanf "%d%1s" would: true when there is exactly one integer, nothing but
// blanks after it, and 256 <= value <= 65535. A number that does not fit an int is refused.
bool parsePortArg(const char* text, int32_t* value);

// Prints the four-line usage text on standard output (the last line has no newline).
void printUsage(const char* modelName);

// Runs `model` with the command line; returns the exit status (0 normal end, 1 any failure).
int runMain(int argc, char** argv, const ModelEntry& model);
