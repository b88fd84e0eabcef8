#include "perf/perf_columns.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(PerfCounterColumns, HoldsIds0To51WithDistinctPlainCounterPathNames) {
    ASSERT_EQ(perfCounterColumns.size(), 52u);
    std::int32_t expectedId = 0;
    std::set<std::string> names;
    for (const auto& [id, name] : perfCounterColumns) {
        EXPECT_EQ(id, expectedId++);
        EXPECT_EQ(name.front(), '\\') << name;
        EXPECT_EQ(name.find_first_of(",\""), std::string::npos) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 52u);
    EXPECT_EQ(perfCounterColumns.at(0), "\\Corvex.ZEL driver state\\Boot timestamp");
    EXPECT_EQ(perfCounterColumns.at(11), "\\Corvex.ZEL performance(General: Pinned hash disk IO)\\Total elapsed time");
    EXPECT_EQ(perfCounterColumns.at(47), "\\Corvex.ZEL caching(Pinned decision)\\Expired");
    EXPECT_EQ(perfCounterColumns.at(51), "\\Corvex.ZEL caching(Pinned EDR Checksum Cache)\\Invalidated");
}

PerfSample sampleOf(std::uint64_t boot, std::uint64_t base) {
    PerfSample sample;
    sample.values[0] = boot;
    for (std::size_t k = 1; k < perfColumnCount; ++k) sample.values[k] = base + k;
    return sample;
}

TEST(PerfInterval, DeltasAreLaterMinusEarlierWithColumn0AlwaysZero) {
    const PerfSample earlier = sampleOf(77, 100);
    PerfSample later = sampleOf(77, 100);
    const auto same = formPerfInterval(earlier, later);
    ASSERT_TRUE(same.has_value());
    for (std::uint64_t delta : same->deltas) EXPECT_EQ(delta, 0u);

    for (std::size_t k = 1; k < perfColumnCount; ++k) later.values[k] += k * 1000;
    later.values[51] = UINT64_MAX;
    const auto grown = formPerfInterval(earlier, later);
    ASSERT_TRUE(grown.has_value());
    EXPECT_EQ(grown->deltas[0], 0u);
    for (std::size_t k = 1; k < 51; ++k) EXPECT_EQ(grown->deltas[k], k * 1000) << k;
    EXPECT_EQ(grown->deltas[51], UINT64_MAX - 151);
}

TEST(PerfInterval, ADifferentBootFormsNoInterval) {
    for (std::uint64_t laterBoot : std::initializer_list<std::uint64_t>{78, 76, 0, UINT64_MAX}) {
        EXPECT_FALSE(formPerfInterval(sampleOf(77, 100), sampleOf(laterBoot, 200)).has_value()) << laterBoot;
    }
}

TEST(PerfInterval, ACounterThatWentDownWithinABootFormsNoInterval) {
    // The driver's counters restart when it is reloaded without a reboot. The
    // modular difference would be near 2^64; the pair is no interval instead.
    for (std::size_t k = 1; k < perfColumnCount; ++k) {
        PerfSample earlier = sampleOf(77, 100);
        PerfSample later = sampleOf(77, 500);
        earlier.values[k] = 7;
        later.values[k] = 5;
        EXPECT_FALSE(formPerfInterval(earlier, later).has_value()) << "column " << k;
        EXPECT_EQ(perfIntervalBetween(earlier, later).deltas[k], 18446744073709551614u) << "column " << k;
    }
}

}  // namespace
