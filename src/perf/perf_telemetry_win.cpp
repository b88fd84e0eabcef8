#include <windows.h>

#include "perf/perf_telemetry.h"
#include "utilities/known_folder_path_locator.h"

MetricMap collectPerfTelemetry() {
    FILETIME time{};
    GetSystemTimeAsFileTime(&time);
    const std::uint64_t now = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const std::wstring directory = utilities::KnownFolderPathLocator::ProgramData() + perfHistorySubdirectory;
    return scanPerfHistory(directory, now);
}
