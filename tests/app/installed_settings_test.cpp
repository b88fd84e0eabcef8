// Versions and tamper-protection flags read from real values that the tests
// write into the local machine's registry of the test prefix.
#include "app/installed_settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "support/case_table.h"
#include "support/test_support_win.h"

namespace {

using namespace std::string_literals;
using testsupport::DeleteKeyTree;
using testsupport::Utf16LeBytes;
using testsupport::WriteAnsiValue;
using testsupport::WriteExactValue;

const wchar_t servicesKey[] = L"SYSTEM\\CurrentControlSet\\Services";
const wchar_t driverKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Corvex Valmere";
const wchar_t zelConfigKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Corvex Valmere\\TamperProtection\\Config";
const wchar_t orbKey[] = L"SOFTWARE\\Corvex\\ORBService\\TamperProtection";

std::string dword(std::uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

// Every key these tests write, removed before and after each test, so a
// failed test leaves nothing behind for the next one.
class InstalledSettings : public ::testing::Test {
protected:
    void SetUp() override { removeProductKeys(); }
    void TearDown() override { removeProductKeys(); }

    static void removeProductKeys() {
        for (const wchar_t* service : {L"Corvex Valmere", L"Corvex Valmere Service", L"Corvex Lanthorn Service"}) {
            DeleteKeyTree(HKEY_LOCAL_MACHINE, servicesKey, service, 0);
        }
        for (const REGSAM view : {REGSAM{KEY_WOW64_32KEY}, REGSAM{KEY_WOW64_64KEY}}) {
            DeleteKeyTree(HKEY_LOCAL_MACHINE, L"SOFTWARE", L"Corvex", view);
        }
    }
};

// --- Versions -------------------------------------------------------------

struct VersionCase {
    const char* name;
    DWORD type;
    std::string data;  // ANSI bytes, stored through RegSetValueExA
    std::string expected;
};

using testsupport::operator<<;

const VersionCase versionCases[] = {
    {"plain", REG_SZ, "10.8.4.1\0"s, "10.8.4.1"},
    {"backslashEscaped", REG_SZ, "10.8\\4.1\0"s, "10.8\\\\4.1"},
    {"quoteEscaped", REG_SZ, "10.8 \"beta\"\0"s, "10.8 \\\"beta\\\""},
    {"emptyString", REG_SZ, "\0"s, ""},
    {"endsAtEmbeddedNul", REG_SZ, "10.8\0junk\0"s, "10.8"},
    {"tabEmpties", REG_SZ, "10.8\t4\0"s, ""},
    {"lineFeedEmpties", REG_SZ, "10.8\n\0"s, ""},
    {"carriageReturnEmpties", REG_SZ, "10.8\r\n\0"s, ""},
    {"byte80Empties", REG_SZ, "10.8\x80\0"s, ""},
    {"byteFFEmpties", REG_SZ, "\xff"s + "10.8\0"s, ""},
    // 200 bytes with the terminator still fit; 201 make the read fail.
    {"twoHundredBytesKept", REG_SZ, std::string(199, '7') + '\0', std::string(199, '7')},
    {"overTwoHundredBytesEmpty", REG_SZ, std::string(200, '7') + '\0', ""},
    {"expandStringRefused", REG_EXPAND_SZ, "10.8.4.1\0"s, ""},
    {"multiStringRefused", REG_MULTI_SZ, "10.8.4.1\0\0"s, ""},
    {"numberRefused", REG_DWORD, dword(10), ""},
    {"binaryRefused", REG_BINARY, "10.8.4.1"s, ""},
};

class ServiceVersion : public InstalledSettings, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(ServiceVersion, IsEscapedPrintableAsciiOrEmpty) {
    WriteAnsiValue(HKEY_LOCAL_MACHINE, driverKey, "Version", GetParam().type, GetParam().data);
    EXPECT_EQ(readServiceVersion("Corvex Valmere"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ServiceVersion, ::testing::ValuesIn(versionCases), testsupport::CaseName());

TEST_F(InstalledSettings, VersionStoredWithoutTerminatorIsReadWhole) {
    WriteExactValue(HKEY_LOCAL_MACHINE, driverKey, 0, L"Version", REG_SZ, Utf16LeBytes(L"10.8.4.1"));
    EXPECT_EQ(readServiceVersion("Corvex Valmere"), "10.8.4.1");
}

TEST_F(InstalledSettings, WideVersionOutsideAsciiIsEmpty) {
    // é and € become bytes 0xE9 and 0x80 of the ANSI code page.
    for (const wchar_t* version : {L"10.8.4.1 \u00e9", L"\u20ac10"}) {
        WriteExactValue(HKEY_LOCAL_MACHINE, driverKey, 0, L"Version", REG_SZ, Utf16LeBytes(version + L"\0"s));
        EXPECT_EQ(readServiceVersion("Corvex Valmere"), "");
    }
}

TEST_F(InstalledSettings, MissingKeyOrValueGivesEmptyVersion) {
    EXPECT_EQ(readServiceVersion("Corvex Valmere"), "");
    testsupport::CreateKey(HKEY_LOCAL_MACHINE, driverKey, 0);
    EXPECT_EQ(readServiceVersion("Corvex Valmere"), "");
    WriteAnsiValue(HKEY_LOCAL_MACHINE, driverKey, "version2", REG_SZ, "10.8\0"s);
    EXPECT_EQ(readServiceVersion("Corvex Valmere"), "");
}

TEST_F(InstalledSettings, EachServiceIsReadFromItsOwnKey) {
    const std::pair<const char*, const char*> services[] = {
        {"Corvex Valmere", "1.1"}, {"Corvex Valmere Service", "2.2"}, {"Corvex Lanthorn Service", "3.3"}};
    for (const auto& [service, version] : services) {
        const std::wstring key = servicesKey + L"\\"s + std::wstring(service, service + std::strlen(service));
        WriteAnsiValue(HKEY_LOCAL_MACHINE, key, "Version", REG_SZ, version + "\0"s);
    }
    for (const auto& [service, version] : services) {
        EXPECT_EQ(readServiceVersion(service), version) << service;
    }
    EXPECT_EQ(readServiceVersion("Corvex Missing Service"), "");
}

// --- Tamper-protection flags ----------------------------------------------

struct FlagCase {
    const char* name;
    DWORD type;
    std::string data;
    bool expected;
};

const FlagCase flagCases[] = {
    {"one", REG_DWORD, dword(1), true},
    {"two", REG_DWORD, dword(2), true},
    {"allBits", REG_DWORD, dword(0xFFFFFFFF), true},
    {"highByteOnly", REG_DWORD, dword(0x01000000), true},
    {"zero", REG_DWORD, dword(0), false},
    // The type is not looked at: up to four bytes of anything decide.
    {"oneByteBinary", REG_BINARY, "\x01"s, true},
    {"zeroBinary", REG_BINARY, "\0\0\0\0"s, false},
    {"shortStringHoldsNonZero", REG_SZ, Utf16LeBytes(L"1\0"s), true},
    {"emptyBinary", REG_BINARY, ""s, false},
    // More than four bytes are not read at all.
    {"fiveBytes", REG_BINARY, "\x01\0\0\0\0"s, false},
    {"qword", REG_QWORD, "\x01\0\0\0\0\0\0\0"s, false},
};

// Where each flag lives. The flag written is checked true or false and every
// other flag false, so a value read into the wrong flag shows.
struct FlagLocation {
    const char* name;
    const wchar_t* key;
    REGSAM view;
    const wchar_t* valueName;
};

const FlagLocation flagLocations[] = {
    {"zelEnabled", zelConfigKey, 0, L"ZELEnabled"},
    {"ignoreOrb", zelConfigKey, 0, L"IgnoreORB"},
    {"orbEnabled", zelConfigKey, 0, L"orbEnabled"},
    {"orbTpEnabled", orbKey, KEY_WOW64_32KEY, L"Enabled"},
};

std::string flagsText() {
    const ZelTamperProtection zel = readZelTamperProtection();
    const bool orb = readOrbTamperProtection();
    std::string text;
    for (const auto& [name, on] : {std::pair{"zelEnabled", zel.zelEnabled}, std::pair{"ignoreOrb", zel.ignoreOrb},
                                   std::pair{"orbEnabled", zel.orbEnabled}, std::pair{"orbTpEnabled", orb}}) {
        text += std::string(name) + (on ? "=1 " : "=0 ");
    }
    return text;
}

std::string flagsTextWith(const char* setFlag, bool on) {
    std::string text;
    for (const FlagLocation& location : flagLocations) {
        text += std::string(location.name) + (location.name == std::string(setFlag) && on ? "=1 " : "=0 ");
    }
    return text;
}

class TamperFlag : public InstalledSettings, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(TamperFlag, DecidesOnlyItsOwnFlag) {
    for (const FlagLocation& location : flagLocations) {
        removeProductKeys();
        WriteExactValue(HKEY_LOCAL_MACHINE, location.key, location.view, location.valueName, GetParam().type,
                        GetParam().data);
        EXPECT_EQ(flagsText(), flagsTextWith(location.name, GetParam().expected)) << location.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, TamperFlag, ::testing::ValuesIn(flagCases), testsupport::CaseName());

TEST_F(InstalledSettings, AllFlagsFalseWithoutTheKeysOrTheirValues) {
    EXPECT_EQ(flagsText(), flagsTextWith("", false));
    testsupport::CreateKey(HKEY_LOCAL_MACHINE, zelConfigKey, 0);
    testsupport::CreateKey(HKEY_LOCAL_MACHINE, orbKey, KEY_WOW64_32KEY);
    EXPECT_EQ(flagsText(), flagsTextWith("", false));
}

TEST_F(InstalledSettings, AllFlagsTogether) {
    WriteExactValue(HKEY_LOCAL_MACHINE, zelConfigKey, 0, L"ZELEnabled", REG_DWORD, dword(1));
    WriteExactValue(HKEY_LOCAL_MACHINE, zelConfigKey, 0, L"IgnoreORB", REG_DWORD, dword(0));
    WriteExactValue(HKEY_LOCAL_MACHINE, zelConfigKey, 0, L"orbEnabled", REG_DWORD, dword(7));
    WriteExactValue(HKEY_LOCAL_MACHINE, orbKey, KEY_WOW64_32KEY, L"Enabled", REG_DWORD, dword(1));
    EXPECT_EQ(flagsText(), "zelEnabled=1 ignoreOrb=0 orbEnabled=1 orbTpEnabled=1 ");
}

TEST_F(InstalledSettings, OrbFlagComesFromThe32BitViewOnly) {
    WriteExactValue(HKEY_LOCAL_MACHINE, orbKey, KEY_WOW64_64KEY, L"Enabled", REG_DWORD, dword(1));
    EXPECT_FALSE(readOrbTamperProtection());
    WriteExactValue(HKEY_LOCAL_MACHINE, orbKey, KEY_WOW64_32KEY, L"Enabled", REG_DWORD, dword(0));
    EXPECT_FALSE(readOrbTamperProtection());
    WriteExactValue(HKEY_LOCAL_MACHINE, orbKey, KEY_WOW64_32KEY, L"Enabled", REG_DWORD, dword(1));
    WriteExactValue(HKEY_LOCAL_MACHINE, orbKey, KEY_WOW64_64KEY, L"Enabled", REG_DWORD, dword(0));
    EXPECT_TRUE(readOrbTamperProtection());
}

}  // namespace
