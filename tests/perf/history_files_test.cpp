#include "perf/history_files.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "history_builder.h"
#include "perf/perf_timestamp.h"

namespace {

using perftest::formatTimestamp;
using perftest::growingValues;
using perftest::HeaderLayout;
using perftest::textSource;
using perftest::ticksPerMinute;

std::uint64_t ticksOf(const char* text) {
    std::uint64_t ticks = 0;
    EXPECT_TRUE(parsePerfTimestamp(text, ticks)) << text;
    return ticks;
}

// The cutoff of these tests; rows are placed in minutes around it.
const std::uint64_t cutoff = ticksOf("2024-03-01T12:00:00.000Z");

std::string rowAt(const HeaderLayout& layout, std::uint64_t ticks, std::uint64_t index = 0) {
    return layout.row(formatTimestamp(ticks), growingValues(5, index));
}

class HistorySelection : public perftest::ScratchDirectory {
protected:
    // A good file whose first data row lies at the given time.
    void writeFileStartingAt(std::uint64_t index, std::uint64_t firstTicks,
                             const HeaderLayout& layout = HeaderLayout::canonical()) {
        writeFile(index, {layout.header(), rowAt(layout, firstTicks), rowAt(layout, firstTicks + ticksPerMinute, 1)});
    }

    std::vector<std::wstring> select() const { return selectHistoryFiles(directory(), cutoff); }

