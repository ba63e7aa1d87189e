#include "platform/text_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <limits>
#include <string>

namespace {

std::string exp15(double value) {
    char text[40];
    const int length = formatExp15(value, text, sizeof text);
    EXPECT_EQ(length, static_cast<int>(std::string(text).size()));
    return text;
}

TEST(FormatExp15, FinitesHaveFifteenDigitsAndThreeExponentDigits) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0.5, "5.000000000000000e-001"},
        {-42.5, "-4.250000000000000e+001"},
        {0.0, "0.000000000000000e+000"},
        {-0.0, "-0.000000000000000e+000"},
        {-1.0, "-1.000000000000000e+000"},
        {1.0 / 3.0, "3.333333333333333e-001"},
        {2.0 / 3.0, "6.666666666666666e-001"},
        {123456789012345678.0, "1.234567890123457e+017"},
        {9.9999999999999995e-8, "1.000000000000000e-007"},  // rounding carries into the exponent
        {1e300, "1.000000000000000e+300"},
        {-std::numeric_limits<double>::max(), "-1.797693134862316e+308"},
        {std::numeric_limits<double>::denorm_min(), "4.940656458412465e-324"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(exp15(c.value), c.text) << c.text;
    }
}

TEST(FormatExp15, NonFinitesHaveTheirOwnSpelling) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(exp15(inf), "1.#INF00000000000e+000");
    EXPECT_EQ(exp15(-inf), "-1.#INF00000000000e+000");
    EXPECT_EQ(exp15(std::copysign(nan, 1.0)), "1.#QNAN0000000000e+000");
    EXPECT_EQ(exp15(std::copysign(nan, -1.0)), "-1.#QNAN0000000000e+000");
    EXPECT_EQ(exp15(std::numeric_limits<double>::signaling_NaN()), "1.#QNAN0000000000e+000");
}

TEST(FormatExp15, CutsToTheCapacityAndStillReportsTheFullLength) {
    char text[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(formatExp15(-42.5, text, sizeof text), 23);
    EXPECT_EQ(std::string(text), "-4.25");
    char inf[4];
    EXPECT_EQ(formatExp15(std::numeric_limits<double>::infinity(), inf, sizeof inf), 22);
    EXPECT_EQ(std::string(inf), "1.#");
}

// A locale whose decimal point is a comma: an installed one, or one built for the test.
class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {
            return;
        }
        std::string pattern = (std::filesystem::temp_directory_path() / "k9locale-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            GTEST_SKIP() << "no temporary folder for a comma locale";
        }
        folder_ = pattern;
        const std::string command = "localedef -i de_DE -f UTF-8 '" + folder_.string() +
                                    "/de_DE.UTF-8' >/dev/null 2>&1";
        if (std::system(command.c_str()) == -1) {
            GTEST_SKIP() << "no way to build a comma locale";
        }
        setenv("LOCPATH", folder_.c_str(), 1);
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
            GTEST_SKIP() << "no comma locale on this host";
        }
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        unsetenv("LOCPATH");
        if (!folder_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
        }
    }
    std::filesystem::path folder_;
};

TEST_F(CommaLocale, TextsStayThePointAndEnglishForm) {
    char host[40];
    std::snprintf(host, sizeof host, "%.1f", 0.5);
    ASSERT_EQ(std::string(host), "0,5") << "the locale is not in effect";
    EXPECT_EQ(exp15(0.5), "5.000000000000000e-001");
    EXPECT_EQ(exp15(-42.5), "-4.250000000000000e+001");
    char calendar[25];
    formatCalendar24(CalendarTime{2024, 3, 5, 14, 7, 9, 2}, calendar);
    EXPECT_EQ(std::string(calendar), "Tue Mar 05 14:07:09 2024");
}

TEST(FormatCalendar24, TwentyFourCharactersWithZeroPaddedFields) {
    struct Case {
        CalendarTime time;
        const char* text;
    };
    const Case cases[] = {
        {{2024, 3, 5, 14, 7, 9, 2}, "Tue Mar 05 14:07:09 2024"},
        {{1999, 12, 31, 23, 59, 59, 5}, "Fri Dec 31 23:59:59 1999"},
        {{2000, 1, 1, 0, 0, 0, 6}, "Sat Jan 01 00:00:00 2000"},
        {{2023, 7, 16, 9, 5, 3, 0}, "Sun Jul 16 09:05:03 2023"},
    };
    for (const Case& c : cases) {
        char text[25];
        formatCalendar24(c.time, text);
        EXPECT_EQ(std::string(text), c.text);
    }
}

TEST(FormatCalendar24, OutOfRangeFieldsStayInsideTheBuffer) {
    char text[32];
    std::fill(std::begin(text), std::end(text), 'x');
    formatCalendar24(CalendarTime{123456, 13, 99, 99, 99, 99, 9}, text);
    EXPECT_EQ(std::string(text), "??? ??? 99 99:99:99 1234");
    EXPECT_EQ(text[25], 'x');
}

}  // namespace
