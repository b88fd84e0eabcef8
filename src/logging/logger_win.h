#pragma once
// A process-wide logger appending UTF-16LE lines to a file in the temporary
// directory. It is made on first use, so a run that logs nothing leaves no
// file, and it is never destroyed. Every failure inside it is silent.
#include <windows.h>
#include <oleauto.h>

#include <ctime>
#include <string>

// Numbered from 0; the number picks the name a line shows ("INFO", "INFO_EXTERNAL",
// "ERROR", "WARNING"). Not spelt in capitals, which wingdi.h's ERROR macro would take.
enum class LogLevel { Info, InfoExternal, Error, Warning };

class Logger {
public:
    // The process-wide logger, made on the first call. Null when it cannot be
    // made (no temporary directory, out of memory); callers then skip logging
    // and the next call tries again.
    static Logger* Instance();

    // Creates the file with its "Started <executable>" header unless it already
    // holds lines; a file that cannot be opened is tried again at each line.
    explicit Logger(std::wstring filePath);
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // Appends "<local time>, <level> : <message>" and a line end. The format
    // follows the platform's wide printf rules (%s takes a wide string); a
    // percent sign is written "%%". A line that cannot be written is dropped.
    void Log(LogLevel level, const wchar_t* format, ...) noexcept;

    const std::wstring& FilePath() const { return filePath_; }

private:
    std::wstring filePath_;
};

// A local time as an OLE Automation date; invalid when the clock cannot be
// read or the date does not survive the conversion there and back.
struct LocalTime {
    bool valid = false;
    DATE date = 0;
};

LocalTime LocalTimeAt(std::time_t calendarTime);
LocalTime CurrentLocalTime();

// The user's short date and time, "Invalid DateTime" for an invalid time.
std::wstring FormatLocalTime(const LocalTime& time);

// The running executable's full path, however long; empty when unknown.
std::wstring ModuleFilePath();

// "<temporary directory>\<application> <time>.log", with "/" and ":" of the
// time text turned into "-" and "_". Empty when the temporary directory is
// unknown, and then no logger is made.
std::wstring LogFilePath(const std::wstring& application);
