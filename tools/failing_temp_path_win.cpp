// Test stand-in: the temporary directory can never be found. GetTempPathW is
// imported, so the stand-in takes the import table's slot.
#include <windows.h>

namespace {
DWORD WINAPI failingGetTempPathW(DWORD /*unused*/, LPWSTR /*unused*/) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
}
}  // namespace

// The linker's name for the import slot, hence the reserved identifier.
extern "C" {
// NOLINTNEXTLINE(bugprone-reserved-identifier)
DWORD(WINAPI* __imp_GetTempPathW)(DWORD, LPWSTR) = failingGetTempPathW;
}
