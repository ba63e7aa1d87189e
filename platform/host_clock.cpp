#include "platform/host_clock.h"

#include <climits>
#include <cstdint>
#include <ctime>

#include <time.h>

namespace {

ClockSource clockSource = nullptr;

}  // namespace

// Seconds since the epoch, from the test clock when one is set.
int64_t hostNow() {
    if (clockSource != nullptr) return clockSource();
    return static_cast<int64_t>(std::time(nullptr));
}

// Calendar fields of a time in UTC or local time; all zero when the host cannot represent it.
CalendarTime hostBreakDown(int64_t secondsSinceEpoch, bool utc) {
    CalendarTime result{};
    const time_t seconds = static_cast<time_t>(secondsSinceEpoch);
    if (static_cast<int64_t>(seconds) != secondsSinceEpoch) return result;
    std::tm fields{};
    const std::tm* ok = utc ? gmtime_r(&seconds, &fields) : localtime_r(&seconds, &fields);
    if (ok == nullptr) return result;
    if (fields.tm_year > INT32_MAX - 1900) return result;
    result.year = static_cast<int32_t>(fields.tm_year) + 1900;
    result.month = static_cast<int32_t>(fields.tm_mon) + 1;
    result.day = fields.tm_mday;
    result.hour = fields.tm_hour;
    result.minute = fields.tm_min;
    result.second = fields.tm_sec;
    result.weekday = fields.tm_wday;
    return result;
}

// The current time broken down once.
CalendarTime hostCalendarTime(bool utc) { return hostBreakDown(hostNow(), utc); }

// Installs a test clock (null restores the system clock).
void hostSetClock(ClockSource source) { clockSource = source; }
