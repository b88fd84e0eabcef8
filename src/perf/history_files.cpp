#include "perf/history_files.h"

#include <algorithm>

#include "perf/history_file_source.h"
#include "perf/perf_timestamp.h"

namespace {

#ifdef _WIN32
constexpr wchar_t pathSeparator = L'\\';
#else
constexpr wchar_t pathSeparator = L'/';
#endif

constexpr wchar_t historyFileName[] = L"ZelPerformance.csv";
constexpr std::string_view timestampHeader = "timestamp";

bool startsWithTimestamp(const CsvRow& header) { return !header.empty() && header[0] == timestampHeader; }

}  // namespace

std::wstring historyFilePath(const std::wstring& directory, std::uint64_t index) {
    std::wstring path = directory + pathSeparator + historyFileName;
    if (index != 0) {
        path += L'.';
        path += std::to_wstring(index);
    }
    return path;
}

std::vector<std::wstring> selectHistoryFiles(const std::wstring& directory, std::uint64_t cutoff) {
    CsvReader in;
    return selectHistoryFiles(directory, cutoff, in);
}

std::vector<std::wstring> selectHistoryFiles(const std::wstring& directory, std::uint64_t cutoff, CsvReader& in) {
    std::vector<std::wstring> newestFirst;
    CsvRow header;
    CsvRow firstRow;
    for (std::uint64_t index = 0;; ++index) {
        std::wstring path = historyFilePath(directory, index);
        in.reset(openHistoryFile(path));
        // Both rows are read before either is judged: a broken quote in the
        // first data row ends the run even under a header that would not do.
        if (!readHistoryRow(in, header) || !readHistoryRow(in, firstRow)) {
            break;
        }
        const std::optional<HistoryColumns> columns = locateHistoryColumns(header);
        std::uint64_t firstTimestamp = 0;
        if (!columns || firstRow.size() != columns->fieldCount || !parsePerfTimestamp(firstRow[0], firstTimestamp)) {
            break;
        }
        newestFirst.push_back(std::move(path));
        // This file already reaches back past the cutoff: older ones are not needed.
        if (firstTimestamp < cutoff) {
            break;
        }
    }
    std::reverse(newestFirst.begin(), newestFirst.end());
    return newestFirst;
}

std::optional<HistoryColumns> locateHistoryColumns(const CsvRow& header) {
    if (!startsWithTimestamp(header)) {
        return std::nullopt;
    }
    HistoryColumns columns;
    columns.fieldCount = header.size();
    for (const auto& [id, name] : perfCounterColumns) {
        std::size_t position = 0;
        while (position < header.size() && header[position] != name) {
            ++position;
        }
        if (position == header.size()) {
            return std::nullopt;
        }
        columns.positions[static_cast<std::size_t>(id)] = position;
    }
    return columns;
}

bool decodeHistoryRow(const CsvRow& row, const HistoryColumns& columns, std::uint64_t now, std::uint64_t cutoff,
                      PerfSample& sample) {
    if (row.size() != columns.fieldCount || !parsePerfTimestamp(row[0], sample.timestamp) ||
        sample.timestamp < cutoff || sample.timestamp > now) {
        return false;
    }
    return row.parseUnsignedFields(columns.positions.data(), perfColumnCount, sample.values.data());
}
