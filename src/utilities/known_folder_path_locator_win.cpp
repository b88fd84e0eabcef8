#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <boost/throw_exception.hpp>
#include <sstream>
#include <stdexcept>

#include "utilities/known_folder_path_locator.h"
#include "utilities/windows_raii_win.h"

namespace utilities {

void WindowsRaii::RaiiCoTaskMemFreePwstr(PWSTR text) { CoTaskMemFree(text); }

namespace {

// The HRESULT is shown as a signed decimal: E_FAIL reads -2147467259.
std::runtime_error lookupFailure(HRESULT result) {
    std::ostringstream message;
    message << "SHGetKnownFolderPath failed: " << result;
    return std::runtime_error(message.str());
}
}  // namespace

std::wstring KnownFolderPathLocator::ProgramData() {
    WindowsRaii::CoTaskMemString path;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, path.put());
    if (FAILED(result)) {
        // The guard frees whatever the shell handed back while this leaves.
        BOOST_THROW_EXCEPTION(lookupFailure(result));
    }
    std::wstring copy(path.get());
    path.reset();
    return copy;
}

}  // namespace utilities
