// The minifilter section read from a real telemetry.log under the test
// prefix's ProgramData.
#include "app/minifilter_information.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "known_folder_stand_in_win.h"
#include "logging/logger_win.h"
#include "support/case_table.h"
#include "support/test_support_win.h"
#include "utilities/windows_raii_win.h"

namespace {

using namespace std::string_literals;
using utilities::WindowsRaii::FileHandle;
using utilities::WindowsRaii::OwnedHandle;

const wchar_t companyDirectory[] = L"C:\\ProgramData\\Corvex";
const wchar_t productDirectory[] = L"C:\\ProgramData\\Corvex\\Valmere";
const wchar_t telemetryLog[] = L"C:\\ProgramData\\Corvex\\Valmere\\telemetry.log";

std::string section() {
    std::ostringstream document;
    document << '{';
    writeMinifilterInformation(document);
    document << '}';
    return document.str();
}

std::string bytesOfLength(std::size_t length) {
    std::string bytes;
    for (std::size_t i = 0; i < length; ++i) {
        bytes.push_back(static_cast<char>('a' + i % 26));
    }
    return bytes;
}

// The product's directories exist only while a test runs.
class MinifilterInformation : public ::testing::Test {
protected:
    void SetUp() override {
        standins::PassKnownFolderLookupThrough();
        removeFiles();
        ASSERT_TRUE(CreateDirectoryW(companyDirectory, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        ASSERT_TRUE(CreateDirectoryW(productDirectory, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    void TearDown() override {
        standins::PassKnownFolderLookupThrough();
        removeFiles();
    }
    static void removeFiles() {
        DeleteFileW(telemetryLog);
        RemoveDirectoryW(productDirectory);
        RemoveDirectoryW(companyDirectory);
    }
    // The section's reader kept no handle: the file opens unshared at once.
    static void expectFileReleased() {
        const FileHandle file(OwnedHandle(CreateFileW(telemetryLog, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
        EXPECT_TRUE(file) << "telemetry.log still open, error " << GetLastError();
    }
};

struct HeadCase {
    const char* name;
    std::string content;
    std::string expected;  // the whole section object
};

using testsupport::operator<<;

const HeadCase headCases[] = {
    {"memberText", "\"a\":1", "{\"a\":1}"},
    {"empty", "", "{}"},
    {"oneByte", "x", "{x}"},
    {"exactly1024", bytesOfLength(1024), "{" + bytesOfLength(1024) + "}"},
    {"first1024Of1025", bytesOfLength(1025), "{" + bytesOfLength(1024) + "}"},
    {"first1024Of5000", bytesOfLength(5000), "{" + bytesOfLength(1024) + "}"},
    // Copied raw: NUL, line breaks, tabs, quotes, backslashes, high bytes.
    {"rawBytes", "\"a\":\"x\0y\"\r\n\t\\\"\x80\xff"s, "{\"a\":\"x\0y\"\r\n\t\\\"\x80\xff}"s},
    {"notJson", "not json at all", "{not json at all}"},
    // A multi-byte character cut in two at byte 1024 stays cut.
    {"cutCharacter", bytesOfLength(1023) + "\xc3\xa9", "{" + bytesOfLength(1023) + "\xc3}"},
};

class MinifilterHead : public MinifilterInformation, public ::testing::WithParamInterface<HeadCase> {};

TEST_P(MinifilterHead, CopiesTheFirst1024BytesUnchanged) {
    testsupport::WriteFileBytes(telemetryLog, GetParam().content);
    EXPECT_EQ(section(), GetParam().expected);
    expectFileReleased();
    EXPECT_EQ(testsupport::ReadFileBytes(telemetryLog), GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(Table, MinifilterHead, ::testing::ValuesIn(headCases), testsupport::CaseName());

TEST_F(MinifilterInformation, MissingFileOrDirectoryGivesEmptySection) {
    EXPECT_EQ(section(), "{}");
    EXPECT_FALSE(testsupport::FileExists(telemetryLog));
    removeFiles();
    EXPECT_EQ(section(), "{}");
}

TEST_F(MinifilterInformation, FileHeldWithoutReadSharingGivesEmptySection) {
    testsupport::WriteFileBytes(telemetryLog, "\"a\":1");
    // A writer that keeps readers out, and one that lets them read: the section
    // shares reading only, so both keep it empty.
    for (const DWORD writerSharing : {DWORD{0}, DWORD{FILE_SHARE_READ}}) {
        FileHandle writer(OwnedHandle(CreateFileW(telemetryLog, GENERIC_WRITE, writerSharing, nullptr, OPEN_EXISTING,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr)));
        ASSERT_TRUE(writer);
        EXPECT_EQ(section(), "{}") << "writer sharing " << writerSharing;
        writer.reset();
        expectFileReleased();
    }
    EXPECT_EQ(section(), "{\"a\":1}");
}

TEST_F(MinifilterInformation, ReaderThatSharesReadingDoesNotBlock) {
    testsupport::WriteFileBytes(telemetryLog, "\"a\":1");
    const FileHandle reader(OwnedHandle(CreateFileW(telemetryLog, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr)));
    ASSERT_TRUE(reader);
    EXPECT_EQ(section(), "{\"a\":1}");
}

TEST_F(MinifilterInformation, FailedProgramDataLookupPassesThroughAndAppendsNothing) {
    testsupport::WriteFileBytes(telemetryLog, "\"a\":1");
    standins::FailKnownFolderLookup(E_FAIL, false);
    std::ostringstream document;
    try {
        writeMinifilterInformation(document);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Failed to locate ProgramData directory");
    }
    EXPECT_EQ(document.str(), "");
    // The failed lookup was logged; the log file is this test's to remove.
    if (Logger* logger = Logger::Instance()) {
        DeleteFileW(logger->FilePath().c_str());
    }
}

}  // namespace
