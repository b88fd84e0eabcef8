#pragma once
// The loops over the 52 columns of an interval, which run for every row of
// history: once for every x86-64 processor and once for AVX2, chosen at run
// time as the reader's line scans are. Only plain data crosses here (see
// perf/csv_line_scan.h for why).
#include <cstddef>
#include <cstdint>

struct IntervalLoops {
    // later - earlier, column by column modulo 2^64, into deltas; false when
    // a later value is below its earlier one.
    bool (*subtract)(const std::uint64_t* earlier, const std::uint64_t* later, std::uint64_t* deltas,
                     std::size_t count);
    // Adds each delta, converted to double as an unsigned value, to its sum.
    void (*addToSums)(const std::uint64_t* deltas, double* sums, std::size_t count);
    // Each value converted to double as an unsigned value.
    void (*toDoubles)(const std::uint64_t* values, double* converted, std::size_t count);
    // quotients[i] = (numerators[i] x numeratorFactors[i]) / (denominators[i] x denominatorFactors[i]).
    void (*divide)(const double* numerators, const double* numeratorFactors, const double* denominators,
                   const double* denominatorFactors, double* quotients, std::size_t count);
};

// The fastest the processor has.
const IntervalLoops& intervalLoops();

extern const IntervalLoops baselineIntervalLoops;
#if defined(__x86_64__) || defined(_M_X64)
extern const IntervalLoops avx2IntervalLoops;
#endif
