// The registry helper against real values in a key this test owns.
#include "utilities/registry_helper_win.h"

#include <gtest/gtest.h>

#include <boost/exception/exception.hpp>
#include <boost/exception/get_error_info.hpp>
#include <boost/throw_exception.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "counting_reg_get_value_win.h"
#include "support/case_table.h"
#include "support/test_support_win.h"
#include "support/throw_location.h"

namespace {

using namespace std::string_literals;
using testsupport::Utf16LeBytes;
using utilities::RegistryHelper;
using utilities::RegistryValue;
using Strings = std::vector<std::wstring>;

const wchar_t testsKey[] = L"Software\\Corvex Tests";
const wchar_t helperKey[] = L"Software\\Corvex Tests\\Registry Helper";

template <typename T>
std::string bytesOf(T value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

std::string errorCode(LONG code) { return std::to_string(code); }

class RegistryHelperTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::DeleteKeyTree(HKEY_CURRENT_USER, testsKey, L"Registry Helper", 0);
        testsupport::CreateKey(HKEY_CURRENT_USER, helperKey, 0);
        HKEY opened = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, helperKey, 0, KEY_READ, &opened), ERROR_SUCCESS);
        *key_.put() = opened;
        standins::ResetRegGetValueWCalls();
    }
    void TearDown() override {
        key_.reset();
        testsupport::DeleteKeyTree(HKEY_CURRENT_USER, L"Software", L"Corvex Tests", 0);
    }
    static void write(const std::wstring& name, DWORD type, const std::string& data) {
        testsupport::WriteExactValue(HKEY_CURRENT_USER, helperKey, 0, name, type, data);
    }
    // The text of the Error the call throws, or a note that it threw none.
    static std::string errorOf(const std::function<void()>& call) {
        try {
            call();
        } catch (const RegistryHelper::Error& error) {
            return error.what();
        }
        return "(no error)";
    }

    utilities::WindowsRaii::RegistryKey key_;
    const RegistryHelper helper_{};
};

// --- Strings --------------------------------------------------------------

struct StringCase {
    const char* name;
    DWORD type;
    std::string data;
    std::wstring expected;
    const char* error;  // the Error text with the value name 'V', or null
};

using testsupport::operator<<;

const StringCase stringCases[] = {
    {"empty", REG_SZ, Utf16LeBytes(L"\0"s), L"", nullptr},
    {"plain", REG_SZ, Utf16LeBytes(L"10.8.4.1\0"s), L"10.8.4.1", nullptr},
    {"nulBeforeTerminatorKept", REG_SZ, Utf16LeBytes(L"a\0b\0"s), L"a\0b"s, nullptr},
    {"longerThanFirstBuffer", REG_SZ, Utf16LeBytes(std::wstring(3000, L'x') + L'\0'), std::wstring(3000, L'x'),
     nullptr},
    {"noData", REG_SZ, "", L"",
     "String values should always have at least a null-terminating character. Value name='V'."},
    {"notTerminated", REG_SZ, Utf16LeBytes(L"abc"), L"",
     "String values should always be null-terminated. Value name='V'."},
    {"oddLength", REG_SZ, "a\0b\0c"s, L"", "Invalid registry value data length. Value name='V'."},
};

class StringValue : public RegistryHelperTest, public ::testing::WithParamInterface<StringCase> {};

