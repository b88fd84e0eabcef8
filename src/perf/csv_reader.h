#pragma once
// One CSV line at a time from a stream, split into byte fields with double
// quotes honoured, and the one number rule applied to counter fields.
//
// The row path is built for history files of tens of megabytes: a CsvRow keeps
// its buffers from call to call, so once it has seen the longest line no read
// allocates, and fields are views into the row's own bytes.
#include <cstddef>
#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Corvex {
namespace Csv {

struct csv_exception : std::runtime_error {
    csv_exception();
};

}  // namespace Csv
}  // namespace Corvex

class CsvRow {
public:
    std::size_t size() const { return fieldStarts_.empty() ? 0 : fieldStarts_.size() - 1; }
    bool empty() const { return fieldStarts_.empty(); }

    // Valid until the next readCsvRow into this row.
    std::string_view operator[](std::size_t index) const {
        const std::size_t begin = fieldStarts_[index];
        return std::string_view(text_.data() + begin, fieldStarts_[index + 1] - 1 - begin);
    }

private:
    friend std::istream& readCsvRow(std::istream& in, CsvRow& row);

    // What the caller sees: the fields stand in text_ one separator byte
    // apart, field i at [fieldStarts_[i], fieldStarts_[i + 1] - 1), the last
    // start one past the end. One offset a field keeps the split loop to a
    // single store per comma.
    std::string text_;
    std::vector<std::size_t> fieldStarts_;
    // The row being read. It is swapped in only once the line has split
    // cleanly, so a line with a quote left open leaves the caller's row as
    // it was, and the buffers are recycled rather than reallocated.
    std::string pendingLine_;
    std::string pendingText_;
    std::vector<std::size_t> pendingStarts_;
};

// Reads the next line (up to "\n"; a "\r" directly before it is dropped, so
// CR LF and LF files read alike whatever the stream's mode) into row. Only
// while the returned stream is good does row hold a line: at the end of the
// input, and for a last line without a line feed, row comes back empty. A line
// with an odd number of double quotes throws Corvex::Csv::csv_exception after
// it has been consumed.
std::istream& readCsvRow(std::istream& in, CsvRow& row);

// An unsigned decimal in the manner of strtoull (base 10): leading white
// space, one optional sign (minus negates modulo 2^64), digits saturating at
// 2^64 - 1. Accepted only when the conversion ends at the end of the field,
// which is taken as a C string: a NUL byte ends it. An empty field is 0.
// On refusal value is left as it was.
bool parseUnsignedField(std::string_view field, std::uint64_t& value);
