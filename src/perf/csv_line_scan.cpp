// The line scan byte by byte, and sixteen bytes a step with SSE2, which every
// x86-64 processor has.
#include "perf/csv_line_scan.h"

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

#if defined(CORVEX_CSV_X86_KERNELS)
struct Sse2Block {
    static constexpr std::size_t width = 16;

    static BlockMasks compare(const char* bytes) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
        const auto mask = [&](char c) {
            return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(c))));
        };
        return {mask('\n'), mask('"'), mask(',')};
    }
};
#endif

}  // namespace

const CsvScanFunctions csvScalarScan = {scanRowBytes, findLineFeedBytes};

#if defined(CORVEX_CSV_X86_KERNELS)
const CsvScanFunctions csvSse2Scan = {scanRowBlocks<Sse2Block>, findLineFeedBlocks<Sse2Block>};
#endif
