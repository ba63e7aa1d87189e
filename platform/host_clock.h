// Calendar clock of the host. Tests fix the time through hostSetClock.
#pragma once

#include <cstdint>

struct CalendarTime {
    int32_t year;     // four digits
    int32_t month;    // 1..12
    int32_t day;      // 1..31
    int32_t hour;
    int32_t minute;
    int32_t second;
    int32_t weekday;  // 0 = Sunday
};

// Seconds since 1970-01-01 00:00:00 UTC.
int64_t hostNow();

// Breaks `secondsSinceEpoch` down in UTC (utc true) or in the host's local time zone.
CalendarTime hostBreakDown(int64_t secondsSinceEpoch, bool utc);

// The current calendar time, read once.
CalendarTime hostCalendarTime(bool utc);

// Replaces the clock: a non-null function is called instead of the system clock; null restores it.
using ClockSource = int64_t (*)();
void hostSetClock(ClockSource source);
