// The line scan thirty-two bytes a step with AVX2, for processors that have
// it. This file alone is compiled for AVX2; the reader calls into it only
// after asking the processor.
#include <immintrin.h>

#include "perf/csv_line_scan.h"
#include "perf/csv_line_scan_blocks.h"

namespace {

struct Avx2Block {
    static BlockMasks compare(const char* bytes) {
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32));
        const auto mask = [&](char c) {
            const __m256i wanted = _mm256_set1_epi8(c);
            return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, wanted)))} |
                   std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, wanted)))}
                       << 32;
        };
        return {mask('\n'), mask('"'), mask(',')};
    }

    static void stopsAndCommas(const char* bytes, std::uint64_t& stops, std::uint64_t& commas) {
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32));
        const auto bits = [](__m256i lowMatches, __m256i highMatches) {
            return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(lowMatches))} |
                   std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(highMatches))} << 32;
        };
        const auto stop = [](__m256i block) {
            return _mm256_or_si256(_mm256_cmpeq_epi8(block, _mm256_set1_epi8('\n')),
                                   _mm256_cmpeq_epi8(block, _mm256_set1_epi8('"')));
        };
        const __m256i comma = _mm256_set1_epi8(',');
        stops = bits(stop(low), stop(high));
        commas = bits(_mm256_cmpeq_epi8(low, comma), _mm256_cmpeq_epi8(high, comma));
    }

    // Eight stores whatever the count, then eight more while commas are left:
    // a row has a few commas a step, and a loop per comma mispredicts as often.
    static std::uint32_t* emitOffsets(std::uint32_t* out, std::uint64_t commas, std::uint32_t next) {
        const auto total = static_cast<std::size_t>(_mm_popcnt_u64(commas));
        std::uint32_t* slot = out;
        do {
            for (int i = 0; i < 8; ++i) {
                slot[i] = next + static_cast<std::uint32_t>(_tzcnt_u64(commas));
                commas = _blsr_u64(commas);
            }
            slot += 8;
        } while (commas != 0);
        return out + total;
    }

    static std::uint64_t count(std::uint64_t bits) { return static_cast<std::uint64_t>(_mm_popcnt_u64(bits)); }

    [[nodiscard]] static bool parseDigits(const char* text, std::size_t begin, std::size_t size, std::uint64_t& value) {
        return parsePlainDigits(text + begin, size, value);
    }
};

// Lanes 16 - size to 15 of the sixteen bytes at fieldLanes + size are set.
// clang-format off
alignas(32) const unsigned char fieldLanes[32] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
// clang-format on

// A field the two-at-a-time parse takes: 1 to 16 bytes, with 16 bytes of the
// line ending where it ends.
bool inOneLane(std::size_t begin, std::size_t size) { return size - 1 < 16 && begin + size >= 16; }

// Two fields of up to sixteen digits, one in each half of a register: the
// sixteen bytes of the line that end with each field, those before it masked
// off, then pairs, quads and eights of digits each one multiply-add, and the
// two eights of each field joined in 64 bits. False, with nothing written,
// unless both are plain digits.
[[nodiscard]] bool parseTwoFields(const char* text, std::size_t beginA, std::size_t sizeA, std::size_t beginB,
                                  std::size_t sizeB, std::uint64_t& valueA, std::uint64_t& valueB) {
    const auto lane = [](const void* address) { return _mm_loadu_si128(static_cast<const __m128i*>(address)); };
    const __m256i bytes = _mm256_inserti128_si256(_mm256_castsi128_si256(lane(text + beginA + sizeA - 16)),
                                                  lane(text + beginB + sizeB - 16), 1);
    const __m256i inField =
        _mm256_inserti128_si256(_mm256_castsi128_si256(lane(fieldLanes + sizeA)), lane(fieldLanes + sizeB), 1);
    const __m256i digits = _mm256_sub_epi8(bytes, _mm256_set1_epi8('0'));
    const __m256i isDigit = _mm256_cmpeq_epi8(_mm256_min_epu8(digits, _mm256_set1_epi8(9)), digits);
    if (_mm256_movemask_epi8(_mm256_andnot_si256(isDigit, inField)) != 0) {
        return false;
    }
    const __m256i pairs = _mm256_maddubs_epi16(_mm256_and_si256(digits, inField), _mm256_set1_epi16(0x010A));
    const __m256i quads = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00010064));
    // 32-bit lanes 0 and 1 of each half: the field's first and last eight digits.
    const __m256i eights = _mm256_madd_epi16(_mm256_packus_epi32(quads, quads), _mm256_set1_epi32(0x00012710));
    const __m256i values =
        _mm256_add_epi64(_mm256_mul_epu32(eights, _mm256_set1_epi64x(100000000)), _mm256_srli_epi64(eights, 32));
    valueA = static_cast<std::uint64_t>(_mm256_extract_epi64(values, 0));
    valueB = static_cast<std::uint64_t>(_mm256_extract_epi64(values, 2));
    return true;
}

bool parseCountersAvx2(const char* text, const std::uint32_t* starts, const std::size_t* positions, std::size_t count,
                       std::uint64_t* values) {
    std::size_t k = 0;
    for (; k + 2 <= count; k += 2) {
        const std::size_t beginA = starts[positions[k]];
        const std::size_t sizeA = starts[positions[k] + 1] - 1 - beginA;
        const std::size_t beginB = starts[positions[k + 1]];
        const std::size_t sizeB = starts[positions[k + 1] + 1] - 1 - beginB;
        if (inOneLane(beginA, sizeA) && inOneLane(beginB, sizeB) &&
            parseTwoFields(text, beginA, sizeA, beginB, sizeB, values[k], values[k + 1])) {
            continue;
        }
        if (!parseCountersBlocks<Avx2Block>(text, starts, positions + k, 2, values + k)) {
            return false;
        }
    }
    return parseCountersBlocks<Avx2Block>(text, starts, positions + k, count - k, values + k);
}

}  // namespace

const CsvScanFunctions csvAvx2Scan = {scanRowBlocks<Avx2Block>, findLineFeedBlocks<Avx2Block>, parseCountersAvx2};
