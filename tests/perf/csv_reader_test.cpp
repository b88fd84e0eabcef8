#include "perf/csv_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/case_table.h"

namespace {

std::vector<std::string> fieldsOf(const CsvRow& row) {
    std::vector<std::string> fields;
    for (std::size_t i = 0; i < row.size(); ++i) fields.emplace_back(row[i]);
    return fields;
}

struct SplitCase {
    const char* name;
    std::string line;  // without its line feed
    std::vector<std::string> fields;
};

const SplitCase splitCases[] = {
    {"plain", "a,b,c", {"a", "b", "c"}},
    {"emptyFieldsInsideAndAtTheEnd", "a,,c,", {"a", "", "c", ""}},
    {"emptyLine", "", {""}},
    {"quotedComma", "\"x,y\",z", {"x,y", "z"}},
    {"doubledQuoteInsideQuotes", "\"a\"\"b\"", {"a\"b"}},
    {"emptyQuotedField", "\"\"", {""}},
    {"fourQuotes", "\"\"\"\"", {"\""}},
    {"quotesToggleInsideAField", "ab\"c,d\"ef", {"abc,def"}},
    {"doubledQuoteOutsideQuotesVanishes", "a\"\"b", {"ab"}},
    {"spaceAfterClosingQuoteStays", "\"a\" ,b", {"a ", "b"}},
    {"spacesAroundFieldsStay", " 1 , 2 ", {" 1 ", " 2 "}},
    {"carriageReturnInsideAFieldStays", "a\rb,c", {"a\rb", "c"}},
    {"highBytesTabsAndNul", std::string("\xC3\xA9\t,x\0y", 7), {"\xC3\xA9\t", std::string("x\0y", 3)}},
};

class CsvSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CsvSplit, SplitsTheLineWhetherItEndsInLfOrCrLf) {
    for (const char* lineEnd : {"\n", "\r\n"}) {
        std::istringstream in(GetParam().line + lineEnd);
        CsvRow row;
        ASSERT_TRUE(readCsvRow(in, row).good()) << "line end " << (lineEnd[0] == '\r' ? "CR LF" : "LF");
        EXPECT_EQ(fieldsOf(row), GetParam().fields);
    }
}

using testsupport::operator<<;
INSTANTIATE_TEST_SUITE_P(QuotingTable, CsvSplit, ::testing::ValuesIn(splitCases), testsupport::CaseName());

TEST(CsvReader, OddQuoteCountThrowsAfterConsumingTheLineAndKeepsTheCallersRow) {
    for (const char* bad : {"\"abc", "a\"b\"\"c", "x,\"y,z"}) {
        std::istringstream in(std::string("kept,row\n") + bad + "\nnext\n");
        CsvRow row;
        ASSERT_TRUE(readCsvRow(in, row).good());
        try {
            readCsvRow(in, row);
            FAIL() << "no exception for " << bad;
        } catch (const Corvex::Csv::csv_exception& error) {
            EXPECT_STREQ(error.what(), "odd number of quotes in CSV row");
        }
        EXPECT_EQ(fieldsOf(row), (std::vector<std::string>{"kept", "row"})) << bad;
        // The broken line is gone from the stream: the next read sees the next line.
        ASSERT_TRUE(readCsvRow(in, row).good());
        EXPECT_EQ(fieldsOf(row), std::vector<std::string>{"next"});
    }
}

TEST(CsvReader, ExceptionIsARuntimeErrorAndCopyable) {
    const Corvex::Csv::csv_exception original;
    const Corvex::Csv::csv_exception copy = original;
    const std::runtime_error& asRuntimeError = copy;
    EXPECT_STREQ(asRuntimeError.what(), "odd number of quotes in CSV row");
}

