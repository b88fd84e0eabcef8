// The host build opens history files through POSIX, from the wide path the
// portable code passes around (UTF-8 is the host's file-name encoding).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <type_traits>

#include "perf/history_file_source.h"
#include "utilities/posix_raii.h"

namespace {

std::string hostPath(const std::wstring& path) {
    std::string bytes;
    for (const wchar_t character : path) {
        // wchar_t is a signed 32-bit type here; a code point is never negative.
        const auto c = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(character));
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c < 0x800) {
            bytes += static_cast<char>(0xC0 | (c >> 6));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += static_cast<char>(0xE0 | (c >> 12));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (c >> 18));
            bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

class DescriptorSource : public CsvByteSource {
public:
    explicit DescriptorSource(int descriptor) : descriptor_(descriptor) {}

    std::size_t read(char* destination, std::size_t size) override {
        while (true) {
            const ssize_t received = ::read(descriptor_.get(), destination, size);
            if (received >= 0) {
                return static_cast<std::size_t>(received);
            }
            if (errno != EINTR) {
                return 0;
            }
        }
    }

private:
    utilities::PosixRaii::FileDescriptor descriptor_;
};

}  // namespace

std::unique_ptr<CsvByteSource> openHistoryFile(const std::wstring& path) {
    const int descriptor = ::open(hostPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return nullptr;
    }
    return std::make_unique<DescriptorSource>(descriptor);
}
