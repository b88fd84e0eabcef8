#pragma once
// Counter fields of plain digits, eight at a time in a 64-bit word. Shared by
// the reader's files, each compiling its own private copy (anonymous
// namespace), the AVX2 one included: nothing here may be emitted once for all.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint64_t eightZeros = 0x3030303030303030ULL;

// True when all eight bytes are ASCII digits: the high nibble is 3 both
// before and after adding 6, which pushes ':' to '?' over into 0x40.
bool eightDigits(std::uint64_t chunk) {
    constexpr std::uint64_t highNibbles = 0xF0F0F0F0F0F0F0F0ULL;
    return (chunk & highNibbles) == eightZeros && ((chunk + 0x0606060606060606ULL) & highNibbles) == eightZeros;
}

// The value of eight ASCII digits, the first in the lowest byte: pairs, then
// quads, then the whole, each step one multiplication.
std::uint64_t eightDigitValue(std::uint64_t chunk) {
    chunk = ((chunk & 0x0F0F0F0F0F0F0F0FULL) * 2561) >> 8;
    chunk = ((chunk & 0x00FF00FF00FF00FFULL) * 6553601) >> 16;
    return ((chunk & 0x0000FFFF0000FFFFULL) * 42949672960001ULL) >> 32;
}

std::uint64_t loadEight(const char* bytes) {
    std::uint64_t chunk;
    std::memcpy(&chunk, bytes, sizeof chunk);
    return chunk;
}

constexpr std::uint64_t powersOfTen[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// The common counter field: 1 to 19 plain digits, which cannot overflow.
// Counters run to a dozen digits and more, so they are taken eight at a time
// rather than through a chain of one multiply-add per digit. Reads only the
// field's own bytes.
[[nodiscard]] bool parsePlainDigits(const char* digits, std::size_t size, std::uint64_t& value) {
    if (size == 0 || size > 19) {
        return false;
    }
    std::uint64_t number = 0;
    if (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__ || size < 8) {
        for (std::size_t i = 0; i < size; ++i) {
            const auto digit = static_cast<unsigned char>(digits[i] - '0');
            if (digit > 9) {
                return false;
            }
            number = number * 10 + digit;
        }
        value = number;
        return true;
    }
    std::size_t taken = 0;
    for (; taken + 8 <= size; taken += 8) {
        const std::uint64_t chunk = loadEight(digits + taken);
        if (!eightDigits(chunk)) {
            return false;
        }
        number = number * 100000000 + eightDigitValue(chunk);
    }
    if (const std::size_t rest = size - taken; rest != 0) {
        // The field's last eight bytes, with the ones already taken turned
        // into leading zeros.
        const std::uint64_t takenBytes = (std::uint64_t{1} << (8 * (8 - rest))) - 1;
        const std::uint64_t chunk = (loadEight(digits + size - 8) & ~takenBytes) | (eightZeros & takenBytes);
        if (!eightDigits(chunk)) {
            return false;
        }
        number = number * powersOfTen[rest] + eightDigitValue(chunk);
    }
    value = number;
    return true;
}

}  // namespace
