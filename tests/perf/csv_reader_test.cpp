#include "perf/csv_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "support/case_table.h"

namespace {

using namespace std::string_literals;

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

// A reader over text in memory through one scan kernel, the text handed out
// `piece` bytes at a time: small pieces put chunk boundaries inside lines.
CsvReader readerOf(std::string text, CsvScanKernel kernel = bestCsvScanKernel(), std::size_t piece = csvLineLimit) {
    CsvReaderShape shape;
    shape.kernel = kernel;
    return CsvReader(std::make_unique<CsvTextSource>(std::move(text), piece), shape);
}

// Every kernel the processor has, each fed whole and in small pieces.
struct ReadPath {
    CsvScanKernel kernel;
    std::size_t piece;
};

std::vector<ReadPath> readPaths() {
    std::vector<ReadPath> paths;
    for (const CsvScanKernel kernel : availableCsvScanKernels()) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, csvLineLimit}) paths.push_back({kernel, piece});
    }
    return paths;
}

std::string pathName(const ReadPath& path) {
    return std::string(csvScanKernelName(path.kernel)) + ", pieces of " + std::to_string(path.piece);
}

class CsvSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CsvSplit, SplitsTheLineWhetherItEndsInLfOrCrLf) {
    for (const ReadPath& path : readPaths()) {
        for (const char* lineEnd : {"\n", "\r\n"}) {
            CsvReader in = readerOf(GetParam().line + lineEnd, path.kernel, path.piece);
            CsvRow row;
            ASSERT_TRUE(readCsvRow(in, row).good())
                << pathName(path) << ", line end " << (lineEnd[0] == '\r' ? "CR LF" : "LF");
            EXPECT_EQ(fieldsOf(row), GetParam().fields) << pathName(path);
        }
    }
}

using testsupport::operator<<;
INSTANTIATE_TEST_SUITE_P(QuotingTable, CsvSplit, ::testing::ValuesIn(splitCases), testsupport::CaseName());

TEST(CsvReader, OddQuoteCountThrowsAfterConsumingTheLineAndKeepsTheCallersRow) {
    for (const ReadPath& path : readPaths()) {
        for (const char* bad : {"\"abc", "a\"b\"\"c", "x,\"y,z"}) {
            CsvReader in = readerOf(std::string("kept,row\n") + bad + "\nnext\n", path.kernel, path.piece);
            CsvRow row;
            ASSERT_TRUE(readCsvRow(in, row).good());
            try {
                readCsvRow(in, row);
                FAIL() << "no exception for " << bad << ", " << pathName(path);
            } catch (const Corvex::Csv::csv_exception& error) {
                EXPECT_STREQ(error.what(), "odd number of quotes in CSV row");
            }
            EXPECT_EQ(fieldsOf(row), (std::vector<std::string>{"kept", "row"})) << bad << ", " << pathName(path);
            // The broken line is gone from the input: the next read sees the next line.
            ASSERT_TRUE(readCsvRow(in, row).good());
            EXPECT_EQ(fieldsOf(row), std::vector<std::string>{"next"});
        }
    }
}

TEST(CsvReader, ExceptionIsARuntimeErrorAndCopyable) {
    const Corvex::Csv::csv_exception original;
    const Corvex::Csv::csv_exception copy = original;  // NOLINT(performance-unnecessary-copy-initialization)
    const std::runtime_error& asRuntimeError = copy;
    EXPECT_STREQ(asRuntimeError.what(), "odd number of quotes in CSV row");
}

TEST(CsvReader, LastLineWithoutLineFeedNeverYieldsARow) {
    for (const ReadPath& path : readPaths()) {
        // Not even one whose quotes are odd: it is never split.
        for (const char* last : {"c,d", "\"c"}) {
            CsvReader in = readerOf(std::string("a,b\r\n") + last, path.kernel, path.piece);
            CsvRow row;
            ASSERT_TRUE(readCsvRow(in, row).good());
            EXPECT_EQ(fieldsOf(row), (std::vector<std::string>{"a", "b"}));
            EXPECT_FALSE(readCsvRow(in, row).good()) << pathName(path);
            EXPECT_TRUE(row.empty());
            EXPECT_FALSE(readCsvRow(in, row).good()) << "the end of the input stays so";
        }
    }
}

TEST(CsvReader, EndOfInputEmptiesTheRowAndANullSourceReadsNothing) {
    CsvReader in = readerOf("a\n");
    CsvRow row;
    ASSERT_TRUE(readCsvRow(in, row).good());
    EXPECT_FALSE(readCsvRow(in, row).good());
    EXPECT_TRUE(row.empty());

    CsvReader empty = readerOf("");
    EXPECT_FALSE(readCsvRow(empty, row).good());

    CsvReader none(nullptr);
    EXPECT_FALSE(none.good());
    EXPECT_FALSE(readCsvRow(none, row).good());
    EXPECT_TRUE(row.empty());

    // A reader starts over on the next source.
    none.reset(std::make_unique<CsvTextSource>("x,y\n"));
    ASSERT_TRUE(readCsvRow(none, row).good());
    EXPECT_EQ(fieldsOf(row), (std::vector<std::string>{"x", "y"}));
}

