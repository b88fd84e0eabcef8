#include "perf/perf_telemetry.h"

#include "perf/csv_reader.h"
#include "perf/history_file_source.h"
#include "perf/history_files.h"
#include "perf/perf_columns.h"
#include "perf/perf_statistics.h"

namespace {

// The chain of usable samples runs across files: the last sample of one file
// and the first of the next newer one form an interval like any other pair.
// Rows are decoded into next(); a usable one is then added, and the two
// samples trade places rather than being copied.
class IntervalChain {
public:
    PerfSample& next() { return samples_[1 - previous_]; }

    void addNext() {
        const PerfSample& sample = samples_[1 - previous_];
        if (havePrevious_ && formPerfInterval(samples_[previous_], sample, interval_)) {
            addInterval(statistics_, interval_.deltas);
            addToColumnTotals(totals_, interval_);
        }
        havePrevious_ = true;
        previous_ = 1 - previous_;
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
    PerfSample samples_[2];
    int previous_ = 0;
    PerfInterval interval_;
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
    while (readHistoryRow(in, row)) {
        if (decodeHistoryRow(row, *columns, now, cutoff, chain.next())) {
            chain.addNext();
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
