// make_demo: writes a deterministic demonstration recording for kestrel9 (22,050 Hz, mono,
// 16-bit PCM) and, beside it, a text list of the sounds in it with what the detector is expected
// to do with each.
//
// The recording is a 180-second scene, repeated for longer durations: low background noise,
// bird-like frequency-modulated calls inside 6-10 kHz, a call inside the detector's start-up
// hold-off, a call too faint to stand out of the noise, louder sounds below 4 kHz that the
// band-pass filter removes, a burst of 18 calls one second apart that trips the overload guard,
// and calls after it once the guard has let go.
//
// Usage: make_demo [--dir DIR] [--wave NAME] [--list NAME] [--seconds S] [--hour] [--seed N]
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t sampleRate = 22050;
constexpr double pi = 3.14159265358979323846;
constexpr double sceneSeconds = 180.0;
// Background noise: Gaussian, standard deviation 0.008 (about -42 dBFS rms).
constexpr double noiseSigma = 0.008;

// What the detector does with a sound, as the list reports it.
enum class Expect { clip, holdOff, tooFaint, outOfBand, guard };

enum class Shape {
    sweep,  // frequency glides linearly from lowHz... to highHz... (or down, when fromHz > toHz)
    trill,  // frequency swings sinusoidally between the two bounds, 25 swings per second
    tone,   // constant frequency (fromHz)
};

struct Sound {
    double onset;     // seconds from the start of the scene
    double duration;  // seconds
    Shape shape;
    double fromHz;
    double toHz;
    double amplitude;  // peak, full scale = 1
    bool inBand;       // true for calls, false for the low-frequency sounds
    const char* description;
};