TEST(CsvReader, OnlyTheCarriageReturnDirectlyBeforeTheLineFeedIsDropped) {
    for (const ReadPath& path : readPaths()) {
        CsvReader in = readerOf("a\r\r\nb\r,c\n\r\n", path.kernel, path.piece);
        CsvRow row;
        ASSERT_TRUE(readCsvRow(in, row).good());
        EXPECT_EQ(fieldsOf(row), std::vector<std::string>{"a\r"});
        ASSERT_TRUE(readCsvRow(in, row).good());
        EXPECT_EQ(fieldsOf(row), (std::vector<std::string>{"b\r", "c"}));
        ASSERT_TRUE(readCsvRow(in, row).good());
        EXPECT_EQ(fieldsOf(row), std::vector<std::string>{""});
    }
}

TEST(CsvReader, ReusedRowTakesEachLineWhole) {
    // Rows of different lengths and kinds through one CsvRow: nothing of a
    // longer or quoted earlier row may show through in a later one.
    const std::vector<std::vector<std::string>> expected = {
        {"aaaaaaaaaa", "bbbbbbbbbbbbbbb", "c", "", "dddd"}, {"\"q\"", "x,y"}, {"1"}, {"e", "f"}, {"", ""}};
    for (const ReadPath& path : readPaths()) {
        CsvReader in =
            readerOf("aaaaaaaaaa,bbbbbbbbbbbbbbb,c,,dddd\n\"\"\"q\"\"\",\"x,y\"\n1\ne,f\n,\n", path.kernel, path.piece);
        CsvRow row;
        for (const auto& fields : expected) {
            ASSERT_TRUE(readCsvRow(in, row).good());
            EXPECT_EQ(fieldsOf(row), fields) << pathName(path);
        }
        EXPECT_FALSE(readCsvRow(in, row).good());
    }
}

TEST(CsvReader, LongLinesSplitAlikeWhereverTheirCommasAndQuotesStand) {
    // The scan looks at many bytes a step: fields of every length, so that
    // commas and a quoted field fall at every offset of a step and across its
    // edges, joined into lines and read back.
    std::mt19937 random(20261210);
    std::string text;
    std::vector<std::vector<std::string>> expected;
    for (int trial = 0; trial < 2000; ++trial) {
        std::vector<std::string> fields(1 + random() % 12);
        for (std::string& field : fields) field.assign(random() % 20, static_cast<char>('0' + random() % 10));
        const std::size_t quoted = trial % 2 == 0 ? fields.size() : random() % fields.size();
        std::string line;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i == quoted) fields[i] += ",x";
            if (i > 0) line += ',';
            if (i == quoted) line += '"';
            line += fields[i];
            if (i == quoted) line += '"';
        }
        text.append(line).append("\n").append(line).append("\r\n");
        expected.push_back(fields);
        expected.push_back(fields);
    }
    for (const CsvScanKernel kernel : availableCsvScanKernels()) {
        for (const std::size_t piece : {std::size_t{13}, std::size_t{4096}, csvLineLimit}) {
            CsvReader in = readerOf(text, kernel, piece);
            CsvRow row;
            for (const auto& fields : expected) {
                ASSERT_TRUE(readCsvRow(in, row).good()) << csvScanKernelName(kernel);
                ASSERT_EQ(fieldsOf(row), fields) << csvScanKernelName(kernel) << ", pieces of " << piece;
            }
            EXPECT_FALSE(readCsvRow(in, row).good());
        }
    }
}

// Reads every line of `text` into one row, or into two by turns, and checks
// after each read (or throw) that the row read last still holds its fields.
void expectLastRowKept(const std::string& text, const CsvReaderShape& shape, std::size_t chunk, std::size_t rowCount) {
    const auto lineCount = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    CsvReader in(std::make_unique<CsvTextSource>(text, chunk), shape);
    CsvRow rows[2];
    std::size_t into = 0;
    std::optional<std::size_t> last;  // the row read last, and its fields then
    std::vector<std::string> lastFields;
    for (std::size_t i = 0; i < lineCount; ++i) {
        bool threw = false;
        try {
            ASSERT_TRUE(readCsvRow(in, rows[into]).good());
        } catch (const Corvex::Csv::csv_exception&) {
            threw = true;
        }
        if (last && (threw || *last != into)) {
            ASSERT_EQ(fieldsOf(rows[*last]), lastFields) << "line " << i;
        }
        if (!threw) {
            last = into;
            lastFields = fieldsOf(rows[into]);
            into = (into + 1) % rowCount;
        }
    }
    EXPECT_FALSE(readCsvRow(in, rows[into]).good());
}

