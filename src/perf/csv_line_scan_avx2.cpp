// The line scan thirty-two bytes a step with AVX2, for processors that have
// it. This file alone is compiled for AVX2; the reader calls into it only
// after asking the processor.
#include <immintrin.h>

#include "perf/csv_line_scan.h"
#include "perf/csv_line_scan_blocks.h"

namespace {

struct Avx2Block {
    static constexpr std::size_t width = 32;

    static BlockMasks compare(const char* bytes) {
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
        const auto mask = [&](char c) {
            return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(block, _mm256_set1_epi8(c))));
        };
        return {mask('\n'), mask('"'), mask(',')};
    }
};

}  // namespace

const CsvScanFunctions csvAvx2Scan = {scanRowBlocks<Avx2Block>, findLineFeedBlocks<Avx2Block>};
