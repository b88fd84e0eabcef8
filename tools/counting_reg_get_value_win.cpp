#include "counting_reg_get_value_win.h"

#include <windows.h>

#include "system_function_win.h"

namespace standins {

namespace {

int calls = 0;

LONG WINAPI countingRegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD flags, LPDWORD type, PVOID data,
                                 LPDWORD size) {
    ++calls;
    static const auto systemGet = SystemFunction<decltype(&countingRegGetValueW)>(L"advapi32.dll", "RegGetValueW");
    return systemGet(key, subKey, value, flags, type, data, size);
}

}  // namespace

int RegGetValueWCalls() { return calls; }
void ResetRegGetValueWCalls() { calls = 0; }

}  // namespace standins

// Calls through the import table land here rather than in advapi32 (the
// linker's own name for the import slot, hence the reserved identifier).
extern "C" {
using RegGetValueWFunction = LONG(WINAPI*)(HKEY, LPCWSTR, LPCWSTR, DWORD, LPDWORD, PVOID, LPDWORD);
// NOLINTNEXTLINE(bugprone-reserved-identifier)
RegGetValueWFunction __imp_RegGetValueW = standins::countingRegGetValueW;
}
