#include "support/synth_recording.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace k9e2e {

namespace {

constexpr double pi = 3.14159265358979323846;

uint64_t splitMix(uint64_t& state) {
    state += 0x9E3779B97F4A7C15ULL;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double uniformOpen(uint64_t& state) {
    return (static_cast<double>(splitMix(state) >> 11) + 0.5) * (1.0 / 9007199254740992.0);
}

void putLe(std::vector<unsigned char>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

uint32_t getLe(const unsigned char* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

}  // namespace

std::vector<double> noiseRecording(double seconds, double sigma, uint64_t seed) {
    std::vector<double> samples(static_cast<size_t>(std::llround(seconds * recordingRate)), 0.0);
    if (sigma == 0.0) {
        return samples;
    }
    uint64_t state = seed;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double radius = sigma * std::sqrt(-2.0 * std::log(uniformOpen(state)));
        samples[i] = radius * std::cos(2.0 * pi * uniformOpen(state));
    }
    return samples;
}

void addSound(std::vector<double>& samples, const SynthSound& sound) {
    const double ramp = std::fmin(0.005 * recordingRate, 0.5 * static_cast<double>(sound.length));
    double phase = 0.0;
    for (int64_t i = 0; i < sound.length; ++i) {
        const int64_t at = sound.onset + i;
        if (at < 0 || at >= static_cast<int64_t>(samples.size())) {
            continue;
        }
        const double t = static_cast<double>(i);
        double gain = 1.0;
        if (t < ramp) {
            gain = 0.5 - 0.5 * std::cos(pi * t / ramp);
        } else if (t > static_cast<double>(sound.length) - ramp) {
            gain = 0.5 - 0.5 * std::cos(pi * (static_cast<double>(sound.length) - t) / ramp);
        }
        samples[static_cast<size_t>(at)] += sound.amplitude * gain * std::sin(phase);
        const double f =
            sound.fromHz + (sound.toHz - sound.fromHz) * t / static_cast<double>(sound.length);
        phase = std::fmod(phase + 2.0 * pi * f / recordingRate, 2.0 * pi);
    }
}

std::vector<int16_t> toPcm16(const std::vector<double>& samples) {
    std::vector<int16_t> pcm(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        const double v = std::nearbyint(samples[i] * 32768.0);
        pcm[i] = static_cast<int16_t>(std::fmax(-32768.0, std::fmin(32767.0, v)));
    }
    return pcm;
}

bool writeWave16(const std::string& path, const std::vector<int16_t>& samples, int32_t rate,
                 int32_t channels) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<unsigned char> header;
    header.insert(header.end(), {'R', 'I', 'F', 'F'});
    putLe(header, 36 + dataBytes, 4);
    header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLe(header, 16, 4);
    putLe(header, 1, 2);
    putLe(header, static_cast<uint32_t>(channels), 2);
    putLe(header, static_cast<uint32_t>(rate), 4);
    putLe(header, static_cast<uint32_t>(rate * channels * 2), 4);
    putLe(header, static_cast<uint32_t>(channels * 2), 2);
    putLe(header, 16, 2);
    header.insert(header.end(), {'d', 'a', 't', 'a'});
    putLe(header, dataBytes, 4);
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    // Samples are little-endian on this host as in the file.
    ok = ok && std::fwrite(samples.data(), 2, samples.size(), file) == samples.size();
    return std::fclose(file) == 0 && ok;
}

bool readWave16(const std::string& path, WaveContent& content) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    std::fclose(file);
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        return false;
    }
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const uint32_t size = getLe(bytes.data() + at + 4, 4);
        const unsigned char* body = bytes.data() + at + 8;
        if (size > bytes.size() - at - 8) {
            return false;
        }
        if (std::memcmp(bytes.data() + at, "fmt ", 4) == 0 && size >= 16) {
            content.channels = static_cast<int32_t>(getLe(body + 2, 2));
            content.rate = static_cast<int32_t>(getLe(body + 4, 4));
            content.bitsPerSample = static_cast<int32_t>(getLe(body + 14, 2));
            haveFormat = getLe(body, 2) == 1;
        } else if (std::memcmp(bytes.data() + at, "data", 4) == 0) {
            if (!haveFormat || content.bitsPerSample != 16) {
                return false;
            }
            content.samples.resize(size / 2);
            std::memcpy(content.samples.data(), body, content.samples.size() * 2);
            return true;
        }
        at += 8 + size + (size & 1u);
    }
    return false;
}

int16_t clipValueOf(int16_t x) {
    const double v = static_cast<double>(x) * 3.0517578125e-05;
    return static_cast<int16_t>(static_cast<int32_t>(std::floor(v * 32767.0 + 0.5)));
}

}  // namespace k9e2e
