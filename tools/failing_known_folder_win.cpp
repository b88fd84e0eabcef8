// Test stand-in: the shell never knows where ProgramData is.
#include <windows.h>
#include <shlobj.h>

extern "C" HRESULT STDAPICALLTYPE SHGetKnownFolderPath(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR* path) {
    *path = nullptr;
    return E_FAIL;
}
