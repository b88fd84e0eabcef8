// The portable calendar against the system's own conversion. Wine accepts
// 29 February of every year (2019-02-29 becomes 2019-03-01) where Windows
// refuses it in common years; there the portable code follows Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <random>
#include <vector>

#include "perf/perf_timestamp.h"

namespace {

bool isLeapYear(unsigned year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

bool isCommonYearFebruary29(const CalendarTime& time) {
    return time.month == 2 && time.day == 29 && !isLeapYear(time.year);
}

bool systemConverts(const CalendarTime& time, std::uint64_t& ticks) {
    SYSTEMTIME system{};
    system.wYear = time.year;
    system.wMonth = time.month;
    system.wDay = time.day;
    system.wHour = time.hour;
    system.wMinute = time.minute;
    system.wSecond = time.second;
    system.wMilliseconds = time.milliseconds;
    FILETIME file{};
    if (!SystemTimeToFileTime(&system, &file)) {
        return false;
    }
    ticks = (static_cast<std::uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    return true;
}

std::string describe(const CalendarTime& t) {
    char text[96];
    std::snprintf(text, sizeof text, "%u-%u-%u %u:%u:%u.%u", t.year, t.month, t.day, t.hour, t.minute, t.second,
                  t.milliseconds);
    return text;
}

// Compares one set of fields, through calendarTimeToTicks and, where the year
// has four digits, through the text parser as well.
void expectSameAsSystem(const CalendarTime& time) {
    std::uint64_t portable = 0;
    const bool portableAccepts = calendarTimeToTicks(time, portable);
    std::uint64_t fromText = 0;
    bool textAccepts = portableAccepts;
    if (time.year <= 9999 && time.month <= 99 && time.day <= 99 && time.hour <= 99 && time.minute <= 99 &&
        time.second <= 99 && time.milliseconds <= 999) {
        char text[96];
        std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", time.year, time.month, time.day,
                      time.hour, time.minute, time.second, time.milliseconds);
        textAccepts = parsePerfTimestamp(text, fromText);
        EXPECT_EQ(textAccepts, portableAccepts) << text;
        if (textAccepts && portableAccepts) {
            EXPECT_EQ(fromText, portable) << text;
        }
    }
    if (isCommonYearFebruary29(time)) {
        EXPECT_FALSE(portableAccepts) << describe(time);
        return;
    }
    std::uint64_t system = 0;
    const bool systemAccepts = systemConverts(time, system);
    EXPECT_EQ(portableAccepts, systemAccepts) << describe(time);
    if (portableAccepts && systemAccepts) {
        EXPECT_EQ(portable, system) << describe(time);
    }
}

TEST(CalendarAgainstSystemTimeToFileTime, EdgeDates) {
    const std::uint16_t years[] = {0,    1,    1599, 1600, 1601, 1602, 1603, 1604, 1700,  1800,  1900,  1999,
                                   2000, 2001, 2004, 2019, 2024, 2100, 2400, 9999, 10000, 30000, 30826, 30827};
    const std::uint16_t months[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 99};
    const std::uint16_t days[] = {0, 1, 27, 28, 29, 30, 31, 32};
    const CalendarTime times[] = {{0, 0, 0, 0, 0, 0, 0},     {0, 0, 0, 23, 59, 59, 999}, {0, 0, 0, 24, 0, 0, 0},
                                  {0, 0, 0, 0, 60, 0, 0},    {0, 0, 0, 0, 0, 60, 0},     {0, 0, 0, 0, 0, 0, 1000},
                                  {0, 0, 0, 12, 34, 56, 789}};
    for (std::uint16_t year : years) {
        for (std::uint16_t month : months) {
            for (std::uint16_t day : days) {
                for (CalendarTime time : times) {
                    time.year = year;
                    time.month = month;
                    time.day = day;
                    expectSameAsSystem(time);
                }
            }
        }
    }
}

TEST(CalendarAgainstSystemTimeToFileTime, RandomDates) {
    std::mt19937 random(1601);
    const auto pick = [&](unsigned low, unsigned high) {
        return static_cast<std::uint16_t>(std::uniform_int_distribution<unsigned>(low, high)(random));
    };
    for (int i = 0; i < 5000; ++i) {
        // Mostly valid fields, so most cases compare tick values; the rest
        // straddle every bound by one.
        const bool valid = i % 4 != 0;
        CalendarTime time{};
        time.year = i % 10 == 0 ? pick(1601, 30827) : pick(valid ? 1601 : 1598, valid ? 9999 : 10001);
        time.month = valid ? pick(1, 12) : pick(0, 13);
        time.day = valid ? pick(1, 28) : pick(0, 32);
        time.hour = valid ? pick(0, 23) : pick(0, 24);
        time.minute = valid ? pick(0, 59) : pick(0, 60);
        time.second = valid ? pick(0, 59) : pick(0, 60);
        time.milliseconds = valid ? pick(0, 999) : pick(0, 1000);
        expectSameAsSystem(time);
    }
}

TEST(CalendarAgainstSystemTimeToFileTime, EveryDayOfSomeYears) {
    for (std::uint16_t year : std::initializer_list<std::uint16_t>{1601, 1900, 2000, 2023, 2024}) {
        for (std::uint16_t month = 1; month <= 12; ++month) {
            for (std::uint16_t day = 1; day <= 31; ++day) {
                expectSameAsSystem({year, month, day, 6, 7, 8, 9});
            }
        }
    }
}

}  // namespace
