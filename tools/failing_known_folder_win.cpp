// Test stand-in: the shell never knows where ProgramData is.
#include <windows.h>
#include <shlobj.h>

extern "C" HRESULT STDAPICALLTYPE SHGetKnownFolderPath(REFKNOWNFOLDERID, DWORD /*unused*/, HANDLE /*unused*/,
                                                       PWSTR* path) {
    *path = nullptr;
    return E_FAIL;
}
