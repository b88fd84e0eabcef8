#pragma once
// The text file behind the PDH stand-in DLL: which counters exist, with which
// raw value and value status. Portable, so the parser is also tested natively.
//
// One counter a line:   \set\counter = value [cstatus=status]
//                       \set(instance)\counter = value [cstatus=status]
// Blank lines and lines starting with '#' are ignored. See README.md here.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pdh_file {

// What PdhGetRawCounterValue reports for a published counter.
struct PublishedCounter {
    std::uint64_t firstValue = 0;
    std::uint32_t cstatus = 0;
};

// "\object\counter", where the object is a set or "set(instance)".
struct CounterPathParts {
    std::string object;
    std::string counter;
};

// The local-machine form only: no "\\machine" prefix, no empty names, no
// backslash inside the counter name, an instance only as a closing "(...)".
[[nodiscard]] std::optional<CounterPathParts> splitCounterPath(std::string_view path);

enum class Lookup { Found, NoObject, NoCounter, BadPath };

struct LookupResult {
    Lookup outcome;
    PublishedCounter counter;  // set only when found
};

// Counters by object, then by counter name. Names match without regard to
// ASCII case, as PDH's own names do; an object exists when any of its
// counters is published.
class CounterTable {
public:
    // False (and nothing changes) when the path is published already.
    [[nodiscard]] bool publish(const CounterPathParts& path, PublishedCounter counter);
    LookupResult find(std::string_view path) const;
    std::size_t size() const;

private:
    std::map<std::string, std::map<std::string, PublishedCounter>> objects_;
};

struct CounterFile {
    CounterTable table;
    std::vector<std::string> problems;  // "line N: what is wrong", in file order
};

// Every well-formed line is published; every other line is named in problems
// and skipped, so one typo never hides the rest of the file.
CounterFile parseCounterFile(std::string_view text);

// "42", "18446744073709551615", "-1" (the same 64 bits as the maximum) or
// "0x2A". Nothing else, no overflow.
[[nodiscard]] std::optional<std::uint64_t> parseRawValue(std::string_view text);
// "0x00000001" or a decimal up to 4294967295.
[[nodiscard]] std::optional<std::uint32_t> parseStatus(std::string_view text);

}  // namespace pdh_file
