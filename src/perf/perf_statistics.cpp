#include "perf/perf_statistics.h"

#include "perf/interval_loops.h"

#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace {

constexpr std::size_t noColumn = ~std::size_t{0};

enum class Figure { time, speed };

// Time: (elapsed [+ disk IO]) / (count x 10000), milliseconds per operation.
// Speed: (bytes x 10) / (elapsed + disk IO), megabytes per second.
struct IntervalMetricRow {
    const char* stem;
    Figure figure;
    std::size_t countOrSize;  // count column of a time, size column of a speed
    std::size_t elapsed;
    std::size_t diskIo;  // noColumn where the operation has none
};

constexpr IntervalMetricRow intervalMetricRows[intervalMetricCount] = {
    {"AntiMalwareFilterTime", Figure::time, 1, 2, noColumn},
    {"EventJournalFilterTime", Figure::time, 3, 4, noColumn},
    {"TPFilterTime", Figure::time, 5, 6, noColumn},
    {"OrbFilterTime", Figure::time, 7, 8, noColumn},
    {"PinHashTime", Figure::time, 9, 10, 11},
    {"PinHashSpeed", Figure::speed, 12, 10, 11},
    {"PinQixScanTime", Figure::time, 13, 14, 15},
    {"PinQixScanSpeed", Figure::speed, 16, 14, 15},
    {"PinOrbScanTime", Figure::time, 17, 18, 19},
    {"PinOrbScanSpeed", Figure::speed, 20, 18, 19},
    {"PinEJHashTime", Figure::time, 21, 22, 23},
    {"PinEJHashSpeed", Figure::speed, 24, 22, 23},
    {"HmrOnExecTime", Figure::time, 25, 26, noColumn},
    {"HmrOnOpenTime", Figure::time, 27, 28, noColumn},
    {"HmrOnCloseTime", Figure::time, 29, 30, noColumn},
};

struct CacheEntry {
    const char* name;
    std::size_t column;
};

// The first entry is the cache's lookup total; the rates follow.
struct CacheRow {
    CacheEntry total;
    CacheEntry rates[4];
};

const CacheRow cacheRows[] = {
    {{"pinHashCacheTotal", 31},
     {{"pinHashCacheHitRate", 32}, {"pinHashCacheMissRate", 33}, {"pinHashCacheInvalidRate", 34}}},
    {{"pinQixPropTotal", 35}, {{"pinQixPropHitRate", 36}, {"pinQixPropMissRate", 37}, {"pinQixPropInvalidRate", 38}}},
    {{"pinOrbPropTotal", 39}, {{"pinOrbPropHitRate", 40}, {"pinOrbPropMissRate", 41}, {"pinOrbPropInvalidRate", 42}}},
    {{"pinDecisionTotal", 43},
     {{"pinDecisionHitRate", 44},
      {"pinDecisionMissRate", 45},
      {"pinDecisionInvalidRate", 46},
      {"pinDecisionExpiredRate", 47}}},
    {{"pinEJHashCacheTotal", 48},
     {{"pinEJHashCacheHitRate", 49}, {"pinEJHashCacheMissRate", 50}, {"pinEJHashCacheInvalidRate", 51}}},
};

// Deltas and their sums are unsigned: 2^63 and above stay positive.
double asDouble(std::uint64_t value) { return static_cast<double>(value); }

}  // namespace

double mean(const IntervalAccumulator& accumulator) {
    if (accumulator.count == 0) {
        throw std::runtime_error("average of zero items");
    }
    return accumulator.sum / asDouble(accumulator.count);
}

double stdev(const IntervalAccumulator& accumulator) {
    if (accumulator.count <= 1) {
        throw std::runtime_error("stdev of <= 1 items");
    }
    const double n = asDouble(accumulator.count);
    const double s = accumulator.sum;
    const double variance = (accumulator.sumOfSquares - (s * s) / n) / (n - 1);
    // Nearly equal values can leave a variance a rounding error below zero.
    return variance > 0.0 ? std::sqrt(variance) : 0.0;
}

