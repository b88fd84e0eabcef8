// parsePerfTimestamp against an independent calendar: the text is accepted
// exactly when it is "YYYY-MM-DDTHH:MM:SS.mmmZ" (up to a NUL) naming a real
// instant from 1601 on, its ticks equal the days-from-civil count, formatting
// the ticks back gives the text, and a refusal leaves the ticks as they were.
// The same bytes, taken as the seven fields of a calendar time, check
// calendarTimeToTicks over the whole range of each field.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "perf/perf_timestamp.h"

namespace {

constexpr std::int64_t ticksPerMillisecond = 10000;
constexpr std::int64_t ticksPerDay = 864000000000;
constexpr std::int64_t daysFrom1601To1970 = 134774;

struct Civil {
    std::int64_t year, month, day;
};

// Days since 1970-01-01 of a proleptic Gregorian date (the era method).
std::int64_t daysFromCivil(Civil date) {
    const std::int64_t y = date.year - (date.month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (date.month + (date.month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

Civil civilFromDays(std::int64_t days) {
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, dayOfYear - (153 * mp + 2) / 5 + 1};
}

struct Instant {
    std::int64_t year, month, day, hour, minute, second, milliseconds;
};

// A day exists when counting it and counting back give the same date.
bool referenceTicks(const Instant& t, std::uint64_t& ticks) {
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 ||
        t.minute > 59 || t.second > 59 || t.milliseconds > 999) {
        return false;
    }
    const std::int64_t days = daysFromCivil({t.year, t.month, t.day});
    const Civil back = civilFromDays(days);
    if (back.year != t.year || back.month != t.month || back.day != t.day) {
        return false;
    }
    const std::int64_t milliseconds = ((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.milliseconds;
    ticks = static_cast<std::uint64_t>((days + daysFrom1601To1970) * ticksPerDay + milliseconds * ticksPerMillisecond);
    return true;
}

// The fields of the text, or false when it does not have the shape.
bool readShape(std::string_view text, Instant& t) {
    struct Part {
        std::size_t first, digits;
        char after;  // the separator behind the digits
        std::int64_t Instant::*field;
    };
    static const Part parts[] = {{0, 4, '-', &Instant::year},         {5, 2, '-', &Instant::month},
                                 {8, 2, 'T', &Instant::day},          {11, 2, ':', &Instant::hour},
                                 {14, 2, ':', &Instant::minute},      {17, 2, '.', &Instant::second},
                                 {20, 3, 'Z', &Instant::milliseconds}};
    if (text.size() != 24) {
        return false;
    }
    for (const Part& part : parts) {
        std::int64_t value = 0;
        for (std::size_t i = part.first; i < part.first + part.digits; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                return false;
            }
            value = value * 10 + (text[i] - '0');
        }
        if (text[part.first + part.digits] != part.after) {
            return false;
        }
        t.*part.field = value;
    }
    return true;
}

std::string formatTicks(std::uint64_t ticks) {
    const Civil date = civilFromDays(static_cast<std::int64_t>(ticks / ticksPerDay) - daysFrom1601To1970);
    const std::uint64_t milliseconds = ticks % ticksPerDay / ticksPerMillisecond;
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02llu:%02llu:%02llu.%03lluZ",
                  static_cast<long long>(date.year), static_cast<long long>(date.month),
                  static_cast<long long>(date.day), static_cast<unsigned long long>(milliseconds / 3600000),
                  static_cast<unsigned long long>(milliseconds / 60000 % 60),
                  static_cast<unsigned long long>(milliseconds / 1000 % 60),
                  static_cast<unsigned long long>(milliseconds % 1000));
    return text;
}

void checkText(std::string_view field) {
    const std::string_view text = field.substr(0, field.find('\0'));  // a C string ends at its NUL
    Instant instant{};
    std::uint64_t expected = 0;
    const bool expectAccepted = readShape(text, instant) && referenceTicks(instant, expected);

    const std::uint64_t untouched = 0xA5A5A5A5A5A5A5A5ULL ^ field.size();
    std::uint64_t ticks = untouched;
    const bool accepted = parsePerfTimestamp(field, ticks);
    require(accepted == expectAccepted, "acceptance differs from the reference calendar");
    if (!accepted) {
        require(ticks == untouched, "a refused text changed the ticks");
        return;
    }
    require(ticks == expected, "the ticks differ from the reference calendar");
    require(formatTicks(ticks) == text, "the ticks do not format back to the text");

    // The C-string form reads the same text.
    const std::string copy(field);
    std::uint64_t fromCString = 0;
    require(parsePerfTimestamp(copy.c_str(), fromCString) && fromCString == ticks, "the C-string form differs");
}

void checkCalendarTime(const std::uint8_t* data, std::size_t size) {
    std::uint16_t fields[7];
    if (size < sizeof fields) {
        return;
    }
    std::memcpy(fields, data, sizeof fields);
    const CalendarTime time{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]};
    const Instant instant{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]};

    std::uint64_t expected = 0;
    const bool expectAccepted = referenceTicks(instant, expected);
    std::uint64_t ticks = 0;
    require(calendarTimeToTicks(time, ticks) == expectAccepted, "calendar acceptance differs from the reference");
    require(!expectAccepted || ticks == expected, "calendar ticks differ from the reference");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkText(std::string_view(reinterpret_cast<const char*>(data), size));
    checkCalendarTime(data, size);
    return 0;
}
