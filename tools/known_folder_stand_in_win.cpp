#include "known_folder_stand_in_win.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "system_function_win.h"

namespace standins {

namespace {

struct LookupState {
    bool fail = false;
    HRESULT result = S_OK;
    bool handBackBuffer = false;
    const void* lastBuffer = nullptr;
    std::vector<const void*> freed;
};

LookupState& state() {
    static LookupState lookup;
    return lookup;
}

void WINAPI recordingCoTaskMemFree(LPVOID block) {
    if (block != nullptr) {
        state().freed.push_back(block);
    }
    static const auto systemFree = SystemFunction<void(WINAPI*)(LPVOID)>(L"ole32.dll", "CoTaskMemFree");
    systemFree(block);
}

}  // namespace

void FailKnownFolderLookup(HRESULT result, bool handBackBuffer) {
    state() = LookupState{true, result, handBackBuffer, nullptr, {}};
}

void PassKnownFolderLookupThrough() { state() = LookupState(); }

const void* LastKnownFolderBuffer() { return state().lastBuffer; }

int TaskMemoryFrees(const void* block) {
    return static_cast<int>(std::count(state().freed.begin(), state().freed.end(), block));
}

}  // namespace standins

extern "C" {

// Calls through the import table land here rather than in ole32 (the linker's
// name for the import slot, hence the reserved identifier).
// NOLINTNEXTLINE(bugprone-reserved-identifier)
void(WINAPI* __imp_CoTaskMemFree)(LPVOID) = standins::recordingCoTaskMemFree;

HRESULT STDAPICALLTYPE SHGetKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path) {
    standins::LookupState& lookup = standins::state();
    HRESULT result = lookup.result;
    if (!lookup.fail) {
        using Lookup = HRESULT(STDAPICALLTYPE*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
        static const auto systemLookup = standins::SystemFunction<Lookup>(L"shell32.dll", "SHGetKnownFolderPath");
        result = systemLookup(id, flags, token, path);
    } else if (lookup.handBackBuffer) {
        *path = static_cast<PWSTR>(CoTaskMemAlloc(sizeof(wchar_t)));
        **path = L'\0';
    } else {
        *path = nullptr;
    }
    lookup.lastBuffer = *path;
    return result;
}

}  // extern "C"
