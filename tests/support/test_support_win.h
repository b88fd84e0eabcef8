#pragma once
// Helpers of the Windows tests: exact registry values and files written and
// removed through the real APIs of the test's Wine prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "utilities/windows_raii_win.h"

namespace testsupport {

// The UTF-16LE bytes of a wide text, every character counted, no terminator
// added.
inline std::string Utf16LeBytes(const std::wstring& text) {
    std::string bytes;
    for (const wchar_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
    }
    return bytes;
}

// Stores exactly these bytes. The registry adds a terminator to a string
// whose last character is not NUL when the two bytes after the data are zero,
// so the data is copied ahead of two non-zero bytes.
inline void WriteExactValue(HKEY root, const std::wstring& keyPath, REGSAM view, const std::wstring& name, DWORD type,
                            const std::string& data) {
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    const utilities::WindowsRaii::RegistryKey key(created);
    std::vector<BYTE> guarded(data.begin(), data.end());
    guarded.push_back(0xFF);
    guarded.push_back(0xFF);
    ASSERT_EQ(RegSetValueExW(key.get(), name.c_str(), 0, type, guarded.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
}

// The same through the ANSI interface, whose strings the registry converts
// from the ANSI code page.
inline void WriteAnsiValue(HKEY root, const std::wstring& keyPath, const char* name, DWORD type,
                           const std::string& data) {
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    const utilities::WindowsRaii::RegistryKey key(created);
    std::vector<BYTE> guarded(data.begin(), data.end());
    guarded.push_back(0xFF);
    ASSERT_EQ(RegSetValueExA(key.get(), name, 0, type, guarded.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
}

inline void CreateKey(HKEY root, const std::wstring& keyPath, REGSAM view) {
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    const utilities::WindowsRaii::RegistryKey key(created);
}

// Removes child and everything below it; a missing key is no error.
inline void DeleteKeyTree(HKEY root, const std::wstring& parent, const std::wstring& child, REGSAM view) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, parent.c_str(), 0, KEY_ALL_ACCESS | view, &opened) != ERROR_SUCCESS) {
        return;
    }
    const utilities::WindowsRaii::RegistryKey key(opened);
    const LONG result = RegDeleteTreeW(key.get(), child.c_str());
    EXPECT_TRUE(result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) << result;
}

inline std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good());
}

inline bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The names of the files in a directory that match a wildcard pattern.
inline std::vector<std::wstring> FilesMatching(const std::wstring& directory, const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const utilities::WindowsRaii::FindHandle search(
        utilities::WindowsRaii::OwnedHandle(FindFirstFileW((directory + L"\\" + pattern).c_str(), &found)));
    if (!search) {
        return names;
    }
    do {
        names.emplace_back(found.cFileName);
    } while (FindNextFileW(search.get(), &found) != FALSE);
    return names;
}

}  // namespace testsupport
