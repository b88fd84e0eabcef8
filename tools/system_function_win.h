#pragma once
// The system's own implementation of a function a stand-in replaces, looked up
// in its DLL so the stand-in can pass calls through.
#include <windows.h>

namespace standins {

template <typename Function>
Function SystemFunction(const wchar_t* module, const char* name) {
    const FARPROC address = GetProcAddress(LoadLibraryW(module), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

}  // namespace standins