namespace {

constexpr std::size_t metricLanes = 16;  // the 15 rows, padded to whole vectors

// Each row as one quotient, (numerator x numeratorFactor) / (denominator x
// denominatorFactor), a factor of 1 leaving its operand as it is: a time is
// elapsed / (count x 10000), a speed (size x 10) / elapsed.
struct MetricQuotients {
    alignas(32) double numeratorFactor[metricLanes];
    alignas(32) double denominatorFactor[metricLanes];
};

constexpr MetricQuotients metricQuotients() {
    MetricQuotients quotients{};
    for (std::size_t k = 0; k < metricLanes; ++k) {
        const bool time = k >= intervalMetricCount || intervalMetricRows[k].figure == Figure::time;
        quotients.numeratorFactor[k] = time ? 1.0 : 10.0;
        quotients.denominatorFactor[k] = time ? 10000.0 : 1.0;
    }
    return quotients;
}

constexpr MetricQuotients quotients = metricQuotients();

}  // namespace

void addInterval(IntervalStatistics& statistics, const std::array<std::uint64_t, perfColumnCount>& deltas) {
    // The operands of every row first, then all fifteen quotients at once
    // (vector divisions), then each added where its denominator is not zero.
    // The quotients are the same bits as one row at a time would give.
    alignas(32) std::uint64_t numerators[metricLanes] = {};
    alignas(32) std::uint64_t denominators[metricLanes] = {};
    for (std::size_t k = 0; k < intervalMetricCount; ++k) {
        const IntervalMetricRow& row = intervalMetricRows[k];
        const std::uint64_t elapsed = deltas[row.elapsed] + (row.diskIo == noColumn ? 0 : deltas[row.diskIo]);
        const bool time = row.figure == Figure::time;
        numerators[k] = time ? elapsed : deltas[row.countOrSize];
        denominators[k] = time ? deltas[row.countOrSize] : elapsed;
    }
    const IntervalLoops& loops = intervalLoops();
    alignas(32) double numerator[metricLanes];
    alignas(32) double denominator[metricLanes];
    loops.toDoubles(numerators, numerator, metricLanes);
    loops.toDoubles(denominators, denominator, metricLanes);
    alignas(32) double x[metricLanes];
    loops.divide(numerator, quotients.numeratorFactor, denominator, quotients.denominatorFactor, x, metricLanes);
    for (std::size_t k = 0; k < intervalMetricCount; ++k) {
        if (denominators[k] != 0) {
            statistics.accumulators[k].add(x[k]);
        }
    }
}

void addToColumnTotals(ColumnTotals& totals, const PerfInterval& interval) {
    totals.intervalCount += 1;
    intervalLoops().addToSums(interval.deltas.data(), totals.columnSum.data(), perfColumnCount);
}

MetricMap intervalMetrics(const IntervalStatistics& statistics) {
    MetricMap metrics;
    for (std::size_t k = 0; k < intervalMetricCount; ++k) {
        const IntervalAccumulator& accumulator = statistics.accumulators[k];
        if (accumulator.count >= minimumIntervals) {
            const std::string stem = intervalMetricRows[k].stem;
            metrics["avg" + stem] = mean(accumulator);
            metrics["stdev" + stem] = stdev(accumulator);
        }
    }
    return metrics;
}

MetricMap cacheMetrics(const ColumnTotals& totals) {
    MetricMap metrics;
    if (totals.intervalCount < minimumIntervals) {
        return metrics;
    }
    for (const CacheRow& cache : cacheRows) {
        const double lookups = totals.columnSum[cache.total.column];
        metrics[cache.total.name] = lookups;
        if (lookups == 0.0) {
            continue;
        }
        for (const CacheEntry& rate : cache.rates) {
            if (rate.name != nullptr) {
                metrics[rate.name] = (totals.columnSum[rate.column] * 100.0) / lookups;
            }
        }
    }
    return metrics;
}