TEST(CsvReader, TheLastRowStaysWholeWhileTheNextIsRead) {
    // Readers with tiny limits and chunks, so that lines cross the end of a
    // window at every offset: every row read into a second CsvRow, and every
    // run of lines that throw, must leave the last row read as it was.
    std::mt19937 random(7);
    for (const std::size_t limit : {std::size_t{5}, std::size_t{21}, std::size_t{64}}) {
        std::string text;
        for (int i = 0; i < 3000; ++i) {
            std::string line(random() % (limit + limit / 2 + 3), 'v');
            for (char& c : line) c = random() % 4 == 0 ? ',' : static_cast<char>('a' + random() % 26);
            if (random() % 6 == 0 && !line.empty()) line[random() % line.size()] = '"';  // odd: throws
            text += line + "\n";
        }
        for (const CsvScanKernel kernel : availableCsvScanKernels()) {
            for (const std::size_t readSize : {std::size_t{1}, std::size_t{3}, std::size_t{16}}) {
                CsvReaderShape shape;
                shape.kernel = kernel;
                shape.lineLimit = limit;
                shape.readSize = readSize;
                // Into one row, as the scan reads, and into two by turns, as the
                // selection reads a header and a first row.
                for (const std::size_t rowCount : {std::size_t{1}, std::size_t{2}}) {
                    SCOPED_TRACE(std::string(csvScanKernelName(kernel)) + ", limit " + std::to_string(limit) +
                                 ", reads of " + std::to_string(readSize) + ", " + std::to_string(rowCount) + " rows");
                    ASSERT_NO_FATAL_FAILURE(expectLastRowKept(text, shape, 1 + random() % 7, rowCount));
                }
            }
        }
    }
}

// Lines around the longest the reader stores: a few bytes under, at and over
// it, ended by LF, by CR LF, or not at all, with an even and an odd number of
// quotes. Each stands between two ordinary rows.
struct LimitCase {
    std::size_t length;  // without the line end
    const char* lineEnd;
    bool quoted;  // holds ",\"x\"" (even) and, with oddQuote, one quote more
    bool oddQuote;

    bool ends() const { return lineEnd[0] != '\0'; }
};

std::string describe(const LimitCase& c) {
    return "length " + std::to_string(c.length) + (c.quoted ? c.oddQuote ? ", odd quotes" : ", quoted" : "") +
           (c.ends() ? c.lineEnd[0] == '\r' ? ", CR LF" : ", LF" : ", no line feed");
}

void expectLimitCaseRead(const LimitCase& c, CsvScanKernel kernel, std::size_t piece) {
    std::string line(c.length, ',');
    if (c.quoted) line.replace(c.length / 2, 4, ",\"x\"");
    if (c.oddQuote) line[c.length / 3] = '"';
    CsvReader in = readerOf("a,b\n" + line + c.lineEnd + (c.ends() ? "c,d\n" : ""), kernel, piece);
    CsvRow row;
    ASSERT_TRUE(readCsvRow(in, row).good());
    if (!c.ends()) {
        // A last line without a line feed is the end, however long.
        EXPECT_FALSE(readCsvRow(in, row).good());
        EXPECT_TRUE(row.empty());
        return;
    }
    if (c.oddQuote) {
        EXPECT_THROW(readCsvRow(in, row), Corvex::Csv::csv_exception);
        EXPECT_EQ(fieldsOf(row), (std::vector<std::string>{"a", "b"}));
    } else {
        ASSERT_TRUE(readCsvRow(in, row).good());
        if (c.length <= csvLineLimit) {
            // Stored and split: every comma makes a field.
            const std::size_t expected = c.quoted ? c.length - 2 : c.length + 1;
            EXPECT_EQ(row.size(), expected);
        } else {
            EXPECT_EQ(row.size(), 0u);
            EXPECT_TRUE(row.empty());
        }
    }
    ASSERT_TRUE(readCsvRow(in, row).good());
    EXPECT_EQ(fieldsOf(row), (std::vector<std::string>{"c", "d"}));
    EXPECT_FALSE(readCsvRow(in, row).good());
}

