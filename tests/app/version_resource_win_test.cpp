// The built collector's version resource, read back the way Explorer and
// inventory tools read it: through version.dll, from the file on disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The product version names the commit the build is of, in semantic versioning's build
// metadata: 1.0.0+g1a2b3c4 (the first 7 hex digits), 1.0.0+unknown outside a git checkout.
std::wstring expectedProductVersion() {
    const std::wstring commit = CORVEX_SOURCE_COMMIT;
    const std::wstring build = commit == L"unknown" ? commit : L"g" + commit.substr(0, 7);
    return std::wstring(CORVEX_PROJECT_VERSION) + L"+" + build;
}

std::wstring collectorPath() {
    const wchar_t* path = _wgetenv(L"CORVEX_COLLECTOR_EXE");
    return path != nullptr ? path : L"";
}

class VersionResource : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring path = collectorPath();
        ASSERT_FALSE(path.empty()) << "CORVEX_COLLECTOR_EXE names the collector";
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_GT(size, 0u) << "no version resource, error " << GetLastError();
        block.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data())) << GetLastError();
    }

    // A value of the block, or null when it is not there.
    const void* query(const std::wstring& name, UINT* length = nullptr) {
        void* value = nullptr;
        UINT size = 0;
        if (!VerQueryValueW(block.data(), name.c_str(), &value, &size) || size == 0) return nullptr;
        if (length != nullptr) *length = size;
        return value;
    }

    std::vector<unsigned char> block;
};

TEST_F(VersionResource, FixedPartCarriesTheProjectVersionOfAnApplication) {
    UINT length = 0;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\", &length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD most = MAKELONG(CORVEX_VERSION_MINOR, CORVEX_VERSION_MAJOR);
    const DWORD least = MAKELONG(CORVEX_VERSION_TWEAK, CORVEX_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, most);
    EXPECT_EQ(fixed->dwFileVersionLS, least);
    EXPECT_EQ(fixed->dwProductVersionMS, most);
    EXPECT_EQ(fixed->dwProductVersionLS, least);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no debug, pre-release or patched flag";
}

TEST_F(VersionResource, StringsAreFoundThroughTheTranslationTable) {
    struct Translation {
        WORD language;
        WORD codePage;
    };
    UINT length = 0;
    const auto* translations = static_cast<const Translation*>(query(L"\\VarFileInfo\\Translation", &length));
    ASSERT_NE(translations, nullptr);
    ASSERT_EQ(length, sizeof(Translation));
    EXPECT_EQ(translations->language, 0x0409);
    EXPECT_EQ(translations->codePage, 1200);

    wchar_t prefix[64];
    std::swprintf(prefix, 64, L"\\StringFileInfo\\%04x%04x\\", translations->language, translations->codePage);
    const std::wstring fileVersion = CORVEX_VERSION_TEXT;
    const struct {
        const wchar_t* name;
        std::wstring value;
    } strings[] = {
        {L"ProductName", L"Corvex Valmere"},
        {L"FileDescription", L"Corvex Valmere telemetry collector"},
        {L"CompanyName", L"Corvex"},
        {L"FileVersion", fileVersion},
        {L"ProductVersion", expectedProductVersion()},
        {L"OriginalFilename", L"CorvexTelemetry.exe"},
        {L"InternalName", L"CorvexTelemetry"},
    };
    for (const auto& s : strings) {
        const auto* value = static_cast<const wchar_t*>(query(prefix + std::wstring(s.name)));
        ASSERT_NE(value, nullptr) << std::string(s.name, s.name + wcslen(s.name));
        EXPECT_TRUE(s.value == value) << std::string(s.name, s.name + wcslen(s.name)) << ": "
                                      << std::string(value, value + wcslen(value));
    }
}

}  // namespace