TEST(CsvReader, LastLineWithoutLineFeedNeverYieldsARow) {
    std::istringstream in("a,b\r\nc,d");
    CsvRow row;
    ASSERT_TRUE(readCsvRow(in, row).good());
    EXPECT_EQ(fieldsOf(row), (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(readCsvRow(in, row).good());
    EXPECT_TRUE(in.eof());
    EXPECT_TRUE(row.empty());
}

TEST(CsvReader, EndOfInputEmptiesTheRowAndAFailedStreamReadsNothing) {
    std::istringstream in("a\n");
    CsvRow row;
    ASSERT_TRUE(readCsvRow(in, row).good());
    EXPECT_FALSE(readCsvRow(in, row).good());
    EXPECT_TRUE(row.empty());

    std::istringstream failed("a,b\n");
    failed.setstate(std::ios_base::failbit);
    EXPECT_FALSE(readCsvRow(failed, row).good());
    EXPECT_TRUE(row.empty());
}

TEST(CsvReader, OnlyTheCarriageReturnDirectlyBeforeTheLineFeedIsDropped) {
    std::istringstream in("a\r\r\nb\r,c\n\r\n");
    CsvRow row;
    ASSERT_TRUE(readCsvRow(in, row).good());
    EXPECT_EQ(fieldsOf(row), std::vector<std::string>{"a\r"});
    ASSERT_TRUE(readCsvRow(in, row).good());
    EXPECT_EQ(fieldsOf(row), (std::vector<std::string>{"b\r", "c"}));
    ASSERT_TRUE(readCsvRow(in, row).good());
    EXPECT_EQ(fieldsOf(row), std::vector<std::string>{""});
}

TEST(CsvReader, ReusedRowTakesEachLineWhole) {
    // Rows of different lengths and kinds through one CsvRow: nothing of a
    // longer or quoted earlier row may show through in a later one.
    const std::vector<std::vector<std::string>> expected = {
        {"aaaaaaaaaa", "bbbbbbbbbbbbbbb", "c", "", "dddd"}, {"\"q\"", "x,y"}, {"1"}, {"e", "f"}, {"", ""}};
    std::istringstream in("aaaaaaaaaa,bbbbbbbbbbbbbbb,c,,dddd\n\"\"\"q\"\"\",\"x,y\"\n1\ne,f\n,\n");
    CsvRow row;
    for (const auto& fields : expected) {
        ASSERT_TRUE(readCsvRow(in, row).good());
        EXPECT_EQ(fieldsOf(row), fields);
    }
    EXPECT_FALSE(readCsvRow(in, row).good());
}

TEST(CsvReader, LongLinesSplitAlikeWhereverTheirCommasAndQuotesStand) {
    // The splitter looks at many bytes a step: fields of every length, so
    // that commas and a quoted field fall at every offset of a step and
    // across its edges, joined into lines and read back.
    std::mt19937 random(20261210);
    for (int trial = 0; trial < 2000; ++trial) {
        std::vector<std::string> fields(1 + random() % 12);
        for (std::string& field : fields) field.assign(random() % 20, static_cast<char>('0' + random() % 10));
        const std::size_t quoted = trial % 2 == 0 ? fields.size() : random() % fields.size();
        std::string line;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i == quoted) fields[i] += ",x";
            line += (i > 0 ? "," : "") + (i == quoted ? '"' + fields[i] + '"' : fields[i]);
        }
        std::istringstream in(line + "\n" + line + "\r\n");
        CsvRow row;
        for (int copy = 0; copy < 2; ++copy) {
            ASSERT_TRUE(readCsvRow(in, row).good()) << line;
            ASSERT_EQ(fieldsOf(row), fields) << line;
        }
    }
}

struct NumberCase {
    const char* field;
    bool accepted;
    std::uint64_t value;
};

const NumberCase numberCases[] = {
    {"123", true, 123},
    {" 123", true, 123},
    {"\t\n\v\f\r 9", true, 9},
    {"+7", true, 7},
    {"-1", true, UINT64_MAX},
    {"-0", true, 0},
    {"-5", true, UINT64_MAX - 4},
    {"", true, 0},
    {"9999999999999999999", true, 9999999999999999999u},  // the longest that cannot overflow
    {"0000000000000000001", true, 1},
    {"18446744073709551615", true, UINT64_MAX},
    {"18446744073709551616", true, UINT64_MAX},
    {"99999999999999999999", true, UINT64_MAX},
    {"-99999999999999999999", true, UINT64_MAX},
    {"000000000000000000000000042", true, 42},
    {"123 ", false, 0},
    {"   ", false, 0},
    {"1.5", false, 0},
    {"0x10", false, 0},
    {"1e3", false, 0},
    {"+", false, 0},
    {"-", false, 0},
    {"+-1", false, 0},
    {"12a", false, 0},
    {"\xD9\xA3", false, 0},  // a non-ASCII digit
};

TEST(ParseUnsignedField, FollowsStrtoullAndWantsTheWholeField) {
    for (const NumberCase& c : numberCases) {
        std::uint64_t value = 77;
        EXPECT_EQ(parseUnsignedField(c.field, value), c.accepted) << '"' << c.field << '"';
        EXPECT_EQ(value, c.accepted ? c.value : 77) << '"' << c.field << '"';
    }
}

TEST(ParseUnsignedField, EveryLengthAndEveryBadBytePosition) {
    // Digits are taken several at a time: a stray byte must be caught
    // wherever it stands, including next to '0' and '9' in the byte order and
    // with the high bit set, and every length must sum its digits right.
    const std::string digits = "9081726354453627180";
    for (std::size_t length = 1; length <= digits.size(); ++length) {
        const std::string field = digits.substr(digits.size() - length);
        std::uint64_t expected = 0;
        for (const char c : field) expected = expected * 10 + static_cast<std::uint64_t>(c - '0');
        std::uint64_t value = 0;
        EXPECT_TRUE(parseUnsignedField(field, value)) << field;
        EXPECT_EQ(value, expected) << field;
        for (std::size_t position = 0; position < length; ++position) {
            for (const char bad : {'/', ':', '?', '@', 'a', '\xB0', '\xB9', '\xF9', '\xFF'}) {
                std::string broken = field;
                broken[position] = bad;
                value = 77;
                EXPECT_FALSE(parseUnsignedField(broken, value)) << length << " digits, byte " << position;
                EXPECT_EQ(value, 77u);
            }
        }
    }
}

TEST(ParseUnsignedField, ANulByteEndsTheField) {
    std::uint64_t value = 0;
    EXPECT_TRUE(parseUnsignedField(std::string_view("12\0x", 4), value));
    EXPECT_EQ(value, 12u);
    EXPECT_TRUE(parseUnsignedField(std::string_view("\0" "5", 2), value));
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(parseUnsignedField(std::string_view(" \0" "5", 3), value));
    // Only the field's own bytes count: a digit after the view is not read.
    const std::string line = "12,34";
    EXPECT_TRUE(parseUnsignedField(std::string_view(line).substr(0, 2), value));
    EXPECT_EQ(value, 12u);
}

}  // namespace
