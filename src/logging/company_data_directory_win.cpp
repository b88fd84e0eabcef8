#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <sstream>
#include <stdexcept>

#include "logging/company_data_directory.h"
#include "logging/logger_win.h"
#include "utilities/windows_raii_win.h"

std::wstring CompanyDataDirectory() {
    // The guard frees whatever the shell handed back, on failure too.
    utilities::WindowsRaii::CoTaskMemString path;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, path.put()))) {
        if (Logger* logger = Logger::Instance()) {
            logger->Log(LogLevel::Error, L"Failed to locate ProgramData directory using SHGetKnownFolderPath.");
        }
        throw std::runtime_error("Failed to locate ProgramData directory");
    }
    std::wostringstream directory;
    directory << path.get() << L"\\Corvex";
    return directory.str();
}