    std::vector<std::wstring> paths(std::initializer_list<std::uint64_t> indices) const {
        std::vector<std::wstring> result;
        for (std::uint64_t index : indices) result.push_back(historyFilePath(directory(), index));
        return result;
    }
};

TEST_F(HistorySelection, PathsAreTheDirectoryTheFileNameAndTheIndex) {
    EXPECT_EQ(historyPath(0).wstring(), historyFilePath(directory(), 0));
    EXPECT_EQ(historyPath(12).wstring(), historyFilePath(directory(), 12));
    const std::wstring twelve = historyFilePath(L"D", 12);
    EXPECT_EQ(twelve.substr(1), std::wstring(1, twelve[1]) + L"ZelPerformance.csv.12");
}

TEST_F(HistorySelection, NoDirectoryOrNoNewestFileSelectsNothing) {
    EXPECT_TRUE(select().empty());
    EXPECT_TRUE(selectHistoryFiles(directory() + L"/missing", cutoff).empty());
    writeFileStartingAt(1, cutoff + ticksPerMinute);  // index 1 alone is never reached
    EXPECT_TRUE(select().empty());
}

TEST_F(HistorySelection, HeaderOnlyNewestFileSelectsNothing) {
    writeFile(0, {HeaderLayout::canonical().header()});
    writeFileStartingAt(1, cutoff + ticksPerMinute);
    EXPECT_TRUE(select().empty());
}

TEST_F(HistorySelection, WalksBackUntilAFileReachesPastTheCutoffOldestFirst) {
    writeFileStartingAt(0, cutoff + 90 * ticksPerMinute);
    writeFileStartingAt(1, cutoff + 30 * ticksPerMinute);
    writeFileStartingAt(2, cutoff - 30 * ticksPerMinute);
    // Reading file 3 would throw: the walk must not open it.
    writeFile(3, {HeaderLayout::canonical().header(), "\"broken"});
    EXPECT_EQ(select(), paths({2, 1, 0}));
}

TEST_F(HistorySelection, AFileStartingExactlyAtTheCutoffIsSelectedAndTheWalkGoesOn) {
    writeFileStartingAt(0, cutoff);
    writeFileStartingAt(1, cutoff - 1 * ticksPerMinute);
    writeFile(2, {HeaderLayout::canonical().header(), "\"broken"});
    EXPECT_EQ(select(), paths({1, 0}));
    // One millisecond earlier and file 0 alone covers the window.
    writeFileStartingAt(0, cutoff - 10000);
    EXPECT_EQ(select(), paths({0}));
}

TEST_F(HistorySelection, ColumnsInAnyOrderWithExtraColumnsAndCrLf) {
    HeaderLayout reversed = HeaderLayout::canonical();
    std::reverse(reversed.ids.begin(), reversed.ids.end());
    reversed.extra = {{20, "foo"}};
    const std::uint64_t first = cutoff - ticksPerMinute;
    writeFile(0, {reversed.header(), rowAt(reversed, first)}, "\r\n");
    EXPECT_EQ(select(), paths({0}));
}

TEST_F(HistorySelection, AFileThatFailsACheckEndsTheWalkWithoutItself) {
    const HeaderLayout good = HeaderLayout::canonical();
    const std::string goodRow = rowAt(good, cutoff + ticksPerMinute);
    HeaderLayout lacking = good;
    lacking.ids.erase(lacking.ids.begin() + 33);
    const std::string header = good.header().substr(std::string("timestamp").size());
    // Over the reader's line limit but otherwise good: a long extra column
    // name, and blanks before a counter that strtoull would skip.
    const std::string longName = "," + std::string(csvLineLimit, 'x');
    const std::string longFirstRow = goodRow.substr(0, 25) + std::string(csvLineLimit, ' ') + goodRow.substr(25);
    const struct {
        const char* name;
        std::string bytes;
    } unusable[] = {
        {"capitalTimestamp", "Timestamp" + header + "\n" + goodRow + "\n"},
        {"blankBeforeTimestamp", " timestamp" + header + "\n" + goodRow + "\n"},
        {"utf8ByteOrderMark", "\xEF\xBB\xBFtimestamp" + header + "\n" + goodRow + "\n"},
        {"lacksAColumn",
         lacking.header() + "\n" + lacking.row(formatTimestamp(cutoff + ticksPerMinute), growingValues(5, 0)) + "\n"},
        {"firstRowShort", good.header() + "\n" + goodRow.substr(0, goodRow.rfind(',')) + "\n"},
        {"firstRowLong", good.header() + "\n" + goodRow + ",1\n"},
        {"firstRowEmpty", good.header() + "\n\n" + goodRow + "\n"},
        {"firstRowBadTimestamp", good.header() + "\n" + goodRow.substr(0, 10) + " " + goodRow.substr(11) + "\n"},
        {"firstRowWithoutLineFeed", good.header() + "\n" + goodRow},
        {"headerOverTheLineLimit", good.header() + longName + "\n" + goodRow + ",0\n"},
        {"firstRowOverTheLineLimit", good.header() + "\n" + longFirstRow + "\n" + goodRow + "\n"},
    };
    for (const auto& file : unusable) {
        // As the newest file nothing is selected; as file 1 the walk keeps file 0 only.
        writeBytes(0, file.bytes);
        writeFileStartingAt(1, cutoff + ticksPerMinute);
        EXPECT_TRUE(select().empty()) << file.name;
        writeFileStartingAt(0, cutoff + 2 * ticksPerMinute);
        writeBytes(1, file.bytes);
        writeFileStartingAt(2, cutoff - ticksPerMinute);
        EXPECT_EQ(select(), paths({0})) << file.name;
        std::filesystem::remove(historyPath(2));
    }
}

TEST_F(HistorySelection, ANumberingGapHidesEveryOlderFile) {
    writeFileStartingAt(0, cutoff + 20 * ticksPerMinute);
    writeFileStartingAt(2, cutoff - 20 * ticksPerMinute);
    EXPECT_EQ(select(), paths({0}));
}

TEST_F(HistorySelection, TheFirstRowIsNotComparedWithNow) {
    writeFileStartingAt(0, cutoff + std::uint64_t{1000} * 24 * 60 * ticksPerMinute);
    writeFileStartingAt(1, cutoff - ticksPerMinute);
    EXPECT_EQ(select(), paths({1, 0}));
}

TEST_F(HistorySelection, AnOddQuoteCountInTheFirstTwoRowsEndsTheRun) {
    writeFile(0, {HeaderLayout::canonical().header(), "x,\"y"});
    EXPECT_THROW(select(), Corvex::Csv::csv_exception);
    // Also in a line over the reader's limit, and under a header that is no use.
    writeFile(0, {HeaderLayout::canonical().header(), "x,\"" + std::string(csvLineLimit, 'y')});
    EXPECT_THROW(select(), Corvex::Csv::csv_exception);
    writeFile(0, {"no header", "x,\"y"});
    EXPECT_THROW(select(), Corvex::Csv::csv_exception);
}

TEST(HistoryColumns, LeftmostOccurrenceOfEveryNameAfterATimestampField) {
    HeaderLayout layout = HeaderLayout::canonical();
    std::reverse(layout.ids.begin(), layout.ids.end());
    layout.extra = {{0, "foo"}, {10, perfCounterColumns.at(3)}, {52, "bar"}};
    CsvReader in(textSource(layout.header() + "\n"));
    CsvRow header;
    ASSERT_TRUE(readHistoryRow(in, header));
    const auto columns = locateHistoryColumns(header);
    ASSERT_TRUE(columns.has_value());
    EXPECT_EQ(columns->fieldCount, 1u + 52u + 3u);
    for (std::size_t k = 0; k < perfColumnCount; ++k) {
        EXPECT_EQ(header[columns->positions[k]], perfCounterColumns.at(static_cast<int>(k)));
    }
    // The duplicate of column 3 stands left of its own place; the leftmost wins.
    EXPECT_EQ(columns->positions[3], 12u);

    for (const std::string& bad :
         {"Timestamp" + layout.header().substr(9), "x," + layout.header(), HeaderLayout{{1, 2, 3}, {}}.header()}) {
        CsvReader badIn(textSource(bad + "\n"));
        ASSERT_TRUE(readHistoryRow(badIn, header));
        EXPECT_FALSE(locateHistoryColumns(header).has_value()) << bad.substr(0, 40);
    }
}

class HistoryRow : public ::testing::Test {
protected:
    void SetUp() override {
        std::reverse(layout.ids.begin(), layout.ids.end());
        layout.extra = {{7, "foo"}};
        CsvReader in(textSource(layout.header() + "\n"));
        CsvRow header;
        ASSERT_TRUE(readHistoryRow(in, header));
        columns = *locateHistoryColumns(header);
    }

