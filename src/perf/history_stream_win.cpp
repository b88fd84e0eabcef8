// Windows opens history files with every share mode, so the performance
// sampler can go on appending to, renaming and deleting them while they are
// read.
#include <windows.h>

#include <algorithm>

#include "perf/history_stream.h"
#include "utilities/static_raii.h"

namespace {

void closeFileHandle(HANDLE handle) { CloseHandle(handle); }

// Null stands for "no handle"; a failed open's INVALID_HANDLE_VALUE is never stored.
using FileHandle = utilities::StaticRaii<HANDLE, closeFileHandle, nullptr>;

class HandleReadBuffer : public ChunkReadBuffer {
public:
    bool open(const std::wstring& path) {
        const HANDLE handle =
            CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return false;
        }
        *handle_.put() = handle;
        return true;
    }

protected:
    std::size_t readChunk(char* destination, std::size_t size) override {
        DWORD received = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD));
        if (!ReadFile(handle_.get(), destination, wanted, &received, nullptr)) {
            return 0;
        }
        return received;
    }

private:
    FileHandle handle_;
};

}  // namespace

std::unique_ptr<ChunkReadBuffer> openHistoryFileBuffer(const std::wstring& path) {
    auto buffer = std::make_unique<HandleReadBuffer>();
    if (!buffer->open(path)) {
        return nullptr;
    }
    return buffer;
}
