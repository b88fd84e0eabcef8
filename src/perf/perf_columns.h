#pragma once
// The 52 history columns the collector reads, one decoded history row, and the
// differences between two consecutive samples of one run of the driver.
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

constexpr std::size_t perfColumnCount = 52;

// Column id to the exact header name the performance sampler writes. Column 0
// identifies the boot; every other column is a counter kept since that boot.
extern const std::map<std::int32_t, std::string> perfCounterColumns;

struct PerfSample {
    std::uint64_t timestamp = 0;  // FILETIME ticks
    std::array<std::uint64_t, perfColumnCount> values{};
};

struct PerfInterval {
    std::array<std::uint64_t, perfColumnCount> deltas{};
};

// Later minus earlier, column by column, modulo 2^64.
PerfInterval perfIntervalBetween(const PerfSample& earlier, const PerfSample& later);

// The interval of two consecutive usable samples, or none when they cannot be
// compared: a different boot, or a counter that went down because the driver
// restarted its counters without a reboot (its delta would be near 2^64).
[[nodiscard]] std::optional<PerfInterval> formPerfInterval(const PerfSample& earlier, const PerfSample& later);
// The same into the caller's interval, which the scan reuses from row to row;
// false when they form none, and interval then holds no meaning.
[[nodiscard]] bool formPerfInterval(const PerfSample& earlier, const PerfSample& later, PerfInterval& interval);
