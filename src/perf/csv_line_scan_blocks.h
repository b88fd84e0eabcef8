#pragma once
// The block loops of the line scan, written once over a block type that says
// how many bytes one step compares and how. Each file that includes this
// compiles its own private copy (anonymous namespace) for its instruction set.
#include <cstddef>
#include <cstdint>

#include "perf/csv_line_scan.h"

namespace {

// Bit i of a mask stands for byte i of the block.
struct BlockMasks {
    std::uint32_t lineFeeds;
    std::uint32_t quotes;
    std::uint32_t commas;
};

inline std::uint32_t bitsBelow(unsigned count) { return count >= 32 ? ~0u : (1u << count) - 1; }

template <typename Block>
CsvScan scanRowBlocks(const char* line, const char* from, const char* end, CsvOffsets& offsets) {
    for (const char* block = from; block < end; block += Block::width) {
        BlockMasks masks = Block::compare(block);
        const auto left = static_cast<std::size_t>(end - block);
        if (left < Block::width) {
            // The bytes past end are the window's, not the line's.
            const std::uint32_t inside = bitsBelow(static_cast<unsigned>(left));
            masks.lineFeeds &= inside;
            masks.quotes &= inside;
            masks.commas &= inside;
        }
        const std::uint32_t stops = masks.lineFeeds | masks.quotes;
        std::uint32_t commas = stops == 0 ? masks.commas : masks.commas & bitsBelow(static_cast<unsigned>(__builtin_ctz(stops)));
        if (offsets.capacity - offsets.count < Block::width) {
            offsets.reserveMore(Block::width);
        }
        std::uint32_t* out = offsets.data + offsets.count;
        const auto next = static_cast<std::uint32_t>(block - line) + 1;
        while (commas != 0) {
            *out++ = next + static_cast<std::uint32_t>(__builtin_ctz(commas));
            commas &= commas - 1;
        }
        offsets.count = static_cast<std::size_t>(out - offsets.data);
        if (stops != 0) {
            const unsigned at = static_cast<unsigned>(__builtin_ctz(stops));
            return {block + at, (masks.lineFeeds >> at) & 1 ? CsvScanStop::lineFeed : CsvScanStop::quote};
        }
    }
    return {end, CsvScanStop::end};
}

template <typename Block>
const char* findLineFeedBlocks(const char* from, const char* end, std::uint64_t& quotes) {
    for (const char* block = from; block < end; block += Block::width) {
        BlockMasks masks = Block::compare(block);
        const auto left = static_cast<std::size_t>(end - block);
        if (left < Block::width) {
            const std::uint32_t inside = bitsBelow(static_cast<unsigned>(left));
            masks.lineFeeds &= inside;
            masks.quotes &= inside;
        }
        if (masks.lineFeeds != 0) {
            const unsigned at = static_cast<unsigned>(__builtin_ctz(masks.lineFeeds));
            quotes += static_cast<std::uint64_t>(__builtin_popcount(masks.quotes & bitsBelow(at)));
            return block + at;
        }
        if (masks.quotes != 0) {
            quotes += static_cast<std::uint64_t>(__builtin_popcount(masks.quotes));
        }
    }
    return nullptr;
}

}  // namespace
