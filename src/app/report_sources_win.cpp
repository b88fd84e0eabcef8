#include <windows.h>
#include <winternl.h>

#include <iostream>
#include <sstream>

#include "app/installed_settings.h"
#include "app/minifilter_information.h"
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

// clang-format off
const ReportSources windowsSources = {
    readServiceVersion,
    readZelTamperProtection,
    readOrbTamperProtection,
    writeCounterSection,
    systemTime,
    writeMinifilterInformation,
    collectPerfTelemetry,
};
// clang-format on

}  // namespace

int telemetryMain() {
    std::ostringstream document;
    writeReport(document, windowsSources);
    std::cout << document.str();
    return 0;
}
