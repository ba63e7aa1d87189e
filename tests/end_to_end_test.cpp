// The built kestrel9 program run over generated recordings in a temporary drive root.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "model/band_filter.h"
#include "support/e2e_run.h"
#include "support/synth_recording.h"

using namespace k9e2e;

namespace {

constexpr int64_t rate = recordingRate;

// The elapsed stamp of a clip whose first audio sample is input sample `first`: the clip's run
// starts 3000 samples later (the audio delay), and the stamp counts from the run's start in the
// four-frame buffer of the step that saves it, three frames (24,576 samples) behind the newest
// frame.
std::string stampOfClipStart(int64_t first) {
    const int64_t seconds = (first + 3000 + 24576) / rate;
    char text[32];
    std::snprintf(text, sizeof text, "_%.3d.%.2d.%.2d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

std::string stampOfSeconds(int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "_%.3d.%.2d.%.2d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

// The stamp part of a clip name "Swisk_HHH.MM.SS_NN.wav".
std::string stampOfName(const std::string& name) {
    return name.size() > 17 ? name.substr(5, 10) : name;
}

// Where clip [n] starts in the input [m]: the offset at which every clip sample is the input
// sample as the model converts it, searched in [from, to]; -1 when there is none.
int64_t clipOffsetIn(const std::vector<int16_t>& clip, const std::vector<int16_t>& input,
                     int64_t from, int64_t to) {
    for (int64_t o = std::max<int64_t>(from, 0); o <= to; ++o) {
        if (o + static_cast<int64_t>(clip.size()) > static_cast<int64_t>(input.size())) {
            break;
        }
        bool same = true;
        for (size_t i = 0; i < clip.size() && same; ++i) {
            same = clip[i] == clipValueOf(input[static_cast<size_t>(o) + i]);
        }
        if (same) {
            return o;
        }
    }
    return -1;
}

TEST(EndToEnd, InBandCallsGiveOneClipEachWithTheirAudio) {
    TempDriveRoot drive;
    std::vector<double> audio = noiseRecording(12.0, 0.004, 7);
    const SynthSound calls[] = {
        {2 * rate, 2205, 8800.0, 7200.0, 0.1},
        {static_cast<int64_t>(5.4 * rate), 4410, 6800.0, 9200.0, 0.05},
        {9 * rate, 3300, 7500.0, 8000.0, 0.2},
    };
    for (const SynthSound& c : calls) {
        addSound(audio, c);
    }
    const std::vector<int16_t> input = toPcm16(audio);
    ASSERT_TRUE(writeWave16(drive.recordingPath(), input));

    const RunResult run = runKestrel9({"12"}, drive.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> names = drive.clipNames();
    ASSERT_EQ(names.size(), 3u);
    for (size_t c = 0; c < 3; ++c) {
        SCOPED_TRACE(names[c]);
        WaveContent clip;
        ASSERT_TRUE(readWave16(drive.clipsPath() + "/" + names[c], clip));
        EXPECT_EQ(clip.rate, 22050);
        EXPECT_EQ(clip.channels, 1);
        // The run is the detection: a pulse of 2205 to 8820 samples stretched by 3000.
        EXPECT_GE(clip.samples.size(), 2205u + 3000u);
        EXPECT_LE(clip.samples.size(), 8820u + 3000u);
        const int64_t onset = calls[c].onset;
        const int64_t first = clipOffsetIn(clip.samples, input, onset - 3500, onset);
        ASSERT_GE(first, 0) << "clip audio not found in the input";
        // The detection starts a few milliseconds after the onset; the audio runs 3000 ahead.
        EXPECT_GE(first, onset - 3000);
        EXPECT_LE(first + static_cast<int64_t>(clip.samples.size()), onset + calls[c].length + 2500);
        EXPECT_GE(first + static_cast<int64_t>(clip.samples.size()), onset + calls[c].length);
        EXPECT_EQ(names[c], "Swisk" + stampOfClipStart(first) + "_00.wav");
    }
}

TEST(EndToEnd, SoundsBelowTheBandGiveNoClip) {
    TempDriveRoot drive;
    std::vector<double> audio = noiseRecording(10.0, 0.008, 3);
    addSound(audio, SynthSound{1 * rate, 2 * rate, 1000.0, 1000.0, 0.6});
    addSound(audio, SynthSound{static_cast<int64_t>(3.4 * rate), rate / 2, 2800.0, 2000.0, 0.35});
    addSound(audio, SynthSound{5 * rate, rate, 2750.0, 2750.0, 0.7});
    // A control call at the end: the run is alive and detecting.
    addSound(audio, SynthSound{static_cast<int64_t>(7.4 * rate), 3000, 8000.0, 7000.0, 0.1});
    ASSERT_TRUE(writeWave16(drive.recordingPath(), toPcm16(audio)));

    const RunResult run = runKestrel9({"10"}, drive.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> names = drive.clipNames();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(stampOfName(names[0]), stampOfSeconds(8));
}

TEST(EndToEnd, TheOverloadGuardPassesOnlyWhileTheFifteenthOnsetIsTwentySecondsBack) {
    // Onsets 1 to 18 one second apart from 2 s, then calls at 24 s and 30 s. The register holds the
    // clock times of the 15 latest onsets (zero before there are 15):
    //  - onsets 1..14: fewer than 15 onsets, the register shows 0, clock (21 s + t) > 20: passed;
    //  - onsets 15..18 (16..19 s): the 15th latest is onset 1..4, 14 s back: blocked;
    //  - 24 s (onset 19): the 15th latest is onset 5 at 6 s, 18 s back: blocked;
    //  - 30 s (onset 20): the 15th latest is onset 6 at 7 s, 23 s back: passed.
    TempDriveRoot drive;
    std::vector<double> audio = noiseRecording(33.0, 0.004, 11);
    std::vector<int64_t> onsets;
    for (int64_t i = 0; i < 18; ++i) {
        onsets.push_back((2 + i) * rate);
    }
    onsets.push_back(24 * rate);
    onsets.push_back(30 * rate);
    for (int64_t onset : onsets) {
        addSound(audio, SynthSound{onset, 2205, 9000.0, 7500.0, 0.1});
    }
    ASSERT_TRUE(writeWave16(drive.recordingPath(), toPcm16(audio)));

    const RunResult run = runKestrel9({"33"}, drive.path());
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> expected;
    for (int64_t i = 0; i < 14; ++i) {
        // The clip's stamp is about 1.12 s after its call's onset.
        expected.push_back("Swisk" + stampOfSeconds(3 + i) + "_00.wav");
    }
    expected.push_back("Swisk" + stampOfSeconds(31) + "_00.wav");
    EXPECT_EQ(drive.clipNames(), expected);
}

TEST(EndToEnd, AStopFilePresentAtStartEndsTheRunAfterTheFirstStep) {
    // A call just after the hold-off whose clip is saved in step 2: a run that goes on past the
    // first step (the next stop test is in step 3) saves it, a run that ends after step 0 does not.
    struct Case {
        const char* name;
        bool stopFile;
        std::vector<std::string> args;
        size_t clips;
    };
    const Case cases[] = {
        {"stop file, no final time", true, {}, 0},
        {"no stop file, final time 3 s", false, {"3"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDriveRoot drive;
        std::vector<double> audio = noiseRecording(30.0, 0.004);
        addSound(audio, SynthSound{10500, 3000, 8500.0, 7000.0, 0.2});
        ASSERT_TRUE(writeWave16(drive.recordingPath(), toPcm16(audio)));
        if (c.stopFile) {
            std::ofstream(drive.path() + "/stop.txt") << "\n";
        }
        // Without a final time only the stop file can end the run.
        const RunResult run = runKestrel9(c.args, drive.path(), 60.0);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(drive.clipNames().size(), c.clips);
        const std::vector<std::string> lines = drive.logLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].substr(24), " -1.#INF00000000000e+000 ");
    }
}

TEST(EndToEnd, StartAndFirstStepFailuresAreReported) {
    struct Case {
        const char* name;
        bool recordings;
        bool clips;
        const char* err;
    };
    const Case cases[] = {
        {"no input recording", false, true, "Error opening file\n"},
        {"no clips folder", true, false, "Error opening log file\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDriveRoot drive(c.recordings, c.clips);
        if (c.recordings) {
            ASSERT_TRUE(writeWave16(drive.recordingPath(), toPcm16(noiseRecording(5.0, 0.004))));
        }
        const RunResult run = runKestrel9({"100"}, drive.path(), 60.0);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
    }
}

// Writes a recording of `samples` samples of the 3-periodic pattern 0, v, -v (a pure tone at a
// third of the sample rate), written block by block.
bool writeThirdRateTone(const std::string& path, int64_t samples, int16_t v) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const uint32_t dataBytes = static_cast<uint32_t>(samples * 2);
    const uint32_t fields[] = {36 + dataBytes, 16, 0x00010001u, 22050, 44100, 0x00100002u};
    bool ok = std::fwrite("RIFF", 1, 4, file) == 4 && std::fwrite(&fields[0], 4, 1, file) == 1 &&
              std::fwrite("WAVEfmt ", 1, 8, file) == 8 &&
              std::fwrite(&fields[1], 4, 5, file) == 5 && std::fwrite("data", 1, 4, file) == 4 &&
              std::fwrite(&dataBytes, 4, 1, file) == 1;
    std::vector<int16_t> block(3 * 8192);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = i % 3 == 0 ? 0 : (i % 3 == 1 ? v : static_cast<int16_t>(-v));
    }
    for (int64_t done = 0; ok && done < samples;) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(samples - done, 3 * 8192));
        ok = std::fwrite(block.data(), 2, n, file) == n;
        done += static_cast<int64_t>(n);
    }
    return std::fclose(file) == 0 && ok;
}

TEST(EndToEnd, TheHourlyLogLineCarriesTheLevelOfASteadyTone) {
    // 9690 frames (3600.02 s) of a tone at 7350 Hz, in the pass band. The second log line, written
    // in step 9690, is 10 log10 of the mean envelope over steps 0..9689: the tone's filtered power.
    TempDriveRoot drive;
    const int64_t samples = 9690LL * 8192 + 8192;
    ASSERT_TRUE(writeThirdRateTone(drive.recordingPath(), samples, 16384));
    const RunResult run = runKestrel9({"3600"}, drive.path(), 600.0);
    std::printf("one-hour run: %.1f s\n", run.seconds);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = drive.logLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(24), " -1.#INF00000000000e+000 ");
    const double logged = std::strtod(lines[1].c_str() + 25, nullptr);
    // The samples are 0, 0.5, -0.5: a sine of amplitude 0.5 / sin(2 pi / 3), power 1/6, through
    // the filter's gain at a third of the sample rate.
    std::complex<double> gain = 0.0;
    for (int32_t n = 0; n < filterTapCount; ++n) {
        gain += filterTaps[n] * std::polar(1.0, -2.0 * std::numbers::pi * n / 3.0);
    }
    const double analytic = 10.0 * std::log10(std::norm(gain) / 6.0);
    EXPECT_NEAR(logged, analytic, 0.1) << lines[1];
    // The tone is steady: no rise, no clip.
    EXPECT_TRUE(drive.clipNames().empty());
}

// One line of the demo's call list.
struct ListedSound {
    double onset;
    std::string expected;
    std::string stamp;
};

std::vector<ListedSound> readCallList(const std::string& path) {
    std::vector<ListedSound> sounds;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::string onset, duration, low, high, level;
        ListedSound s;
        std::getline(fields, onset, '\t');
        std::getline(fields, duration, '\t');
        std::getline(fields, low, '\t');
        std::getline(fields, high, '\t');
        std::getline(fields, level, '\t');
        std::getline(fields, s.expected, '\t');
        std::getline(fields, s.stamp, '\t');
        s.onset = std::stod(onset);
        sounds.push_back(s);
    }
    return sounds;
}

TEST(EndToEnd, TheDemoRecordingGivesTheClipsItsListExpects) {
    TempDriveRoot drive;
    const RunResult made = runProgram(std::string(KESTREL9_TOOLS_DIR) + "/make_demo",
                                      {"--dir", drive.path() + "/My Recordings"}, drive.path());
    ASSERT_EQ(made.status, 0) << made.err;
    const std::vector<ListedSound> sounds =
        readCallList(drive.path() + "/My Recordings/Soundfile.calls.txt");
    ASSERT_FALSE(sounds.empty());
    std::map<std::string, int> expected;
    int notExpected = 0;
    for (const ListedSound& s : sounds) {
        if (s.expected == "clip") {
            ++expected[s.stamp];
        } else {
            ++notExpected;
        }
    }
    EXPECT_GT(notExpected, 0);

    const RunResult run = runKestrel9({"182"}, drive.path());
    std::printf("demo run: %.1f s\n", run.seconds);
    ASSERT_EQ(run.status, 0) << run.err;
    std::map<std::string, int> actual;
    for (const std::string& name : drive.clipNames()) {
        ++actual[stampOfName(name)];
    }
    EXPECT_EQ(actual, expected);
}

TEST(EndToEnd, TheBatchScriptRunsEachRecordingInItsOwnDriveRoot) {
    // Folder names with blanks, as users have them.
    TempDriveRoot work(false, false);
    const std::string outDir = work.path() + "/batch out";
    const struct {
        const char* name;
        double callSeconds;
    } recordings[] = {{"first", 2.0}, {"second", 4.4}};
    std::vector<std::string> args = {std::string(KESTREL9_SOURCE_DIR) + "/tools/batch.sh", "-j",
                                     "2", "-b", KESTREL9_BINARY, outDir};
    for (const auto& r : recordings) {
        std::vector<double> audio = noiseRecording(6.0, 0.004, 5);
        addSound(audio, SynthSound{static_cast<int64_t>(r.callSeconds * rate), 3000, 8500.0,
                                   7200.0, 0.1});
        const std::string path = work.path() + "/" + r.name + " take.wav";
        ASSERT_TRUE(writeWave16(path, toPcm16(audio)));
        args.push_back(path);
    }
    const RunResult run = runProgram("/bin/bash", args, work.path(), 120.0);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    for (const auto& r : recordings) {
        SCOPED_TRACE(r.name);
        const std::string root = outDir + "/" + r.name + " take";
        EXPECT_NE(run.out.find(std::string(r.name) + " take: status 0, 1 clips"), std::string::npos)
            << run.out;
        EXPECT_EQ(readTextFile(root + "/kestrel9.out"), "");
        std::vector<std::string> clips;
        for (const auto& entry : std::filesystem::directory_iterator(root + "/temp/calls")) {
            clips.push_back(entry.path().filename().string());
        }
        std::sort(clips.begin(), clips.end());
        const int64_t stamp = static_cast<int64_t>(r.callSeconds + 1.12);
        ASSERT_EQ(clips.size(), 2u);
        EXPECT_EQ(clips[0], "LogSwisk.txt");
        EXPECT_EQ(clips[1], "Swisk" + stampOfSeconds(stamp) + "_00.wav");
    }
}

}  // namespace
