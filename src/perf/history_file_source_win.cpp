// Windows opens history files with every share mode, so the performance
// sampler can go on appending to, renaming and deleting them while they are
// read.
#include <windows.h>

#include <algorithm>

#include "perf/history_file_source.h"
#include "utilities/windows_raii_win.h"

namespace {

class HandleSource : public CsvByteSource {
public:
    explicit HandleSource(HANDLE handle) : handle_(handle) {}

    std::size_t read(char* destination, std::size_t size) override {
        DWORD received = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD));
        if (!ReadFile(handle_.get(), destination, wanted, &received, nullptr)) {
            return 0;
        }
        return received;
    }

private:
    utilities::WindowsRaii::FileHandle handle_;
};

}  // namespace

std::unique_ptr<CsvByteSource> openHistoryFile(const std::wstring& path) {
    const HANDLE handle = utilities::WindowsRaii::OwnedHandle(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (handle == nullptr) {
        return nullptr;
    }
    return std::make_unique<HandleSource>(handle);
}
