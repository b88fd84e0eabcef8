#include "sampler_rows.h"

#include <cstddef>
#include <cstdio>
#include <iterator>

namespace sampler {
namespace {

constexpr std::size_t none = ~std::size_t{0};

// The driver's work per tick is activity (1 to 7) times these figures.
struct OperationActivity {
    std::size_t countColumn;
    std::size_t elapsedColumn;
    std::size_t diskIoColumn;  // none: the operation has no disk counter
    std::size_t sizeColumn;    // none: the operation has no size counter
    std::uint64_t callsPerActivity;
    std::uint64_t ticksPerCall;      // 100 ns ticks of elapsed time
    std::uint64_t diskTicksPerCall;  // 100 ns ticks of disk input and output
    std::uint64_t bytesPerTick;      // of elapsed plus disk time
};

constexpr OperationActivity operations[] = {
    {1, 2, none, none, 3, 2500, 0, 0},     // anti-malware callback: 0.25 ms
    {3, 4, none, none, 5, 1500, 0, 0},     // Event Journal callback: 0.15 ms
    {5, 6, none, none, 1, 500, 0, 0},      // tamper protection callback: 0.05 ms
    {7, 8, none, none, 2, 12500, 0, 0},    // ORB callback: 1.25 ms
    {9, 10, 11, 12, 4, 20000, 5000, 4},    // pinned hashing: 2.5 ms, 40 MB/s
    {13, 14, 15, 16, 1, 30000, 10000, 2},  // QIX request: 4 ms, 20 MB/s
    {17, 18, 19, 20, 2, 7500, 2500, 8},    // ORB request: 1 ms, 80 MB/s
    {21, 22, 23, 24, 1, 50000, 25000, 1},  // EDR hashing: 7.5 ms, 10 MB/s
    {25, 26, none, none, 2, 45000, 0, 0},  // HMR on execution: 4.5 ms
    {27, 28, none, none, 3, 3500, 0, 0},   // HMR on open: 0.35 ms
    {29, 30, none, none, 1, 1000, 0, 0},   // HMR on close: 0.1 ms
};

struct CacheShare {
    std::size_t column;
    std::uint64_t percent;
};

// Lookups per activity are multiples of 20, so every share is a whole number.
struct CacheActivity {
    std::size_t totalColumn;
    std::uint64_t lookupsPerActivity;
    std::array<CacheShare, 4> shares;  // column 0: unused
};

constexpr CacheActivity caches[] = {
    {31, 20, {{{32, 75}, {33, 20}, {34, 5}, {0, 0}}}},   // pinned file checksum
    {35, 40, {{{36, 75}, {37, 20}, {38, 5}, {0, 0}}}},   // QIX properties
    {39, 60, {{{40, 75}, {41, 20}, {42, 5}, {0, 0}}}},   // ORB properties
    {43, 80, {{{44, 70}, {45, 20}, {46, 5}, {47, 5}}}},  // pinned decision
    {48, 100, {{{49, 75}, {50, 20}, {51, 5}, {0, 0}}}},  // EDR checksum
};

// Counters the driver publishes beside the 52, placed before the column id
// given (52: at the end); the collector must pass over them.
struct ExtraColumn {
    std::size_t beforeColumn;
    const char* name;
};

constexpr ExtraColumn extraColumns[] = {
    {1, "\\Corvex.ZEL driver state\\Driver version"},
    {31, "\\Corvex.ZEL caching(Pinned decision)\\Evicted"},
    {52, "\\Corvex.ZEL Event Journal stats\\Total queued"},
};

constexpr std::uint64_t driverVersion = 1008004001;

std::uint64_t extraValue(std::size_t extra, const DriverCounters& counters) {
    switch (extra) {
        case 0:
            return driverVersion;
        case 1:
            return counters.tick * 3;
        default:
            return counters.tick % 97;  // a queue length: goes up and down
    }
}

std::uint64_t activity(std::uint64_t tick) { return 1 + tick % 7; }

// Walks the fields after "timestamp" in file order: onPerf(column id) for the
// 52 columns, onExtra(index into extraColumns) for the others.
template <typename OnPerf, typename OnExtra>
void walkColumns(OnPerf onPerf, OnExtra onExtra) {
    std::size_t extra = 0;
    for (std::size_t id = 0; id <= perfColumnCount; ++id) {
        for (; extra < std::size(extraColumns) && extraColumns[extra].beforeColumn == id; ++extra) {
            onExtra(extra);
        }
        if (id < perfColumnCount) {
            onPerf(id);
        }
    }
}

}  // namespace

std::string formatHistoryTimestamp(const CalendarTime& time) {
    char text[48];  // room for any 16-bit field values
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", unsigned{time.year}, unsigned{time.month},
                  unsigned{time.day}, unsigned{time.hour}, unsigned{time.minute}, unsigned{time.second},
                  unsigned{time.milliseconds});
    return text;
}

std::string historyHeader() {
    std::string header = "timestamp";
    walkColumns([&](std::size_t id) { header += ',' + perfCounterColumns.at(static_cast<std::int32_t>(id)); },
                [&](std::size_t extra) { header += std::string(",") + extraColumns[extra].name; });
    return header;
}

DriverCounters startCounters(std::uint64_t bootTimestamp) {
    DriverCounters counters;
    counters.values[0] = bootTimestamp;
    for (std::size_t column = 1; column < perfColumnCount; ++column) {
        counters.values[column] = 1000003 * column * column;
    }
    return counters;
}

void advance(DriverCounters& counters) {
    ++counters.tick;
    const std::uint64_t level = activity(counters.tick);
    auto& values = counters.values;
    for (const OperationActivity& operation : operations) {
        const std::uint64_t calls = level * operation.callsPerActivity;
        const std::uint64_t elapsed = calls * operation.ticksPerCall;
        const std::uint64_t disk = calls * operation.diskTicksPerCall;
        values[operation.countColumn] += calls;
        values[operation.elapsedColumn] += elapsed;
        if (operation.diskIoColumn != none) {
            values[operation.diskIoColumn] += disk;
        }
        if (operation.sizeColumn != none) {
            values[operation.sizeColumn] += (elapsed + disk) * operation.bytesPerTick;
        }
    }
    for (const CacheActivity& cache : caches) {
        const std::uint64_t lookups = level * cache.lookupsPerActivity;
        values[cache.totalColumn] += lookups;
        for (const CacheShare& share : cache.shares) {
            if (share.column != 0) {
                values[share.column] += lookups * share.percent / 100;
            }
        }
    }
}

std::string historyRow(const std::string& timestamp, const DriverCounters& counters) {
    std::string row = timestamp;
    walkColumns([&](std::size_t id) { row += ',' + std::to_string(counters.values[id]); },
                [&](std::size_t extra) { row += ',' + std::to_string(extraValue(extra, counters)); });
    return row;
}

}  // namespace sampler
