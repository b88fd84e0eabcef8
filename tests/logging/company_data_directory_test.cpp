// The product's data directory, and the log line and exception of a failed
// lookup, reached through a stand-in SHGetKnownFolderPath that this test links.
// The process-wide logger is made here, so the log file is found by the name
// built from the time text.
#include "logging/company_data_directory.h"

#include <gtest/gtest.h>

#include <boost/exception/exception.hpp>
#include <ctime>
#include <stdexcept>
#include <string>

#include "known_folder_stand_in_win.h"
#include "log_file_support_win.h"
#include "logging/logger_win.h"
#include "support/test_support_win.h"

namespace {

using testsupport::FilesMatching;
using testsupport::Utf16LeBytes;

const wchar_t logPattern[] = L"Corvex Valmere *.log";
const std::wstring errorRest = L"ERROR : Failed to locate ProgramData directory using SHGetKnownFolderPath.";

class CompanyDataDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        standins::PassKnownFolderLookupThrough();
        removeLogFiles();
    }
    void TearDown() override {
        standins::PassKnownFolderLookupThrough();
        removeLogFiles();
    }
    static void removeLogFiles() {
        for (const std::wstring& name : FilesMatching(logtest::TempDirectory(), logPattern)) {
            DeleteFileW((logtest::TempDirectory() + name).c_str());
        }
    }
    // Calls CompanyDataDirectory expecting the plain failure of a lookup.
    static void expectLookupFailure() {
        try {
            CompanyDataDirectory();
            ADD_FAILURE() << "no exception";
        } catch (const std::exception& error) {
            EXPECT_STREQ(error.what(), "Failed to locate ProgramData directory");
            EXPECT_NE(dynamic_cast<const std::runtime_error*>(&error), nullptr);
            // No throw location is attached to this one.
            EXPECT_EQ(dynamic_cast<const boost::exception*>(&error), nullptr);
        }
    }
};

TEST_F(CompanyDataDirectoryTest, IsProgramDataWithCorvexAndLogsNothing) {
    EXPECT_EQ(CompanyDataDirectory(), L"C:\\ProgramData\\Corvex");
    ASSERT_NE(standins::LastKnownFolderBuffer(), nullptr);
    EXPECT_EQ(standins::TaskMemoryFrees(standins::LastKnownFolderBuffer()), 1);
    EXPECT_TRUE(FilesMatching(logtest::TempDirectory(), logPattern).empty());
}

TEST_F(CompanyDataDirectoryTest, FailedLookupLogsOneErrorLineBeforeItThrows) {
    const std::time_t before = std::time(nullptr);
    standins::FailKnownFolderLookup(E_FAIL, true);
    expectLookupFailure();
    const std::time_t afterFirst = std::time(nullptr);
    // The shell's buffer is freed on the failure path too.
    EXPECT_EQ(standins::TaskMemoryFrees(standins::LastKnownFolderBuffer()), 1);

    // The file is the one named after the time the logger was made.
    const std::wstring temp = logtest::TempDirectory();
    std::wstring logFile;
    for (const std::wstring& time : logtest::TimeTextsBetween(before, afterFirst)) {
        const std::wstring candidate = temp + L"\\Corvex Valmere " + logtest::FileNameTime(time) + L".log";
        if (testsupport::FileExists(candidate)) {
            EXPECT_TRUE(logFile.empty()) << "two log files";
            logFile = candidate;
        }
    }
    ASSERT_FALSE(logFile.empty()) << "no log file named after the time text";
    EXPECT_EQ(FilesMatching(temp, logPattern).size(), 1u);
    ASSERT_NE(Logger::Instance(), nullptr);
    EXPECT_EQ(Logger::Instance()->FilePath(), logFile);

    // A second failure appends its line; the header stays single.
    expectLookupFailure();
    const std::time_t after = std::time(nullptr);

    const std::string bytes = testsupport::ReadFileBytes(logFile);
    const std::wstring text = logtest::TextAfterByteOrderMark(bytes);
    const std::wstring header = L"Started " + logtest::ExecutablePath() + L"\r\n";
    ASSERT_EQ(text.substr(0, header.size()), header);
    std::string expected = logtest::byteOrderMark + Utf16LeBytes(header);
    std::size_t lineStart = header.size();
    for (const std::time_t last : {afterFirst, after}) {
        const std::size_t lineEnd = text.find(L"\r\n", lineStart);
        ASSERT_NE(lineEnd, std::wstring::npos);
        const std::wstring line = text.substr(lineStart, lineEnd - lineStart);
        const std::wstring time = logtest::TimeOfLine(line, errorRest, logtest::TimeTextsBetween(before, last));
        EXPECT_FALSE(time.empty()) << std::string(line.begin(), line.end());
        expected += Utf16LeBytes(logtest::LoggedLine(time, errorRest) + L"\r\n");
        lineStart = lineEnd + 2;
    }
    EXPECT_EQ(bytes, expected);
}

}  // namespace
