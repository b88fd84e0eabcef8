#include <gtest/gtest.h>

#include <set>
#include <string>

#include "counters/counter_catalogue.h"
#include "counters/counter_path.h"

namespace {

TEST(CounterPath, BuildsSetInstanceAndNameUnchanged) {
    struct Case {
        CounterSpec row;
        const char* instance;
        const char* path;
    } const cases[] = {
        {stateAndJournalCounters[0], nullptr, "\\Corvex.ZEL driver state\\Boot timestamp"},
        {stateAndJournalCounters[10], "Global_SYSTEM",
         "\\Corvex.ZEL Event Journal indexed stats(Global_SYSTEM)\\Bytes in the memory queue"},
        {stateAndJournalCounters[20], "REGISTRY",
         "\\Corvex.ZEL Event Journal indexed stats(REGISTRY)\\NTSTATUS code of last write error. '0x42' means less "
         "data written than expected"},
        // Reported under process tracking, published in the driver-state set.
        {processTrackingCounters[0], nullptr, "\\Corvex.ZEL driver state\\Max properties per process"},
        {bootPinnedScanCounters[0], nullptr, "\\Corvex.ZEL boot pinned scan stats\\Total pinned callbacks"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(counterPath(c.row, c.instance), c.path);
    }
}

TEST(CounterCatalogue, KeysAreUniqueAcrossTheFlatSections) {
    // Every key lands in one JSON object per section; a repeated key would make
    // a consumer silently keep only one of the values.
    const CounterSlice slices[] = {wholeArray(stateAndJournalCounters), wholeArray(processTrackingCounters),
                                   wholeArray(pinnedScanCounters),      wholeArray(bootPinnedScanCounters),
                                   wholeArray(scanTypeCounters),        wholeArray(qixCommunicationCounters),
                                   wholeArray(orbCommunicationCounters)};
    std::set<std::string> keys;
    std::set<std::string> paths;
    for (const auto& slice : slices) {
        for (std::size_t i = 0; i < slice.count; ++i) {
            EXPECT_TRUE(keys.insert(slice.rows[i].jsonKey).second) << slice.rows[i].jsonKey;
            EXPECT_TRUE(paths.insert(counterPath(slice.rows[i], nullptr)).second) << slice.rows[i].counterName;
            EXPECT_EQ(std::string(slice.rows[i].counterSet).rfind("Corvex.ZEL ", 0), 0u);
        }
    }
}

}  // namespace
