#include "perf/perf_timestamp.h"

#include <cstddef>

namespace {

constexpr std::uint64_t ticksPerMillisecond = 10000;
constexpr std::uint64_t ticksPerSecond = 1000 * ticksPerMillisecond;
constexpr std::uint64_t ticksPerDay = 86400 * ticksPerSecond;

constexpr std::uint16_t firstYear = 1601;
constexpr std::uint16_t lastYear = 30827;

constexpr std::uint8_t monthLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr std::uint16_t daysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

bool isLeapYear(std::uint32_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

// 'D' stands for a digit; every other byte must stand as it is.
constexpr char timestampPattern[] = "DDDD-DD-DDTDD:DD:DD.DDDZ";
constexpr std::size_t timestampLength = sizeof(timestampPattern) - 1;

std::uint16_t digitsAt(std::string_view text, std::size_t first, std::size_t count) {
    std::uint16_t value = 0;
    for (std::size_t i = first; i < first + count; ++i) {
        value = static_cast<std::uint16_t>(value * 10 + (text[i] - '0'));
    }
    return value;
}

}  // namespace

bool calendarTimeToTicks(const CalendarTime& time, std::uint64_t& ticks) {
    if (time.year < firstYear || time.year > lastYear || time.month < 1 || time.month > 12 || time.day < 1 ||
        time.hour > 23 || time.minute > 59 || time.second > 59 || time.milliseconds > 999) {
        return false;
    }
    const bool leap = isLeapYear(time.year);
    const unsigned monthLength = monthLengths[time.month - 1] + (leap && time.month == 2 ? 1 : 0);
    if (time.day > monthLength) {
        return false;
    }

    const std::uint64_t years = time.year - firstYear;
    const std::uint64_t daysBeforeYear = years * 365 + years / 4 - years / 100 + years / 400;
    const std::uint64_t dayOfYear = daysBeforeMonth[time.month - 1] + (leap && time.month > 2 ? 1 : 0) + time.day - 1;
    const std::uint64_t secondOfDay = (time.hour * 60u + time.minute) * 60u + time.second;
    ticks = (daysBeforeYear + dayOfYear) * ticksPerDay + secondOfDay * ticksPerSecond +
            time.milliseconds * ticksPerMillisecond;
    return true;
}

bool parsePerfTimestamp(std::string_view field, std::uint64_t& ticks) {
    // A C string ends at its first NUL.
    const std::size_t nul = field.find('\0');
    const std::string_view text = nul == std::string_view::npos ? field : field.substr(0, nul);
    if (text.size() != timestampLength) {
        return false;
    }
    for (std::size_t i = 0; i < timestampLength; ++i) {
        const bool wanted = timestampPattern[i] == 'D' ? (text[i] >= '0' && text[i] <= '9') : text[i] == timestampPattern[i];
        if (!wanted) {
            return false;
        }
    }
    const CalendarTime time{digitsAt(text, 0, 4),  digitsAt(text, 5, 2),  digitsAt(text, 8, 2), digitsAt(text, 11, 2),
                            digitsAt(text, 14, 2), digitsAt(text, 17, 2), digitsAt(text, 20, 3)};
    return calendarTimeToTicks(time, ticks);
}
