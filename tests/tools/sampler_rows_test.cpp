// The sampler stand-in's rows, read back with the collector's own reader: the
// header names every column once, each row decodes, the counters grow, and
// the per-call times and cache shares are the same over any span of rows.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "perf/csv_reader.h"
#include "perf/perf_columns.h"
#include "perf/perf_timestamp.h"
#include "sampler_rows.h"

namespace {

std::vector<std::string> readFields(const std::string& line) {
    CsvReader in(std::make_unique<CsvTextSource>(line + "\r\n"));
    CsvRow row;
    EXPECT_TRUE(readCsvRow(in, row).good()) << line;
    std::vector<std::string> fields;
    for (std::size_t i = 0; i < row.size(); ++i) fields.emplace_back(row[i]);
    return fields;
}

// Column id to its position in the sampler's header.
std::map<int, std::size_t> headerPositions() {
    const std::vector<std::string> header = readFields(sampler::historyHeader());
    std::map<int, std::size_t> positions;
    for (const auto& [id, name] : perfCounterColumns) {
        for (std::size_t position = 0; position < header.size(); ++position) {
            if (header[position] == name) {
                EXPECT_EQ(positions.count(id), 0u) << "twice in the header: " << name;
                positions[id] = position;
            }
        }
    }
    return positions;
}

// The 52 counters of one row as the collector decodes them.
PerfSample decode(const std::string& line, const std::map<int, std::size_t>& positions, std::size_t fieldCount) {
    const std::vector<std::string> fields = readFields(line);
    EXPECT_EQ(fields.size(), fieldCount) << line;
    PerfSample sample;
    EXPECT_TRUE(parsePerfTimestamp(fields[0].c_str(), sample.timestamp)) << fields[0];
    for (const auto& [id, position] : positions) {
        EXPECT_TRUE(parseUnsignedField(fields.at(position), sample.values[static_cast<std::size_t>(id)]))
            << fields.at(position);
    }
    return sample;
}

TEST(SamplerRows, HeaderHoldsEveryColumnOnceAmongExtraColumns) {
    const std::vector<std::string> header = readFields(sampler::historyHeader());
    ASSERT_FALSE(header.empty());
    EXPECT_EQ(header[0], "timestamp");
    EXPECT_EQ(headerPositions().size(), perfColumnCount);
    EXPECT_GT(header.size(), 1 + perfColumnCount) << "no extra column for the reader to pass over";
}

TEST(SamplerRows, TimestampsHaveTheHistoryFormat) {
    struct Case {
        CalendarTime time;
        const char* text;
        std::uint64_t ticks;
    };
    const Case cases[] = {
        {{2019, 5, 7, 13, 45, 30, 250}, "2019-05-07T13:45:30.250Z", 132017103302500000u},
        {{2026, 1, 2, 3, 4, 5, 6}, "2026-01-02T03:04:05.006Z", 134117966450060000u},
        {{1601, 1, 1, 0, 0, 0, 0}, "1601-01-01T00:00:00.000Z", 0u},
    };
    for (const Case& c : cases) {
        const std::string text = sampler::formatHistoryTimestamp(c.time);
        EXPECT_EQ(text, c.text);
        std::uint64_t ticks = 1;
        EXPECT_TRUE(parsePerfTimestamp(text.c_str(), ticks)) << text;
        EXPECT_EQ(ticks, c.ticks) << text;
    }
}

TEST(SamplerRows, RowsDecodeAndEveryCounterButTheBootGrows) {
    const auto positions = headerPositions();
    const std::size_t fieldCount = readFields(sampler::historyHeader()).size();
    const std::uint64_t boot = 133000000000000000u;
    sampler::DriverCounters counters = sampler::startCounters(boot);
    PerfSample previous = decode(sampler::historyRow("2026-01-02T03:04:05.006Z", counters), positions, fieldCount);
    EXPECT_EQ(previous.values, counters.values);
    for (int tick = 0; tick < 30; ++tick) {
        sampler::advance(counters);
        const PerfSample sample =
            decode(sampler::historyRow("2026-01-02T03:04:05.006Z", counters), positions, fieldCount);
        EXPECT_EQ(sample.values[0], boot);
        for (std::size_t column = 1; column < perfColumnCount; ++column) {
            EXPECT_GT(sample.values[column], previous.values[column]) << "column " << column << " tick " << tick;
        }
        previous = sample;
    }
}

// (numerator columns, denominator column): per-call times, speeds and cache
// shares whose ratio must not depend on how many ticks an interval spans.
struct Ratio {
    std::vector<std::size_t> numerator;
    std::size_t denominator;
};

const Ratio steadyRatios[] = {
    {{2}, 1},   {{4}, 3},   {{6}, 5},   {{8}, 7},   {{10, 11}, 9}, {{14, 15}, 13}, {{18, 19}, 17}, {{22, 23}, 21},
    {{26}, 25}, {{28}, 27}, {{30}, 29}, {{12}, 10}, {{16}, 14},    {{20}, 18},     {{24}, 22},     {{32}, 31},
    {{33}, 31}, {{34}, 31}, {{44}, 43}, {{45}, 43}, {{46}, 43},    {{47}, 43},     {{49}, 48},     {{51}, 48},
};

TEST(SamplerRows, TimesSpeedsAndCacheSharesAreTheSameOverAnySpan) {
    sampler::DriverCounters counters = sampler::startCounters(1);
    std::vector<sampler::DriverCounters> history{counters};
    for (int tick = 0; tick < 20; ++tick) {
        sampler::advance(counters);
        history.push_back(counters);
    }
    auto delta = [&](std::size_t from, std::size_t to, const std::vector<std::size_t>& columns) {
        std::uint64_t sum = 0;
        for (std::size_t column : columns) sum += history[to].values[column] - history[from].values[column];
        return sum;
    };
    // Spans of 1 to 9 ticks, starting at different activity levels, against the first tick.
    for (const Ratio& ratio : steadyRatios) {
        const std::uint64_t referenceTop = delta(0, 1, ratio.numerator);
        const std::uint64_t referenceBottom = delta(0, 1, {ratio.denominator});
        ASSERT_NE(referenceBottom, 0u);
        for (std::size_t from = 1; from < 11; ++from) {
            for (std::size_t span = 1; span < 10; ++span) {
                EXPECT_EQ(delta(from, from + span, ratio.numerator) * referenceBottom,
                          referenceTop * delta(from, from + span, {ratio.denominator}))
                    << "column " << ratio.numerator[0] << " over " << ratio.denominator << " from " << from;
            }
        }
    }
}

}  // namespace
