#include "blocks/frame_ring.h"

void readRingThenFrame(double* out, int32_t outputRows, const double* ring, int32_t head,
                       int32_t ringRows, const InputPort& port, int32_t frameRows,
                       int32_t channels, bool channelMajor) {
#if !defined(KESTREL9_LITERAL)
    if (rowsAreRuns(channels, channelMajor) && ringRows > 0 && head >= 0 && head < ringRows) {
        // Ring rows from head to the end of the ring, then from its start.
        const int32_t keptRows = ringRows < outputRows ? ringRows : outputRows;
        if (keptRows > 0) {
            const int32_t first = keptRows < ringRows - head ? keptRows : ringRows - head;
            copyForward(out, ring + head * channels, first * channels);
            copyForward(out + first * channels, ring, (keptRows - first) * channels);
        }
        const int32_t newCount = (outputRows - ringRows) * channels;
        double* newRows = out + ringRows * channels;
        if (port.source != nullptr) {
            copyForward(newRows, port.source, newCount);
        } else {
            for (int32_t k = 0; k < newCount; ++k) {
                newRows[k] = *port.signalPtrs[k];
            }
        }
        return;
    }
#endif
    withInput(port, [&](auto frame) {
        readRingThenFrame(out, outputRows, ring, head, ringRows, frame, frameRows, channels,
                          channelMajor);
    });
}

void storeFrameInRing(double* ring, int32_t* head, const InputPort& port, int32_t frameRows,
                      int32_t ringRows, int32_t channels, bool channelMajor) {
#if !defined(KESTREL9_LITERAL)
    const int32_t start = *head;
    if (port.source != nullptr && rowsAreRuns(channels, channelMajor) && frameRows >= 0 &&
        (ringRows <= frameRows || (start >= 0 && start < ringRows))) {
        if (ringRows <= frameRows) {
            *head = 0;
            if (ringRows > 0) {
                copyForward(ring, port.source + (frameRows - ringRows) * channels,
                            ringRows * channels);
            }
            return;
        }
        // Rows from head to the end of the ring, then from its start.
        const int32_t first = frameRows < ringRows - start ? frameRows : ringRows - start;
        copyForward(ring + start * channels, port.source, first * channels);
        copyForward(ring, port.source + first * channels, (frameRows - first) * channels);
        *head = frameRows > 0 ? (start + frameRows) % ringRows : start;
        return;
    }
#endif
    withInput(port, [&](auto frame) {
        storeFrameInRing(ring, head, frame, frameRows, ringRows, channels, channelMajor);
    });
}
