#pragma once
// CSV rows one line at a time from a source of bytes, split into byte fields
// with double quotes honoured, and the one number rule applied to counter
// fields.
//
// The row path is built for history files of tens of megabytes: the reader
// splits each line where it lies in its read window, without copying it out,
// and a CsvRow keeps its buffers from call to call, so once warm no read
// allocates. Memory is bounded by csvLineLimit, never by a line's length: a
// crash or a hostile local user can leave a history file with a gigabyte-long
// line.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "perf/csv_line_scan.h"

namespace Corvex::Csv {

struct csv_exception : std::runtime_error {
    csv_exception();
};

}  // namespace Corvex::Csv

// The longest line the collector's reader stores, without its line end. A
// sampler's rows are under 2 KB and its header under 8 KB. A longer line is
// consumed without being stored and reads as a row with no field, which no
// caller takes for a usable row.
constexpr std::size_t csvLineLimit = std::size_t{1} << 20;

// Where the reader takes its bytes from, a chunk at a time.
class CsvByteSource {
public:
    virtual ~CsvByteSource() = default;
    // Fills up to size bytes; 0 means the end of the input or a read error,
    // which the reader treats alike.
    virtual std::size_t read(char* destination, std::size_t size) = 0;
};

// Text in memory, handed out at most pieceSize bytes at a time (tests and
// fuzzers cut it small to put line ends at every chunk boundary).
class CsvTextSource : public CsvByteSource {
public:
    explicit CsvTextSource(std::string bytes, std::size_t pieceSize = csvLineLimit)
        : bytes_(std::move(bytes)), pieceSize_(pieceSize == 0 ? 1 : pieceSize) {}
    std::size_t read(char* destination, std::size_t size) override;

private:
    std::string bytes_;
    std::size_t taken_ = 0;
    std::size_t pieceSize_;
};

// The vector code that finds a line's end, commas and quotes. The reader
// takes the best one the processor has; tests and fuzzers run each of them.
enum class CsvScanKernel { scalar, sse2, avx2 };
bool csvScanKernelAvailable(CsvScanKernel kernel);
CsvScanKernel bestCsvScanKernel();
std::vector<CsvScanKernel> availableCsvScanKernels();
const char* csvScanKernelName(CsvScanKernel kernel);

class CsvReader;

class CsvRow {
public:
    std::size_t size() const { return fieldStarts_.count == 0 ? 0 : fieldStarts_.count - 1; }
    bool empty() const { return fieldStarts_.count == 0; }

    std::string_view operator[](std::size_t index) const {
        const std::uint32_t begin = fieldStarts_.data[index];
        return std::string_view(text_ + begin, fieldStarts_.data[index + 1] - 1 - begin);
    }

    // parseUnsignedField on the fields at positions[0..count) into values,
    // through the vector code of the reader that read the row; false at the
    // first that is no number, with the values before it written.
    [[nodiscard]] bool parseUnsignedFields(const std::size_t* positions, std::size_t count,
                                           std::uint64_t* values) const {
        return scan_->parseCounters(text_, fieldStarts_.data, positions, count, values);
    }

private:
    friend class CsvReader;
    void clear() {
        text_ = nullptr;
        fieldStarts_.count = 0;
    }

    // Field i is [fieldStarts_[i], fieldStarts_[i + 1] - 1) of text_, the
    // last start one past the end: one offset a field keeps the split to a
    // single store per comma. text_ is the line in the reader's window, or
    // quotedText_ for a line with quotes, whose bytes the split changes.
    const char* text_ = nullptr;
    CsvOffsets fieldStarts_;
    const CsvScanFunctions* scan_ = &csvScalarScan;
    std::string quotedText_;
    // The row being read, swapped in only once the line has split cleanly,
    // so a line with a quote left open leaves the caller's row as it was.
    CsvOffsets pendingStarts_;
    std::string pendingText_;
};

// Reads lines from one source at a time through a window of its own. A row's
// fields point into that window: they stay valid until the second row after
// them has been read (a read that throws reads no row), so a caller may hold
// one row while it reads the next into another (the selection holds a file's
// header while it reads the first data row). Resetting the reader ends them.
// How a reader reads: the collector uses the defaults; tests and fuzzers make
// the limit and the chunks tiny to reach every boundary with small inputs.
struct CsvReaderShape {
    CsvScanKernel kernel = bestCsvScanKernel();
    std::size_t lineLimit = csvLineLimit;  // under 2^31: fields are found by 32-bit offsets
    // Bytes asked of the source at a time: a chunk stays in the cache while
    // its rows are split.
    std::size_t readSize = std::size_t{1} << 18;
};

class CsvReader {
public:
    explicit CsvReader(CsvReaderShape shape = {});
    explicit CsvReader(std::unique_ptr<CsvByteSource> source, CsvReaderShape shape = {});
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // Starts over on another source, keeping the window, so one reader walks
    // many files without allocating again. A null source reads as empty: the
    // first read fails like a read at the end of an empty file.
    void reset(std::unique_ptr<CsvByteSource> source);

    // False once a read has met the end of the input (or a null source).
    bool good() const { return !ended_; }

private:
    friend CsvReader& readCsvRow(CsvReader& in, CsvRow& row);

    void read(CsvRow& row);
    char* otherWindow(const char* window) const;
    std::size_t readSource(char* destination, std::size_t size);
    // Reads on for a line that has not ended in the bytes at hand; false at
    // the end of the input.
    [[nodiscard]] bool extendLine(char*& window, std::size_t& lineStart, std::size_t& from);
    void skipOverlongLine(std::uint64_t quotes, CsvRow& row);
    void endInput(CsvRow& row);

    std::unique_ptr<CsvByteSource> source_;
    const CsvScanFunctions* scan_;
    std::size_t lineLimit_;
    std::size_t readSize_;
    // A window holds the longest line stored, its CR and LF, and a chunk.
    std::size_t windowCapacity_;
    // Two windows: a line cut by the end of one continues at the start of the
    // other, so the bytes of the row the caller holds are never overwritten
    // while the next one is read.
    std::unique_ptr<char[]> storage_;
    char* current_ = nullptr;
    // The window of the last row handed out, which no read may write to;
    // null when that row's bytes are its own (quoted) or it has none.
    const char* held_ = nullptr;
    std::size_t begin_ = 0;  // unread bytes: [begin_, end_) of current_
    std::size_t end_ = 0;
    bool sourceEnded_ = false;
    bool ended_ = true;
};

// Reads the next line (up to "\n"; a "\r" directly before it is dropped, so
// CR LF and LF files read alike) into row. Only while the returned reader is
// good does row hold a line: at the end of the input, and for a last line
// without a line feed, row comes back empty. A line with an odd number of
// double quotes throws Corvex::Csv::csv_exception after it has been consumed,
// and row is left as it was; so does one longer than the reader's line limit,
// whose quotes are counted as it streams past. A longer line with an even
// number of quotes reads as a row without any field: never a usable row.
CsvReader& readCsvRow(CsvReader& in, CsvRow& row);

// An unsigned decimal in the manner of strtoull (base 10): leading white
// space, one optional sign (minus negates modulo 2^64), digits saturating at
// 2^64 - 1. Accepted only when the conversion ends at the end of the field,
// which is taken as a C string: a NUL byte ends it. An empty field is 0.
// On refusal value is left as it was.
[[nodiscard]] bool parseUnsignedField(std::string_view field, std::uint64_t& value);