// The scene. Onsets of in-band calls sit at x.0 or x.4 seconds so that the clip's elapsed time
// stamp (about 1.116 s after the onset, see stampOf) is far from a whole second.
const Sound scene[] = {
    {0.15, 0.15, Shape::sweep, 8500.0, 7000.0, 0.10, true, "early call (in the start-up hold-off in the first scene)"},
    {3.0, 0.12, Shape::sweep, 8500.0, 6800.0, 0.10, true, "down-sweep"},
    {7.4, 0.20, Shape::sweep, 7000.0, 9500.0, 0.05, true, "up-sweep"},
    {11.0, 0.30, Shape::trill, 7200.0, 8800.0, 0.08, true, "trill"},
    {15.4, 0.20, Shape::sweep, 8000.0, 7000.0, 0.003, true, "faint call, below the noise"},
    {19.0, 0.60, Shape::sweep, 9000.0, 6500.0, 0.06, true, "long call (its detection is cut at 0.4 s)"},
    {23.0, 2.00, Shape::tone, 1000.0, 1000.0, 0.60, false, "1 kHz hum"},
    {27.0, 0.40, Shape::sweep, 2800.0, 2000.0, 0.35, false, "crow-like caw"},
    {27.7, 0.40, Shape::sweep, 2800.0, 2000.0, 0.35, false, "crow-like caw"},
    {28.4, 0.40, Shape::sweep, 2800.0, 2000.0, 0.35, false, "crow-like caw"},
    {31.0, 0.80, Shape::tone, 2750.0, 2750.0, 0.70, false, "2.75 kHz whistle"},
    {34.0, 0.60, Shape::tone, 3250.0, 3250.0, 0.35, false, "3.25 kHz whistle"},
    // The burst: 18 calls one second apart.
    {45.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 1"},
    {46.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 2"},
    {47.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 3"},
    {48.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 4"},
    {49.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 5"},
    {50.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 6"},
    {51.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 7"},
    {52.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 8"},
    {53.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 9"},
    {54.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 10"},
    {55.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 11"},
    {56.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 12"},
    {57.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 13"},
    {58.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 14"},
    {59.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 15"},
    {60.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 16"},
    {61.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 17"},
    {62.0, 0.10, Shape::sweep, 9000.0, 7500.0, 0.10, true, "burst call 18"},
    {75.0, 0.15, Shape::sweep, 6500.0, 9000.0, 0.30, true, "loud up-sweep"},
    {80.0, 0.10, Shape::sweep, 8800.0, 7600.0, 0.06, true, "first of a close pair"},
    {80.4, 0.10, Shape::sweep, 8800.0, 7600.0, 0.06, true, "second of a close pair"},
    {98.0, 5.00, Shape::tone, 1000.0, 1000.0, 0.50, false, "1 kHz hum under the next call"},
    {100.4, 0.20, Shape::trill, 7500.0, 9000.0, 0.05, true, "call over the hum"},
    {120.0, 0.25, Shape::sweep, 9500.0, 7000.0, 0.04, true, "down-sweep"},
    {135.4, 0.18, Shape::trill, 6500.0, 8000.0, 0.12, true, "trill"},
    {150.0, 0.08, Shape::sweep, 7000.0, 8000.0, 0.20, true, "short chip"},
    {165.4, 0.30, Shape::sweep, 6200.0, 9800.0, 0.05, true, "wide up-sweep"},
};

// The detector holds its flip-flop in reset for the first 9831 samples of the run.
constexpr double holdOffSeconds = 9831.0 / sampleRate;
// Calls weaker than this stay below twice the noise envelope and are not detected.
constexpr double faintAmplitude = 0.01;
// The guard passes an onset only while the 15th most recent onset (itself included) is more than
// 20 s back.
constexpr int32_t guardOnsets = 15;
constexpr double guardSeconds = 20.0;

struct Placed {
    Sound sound;
    double onset;  // seconds from the start of the recording
    Expect expect;
};

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

// Instantaneous frequency of `s` at t seconds into it.
double frequencyAt(const Sound& s, double t) {
    switch (s.shape) {
    case Shape::sweep:
        return s.fromHz + (s.toHz - s.fromHz) * (t / s.duration);
    case Shape::trill:
        return 0.5 * (s.fromHz + s.toHz) +
               0.5 * (s.toHz - s.fromHz) * std::sin(2.0 * pi * 25.0 * t);
    case Shape::tone:
        break;
    }
    return s.fromHz;
}

// Raised-cosine attack and release: 5 ms for calls, 60 ms for the low sounds, so that neither
// splashes energy into the filter's band.
double envelopeAt(const Sound& s, double t) {
    const double ramp = std::fmin(s.inBand ? 0.005 : 0.06, 0.5 * s.duration);
    double gain = 1.0;
    if (t < ramp) {
        gain = 0.5 - 0.5 * std::cos(pi * t / ramp);
    } else if (t > s.duration - ramp) {
        gain = 0.5 - 0.5 * std::cos(pi * (s.duration - t) / ramp);
    }
    return s.amplitude * gain;
}

// Adds sound `p` into samples [count] (a 16-bit scale is applied later).
void addSound(const Placed& p, std::vector<float>& samples) {
    const int64_t first = std::llround(p.onset * sampleRate);
    const int64_t length = std::llround(p.sound.duration * sampleRate);
    double phase = 0.0;
    for (int64_t i = 0; i < length && first + i < static_cast<int64_t>(samples.size()); ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        samples[static_cast<size_t>(first + i)] +=
            static_cast<float>(envelopeAt(p.sound, t) * std::sin(phase));
        phase += 2.0 * pi * frequencyAt(p.sound, t) / sampleRate;
        if (phase > 2.0 * pi) {
            phase -= 2.0 * pi;
        }
    }
}

// Places the scene repeatedly over `seconds`, keeping sounds that end 2 s before the end (so
// that their clips are saved before the recording runs out), and decides each sound's fate.
std::vector<Placed> placeSounds(double seconds) {
    std::vector<Placed> placed;
    for (double base = 0.0; base < seconds; base += sceneSeconds) {
        for (const Sound& s : scene) {
            const double onset = base + s.onset;
            if (onset + s.duration + 2.0 > seconds) {
                continue;
            }
            Expect expect = Expect::clip;
            if (!s.inBand) {
                expect = Expect::outOfBand;
            } else if (s.amplitude < faintAmplitude) {
                expect = Expect::tooFaint;
            } else if (onset + s.duration < holdOffSeconds) {
                expect = Expect::holdOff;
            }
            placed.push_back(Placed{s, onset, expect});
        }
    }
    // The overload guard, over the onsets the detector sees (guarded calls are onsets too).
    std::vector<double> onsets;
    for (Placed& p : placed) {
        if (p.expect != Expect::clip) {
            continue;
        }
        onsets.push_back(p.onset);
        const size_t n = onsets.size();
        if (n >= static_cast<size_t>(guardOnsets) &&
            p.onset - onsets[n - guardOnsets] <= guardSeconds) {
            p.expect = Expect::guard;
        }
    }
    return placed;
}

const char* expectText(Expect e) {
    switch (e) {
    case Expect::clip:
        return "clip";
    case Expect::holdOff:
        return "none:hold-off";
    case Expect::tooFaint:
        return "none:too-faint";
    case Expect::outOfBand:
        return "none:out-of-band";
    case Expect::guard:
        return "none:overload-guard";
    }
    return "";
}

// The elapsed stamp of the clip of a call with onset t: the clip's run starts at the call's first
// detected sample (a few ms after the onset) and its stamp counts 24,576 samples more, the three
// older frames of the clip buffer.
std::string stampOf(double onset) {
    const double seconds = onset + 24576.0 / sampleRate + 0.004;
    const int64_t whole = static_cast<int64_t>(std::floor(seconds));
    char text[32];
    std::snprintf(text, sizeof text, "_%.3d.%.2d.%.2d", static_cast<int>(whole / 3600),
                  static_cast<int>(whole / 60 % 60), static_cast<int>(whole % 60));
    return text;
}

void putLe(std::vector<unsigned char>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

// Writes samples [count] as a 16-bit mono PCM wave file; false on any failure.
bool writeWave(const std::string& path, const std::vector<float>& samples) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<unsigned char> block;
    block.insert(block.end(), {'R', 'I', 'F', 'F'});
    putLe(block, 36 + dataBytes, 4);
    block.insert(block.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLe(block, 16, 4);
    putLe(block, 1, 2);               // PCM
    putLe(block, 1, 2);               // mono
    putLe(block, sampleRate, 4);
    putLe(block, sampleRate * 2, 4);  // bytes per second
    putLe(block, 2, 2);               // block align
    putLe(block, 16, 2);              // bits per sample
    block.insert(block.end(), {'d', 'a', 't', 'a'});
    putLe(block, dataBytes, 4);
    bool ok = std::fwrite(block.data(), 1, block.size(), file) == block.size();
    block.clear();
    for (size_t i = 0; ok && i < samples.size(); ++i) {
        const long q = std::lround(std::fmax(-1.0, std::fmin(1.0, samples[i])) * 32767.0);
        putLe(block, static_cast<uint32_t>(static_cast<int16_t>(q)) & 0xFFFFu, 2);
        if (block.size() >= 65536 || i + 1 == samples.size()) {
            ok = std::fwrite(block.data(), 1, block.size(), file) == block.size();
            block.clear();
        }
    }
    return std::fclose(file) == 0 && ok;
}

bool writeList(const std::string& path, const std::vector<Placed>& placed, double seconds,
               const std::string& waveName) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    std::fprintf(file, "# kestrel9 demo recording %s: %.1f s, 22050 Hz mono 16-bit, noise sigma %.3f\n",
                 waveName.c_str(), seconds, noiseSigma);
    std::fprintf(file, "# onset_s\tduration_s\tlow_hz\thigh_hz\tpeak_dbfs\texpected\tstamp\tdescription\n");
    for (const Placed& p : placed) {
        const double low = std::fmin(p.sound.fromHz, p.sound.toHz);
        const double high = std::fmax(p.sound.fromHz, p.sound.toHz);
        std::fprintf(file, "%.3f\t%.3f\t%.0f\t%.0f\t%.1f\t%s\t%s\t%s\n", p.onset, p.sound.duration,
                     low, high, 20.0 * std::log10(p.sound.amplitude), expectText(p.expect),
                     p.expect == Expect::clip ? stampOf(p.onset).c_str() : "-",
                     p.sound.description);
    }
    return std::fclose(file) == 0;
}

void usage() {
    std::fprintf(stderr,
                 "usage: make_demo [--dir DIR] [--wave NAME] [--list NAME] [--seconds S] [--hour] "
                 "[--seed N]\n"
                 "  --dir DIR    output folder (default: the current directory)\n"
                 "  --wave NAME  recording file name (default: Soundfile.wav)\n"
                 "  --list NAME  call list file name (default: the wave name with .calls.txt)\n"
                 "  --seconds S  length of the recording (default: 180)\n"
                 "  --hour       a one-hour recording (3601 s, the scene repeated)\n"
                 "  --seed N     noise generator seed (default: 9)\n");
}

bool parsePositive(const char* text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && value > 0.0 && value <= 4.0 * 3600.0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = ".";
    std::string waveName = "Soundfile.wav";
    std::string listName;
    double seconds = sceneSeconds;
    uint64_t seed = 9;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--dir" && hasValue) {
            dir = argv[++i];
        } else if (arg == "--wave" && hasValue) {
            waveName = argv[++i];
        } else if (arg == "--list" && hasValue) {
            listName = argv[++i];
        } else if (arg == "--seconds" && hasValue) {
            if (!parsePositive(argv[++i], seconds)) {
                usage();
                return 1;
            }
        } else if (arg == "--hour") {
            seconds = 3601.0;
        } else if (arg == "--seed" && hasValue) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else {
            usage();
            return 1;
        }
    }
    if (listName.empty()) {
        const size_t dot = waveName.rfind('.');
        listName = (dot == std::string::npos ? waveName : waveName.substr(0, dot)) + ".calls.txt";
    }

    const size_t count = static_cast<size_t>(std::llround(seconds * sampleRate));
    std::vector<float> samples(count);
    uint64_t state = seed;
    for (size_t i = 0; i + 1 < count; i += 2) {
        // Box-Muller: two independent Gaussian values per pair of uniforms.
        const double radius = noiseSigma * std::sqrt(-2.0 * std::log(uniformOpen(state)));
        const double angle = 2.0 * pi * uniformOpen(state);
        samples[i] = static_cast<float>(radius * std::cos(angle));
        samples[i + 1] = static_cast<float>(radius * std::sin(angle));
    }
    const std::vector<Placed> placed = placeSounds(seconds);
    for (const Placed& p : placed) {
        addSound(p, samples);
    }

    const std::string wavePath = dir + "/" + waveName;
    const std::string listPath = dir + "/" + listName;
    if (!writeWave(wavePath, samples)) {
        std::fprintf(stderr, "make_demo: cannot write %s\n", wavePath.c_str());
        return 1;
    }
    if (!writeList(listPath, placed, seconds, waveName)) {
        std::fprintf(stderr, "make_demo: cannot write %s\n", listPath.c_str());
        return 1;
    }
    int clips = 0;
    for (const Placed& p : placed) {
        clips += p.expect == Expect::clip ? 1 : 0;
    }
    std::printf("wrote %s (%.1f s) and %s (%zu sounds, %d expected clips)\n", wavePath.c_str(),
                seconds, listPath.c_str(), placed.size(), clips);
    return 0;
}