    bool decode(const std::string& line, std::uint64_t now, std::uint64_t windowStart, PerfSample& sample) {
        CsvReader in(textSource(line + "\n"));
        CsvRow row;
        EXPECT_TRUE(readHistoryRow(in, row));
        return decodeHistoryRow(row, columns, now, windowStart, sample);
    }

    HeaderLayout layout = HeaderLayout::canonical();
    HistoryColumns columns;
    const std::uint64_t at = cutoff + 7 * ticksPerMinute;
};

TEST_F(HistoryRow, AUsableRowGivesItsTimestampAndTheValueOfEachColumn) {
    PerfSample sample;
    const auto values = growingValues(987654321, 3);
    ASSERT_TRUE(decode(layout.row(formatTimestamp(at), values), at + 1, cutoff, sample));
    EXPECT_EQ(sample.timestamp, at);
    EXPECT_EQ(sample.values, values);
}

TEST_F(HistoryRow, TheWindowIncludesBothEndsAndNotOneTickBeyond) {
    const std::string line = rowAt(layout, at);
    PerfSample sample;
    const struct {
        std::uint64_t now;
        std::uint64_t windowStart;
        bool usable;
    } cases[] = {
        {at, at, true}, {at, at - 1, true}, {at + 1, at, true}, {at - 1, at - 1, false}, {at + 1, at + 1, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(decode(line, c.now, c.windowStart, sample), c.usable) << c.now - at << ' ' << c.windowStart - at;
    }
}

TEST_F(HistoryRow, RowsThatBreakARuleAreNotUsable) {
    const std::string good = rowAt(layout, at);
    const std::size_t firstCounter = 25;  // the field after the timestamp and its comma
    const auto withField = [&](const std::string& text) {
        return good.substr(0, firstCounter) + text + good.substr(good.find(',', firstCounter));
    };
    PerfSample sample;
    ASSERT_TRUE(decode(withField(""), at, cutoff, sample)) << "an empty counter field reads as 0";
    EXPECT_EQ(sample.values[51], 0u);
    ASSERT_TRUE(decode(withField("\"77\""), at, cutoff, sample)) << "quotes are only CSV";
    EXPECT_EQ(sample.values[51], 77u);
    for (const std::string& bad :
         {good.substr(0, good.rfind(',')), good + ",0", std::string(), withField("12 "), withField("1.5"),
          withField("x"), "2024-03-01 12:07:00.000Z" + good.substr(24), "2024-02-30T12:07:00.000Z" + good.substr(24)}) {
        EXPECT_FALSE(decode(bad, at, cutoff, sample)) << bad.substr(0, 60);
    }
}

}  // namespace
