#pragma once
// Reads one catalogue slice through the Performance Data Helper and appends
// its members to the report document. Never throws on a counter problem: a
// counter that cannot be read is written as 0 and described on the debugger
// output.
#include <cstddef>
#include <ostream>

#include "counters/counter_catalogue.h"

void writeCounterSection(std::ostream& document, std::size_t count, const CounterSpec* rows, const char* instance);

// printf-style text, cut to a 1000-byte buffer, sent to OutputDebugStringA.
void debugPrint(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
