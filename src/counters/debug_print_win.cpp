#include <windows.h>

#include <cstdarg>
#include <cstdio>

#include "counters/counter_section.h"

void debugPrint(const char* format, ...) {
    char buffer[1000];
    va_list arguments;
    va_start(arguments, format);
    // Bounded: a longer message is cut, never written past the buffer.
    std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    buffer[sizeof buffer - 1] = '\0';
    OutputDebugStringA(buffer);
}
