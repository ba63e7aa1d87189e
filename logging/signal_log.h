// Signal logging: configured signals are recorded every step into circular buffers allocated at
// start, and written at exit as named real matrices to a Level-4 matrix file.
#pragma once

#include <cstdint>

#include "model/block.h"

constexpr int32_t kLogNameSize = 32;
constexpr int32_t kDefaultLogRows = 1024;

struct LogVar {
    char name[kLogNameSize];  // prefix + variable name, cut to 31 characters
    int32_t nRows;            // rows of the circular buffer
    int32_t totalRows;        // rows logged in all (set by prepareLogVar)
    int32_t rowIdx;           // next row to write
    int32_t wrapCount;        // times rowIdx went back to 0
    int32_t usedDefaultSize;  // 1 when nRows is the default buffer size
    double* data;             // [nRows x nCols], row by row while logging
    int32_t decimation;       // log one call out of this many
    int32_t nCols;            // values per row
    int32_t decimationCounter;
    LogVar* next;
};

struct LogRecord {
    LogVar* first;  // every variable, in creation order
    LogVar* timeVar;
    LogVar* stateVar;
    int32_t numOutputVars;
    LogVar** outputVars;  // [numOutputVars]
    LogVar* finalStateVar;
};

// Creates the LogRecord and the variables configured in the root's ModelInfo, each named with
// `prefix`. Returns null or a message text.
const char* startDataLogging(ModelRecord* root, const char* prefix);

// Creates one variable with a buffer [rows x nCols] and appends it to the root's log list; the
// new variable is stored in *result. Returns null or a message text.
const char* createLogVar(ModelRecord* root, const char* prefix, const char* varName,
                         int32_t maxRows, int32_t decimation, int32_t nCols, double sampleTime,
                         LogVar** result);

// Logs one row of every time, state and output variable; never fails (returns null).
const char* updateLogVars(ModelRecord* root);

// Copies source [nCols] into the next row of the variable's buffer, honouring the decimation.
void logRow(LogVar* var, const double* source);

// Puts the buffer [valid x nCols] in column order with the oldest row first. Returns null or a
// message text.
const char* prepareLogVar(LogVar* var);

// Writes every variable that holds a row to `fileName` and releases all logging memory.
void stopDataLogging(const char* fileName, ModelRecord* root);

// Prints `text`, ": ", the system's reason for errno and a newline on standard error.
void printSystemError(const char* text);
