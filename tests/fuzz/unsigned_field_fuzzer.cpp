// parseUnsignedField against the C library's strtoull (base 10) on a
// NUL-terminated copy of the field: accepted exactly when the conversion ends
// at the end of the field or at a NUL byte, with strtoull's value (saturation
// at 2^64 - 1, a minus sign negating modulo 2^64); a refusal leaves the value
// as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "perf/csv_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view field(reinterpret_cast<const char*>(data), size);

    const std::string copy(field);  // std::string keeps a NUL after its bytes
    char* end = nullptr;
    const unsigned long long expected = std::strtoull(copy.c_str(), &end, 10);
    const bool expectAccepted = *end == '\0';

    // A value the parser cannot produce by accident for this input.
    const std::uint64_t untouched = 0x5A5A5A5A5A5A5A5AULL ^ size;
    std::uint64_t value = untouched;
    const bool accepted = parseUnsignedField(field, value);

    require(accepted == expectAccepted, "acceptance differs from strtoull's end of conversion");
    if (accepted) {
        require(value == expected, "the value differs from strtoull's");
    } else {
        require(value == untouched, "a refused field changed the value");
    }
    return 0;
}
