#include "app/version_text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/case_table.h"

namespace {

using namespace std::string_literals;

struct VersionCase {
    const char* name;
    std::string value;
    std::string expected;
};

using testsupport::operator<<;

const VersionCase versionCases[] = {
    {"plain", "10.8.4.1", "10.8.4.1"},
    {"empty", "", ""},
    {"printableEdges", " !}~", " !}~"},
    {"backslashEscaped", "10.8\\4", "10.8\\\\4"},
    {"quoteEscaped", "10.8\"4\"", "10.8\\\"4\\\""},
    {"escapesSideBySide", "\\\"\\", "\\\\\\\"\\\\"},
    {"endsAtFirstNul", "10.8\0\x80junk"s, "10.8"},
    {"nulFirst", "\0"s + "10.8", ""},
    {"longValueKeptWhole", std::string(200, '9'), std::string(200, '9')},
    // One byte outside printable ASCII empties the whole value, never cuts it.
    {"tab", "10.8\t4", ""},
    {"lineFeed", "10.8\n", ""},
    {"carriageReturn", "\r10.8", ""},
    {"unitSeparator", "10.8\x1f", ""},
    {"delete", "10.8\x7f", ""},
    {"byte80", "10.8\x80", ""},
    {"byteFF", "\xff"s + "10.8", ""},
    {"utf8Text", "10.8 \xc3\xa9", ""},
    {"badByteAfterEscapes", "a\\\"b\t", ""},
};

class VersionText : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionText, IsPrintableAsciiWithEscapesOrEmpty) {
    EXPECT_EQ(versionTextOrEmpty(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, VersionText, ::testing::ValuesIn(versionCases), testsupport::CaseName());

}  // namespace
