#pragma once
// The report document's frame: every brace, section key and separator, in
// their fixed order. Sections come from the sources, each one call in its
// place, so the frame is the same on Windows and in the portable tests.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "counters/counter_catalogue.h"
#include "perf/metric_map.h"

struct ZelTamperProtection {
    bool zelEnabled = false;
    bool ignoreOrb = false;
    bool orbEnabled = false;
};

struct ReportSources {
    std::string (*readServiceVersion)(const char* serviceName);
    ZelTamperProtection (*readZelTamperProtection)();
    bool (*readOrbTamperProtection)();
    void (*writeCounterSection)(std::ostream& document, std::size_t count, const CounterSpec* rows,
                                const char* instance);
    // 100 ns ticks since 1601-01-01 UTC, signed as the system call gives it.
    std::int64_t (*currentTime)();
    void (*writeMinifilterInformation)(std::ostream& document);
    MetricMap (*collectPerfTelemetry)();
};

void writeReport(std::ostream& document, const ReportSources& sources);

// The performance entries: key order, fixed notation with three decimals.
void writePerfTelemetryEntries(std::ostream& document, const MetricMap& metrics);
