#include "perf/csv_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "perf/csv_digits.h"
#include "perf/csv_line_scan.h"

namespace Corvex::Csv {

csv_exception::csv_exception() : std::runtime_error("odd number of quotes in CSV row") {}

}  // namespace Corvex::Csv

CsvOffsets::~CsvOffsets() { delete[] data; }

void CsvOffsets::reserveMore(std::size_t more) {
    if (capacity - count >= more) {
        return;
    }
    const std::size_t grown = std::max(count + more, 2 * capacity);
    auto* larger = new std::uint32_t[grown];
    std::copy(data, data + count, larger);
    delete[] data;
    data = larger;
    capacity = grown;
}

void CsvOffsets::swap(CsvOffsets& other) {
    std::swap(data, other.data);
    std::swap(count, other.count);
    std::swap(capacity, other.capacity);
}

std::size_t CsvTextSource::read(char* destination, std::size_t size) {
    const std::size_t count = std::min({size, pieceSize_, bytes_.size() - taken_});
    bytes_.copy(destination, count, taken_);
    taken_ += count;
    return count;
}

bool csvScanKernelAvailable(CsvScanKernel kernel) {
#if defined(CORVEX_CSV_X86_KERNELS)
    if (kernel == CsvScanKernel::avx2) {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt");
    }
    return true;  // the scalar kernel, and SSE2, which is part of x86-64 itself
#else
    return kernel == CsvScanKernel::scalar;
#endif
}

CsvScanKernel bestCsvScanKernel() {
    static const CsvScanKernel best = csvScanKernelAvailable(CsvScanKernel::avx2)   ? CsvScanKernel::avx2
                                      : csvScanKernelAvailable(CsvScanKernel::sse2) ? CsvScanKernel::sse2
                                                                                    : CsvScanKernel::scalar;
    return best;
}

std::vector<CsvScanKernel> availableCsvScanKernels() {
    std::vector<CsvScanKernel> kernels;
    for (const CsvScanKernel kernel : {CsvScanKernel::scalar, CsvScanKernel::sse2, CsvScanKernel::avx2}) {
        if (csvScanKernelAvailable(kernel)) {
            kernels.push_back(kernel);
        }
    }
    return kernels;
}

const char* csvScanKernelName(CsvScanKernel kernel) {
    switch (kernel) {
        case CsvScanKernel::scalar:
            return "scalar";
        case CsvScanKernel::sse2:
            return "sse2";
        case CsvScanKernel::avx2:
            return "avx2";
    }
    return "unknown";
}

namespace {

const CsvScanFunctions& scanFunctions(CsvScanKernel kernel) {
    switch (kernel) {
#if defined(CORVEX_CSV_X86_KERNELS)
        case CsvScanKernel::avx2:
            return csvAvx2Scan;
        case CsvScanKernel::sse2:
            return csvSse2Scan;
#endif
        default:
            return csvScalarScan;
    }
}

void pushOffset(CsvOffsets& offsets, std::size_t offset) {
    offsets.reserveMore(1);
    offsets.data[offsets.count++] = static_cast<std::uint32_t>(offset);
}

// Every quote toggles quoting wherever it stands and is dropped; a quote right
// after the one that closed a quoted stretch stands for a literal quote. The
// caller has counted the quotes: an even number leaves no quote open.
void splitQuoted(std::string_view line, std::string& text, CsvOffsets& offsets) {
    bool insideQuotes = false;
    char previousByte = 0;
    text.clear();
    offsets.count = 0;
    pushOffset(offsets, 0);
    for (const char c : line) {
        if (c == '"') {
            if (previousByte == '"' && !insideQuotes) {
                text.push_back('"');
            }
            insideQuotes = !insideQuotes;
        } else if (c == ',' && !insideQuotes) {
            text.push_back(',');  // the separator byte between two fields
            pushOffset(offsets, text.size());
        } else {
            text.push_back(c);
        }
        previousByte = c;
    }
    pushOffset(offsets, text.size() + 1);
}

}  // namespace

CsvReader::CsvReader(CsvReaderShape shape)
    : scan_(&scanFunctions(csvScanKernelAvailable(shape.kernel) ? shape.kernel : bestCsvScanKernel())),
      lineLimit_(shape.lineLimit),
      readSize_(std::max<std::size_t>(shape.readSize, 1)),
      windowCapacity_(lineLimit_ + 2 + readSize_) {}

CsvReader::CsvReader(std::unique_ptr<CsvByteSource> source, CsvReaderShape shape) : CsvReader(shape) {
    reset(std::move(source));
}

CsvReader::~CsvReader() = default;

void CsvReader::reset(std::unique_ptr<CsvByteSource> source) {
    source_ = std::move(source);
    ended_ = source_ == nullptr;
    sourceEnded_ = ended_;
    // Allocated at the first source, so a reader that never reads costs no window.
    if (!ended_ && !storage_) {
        storage_.reset(new char[2 * (windowCapacity_ + csvScanOverread)]);
    }
    current_ = storage_.get();
    held_ = nullptr;
    begin_ = 0;
    end_ = 0;
}

