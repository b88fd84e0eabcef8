#include "perf/perf_columns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "perf/csv_reader.h"
#include "perf/interval_loops.h"

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

// Counters of one random trial: later ones at most `magnitude` above the
// earlier, except column `fallen` (perfColumnCount: none), which goes down.
void randomCounters(std::mt19937_64& random, std::uint64_t magnitude, std::size_t fallen,
                    std::uint64_t (&earlier)[perfColumnCount], std::uint64_t (&later)[perfColumnCount]) {
    for (std::size_t k = 0; k < perfColumnCount; ++k) {
        earlier[k] = random() % magnitude;
        const std::uint64_t room = std::min(UINT64_MAX - earlier[k], magnitude);  // no wrap
        later[k] = earlier[k] + (room == 0 ? 0 : random() % room);
    }
    if (fallen < perfColumnCount) {
        if (earlier[fallen] == 0) earlier[fallen] = 1;
        later[fallen] = earlier[fallen] - 1 - random() % earlier[fallen];
    }
}

void expectLoopsMatchTheRule(const char* name, const IntervalLoops& loops, const std::uint64_t* earlier,
                             const std::uint64_t* later, std::size_t fallen) {
    std::uint64_t deltas[perfColumnCount];
    EXPECT_EQ(loops.subtract(earlier, later, deltas, perfColumnCount), fallen == perfColumnCount) << name;
    double sums[perfColumnCount];
    double expected[perfColumnCount];
    for (std::size_t k = 0; k < perfColumnCount; ++k) {
        ASSERT_EQ(deltas[k], later[k] - earlier[k]) << name << ", column " << k;
        sums[k] = expected[k] = static_cast<double>(k) * 0.5;
    }
    loops.addToSums(deltas, sums, perfColumnCount);
    double converted[perfColumnCount];
    loops.toDoubles(deltas, converted, perfColumnCount);
    double quotients[perfColumnCount];
    loops.divide(converted, expected, converted + 1, expected + 1, quotients, perfColumnCount - 1);
    for (std::size_t k = 0; k < perfColumnCount; ++k) {
        const auto exact = static_cast<double>(deltas[k]);
        ASSERT_EQ(converted[k], exact) << name << ", column " << k << ", delta " << deltas[k];
        if (k + 1 < perfColumnCount) {
            const double quotient = (exact * expected[k]) / (static_cast<double>(deltas[k + 1]) * expected[k + 1]);
            ASSERT_TRUE(quotients[k] == quotient || (std::isnan(quotients[k]) && std::isnan(quotient)))
                << name << ", column " << k;
        }
        expected[k] += exact;
        ASSERT_EQ(sums[k], expected[k]) << name << ", column " << k << ", delta " << deltas[k];
    }
}

// Every build of the interval loops the processor can run, against a plain
// restatement: columns that fall at every position, and values at and past
// 2^52 and 2^63, where the conversion to double leaves its fast path; the
// quotients the same bits as one division at a time.
TEST(IntervalLoops, EveryBuildSubtractsAndSumsAsTheRuleSays) {
    std::vector<std::pair<const char*, const IntervalLoops*>> builds = {{"baseline", &baselineIntervalLoops}};
#if defined(__x86_64__) || defined(_M_X64)
    if (csvScanKernelAvailable(CsvScanKernel::avx2)) builds.emplace_back("avx2", &avx2IntervalLoops);
#endif
    std::mt19937_64 random(52);
    const std::uint64_t magnitudes[] = {1000, std::uint64_t{1} << 52, std::uint64_t{1} << 53, std::uint64_t{1} << 63,
                                        UINT64_MAX};
    for (const auto& [name, loops] : builds) {
        for (int trial = 0; trial < 400; ++trial) {
            std::uint64_t earlier[perfColumnCount];
            std::uint64_t later[perfColumnCount];
            const std::size_t fallen = static_cast<std::size_t>(trial) % (perfColumnCount + 1);  // 52: none
            randomCounters(random, magnitudes[trial % 5], fallen, earlier, later);
            SCOPED_TRACE("trial " + std::to_string(trial));
            ASSERT_NO_FATAL_FAILURE(expectLoopsMatchTheRule(name, *loops, earlier, later, fallen));
        }
    }
}

}  // namespace
