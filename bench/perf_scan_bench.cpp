// Times the performance scan over a history directory, as the collector runs
// it, and reports what a benchmark driver needs as one JSON object on stdout:
// the best wall time of the repeats, the bytes of history, the peak resident
// memory of this program (VmHWM: unlike getrusage's figure, it starts afresh
// at exec rather than carrying over the parent's; on Windows the peak working
// set), and the metrics (so a peer's figures can be checked against ours).
// Built for the host and for Windows, where it runs the shipped build's code
// under Wine without the rest of the collector's run around it.
//
//   perf_scan_bench DIRECTORY NOW_TICKS [REPEATS]
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>
#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#endif

#include "perf/csv_reader.h"
#include "perf/history_files.h"
#include "perf/perf_telemetry.h"

namespace {

std::wstring widen(const char* text) {
    std::wstring wide;
    for (const char* p = text; *p != '\0'; ++p) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    return wide;
}

[[maybe_unused]] std::string narrow(const std::wstring& wide) {
    std::string text;
    for (const wchar_t c : wide) {
        text += static_cast<char>(c);
    }
    return text;
}

long peakResidentKib() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        return -1;
    }
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
#else
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
#endif
}

long long fileSize(const std::wstring& path) {
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
#else
    struct stat status {};
    return ::stat(narrow(path).c_str(), &status) == 0 ? static_cast<long long>(status.st_size) : 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DIRECTORY NOW_TICKS [REPEATS]\n", argv[0]);
        return 2;
    }
    const std::wstring directory = widen(argv[1]);
    const std::uint64_t now = std::strtoull(argv[2], nullptr, 10);
    const int repeats = argc > 3 ? std::atoi(argv[3]) : 1;

    // The bytes the scan reads: the files the selection keeps.
    const std::uint64_t cutoff = now > historyWindow ? now - historyWindow : 0;
    long long bytes = 0;
    for (const std::wstring& path : selectHistoryFiles(directory, cutoff)) {
        bytes += fileSize(path);
    }

    try {
        MetricMap metrics;
        double best = 0.0;
        for (int i = 0; i < repeats; ++i) {
            const auto start = std::chrono::steady_clock::now();
            metrics = scanPerfHistory(directory, now);
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
            if (i == 0 || elapsed.count() < best) {
                best = elapsed.count();
            }
        }
        std::printf("{\"seconds\": %.6f, \"bytes\": %lld, \"peak_rss_kib\": %ld, \"metrics\": {", best, bytes,
                    peakResidentKib());
        const char* separator = "";
        for (const auto& [name, value] : metrics) {
            std::printf("%s\"%s\": %.17g", separator, name.c_str(), value);
            separator = ", ";
        }
        std::printf("}}\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "perf_scan_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
