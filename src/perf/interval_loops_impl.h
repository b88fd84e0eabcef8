#pragma once
// The bodies of the interval loops, compiled by each file that includes them
// for its own instruction set (anonymous namespace: nothing shared).
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// One pass without a branch, which vectorises: the top bit of borrows is set
// once any later value is below its earlier one (the borrow out of
// later - earlier).
[[nodiscard]] inline bool subtractLoop(const std::uint64_t* earlier, const std::uint64_t* later, std::uint64_t* deltas,
                                       std::size_t count) {
    std::uint64_t borrows = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint64_t before = earlier[k];
        const std::uint64_t after = later[k];
        const std::uint64_t delta = after - before;
        deltas[k] = delta;
        borrows |= (~after & before) | ((~after | before) & delta);
    }
    return (borrows >> 63) == 0;
}

// Each value converted to double as an unsigned one. When every value is
// below 2^52, as a sample's deltas almost always are, in one vectorisable
// step: put into the mantissa of 2^52, which is then taken away, each
// converts exactly and without the branch of an unsigned conversion.
inline void toDoublesLoop(const std::uint64_t* values, double* converted, std::size_t count) {
    std::uint64_t all = 0;
    for (std::size_t i = 0; i < count; ++i) {
        all |= values[i];
    }
    if (all >> 52 != 0) {
        for (std::size_t i = 0; i < count; ++i) {
            converted[i] = static_cast<double>(values[i]);
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t bits = values[i] | 0x4330000000000000ULL;
        std::memcpy(&converted[i], &bits, sizeof(double));
        converted[i] -= 4503599627370496.0;
    }
}

constexpr std::size_t longestLoop = 64;

inline void addToSumsLoop(const std::uint64_t* deltas, double* sums, std::size_t count) {
    for (std::size_t first = 0; first < count; first += longestLoop) {
        const std::size_t part = count - first < longestLoop ? count - first : longestLoop;
        double converted[longestLoop];
        toDoublesLoop(deltas + first, converted, part);
        for (std::size_t i = 0; i < part; ++i) {
            sums[first + i] += converted[i];
        }
    }
}

inline void divideLoop(const double* numerators, const double* numeratorFactors, const double* denominators,
                       const double* denominatorFactors, double* quotients, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        quotients[i] = (numerators[i] * numeratorFactors[i]) / (denominators[i] * denominatorFactors[i]);
    }
}

}  // namespace
