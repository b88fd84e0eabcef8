// The line scan byte by byte, and sixteen bytes a step with SSE2, which every
// x86-64 processor has.
#include "perf/csv_line_scan.h"

#include "perf/csv_digits.h"

#if defined(CORVEX_CSV_X86_KERNELS)
#include <emmintrin.h>

#include "perf/csv_line_scan_blocks.h"
#endif

namespace {

CsvScan scanRowBytes(const char* line, const char* from, const char* end, CsvOffsets& offsets) {
    for (const char* at = from; at < end; ++at) {
        if (*at == '\n') {
            return {at, CsvScanStop::lineFeed};
        }
        if (*at == '"') {
            return {at, CsvScanStop::quote};
        }
        if (*at == ',') {
            if (offsets.count == offsets.capacity) {
                offsets.reserveMore(1);
            }
            offsets.data[offsets.count++] = static_cast<std::uint32_t>(at - line) + 1;
        }
    }
    return {end, CsvScanStop::end};
}

const char* findLineFeedBytes(const char* from, const char* end, std::uint64_t& quotes) {
    for (const char* at = from; at < end; ++at) {
        if (*at == '\n') {
            return at;
        }
        quotes += *at == '"' ? 1 : 0;
    }
    return nullptr;
}

[[nodiscard]] bool parseCountersBytes(const char* text, const std::uint32_t* starts, const std::size_t* positions,
                                      std::size_t count, std::uint64_t* values) {
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t position = positions[k];
        if (!parseCounterField(text + starts[position], starts[position + 1] - 1 - starts[position], values[k])) {
            return false;
        }
    }
    return true;
}

#if defined(CORVEX_CSV_X86_KERNELS)
struct Sse2Block {
    static BlockMasks compare(const char* bytes) {
        BlockMasks masks{0, 0, 0};
        for (std::size_t part = 0; part < 4; ++part) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
            const auto mask = [&](char c) {
                const auto bits =
                    static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(c))));
                return std::uint64_t{bits} << (16 * part);
            };
            masks.lineFeeds |= mask('\n');
            masks.quotes |= mask('"');
            masks.commas |= mask(',');
        }
        return masks;
    }

    static void stopsAndCommas(const char* bytes, std::uint64_t& stops, std::uint64_t& commas) {
        const BlockMasks masks = compare(bytes);
        stops = masks.lineFeeds | masks.quotes;
        commas = masks.commas;
    }

    // Without a population count instruction: one store a comma.
    static std::uint32_t* emitOffsets(std::uint32_t* out, std::uint64_t commas, std::uint32_t next) {
        while (commas != 0) {
            *out++ = next + static_cast<std::uint32_t>(__builtin_ctzll(commas));
            commas &= commas - 1;
        }
        return out;
    }

    static std::uint64_t count(std::uint64_t bits) {
        std::uint64_t n = 0;
        for (; bits != 0; bits &= bits - 1) ++n;
        return n;
    }

    [[nodiscard]] static bool parseDigits(const char* text, std::size_t begin, std::size_t size, std::uint64_t& value) {
        return parsePlainDigits(text + begin, size, value);
    }
};
#endif

}  // namespace

const CsvScanFunctions csvScalarScan = {scanRowBytes, findLineFeedBytes, parseCountersBytes};

#if defined(CORVEX_CSV_X86_KERNELS)
const CsvScanFunctions csvSse2Scan = {scanRowBlocks<Sse2Block>, findLineFeedBlocks<Sse2Block>,
                                      parseCountersBlocks<Sse2Block>};
#endif
