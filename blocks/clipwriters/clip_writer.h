// Clip writer contract of the Clip & Save block: each writer writes samples [first, end) of every
// channel of the audio buffer to one new file (replacing a file of that name), closes it, and
// reports failure only through the root's error status.
#pragma once

#include <cstdint>

#include "model/block.h"

struct ClipRequest {
    BlockRecord* block;       // the Clip & Save instance: parameters and error status
    const char* fileName;     // complete file name (a model path, mapped by the host layer)
    int32_t numChannels;      // C
    int32_t first;            // first sample index in the buffers
    int32_t end;              // end sample index (exclusive)
    const InputPort* audio;   // the audio buffer port: N samples per channel
    int32_t bufferSize;       // N
    bool channelMajor;        // layout of the audio buffer
    double sampleRate;        // unrounded
};

// Value of sample s of channel c: element s + c * N (channel-major) or s * C + c (interleaved).
inline double clipSample(const ClipRequest& clip, int32_t s, int32_t c) {
    const int32_t k = clip.channelMajor ? s + c * clip.bufferSize : s * clip.numChannels + c;
    return *clip.audio->signalPtrs[k];
}

// 16-bit conversion: floor(v * 32767 + 0.5) as a 32-bit integer whose low 16 bits are the sample;
// no saturation (1.0001 wraps to -32766).
int16_t clipToInt16(double value);

using ClipWriterFn = void (*)(const ClipRequest& clip);

// The writer of file type 1..8, or null outside that range; and the type's extension.
ClipWriterFn clipWriterFor(int32_t fileType);
const char* clipExtensionFor(int32_t fileType);

// The eight writers.
void writeWavClip(const ClipRequest& clip);     // 1 ".wav"
void writeMacClip(const ClipRequest& clip);     // 2 ".mac"
void writeGrxClip(const ClipRequest& clip);     // 3 ".grx"
void writeTextClip(const ClipRequest& clip);    // 4 ".txt" "%.15e "
void writeIntTextClip(const ClipRequest& clip); // 5 ".txt" "%6d "
void writeFltClip(const ClipRequest& clip);     // 6 ".flt"
void writeBinClip(const ClipRequest& clip);     // 7 ".bin"
void writeAifClip(const ClipRequest& clip);     // 8 ".aif"
