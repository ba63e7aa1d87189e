#include "platform/host_clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

bool sameCalendar(const CalendarTime& a, const CalendarTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second && a.weekday == b.weekday;
}

std::string show(const CalendarTime& t) {
    return std::to_string(t.year) + "-" + std::to_string(t.month) + "-" + std::to_string(t.day) +
           " " + std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" +
           std::to_string(t.second) + " w" + std::to_string(t.weekday);
}

TEST(HostClock, BreaksDownUtcTimes) {
    const struct {
        int64_t seconds;
        CalendarTime expected;
    } cases[] = {
        {0, {1970, 1, 1, 0, 0, 0, 4}},
        {951782400, {2000, 2, 29, 0, 0, 0, 2}},
        {1704067199, {2023, 12, 31, 23, 59, 59, 0}},
        {-1, {1969, 12, 31, 23, 59, 59, 3}},
    };
    for (const auto& c : cases) {
        const CalendarTime got = hostBreakDown(c.seconds, true);
        EXPECT_TRUE(sameCalendar(got, c.expected)) << c.seconds << ": " << show(got);
    }
}

// Sets TZ for the test and restores it.
class LocalZone : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TZ");
        hadZone = old != nullptr;
        if (hadZone) oldZone = old;
    }
    void TearDown() override {
        if (hadZone) {
            setenv("TZ", oldZone.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    bool hadZone = false;
    std::string oldZone;
};

TEST_F(LocalZone, LocalTimeFollowsTheHostZone) {
    setenv("TZ", "XST5", 1);  // five hours behind UTC, no daylight saving
    tzset();
    const CalendarTime local = hostBreakDown(0, false);
    EXPECT_TRUE(sameCalendar(local, {1969, 12, 31, 19, 0, 0, 3})) << show(local);
    const CalendarTime utc = hostBreakDown(0, true);
    EXPECT_TRUE(sameCalendar(utc, {1970, 1, 1, 0, 0, 0, 4})) << show(utc);
}

int64_t fixedClock() { return 951782400 + 3600 * 13 + 60 * 7 + 9; }

TEST(HostClock, TestClockReplacesTheSystemClockUntilRestored) {
    hostSetClock(fixedClock);
    EXPECT_EQ(hostNow(), fixedClock());
    const CalendarTime now = hostCalendarTime(true);
    EXPECT_TRUE(sameCalendar(now, {2000, 2, 29, 13, 7, 9, 2})) << show(now);
    hostSetClock(nullptr);
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    const int64_t system = hostNow();
    EXPECT_GE(system, before);
    EXPECT_LE(system, before + 5);
}

}  // namespace