char* CsvReader::otherWindow(const char* window) const {
    char* const first = storage_.get();
    return window == first ? first + windowCapacity_ + csvScanOverread : first;
}

std::size_t CsvReader::readSource(char* destination, std::size_t size) {
    if (sourceEnded_) {
        return 0;
    }
    const std::size_t received = source_->read(destination, size);
    if (received == 0) {
        sourceEnded_ = true;
        return 0;
    }
    // The scan looks a little past the bytes it is given; what it sees there is
    // masked off, but it should not be memory nobody wrote.
    std::memset(destination + received, 0, csvScanOverread);
    return received;
}

bool CsvReader::extendLine(char*& window, std::size_t& lineStart, std::size_t& from) {
    if (windowCapacity_ - end_ < readSize_) {
        // The line goes on at the start of a window that holds no row the
        // caller may still be using: the other one, or this one when the
        // caller's row is in the other (after lines that threw).
        char* const next = window == held_ ? otherWindow(window) : window;
        const std::size_t length = end_ - lineStart;
        std::memmove(next, window + lineStart, length);
        window = next;
        from -= lineStart;
        lineStart = 0;
        end_ = length;
    }
    const std::size_t received = readSource(window + end_, readSize_);
    end_ += received;
    return received != 0;
}

void CsvReader::endInput(CsvRow& row) {
    ended_ = true;
    row.clear();
}

void CsvReader::skipOverlongLine(std::uint64_t quotes, CsvRow& row) {
    // Nothing of the line is kept: each chunk goes into a window the caller's
    // row is not in, and only its quotes are counted on the way to the line feed.
    char* const scratch = current_ == held_ ? otherWindow(current_) : current_;
    while (true) {
        const std::size_t received = readSource(scratch, windowCapacity_);
        if (received == 0) {
            endInput(row);
            return;
        }
        if (const char* lineFeed = scan_->findLineFeed(scratch, scratch + received, quotes)) {
            current_ = scratch;
            begin_ = static_cast<std::size_t>(lineFeed - scratch) + 1;
            end_ = received;
            break;
        }
    }
    if (quotes % 2 != 0) {
        throw Corvex::Csv::csv_exception();
    }
    held_ = nullptr;
    row.clear();
}

void CsvReader::read(CsvRow& row) {
    char* window = current_;
    std::size_t lineStart = begin_;
    CsvOffsets& offsets = row.pendingStarts_;
    offsets.count = 0;
    pushOffset(offsets, 0);

    // The common row: its line feed already in the window and no quote before
    // it, so the commas are found in the same pass as the line's end.
    CsvScan scan = scan_->scanRow(window + lineStart, window + lineStart, window + end_, offsets);
    const char* lineFeed = scan.at;
    std::uint64_t quotes = 0;
    if (scan.stop != CsvScanStop::lineFeed) {
        // A quote, or the end of the bytes at hand: look for the line feed
        // alone, reading on as needed, then split the whole line.
        auto from = static_cast<std::size_t>(scan.at - window);
        while (!(lineFeed = scan_->findLineFeed(window + from, window + end_, quotes))) {
            from = end_;
            if (end_ - lineStart > lineLimit_ + 1) {
                skipOverlongLine(quotes, row);
                return;
            }
            if (!extendLine(window, lineStart, from)) {
                endInput(row);
                return;
            }
        }
        if (quotes == 0) {
            offsets.count = 0;
            pushOffset(offsets, 0);
            scan_->scanRow(window + lineStart, window + lineStart, lineFeed + 1, offsets);
        }
    }

    current_ = window;
    begin_ = static_cast<std::size_t>(lineFeed - window) + 1;
    std::size_t lineEnd = begin_ - 1;
    if (lineEnd > lineStart && window[lineEnd - 1] == '\r') {
        --lineEnd;
    }
    const std::size_t length = lineEnd - lineStart;
    if (quotes % 2 != 0) {
        throw Corvex::Csv::csv_exception();
    }
    if (length > lineLimit_) {
        held_ = nullptr;
        row.clear();
        return;
    }
    if (quotes != 0) {
        splitQuoted(std::string_view(window + lineStart, length), row.pendingText_, offsets);
        std::swap(row.quotedText_, row.pendingText_);
        row.text_ = row.quotedText_.data();
        held_ = nullptr;
    } else {
        pushOffset(offsets, length + 1);
        row.text_ = window + lineStart;
        held_ = window;
    }
    row.fieldStarts_.swap(offsets);
    row.scan_ = scan_;
}

CsvReader& readCsvRow(CsvReader& in, CsvRow& row) {
    if (in.ended_) {
        in.endInput(row);
    } else {
        in.read(row);
    }
    return in;
}

namespace {

bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

bool parseUnsignedField(std::string_view field, std::uint64_t& value) {
    return parseCounterField(field.data(), field.size(), value);
}

bool parseCounterField(const char* bytes, std::size_t size, std::uint64_t& value) {
    if (parsePlainDigits(bytes, size, value)) {
        return true;
    }
    const std::string_view field(bytes, size);
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
