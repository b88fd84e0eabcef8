#include "utilities/registry_helper_win.h"

#include <algorithm>
#include <boost/throw_exception.hpp>
#include <optional>
#include <sstream>

#include "utilities/utf_conversion.h"

namespace utilities {

namespace {

std::string errorText(const std::string& message, const std::wstring& valueName, std::int32_t errorCode) {
    std::ostringstream text;
    text << message << '.';
    if (errorCode != 0) {
        text << " Error: " << errorCode << '.';
    }
    text << " Value name='" << Utf16ToUtf8(std::u16string(valueName.begin(), valueName.end())) << "'.";
    return text.str();
}

// Walks the strings of multi-string data (its final NUL already dropped). The
// walk ends at an empty string or at characters the data ends before a NUL.
class MultiStringCursor {
public:
    explicit MultiStringCursor(const std::vector<wchar_t>& data) : data_(data) {}

    std::optional<std::wstring> Next() {
        std::wstring text;
        for (std::size_t i = position_; i < data_.size(); ++i) {
            if (data_[i] == L'\0') {
                if (text.empty()) {
                    return std::nullopt;
                }
                position_ = i + 1;
                return text;
            }
            text.push_back(data_[i]);
        }
        position_ = data_.size();
        return std::nullopt;
    }

private:
    const std::vector<wchar_t>& data_;
    std::size_t position_ = 0;
};

}  // namespace

RegistryHelper::Error::Error(const std::string& message, const std::wstring& valueName, std::int32_t errorCode)
    : std::runtime_error(errorText(message, valueName, errorCode)), errorCode_(errorCode) {}

// NOLINTNEXTLINE(readability-convert-member-functions-to-static): a member like every reader (see the header)
std::vector<wchar_t> RegistryHelper::RegistryDataBuffer(HKEY key, const std::wstring& name, DWORD flags) const {
    // Two bytes hold an empty string; a longer value reports its size and the
    // call is repeated with room for it.
    DWORD size = 2;
    std::vector<wchar_t> buffer;
    LONG result = ERROR_MORE_DATA;
    while (result == ERROR_MORE_DATA) {
        // Rounded up to whole characters, and never empty: a null buffer would
        // turn the call into a size query.
        buffer.resize(std::max<DWORD>((size + 1) / 2, 1));
        result = RegGetValueW(key, nullptr, name.c_str(), flags, nullptr, buffer.data(), &size);
    }
    if (result != ERROR_SUCCESS) {
        BOOST_THROW_EXCEPTION(Error("RegGetValueW failed", name, result));
    }
    if (size % 2 != 0) {
        BOOST_THROW_EXCEPTION(Error("Invalid registry value data length", name, 0));
    }
    buffer.resize(size / 2);
    return buffer;
}

template <typename T>
T RegistryHelper::ReadNumericValue(HKEY key, const std::wstring& name, DWORD flags) const {
    T value = 0;
    DWORD size = sizeof value;
    const LONG result = RegGetValueW(key, nullptr, name.c_str(), flags, nullptr, &value, &size);
    if (result != ERROR_SUCCESS) {
        BOOST_THROW_EXCEPTION(Error("RegGetValueW failed", name, result));
    }
    return value;
}

template DWORD RegistryHelper::ReadNumericValue<DWORD>(HKEY, const std::wstring&, DWORD) const;
template std::uint64_t RegistryHelper::ReadNumericValue<std::uint64_t>(HKEY, const std::wstring&, DWORD) const;

std::wstring RegistryHelper::ReadStringValue(HKEY key, const std::wstring& name) const {
    const std::vector<wchar_t> data = RegistryDataBuffer(key, name, RRF_RT_REG_SZ);
    if (data.empty()) {
        BOOST_THROW_EXCEPTION(Error("String values should always have at least a null-terminating character", name, 0));
    }
    if (data.back() != L'\0') {
        BOOST_THROW_EXCEPTION(Error("String values should always be null-terminated", name, 0));
    }
    // NULs before the terminator stay part of the string.
    return std::wstring(data.begin(), data.end() - 1);
}

std::vector<std::wstring> RegistryHelper::ReadMultiStringValue(HKEY key, const std::wstring& name) const {
    std::vector<wchar_t> data = RegistryDataBuffer(key, name, RRF_RT_REG_MULTI_SZ);
    if (data.size() < 2) {
        BOOST_THROW_EXCEPTION(
            Error("MultiString values should always have at least two trailing null-terminating characters", name, 0));
    }
    if (data.back() != L'\0') {
        BOOST_THROW_EXCEPTION(Error("No null-terminator found for multi-string", name, 0));
    }
    data.pop_back();
    std::vector<std::wstring> strings;
    MultiStringCursor cursor(data);
    while (std::optional<std::wstring> text = cursor.Next()) {
        strings.push_back(std::move(*text));
    }
    return strings;
}

RegistryValue RegistryHelper::ReadDwordEntry(HKEY key, const std::wstring& name) const {
    return RegistryValue(std::in_place_index<0>, ReadNumericValue<DWORD>(key, name, RRF_RT_REG_DWORD));
}

RegistryValue RegistryHelper::ReadQwordEntry(HKEY key, const std::wstring& name) const {
    return RegistryValue(std::in_place_index<1>, ReadNumericValue<std::uint64_t>(key, name, RRF_RT_REG_QWORD));
}

RegistryValue RegistryHelper::ReadStringEntry(HKEY key, const std::wstring& name) const {
    return RegistryValue(std::in_place_index<2>, ReadStringValue(key, name));
}

RegistryValue RegistryHelper::ReadMultiStringEntry(HKEY key, const std::wstring& name) const {
    return RegistryValue(std::in_place_index<3>, ReadMultiStringValue(key, name));
}

const std::map<DWORD, ValueReader> ValueReaders = {
    {REG_DWORD, &RegistryHelper::ReadDwordEntry},
    {REG_QWORD, &RegistryHelper::ReadQwordEntry},
    {REG_SZ, &RegistryHelper::ReadStringEntry},
    {REG_MULTI_SZ, &RegistryHelper::ReadMultiStringEntry},
};

}  // namespace utilities
