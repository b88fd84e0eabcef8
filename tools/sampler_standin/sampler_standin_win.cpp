// A stand-in for the product's performance sampler, for tests that run the
// collector again and again while history is being written and rotated. It
// runs under the same Windows (or Wine) as the collector, so the share modes
// of both sides meet as they would on a customer's machine.
//
//   sampler_standin DIRECTORY [--rows-per-file N] [--keep K] [--tick-ms MS] [--max-seconds S]
//
// Every tick it appends one row with the current UTC time to
// DIRECTORY\ZelPerformance.csv, opening and closing the file each time as a
// sampler that writes once a minute would. After N rows it rotates: the oldest
// of the K numbered files goes, the others move up one number, the newest
// becomes ".1", and a new newest file starts with the header and its first row.
// It stops when its standard input ends (or after S seconds, as a safety net).
//
// Standard output, one line per event, flushed at once:
//   rotation NUMBER BEGIN END        FILETIME ticks around one rotation
//   failure CALL ERROR ATTEMPT PATH  one failed attempt of a file-system call
//   summary rows=... rotations=... failed_attempts=... failed_operations=... ...
// Exit code 0 only if no call ever failed, not even once before a retry.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "sampler_rows.h"
#include "utilities/utf_conversion.h"
#include "utilities/windows_raii_win.h"

namespace {

using utilities::WindowsRaii::FileHandle;
using utilities::WindowsRaii::OwnedHandle;

// Readers (the collector, a log viewer) may read the newest file while it is
// written, and clean-up tools may rename or delete it; a second writer may not
// open it, since rows of two writers would interleave.
constexpr DWORD appendShareMode = FILE_SHARE_READ | FILE_SHARE_DELETE;

// A sampler must not lose a sample to a reader that holds a file for a moment,
// so a refused open or rename is tried again shortly; the test counts every
// refusal all the same.
constexpr int attemptLimit = 10;
constexpr DWORD retryDelayMs = 5;

constexpr std::uint64_t ticksPerHour = 36000000000ull;

struct Settings {
    std::wstring directory;
    unsigned rowsPerFile = 16;
    unsigned keep = 4;
    DWORD tickMs = 40;
    DWORD maxSeconds = 600;
};

struct Report {
    std::uint64_t rows = 0;
    std::uint64_t rotations = 0;
    std::uint64_t failedAttempts = 0;
    std::uint64_t failedOperations = 0;
    std::uint64_t appends = 0;
    double maxWriteUs = 0;
    double totalWriteUs = 0;
    double maxRotationUs = 0;
    double totalRotationUs = 0;
};

std::atomic<bool> stopRequested{false};

// The test ends the sampler by closing its standard input.
void watchStandardInput() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[256];
    DWORD received = 0;
    while (ReadFile(input, buffer, sizeof buffer, &received, nullptr) && received > 0) {
    }
    stopRequested = true;
}

std::wstring widen(const char* text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? static_cast<std::size_t>(length - 1) : 0, L'\0');
    if (length > 1) {
        MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    }
    return wide;
}

std::string narrow(const std::wstring& text) {
    return utilities::Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

[[nodiscard]] bool parseNumber(const char* text, unsigned long minimum, unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(text, &end, 10);
    return *text != '\0' && *end == '\0' && value >= minimum;
}

[[nodiscard]] bool parseArguments(int argc, char** argv, Settings& settings) {
    if (argc < 2 || argc % 2 != 0) {
        return false;
    }
    settings.directory = widen(argv[1]);
    for (int i = 2; i < argc; i += 2) {
        unsigned long value = 0;
        if (!parseNumber(argv[i + 1], 1, value)) {
            return false;
        }
        if (std::strcmp(argv[i], "--rows-per-file") == 0) {
            settings.rowsPerFile = value;
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            settings.keep = value;
        } else if (std::strcmp(argv[i], "--tick-ms") == 0) {
            settings.tickMs = value;
        } else if (std::strcmp(argv[i], "--max-seconds") == 0) {
            settings.maxSeconds = value;
        } else {
            return false;
        }
    }
    return true;
}

std::wstring historyPath(const Settings& settings, unsigned index) {
    std::wstring path = settings.directory + L"\\ZelPerformance.csv";
    return index == 0 ? path : path + L"." + std::to_wstring(index);
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::uint64_t systemTicks() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

// The clock truncated to the millisecond, so a row is never dated after the
// moment it is written.
std::string currentTimestamp() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    SYSTEMTIME time;
    FileTimeToSystemTime(&now, &time);
    return sampler::formatHistoryTimestamp(
        {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds});
}

std::int64_t performanceCounter() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

double microsecondsSince(std::int64_t start) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(performanceCounter() - start) * 1e6 / static_cast<double>(frequency.QuadPart);
}

