#include "perf/perf_timestamp.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <string>

#include "history_builder.h"

namespace {

struct TimestampCase {
    std::string text;
    bool accepted;
    std::uint64_t ticks;
};

const TimestampCase timestampCases[] = {
    {"2019-05-07T13:45:30.250Z", true, 132017103302500000},
    {"1601-01-01T00:00:00.000Z", true, 0},
    {"1601-01-01T00:00:00.001Z", true, 10000},
    {"9999-12-31T23:59:59.999Z", true, 2650467743999990000},
    {"2000-02-29T00:00:00.000Z", true, 125962560000000000},  // divisible by 400: leap
    {"1700-03-01T00:00:00.000Z", true, 31292352000000000},
    {"2024-02-29T12:00:00.000Z", true, 133536816000000000},
    {"2024-12-31T23:59:59.999Z", true, 133801631999990000},
    // Refused by the format.
    {"2019-05-07T13:45:30.25Z", false, 0},
    {"2019-05-07 13:45:30.250Z", false, 0},
    {"2019-05-07T13:45:30.250", false, 0},
    {"2019-05-07T13:45:30.250Z ", false, 0},
    {" 2019-05-07T13:45:30.250Z", false, 0},
    {"2019-05-07t13:45:30.250Z", false, 0},
    {"2019-05-07T13:45:30.250z", false, 0},
    {"2019-05-07T13:45:30,250Z", false, 0},
    {"2019/05/07T13:45:30.250Z", false, 0},
    {"2019-5-07T13:45:30.250ZZ", false, 0},
    {"2019-05-07T13:45:+0.250Z", false, 0},
    {"2019-05-07T13:45:30.2a0Z", false, 0},
    {"", false, 0},
    // Refused by the calendar.
    {"2019-02-30T00:00:00.000Z", false, 0},
    {"2019-02-29T00:00:00.000Z", false, 0},
    {"1900-02-29T00:00:00.000Z", false, 0},  // divisible by 100, not by 400
    {"1600-12-31T23:59:59.999Z", false, 0},
    {"0000-01-01T00:00:00.000Z", false, 0},
    {"2019-00-10T00:00:00.000Z", false, 0},
    {"2019-13-10T00:00:00.000Z", false, 0},
    {"2019-04-31T00:00:00.000Z", false, 0},
    {"2019-01-00T00:00:00.000Z", false, 0},
    {"2019-01-32T00:00:00.000Z", false, 0},
    {"2019-01-10T24:00:00.000Z", false, 0},
    {"2019-01-10T23:60:00.000Z", false, 0},
    {"2019-01-10T23:59:60.000Z", false, 0},
};

TEST(ParsePerfTimestamp, ExamplesAndRefusals) {
    for (const TimestampCase& c : timestampCases) {
        std::uint64_t ticks = 4242;
        EXPECT_EQ(parsePerfTimestamp(c.text.c_str(), ticks), c.accepted) << c.text;
        EXPECT_EQ(ticks, c.accepted ? c.ticks : 4242) << c.text;
    }
}

TEST(ParsePerfTimestamp, AFieldIsReadAsACString) {
    std::uint64_t ticks = 0;
    EXPECT_TRUE(parsePerfTimestamp(std::string_view("2019-05-07T13:45:30.250Z\0tail", 29), ticks));
    EXPECT_EQ(ticks, 132017103302500000u);
    EXPECT_FALSE(parsePerfTimestamp(std::string("2019-05-07T13:45:30.2") + '\0' + "50", ticks));
    // A view ends where its field ends, even inside a longer line.
    const std::string line = "2019-05-07T13:45:30.250Z0,1";
    EXPECT_TRUE(parsePerfTimestamp(std::string_view(line).substr(0, 24), ticks));
    EXPECT_FALSE(parsePerfTimestamp(std::string_view(line).substr(0, 25), ticks));
}

TEST(CalendarTimeToTicks, MonthLengthsUnderTheGregorianLeapRule) {
    const unsigned common[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (std::uint16_t year :
         std::initializer_list<std::uint16_t>{1601, 1604, 1700, 1900, 2000, 2023, 2024, 2100, 2400, 9999, 30827}) {
        const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
        for (std::uint16_t month = 1; month <= 12; ++month) {
            const unsigned length = common[month - 1] + (leap && month == 2 ? 1 : 0);
            std::uint64_t ticks = 0;
            EXPECT_TRUE(calendarTimeToTicks({year, month, static_cast<std::uint16_t>(length), 0, 0, 0, 0}, ticks))
                << year << '-' << month;
            EXPECT_FALSE(calendarTimeToTicks({year, month, static_cast<std::uint16_t>(length + 1), 0, 0, 0, 0}, ticks))
                << year << '-' << month;
        }
    }
}

TEST(CalendarTimeToTicks, YearRangeEnds) {
    std::uint64_t ticks = 0;
    EXPECT_TRUE(calendarTimeToTicks({30827, 12, 31, 23, 59, 59, 999}, ticks));
    EXPECT_EQ(ticks, 0x7FFF35F4F06C58F0u);
    EXPECT_FALSE(calendarTimeToTicks({30828, 1, 1, 0, 0, 0, 0}, ticks));
    EXPECT_FALSE(calendarTimeToTicks({1600, 12, 31, 23, 59, 59, 999}, ticks));
    EXPECT_FALSE(calendarTimeToTicks({2019, 1, 1, 0, 0, 0, 1000}, ticks));
}

TEST(ParsePerfTimestamp, RoundTripsRandomInstantsToTheMillisecond) {
    std::mt19937_64 random(20240229);
    const std::uint64_t last = 2650467743999990000u;  // 9999-12-31T23:59:59.999Z
    for (int i = 0; i < 5000; ++i) {
        const std::uint64_t ticks = random() % (last + 1);
        const std::string text = perftest::formatTimestamp(ticks);
        std::uint64_t parsed = 0;
        ASSERT_TRUE(parsePerfTimestamp(text.c_str(), parsed)) << text;
        ASSERT_EQ(parsed, ticks - ticks % perftest::ticksPerMillisecond) << text;
    }
}

}  // namespace