TEST_P(StringValue, ReadsOrNamesTheFault) {
    write(L"V", GetParam().type, GetParam().data);
    if (GetParam().error == nullptr) {
        EXPECT_EQ(helper_.ReadStringValue(key_.get(), L"V"), GetParam().expected);
    } else {
        EXPECT_EQ(errorOf([&] { helper_.ReadStringValue(key_.get(), L"V"); }), GetParam().error);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StringValue, ::testing::ValuesIn(stringCases), testsupport::CaseName());

TEST_F(RegistryHelperTest, FirstBufferHoldsAnEmptyStringAndALongerValueTakesOneMoreCall) {
    write(L"Empty", REG_SZ, Utf16LeBytes(L"\0"s));
    write(L"Version", REG_SZ, Utf16LeBytes(L"10.8.4.1\0"s));
    EXPECT_EQ(helper_.ReadStringValue(key_.get(), L"Empty"), L"");
    EXPECT_EQ(standins::RegGetValueWCalls(), 1);
    standins::ResetRegGetValueWCalls();
    EXPECT_EQ(helper_.ReadStringValue(key_.get(), L"Version"), L"10.8.4.1");
    EXPECT_EQ(standins::RegGetValueWCalls(), 2);
}

TEST_F(RegistryHelperTest, DataBufferKeepsEveryCharacterOfTheValue) {
    write(L"V", REG_SZ, Utf16LeBytes(L"abc\0"s));
    EXPECT_EQ(helper_.RegistryDataBuffer(key_.get(), L"V", RRF_RT_REG_SZ), (std::vector<wchar_t>{L'a', L'b', L'c', 0}));
}

// --- Multi-strings --------------------------------------------------------

struct MultiStringCase {
    const char* name;
    std::string data;
    Strings expected;
    const char* error;
};

// clang-format off
const MultiStringCase multiStringCases[] = {
    {"twoStrings", Utf16LeBytes(L"a\0b\0\0"s), {L"a", L"b"}, nullptr},
    {"none", Utf16LeBytes(L"\0\0"s), {}, nullptr},
    {"stopsAtEmptyString", Utf16LeBytes(L"a\0\0b\0\0"s), {L"a"}, nullptr},
    {"longStrings", Utf16LeBytes(std::wstring(700, L'p') + L'\0' + std::wstring(900, L'q') + L"\0\0"s),
     {std::wstring(700, L'p'), std::wstring(900, L'q')}, nullptr},
    // The last string lacks its own NUL: it is not yielded.
    {"lastStringUnfinished", Utf16LeBytes(L"a\0b\0"s), {L"a"}, nullptr},
    {"oneNul", Utf16LeBytes(L"\0"s), {},
     "MultiString values should always have at least two trailing null-terminating characters. Value name='V'."},
    {"noData", "", {},
     "MultiString values should always have at least two trailing null-terminating characters. Value name='V'."},
    {"notTerminated", Utf16LeBytes(L"a\0b"s), {}, "No null-terminator found for multi-string. Value name='V'."},
    {"oddLength", "a\0\0\0\0"s, {}, "Invalid registry value data length. Value name='V'."},
};
// clang-format on

class MultiStringValue : public RegistryHelperTest, public ::testing::WithParamInterface<MultiStringCase> {};

TEST_P(MultiStringValue, SplitsOrNamesTheFault) {
    write(L"V", REG_MULTI_SZ, GetParam().data);
    if (GetParam().error == nullptr) {
        EXPECT_EQ(helper_.ReadMultiStringValue(key_.get(), L"V"), GetParam().expected);
    } else {
        EXPECT_EQ(errorOf([&] { helper_.ReadMultiStringValue(key_.get(), L"V"); }), GetParam().error);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, MultiStringValue, ::testing::ValuesIn(multiStringCases), testsupport::CaseName());

// --- Numbers --------------------------------------------------------------

TEST_F(RegistryHelperTest, ReadsNumbersOfTheirOwnWidth) {
    write(L"Small", REG_DWORD, bytesOf<DWORD>(0xFFFFFFFF));
    write(L"Large", REG_QWORD, bytesOf<std::uint64_t>(0x123456789ABCDEF0));
    EXPECT_EQ(helper_.ReadNumericValue<DWORD>(key_.get(), L"Small", RRF_RT_REG_DWORD), 0xFFFFFFFFu);
    EXPECT_EQ(helper_.ReadNumericValue<std::uint64_t>(key_.get(), L"Large", RRF_RT_REG_QWORD), 0x123456789ABCDEF0u);
}

// --- Failures of RegGetValueW ---------------------------------------------

TEST_F(RegistryHelperTest, WrongTypeOrMissingValueFailsInRegGetValueWWithTheSystemsCode) {
    write(L"Number", REG_DWORD, bytesOf<DWORD>(1));
    write(L"Text", REG_SZ, Utf16LeBytes(L"1\0"s));
    write(L"Large", REG_QWORD, bytesOf<std::uint64_t>(1));
    const std::string unsupported = errorCode(ERROR_UNSUPPORTED_TYPE);
    const std::string missing = errorCode(ERROR_FILE_NOT_FOUND);
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { helper_.ReadStringValue(key_.get(), L"Number"); },
         "RegGetValueW failed. Error: " + unsupported + ". Value name='Number'."},
        {[&] { helper_.ReadMultiStringValue(key_.get(), L"Text"); },
         "RegGetValueW failed. Error: " + unsupported + ". Value name='Text'."},
        {[&] { helper_.ReadNumericValue<DWORD>(key_.get(), L"Text", RRF_RT_REG_DWORD); },
         "RegGetValueW failed. Error: " + unsupported + ". Value name='Text'."},
        {[&] { helper_.ReadNumericValue<DWORD>(key_.get(), L"Large", RRF_RT_REG_DWORD); },
         "RegGetValueW failed. Error: " + unsupported + ". Value name='Large'."},
        {[&] { helper_.ReadNumericValue<DWORD>(key_.get(), L"Version", RRF_RT_REG_DWORD); },
         "RegGetValueW failed. Error: 2. Value name='Version'."},
        {[&] { helper_.ReadStringValue(key_.get(), L"Version"); },
         "RegGetValueW failed. Error: " + missing + ". Value name='Version'."},
        {[&] { helper_.ReadMultiStringValue(key_.get(), L"Version"); },
         "RegGetValueW failed. Error: " + missing + ". Value name='Version'."},
        {[&] { helper_.ReadNumericValue<std::uint64_t>(key_.get(), L"Version", RRF_RT_REG_QWORD); },
         "RegGetValueW failed. Error: " + missing + ". Value name='Version'."},
        // The name reaches the text as UTF-8.
        {[&] { helper_.ReadStringValue(key_.get(), L"Versi\u00f3n \u20ac\U0001F600"); },
         "RegGetValueW failed. Error: " + missing + ". Value name='Versi\xc3\xb3n \xe2\x82\xac\xf0\x9f\x98\x80'."},
    };
    for (const auto& [call, expected] : cases) {
        EXPECT_EQ(errorOf(call), expected);
    }
}

