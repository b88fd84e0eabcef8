#pragma once
// Statistics over the intervals of the performance history, in one pass and in
// fixed memory: per-interval times and speeds folded into running sums, and
// column totals for the cache rates.
#include <array>
#include <cstddef>
#include <cstdint>

#include "perf/metric_map.h"
#include "perf/perf_columns.h"

// A figure is reported only when it rests on at least this many intervals.
constexpr std::uint64_t minimumIntervals = 12;

struct IntervalAccumulator {
    std::uint64_t count = 0;
    double sum = 0.0;
    double sumOfSquares = 0.0;

    void add(double x) {
        count += 1;
        sum += x;
        sumOfSquares += x * x;
    }
};

// Throws std::runtime_error "average of zero items" when nothing was added.
double mean(const IntervalAccumulator& accumulator);
// The sample standard deviation (divisor n - 1); 0 where rounding makes the
// variance negative. Throws std::runtime_error "stdev of <= 1 items" below two values.
double stdev(const IntervalAccumulator& accumulator);

constexpr std::size_t intervalMetricCount = 15;

struct IntervalStatistics {
    std::array<IntervalAccumulator, intervalMetricCount> accumulators{};
};

struct ColumnTotals {
    std::uint64_t intervalCount = 0;
    std::array<double, perfColumnCount> columnSum{};
};

// Folds one interval's per-operation times and speeds into the fifteen
// accumulators; a figure whose denominator is 0 in this interval is left out.
void addInterval(IntervalStatistics& statistics, const std::array<std::uint64_t, perfColumnCount>& deltas);

// Counts the interval and adds its 52 deltas to the column sums.
void addToColumnTotals(ColumnTotals& totals, const PerfInterval& interval);

// "avg..." and "stdev..." for every figure with at least 12 values.
MetricMap intervalMetrics(const IntervalStatistics& statistics);

// Lookups and percentage rates of the five caches; nothing below 12 intervals.
MetricMap cacheMetrics(const ColumnTotals& totals);
