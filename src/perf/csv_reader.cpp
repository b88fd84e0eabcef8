#include "perf/csv_reader.h"

#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Corvex {
namespace Csv {

csv_exception::csv_exception() : std::runtime_error("odd number of quotes in CSV row") {}

}  // namespace Csv
}  // namespace Corvex

namespace {

// Finds the commas of a line and tells whether it holds a quote, in one pass.
// Without a quote a field is exactly the bytes between two commas, so the
// line itself becomes the row's text; with one, the offsets found are dropped
// and the quoted splitter starts over. Returns false when a quote was seen.
bool splitUnquoted(const std::string& line, std::vector<std::size_t>& starts) {
    const char* const start = line.data();
    const std::size_t size = line.size();
    starts.push_back(0);
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes a step: a history row is hundreds of bytes of short fields,
    // where a call to memchr per field costs more than the search itself.
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i quote = _mm_set1_epi8('"');
    for (; i + 16 <= size; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(start + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(block, quote)) != 0) {
            return false;
        }
        auto commas = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, comma)));
        while (commas != 0) {
            starts.push_back(i + static_cast<std::size_t>(__builtin_ctz(commas)) + 1);
            commas &= commas - 1;
        }
    }
#endif
    for (; i < size; ++i) {
        if (start[i] == '"') {
            return false;
        }
        if (start[i] == ',') {
            starts.push_back(i + 1);
        }
    }
    starts.push_back(size + 1);
    return true;
}

// Every quote toggles quoting wherever it stands and is dropped; a quote right
// after the one that closed a quoted stretch stands for a literal quote.
// Returns false when the line leaves a quote open.
bool splitQuoted(const std::string& line, std::string& text, std::vector<std::size_t>& starts) {
    bool insideQuotes = false;
    char previousByte = 0;
    starts.push_back(0);
    for (const char c : line) {
        if (c == '"') {
            if (previousByte == '"' && !insideQuotes) {
                text.push_back('"');
            }
            insideQuotes = !insideQuotes;
        } else if (c == ',' && !insideQuotes) {
            text.push_back(',');  // the separator byte between two fields
            starts.push_back(text.size());
        } else {
            text.push_back(c);
        }
        previousByte = c;
    }
    starts.push_back(text.size() + 1);
    return !insideQuotes;
}

bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::istream& readCsvRow(std::istream& in, CsvRow& row) {
    std::getline(in, row.pendingLine_, '\n');
    if (!in.good()) {
        row.fieldStarts_.clear();
        return in;
    }
    std::string& line = row.pendingLine_;
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }

    row.pendingStarts_.clear();
    if (splitUnquoted(line, row.pendingStarts_)) {
        std::swap(row.text_, row.pendingLine_);
    } else {
        row.pendingStarts_.clear();
        row.pendingText_.clear();
        if (!splitQuoted(line, row.pendingText_, row.pendingStarts_)) {
            throw Corvex::Csv::csv_exception();
        }
        std::swap(row.text_, row.pendingText_);
    }
    std::swap(row.fieldStarts_, row.pendingStarts_);
    return in;
}

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
// rather than through a chain of one multiply-add per digit.
bool parsePlainDigits(std::string_view field, std::uint64_t& value) {
    const std::size_t size = field.size();
    if (size == 0 || size > 19) {
        return false;
    }
    const char* const digits = field.data();
    std::uint64_t number = 0;
    if (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__ || size < 8) {
        for (const char c : field) {
            const auto digit = static_cast<unsigned char>(c - '0');
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

bool parseUnsignedField(std::string_view field, std::uint64_t& value) {
    if (parsePlainDigits(field, value)) {
        return true;
    }
    const std::size_t size = field.size();
    // strtoull reads a C string: a NUL byte ends the field.
    const auto atEnd = [&](std::size_t i) { return i == size || field[i] == '\0'; };

    std::size_t i = 0;
    while (i < size && isCSpace(field[i])) {
        ++i;
    }
    bool negative = false;
    if (i < size && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    const std::size_t firstDigit = i;
    std::uint64_t number = 0;
    bool overflow = false;
    for (; i < size && field[i] >= '0' && field[i] <= '9'; ++i) {
        const auto digit = static_cast<std::uint64_t>(field[i] - '0');
        overflow |= __builtin_mul_overflow(number, 10u, &number);
        overflow |= __builtin_add_overflow(number, digit, &number);
    }

    if (i == firstDigit) {
        // No digits: the conversion ends at the field's first byte.
        if (!atEnd(0)) {
            return false;
        }
        value = 0;
        return true;
    }
    if (!atEnd(i)) {
        return false;
    }
    if (overflow) {
        value = UINT64_MAX;
    } else {
        value = negative ? 0 - number : number;
    }
    return true;
}
