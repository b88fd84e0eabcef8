// The logger's texts and its file, made directly on files this test owns in
// the real temporary directory.
#include "logging/logger_win.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "log_file_support_win.h"
#include "support/case_table.h"
#include "support/test_support_win.h"

namespace {

using namespace std::string_literals;
using testsupport::ReadFileBytes;
using testsupport::Utf16LeBytes;

// --- Time texts -----------------------------------------------------------

struct TimeCase {
    int year, month, day, hour, minute, second;
    const wchar_t* expected;
};

using testsupport::operator<<;

class FormatLocalTimeTest : public ::testing::TestWithParam<TimeCase> {};

TEST_P(FormatLocalTimeTest, IsTheUsersShortDateAndTime) {
    std::tm local{};
    local.tm_year = GetParam().year - 1900;
    local.tm_mon = GetParam().month - 1;
    local.tm_mday = GetParam().day;
    local.tm_hour = GetParam().hour;
    local.tm_min = GetParam().minute;
    local.tm_sec = GetParam().second;
    local.tm_isdst = -1;
    const LocalTime time = LocalTimeAt(std::mktime(&local));
    ASSERT_TRUE(time.valid);
    EXPECT_EQ(FormatLocalTime(time), GetParam().expected);
}

// The prefix's user locale is English (United States).
INSTANTIATE_TEST_SUITE_P(Table, FormatLocalTimeTest,
                         ::testing::Values(TimeCase{2026, 12, 4, 1, 23, 45, L"12/4/2026 1:23:45 AM"},
                                           TimeCase{2026, 12, 4, 13, 5, 9, L"12/4/2026 1:05:09 PM"},
                                           TimeCase{2026, 12, 4, 12, 0, 0, L"12/4/2026 12:00:00 PM"},
                                           // Midnight has no time part at all.
                                           TimeCase{2026, 12, 4, 0, 0, 0, L"12/4/2026"},
                                           TimeCase{2026, 12, 4, 0, 0, 1, L"12/4/2026 12:00:01 AM"},
                                           TimeCase{2024, 2, 29, 23, 59, 59, L"2/29/2024 11:59:59 PM"}));

TEST(LocalTime, TimeTheRuntimeCannotConvertIsInvalid) {
    EXPECT_FALSE(LocalTimeAt(-1).valid);
    EXPECT_EQ(FormatLocalTime(LocalTimeAt(-1)), L"Invalid DateTime");
    EXPECT_EQ(FormatLocalTime(LocalTime{}), L"Invalid DateTime");
}

// --- Paths ----------------------------------------------------------------

TEST(ModuleFilePath, IsTheExecutablesFullPath) {
    const std::wstring path = ModuleFilePath();
    EXPECT_EQ(path, logtest::ExecutablePath());
    EXPECT_EQ(path.substr(path.size() - 4), L".exe");
}

TEST(LogFilePath, IsTheTempDirectoryABackslashAndTheNameFromTheTimeText) {
    const std::time_t before = std::time(nullptr);
    const std::wstring path = LogFilePath(L"Some App");
    const std::time_t after = std::time(nullptr);
    const std::wstring temp = logtest::TempDirectory();
    ASSERT_EQ(temp.back(), L'\\');
    bool matched = false;
    for (const std::wstring& time : logtest::TimeTextsBetween(before, after)) {
        matched = matched || path == temp + L"\\Some App " + logtest::FileNameTime(time) + L".log";
    }
    EXPECT_TRUE(matched) << std::string(path.begin(), path.end());
    EXPECT_EQ(path.find_first_of(L"/:", 2), std::wstring::npos);
}

// --- The file -------------------------------------------------------------

class LoggerFile : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = logtest::TempDirectory() + L"corvex logger test.log";
        DeleteFileW(path_.c_str());
    }
    void TearDown() override { DeleteFileW(path_.c_str()); }

    static std::string header() { return Utf16LeBytes(L"Started " + logtest::ExecutablePath() + L"\r\n"); }

    std::wstring path_;
};

TEST_F(LoggerFile, NewFileHoldsByteOrderMarkAndHeader) {
    const Logger logger(path_);
    EXPECT_EQ(ReadFileBytes(path_), logtest::byteOrderMark + header());
}

