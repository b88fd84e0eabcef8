#include <windows.h>

#include <algorithm>
#include <string_view>

#include "app/installed_settings.h"
#include "app/version_text.h"
#include "utilities/windows_raii_win.h"

namespace {

using utilities::WindowsRaii::RegistryKey;

// The registry hands back at most this many bytes of a version; a longer
// value fails the read.
constexpr DWORD versionCapacity = 200;

const wchar_t zelConfigKey[] = L"SYSTEM\\CurrentControlSet\\services\\Corvex Valmere\\TamperProtection\\Config";
const wchar_t orbKey[] = L"SOFTWARE\\Corvex\\ORBService\\TamperProtection";

struct ZelFlagValue {
    const wchar_t* valueName;
    bool ZelTamperProtection::*flag;
};

const ZelFlagValue zelFlagValues[] = {
    {L"ZELEnabled", &ZelTamperProtection::zelEnabled},
    {L"IgnoreORB", &ZelTamperProtection::ignoreOrb},
    {L"orbEnabled", &ZelTamperProtection::orbEnabled},
};

// The key opened for reading, or an empty owner when it cannot be opened.
RegistryKey openMachineKey(const wchar_t* name, REGSAM access) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, name, 0, access, &opened) != ERROR_SUCCESS) {
        opened = nullptr;
    }
    return RegistryKey(opened);
}

// Whatever data of up to 4 bytes the value holds decides, whatever its type;
// a failed read (missing, or longer than 4 bytes) counts as 0, since the
// buffer's content is undefined after one.
bool flagOrFalse(HKEY key, const wchar_t* valueName) {
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExW(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS) {
        return false;
    }
    return data != 0;
}

}  // namespace

std::string readServiceVersion(const char* serviceName) {
    const std::string keyName = std::string("SYSTEM\\CurrentControlSet\\Services\\") + serviceName;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return std::string();
    }
    RegistryKey key(opened);
    char value[versionCapacity + 1] = {};
    DWORD type = REG_NONE;
    DWORD size = versionCapacity;
    const LONG result = RegQueryValueExA(key.get(), "Version", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    key.reset();
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        return std::string();
    }
    return versionTextOrEmpty(std::string_view(value, std::min(size, versionCapacity)));
}

ZelTamperProtection readZelTamperProtection() {
    ZelTamperProtection flags;
    const RegistryKey key = openMachineKey(zelConfigKey, KEY_READ);
    if (!key) {
        return flags;
    }
    for (const ZelFlagValue& value : zelFlagValues) {
        flags.*value.flag = flagOrFalse(key.get(), value.valueName);
    }
    return flags;
}

bool readOrbTamperProtection() {
    const RegistryKey key = openMachineKey(orbKey, KEY_READ | KEY_WOW64_32KEY);
    return key && flagOrFalse(key.get(), L"Enabled");
}
