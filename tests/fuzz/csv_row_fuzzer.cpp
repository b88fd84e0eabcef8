// readCsvRow over arbitrary bytes, line by line against a reference splitter
// written from the quoting rules by another road. Every complete line must
// give the reference's fields, or the quote exception exactly when the
// reference finds an odd number of quotes (and then leave the caller's row as
// it was), or, when longer than the reader's line limit, a row without
// fields; a last line without a line feed never gives a row. Every scan
// kernel reads the bytes, handed over a few at a time, through a reader whose
// line limit and chunks the first bytes make tiny, so that lines cross chunk
// and window boundaries and run over the limit at every offset; and each
// kernel's counter decode must agree with the field rule on every row.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "perf/csv_reader.h"

namespace {

struct ReferenceLine {
    bool oddQuotes = false;
    std::vector<std::string> fields;
};

// The quotes cut the line into stretches, alternately outside and inside
// quotes. Inside stretches are taken whole, commas included; a comma in an
// outside stretch ends a field; an empty outside stretch between a closing and
// an opening quote stands for one literal quote.
ReferenceLine referenceSplit(std::string_view line) {
    std::vector<std::string_view> stretches;
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == '"') {
            stretches.push_back(line.substr(begin, i - begin));
            begin = i + 1;
        }
    }
    ReferenceLine reference;
    if ((stretches.size() - 1) % 2 == 1) {
        reference.oddQuotes = true;
        return reference;
    }
    std::string field;
    for (std::size_t s = 0; s < stretches.size(); ++s) {
        const bool inside = s % 2 == 1;
        const bool betweenQuotes = s >= 2 && s + 1 < stretches.size();
        if (inside) {
            field += stretches[s];
        } else if (betweenQuotes && stretches[s].empty()) {
            field += '"';
        } else {
            for (const char c : stretches[s]) {
                if (c == ',') {
                    reference.fields.push_back(field);
                    field.clear();
                } else {
                    field += c;
                }
            }
        }
    }
    reference.fields.push_back(field);
    return reference;
}

// The complete lines, each without its line feed and a carriage return
// directly before it; what follows the last line feed is not a line.
std::vector<std::string_view> completeLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    for (std::size_t lineFeed; (lineFeed = bytes.find('\n')) != std::string_view::npos;) {
        std::string_view line = bytes.substr(0, lineFeed);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        bytes.remove_prefix(lineFeed + 1);
    }
    return lines;
}

std::vector<std::string> fieldsOf(const CsvRow& row) {
    std::vector<std::string> fields;
    for (std::size_t i = 0; i < row.size(); ++i) {
        fields.emplace_back(row[i]);
    }
    return fields;
}

// Fields are views into the row: in line order, not overlapping, no line feed.
void checkLayout(const CsvRow& row, std::string_view line) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < row.size(); ++i) {
        require(row[i].find('\n') == std::string_view::npos, "a field holds a line feed");
        if (i + 1 < row.size()) {
            require(row[i].data() + row[i].size() <= row[i + 1].data(), "fields overlap or are out of order");
        }
        bytes += row[i].size();
    }
    require(bytes <= line.size(), "the fields hold more bytes than the line");
}

// The row's kernel decodes counter fields as the field rule does: each field
// paired with the next, so the two-at-a-time code sees every neighbour.
void checkCounterDecode(const CsvRow& row) {
    for (std::size_t i = 0; i < row.size(); ++i) {
        const std::size_t positions[2] = {i, (i + 1) % row.size()};
        std::uint64_t expected[2] = {0, 0};
        const bool accepted =
            parseUnsignedField(row[positions[0]], expected[0]) && parseUnsignedField(row[positions[1]], expected[1]);
        std::uint64_t values[2] = {0, 0};
        const bool decoded = row.parseUnsignedFields(positions, 2, values);
        require(decoded == accepted, "the row's counter decode disagrees with the field rule");
        require(!accepted || (values[0] == expected[0] && values[1] == expected[1]),
                "the row's counter decode gives another value than the field rule");
    }
}

void checkReads(CsvReader& in, const std::vector<std::string_view>& lines, std::size_t lineLimit) {
    CsvRow row;
    std::vector<std::string> held;  // the row as the last good read left it
    for (const std::string_view line : lines) {
        const ReferenceLine expected = referenceSplit(line);
        bool threw = false;
        bool good = false;
        try {
            good = readCsvRow(in, row).good();
        } catch (const Corvex::Csv::csv_exception&) {
            threw = true;
        }
        require(threw == expected.oddQuotes, "the quote exception disagrees with the quote count");
        if (threw) {
            require(fieldsOf(row) == held, "a refused line changed the caller's row");
            continue;
        }
        require(good, "a complete line did not read as a row");
        held = fieldsOf(row);
        if (line.size() > lineLimit) {
            require(row.empty(), "a line over the limit read as a row with fields");
            continue;
        }
        require(!row.empty(), "a row without a field");
        checkLayout(row, line);
        require(held == expected.fields, "the fields differ from the reference split");
        checkCounterDecode(row);
    }
    // The end of the input, with or without an unfinished last line, and it stays so.
    for (int attempt = 0; attempt < 2; ++attempt) {
        require(!readCsvRow(in, row).good(), "a row after the last line feed");
        require(row.empty(), "the row is not empty at the end of the input");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string_view> lines = completeLines(bytes);
    const auto shapeByte = [&](std::size_t i) { return i < size ? data[i] : std::uint8_t{0}; };

    static const std::vector<CsvScanKernel> kernels = availableCsvScanKernels();
    // Half the inputs read with a line limit of a few bytes, half with one
    // beyond any input (as the collector's own is beyond any sampler's line);
    // chunks of 1 to 29 bytes, or as large as the collector's. The windows
    // stay small, and so the runs fast.
    CsvReaderShape shape;
    shape.lineLimit = shapeByte(1) % 2 == 1 ? 1 + shapeByte(1) % 48 : 1 << 16;
    shape.readSize = shapeByte(2) % 8 == 0 ? CsvReaderShape{}.readSize : 1 + shapeByte(2) % 29;
    const std::size_t piece = 1 + shapeByte(0) % 13;
    for (const CsvScanKernel kernel : kernels) {
        shape.kernel = kernel;
        CsvReader in(std::make_unique<CsvTextSource>(bytes, piece), shape);
        checkReads(in, lines, shape.lineLimit);
    }
    return 0;
}
