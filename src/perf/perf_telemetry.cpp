#include "perf/perf_telemetry.h"

#include "perf/csv_reader.h"
#include "perf/history_files.h"
#include "perf/history_file_source.h"
#include "perf/perf_columns.h"
#include "perf/perf_statistics.h"

namespace {

// The chain of usable samples runs across files: the last sample of one file
// and the first of the next newer one form an interval like any other pair.
class IntervalChain {
public:
    void add(const PerfSample& sample) {
        if (havePrevious_) {
            if (const auto interval = formPerfInterval(previous_, sample)) {
                addInterval(statistics_, interval->deltas);
                addToColumnTotals(totals_, *interval);
            }
        }
        havePrevious_ = true;
        previous_ = sample;
    }

    MetricMap metrics() const {
        MetricMap result = intervalMetrics(statistics_);
        const MetricMap caches = cacheMetrics(totals_);
        result.insert(caches.begin(), caches.end());
        return result;
    }

private:
    IntervalStatistics statistics_;
    ColumnTotals totals_;
    bool havePrevious_ = false;
    PerfSample previous_;
};

void scanHistoryFile(const std::wstring& path, std::uint64_t now, std::uint64_t cutoff, CsvReader& in, CsvRow& row,
                     IntervalChain& chain) {
    in.reset(openHistoryFile(path));
    if (!readHistoryRow(in, row)) {
        return;
    }
    const std::optional<HistoryColumns> columns = locateHistoryColumns(row);
    if (!columns) {
        return;
    }
    PerfSample sample;
    while (readHistoryRow(in, row)) {
        if (decodeHistoryRow(row, *columns, now, cutoff, sample)) {
            chain.add(sample);
        }
    }
}

}  // namespace

MetricMap scanHistoryFiles(const std::vector<std::wstring>& files, std::uint64_t now, std::uint64_t cutoff) {
    CsvReader in;
    return scanHistoryFiles(files, now, cutoff, in);
}

MetricMap scanHistoryFiles(const std::vector<std::wstring>& files, std::uint64_t now, std::uint64_t cutoff,
                           CsvReader& in) {
    IntervalChain chain;
    CsvRow row;  // one row buffer for every file, so the row path stops allocating once warm
    for (const std::wstring& path : files) {
        scanHistoryFile(path, now, cutoff, in, row, chain);
    }
    return chain.metrics();
}

MetricMap scanPerfHistory(const std::wstring& directory, std::uint64_t now) {
    // Saturating, so a clock inside the first day of 1601 cannot wrap the window.
    const std::uint64_t cutoff = now > historyWindow ? now - historyWindow : 0;
    // One reader window for the selection and the scan of every file.
    CsvReader in;
    return scanHistoryFiles(selectHistoryFiles(directory, cutoff, in), now, cutoff, in);
}
