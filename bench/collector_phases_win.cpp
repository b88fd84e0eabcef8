// The collector's own work, source by source: the same report as the shipped
// collector builds, from the same sources, each call timed. Run under Wine, it
// splits the part of a run that is the collector's from the part that is
// starting a Windows program and loading its DLLs. Prints one JSON object:
// the seconds of each source in the first report of the process (what a run
// of the collector pays) and in the best of the later ones, and the bytes of
// the document.
//
//   collector_phases.exe [REPEATS]
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "app/installed_settings.h"
#include "app/minifilter_information.h"
#include "app/report_frame.h"
#include "counters/counter_section.h"
#include "perf/perf_telemetry.h"

namespace {

enum Phase { versions, tamperProtection, counters, clock, minifilter, perfTelemetry, phaseCount };
// clang-format off
const char* const phaseNames[phaseCount] = {"registry: versions", "registry: tamper protection",
                                            "PDH: counter sections", "clock",
                                            "ProgramData and telemetry.log", "ProgramData and history"};
// clang-format on

double seconds[phaseCount];

double ticksToSeconds(LONGLONG ticks) {
    static const double frequency = [] {
        LARGE_INTEGER value{};
        QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    return static_cast<double>(ticks) / frequency;
}

LONGLONG ticksNow() {
    LARGE_INTEGER value{};
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

class Stopwatch {
public:
    explicit Stopwatch(Phase phase) : phase_(phase), start_(ticksNow()) {}
    ~Stopwatch() { seconds[phase_] += ticksToSeconds(ticksNow() - start_); }
    Stopwatch(const Stopwatch&) = delete;
    Stopwatch& operator=(const Stopwatch&) = delete;

private:
    Phase phase_;
    LONGLONG start_;
};

std::string timedServiceVersion(const char* serviceName) {
    const Stopwatch timing(versions);
    return readServiceVersion(serviceName);
}

ZelTamperProtection timedZelTamperProtection() {
    const Stopwatch timing(tamperProtection);
    return readZelTamperProtection();
}

bool timedOrbTamperProtection() {
    const Stopwatch timing(tamperProtection);
    return readOrbTamperProtection();
}

void timedCounterSection(std::ostream& document, std::size_t count, const CounterSpec* rows, const char* instance) {
    const Stopwatch timing(counters);
    writeCounterSection(document, count, rows, instance);
}

std::int64_t timedSystemTime() {
    const Stopwatch timing(clock);
    LARGE_INTEGER now{};
    NtQuerySystemTime(&now);
    return now.QuadPart;
}

void timedMinifilterInformation(std::ostream& document) {
    const Stopwatch timing(minifilter);
    writeMinifilterInformation(document);
}

MetricMap timedPerfTelemetry() {
    const Stopwatch timing(perfTelemetry);
    return collectPerfTelemetry();
}

// clang-format off
const ReportSources timedSources = {
    timedServiceVersion,        timedZelTamperProtection, timedOrbTamperProtection, timedCounterSection,
    timedSystemTime,            timedMinifilterInformation, timedPerfTelemetry,
};
// clang-format on

void printPhases(const char* name, const double (&phases)[phaseCount], double total) {
    std::printf("\"%s\": {", name);
    double sources = 0.0;
    for (int phase = 0; phase < phaseCount; ++phase) {
        std::printf("\"%s\": %.6f, ", phaseNames[phase], phases[phase]);
        sources += phases[phase];
    }
    std::printf("\"the frame and the rest\": %.6f, \"total\": %.6f}", total - sources, total);
}

}  // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::atoi(argv[1]) : 10;
    double first[phaseCount] = {};
    double best[phaseCount] = {};
    double firstTotal = 0.0;
    double bestTotal = 0.0;
    std::size_t bytes = 0;
    try {
        for (int i = 0; i < repeats; ++i) {
            for (double& phase : seconds) phase = 0.0;
            const LONGLONG start = ticksNow();
            std::ostringstream document;
            writeReport(document, timedSources);
            bytes = document.str().size();
            const double total = ticksToSeconds(ticksNow() - start);
            if (i == 0) {
                firstTotal = total;
                for (int phase = 0; phase < phaseCount; ++phase) first[phase] = seconds[phase];
            } else if (i == 1 || total < bestTotal) {
                bestTotal = total;
                for (int phase = 0; phase < phaseCount; ++phase) best[phase] = seconds[phase];
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "collector_phases: %s\n", error.what());
        return 1;
    }
    std::printf("{\"document bytes\": %zu, ", bytes);
    printPhases("first report", first, firstTotal);
    std::printf(", ");
    printPhases("best later report", best, bestTotal);
    std::printf("}\n");
    return 0;
}
