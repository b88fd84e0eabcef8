#include "app/version_text.h"

std::string versionTextOrEmpty(std::string_view value) {
    std::string text;
    text.reserve(value.size());
    for (const char byte : value) {
        const auto code = static_cast<unsigned char>(byte);
        if (code == 0) {
            break;
        }
        if (code < 0x20 || code > 0x7E) {
            return std::string();
        }
        if (byte == '\\' || byte == '"') {
            text.push_back('\\');
        }
        text.push_back(byte);
    }
    return text;
}
