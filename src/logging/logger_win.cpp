#include "logging/logger_win.h"

#include <io.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <vector>

#include "utilities/windows_raii_win.h"

namespace {

using utilities::WindowsRaii::CrtFile;

const wchar_t applicationName[] = L"Corvex Valmere";
const wchar_t invalidTimeText[] = L"Invalid DateTime";
// Append and read, text mode, UTF-16LE: the runtime writes the byte-order
// mark into an empty file and stores every "\n" as CR LF.
const wchar_t logFileMode[] = L"a+, ccs=UTF-16LE";

const wchar_t* const levelNames[] = {L"INFO", L"INFO_EXTERNAL", L"ERROR", L"WARNING"};

// The platform's own wide printf, sized first so no message is cut.
std::wstring formatMessage(const wchar_t* format, va_list arguments) {
    va_list sizing;
    va_copy(sizing, arguments);
    const int length = _vscwprintf(format, sizing);
    va_end(sizing);
    if (length < 0) {
        return std::wstring();
    }
    std::wstring message(static_cast<std::size_t>(length) + 1, L'\0');
    _vsnwprintf(message.data(), message.size(), format, arguments);
    message.resize(static_cast<std::size_t>(length));
    return message;
}

bool sameSecond(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

}  // namespace

LocalTime LocalTimeAt(std::time_t calendarTime) {
    const std::tm* converted = std::localtime(&calendarTime);
    if (converted == nullptr) {
        return LocalTime();
    }
    const std::tm local = *converted;
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(local.tm_year + 1900);
    time.wMonth = static_cast<WORD>(local.tm_mon + 1);
    time.wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time.wDay = static_cast<WORD>(local.tm_mday);
    time.wHour = static_cast<WORD>(local.tm_hour);
    time.wMinute = static_cast<WORD>(local.tm_min);
    time.wSecond = static_cast<WORD>(local.tm_sec);
    time.wMilliseconds = 0;
    LocalTime result;
    SYSTEMTIME back{};
    if (!SystemTimeToVariantTime(&time, &result.date) || !VariantTimeToSystemTime(result.date, &back) ||
        !sameSecond(time, back)) {
        return LocalTime();
    }
    result.valid = true;
    return result;
}

LocalTime CurrentLocalTime() { return LocalTimeAt(std::time(nullptr)); }

std::wstring FormatLocalTime(const LocalTime& time) {
    if (!time.valid) {
        return invalidTimeText;
    }
    utilities::WindowsRaii::Bstr text;
    if (FAILED(VarBstrFromDate(time.date, LANG_USER_DEFAULT, 0, text.put())) || !text) {
        return invalidTimeText;
    }
    return std::wstring(text.get(), SysStringLen(text.get()));
}

std::wstring ModuleFilePath() {
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    DWORD length = 0;
    for (;;) {
        const auto capacity = static_cast<DWORD>(buffer.size());
        length = GetModuleFileNameW(nullptr, buffer.data(), capacity);
        // A path that filled the buffer may have been cut: grow and ask again,
        // up to the longest path the system has.
        if (length < capacity || GetLastError() != ERROR_INSUFFICIENT_BUFFER || length > 32767) {
            break;
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
    return std::wstring(buffer.data(), length);
}

std::wstring LogFilePath(const std::wstring& application) {
    wchar_t directory[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, directory);
    if (length == 0 || length > MAX_PATH) {
        return std::wstring();
    }
    std::wstring timeText = FormatLocalTime(CurrentLocalTime());
    std::replace(timeText.begin(), timeText.end(), L'/', L'-');
    std::replace(timeText.begin(), timeText.end(), L':', L'_');
    // The directory ends with a backslash already; the second one is harmless.
    return std::wstring(directory, length) + L"\\" + application + L" " + timeText + L".log";
}

Logger* Logger::Instance() {
    static Logger* instance = nullptr;
    if (instance == nullptr) {
        try {
            const std::wstring path = LogFilePath(applicationName);
            if (!path.empty()) {
                instance = new Logger(path);
            }
        } catch (...) {
            // Nothing remembered: the next call tries again.
        }
    }
    return instance;
}

Logger::Logger(std::wstring filePath) : filePath_(std::move(filePath)) {
    const CrtFile file(_wfopen(filePath_.c_str(), logFileMode));
    if (!file) {
        return;
    }
    // Nothing but the byte-order mark yet: a new file, which gets the header.
    if (_filelengthi64(_fileno(file.get())) > 2) {
        return;
    }
    try {
        std::fputws((L"Started " + ModuleFilePath() + L"\n").c_str(), file.get());
    } catch (...) {
    }
}

void Logger::Log(LogLevel level, const wchar_t* format, ...) noexcept {
    const auto levelIndex = static_cast<std::size_t>(level);
    if (filePath_.empty() || format == nullptr || levelIndex >= std::size(levelNames)) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    try {
        const std::wstring line = FormatLocalTime(CurrentLocalTime()) + L", " + levelNames[levelIndex] + L" : " +
                                  formatMessage(format, arguments) + L"\n";
        // Opened for each line, so every line is on disk when Log returns.
        const CrtFile file(_wfopen(filePath_.c_str(), logFileMode));
        if (file) {
            std::fputws(line.c_str(), file.get());
        }
    } catch (...) {
        // The line is dropped.
    }
    va_end(arguments);
}
