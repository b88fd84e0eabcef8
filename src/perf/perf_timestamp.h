#pragma once
// History timestamps: "YYYY-MM-DDTHH:MM:SS.mmmZ" in UTC to FILETIME ticks
// (100 ns since 1601-01-01 00:00:00 UTC), with the calendar rules of the
// system's own SYSTEMTIME conversion, so both builds accept the same texts.
#include <cstdint>
#include <string_view>

// The fields of a SYSTEMTIME that the conversion looks at (not the weekday).
struct CalendarTime {
    std::uint16_t year;
    std::uint16_t month;
    std::uint16_t day;
    std::uint16_t hour;
    std::uint16_t minute;
    std::uint16_t second;
    std::uint16_t milliseconds;
};

// What SystemTimeToFileTime accepts: years 1601 to 30827, months 1 to 12,
// days of the month under the Gregorian leap rule, hours below 24, minutes
// and seconds below 60, milliseconds below 1000. On refusal ticks is unset.
[[nodiscard]] bool calendarTimeToTicks(const CalendarTime& time, std::uint64_t& ticks);

// Exactly 24 characters, then the end of the text. The field is read as a C
// string: a NUL byte ends it. On refusal ticks is left as it was.
[[nodiscard]] bool parsePerfTimestamp(std::string_view field, std::uint64_t& ticks);
[[nodiscard]] inline bool parsePerfTimestamp(const char* text, std::uint64_t& ticks) {
    return parsePerfTimestamp(std::string_view(text), ticks);
}
