// Walks a history directory the two ways the collector's code can: every row of
// every numbered file through the CSV reader (carrying on past a row with an
// odd number of quotes, as the reader allows), then the whole scan. Run under
// valgrind on broken histories; prints what it saw so a test can tell the
// paths were taken.
//
//   history_walk DIRECTORY NOW_TICKS
#include <cstdio>
#include <cstdlib>
#include <string>

#include "perf/csv_reader.h"
#include "perf/history_file_source.h"
#include "perf/history_files.h"
#include "perf/perf_telemetry.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DIRECTORY NOW_TICKS\n", argv[0]);
        return 2;
    }
    const std::string narrowDirectory = argv[1];
    const std::wstring directory(narrowDirectory.begin(), narrowDirectory.end());
    const std::uint64_t now = std::strtoull(argv[2], nullptr, 10);

    unsigned long files = 0;
    unsigned long rows = 0;
    unsigned long oddQuoteRows = 0;
    CsvRow row;
    for (std::uint64_t index = 0; index < 16; ++index) {
        CsvReader in(openHistoryFile(historyFilePath(directory, index)));
        if (!in.good()) {
            continue;
        }
        ++files;
        while (true) {
            try {
                if (!readCsvRow(in, row).good()) {
                    break;
                }
                ++rows;
            } catch (const Corvex::Csv::csv_exception&) {
                ++oddQuoteRows;
            }
        }
    }
    std::printf("files %lu rows %lu odd-quote rows %lu\n", files, rows, oddQuoteRows);

    try {
        const MetricMap metrics = scanPerfHistory(directory, now);
        std::printf("scan: %zu figures\n", metrics.size());
    } catch (const Corvex::Csv::csv_exception& error) {
        std::printf("scan: %s\n", error.what());
    }
    return 0;
}
