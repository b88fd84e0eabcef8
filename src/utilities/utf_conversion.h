#pragma once
// Text conversions of the support library. Portable: UTF-16 arrives as
// char16_t units, so Windows wide strings convert by copying their units.
#include <string>

namespace utilities {

// UTF-16 to UTF-8. A surrogate pair becomes one four-byte sequence. Broken
// input is skipped without a replacement character: a lone low surrogate, a
// high surrogate at the end, and a high surrogate together with the unit after
// it when that unit is not a low surrogate.
std::string Utf16ToUtf8(const std::u16string& text);

}  // namespace utilities
