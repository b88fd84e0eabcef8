#include "counter_file.h"

#include <limits>

namespace pdh_file {

namespace {

constexpr std::string_view blanks = " \t";
constexpr std::string_view cstatusPrefix = "cstatus=";

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string folded(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lowerAscii(c);
    return out;
}

bool startsWithFolded(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && folded(text.substr(0, prefix.size())) == prefix;
}

// Digits in the given base into a 64-bit value; false on anything else or overflow.
[[nodiscard]] bool parseDigits(std::string_view digits, unsigned base, std::uint64_t& value) {
    if (digits.empty()) return false;
    value = 0;
    for (char c : digits) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && lowerAscii(c) >= 'a' && lowerAscii(c) <= 'f') {
            digit = static_cast<unsigned>(lowerAscii(c) - 'a' + 10);
        } else {
            return false;
        }
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / base) return false;
        value = value * base + digit;
    }
    return true;
}

bool isHex(std::string_view text) { return text.size() > 2 && text[0] == '0' && lowerAscii(text[1]) == 'x'; }

std::string describe(std::size_t lineNumber, const std::string& what, std::string_view line) {
    return "line " + std::to_string(lineNumber) + ": " + what + ": " + std::string(line);
}

// Parsed from the right, so a counter name may hold '=' or blanks.
[[nodiscard]] std::optional<std::string> parseLine(std::string_view line, CounterTable& table) {
    std::string_view rest = line;
    PublishedCounter counter;
    const auto lastBlank = rest.find_last_of(blanks);
    if (lastBlank != std::string_view::npos && startsWithFolded(rest.substr(lastBlank + 1), cstatusPrefix)) {
        const auto status = parseStatus(rest.substr(lastBlank + 1 + cstatusPrefix.size()));
        if (!status) return std::string("status is not a 32-bit number");
        counter.cstatus = *status;
        rest = trim(rest.substr(0, lastBlank));
    }
    const auto equals = rest.rfind('=');
    const auto value = equals == std::string_view::npos ? std::nullopt : parseRawValue(trim(rest.substr(equals + 1)));
    if (!value) return std::string("expected '<counter path> = <value> [cstatus=<status>]'");
    counter.firstValue = *value;
    const auto path = splitCounterPath(trim(rest.substr(0, equals)));
    if (!path) return std::string("not a counter path of the form \\set\\counter or \\set(instance)\\counter");
    if (!table.publish(*path, counter)) return std::string("counter listed twice (the first one counts)");
    return std::nullopt;
}

}  // namespace

std::optional<CounterPathParts> splitCounterPath(std::string_view path) {
    if (path.size() < 2 || path[0] != '\\' || path[1] == '\\') return std::nullopt;
    const auto separator = path.find('\\', 1);
    if (separator == std::string_view::npos) return std::nullopt;
    const std::string_view object = path.substr(1, separator - 1);
    const std::string_view counter = path.substr(separator + 1);
    if (object.empty() || counter.empty() || counter.find('\\') != std::string_view::npos) return std::nullopt;
    const auto open = object.find('(');
    if (open != std::string_view::npos) {
        // "set(instance)": a set name, then one non-empty instance closing the object.
        if (open == 0 || object.back() != ')' || object.size() - open < 3) return std::nullopt;
    } else if (object.find(')') != std::string_view::npos) {
        return std::nullopt;
    }
    return CounterPathParts{std::string(object), std::string(counter)};
}

bool CounterTable::publish(const CounterPathParts& path, PublishedCounter counter) {
    return objects_[folded(path.object)].emplace(folded(path.counter), counter).second;
}

LookupResult CounterTable::find(std::string_view path) const {
    const auto parts = splitCounterPath(path);
    if (!parts) return {Lookup::BadPath, {}};
    const auto object = objects_.find(folded(parts->object));
    if (object == objects_.end()) return {Lookup::NoObject, {}};
    const auto counter = object->second.find(folded(parts->counter));
    if (counter == object->second.end()) return {Lookup::NoCounter, {}};
    return {Lookup::Found, counter->second};
}

std::size_t CounterTable::size() const {
    std::size_t count = 0;
    for (const auto& object : objects_) count += object.second.size();
    return count;
}

CounterFile parseCounterFile(std::string_view text) {
    CounterFile file;
    // A byte-order mark from an editor that saves UTF-8 with one.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const auto end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        const std::string_view line = trim(raw);
        if (line.empty() || line[0] == '#') continue;
        if (const auto problem = parseLine(line, file.table)) {
            file.problems.push_back(describe(lineNumber, *problem, line));
        }
    }
    return file;
}

std::optional<std::uint64_t> parseRawValue(std::string_view text) {
    std::uint64_t value = 0;
    if (isHex(text)) {
        if (!parseDigits(text.substr(2), 16, value)) return std::nullopt;
        return value;
    }
    if (!text.empty() && text[0] == '-') {
        // A signed reading of the same 64 bits, down to -2^63.
        constexpr std::uint64_t limit = std::uint64_t(1) << 63;
        if (!parseDigits(text.substr(1), 10, value) || value > limit) return std::nullopt;
        return ~value + 1;
    }
    if (!parseDigits(text, 10, value)) return std::nullopt;
    return value;
}

std::optional<std::uint32_t> parseStatus(std::string_view text) {
    std::uint64_t value = 0;
    const bool parsed = isHex(text) ? parseDigits(text.substr(2), 16, value) : parseDigits(text, 10, value);
    if (!parsed || value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

}  // namespace pdh_file