TEST(CsvReader, LinesOverTheLimitAreConsumedAndReadAsRowsWithoutFields) {
    std::vector<LimitCase> cases;
    for (const std::size_t length : {csvLineLimit - 1, csvLineLimit, csvLineLimit + 1, 3 * csvLineLimit + 5}) {
        for (const char* lineEnd : {"\n", "\r\n", ""}) {
            for (const bool odd : {false, true}) cases.push_back({length, lineEnd, true, odd});
            cases.push_back({length, lineEnd, false, false});
        }
    }
    for (const CsvScanKernel kernel : availableCsvScanKernels()) {
        for (const std::size_t piece : {std::size_t{4093}, csvLineLimit}) {
            for (const LimitCase& c : cases) {
                SCOPED_TRACE(std::string(csvScanKernelName(kernel)) + ", pieces of " + std::to_string(piece) + ", " +
                             describe(c));
                ASSERT_NO_FATAL_FAILURE(expectLimitCaseRead(c, kernel, piece));
            }
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

// Fields of every length to 20 digits, each also with a stray byte at every
// position, and a few that strtoull reads its own way.
std::vector<std::string> fieldsWithStrayBytes() {
    const std::string digits = "90817263544536271809";
    std::vector<std::string> fields = {" 12", "+7", "-1", "18446744073709551616", "99999999999999999999", "1 "};
    for (std::size_t length = 0; length <= digits.size(); ++length) {
        const std::string field = digits.substr(0, length);
        fields.push_back(field);
        for (std::size_t position = 0; position < length; ++position) {
            for (const char bad : {'/', ':', ' ', '\0', 'a', '-', '\xB0', '\xFF'}) {
                std::string broken = field;
                broken[position] = bad;
                fields.push_back(broken);
            }
        }
    }
    return fields;
}

// The row holds `field` at `position` and `known` after it: decoded as a
// pair, in either order, and alone, each value must come from its own field.
void expectDecodedAsAlone(const CsvRow& row, std::size_t position, const std::string& field, std::uint64_t known) {
    std::uint64_t alone = 0;
    const bool accepted = parseUnsignedField(field, alone);
    for (const bool fieldFirst : {true, false}) {
        const std::size_t positions[2] = {fieldFirst ? position : position + 1, fieldFirst ? position + 1 : position};
        std::uint64_t values[2] = {0, 0};
        const bool decoded = row.parseUnsignedFields(positions, 2, values);
        EXPECT_EQ(decoded, accepted);
        if (accepted && decoded) {
            EXPECT_EQ(values[fieldFirst ? 0 : 1], alone);
            EXPECT_EQ(values[fieldFirst ? 1 : 0], known);
        }
    }
    std::uint64_t single = 0;
    EXPECT_EQ(row.parseUnsignedFields(&position, 1, &single), accepted);
    if (accepted) {
        EXPECT_EQ(single, alone);
    }
}

TEST(ParseUnsignedFields, EveryKernelDecodesEveryLengthAndEveryBadByteAsTheFieldRuleDoes) {
    // A row's counters go through its kernel's own digit code: every field,
    // at the start of a line (where no 16 bytes end with the field), deep in
    // it, and in a quoted line (whose text the reader rewrote), must decode
    // exactly as parseUnsignedField decodes each one alone.
    const std::vector<std::string> fields = fieldsWithStrayBytes();
    const std::uint64_t knownValue = 31415926535u;
    const std::string known = std::to_string(knownValue);
    const struct {
        const char* name;
        std::string before;
        std::string after;
        std::size_t fieldsAfterKnown;
    } placings[] = {{"first", "", "," + known + ",tail", 1},
                    {"deep", "0123456789abcdefghijklmnop,", "," + known, 0},
                    {"quoted", "\"q,q\",7,", "," + known + ",\"\"", 1}};
    for (const CsvScanKernel kernel : availableCsvScanKernels()) {
        for (const auto& placing : placings) {
            std::string text;
            for (const std::string& field : fields) text += placing.before + field + placing.after + "\n";
            CsvReader in = readerOf(text, kernel, 4093);
            CsvRow row;
            for (const std::string& field : fields) {
                ASSERT_TRUE(readCsvRow(in, row).good());
                ASSERT_GE(row.size(), 2 + placing.fieldsAfterKnown);
                const std::size_t position = row.size() - 2 - placing.fieldsAfterKnown;
                SCOPED_TRACE(std::string(csvScanKernelName(kernel)) + ", " + placing.name + " \"" + field + '"');
                ASSERT_EQ(row[position], field);
                ASSERT_EQ(row[position + 1], known);
                expectDecodedAsAlone(row, position, field, knownValue);
            }
        }
    }
}

TEST(ParseUnsignedField, ANulByteEndsTheField) {
    std::uint64_t value = 0;
    EXPECT_TRUE(parseUnsignedField(std::string_view("12\0x", 4), value));
    EXPECT_EQ(value, 12u);
    EXPECT_TRUE(parseUnsignedField("\0"s + "5", value));
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(parseUnsignedField(" \0"s + "5", value));
    // Only the field's own bytes count: a digit after the view is not read.
    const std::string line = "12,34";
    EXPECT_TRUE(parseUnsignedField(std::string_view(line).substr(0, 2), value));
    EXPECT_EQ(value, 12u);
}

}  // namespace
