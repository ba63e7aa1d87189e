// Small synthetic recordings for the model and end-to-end tests: 16-bit mono PCM at 22,050 Hz,
// low deterministic noise, frequency-swept calls and tones at chosen sample positions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace k9e2e {

inline constexpr int32_t recordingRate = 22050;

// A sound placed in a recording: a sine whose frequency glides linearly from fromHz to toHz
// over `length` samples, with 5 ms raised-cosine edges.
struct SynthSound {
    int64_t onset;   // first sample
    int64_t length;  // samples
    double fromHz;
    double toHz;
    double amplitude;  // peak, full scale 1
};

// samples [seconds x 22050] of Gaussian noise with standard deviation sigma (0 = silence), from a
// fixed seed.
std::vector<double> noiseRecording(double seconds, double sigma, uint64_t seed = 1);

// Adds `sound` into samples [n] (the part past the end is dropped).
void addSound(std::vector<double>& samples, const SynthSound& sound);

// Rounds samples [n] to 16-bit values (full scale 32768, clamped).
std::vector<int16_t> toPcm16(const std::vector<double>& samples);

// Writes a PCM wave file of `channels` interleaved channels of 16-bit samples; false on failure.
bool writeWave16(const std::string& path, const std::vector<int16_t>& samples,
                 int32_t rate = recordingRate, int32_t channels = 1);

struct WaveContent {
    int32_t rate = 0;
    int32_t channels = 0;
    int32_t bitsPerSample = 0;
    std::vector<int16_t> samples;  // interleaved
};

// Reads a 16-bit PCM wave file (chunks walked by id); false when it is not one.
bool readWave16(const std::string& path, WaveContent& content);

// The 16-bit value a clip holds for input sample x: the input is read as x / 32768 and written
// back as floor(v x 32767 + 0.5).
int16_t clipValueOf(int16_t x);

}  // namespace k9e2e
