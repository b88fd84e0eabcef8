#pragma once
// The static catalogue that ties each reported value to the driver counter
// that supplies it. Sections use contiguous slices of these arrays.
#include <cstddef>

struct CounterSpec {
    const char* counterSet;
    const char* counterName;
    const char* jsonKey;
};

// A run of consecutive catalogue rows: what one counter section reads.
struct CounterSlice {
    const CounterSpec* rows;
    std::size_t count;
};

// Rows are numbered from 1, both ends included, as the report layout names them.
template <std::size_t N>
constexpr CounterSlice catalogueRows(const CounterSpec (&array)[N], std::size_t firstRow, std::size_t lastRow) {
    return {array + (firstRow - 1), lastRow - firstRow + 1};
}
template <std::size_t N>
constexpr CounterSlice wholeArray(const CounterSpec (&array)[N]) {
    return {array, N};
}

extern const CounterSpec stateAndJournalCounters[23];
extern const CounterSpec processTrackingCounters[25];
extern const CounterSpec pinnedScanCounters[20];
extern const CounterSpec bootPinnedScanCounters[6];
extern const CounterSpec scanTypeCounters[15];
extern const CounterSpec qixCommunicationCounters[9];
extern const CounterSpec orbCommunicationCounters[9];

extern const char* const eventJournalInstances[15];
