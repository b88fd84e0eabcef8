#include "app/report_frame.h"

#include <iomanip>
#include <sstream>

namespace {

const char* boolText(bool value) { return value ? "true" : "false"; }

void writeCounters(std::ostream& document, const ReportSources& sources, CounterSlice slice,
                   const char* instance = nullptr) {
    sources.writeCounterSection(document, slice.count, slice.rows, instance);
}

// The counter sections between the time object and the minifilter section,
// in document order.
struct CounterSectionEntry {
    const char* opening;
    CounterSlice slice;
};

const CounterSectionEntry middleSections[] = {
    {"},\"zelProcessThreadImageTracking\":{", wholeArray(processTrackingCounters)},
    {"},\"zelPinnedScans\":{", wholeArray(pinnedScanCounters)},
    {"},\"zelBootPinnedScans\":{", wholeArray(bootPinnedScanCounters)},
    {"},\"zelScanTypes\":{", wholeArray(scanTypeCounters)},
    {"},\"zelQIXScans\":{", wholeArray(qixCommunicationCounters)},
    {"},\"zelORBScans\":{", wholeArray(orbCommunicationCounters)},
};

}  // namespace

void writePerfTelemetryEntries(std::ostream& document, const MetricMap& metrics) {
    bool first = true;
    for (const auto& [name, value] : metrics) {
        std::ostringstream formatted;
        formatted << std::fixed << std::setprecision(3) << value;
        if (!first) {
            document << ',';
        }
        first = false;
        document << '"' << name << "\":" << formatted.str();
    }
}

void writeReport(std::ostream& document, const ReportSources& sources) {
    // Each version is read just before its key is written.
    document << "{\"zelVersion\":{";
    document << "\"ZelDriver\":\"" << sources.readServiceVersion("Corvex Valmere") << "\",";
    document << "\"ZelService\":\"" << sources.readServiceVersion("Corvex Valmere Service") << "\",";
    document << "\"HmrService\":\"" << sources.readServiceVersion("Corvex Lanthorn Service") << "\"},";

    document << "\"tamperProtection\":{";
    const ZelTamperProtection zel = sources.readZelTamperProtection();
    document << "\"zelEnabled\":" << boolText(zel.zelEnabled) << ',';
    document << "\"ignoreOrb\":" << boolText(zel.ignoreOrb) << ',';
    document << "\"orbEnabled\":" << boolText(zel.orbEnabled) << ',';
    const bool orbTpEnabled = sources.readOrbTamperProtection();
    document << "\"orbTpEnabled\":" << boolText(orbTpEnabled) << ',';
    writeCounters(document, sources, catalogueRows(stateAndJournalCounters, 3, 6));

    document << "},\"TimeStamp\":{";
    writeCounters(document, sources, catalogueRows(stateAndJournalCounters, 1, 1));
    document << ",\"Current Time\": " << sources.currentTime();

    document << "},\"zelEventJournal\":{";
    writeCounters(document, sources, catalogueRows(stateAndJournalCounters, 2, 2));

    for (const CounterSectionEntry& section : middleSections) {
        document << section.opening;
        writeCounters(document, sources, section.slice);
    }

    document << "},\"zelMinifilterInformation\":{";
    sources.writeMinifilterInformation(document);

    document << "},\"zelPerfTelemetry\":{";
    {
        // The map lives for this section only.
        const MetricMap metrics = sources.collectPerfTelemetry();
        writePerfTelemetryEntries(document, metrics);
    }

    document << "},\"zelEventJournalStats\":{";
    writeCounters(document, sources, catalogueRows(stateAndJournalCounters, 7, 10));

    document << "}, \"zelEventJournalIndexedStats\":{";
    bool firstInstance = true;
    for (const char* instance : eventJournalInstances) {
        if (!firstInstance) {
            document << "},";
        }
        firstInstance = false;
        document << '"' << instance << "\":{";
        writeCounters(document, sources, catalogueRows(stateAndJournalCounters, 11, 23), instance);
    }
    document << "}}}";
}
