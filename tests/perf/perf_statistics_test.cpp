#include "perf/perf_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <stdexcept>
#include <vector>

namespace {

using Deltas = std::array<std::uint64_t, perfColumnCount>;

// An interval in which every operation and cache is busy.
Deltas busyInterval() {
    Deltas d{};
    for (std::size_t k = 1; k < perfColumnCount; ++k) d[k] = 1000 * k;
    return d;
}

ColumnTotals totalsOf(const std::vector<Deltas>& intervals) {
    ColumnTotals totals;
    for (const Deltas& d : intervals) {
        PerfInterval interval;
        interval.deltas = d;
        addToColumnTotals(totals, interval);
    }
    return totals;
}

std::vector<std::string> keysOf(const MetricMap& metrics) {
    std::vector<std::string> keys;
    for (const auto& entry : metrics) keys.push_back(entry.first);
    return keys;
}

TEST(IntervalValues, TimeRowsAreMillisecondsAndSpeedRowsMegabytesPerSecond) {
    Deltas d{};
    d[1] = 4;  // AntiMalwareFilterTime: 20000 ticks over 4 callbacks
    d[2] = 20000;
    d[9] = 2;  // PinHashTime and PinHashSpeed: 6000 + 4000 ticks, 1000000 bytes
    d[10] = 6000;
    d[11] = 4000;
    d[12] = 1000000;
    IntervalStatistics statistics;
    addInterval(statistics, d);
    EXPECT_EQ(statistics.accumulators[0].count, 1u);
    EXPECT_DOUBLE_EQ(statistics.accumulators[0].sum, 0.5);
    EXPECT_DOUBLE_EQ(statistics.accumulators[4].sum, 0.5);
    EXPECT_DOUBLE_EQ(statistics.accumulators[5].sum, 1000.0);
    EXPECT_DOUBLE_EQ(statistics.accumulators[5].sumOfSquares, 1000000.0);
    // Every other figure had a zero denominator in this interval.
    for (std::size_t k : std::initializer_list<std::size_t>{1, 2, 3, 6, 7, 8, 9, 10, 11, 12, 13, 14}) {
        EXPECT_EQ(statistics.accumulators[k].count, 0u) << k;
    }
}

TEST(IntervalValues, DeltasAreUnsignedAndTheTimeSumWrapsBeforeItsZeroTest) {
    Deltas d{};
    d[1] = 1;
    d[2] = 1ull << 63;  // stays positive
    d[9] = 1;
    d[10] = 1ull << 63;  // with d[11] the sum wraps to 0
    d[11] = 1ull << 63;
    d[12] = 5;
    IntervalStatistics statistics;
    addInterval(statistics, d);
    EXPECT_DOUBLE_EQ(statistics.accumulators[0].sum, 9223372036854775808.0 / 10000.0);
    EXPECT_EQ(statistics.accumulators[4].count, 1u);  // PinHashTime: 0 ms over one hash
    EXPECT_EQ(statistics.accumulators[4].sum, 0.0);
    EXPECT_EQ(statistics.accumulators[5].count, 0u);  // PinHashSpeed: time sum 0, left out
}

TEST(IntervalMetrics, MeanAndSampleStandardDeviation) {
    IntervalStatistics statistics;
    for (int round = 0; round < 4; ++round) {
        for (std::uint64_t value : {1u, 2u, 3u}) {
            Deltas d{};
            d[3] = 1;  // EventJournalFilterTime: value ms per callback
            d[4] = value * 10000;
            addInterval(statistics, d);
        }
    }
    const MetricMap metrics = intervalMetrics(statistics);
    EXPECT_EQ(keysOf(metrics), (std::vector<std::string>{"avgEventJournalFilterTime", "stdevEventJournalFilterTime"}));
    EXPECT_DOUBLE_EQ(metrics.at("avgEventJournalFilterTime"), 2.0);
    EXPECT_DOUBLE_EQ(metrics.at("stdevEventJournalFilterTime"), std::sqrt(8.0 / 11.0));
}

TEST(IntervalMetrics, APairNeedsTwelveValues) {
    IntervalStatistics statistics;
    for (int i = 0; i < 12; ++i) {
        Deltas d = busyInterval();
        if (i < 3) d[1] = 0;  // three intervals without an anti-malware callback
        addInterval(statistics, d);
    }
    const MetricMap metrics = intervalMetrics(statistics);
    EXPECT_EQ(metrics.count("avgAntiMalwareFilterTime"), 0u);
    EXPECT_EQ(metrics.count("stdevAntiMalwareFilterTime"), 0u);
    EXPECT_EQ(metrics.size(), 28u);

    IntervalStatistics eleven;
    for (int i = 0; i < 11; ++i) addInterval(eleven, busyInterval());
    EXPECT_TRUE(intervalMetrics(eleven).empty());
}

TEST(CacheMetrics, TotalsAndPercentRatesOnceTwelveIntervalsExist) {
    std::vector<Deltas> intervals(12, Deltas{});
    intervals[0][31] = 25;  // Pinned File Checksum Cache: 40 lookups, 30 hits
    intervals[0][32] = 20;
    intervals[5][31] = 15;
    intervals[5][32] = 10;
    intervals[5][33] = 5;
    intervals[5][48] = 1;  // one EDR lookup in one interval, yet a full set of rates
    intervals[5][49] = 3;  // rates are not clamped to 100
    const MetricMap metrics = cacheMetrics(totalsOf(intervals));
    EXPECT_EQ(metrics.at("pinHashCacheTotal"), 40.0);
    EXPECT_EQ(metrics.at("pinHashCacheHitRate"), 75.0);
    EXPECT_EQ(metrics.at("pinHashCacheMissRate"), 12.5);
    EXPECT_EQ(metrics.at("pinHashCacheInvalidRate"), 0.0);
    EXPECT_EQ(metrics.at("pinEJHashCacheHitRate"), 300.0);
    // A cache without lookups shows its zero total and no rates.
    EXPECT_EQ(metrics.at("pinDecisionTotal"), 0.0);
    EXPECT_EQ(metrics.count("pinDecisionHitRate") + metrics.count("pinDecisionMissRate") +
                  metrics.count("pinDecisionInvalidRate") + metrics.count("pinDecisionExpiredRate"),
              0u);
    EXPECT_EQ(metrics.size(), 5u + 3u + 3u);

    intervals.pop_back();
    EXPECT_TRUE(cacheMetrics(totalsOf(intervals)).empty());
}

TEST(PerfMetrics, AllFiftyOneNamesInByteOrder) {
    IntervalStatistics statistics;
    std::vector<Deltas> intervals;
    for (int i = 0; i < 12; ++i) {
        addInterval(statistics, busyInterval());
        intervals.push_back(busyInterval());
    }
    MetricMap merged = intervalMetrics(statistics);
    const MetricMap caches = cacheMetrics(totalsOf(intervals));
    merged.insert(caches.begin(), caches.end());
    // clang-format off
    const std::vector<std::string> expected = {
        "avgAntiMalwareFilterTime", "avgEventJournalFilterTime", "avgHmrOnCloseTime", "avgHmrOnExecTime",
        "avgHmrOnOpenTime", "avgOrbFilterTime", "avgPinEJHashSpeed", "avgPinEJHashTime", "avgPinHashSpeed",
        "avgPinHashTime", "avgPinOrbScanSpeed", "avgPinOrbScanTime", "avgPinQixScanSpeed", "avgPinQixScanTime",
        "avgTPFilterTime", "pinDecisionExpiredRate", "pinDecisionHitRate", "pinDecisionInvalidRate",
        "pinDecisionMissRate", "pinDecisionTotal", "pinEJHashCacheHitRate", "pinEJHashCacheInvalidRate",
        "pinEJHashCacheMissRate", "pinEJHashCacheTotal", "pinHashCacheHitRate", "pinHashCacheInvalidRate",
        "pinHashCacheMissRate", "pinHashCacheTotal", "pinOrbPropHitRate", "pinOrbPropInvalidRate",
        "pinOrbPropMissRate", "pinOrbPropTotal", "pinQixPropHitRate", "pinQixPropInvalidRate", "pinQixPropMissRate",
        "pinQixPropTotal", "stdevAntiMalwareFilterTime", "stdevEventJournalFilterTime", "stdevHmrOnCloseTime",
        "stdevHmrOnExecTime", "stdevHmrOnOpenTime", "stdevOrbFilterTime", "stdevPinEJHashSpeed",
        "stdevPinEJHashTime", "stdevPinHashSpeed", "stdevPinHashTime", "stdevPinOrbScanSpeed",
        "stdevPinOrbScanTime", "stdevPinQixScanSpeed", "stdevPinQixScanTime", "stdevTPFilterTime"};
    // clang-format on
    EXPECT_EQ(keysOf(merged), expected);
    // Each figure against its own columns: (d[26]) / (d[25] x 10000), (d[16] x 10) / (d[14] + d[15]).
    EXPECT_DOUBLE_EQ(merged.at("avgHmrOnExecTime"), 26000.0 / (25000.0 * 10000.0));
    EXPECT_DOUBLE_EQ(merged.at("avgPinQixScanSpeed"), 16000.0 * 10.0 / (14000.0 + 15000.0));
    EXPECT_DOUBLE_EQ(merged.at("avgPinEJHashTime"), (22000.0 + 23000.0) / (21000.0 * 10000.0));
    EXPECT_DOUBLE_EQ(merged.at("pinDecisionExpiredRate"), 47.0 * 100.0 / 43.0);
    EXPECT_DOUBLE_EQ(merged.at("pinQixPropTotal"), 12 * 35000.0);
}

TEST(MeanAndStdev, ThrowBelowTheirMinimumCounts) {
    IntervalAccumulator accumulator;
    const auto expectMessage = [](auto call, const char* message) {
        try {
            call();
            ADD_FAILURE() << "no exception, wanted " << message;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), message);
        }
    };
    expectMessage([&] { mean(accumulator); }, "average of zero items");
    expectMessage([&] { stdev(accumulator); }, "stdev of <= 1 items");
    accumulator.add(3.0);
    EXPECT_EQ(mean(accumulator), 3.0);
    expectMessage([&] { stdev(accumulator); }, "stdev of <= 1 items");
}

TEST(MeanAndStdev, RoundingBelowZeroVarianceGivesZeroNotNaN) {
    IntervalAccumulator accumulator;
    for (int i = 0; i < 12; ++i) accumulator.add(1.3);
    const double n = 12.0;
    const double rawVariance = (accumulator.sumOfSquares - accumulator.sum * accumulator.sum / n) / (n - 1);
    ASSERT_LT(rawVariance, 0.0) << "the values no longer provoke the rounding case";
    EXPECT_EQ(stdev(accumulator), 0.0);
}

}  // namespace