TEST_F(RegistryHelperTest, ErrorCarriesItsCodeAndThrowLocation) {
    try {
        helper_.ReadNumericValue<DWORD>(key_.get(), L"Version", RRF_RT_REG_DWORD);
        FAIL() << "no exception";
    } catch (const boost::exception& error) {
        const auto location = throwLocationOf(error);
        ASSERT_TRUE(location);
        EXPECT_NE(location->function.find("ReadNumericValue"), std::string::npos) << location->function;
        EXPECT_EQ(location->file, "src/utilities/registry_helper_win.cpp");
        EXPECT_GT(location->line, 0);
        const auto* registryError = dynamic_cast<const RegistryHelper::Error*>(&error);
        ASSERT_NE(registryError, nullptr);
        EXPECT_EQ(registryError->ErrorCode(), ERROR_FILE_NOT_FOUND);
        EXPECT_NE(dynamic_cast<const std::runtime_error*>(&error), nullptr);
    }
}

// --- Error texts ----------------------------------------------------------

struct ErrorTextCase {
    const char* message;
    std::wstring valueName;
    std::int32_t code;
    const char* expected;
};

class ErrorText : public ::testing::TestWithParam<ErrorTextCase> {};

TEST_P(ErrorText, NamesMessageCodeAndValue) {
    const RegistryHelper::Error error(GetParam().message, GetParam().valueName, GetParam().code);
    EXPECT_STREQ(error.what(), GetParam().expected);
    EXPECT_EQ(error.ErrorCode(), GetParam().code);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, ErrorText,
    ::testing::Values(
        ErrorTextCase{"RegGetValueW failed", L"Version", 2, "RegGetValueW failed. Error: 2. Value name='Version'."},
        ErrorTextCase{"Invalid registry value data length", L"Version", 0,
                      "Invalid registry value data length. Value name='Version'."},
        ErrorTextCase{"RegGetValueW failed", L"V", -5, "RegGetValueW failed. Error: -5. Value name='V'."},
        ErrorTextCase{"RegGetValueW failed", L"V", INT32_MIN,
                      "RegGetValueW failed. Error: -2147483648. Value name='V'."},
        ErrorTextCase{"m", L"", 0, "m. Value name=''."},
        ErrorTextCase{"m", L"a'b\"c", 0, "m. Value name='a'b\"c'."},
        // Broken surrogates of the name are left out.
        ErrorTextCase{"m", std::wstring{L'a', wchar_t(0xDC00), L'b', wchar_t(0xD800)}, 0, "m. Value name='ab'."},
        ErrorTextCase{"m", std::wstring{wchar_t(0xD800), L'x', L'y'}, 0, "m. Value name='y'."}));
// clang-format on

// --- The type table -------------------------------------------------------

TEST_F(RegistryHelperTest, ValueReadersMapsTheFourTypesToTheirAlternatives) {
    write(L"Number", REG_DWORD, bytesOf<DWORD>(42));
    write(L"Large", REG_QWORD, bytesOf<std::uint64_t>(1ull << 40));
    write(L"Text", REG_SZ, Utf16LeBytes(L"text\0"s));
    write(L"List", REG_MULTI_SZ, Utf16LeBytes(L"a\0bc\0\0"s));
    const std::pair<DWORD, const wchar_t*> rows[] = {
        {REG_DWORD, L"Number"}, {REG_QWORD, L"Large"}, {REG_SZ, L"Text"}, {REG_MULTI_SZ, L"List"}};
    // clang-format off
    const RegistryValue expected[] = {RegistryValue(std::in_place_index<0>, DWORD{42}),
                                      RegistryValue(std::in_place_index<1>, std::uint64_t{1} << 40),
                                      RegistryValue(std::in_place_index<2>, L"text"),
                                      RegistryValue(std::in_place_index<3>, Strings{L"a", L"bc"})};
    // clang-format on

    ASSERT_EQ(utilities::ValueReaders.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const auto reader = utilities::ValueReaders.find(rows[i].first);
        ASSERT_NE(reader, utilities::ValueReaders.end()) << rows[i].first;
        const RegistryValue value = (helper_.*(reader->second))(key_.get(), rows[i].second);
        EXPECT_EQ(value.index(), i);
        EXPECT_TRUE(value == expected[i]) << "type " << rows[i].first;
    }
    for (const DWORD other : {DWORD{REG_NONE}, DWORD{REG_EXPAND_SZ}, DWORD{REG_BINARY}, DWORD{REG_LINK}}) {
        EXPECT_EQ(utilities::ValueReaders.count(other), 0u) << other;
    }
}

}  // namespace