void printLine(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

bool isTransient(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

void reportFailure(const char* name, const std::wstring& path, DWORD error, int attemptNumber, Report& report) {
    ++report.failedAttempts;
    printLine(std::string("failure ") + name + " " + std::to_string(error) + " " + std::to_string(attemptNumber) + " " +
              narrow(path));
}

// Runs call until it succeeds, reporting every failed attempt; only refusals
// that a reader letting go could end are tried again.
template <typename Call>
[[nodiscard]] bool attempt(const char* name, const std::wstring& path, Report& report, Call call) {
    for (int attemptNumber = 1;; ++attemptNumber) {
        if (call()) {
            return true;
        }
        const DWORD error = GetLastError();
        reportFailure(name, path, error, attemptNumber, report);
        if (attemptNumber == attemptLimit || !isTransient(error)) {
            ++report.failedOperations;
            return false;
        }
        Sleep(retryDelayMs);
    }
}

// Append-only access: every write lands at the end of the file, wherever the
// file pointer stands.
[[nodiscard]] bool openForAppending(const std::wstring& path, DWORD disposition, FileHandle& file, Report& report) {
    return attempt("CreateFileW", path, report, [&] {
        *file.put() = OwnedHandle(CreateFileW(path.c_str(), FILE_APPEND_DATA, appendShareMode, nullptr, disposition,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        return static_cast<bool>(file);
    });
}

// One WriteFile for the whole text, so a reader sees a line either whole or
// not yet ended. Never retried: part of it may already be in the file.
[[nodiscard]] bool writeText(const std::wstring& path, const FileHandle& file, const std::string& text,
                             Report& report) {
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        reportFailure("WriteFile", path, GetLastError(), 1, report);
    } else if (written != text.size()) {
        reportFailure("WriteFile", path, ERROR_WRITE_FAULT, 1, report);
    } else {
        return true;
    }
    ++report.failedOperations;
    return false;
}

[[nodiscard]] bool appendRow(const Settings& settings, const std::string& row, Report& report) {
    const std::wstring path = historyPath(settings, 0);
    FileHandle file;
    // OPEN_EXISTING: a newest file that vanished must not come back without its header.
    return openForAppending(path, OPEN_EXISTING, file, report) && writeText(path, file, row, report);
}

// Moves every kept file up one number and the newest to ".1", making room
// for a new newest file.
[[nodiscard]] bool shiftHistoryFiles(const Settings& settings, Report& report) {
    bool shifted = true;
    const std::wstring oldest = historyPath(settings, settings.keep);
    if (exists(oldest)) {
        // Renamed away before it is deleted: a reader may still hold it, and
        // Windows keeps a deleted file's name until the last handle closes,
        // which would refuse the rename of the next file into that name.
        const std::wstring retired = settings.directory + L"\\ZelPerformance.csv.retired." +
                                     std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(report.rotations);
        shifted = attempt("MoveFileExW", oldest, report,
                          [&] { return MoveFileExW(oldest.c_str(), retired.c_str(), 0) != FALSE; }) &&
                  attempt("DeleteFileW", retired, report, [&] { return DeleteFileW(retired.c_str()) != FALSE; });
    }
    for (unsigned index = settings.keep; index-- > 0;) {
        const std::wstring from = historyPath(settings, index);
        const std::wstring to = historyPath(settings, index + 1);
        if (exists(from) &&
            !attempt("MoveFileExW", from, report, [&] { return MoveFileExW(from.c_str(), to.c_str(), 0) != FALSE; })) {
            shifted = false;
        }
    }
    return shifted;
}

// Header and first row go out in one write: a newest file holding only its
// header would hide all older history from the collector.
[[nodiscard]] bool startNewestFile(const Settings& settings, const std::string& header, const std::string& row,
                                   Report& report) {
    const std::wstring path = historyPath(settings, 0);
    FileHandle file;
    return openForAppending(path, CREATE_NEW, file, report) && writeText(path, file, header + row, report);
}

void writeSample(const Settings& settings, const std::string& header, const std::string& row, unsigned& rowsInNewest,
                 Report& report) {
    const std::int64_t started = performanceCounter();
    if (rowsInNewest > 0 && rowsInNewest < settings.rowsPerFile) {
        if (appendRow(settings, row, report)) {
            ++rowsInNewest;
            ++report.rows;
        }
        const double elapsed = microsecondsSince(started);
        ++report.appends;
        report.totalWriteUs += elapsed;
        report.maxWriteUs = std::max(report.maxWriteUs, elapsed);
        return;
    }
    const bool rotating = exists(historyPath(settings, 0));
    const std::uint64_t begin = systemTicks();
    if (rotating) {
        // A failed shift is already counted in the report, and CREATE_NEW below
        // then refuses to start over a newest file that is still there.
        static_cast<void>(shiftHistoryFiles(settings, report));
    }
    if (startNewestFile(settings, header, row, report)) {
        rowsInNewest = 1;
        ++report.rows;
    }
    if (rotating) {
        const std::uint64_t end = systemTicks();
        const double elapsed = microsecondsSince(started);
        ++report.rotations;
        report.totalRotationUs += elapsed;
        report.maxRotationUs = std::max(report.maxRotationUs, elapsed);
        printLine("rotation " + std::to_string(report.rotations) + " " + std::to_string(begin) + " " +
                  std::to_string(end));
    }
}

void printSummary(const Report& report, bool timedOut) {
    char line[512];
    std::snprintf(line, sizeof line,
                  "summary rows=%llu rotations=%llu failed_attempts=%llu failed_operations=%llu timed_out=%d "
                  "max_write_us=%.0f mean_write_us=%.0f max_rotation_us=%.0f mean_rotation_us=%.0f",
                  static_cast<unsigned long long>(report.rows), static_cast<unsigned long long>(report.rotations),
                  static_cast<unsigned long long>(report.failedAttempts),
                  static_cast<unsigned long long>(report.failedOperations), timedOut ? 1 : 0, report.maxWriteUs,
                  report.appends ? report.totalWriteUs / static_cast<double>(report.appends) : 0.0,
                  report.maxRotationUs,
                  report.rotations ? report.totalRotationUs / static_cast<double>(report.rotations) : 0.0);
    printLine(line);
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (!parseArguments(argc, argv, settings)) {
        std::fputs("usage: sampler_standin DIRECTORY [--rows-per-file N] [--keep K] [--tick-ms MS] [--max-seconds S]\n",
                   stderr);
        return 2;
    }
    std::thread(watchStandardInput).detach();

    // One boot for the whole run, an hour before the sampler started.
    sampler::DriverCounters counters = sampler::startCounters(systemTicks() - ticksPerHour);
    const std::string header = sampler::historyHeader() + "\r\n";
    unsigned rowsInNewest = 0;
    Report report;
    const ULONGLONG deadline = GetTickCount64() + ULONGLONG{settings.maxSeconds} * 1000;
    bool timedOut = false;
    while (!stopRequested) {
        if (GetTickCount64() >= deadline) {
            timedOut = true;
            break;
        }
        sampler::advance(counters);
        writeSample(settings, header, sampler::historyRow(currentTimestamp(), counters) + "\r\n", rowsInNewest, report);
        Sleep(settings.tickMs);
    }
    printSummary(report, timedOut);
    return report.failedAttempts == 0 && !timedOut ? 0 : 1;
}
