#include "blocks/frame_ring.h"

#include <algorithm>

void readRingThenFrame(double* out, int32_t outputRows, const double* ring, int32_t head,
                       int32_t ringRows, const double* const* frame, int32_t frameRows,
                       int32_t channels, bool channelMajor) {
    const int32_t keptRows = std::min(ringRows, outputRows);
    for (int32_t r = 0; r < keptRows; ++r) {
        const int32_t q = ringRow(head, r, ringRows);
        for (int32_t c = 0; c < channels; ++c) {
            out[frameElement(r, c, outputRows, channels, channelMajor)] = ring[q * channels + c];
        }
    }
    for (int32_t r = std::max(ringRows, 0); r < outputRows; ++r) {
        for (int32_t c = 0; c < channels; ++c) {
            out[frameElement(r, c, outputRows, channels, channelMajor)] =
                *frame[frameElement(r - ringRows, c, frameRows, channels, channelMajor)];
        }
    }
}

void storeFrameInRing(double* ring, int32_t* head, const double* const* frame, int32_t frameRows,
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
                    *frame[frameElement(firstRow + q, c, frameRows, channels, channelMajor)];
            }
        }
        return;
    }
    for (int32_t i = 0; i < frameRows; ++i) {
        const int32_t q = ringRow(*head, i, ringRows);
        for (int32_t c = 0; c < channels; ++c) {
            ring[q * channels + c] = *frame[frameElement(i, c, frameRows, channels, channelMajor)];
        }
    }
    *head = frameRows > 0 ? (*head + frameRows) % ringRows : *head;
}
