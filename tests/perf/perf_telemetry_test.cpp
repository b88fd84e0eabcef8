#include "perf/perf_telemetry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "history_builder.h"
#include "perf/csv_reader.h"
#include "perf/history_files.h"
#include "perf/perf_timestamp.h"

namespace {

using perftest::formatTimestamp;
using perftest::growingValues;
using perftest::HeaderLayout;
using perftest::ticksPerMinute;

const std::uint64_t now = [] {
    std::uint64_t ticks = 0;
    if (!parsePerfTimestamp("2024-03-01T12:00:00.000Z", ticks)) {
        throw std::logic_error("the test's clock does not parse");
    }
    return ticks;
}();

// growingValues advances column k by (k + 1) x 10 per sample, so every interval
// of one boot has the same deltas and the figures are known in closed form
// (to rounding, over thousands of intervals).
void expectEveryFigureOver(const MetricMap& metrics, std::uint64_t intervals) {
    const auto value = [&](const char* name) { return metrics.count(name) ? metrics.at(name) : -1.0; };
    const auto near = [](double expected) { return expected * 1e-12; };
    EXPECT_EQ(metrics.size(), 51u);
    EXPECT_NEAR(value("avgAntiMalwareFilterTime"), 30.0 / (20.0 * 10000.0), near(30.0 / (20.0 * 10000.0)));
    EXPECT_NEAR(value("avgPinHashSpeed"), 130.0 * 10.0 / (110.0 + 120.0), near(130.0 * 10.0 / 230.0));
    EXPECT_EQ(value("pinHashCacheTotal"), static_cast<double>(intervals) * 320.0);
    EXPECT_DOUBLE_EQ(value("pinHashCacheHitRate"), 330.0 * 100 / 320);
}

class PerfScan : public perftest::ScratchDirectory {
protected:
    // Rows of samples first..first+count-1 of one boot, a minute apart from start.
    static std::vector<std::string> sampleRows(const HeaderLayout& layout, std::uint64_t boot, std::uint64_t first,
                                               std::uint64_t count, std::uint64_t start,
                                               std::uint64_t step = ticksPerMinute) {
        std::vector<std::string> rows;
        for (std::uint64_t i = 0; i < count; ++i) {
            rows.push_back(layout.row(formatTimestamp(start + i * step), growingValues(boot, first + i)));
        }
        return rows;
    }

    void writeSamples(std::uint64_t index, std::vector<std::string> rows,
                      const HeaderLayout& layout = HeaderLayout::canonical(), const std::string& lineEnd = "\n") {
        rows.insert(rows.begin(), layout.header());
        writeFile(index, rows, lineEnd);
    }

    MetricMap scan() const { return scanPerfHistory(directory(), now); }

