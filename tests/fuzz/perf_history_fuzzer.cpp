// The whole performance scan over fuzzed history files.
//
// A unit-separator byte (0x1F) and the byte after it stand for a quarter of
// the reader's line limit of that byte, so short inputs make lines under, at
// and over the limit; after the first 16 runs (four line limits) the marker
// is an ordinary byte, so that no input grows by more than 4 MiB and the
// memory of a long run stays well under libFuzzer's limit. The input is then
// cut at record-separator bytes (0x1E) into at most four pieces: the first
// becomes "ZelPerformance.csv", the next ones ".1", ".2" and ".3" (an empty
// piece leaves its file out, a gap in the numbering). scanPerfHistory
// reads them from a directory of this process's own with a fixed now. Only the
// quote exception may leave it. Its result must hold known names with finite,
// non-negative values in their pairs, and must equal, to the bit, what a plain
// restatement of the file selection, the row rules and the sample chain
// computes from the same bytes in memory. That restatement shares the row
// reader, the field parsers and the statistics with the scan (each is fuzzed
// or tested on its own); what it checks is how the scan puts them together.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "fuzz_check.h"
#include "perf/csv_reader.h"
#include "perf/perf_columns.h"
#include "perf/perf_statistics.h"
#include "perf/perf_telemetry.h"
#include "perf/perf_timestamp.h"

namespace {

constexpr std::uint64_t fixedNow = 133617168000000000ULL;  // 2024-06-01T12:00:00.000Z
constexpr std::uint64_t fixedCutoff = fixedNow - historyWindow;
constexpr std::size_t maxFiles = 4;
constexpr char fileSeparator = '\x1e';
constexpr char runMarker = '\x1f';
constexpr std::size_t runLength = csvLineLimit / 4;
constexpr std::size_t maxRuns = 16;

const char* const intervalStems[] = {
    "AntiMalwareFilterTime", "EventJournalFilterTime", "TPFilterTime",    "OrbFilterTime",  "PinHashTime",
    "PinHashSpeed",          "PinQixScanTime",         "PinQixScanSpeed", "PinOrbScanTime", "PinOrbScanSpeed",
    "PinEJHashTime",         "PinEJHashSpeed",         "HmrOnExecTime",   "HmrOnOpenTime",  "HmrOnCloseTime",
};

struct CacheNames {
    const char* total;
    std::vector<const char*> rates;
};

const CacheNames cacheNames[] = {
    {"pinHashCacheTotal", {"pinHashCacheHitRate", "pinHashCacheMissRate", "pinHashCacheInvalidRate"}},
    {"pinQixPropTotal", {"pinQixPropHitRate", "pinQixPropMissRate", "pinQixPropInvalidRate"}},
    {"pinOrbPropTotal", {"pinOrbPropHitRate", "pinOrbPropMissRate", "pinOrbPropInvalidRate"}},
    {"pinDecisionTotal",
     {"pinDecisionHitRate", "pinDecisionMissRate", "pinDecisionInvalidRate", "pinDecisionExpiredRate"}},
    {"pinEJHashCacheTotal", {"pinEJHashCacheHitRate", "pinEJHashCacheMissRate", "pinEJHashCacheInvalidRate"}},
};

std::filesystem::path historyDirectory;

void removeHistoryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(historyDirectory, ignored);
}

std::string expandRuns(std::string_view input) {
    std::string bytes;
    std::size_t runs = 0;
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == runMarker && i + 1 < input.size() && runs < maxRuns) {
            ++runs;
            bytes.append(runLength, input[++i]);
        } else {
            bytes += input[i];
        }
    }
    return bytes;
}

std::vector<std::string_view> splitIntoFiles(std::string_view input) {
    std::vector<std::string_view> files;
    for (std::size_t cut; files.size() + 1 < maxFiles && (cut = input.find(fileSeparator)) != std::string_view::npos;) {
        files.push_back(input.substr(0, cut));
        input.remove_prefix(cut + 1);
    }
    files.push_back(input);
    return files;
}

