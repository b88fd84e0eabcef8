#include "perf/csv_reader.h"

#include <cstring>
#include <utility>

namespace Corvex {
namespace Csv {

csv_exception::csv_exception() : std::runtime_error("odd number of quotes in CSV row") {}

}  // namespace Csv
}  // namespace Corvex

namespace {

// Without a quote character a field is exactly the bytes between two commas,
// so the line itself becomes the row's text.
template <typename Span>
void splitUnquoted(const std::string& line, std::vector<Span>& fields) {
    const char* const start = line.data();
    const char* const end = start + line.size();
    const char* fieldStart = start;
    while (true) {
        const void* comma = std::memchr(fieldStart, ',', static_cast<std::size_t>(end - fieldStart));
        const char* fieldEnd = comma ? static_cast<const char*>(comma) : end;
        fields.push_back({static_cast<std::size_t>(fieldStart - start), static_cast<std::size_t>(fieldEnd - start)});
        if (!comma) {
            return;
        }
        fieldStart = fieldEnd + 1;
    }
}

// Every quote toggles quoting wherever it stands and is dropped; a quote right
// after the one that closed a quoted stretch stands for a literal quote.
// Returns false when the line leaves a quote open.
template <typename Span>
bool splitQuoted(const std::string& line, std::string& text, std::vector<Span>& fields) {
    bool insideQuotes = false;
    char previousByte = 0;
    std::size_t fieldBegin = 0;
    for (const char c : line) {
        if (c == '"') {
            if (previousByte == '"' && !insideQuotes) {
                text.push_back('"');
            }
            insideQuotes = !insideQuotes;
        } else if (c == ',' && !insideQuotes) {
            fields.push_back({fieldBegin, text.size()});
            fieldBegin = text.size();
        } else {
            text.push_back(c);
        }
        previousByte = c;
    }
    fields.push_back({fieldBegin, text.size()});
    return !insideQuotes;
}

bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::istream& readCsvRow(std::istream& in, CsvRow& row) {
    std::getline(in, row.pendingLine_, '\n');
    if (!in.good()) {
        row.fields_.clear();
        return in;
    }
    std::string& line = row.pendingLine_;
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }

    row.pendingFields_.clear();
    if (std::memchr(line.data(), '"', line.size()) == nullptr) {
        splitUnquoted(line, row.pendingFields_);
        std::swap(row.text_, row.pendingLine_);
    } else {
        row.pendingText_.clear();
        if (!splitQuoted(line, row.pendingText_, row.pendingFields_)) {
            throw Corvex::Csv::csv_exception();
        }
        std::swap(row.text_, row.pendingText_);
    }
    std::swap(row.fields_, row.pendingFields_);
    return in;
}

namespace {

// The common counter field: 1 to 19 plain digits, which cannot overflow.
bool parsePlainDigits(std::string_view field, std::uint64_t& value) {
    if (field.empty() || field.size() > 19) {
        return false;
    }
    std::uint64_t number = 0;
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