TEST_F(LoggerFile, EmptyFileOrOneWithOnlyTheByteOrderMarkGetsTheHeader) {
    for (const char* existing : {"", logtest::byteOrderMark}) {
        testsupport::WriteFileBytes(path_, existing);
        const Logger logger(path_);
        EXPECT_EQ(ReadFileBytes(path_), logtest::byteOrderMark + header());
    }
}

TEST_F(LoggerFile, LinesCarryTimeLevelAndFormattedMessageAfterTheHeader) {
    const std::time_t before = std::time(nullptr);
    Logger logger(path_);
    logger.Log(LogLevel::Info, L"plain text");
    logger.Log(LogLevel::InfoExternal, L"%d of %s at 100%%", 3, L"disks");
    logger.Log(LogLevel::Error, L"Failed to locate ProgramData directory using SHGetKnownFolderPath.");
    logger.Log(LogLevel::Warning, L"%ls|%5.1f|%x", L"wide", 2.5, 255u);
    const std::time_t after = std::time(nullptr);

    const std::wstring rests[] = {
        L"INFO : plain text",
        L"INFO_EXTERNAL : 3 of disks at 100%",
        L"ERROR : Failed to locate ProgramData directory using SHGetKnownFolderPath.",
        L"WARNING : wide|  2.5|ff",
    };
    // Rebuilt byte for byte from the time texts the lines show, each of which
    // must be a text of the window, "/" and ":" kept.
    const std::string bytes = ReadFileBytes(path_);
    const std::wstring text = logtest::TextAfterByteOrderMark(bytes);
    std::string expected = logtest::byteOrderMark + header();
    std::size_t lineStart = text.find(L"\r\n") + 2;
    for (const std::wstring& rest : rests) {
        const std::size_t lineEnd = text.find(L"\r\n", lineStart);
        ASSERT_NE(lineEnd, std::wstring::npos) << "missing line " << std::string(rest.begin(), rest.end());
        const std::wstring line = text.substr(lineStart, lineEnd - lineStart);
        const std::wstring time = logtest::TimeOfLine(line, rest, logtest::TimeTextsBetween(before, after));
        EXPECT_FALSE(time.empty()) << std::string(line.begin(), line.end());
        EXPECT_NE(time.find(L'/'), std::wstring::npos);
        expected += Utf16LeBytes(logtest::LoggedLine(time, rest) + L"\r\n");
        lineStart = lineEnd + 2;
    }
    EXPECT_EQ(bytes, expected);
}

TEST_F(LoggerFile, FileWithLinesGetsNoSecondHeaderAndKeepsThem) {
    const std::string earlier = logtest::byteOrderMark + Utf16LeBytes(L"Started C:\\earlier.exe\r\nearlier line\r\n");
    testsupport::WriteFileBytes(path_, earlier);
    Logger logger(path_);
    EXPECT_EQ(ReadFileBytes(path_), earlier);
    const std::time_t before = std::time(nullptr);
    logger.Log(LogLevel::Warning, L"next");
    const std::time_t after = std::time(nullptr);
    const std::string bytes = ReadFileBytes(path_);
    ASSERT_GT(bytes.size(), earlier.size());
    EXPECT_EQ(bytes.substr(0, earlier.size()), earlier);
    // Exactly one line follows, with no byte-order mark of its own.
    const std::wstring appended = logtest::TextAfterByteOrderMark("xx" + bytes.substr(earlier.size()));
    ASSERT_GE(appended.size(), 2u);
    EXPECT_EQ(appended.substr(appended.size() - 2), L"\r\n");
    const std::wstring line = appended.substr(0, appended.size() - 2);
    EXPECT_FALSE(logtest::TimeOfLine(line, L"WARNING : next", logtest::TimeTextsBetween(before, after)).empty())
        << std::string(line.begin(), line.end());
}

TEST_F(LoggerFile, LinesThatCannotBeWrittenAreDroppedSilently) {
    const std::wstring unreachable = logtest::TempDirectory() + L"no such directory\\corvex.log";
    Logger logger(unreachable);
    logger.Log(LogLevel::Error, L"dropped");
    EXPECT_FALSE(testsupport::FileExists(unreachable));

    Logger unnamed(L"");
    unnamed.Log(LogLevel::Error, L"dropped");

    Logger valid(path_);
    const std::string withHeader = ReadFileBytes(path_);
    valid.Log(static_cast<LogLevel>(4), L"no such level");
    valid.Log(LogLevel::Info, nullptr);
    EXPECT_EQ(ReadFileBytes(path_), withHeader);
}

}  // namespace
