#pragma once
// The CSV reader's inner loops: where a line ends, where its commas stand,
// whether it holds a quote. There is one set for each instruction set, and
// the reader takes one of them at run time.
//
// The AVX2 set is compiled for a processor the baseline build does not
// assume, so nothing inline that another file could also emit may be used
// from it: a linker keeping the AVX2 copy of a shared inline function would
// hand it to every caller. Only plain data and out-of-line calls cross here.
#include <cstddef>
#include <cstdint>

// Where the fields of one line start: offsets from the line's first byte, in
// storage that only grows, so a warm reader no longer allocates.
struct CsvOffsets {
    CsvOffsets() = default;
    ~CsvOffsets();
    CsvOffsets(const CsvOffsets&) = delete;
    CsvOffsets& operator=(const CsvOffsets&) = delete;

    // Room for at least `more` offsets beyond count.
    void reserveMore(std::size_t more);
    void swap(CsvOffsets& other);

    std::uint32_t* data = nullptr;
    std::size_t count = 0;
    std::size_t capacity = 0;
};

enum class CsvScanStop { lineFeed, quote, end };

struct CsvScan {
    const char* at;  // the line feed, the first quote, or end
    CsvScanStop stop;
};

// The loops may read this many bytes beyond the end they are given, inside
// the reader's window; the bytes they read there never count.
constexpr std::size_t csvScanOverread = 64;

struct CsvScanFunctions {
    // From `from` on, records for every comma before the first line feed or
    // quote its offset from `line` plus one: where the next field starts.
    CsvScan (*scanRow)(const char* line, const char* from, const char* end, CsvOffsets& offsets);
    // The first line feed in [from, end), or null; adds the quotes before it
    // (or before end) to quotes.
    const char* (*findLineFeed)(const char* from, const char* end, std::uint64_t& quotes);
    // Decodes the fields at `positions` of a row (field i is
    // [starts[i], starts[i + 1] - 1) of text) by the counter-field rule into
    // values; false at the first that is no number.
    bool (*parseCounters)(const char* text, const std::uint32_t* starts, const std::size_t* positions,
                          std::size_t count, std::uint64_t* values);
};

// The counter-field rule whole, for the fields the fast paths leave.
[[nodiscard]] bool parseCounterField(const char* bytes, std::size_t size, std::uint64_t& value);

extern const CsvScanFunctions csvScalarScan;
#if defined(__x86_64__) || defined(_M_X64)
#define CORVEX_CSV_X86_KERNELS 1
extern const CsvScanFunctions csvSse2Scan;
extern const CsvScanFunctions csvAvx2Scan;
#endif
