#pragma once
// The installed-version text as the report document carries it between double
// quotes. Portable: it sees only the bytes the registry handed back.
#include <string>
#include <string_view>

// The value's text up to its first NUL, with a backslash added before every
// backslash and double quote. Any byte outside printable ASCII (0x20 to 0x7E)
// makes the whole result empty: a partial version would mislead more than none.
std::string versionTextOrEmpty(std::string_view value);
