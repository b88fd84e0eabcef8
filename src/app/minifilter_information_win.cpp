#include <windows.h>

#include "app/minifilter_information.h"
#include "logging/company_data_directory.h"
#include "utilities/windows_raii_win.h"

namespace {
constexpr DWORD headSize = 1024;
}  // namespace

void writeMinifilterInformation(std::ostream& document) {
    const std::wstring path = CompanyDataDirectory() + L"\\Valmere\\telemetry.log";
    // Readers only: a writer that does not share reading makes the open fail
    // at once, and the section stays empty rather than waiting or retrying.
    utilities::WindowsRaii::FileHandle file(utilities::WindowsRaii::OwnedHandle(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file) {
        return;
    }
    if (SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        return;
    }
    char head[headSize];
    DWORD bytesRead = 0;
    if (!ReadFile(file.get(), head, headSize, &bytesRead, nullptr)) {
        return;
    }
    file.reset();
    // One read, used as it comes; the bytes go in unchanged, NULs included.
    document.write(head, bytesRead);
}
