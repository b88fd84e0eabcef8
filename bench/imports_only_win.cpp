// Imports what the collector imports, from the same system DLLs, and calls
// nothing: under Wine, loading shell32, ole32 and their company (user32, gdi32)
// is most of a short program's start, and this separates that cost from the
// collector's own work.
#include <windows.h>
#include <oleauto.h>
#include <pdh.h>
#include <shlobj.h>
#include <winternl.h>

int main() {
    // Taking the addresses keeps the imports in the binary.
    const void* volatile imports[] = {
        reinterpret_cast<const void*>(&SHGetKnownFolderPath), reinterpret_cast<const void*>(&CoTaskMemFree),
        reinterpret_cast<const void*>(&SysFreeString),        reinterpret_cast<const void*>(&RegGetValueW),
        reinterpret_cast<const void*>(&NtQuerySystemTime),    reinterpret_cast<const void*>(&PdhOpenQueryA),
    };
    return imports[0] == nullptr ? 1 : 0;
}
