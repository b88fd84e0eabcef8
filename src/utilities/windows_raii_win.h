#pragma once
#include <windows.h>
#include <oleauto.h>

#include <cstdio>

#include "utilities/static_raii.h"

namespace utilities {
namespace WindowsRaii {

void RaiiCoTaskMemFreePwstr(PWSTR text);
inline void RaiiRegCloseKey(HKEY key) { RegCloseKey(key); }
inline void RaiiCloseHandle(HANDLE handle) { CloseHandle(handle); }
inline void RaiiSysFreeString(BSTR text) { SysFreeString(text); }
inline void RaiiCloseFile(std::FILE* file) { std::fclose(file); }

// A wide string allocated by the shell, freed with CoTaskMemFree.
using CoTaskMemString = StaticRaii<PWSTR, RaiiCoTaskMemFreePwstr, nullptr>;
// An open registry key; putting a new key in closes the one held.
using RegistryKey = StaticRaii<HKEY, RaiiRegCloseKey, nullptr>;
// A file handle. CreateFileW reports failure as INVALID_HANDLE_VALUE, which is
// no constant expression, so it is given to the owner as null (see OwnedHandle).
using FileHandle = StaticRaii<HANDLE, RaiiCloseHandle, nullptr>;
// A string of the OLE Automation allocator, freed with SysFreeString.
using Bstr = StaticRaii<BSTR, RaiiSysFreeString, nullptr>;
// A C runtime file stream.
using CrtFile = StaticRaii<std::FILE*, RaiiCloseFile, nullptr>;

// The handle CreateFileW returned, as the owner's empty value when it failed.
inline HANDLE OwnedHandle(HANDLE created) { return created == INVALID_HANDLE_VALUE ? nullptr : created; }

}  // namespace WindowsRaii
}  // namespace utilities
