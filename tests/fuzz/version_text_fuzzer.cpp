// versionTextOrEmpty over arbitrary registry bytes. The value ends at its first
// NUL. When that text is empty or holds a byte outside printable ASCII the
// result is empty; otherwise the result is printable ASCII, every backslash
// and double quote in it is escaped by a backslash, and undoing the escapes
// gives the text back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/version_text.h"
#include "fuzz_check.h"

namespace {

bool printable(char byte) { return byte >= 0x20 && byte <= 0x7E; }

// The text between the double quotes of a JSON string read back, or false when
// a quote or backslash stands unescaped.
bool unescape(std::string_view escaped, std::string& text) {
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '"') {
            return false;
        }
        if (escaped[i] == '\\') {
            if (i + 1 == escaped.size() || (escaped[i + 1] != '\\' && escaped[i + 1] != '"')) {
                return false;
            }
            ++i;
        }
        text += escaped[i];
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view value(reinterpret_cast<const char*>(data), size);
    const std::string_view text = value.substr(0, value.find('\0'));
    bool allPrintable = true;
    for (const char byte : text) {
        allPrintable = allPrintable && printable(byte);
    }

    const std::string result = versionTextOrEmpty(value);
    if (text.empty() || !allPrintable) {
        require(result.empty(), "a text with a byte outside printable ASCII was not emptied");
        return 0;
    }
    for (const char byte : result) {
        require(printable(byte), "the result holds a byte outside printable ASCII");
    }
    std::string back;
    require(unescape(result, back), "the result holds an unescaped quote or backslash");
    require(back == text, "undoing the escapes does not give the text back");
    return 0;
}
