// The history ring shared by the framed history blocks (FIFO, Delay, Integrate): the newest rows
// of a stream, kept row by row (row q, channel c at q * C + c) with `head` at the oldest row.
#pragma once

#include <cstdint>

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

// Writes output frame [outputRows x channels]: its first min(ringRows, outputRows) rows are the
// kept rows of ring [ringRows x channels], oldest first from `head`; every later row r is row
// r - ringRows of input frame [frameRows x channels] (element k behind frame[k]). Both frames are
// placed by the layout flag. Nothing comes from the ring when ringRows <= 0.
void readRingThenFrame(double* out, int32_t outputRows, const double* ring, int32_t head,
                       int32_t ringRows, const double* const* frame, int32_t frameRows,
                       int32_t channels, bool channelMajor);

// Stores input frame [frameRows x channels] (element k behind frame[k], placed by the layout)
// into ring [ringRows x channels] rows, so that the ring holds the ringRows newest rows with the
// oldest at *head. A ring no longer than the frame is replaced whole and *head becomes 0; a
// longer ring takes the frame at *head and *head moves on by the frame length.
void storeFrameInRing(double* ring, int32_t* head, const double* const* frame, int32_t frameRows,
                      int32_t ringRows, int32_t channels, bool channelMajor);
