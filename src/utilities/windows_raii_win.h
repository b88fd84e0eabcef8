#pragma once
// Every scoped owner of a Windows handle, one alias each, so no file defines an
// owner or closes a handle by hand.
#include <windows.h>
#include <oleauto.h>
#include <pdh.h>

#include <cstdio>

#include "utilities/static_raii.h"

namespace utilities::WindowsRaii {

void RaiiCoTaskMemFreePwstr(PWSTR text);
inline void RaiiRegCloseKey(HKEY key) { RegCloseKey(key); }
inline void RaiiCloseHandle(HANDLE handle) { CloseHandle(handle); }
inline void RaiiSysFreeString(BSTR text) { SysFreeString(text); }
inline void RaiiCloseFile(std::FILE* file) { std::fclose(file); }
inline void RaiiPdhCloseQuery(PDH_HQUERY query) { PdhCloseQuery(query); }
inline void RaiiFindClose(HANDLE search) { FindClose(search); }
inline void RaiiFreeLibrary(HMODULE module) { FreeLibrary(module); }

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
// A PDH query with its counters, closed with PdhCloseQuery.
using PdhQuery = StaticRaii<PDH_HQUERY, RaiiPdhCloseQuery, nullptr>;
// A FindFirstFileW search, closed with FindClose. Its failure value is
// INVALID_HANDLE_VALUE as well: give it to the owner through OwnedHandle.
using FindHandle = StaticRaii<HANDLE, RaiiFindClose, nullptr>;
// A module the program loaded itself, released with FreeLibrary.
using LoadedModule = StaticRaii<HMODULE, RaiiFreeLibrary, nullptr>;

// The handle CreateFileW or FindFirstFileW returned, as the owner's empty value
// when it failed.
inline HANDLE OwnedHandle(HANDLE created) { return created == INVALID_HANDLE_VALUE ? nullptr : created; }

}  // namespace utilities::WindowsRaii
