// Test stand-in: the temporary directory can never be found. GetTempPathW is
// imported, so the stand-in takes the import table's slot.
#include <windows.h>

namespace {
DWORD WINAPI failingGetTempPathW(DWORD /*unused*/, LPWSTR /*unused*/) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
}
}  // namespace

extern "C" {
DWORD(WINAPI* __imp_GetTempPathW)(DWORD, LPWSTR) = failingGetTempPathW;
}
