#include "logging/signal_log.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "logging/matfile.h"
#include "platform/host_fs.h"

namespace {

const char* const kMemoryError = "Memory allocation error";

// True for a missing or empty configuration text.
bool isEmptyText(const char* text) {
    return text == nullptr || text[0] == '\0';
}

// Buffer rows for a variable: enough for every step up to the final time, else the maximum rows
// or the default size. Kept within 1..INT32_MAX so that absurd times cannot overflow.
int32_t bufferRows(const ModelInfo* info, int32_t maxRows, int32_t decimation, double sampleTime,
                   bool* usedDefault) {
    *usedDefault = false;
    if (info->finalTime > 0.0) {
        double n = std::trunc(info->finalTime / sampleTime) + 1.0;
        if ((n - 1.0) * sampleTime < info->finalTime) {
            n += 1.0;
        }
        double rows = std::floor(n / decimation);
        if (rows * decimation < n) {
            rows += 1.0;
        }
        if (maxRows > 0 && maxRows < rows) {
            rows = maxRows;
        }
        if (!(rows >= 1.0)) {
            return 1;
        }
        return rows > static_cast<double>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(rows);
    }
    if (maxRows > 0) {
        return maxRows;
    }
    *usedDefault = true;
    return kDefaultLogRows;
}

// Frees every variable's buffer and record, the output table and the LogRecord itself.
void releaseLogRecord(ModelInfo* info) {
    LogRecord* record = info->logRecord;
    if (record == nullptr) {
        return;
    }
    LogVar* var = record->first;
    while (var != nullptr) {
        LogVar* next = var->next;
        std::free(var->data);
        std::free(var);
        var = next;
    }
    std::free(record->outputVars);
    std::free(record);
    info->logRecord = nullptr;
}

// Writes count doubles of values [count]; false when one was not written.
bool writeValues(std::FILE* file, const double* values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!matWriteValue(file, values[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

void printSystemError(const char* text) {
    const int code = errno;
    std::fprintf(stderr, "%s: %s\n", text, std::strerror(code));
}

const char* createLogVar(ModelRecord* root, const char* prefix, const char* varName,
                         int32_t maxRows, int32_t decimation, int32_t nCols, double sampleTime,
                         LogVar** result) {
    ModelInfo* info = root->info;
    // A decimation below 1 would divide by zero; it means "every call".
    const int32_t everyNth = decimation < 1 ? 1 : decimation;
    bool usedDefault = false;
    const int32_t rows = bufferRows(info, maxRows, everyNth, sampleTime, &usedDefault);
    if (usedDefault) {
        std::printf("*** Using a default buffer of size %d for log variable %s\n",
                    kDefaultLogRows, varName);
    }

    auto* var = static_cast<LogVar*>(std::calloc(1, sizeof(LogVar)));
    if (var == nullptr) {
        std::printf("*** Error allocating memory for log variable %s\n", varName);
        std::printf("*** Details:\n       sizeof(LogVar)  = %ld\n",
                    static_cast<long>(sizeof(LogVar)));
        return kMemoryError;
    }
    std::snprintf(var->name, sizeof var->name, "%s%s", prefix, varName);

    // rows x nCols doubles; a count that cannot be allocated is reported like a failed allocation.
    double* data = nullptr;
    if (nCols >= 0) {
        const std::size_t elements =
            static_cast<std::size_t>(rows) * static_cast<std::size_t>(nCols);
        if (elements <= SIZE_MAX / sizeof(double)) {
            data = static_cast<double*>(std::calloc(elements == 0 ? 1 : elements, sizeof(double)));
        }
    }
    if (data == nullptr) {
        std::printf("*** Error allocating memory for the circular buffer\n");
        std::printf(
            "*** Details:\n       varName         = %s\n       nRows           = %d\n"
            "       nCols           = %d\n       sizeof(GrxReal) = %ld\n",
            varName, rows, nCols, static_cast<long>(sizeof(double)));
        std::free(var);
        return kMemoryError;
    }

    var->data = data;
    var->nRows = rows;
    var->totalRows = 0;
    var->rowIdx = 0;
    var->wrapCount = 0;
    var->usedDefaultSize = usedDefault ? 1 : 0;
    var->decimation = everyNth;
    var->nCols = nCols;
    var->decimationCounter = -1;
    var->next = nullptr;

    LogRecord* record = info->logRecord;
    LogVar** tail = &record->first;
    while (*tail != nullptr) {
        tail = &(*tail)->next;
    }
    *tail = var;
    *result = var;
    return nullptr;
}

const char* startDataLogging(ModelRecord* root, const char* prefix) {
    ModelInfo* info = root->info;
    auto* record = static_cast<LogRecord*>(std::calloc(1, sizeof(LogRecord)));
    if (record == nullptr) {
        return kMemoryError;
    }
    info->logRecord = record;

    const int32_t maxRows = info->logMaxRows;
    const int32_t decimation = info->logDecimation;
    const double sampleTime = info->fixedStepSize;
    // Every state of the model, continuous and discrete; a sum past the int range cannot be
    // allocated and is passed on as a negative width, which the creation refuses.
    const int64_t stateCount =
        static_cast<int64_t>(root->numContStates) + static_cast<int64_t>(root->numDiscStates);
    const int32_t stateWidth = stateCount > INT32_MAX ? -1 : static_cast<int32_t>(stateCount);

    if (!isEmptyText(info->timeVarName)) {
        if (const char* error = createLogVar(root, prefix, info->timeVarName, maxRows, decimation,
                                             1, sampleTime, &record->timeVar)) {
            return error;
        }
    }
    if (!isEmptyText(info->stateVarName)) {
        if (const char* error = createLogVar(root, prefix, info->stateVarName, maxRows,
                                             decimation, stateWidth, sampleTime,
                                             &record->stateVar)) {
            return error;
        }
    }
    if (!isEmptyText(info->outputVarNames)) {
        const char* names = info->outputVarNames;
        int32_t count = 1;
        for (const char* c = names; *c != '\0'; ++c) {
            if (*c == ',') {
                ++count;
            }
        }
        record->outputVars = static_cast<LogVar**>(std::calloc(
            static_cast<std::size_t>(count), sizeof(LogVar*)));
        if (record->outputVars == nullptr) {
            return kMemoryError;
        }
        record->numOutputVars = count;
        const char* pos = names;
        for (int32_t i = 0; i < count; ++i) {
            // The name runs up to the next comma, searched from its second character; a list
            // that runs out early gives empty names instead of reading past its end.
            std::size_t length = 0;
            const char* next = pos;
            if (*pos != '\0') {
                const char* comma = std::strchr(pos + 1, ',');
                length = comma != nullptr ? static_cast<std::size_t>(comma - pos) : std::strlen(pos);
                next = comma != nullptr ? comma + 1 : pos + length;
            }
            char name[kLogNameSize];
            const std::size_t kept = std::min(length, static_cast<std::size_t>(kLogNameSize - 1));
            std::memcpy(name, pos, kept);
            name[kept] = '\0';
            const int32_t width = info->outputVarWidths != nullptr ? info->outputVarWidths[i] : 0;
            if (const char* error = createLogVar(root, prefix, name, maxRows, decimation, width,
                                                 sampleTime, &record->outputVars[i])) {
                return error;
            }
            pos = next;
        }
    }
    if (!isEmptyText(info->finalStateVarName)) {
        if (const char* error = createLogVar(root, prefix, info->finalStateVarName, 1, decimation,
                                             stateWidth, sampleTime, &record->finalStateVar)) {
            return error;
        }
    }
    return nullptr;
}

void logRow(LogVar* var, const double* source) {
    var->decimationCounter += 1;
    if (var->decimationCounter % var->decimation != 0) {
        return;
    }
    var->decimationCounter = 0;
    if (var->data == nullptr || source == nullptr) {
        return;
    }
    const std::size_t cols = static_cast<std::size_t>(var->nCols);
    std::memcpy(var->data + static_cast<std::size_t>(var->rowIdx) * cols, source,
                cols * sizeof(double));
    var->rowIdx += 1;
    if (var->rowIdx == var->nRows) {
        var->rowIdx = 0;
        var->wrapCount += 1;
    }
}

const char* updateLogVars(ModelRecord* root) {
    const ModelInfo* info = root->info;
    const LogRecord* record = info->logRecord;
    if (record == nullptr) {
        return nullptr;
    }
    if (record->timeVar != nullptr) {
        logRow(record->timeVar, info->taskTimes);
    }
    if (record->stateVar != nullptr) {
        logRow(record->stateVar, root->stateVector);
    }
    std::size_t offset = 0;
    for (int32_t i = 0; i < record->numOutputVars; ++i) {
        LogVar* var = record->outputVars[i];
        if (var == nullptr) {
            continue;
        }
        // The model's outputs lie one after the other in the root's output vector.
        logRow(var, root->outputVector != nullptr ? root->outputVector + offset : nullptr);
        offset += static_cast<std::size_t>(var->nCols);
    }
    return nullptr;
}

const char* prepareLogVar(LogVar* var) {
    const int32_t valid = var->wrapCount > 0 ? var->nRows : var->rowIdx;
    var->totalRows = static_cast<int32_t>(static_cast<int64_t>(var->wrapCount) * var->nRows +
                                          var->rowIdx);
    if (valid == 0) {
        return nullptr;
    }
    const std::size_t rows = static_cast<std::size_t>(valid);
    const std::size_t cols = var->nCols > 0 ? static_cast<std::size_t>(var->nCols) : 0;
    if (cols > 1) {
        // Row by row [valid x nCols] to column by column.
        auto* columns = static_cast<double*>(std::malloc(rows * cols * sizeof(double)));
        if (columns == nullptr) {
            return kMemoryError;
        }
        for (std::size_t r = 0; r < rows; ++r) {
            for (std::size_t c = 0; c < cols; ++c) {
                columns[c * rows + r] = var->data[r * cols + c];
            }
        }
        std::free(var->data);
        var->data = columns;
    }
    if (var->wrapCount > 0 && var->rowIdx != 0) {
        // Oldest row first: element rowIdx of each column becomes element 0.
        const std::size_t shift = static_cast<std::size_t>(var->rowIdx);
        for (std::size_t c = 0; c < cols; ++c) {
            double* column = var->data + c * rows;
            std::rotate(column, column + shift, column + rows);
        }
        var->rowIdx = 0;
        if (var->usedDefaultSize == 1) {
            std::printf("*** Log variable %s has wrapped %d times using a buffer size of %d\n",
                        var->name, var->wrapCount, var->nRows);
            std::printf("*** To prevent wrapping, explicitly specify a buffer size of %d in your "
                        "Flowcraft model.\n",
                        var->totalRows);
        }
    }
    return nullptr;
}

void stopDataLogging(const char* fileName, ModelRecord* root) {
    ModelInfo* info = root->info;
    LogRecord* record = info->logRecord;
    if (record == nullptr) {
        return;
    }
    if (record->first == nullptr) {
        // Nothing configured: no file and no message.
        releaseLogRecord(info);
        return;
    }
    if (record->finalStateVar != nullptr) {
        logRow(record->finalStateVar, root->stateVector);
    }

    char message[1100];
    std::FILE* file = hostOpen(fileName, "wb");
    if (file == nullptr) {
        std::snprintf(message, sizeof message, "Error opening %s", fileName);
        printSystemError(message);
        releaseLogRecord(info);
        return;
    }

    bool deleteFile = true;
    bool reported = false;
    for (LogVar* var = record->first; var != nullptr; var = var->next) {
        if (const char* error = prepareLogVar(var)) {
            std::fprintf(stderr, "*** Error writing %s due to: %s", fileName, error);
            reported = true;
            break;
        }
        if (var->totalRows <= 0) {
            continue;
        }
        deleteFile = false;
        const int32_t rows = var->wrapCount > 0 ? var->nRows : var->totalRows;
        const int32_t cols = var->nCols;
        const auto nameLength = static_cast<int32_t>(std::strlen(var->name) + 1);
        const std::size_t count = static_cast<std::size_t>(rows) *
                                  static_cast<std::size_t>(cols > 0 ? cols : 0);
        if (!matWriteHeader(file, rows, cols, nameLength) ||
            !matWriteName(file, var->name, nameLength) || !writeValues(file, var->data, count)) {
            std::snprintf(message, sizeof message, "*** Error writing %s", fileName);
            printSystemError(message);
            reported = true;
            break;
        }
    }

    releaseLogRecord(info);
    // Buffered bytes are stored only now; losing them is a write error as well.
    if (std::fclose(file) != 0 && !reported) {
        std::snprintf(message, sizeof message, "*** Error writing %s", fileName);
        printSystemError(message);
    }
    if (deleteFile) {
        hostRemove(fileName);
    } else {
        std::printf("Created %s\n", fileName);
    }
}
