#pragma once
// The block loops of the line scan, written once over a block type that says
// how many bytes one step compares and how. Each file that includes this
// compiles its own private copy (anonymous namespace) for its instruction set.
#include <cstddef>
#include <cstdint>

#include "perf/csv_digits.h"
#include "perf/csv_line_scan.h"

namespace {

// Sixty-four bytes a step, whatever the register width: bit i of a mask
// stands for byte i of the step.
constexpr std::size_t blockBytes = 64;

struct BlockMasks {
    std::uint64_t lineFeeds;
    std::uint64_t quotes;
    std::uint64_t commas;
};

inline std::uint64_t bitsBelow(std::size_t count) {
    return count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
}

// Block provides compare(bytes) -> BlockMasks for the 64 bytes there,
// stopsAndCommas(bytes) -> {line feeds or quotes, commas} for the same in
// fewer steps, and emitOffsets(out, commas, next), which stores next + the
// index of every set bit of commas, lowest first, and returns the slot after
// the last.
template <typename Block>
CsvScan scanRowBlocks(const char* line, const char* from, const char* end, CsvOffsets& offsets) {
    for (const char* block = from; block < end; block += blockBytes) {
        std::uint64_t stops;
        std::uint64_t commas;
        Block::stopsAndCommas(block, stops, commas);
        const auto left = static_cast<std::size_t>(end - block);
        if (left < blockBytes) {
            // The bytes past end are the window's, not the line's.
            const std::uint64_t inside = bitsBelow(left);
            stops &= inside;
            commas &= inside;
        }
        const unsigned at = stops == 0 ? 64 : static_cast<unsigned>(__builtin_ctzll(stops));
        if (offsets.capacity - offsets.count < blockBytes) {
            offsets.reserveMore(blockBytes);
        }
        std::uint32_t* const out = Block::emitOffsets(offsets.data + offsets.count, commas & bitsBelow(at),
                                                      static_cast<std::uint32_t>(block - line) + 1);
        offsets.count = static_cast<std::size_t>(out - offsets.data);
        if (stops != 0) {
            return {block + at, block[at] == '\n' ? CsvScanStop::lineFeed : CsvScanStop::quote};
        }
    }
    return {end, CsvScanStop::end};
}

template <typename Block>
const char* findLineFeedBlocks(const char* from, const char* end, std::uint64_t& quotes) {
    for (const char* block = from; block < end; block += blockBytes) {
        BlockMasks masks = Block::compare(block);
        const auto left = static_cast<std::size_t>(end - block);
        if (left < blockBytes) {
            const std::uint64_t inside = bitsBelow(left);
            masks.lineFeeds &= inside;
            masks.quotes &= inside;
        }
        if (masks.lineFeeds != 0) {
            const auto at = static_cast<unsigned>(__builtin_ctzll(masks.lineFeeds));
            quotes += Block::count(masks.quotes & bitsBelow(at));
            return block + at;
        }
        if (masks.quotes != 0) {
            quotes += Block::count(masks.quotes);
        }
    }
    return nullptr;
}

// Fields of plain digits as the block type's fastest parse has them; the rest
// by the whole rule.
template <typename Block>
[[nodiscard]] bool parseCountersBlocks(const char* text, const std::uint32_t* starts, const std::size_t* positions,
                                       std::size_t count, std::uint64_t* values) {
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t position = positions[k];
        const std::size_t begin = starts[position];
        const std::size_t size = starts[position + 1] - 1 - begin;
        if (!Block::parseDigits(text, begin, size, values[k]) && !parseCounterField(text + begin, size, values[k])) {
            return false;
        }
    }
    return true;
}

}  // namespace
