#include "utilities/utf_conversion.h"

#include <gtest/gtest.h>

#include <string>

#include "support/case_table.h"

namespace {

using namespace std::string_literals;

struct Utf8Case {
    const char* name;
    std::u16string input;
    std::string expected;
};

using testsupport::operator<<;

const Utf8Case utf8Cases[] = {
    {"empty", u"", ""},
    {"ascii", u"Version", "Version"},
    {"nulKept", u"a\0b"s, "a\0b"s},
    {"lastOneByte", u"\u007f", "\x7f"},
    {"firstTwoBytes", u"\u0080", "\xc2\x80"},
    {"twoBytesInText", u"Versi\u00f3n", "Versi\xc3\xb3n"},
    {"lastTwoBytes", u"\u07ff", "\xdf\xbf"},
    {"firstThreeBytes", u"\u0800", "\xe0\xa0\x80"},
    {"euro", u"\u20ac", "\xe2\x82\xac"},
    {"lastThreeBytes", u"\uffff", "\xef\xbf\xbf"},
    {"pairIsOneCodePoint", u"\U0001F600", "\xf0\x9f\x98\x80"},
    {"firstSupplementary", {0xD800, 0xDC00}, "\xf0\x90\x80\x80"},
    {"lastSupplementary", {0xDBFF, 0xDFFF}, "\xf4\x8f\xbf\xbf"},
    {"pairBetweenText", {u'a', 0xD83D, 0xDE00, u'b'}, "a\xf0\x9f\x98\x80"s + "b"},
    // Broken surrogates are skipped, never replaced.
    {"loneLowDropped", {u'a', 0xDC00, u'b'}, "ab"},
    {"lowBeforeHighDropped", {0xDE00, 0xD83D, u'x'}, ""},
    {"highAtEndDropped", {u'a', 0xD800}, "a"},
    {"highOnly", {0xDBFF}, ""},
    {"highTakesTheNextUnitWithIt", {u'a', 0xD800, u'b', u'c'}, "ac"},
    {"highTakesANulWithIt", {0xD800, 0, u'c'}, "c"},
    {"highTakesAnotherHighWithIt", {0xD800, 0xD801, 0xDC00, u'x'}, "x"},
    {"highTakesAThreeByteUnitWithIt", {0xD800, 0x20AC, u'x'}, "x"},
};

class Utf16ToUtf8 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf16ToUtf8, EncodesCodePointsAndSkipsBrokenSurrogates) {
    EXPECT_EQ(utilities::Utf16ToUtf8(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, Utf16ToUtf8, ::testing::ValuesIn(utf8Cases), testsupport::CaseName());

TEST(Utf16ToUtf8Long, ConvertsEveryUnitOfALongMixedName) {
    std::u16string input;
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        input += u"a\u00e9\u20ac\U0001F600";
        expected += "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
    }
    EXPECT_EQ(utilities::Utf16ToUtf8(input), expected);
}

}  // namespace
