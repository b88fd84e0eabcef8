#pragma once
// The performance history on disk: which numbered files cover the window, where
// the 52 columns stand in a file, and when a data row is a usable sample.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "perf/csv_reader.h"
#include "perf/perf_columns.h"

// Index 0 is "ZelPerformance.csv" in directory (the newest rows), index N its
// older sibling "ZelPerformance.csv.N".
std::wstring historyFilePath(const std::wstring& directory, std::uint64_t index);

// The files to scan, oldest first and index 0 last. The walk goes from index 0
// upwards and stops at the first file that is missing or unusable (left out:
// its header lacks a column, or its first data row is malformed), or after
// the first file whose first sample is older than cutoff (kept).
std::vector<std::wstring> selectHistoryFiles(const std::wstring& directory, std::uint64_t cutoff);
// The same through a reader of the caller's, whose window the scan then reuses.
std::vector<std::wstring> selectHistoryFiles(const std::wstring& directory, std::uint64_t cutoff, CsvReader& in);

// Where a file's header puts the timestamp's fellow columns.
struct HistoryColumns {
    std::size_t fieldCount = 0;
    std::array<std::size_t, perfColumnCount> positions{};  // by column id; leftmost occurrence
};

// None unless the first field is exactly "timestamp" and all 52 names stand
// in the header.
[[nodiscard]] std::optional<HistoryColumns> locateHistoryColumns(const CsvRow& header);

// The row rules: same field count as the header, a valid timestamp within
// [cutoff, now], and 52 decodable counter fields. On refusal sample may hold
// part of the row.
[[nodiscard]] bool decodeHistoryRow(const CsvRow& row, const HistoryColumns& columns, std::uint64_t now,
                                    std::uint64_t cutoff, PerfSample& sample);

// True while the reader is good, the only state in which row holds a line.
[[nodiscard]] inline bool readHistoryRow(CsvReader& in, CsvRow& row) { return readCsvRow(in, row).good(); }
