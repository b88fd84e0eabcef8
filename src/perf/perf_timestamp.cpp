#include "perf/perf_timestamp.h"

#include <cstddef>
#include <cstring>

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

// The pattern eight bytes at a time: each byte XOR the pattern's ('0' where a
// digit stands) is 0 for a separator and 0 to 9 for a digit, and adding 6
// keeps a digit's high nibble clear. One test a word instead of a loop over
// 24 bytes, for a field every history row has.
struct PatternWord {
    std::uint64_t expected;
    std::uint64_t digits;  // 0xFF where a digit stands
};

constexpr PatternWord patternWord(std::size_t first) {
    PatternWord word{0, 0};
    for (std::size_t i = 0; i < 8; ++i) {
        const char c = timestampPattern[first + i];
        word.expected |= std::uint64_t{static_cast<unsigned char>(c == 'D' ? '0' : c)} << (8 * i);
        word.digits |= std::uint64_t{c == 'D' ? 0xFFu : 0u} << (8 * i);
    }
    return word;
}

constexpr PatternWord patternWords[3] = {patternWord(0), patternWord(8), patternWord(16)};

bool matchesPattern(std::string_view text) {
    if (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__) {
        for (std::size_t i = 0; i < timestampLength; ++i) {
            const char c = text[i];
            if (timestampPattern[i] == 'D' ? (c < '0' || c > '9') : c != timestampPattern[i]) {
                return false;
            }
        }
        return true;
    }
    constexpr std::uint64_t highNibbles = 0xF0F0F0F0F0F0F0F0ULL;
    std::uint64_t wrong = 0;
    for (std::size_t w = 0; w < 3; ++w) {
        std::uint64_t chunk;
        std::memcpy(&chunk, text.data() + 8 * w, sizeof chunk);
        const std::uint64_t x = chunk ^ patternWords[w].expected;
        wrong |= (x & ~patternWords[w].digits) | (x & highNibbles) |
                 ((x + 0x0606060606060606ULL) & patternWords[w].digits & highNibbles);
    }
    return wrong == 0;
}

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
    const unsigned monthLength = monthLengths[time.month - 1] + (leap && time.month == 2 ? 1u : 0u);
    if (time.day > monthLength) {
        return false;
    }

    const std::uint64_t years = time.year - firstYear;
    const std::uint64_t daysBeforeYear = years * 365 + years / 4 - years / 100 + years / 400;
    const std::uint64_t dayOfYear =
        daysBeforeMonth[time.month - 1] + (leap && time.month > 2 ? 1u : 0u) + time.day - 1u;
    const std::uint64_t secondOfDay = (time.hour * 60u + time.minute) * 60u + time.second;
    ticks = (daysBeforeYear + dayOfYear) * ticksPerDay + secondOfDay * ticksPerSecond +
            time.milliseconds * ticksPerMillisecond;
    return true;
}

bool parsePerfTimestamp(std::string_view field, std::uint64_t& ticks) {
    // A C string ends at its first NUL: a NUL inside the pattern breaks it, and
    // one right after it ends a longer field there. (No search for the NUL:
    // this runs for every row, and the C runtime's memchr is a byte loop on
    // some Windows versions.)
    if (field.size() < timestampLength || (field.size() > timestampLength && field[timestampLength] != '\0')) {
        return false;
    }
    const std::string_view text = field.substr(0, timestampLength);
    if (!matchesPattern(text)) {
        return false;
    }
    const CalendarTime time{digitsAt(text, 0, 4),  digitsAt(text, 5, 2),  digitsAt(text, 8, 2), digitsAt(text, 11, 2),
                            digitsAt(text, 14, 2), digitsAt(text, 17, 2), digitsAt(text, 20, 3)};
    return calendarTimeToTicks(time, ticks);
}
