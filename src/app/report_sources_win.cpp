#include <windows.h>
#include <winternl.h>

#include <iostream>
#include <sstream>

#include "app/report_frame.h"
#include "app/telemetry_main.h"
#include "counters/counter_section.h"
#include "perf/perf_telemetry.h"

namespace {

std::int64_t systemTime() {
    LARGE_INTEGER now{};
    NtQuerySystemTime(&now);
    return now.QuadPart;
}

// Sections not gathered yet: they stay empty in the document.
std::string noServiceVersion(const char*) { return std::string(); }
ZelTamperProtection noZelTamperProtection() { return {}; }
bool noOrbTamperProtection() { return false; }
void noMinifilterInformation(std::ostream&) {}

const ReportSources windowsSources = {
    noServiceVersion,
    noZelTamperProtection,
    noOrbTamperProtection,
    writeCounterSection,
    systemTime,
    noMinifilterInformation,
    collectPerfTelemetry,
};

}  // namespace

int telemetryMain() {
    std::ostringstream document;
    writeReport(document, windowsSources);
    std::cout << document.str();
    return 0;
}
