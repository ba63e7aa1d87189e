#include "blocks/frame_ring.h"

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
