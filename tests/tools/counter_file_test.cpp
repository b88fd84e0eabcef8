#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "counter_file.h"

namespace {

using pdh_file::Lookup;

constexpr std::uint64_t maxValue = 18446744073709551615u;

struct ValueCase {
    const char* text;
    std::optional<std::uint64_t> value;
};

TEST(CounterFileValues, RawValuesAreExact64BitNumbersOrRefused) {
    const ValueCase cases[] = {
        {"0", 0u},
        {"42", 42u},
        {"18446744073709551615", maxValue},
        {"18446744073709551616", std::nullopt},  // one past the top
        {"99999999999999999999", std::nullopt},
        {"-1", maxValue},  // the same 64 bits, read signed
        {"-2", maxValue - 1},
        {"-9223372036854775808", 9223372036854775808u},
        {"-9223372036854775809", std::nullopt},
        {"0x2A", 42u},
        {"0Xff", 255u},
        {"0xFFFFFFFFFFFFFFFF", maxValue},
        {"0x10000000000000000", std::nullopt},
        {"0x00000000000000000001", 1u},  // leading zeros do not count
        {"0x", std::nullopt},
        {"-0x1", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"+1", std::nullopt},
        {"1.5", std::nullopt},
        {"12a", std::nullopt},
        {"0x1g", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pdh_file::parseRawValue(c.text), c.value) << c.text;
    }
}

TEST(CounterFileValues, StatusesAre32BitNumbers) {
    const struct {
        const char* text;
        std::optional<std::uint32_t> status;
    } cases[] = {
        {"0x00000001", 1u}, {"0xC0000BBA", 0xC0000BBAu},  {"0xffffffff", 0xFFFFFFFFu},   {"4294967295", 0xFFFFFFFFu},
        {"0", 0u},          {"4294967296", std::nullopt}, {"0x100000000", std::nullopt}, {"0x", std::nullopt},
        {"", std::nullopt}, {"-1", std::nullopt},         {"0x0000000001", 1u},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pdh_file::parseStatus(c.text), c.status) << c.text;
    }
}

