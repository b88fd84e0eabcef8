#pragma once
// Typed readers of single values of an already opened registry key. Every
// failure throws RegistryHelper::Error with its throw location; the readers
// open and close no key.
#include <windows.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace utilities {

// The alternative's index is its tag: 0 DWORD, 1 64-bit number, 2 string,
// 3 multi-string.
using RegistryValue = std::variant<DWORD, std::uint64_t, std::wstring, std::vector<std::wstring>>;

class RegistryHelper {
public:
    class Error : public std::runtime_error {
    public:
        // The text names the value: "<message>. Error: <code>. Value name='<name>'."
        // with the code part left out when the code is 0.
        Error(const std::string& message, const std::wstring& valueName, std::int32_t errorCode);
        std::int32_t ErrorCode() const { return errorCode_; }

    private:
        std::int32_t errorCode_;
    };

    std::wstring ReadStringValue(HKEY key, const std::wstring& name) const;
    std::vector<std::wstring> ReadMultiStringValue(HKEY key, const std::wstring& name) const;
    // T is DWORD or std::uint64_t; flags restrict the type RegGetValueW accepts.
    template <typename T>
    T ReadNumericValue(HKEY key, const std::wstring& name, DWORD flags) const;
    // The raw data in wide characters, grown until the value fits.
    // A member like every reader of the class (the ValueReaders table calls
    // them through member pointers), though it uses no state.
    std::vector<wchar_t> RegistryDataBuffer(HKEY key, const std::wstring& name, DWORD flags) const;

    // The readers of the ValueReaders table, one per registry type.
    RegistryValue ReadDwordEntry(HKEY key, const std::wstring& name) const;
    RegistryValue ReadQwordEntry(HKEY key, const std::wstring& name) const;
    RegistryValue ReadStringEntry(HKEY key, const std::wstring& name) const;
    RegistryValue ReadMultiStringEntry(HKEY key, const std::wstring& name) const;
};

using ValueReader = RegistryValue (RegistryHelper::*)(HKEY key, const std::wstring& name) const;

// Registry value type to its reader: REG_DWORD, REG_QWORD, REG_SZ and
// REG_MULTI_SZ, nothing else. Built before main, freed at exit.
extern const std::map<DWORD, ValueReader> ValueReaders;

}  // namespace utilities
