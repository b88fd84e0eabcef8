#pragma once
// What the performance sampler stand-in writes: the history header and one row
// per tick of a steady synthetic driver. Activity varies from tick to tick, but
// every operation's time per call, every speed and every cache's hit, miss,
// invalidation and expiry shares are fixed, so any run of consecutive rows
// yields the same averages and rates, whichever rows a reader happens to see.
#include <array>
#include <cstdint>
#include <string>

#include "perf/perf_columns.h"
#include "perf/perf_timestamp.h"

namespace sampler {

// "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string formatHistoryTimestamp(const CalendarTime& time);

// "timestamp", the 52 columns the collector reads in column-id order, and a
// few counters of the driver that it ignores, interleaved among them.
std::string historyHeader();

struct DriverCounters {
    std::uint64_t tick = 0;  // samples taken so far
    std::array<std::uint64_t, perfColumnCount> values{};
};

// A driver that has been running for a while since the given boot.
DriverCounters startCounters(std::uint64_t bootTimestamp);

// One sampling interval of driver activity: every counter of the 52 but the
// boot timestamp grows.
void advance(DriverCounters& counters);

// The row under historyHeader(), without a line end.
std::string historyRow(const std::string& timestamp, const DriverCounters& counters);

}  // namespace sampler
