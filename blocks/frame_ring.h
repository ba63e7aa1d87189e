// The history ring shared by the framed history blocks (FIFO, Delay, Integrate): the newest rows
// of a stream, kept row by row (row q, channel c at q * C + c) with `head` at the oldest row.
#pragma once

#include <cstdint>
#include <cstring>

#include "model/block.h"

// Element of (row, channel) in a frame of `rows` rows and `channels` channels: channel blocks
// when `channelMajor`, else channels side by side within a row.
inline int32_t frameElement(int32_t row, int32_t channel, int32_t rows, int32_t channels,
                            bool channelMajor) {
    return channelMajor ? row + channel * rows : row * channels + channel;
}

// Ring row that holds the k-th oldest kept row of a ring of `ringRows` rows.
inline int32_t ringRow(int32_t head, int32_t k, int32_t ringRows) {
    return (head + k) % ringRows;
}

// True when a frame's rows are laid out like the ring's (row r, channel c at r * C + c): one
// channel, or channels interleaved. Whole rows can then be copied as runs of doubles.
inline bool rowsAreRuns(int32_t channels, bool channelMajor) {
    return channels == 1 || !channelMajor;
}

// Copies src [count] to dst [count] in ascending order; one memcpy when they do not overlap.
inline void copyForward(double* dst, const double* src, int32_t count) {
    if (count <= 0) {
        return;
    }
    const auto at = [](const double* p) { return reinterpret_cast<uintptr_t>(p); };
    if (at(dst + count) <= at(src) || at(src + count) <= at(dst)) {
        std::memcpy(dst, src, static_cast<size_t>(count) * sizeof(double));
        return;
    }
    for (int32_t k = 0; k < count; ++k) {
        dst[k] = src[k];
    }
}

// Writes output frame [outputRows x channels]: its first min(ringRows, outputRows) rows are the
// kept rows of ring [ringRows x channels], oldest first from `head`; every later row r is row
// r - ringRows of input frame [frameRows x channels] (element k read as frame[k]). Both frames are
// placed by the layout flag. Nothing comes from the ring when ringRows <= 0.
template <typename Input>
void readRingThenFrame(double* out, int32_t outputRows, const double* ring, int32_t head,
                       int32_t ringRows, Input frame, int32_t frameRows, int32_t channels,
                       bool channelMajor) {
    const int32_t keptRows = ringRows < outputRows ? ringRows : outputRows;
    for (int32_t r = 0; r < keptRows; ++r) {
        const int32_t q = ringRow(head, r, ringRows);
        for (int32_t c = 0; c < channels; ++c) {
            out[frameElement(r, c, outputRows, channels, channelMajor)] = ring[q * channels + c];
        }
    }
    for (int32_t r = ringRows > 0 ? ringRows : 0; r < outputRows; ++r) {
        for (int32_t c = 0; c < channels; ++c) {
            out[frameElement(r, c, outputRows, channels, channelMajor)] =
                frame[frameElement(r - ringRows, c, frameRows, channels, channelMajor)];
        }
    }
}

// The same for an input port: where the rows are runs, the ring's rows go out as at most two
// copies, and the frame's rows as one when the port reads straight from its signal.
void readRingThenFrame(double* out, int32_t outputRows, const double* ring, int32_t head,
                       int32_t ringRows, const InputPort& port, int32_t frameRows,
                       int32_t channels, bool channelMajor);

// Stores input frame [frameRows x channels] (element k read as frame[k], placed by the layout)
// into ring [ringRows x channels] rows, so that the ring holds the ringRows newest rows with the
// oldest at *head. A ring no longer than the frame is replaced whole and *head becomes 0; a
// longer ring takes the frame at *head and *head moves on by the frame length.
template <typename Input>
void storeFrameInRing(double* ring, int32_t* head, Input frame, int32_t frameRows,
                      int32_t ringRows, int32_t channels, bool channelMajor) {
    if (ringRows <= frameRows) {
        *head = 0;
        if (ringRows <= 0) {
            return;
        }
        const int32_t firstRow = frameRows - ringRows;
        for (int32_t q = 0; q < ringRows; ++q) {
            for (int32_t c = 0; c < channels; ++c) {
                ring[q * channels + c] =
                    frame[frameElement(firstRow + q, c, frameRows, channels, channelMajor)];
            }
        }
        return;
    }
    for (int32_t i = 0; i < frameRows; ++i) {
        const int32_t q = ringRow(*head, i, ringRows);
        for (int32_t c = 0; c < channels; ++c) {
            ring[q * channels + c] = frame[frameElement(i, c, frameRows, channels, channelMajor)];
        }
    }
    *head = frameRows > 0 ? (*head + frameRows) % ringRows : *head;
}

// The same for an input port: when the port reads straight from its signal and the rows are runs,
// the frame goes into the ring as at most two copies of whole rows.
void storeFrameInRing(double* ring, int32_t* head, const InputPort& port, int32_t frameRows,
                      int32_t ringRows, int32_t channels, bool channelMajor);