    const HeaderLayout canonical = HeaderLayout::canonical();
    const std::uint64_t hourAgo = now - 60 * ticksPerMinute;
};

TEST_F(PerfScan, NoHistoryGivesNothing) {
    EXPECT_TRUE(scan().empty());
    EXPECT_TRUE(scanPerfHistory(directory() + L"/none", now).empty());
}

TEST_F(PerfScan, TwelveSamplesGiveNothingAndThirteenGiveEveryFigure) {
    writeSamples(0, sampleRows(canonical, 9, 0, 12, hourAgo));
    EXPECT_TRUE(scan().empty());
    writeSamples(0, sampleRows(canonical, 9, 0, 13, hourAgo));
    expectEveryFigureOver(scan(), 12);
}

TEST_F(PerfScan, ABootChangeEndsOneChainAndStartsTheNext) {
    // Thirteen samples, the boot changing after the sixth: 5 + 6 intervals.
    std::vector<std::string> rows = sampleRows(canonical, 9, 0, 6, hourAgo);
    for (const auto& row : sampleRows(canonical, 10, 0, 7, hourAgo + 6 * ticksPerMinute)) rows.push_back(row);
    writeSamples(0, rows);
    EXPECT_TRUE(scan().empty());

    // Fourteen, the boot changing after the first: 0 + 12.
    rows = sampleRows(canonical, 9, 50, 1, hourAgo);
    for (const auto& row : sampleRows(canonical, 10, 0, 13, hourAgo + ticksPerMinute)) rows.push_back(row);
    writeSamples(0, rows);
    expectEveryFigureOver(scan(), 12);
}

TEST_F(PerfScan, CountersRestartedWithinABootFormNoInterval) {
    // The driver was reloaded after the seventh sample: same boot, counters
    // from their start again. 6 + 6 intervals; the restart adds nothing (its
    // modular deltas would be near 2^64).
    std::vector<std::string> rows = sampleRows(canonical, 9, 100, 7, hourAgo);
    for (const auto& row : sampleRows(canonical, 9, 0, 7, hourAgo + 7 * ticksPerMinute)) rows.push_back(row);
    writeSamples(0, rows);
    expectEveryFigureOver(scan(), 12);
}

TEST_F(PerfScan, TheChainRunsAcrossFilesAndOverUnusableRows) {
    HeaderLayout reversed = canonical;
    std::reverse(reversed.ids.begin(), reversed.ids.end());
    reversed.extra = {{3, "\\Corvex.ZEL driver state\\Driver version"}, {40, "foo"}};

    // File 1: samples 0 and 1 before the cutoff (they would chain on to sample
    // 2 if used), then samples 2 to 8 among broken rows.
    const std::uint64_t cutoff = now - historyWindow;
    std::vector<std::string> older = sampleRows(canonical, 9, 0, 2, cutoff - 2 * ticksPerMinute);
    const std::vector<std::string> first = sampleRows(canonical, 9, 2, 7, hourAgo);
    const std::string& good = first[3];
    const std::vector<std::string> broken = {
        good.substr(0, good.rfind(',')),                               // a field short
        good + ",5",                                                   // a field long
        "",                                                            // empty line
        good.substr(0, 10) + " " + good.substr(11),                    // not a timestamp
        formatTimestamp(now + 10000) + good.substr(24),                // after now
        good.substr(0, 25) + "1e3" + good.substr(good.find(',', 25)),  // not a number
        canonical.row(formatTimestamp(hourAgo + 3 * ticksPerMinute + 30 * 10000000ull), growingValues(9, 1000)) +
            ",x",  // a usable-looking row with one field too many and huge counters
    };
    for (std::size_t i = 0; i < first.size(); ++i) {
        older.push_back(first[i]);
        if (i < broken.size()) older.push_back(broken[i]);
    }
    writeSamples(1, older);

    // File 0, five minutes after file 1 ends: samples 9 to 14 in another column
    // order with CR LF, and a row still being written.
    std::vector<std::string> newer = sampleRows(reversed, 9, 9, 6, hourAgo + 11 * ticksPerMinute);
    std::string bytes = reversed.header() + "\r\n";
    for (const auto& row : newer) bytes += row + "\r\n";
    bytes += reversed.row(formatTimestamp(now), growingValues(9, 15));
    writeBytes(0, bytes);

    expectEveryFigureOver(scan(), 12);
}

TEST_F(PerfScan, RowsExactlyAtNowAndAtTheCutoffAreUsedOneTickBeyondAreNot) {
    // Thirteen samples two hours apart: the first at the cutoff, the last at now.
    writeSamples(0, sampleRows(canonical, 9, 0, 13, now - historyWindow, 120 * ticksPerMinute));
    expectEveryFigureOver(scanPerfHistory(directory(), now), 12);
    EXPECT_TRUE(scanPerfHistory(directory(), now - 1).empty());
    EXPECT_TRUE(scanPerfHistory(directory(), now + 1).empty());
}

TEST_F(PerfScan, AFileThatChangedSinceTheSelectionIsPassedOver) {
    HeaderLayout lacking = canonical;
    lacking.ids.erase(lacking.ids.begin() + 20);
    writeSamples(2, sampleRows(canonical, 9, 0, 7, hourAgo));
    writeSamples(1, sampleRows(lacking, 9, 100, 5, hourAgo + 7 * ticksPerMinute));
    writeSamples(0, sampleRows(canonical, 9, 7, 6, hourAgo + 12 * ticksPerMinute));
    const std::vector<std::wstring> files = {historyFilePath(directory(), 2), historyFilePath(directory(), 3),
                                             historyFilePath(directory(), 1), historyFilePath(directory(), 0)};
    expectEveryFigureOver(scanHistoryFiles(files, now, now - historyWindow), 12);
}

TEST_F(PerfScan, AnOddQuoteCountInAnyRowEndsTheScan) {
    std::vector<std::string> rows = sampleRows(canonical, 9, 0, 13, hourAgo);
    rows.insert(rows.begin() + 8, rows[8] + ",\"");
    writeSamples(0, rows);
    try {
        scan();
        FAIL() << "no exception";
    } catch (const Corvex::Csv::csv_exception& error) {
        EXPECT_STREQ(error.what(), "odd number of quotes in CSV row");
    }
}

TEST_F(PerfScan, ALineOverTheLimitIsPassedOverLikeAnyUnusableRow) {
    std::vector<std::string> without = sampleRows(canonical, 9, 0, 14, hourAgo);
    without.erase(without.begin() + 6);
    writeSamples(0, without);
    const MetricMap expected = scan();
    ASSERT_EQ(expected.size(), 51u);

    // A sample between 5 and 7, off their straight line, padded past the limit
    // with blanks that strtoull would skip: were it read, the deviations would
    // change. Then lines a crash or a hostile user could leave: NUL bytes,
    // commas, quote pairs.
    auto values = growingValues(9, 6);
    values[2] += 12345;
    const std::string bent = canonical.row(formatTimestamp(hourAgo + 6 * ticksPerMinute), values);
    const std::string padded = bent.substr(0, 25) + std::string(csvLineLimit, ' ') + bent.substr(25);
    const std::string planted[] = {padded, std::string(3 * csvLineLimit, '\0'), std::string(csvLineLimit + 1, ','),
                                   std::string(csvLineLimit + 2, '"')};
    {
        std::vector<std::string> with = without;
        with.insert(with.begin() + 6, bent);
        writeSamples(0, with);
        ASSERT_NE(scan(), expected) << "the bent sample changes nothing: the test shows nothing";
    }
    for (const std::string& line : planted) {
        std::vector<std::string> with = without;
        with.insert(with.begin() + 6, line);
        for (const std::string lineEnd : {"\n", "\r\n"}) {
            writeSamples(0, with, canonical, lineEnd);
            EXPECT_EQ(scan(), expected) << line.substr(0, 30) << " ended by " << lineEnd.size() << " bytes";
        }
    }

    // As the last line, without a line feed: the end of the file, as for any line.
    writeSamples(0, without);
    std::ofstream(historyPath(0), std::ios::binary | std::ios::app) << std::string(3 * csvLineLimit, '\0');
    EXPECT_EQ(scan(), expected);

    // Its quotes still count: an odd number ends the run.
    std::vector<std::string> odd = without;
    odd.insert(odd.begin() + 9, std::string(csvLineLimit + 1, '"'));
    writeSamples(0, odd);
    EXPECT_THROW(scan(), Corvex::Csv::csv_exception);
}

TEST_F(PerfScan, LongFilesStreamAcrossReadChunks) {
    // Far more than one read chunk, in both line-end styles: a row cut by a
    // chunk boundary must read whole.
    HeaderLayout wide = canonical;
    for (std::size_t i = 0; i < 10; ++i) wide.extra.emplace_back(i * 5, "extra " + std::to_string(i));
    const std::uint64_t count = 8000;
    const std::vector<std::string> rows = sampleRows(wide, 9, 0, count, now - count * 10000000ull, 10000000ull);
    std::size_t bytes = 0;
    for (const auto& row : rows) bytes += row.size() + 1;
    ASSERT_GT(bytes, 2 * csvLineLimit);
    for (const std::string lineEnd : {"\n", "\r\n"}) {
        writeSamples(0, rows, wide, lineEnd);
        expectEveryFigureOver(scan(), count - 1);
    }
}

}  // namespace
