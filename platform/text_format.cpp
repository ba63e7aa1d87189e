// Number and calendar texts in the forms the log and clip files have always carried: the
// exponent of "%.15e" has at least three digits, and the non-finite values have their own
// spelling. Infinities: "1.#INF00000000000e+000" and "-1.#INF00000000000e+000". A NaN is written
// "1.#QNAN0000000000e+000", with a minus sign first when its sign bit is set; quiet and
// signalling NaNs and every payload give the same text. The decimal point is always '.',
// whatever the locale, and day and month names are English.
#include "platform/text_format.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Copies text [length + 1] into out[capacity], cut to fit and NUL-terminated; returns length.
int copyOut(const char* text, int length, char* out, std::size_t capacity) {
    if (capacity == 0) {
        return length;
    }
    const std::size_t wanted = static_cast<std::size_t>(length);
    const std::size_t count = wanted < capacity ? wanted : capacity - 1;
    std::memcpy(out, text, count);
    out[count] = '\0';
    return length;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

int formatExp15(double value, char* out, std::size_t capacity) {
    char text[48];
    int length = 0;
    if (std::isnan(value) || std::isinf(value)) {
        const char* body = std::isnan(value) ? "1.#QNAN0000000000e+000" : "1.#INF00000000000e+000";
        if (std::signbit(value)) {
            text[length++] = '-';
        }
        const std::size_t bodyLength = std::strlen(body);
        std::memcpy(text + length, body, bodyLength + 1);
        length += static_cast<int>(bodyLength);
        return copyOut(text, length, out, capacity);
    }

    // The host's correctly rounded digits; only the point and the exponent width are rewritten.
    // The host text is [-]d<point>ddddddddddddddde<sign>dd[d], where the point may be any
    // locale's radix text.
    char host[64];
    std::snprintf(host, sizeof host, "%.15e", value);
    const char* p = host;
    if (*p == '-') {
        text[length++] = '-';
        ++p;
    }
    text[length++] = *p++;
    text[length++] = '.';
    while (*p != '\0' && !isDigit(*p)) {
        ++p;
    }
    for (int i = 0; i < 15 && isDigit(*p); ++i) {
        text[length++] = *p++;
    }
    while (*p != '\0' && *p != 'e') {
        ++p;
    }
    int exponent = 0;
    char exponentSign = '+';
    if (*p == 'e') {
        ++p;
        if (*p == '-' || *p == '+') {
            exponentSign = *p++;
        }
        while (isDigit(*p)) {
            exponent = exponent * 10 + (*p++ - '0');
        }
    }
    const std::size_t room = sizeof text - static_cast<std::size_t>(length);
    length += std::snprintf(text + length, room, "e%c%03d", exponentSign, exponent);
    return copyOut(text, length, out, capacity);
}

void formatCalendar24(const CalendarTime& time, char* out) {
    static const char* const dayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const monthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* day = (time.weekday >= 0 && time.weekday < 7) ? dayNames[time.weekday] : "???";
    const char* month = (time.month >= 1 && time.month <= 12) ? monthNames[time.month - 1] : "???";
    // 25 bytes: a field out of its range shortens the text rather than overrunning out.
    std::snprintf(out, 25, "%s %s %02d %02d:%02d:%02d %04d", day, month, time.day, time.hour,
                  time.minute, time.second, time.year);
}
