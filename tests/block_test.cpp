#include "model/block.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

ParamValue textParam(const std::vector<double>& codes) {
    return ParamValue{1.0, static_cast<double>(codes.size()), codes.data()};
}

std::vector<double> codesOf(const std::string& text) {
    return std::vector<double>(text.begin(), text.end());
}

TEST(TextParamToString, CopiesWhatFitsAndReportsACut) {
    const std::vector<double> thirty = codesOf("c:\\My Recordings\\Soundfile.wav");
    ASSERT_EQ(thirty.size(), 30u);
    const ParamValue param = textParam(thirty);
    struct Case {
        int32_t capacity;
        int32_t result;
        std::string text;
    };
    const Case cases[] = {
        {1, 1, ""},
        {2, 1, "c"},
        {30, 1, "c:\\My Recordings\\Soundfile.wa"},
        {31, 0, "c:\\My Recordings\\Soundfile.wav"},
        {512, 0, "c:\\My Recordings\\Soundfile.wav"},
    };
    for (const Case& c : cases) {
        std::vector<char> buffer(static_cast<size_t>(c.capacity), 'x');
        EXPECT_EQ(textParamToString(&param, buffer.data(), c.capacity), c.result) << c.capacity;
        EXPECT_EQ(std::string(buffer.data()), c.text) << c.capacity;
    }
}

TEST(TextParamToString, RoundsEachCodeToTheNearestCharacter) {
    const std::vector<double> codes = {99.4, 99.6, 65.0};
    const ParamValue param = textParam(codes);
    char buffer[8];
    EXPECT_EQ(textParamToString(&param, buffer, 8), 0);
    EXPECT_EQ(std::string(buffer), "cdA");
}

TEST(TextParamToString, EmptyTextGivesEmptyString) {
    const ParamValue param{1.0, 0.0, nullptr};
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(textParamToString(&param, buffer, 4), 0);
    EXPECT_EQ(buffer[0], '\0');
}

TEST(ParamReading, RoundsFlagsAndReals) {
    const double values[] = {1.5, 1.49, -0.5, 0.5, 9830.4, -1.0, 0.0, std::nan("")};
    ParamValue params[8];
    const ParamValue* refs[8];
    for (int i = 0; i < 8; ++i) {
        params[i] = ParamValue{1.0, 1.0, &values[i]};
        refs[i] = &params[i];
    }
    BlockRecord block{};
    block.params = refs;
    block.numParamsGiven = 8;
    EXPECT_EQ(paramInt(&block, 1), 2);
    EXPECT_EQ(paramInt(&block, 2), 1);
    EXPECT_EQ(paramInt(&block, 3), 0);
    EXPECT_EQ(paramInt(&block, 4), 1);
    EXPECT_EQ(paramInt(&block, 5), 9830);
    EXPECT_EQ(paramReal(&block, 5), 9830.4);
    EXPECT_TRUE(paramFlag(&block, 4));
    EXPECT_TRUE(paramFlag(&block, 6));
    EXPECT_FALSE(paramFlag(&block, 7));
    EXPECT_TRUE(paramFlag(&block, 8));  // NaN is not exactly 0.0
    EXPECT_EQ(paramInt(&block, 8), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(roundToInt32(3e9), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(roundToInt32(-2147483648.0), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(roundToInt32(2147483646.6), 2147483647);
}

// A run is consecutive only when every reference is the one after the previous; a single element
// is a run of its own, nothing is not.
TEST(ConsecutiveElements, FindsOnlyUnbrokenRuns) {
    double signal[6] = {};
    struct Case {
        std::vector<int> offsets;
        bool consecutive;
    };
    const Case cases[] = {
        {{0, 1, 2, 3, 4, 5}, true},
        {{2, 3, 4}, true},
        {{3}, true},
        {{0, 1, 3, 4}, false},
        {{5, 4, 3}, false},
        {{0, 0, 1}, false},
        {{}, false},
    };
    for (const Case& c : cases) {
        std::vector<const double*> refs;
        for (int offset : c.offsets) {
            refs.push_back(signal + offset);
        }
        const double* start =
            consecutiveElements(refs.data(), static_cast<int32_t>(refs.size()));
        EXPECT_EQ(start, c.consecutive ? signal + c.offsets[0] : nullptr)
            << "first offset " << (c.offsets.empty() ? -1 : c.offsets[0]);
    }
    EXPECT_EQ(consecutiveElements(nullptr, 3), nullptr);
}

// Standard ports get a source each; a single-vector input gets one per half, so that a spectrum
// wired from two separate signals still reads each half straight.
TEST(ResolveInputSources, MarksConsecutivePortsAndHalves) {
    double a[4] = {};
    double b[4] = {};
    const double* straight[4] = {a, a + 1, a + 2, a + 3};
    const double* broken[4] = {a, a + 2, a + 1, a + 3};
    InputPort ports[2] = {InputPort{4, 1, straight}, InputPort{4, 1, broken}};
    BlockRecord standard{};
    standard.numInputPorts = 2;
    standard.inputPorts = ports;
    resolveInputSources(&standard);
    EXPECT_EQ(ports[0].source, a);
    EXPECT_EQ(ports[1].source, nullptr);

    const double* twoSignals[8] = {a, a + 1, a + 2, a + 3, b, b + 1, b + 2, b + 3};
    const double* firstHalfBroken[8] = {a, a + 1, a + 3, a + 2, b, b + 1, b + 2, b + 3};
    BlockRecord vector{};
    vector.numInputPorts = 8;
    vector.inputElementPtrs = twoSignals;
    resolveInputSources(&vector);
    EXPECT_EQ(vector.inputHalves[0], a);
    EXPECT_EQ(vector.inputHalves[1], b);
    vector.inputElementPtrs = firstHalfBroken;
    resolveInputSources(&vector);
    EXPECT_EQ(vector.inputHalves[0], nullptr);
    EXPECT_EQ(vector.inputHalves[1], b);
}

}  // namespace