TEST(CounterFilePaths, SplitsSetInstanceAndCounterAndRefusesOtherForms) {
    const struct {
        const char* path;
        const char* object;  // null: refused
        const char* counter;
    } cases[] = {
        {"\\Corvex.ZEL driver state\\Boot timestamp", "Corvex.ZEL driver state", "Boot timestamp"},
        {"\\Corvex.ZEL process/thread/image tracking stats\\Total threads skipped - add failure",
         "Corvex.ZEL process/thread/image tracking stats", "Total threads skipped - add failure"},
        {"\\Corvex.ZEL Event Journal indexed stats(Global_SYSTEM)\\Bytes in the memory queue",
         "Corvex.ZEL Event Journal indexed stats(Global_SYSTEM)", "Bytes in the memory queue"},
        {"\\set\\NTSTATUS code of last write error. '0x42' means less", "set",
         "NTSTATUS code of last write error. '0x42' means less"},
        {"\\\\machine\\set\\counter", nullptr, nullptr},
        {"set\\counter", nullptr, nullptr},
        {"\\set", nullptr, nullptr},
        {"\\set\\", nullptr, nullptr},
        {"\\\\counter", nullptr, nullptr},
        {"\\set\\a\\b", nullptr, nullptr},
        {"\\set()\\counter", nullptr, nullptr},
        {"\\(instance)\\counter", nullptr, nullptr},
        {"\\set(instance\\counter", nullptr, nullptr},
        {"\\set)\\counter", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        const auto parts = pdh_file::splitCounterPath(c.path);
        if (c.object == nullptr) {
            EXPECT_FALSE(parts.has_value()) << c.path;
        } else {
            ASSERT_TRUE(parts.has_value()) << c.path;
            EXPECT_EQ(parts->object, c.object);
            EXPECT_EQ(parts->counter, c.counter);
        }
    }
}

const char* const fileText =
    "\xEF\xBB\xBF# comment line\r\n"
    "\r\n"
    "   \\Corvex.ZEL pinned scan stats\\Total pinned scans = 42   \r\n"
    "\\Corvex.ZEL pinned scan stats\\Total pinned callbacks=0x10 CStatus=0x00000001\n"
    "\t# indented comment\n"
    "\\Corvex.ZEL Event Journal indexed stats(THREAD)\\Events written to disk = -1 cstatus=3221228474\n"
    "\\set\\name = with = signs = 7\n"
    "\\Corvex.ZEL pinned scan stats\\Total pinned scans = 43\n"
    "\\Corvex.ZEL pinned scan stats\\Total pinned prefetch operations 5\n"
    "\\Corvex.ZEL pinned scan stats\\Total pinned zero byte failures = 5 cstatus=nope\n"
    "Corvex.ZEL pinned scan stats\\Total pinned other scan failures = 5\n"
    "\\Corvex.ZEL pinned scan stats\\Total pinned get name failures = 18446744073709551616\n"
    "\\Corvex.ZEL pinned scan stats\\Total pinned non-exec sections =\n"
    "\\Corvex.ZEL driver state\\Boot timestamp = 1";  // no final newline

TEST(CounterFile, PublishesEveryGoodLineAndNamesEveryBadOne) {
    const pdh_file::CounterFile file = pdh_file::parseCounterFile(fileText);
    const std::string shape = "expected '<counter path> = <value> [cstatus=<status>]'";
    const std::string set = "Corvex.ZEL pinned scan stats\\";
    const std::vector<std::string> problems = {
        "line 8: counter listed twice (the first one counts): \\" + set + "Total pinned scans = 43",
        "line 9: " + shape + ": \\" + set + "Total pinned prefetch operations 5",
        "line 10: status is not a 32-bit number: \\" + set + "Total pinned zero byte failures = 5 cstatus=nope",
        "line 11: not a counter path of the form \\set\\counter or \\set(instance)\\counter: " + set +
            "Total pinned other scan failures = 5",
        "line 12: " + shape + ": \\" + set + "Total pinned get name failures = 18446744073709551616",
        "line 13: " + shape + ": \\" + set + "Total pinned non-exec sections =",
    };
    EXPECT_EQ(file.problems, problems);
    EXPECT_EQ(file.table.size(), 5u);

    const struct {
        const char* path;
        Lookup outcome;
        std::uint64_t value;
        std::uint32_t cstatus;
    } lookups[] = {
        {"\\Corvex.ZEL pinned scan stats\\Total pinned scans", Lookup::Found, 42, 0},
        {"\\Corvex.ZEL pinned scan stats\\Total pinned callbacks", Lookup::Found, 16, 1},
        {"\\Corvex.ZEL Event Journal indexed stats(THREAD)\\Events written to disk", Lookup::Found, maxValue,
         0xC0000BBA},
        {"\\set\\name = with = signs", Lookup::Found, 7, 0},
        {"\\Corvex.ZEL driver state\\Boot timestamp", Lookup::Found, 1, 0},
        // PDH matches names without regard to case.
        {"\\CORVEX.zel PINNED scan stats\\total pinned SCANS", Lookup::Found, 42, 0},
        {"\\corvex.zel event journal indexed stats(thread)\\events written to disk", Lookup::Found, maxValue,
         0xC0000BBA},
        // The set is there, the counter is not (bad lines publish nothing).
        {"\\Corvex.ZEL pinned scan stats\\Total pinned prefetch operations", Lookup::NoCounter, 0, 0},
        {"\\Corvex.ZEL pinned scan stats\\Total pinned other scan failures", Lookup::NoCounter, 0, 0},
        {"\\Corvex.ZEL driver state\\Event Journal enabled", Lookup::NoCounter, 0, 0},
        // An instance is part of the object: another instance of a listed one is unknown.
        {"\\Corvex.ZEL Event Journal indexed stats(PROCESS)\\Events written to disk", Lookup::NoObject, 0, 0},
        {"\\Corvex.ZEL Event Journal indexed stats\\Events written to disk", Lookup::NoObject, 0, 0},
        {"\\Corvex.ZEL scan types stats\\Total QIX scan on open msgs", Lookup::NoObject, 0, 0},
        {"\\\\host\\Corvex.ZEL pinned scan stats\\Total pinned scans", Lookup::BadPath, 0, 0},
    };
    for (const auto& l : lookups) {
        const pdh_file::LookupResult found = file.table.find(l.path);
        EXPECT_EQ(found.outcome, l.outcome) << l.path;
        EXPECT_EQ(found.counter.firstValue, l.value) << l.path;
        EXPECT_EQ(found.counter.cstatus, l.cstatus) << l.path;
    }
}

TEST(CounterFile, EmptyAndCommentOnlyFilesPublishNothing) {
    for (const char* text : {"", "\n\n", "# nothing\r\n  # here\n", "\xEF\xBB\xBF"}) {
        const pdh_file::CounterFile file = pdh_file::parseCounterFile(text);
        EXPECT_TRUE(file.problems.empty()) << text;
        EXPECT_EQ(file.table.size(), 0u);
        EXPECT_EQ(file.table.find("\\Corvex.ZEL driver state\\Boot timestamp").outcome, Lookup::NoObject);
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The demo's file publishes every counter the collector reads, and nothing else.
TEST(SampleCounterFile, PublishesExactlyTheCataloguesCountersWithoutAProblem) {
    const pdh_file::CounterFile file = pdh_file::parseCounterFile(readFile(CORVEX_SAMPLE_COUNTERS));
    for (const std::string& problem : file.problems) ADD_FAILURE() << problem;
    std::istringstream paths(readFile(CORVEX_COUNTER_PATHS));
    std::size_t count = 0;
    for (std::string path; std::getline(paths, path);) {
        ++count;
        EXPECT_EQ(file.table.find(path).outcome, Lookup::Found) << path;
    }
    EXPECT_EQ(count, 289u);
    EXPECT_EQ(file.table.size(), count);
}

}  // namespace
