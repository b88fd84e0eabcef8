// A process whose GetTempPathW always fails (a stand-in this test links): no
// logger is made, nothing is written anywhere, and a failed ProgramData lookup
// still throws its error.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "known_folder_stand_in_win.h"
#include "logging/company_data_directory.h"
#include "logging/logger_win.h"
#include "support/test_support_win.h"

namespace {

// The real temporary directory, from the environment the stand-in leaves alone.
std::wstring realTempDirectory() {
    wchar_t directory[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableW(L"TEMP", directory, MAX_PATH + 1);
    return std::wstring(directory, length);
}

TEST(NoTempDirectory, NoLoggerIsMadeAndTheLookupFailureStillThrows) {
    const std::wstring temp = realTempDirectory();
    ASSERT_FALSE(temp.empty());
    const auto filesBefore = testsupport::FilesMatching(temp, L"Corvex Valmere *.log");

    EXPECT_EQ(LogFilePath(L"Corvex Valmere"), L"");
    EXPECT_EQ(Logger::Instance(), nullptr);
    // Not remembered as made: asked again, it is still none.
    EXPECT_EQ(Logger::Instance(), nullptr);

    standins::FailKnownFolderLookup(E_FAIL, false);
    try {
        CompanyDataDirectory();
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Failed to locate ProgramData directory");
    }
    standins::PassKnownFolderLookupThrough();

    EXPECT_EQ(testsupport::FilesMatching(temp, L"Corvex Valmere *.log"), filesBefore);
    // Nor where a path without its directory part would have put the file.
    wchar_t current[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, current);
    EXPECT_TRUE(testsupport::FilesMatching(current, L"Corvex Valmere *.log").empty());
    EXPECT_TRUE(testsupport::FilesMatching(L"C:", L"Corvex Valmere *.log").empty());
}

}  // namespace
