#pragma once
// What the logging tests know about log files without asking the logger: the
// executable's path from another system call, the temporary directory, and
// the time texts a line or a file name may carry within a window of seconds.
#include <windows.h>

#include <ctime>
#include <string>
#include <vector>

#include "logging/logger_win.h"
#include "support/test_support_win.h"

namespace logtest {

const char byteOrderMark[] = "\xFF\xFE";

inline std::wstring ExecutablePath() {
    std::wstring path(32768, L'\0');
    auto size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(GetCurrentProcess(), 0, path.data(), &size)) {
        return std::wstring();
    }
    path.resize(size);
    return path;
}

inline std::wstring TempDirectory() {
    wchar_t directory[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, directory);
    return std::wstring(directory, length);
}

// Every time text the logger may have shown between two readings of the
// clock, one per second.
inline std::vector<std::wstring> TimeTextsBetween(std::time_t from, std::time_t to) {
    std::vector<std::wstring> texts;
    for (std::time_t t = from; t <= to; ++t) {
        texts.push_back(FormatLocalTime(LocalTimeAt(t)));
    }
    return texts;
}

inline std::wstring FileNameTime(std::wstring timeText) {
    for (wchar_t& c : timeText) {
        if (c == L'/') c = L'-';
        if (c == L':') c = L'_';
    }
    return timeText;
}

// The file's text after its byte-order mark, as UTF-16LE.
inline std::wstring TextAfterByteOrderMark(const std::string& bytes) {
    std::wstring text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return text;
}

// A line as the logger writes it, without its line end.
inline std::wstring LoggedLine(const std::wstring& time, const std::wstring& rest) { return time + L", " + rest; }

// A logged line "<time>, <rest>" whose time text is one of the candidates:
// returns that time text, or an empty text when the line does not match.
inline std::wstring TimeOfLine(const std::wstring& line, const std::wstring& rest,
                               const std::vector<std::wstring>& candidates) {
    for (const std::wstring& time : candidates) {
        if (line == LoggedLine(time, rest)) {
            return time;
        }
    }
    return std::wstring();
}

}  // namespace logtest
