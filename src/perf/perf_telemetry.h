#pragma once
// The "zelPerfTelemetry" section: statistics over the last 24 hours of the
// performance history.
#include <cstdint>
#include <string>
#include <vector>

#include "perf/csv_reader.h"
#include "perf/metric_map.h"

// 24 hours in FILETIME ticks.
constexpr std::uint64_t historyWindow = 864000000000ULL;

// Where the performance sampler keeps its history, below ProgramData.
constexpr wchar_t perfHistorySubdirectory[] = L"\\Corvex\\Valmere\\Logs\\Perf";

// Streams the given history files, oldest first, and returns the statistics
// of the intervals between consecutive usable samples of one run of the
// driver. A file whose header no longer holds the columns is passed over; the
// chain of samples runs on across it.
MetricMap scanHistoryFiles(const std::vector<std::wstring>& files, std::uint64_t now, std::uint64_t cutoff);
MetricMap scanHistoryFiles(const std::vector<std::wstring>& files, std::uint64_t now, std::uint64_t cutoff,
                           CsvReader& in);

// Streams the history files of directory that cover [now - 24 h, now], forms
// the intervals between consecutive samples of one run of the driver and
// returns their statistics. Memory stays fixed whatever the number of rows.
// Throws Corvex::Csv::csv_exception on a row with an odd number of quotes.
MetricMap scanPerfHistory(const std::wstring& directory, std::uint64_t now);

// The system's part: the current time, the ProgramData folder, then the scan.
// Throws what the ProgramData lookup and the scan throw.
MetricMap collectPerfTelemetry();
