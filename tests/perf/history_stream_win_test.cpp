// The performance sampler keeps writing, renaming and deleting history files
// while the collector reads them: the reader must deny it nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include "history_builder.h"
#include "perf/csv_reader.h"
#include "perf/history_file_source.h"
#include "utilities/windows_raii_win.h"

namespace {

using utilities::WindowsRaii::FileHandle;

// A handle as the sampler would hold it; null when the open fails.
HANDLE openForWriting(const std::wstring& path, DWORD shareMode) {
    return utilities::WindowsRaii::OwnedHandle(
        CreateFileW(path.c_str(), GENERIC_WRITE, shareMode, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool appendText(HANDLE handle, const std::string& text) {
    DWORD written = 0;
    return SetFilePointer(handle, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
           WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE &&
           written == text.size();
}

class HistoryStreamSharing : public perftest::ScratchDirectory {
protected:
    std::wstring path() const { return historyPath(0).wstring(); }
};

TEST_F(HistoryStreamSharing, TheSamplerCanAppendRenameAndDeleteWhileTheFileIsRead) {
    writeBytes(0, "header\r\nfirst\r\n");
    CsvReader in(openHistoryFile(path()));
    CsvRow row;
    ASSERT_TRUE(readCsvRow(in, row).good());
    ASSERT_TRUE(readCsvRow(in, row).good());
    EXPECT_EQ(row[0], "first");

    {
        FileHandle writer(openForWriting(path(), FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
        ASSERT_TRUE(writer) << "open for writing failed: " << GetLastError();
        EXPECT_TRUE(appendText(writer.get(), "second\r\n"));
    }
    const std::wstring rolled = historyPath(1).wstring();
    ASSERT_TRUE(MoveFileExW(path().c_str(), rolled.c_str(), 0)) << "rename failed: " << GetLastError();

    // The open file follows the file under its new name and sees the new row.
    ASSERT_TRUE(readCsvRow(in, row).good());
    EXPECT_EQ(row[0], "second");
    EXPECT_FALSE(readCsvRow(in, row).good());
    EXPECT_TRUE(DeleteFileW(rolled.c_str())) << "delete failed: " << GetLastError();
}

TEST_F(HistoryStreamSharing, AFileHeldOpenByTheSamplerCanBeRead) {
    writeBytes(0, "header\nrow\n");
    FileHandle writer(openForWriting(path(), FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
    ASSERT_TRUE(writer);
    CsvReader in(openHistoryFile(path()));
    CsvRow row;
    ASSERT_TRUE(readCsvRow(in, row).good());
    EXPECT_EQ(row[0], "header");
}

TEST_F(HistoryStreamSharing, AFileLockedAgainstReadersReadsAsMissing) {
    writeBytes(0, "header\nrow\n");
    FileHandle writer(openForWriting(path(), 0));
    ASSERT_TRUE(writer);
    CsvReader in(openHistoryFile(path()));
    CsvRow row;
    EXPECT_FALSE(readCsvRow(in, row).good());
    EXPECT_TRUE(row.empty());
}

}  // namespace