void writeHistoryFiles(const std::vector<std::string_view>& files) {
    for (std::size_t index = 0; index < maxFiles; ++index) {
        std::string name = "ZelPerformance.csv";
        if (index != 0) {
            name += "." + std::to_string(index);
        }
        const std::filesystem::path path = historyDirectory / name;
        if (index < files.size() && !files[index].empty()) {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(files[index].data(), static_cast<std::streamsize>(files[index].size()));
            require(static_cast<bool>(out.flush()), "cannot write a history file");
        } else {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    }
}

// ---- The restatement, over the pieces in memory ----

// One reader for the whole run: a reader's window is large, and allocating
// one for every file would make the sanitizers the bulk of the work.
CsvReader& textReader(std::string_view bytes) {
    static CsvReader reader;
    reader.reset(std::make_unique<CsvTextSource>(std::string(bytes)));
    return reader;
}

bool isHistoryHeader(const CsvRow& header) { return !header.empty() && header[0] == "timestamp"; }

// Leftmost position of every column in the header, or none when one is missing.
std::optional<std::vector<std::size_t>> columnPositions(const CsvRow& header) {
    std::vector<std::size_t> positions;
    for (const auto& [id, name] : perfCounterColumns) {
        std::size_t position = 0;
        while (position < header.size() && header[position] != name) {
            ++position;
        }
        if (position == header.size()) {
            return std::nullopt;
        }
        positions.push_back(position);
    }
    return positions;
}

// The walk from index 0: a file that is missing or unusable ends it (left
// out), and so does the first one whose first sample predates the cutoff
// (kept). Newest first.
std::vector<std::size_t> selectedFiles(const std::vector<std::string_view>& files) {
    std::vector<std::size_t> selected;
    for (std::size_t index = 0; index < files.size() && !files[index].empty(); ++index) {
        CsvReader& in = textReader(files[index]);
        CsvRow header;
        CsvRow first;
        if (!readCsvRow(in, header).good() || !readCsvRow(in, first).good()) {
            break;
        }
        std::uint64_t firstTimestamp = 0;
        if (!columnPositions(header) || !isHistoryHeader(header) || first.size() != header.size() ||
            !parsePerfTimestamp(first[0], firstTimestamp)) {
            break;
        }
        selected.push_back(index);
        if (firstTimestamp < fixedCutoff) {
            break;
        }
    }
    return selected;
}

bool usableSample(const CsvRow& row, const CsvRow& header, const std::vector<std::size_t>& positions,
                  PerfSample& sample) {
    if (row.size() != header.size() || !parsePerfTimestamp(row[0], sample.timestamp) ||
        sample.timestamp < fixedCutoff || sample.timestamp > fixedNow) {
        return false;
    }
    for (std::size_t k = 0; k < perfColumnCount; ++k) {
        if (!parseUnsignedField(row[positions[k]], sample.values[k])) {
            return false;
        }
    }
    return true;
}

MetricMap restatedScan(const std::vector<std::string_view>& files) {
    const std::vector<std::size_t> newestFirst = selectedFiles(files);
    IntervalStatistics statistics;
    ColumnTotals totals;
    std::optional<PerfSample> previous;
    for (auto index = newestFirst.rbegin(); index != newestFirst.rend(); ++index) {
        CsvReader& in = textReader(files[*index]);
        CsvRow header;
        if (!readCsvRow(in, header).good() || !isHistoryHeader(header)) {
            continue;
        }
        const std::optional<std::vector<std::size_t>> positions = columnPositions(header);
        if (!positions) {
            continue;
        }
        CsvRow row;
        PerfSample sample;
        while (readCsvRow(in, row).good()) {
            if (!usableSample(row, header, *positions, sample)) {
                continue;
            }
            if (previous) {
                if (const std::optional<PerfInterval> interval = formPerfInterval(*previous, sample)) {
                    addInterval(statistics, interval->deltas);
                    totals.intervalCount += 1;
                    for (std::size_t i = 0; i < perfColumnCount; ++i) {
                        totals.columnSum[i] += static_cast<double>(interval->deltas[i]);
                    }
                }
            }
            previous = sample;
        }
    }
    MetricMap metrics = intervalMetrics(statistics);
    const MetricMap caches = cacheMetrics(totals);
    metrics.insert(caches.begin(), caches.end());
    return metrics;
}

// ---- What any result must look like ----

void checkResult(const MetricMap& metrics) {
    std::set<std::string> known;
    for (const char* stem : intervalStems) {
        const bool hasMean = metrics.count(std::string("avg") + stem) != 0;
        const bool hasDeviation = metrics.count(std::string("stdev") + stem) != 0;
        require(hasMean == hasDeviation, "a mean without its deviation or the reverse");
        known.insert(std::string("avg") + stem);
        known.insert(std::string("stdev") + stem);
    }
    const bool haveCaches = metrics.count(cacheNames[0].total) != 0;
    for (const CacheNames& cache : cacheNames) {
        const auto total = metrics.find(cache.total);
        require((total != metrics.end()) == haveCaches, "some cache totals present, others absent");
        known.insert(cache.total);
        for (const char* rate : cache.rates) {
            const bool hasRate = metrics.count(rate) != 0;
            require(hasRate == (total != metrics.end() && total->second != 0.0),
                    "a rate present without a non-zero total, or absent beside one");
            known.insert(rate);
        }
        if (total != metrics.end()) {
            require(std::floor(total->second) == total->second, "a lookup total that is not a whole number");
        }
    }
    bool anyMean = false;
    for (const auto& [name, value] : metrics) {
        require(known.count(name) != 0, "an unknown metric name");
        require(std::isfinite(value) && value >= 0.0, "a metric that is not a finite non-negative number");
        anyMean = anyMean || name.compare(0, 3, "avg") == 0;
    }
    // A mean rests on at least 12 intervals, and so many intervals give the caches.
    require(!anyMean || haveCaches, "means without the cache totals");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvex-history-fuzz-XXXXXX").string();
    require(mkdtemp(pattern.data()) != nullptr, "cannot create the history directory");
    historyDirectory = pattern;
    std::atexit(removeHistoryDirectory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = expandRuns(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::vector<std::string_view> files = splitIntoFiles(input);
    writeHistoryFiles(files);

    const std::string directory = historyDirectory.string();
    std::optional<MetricMap> scanned;
    try {
        scanned = scanPerfHistory(std::wstring(directory.begin(), directory.end()), fixedNow);
    } catch (const Corvex::Csv::csv_exception&) {
    }
    std::optional<MetricMap> restated;
    try {
        restated = restatedScan(files);
    } catch (const Corvex::Csv::csv_exception&) {
    }

    require(scanned.has_value() == restated.has_value(), "the scan and its restatement disagree on the quote error");
    if (scanned) {
        checkResult(*scanned);
        require(*scanned == *restated, "the scan's result differs from its restatement");
    }
    return 0;
}
