// The pdh.dll stand-in as a program sees it: loaded from a folder of its own,
// called through pointers of the types pdh.h declares, fed by a counter file.
// Runs with WINEDLLOVERRIDES=pdh=n,b so Wine loads this file and not its own.
#include <windows.h>
#include <pdh.h>
#include <pdhmsg.h>
#include <winperf.h>

#include <gtest/gtest.h>

#include <string>

#include "counters/pdh_status_win.h"
#include "debug_output_capture_win.h"
#include "utilities/windows_raii_win.h"

namespace {

const char pinned[] = "\\Corvex.ZEL pinned scan stats\\Total pinned scans";
const char callbacks[] = "\\Corvex.ZEL pinned scan stats\\Total pinned callbacks";
const char written[] = "\\Corvex.ZEL Event Journal indexed stats(THREAD)\\Events written to disk";

const char counterFile[] =
    "# two sets, one with an instance\n"
    "\\Corvex.ZEL pinned scan stats\\Total pinned scans = 42\n"
    "\\Corvex.ZEL pinned scan stats\\Total pinned callbacks = -1 cstatus=0x00000001\n"
    "\\Corvex.ZEL Event Journal indexed stats(THREAD)\\Events written to disk = 0x8000000000000000\n";

std::wstring temporaryFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    return std::wstring(buffer, length) + L"pdh-standin-test-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
}

void writeFile(const std::wstring& path, const std::string& text) {
    const utilities::WindowsRaii::FileHandle file(utilities::WindowsRaii::OwnedHandle(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
    ASSERT_TRUE(file) << GetLastError();
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr));
}

// A folder holding a copy of the stand-in, and the stand-in loaded from there.
class StandinDll : public ::testing::Test {
protected:
    void SetUp() override {
        SetEnvironmentVariableW(L"CORVEX_PDH_COUNTERS", nullptr);
        ASSERT_EQ(GetModuleHandleW(L"pdh.dll"), nullptr) << "pdh.dll is loaded already";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        ASSERT_TRUE(CopyFileW(CORVEX_STANDIN_DLL, dll().c_str(), FALSE)) << GetLastError();
    }
    void TearDown() override {
        module.reset();
        EXPECT_EQ(GetModuleHandleW(L"pdh.dll"), nullptr);
        SetEnvironmentVariableW(L"CORVEX_PDH_COUNTERS", nullptr);
        for (const wchar_t* name : {L"pdh.dll", L"pdh_counters.txt", L"elsewhere.txt"}) {
            DeleteFileW((folder + name).c_str());
        }
        EXPECT_TRUE(RemoveDirectoryW(folder.c_str())) << GetLastError();
    }

    std::wstring dll() const { return folder + L"pdh.dll"; }

    void load() {
        *module.put() = LoadLibraryW(dll().c_str());
        ASSERT_TRUE(module) << GetLastError();
        openQuery = procedure<decltype(&PdhOpenQueryA)>("PdhOpenQueryA");
        addCounter = procedure<decltype(&PdhAddEnglishCounterA)>("PdhAddEnglishCounterA");
        collect = procedure<decltype(&PdhCollectQueryData)>("PdhCollectQueryData");
        rawValue = procedure<decltype(&PdhGetRawCounterValue)>("PdhGetRawCounterValue");
        closeQuery = procedure<decltype(&PdhCloseQuery)>("PdhCloseQuery");
        ASSERT_TRUE(openQuery && addCounter && collect && rawValue && closeQuery);
    }
    // Typed as pdh.h declares the function: the test calls what the collector calls.
    template <typename Function>
    Function procedure(const char* name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module.get(), name)));
    }
    void loadWith(const std::string& text) {
        writeFile(folder + L"pdh_counters.txt", text);
        load();
    }

    PDH_HQUERY open() {
        PDH_HQUERY query = nullptr;
        EXPECT_EQ(openQuery(nullptr, 0, &query), ERROR_SUCCESS);
        return query;
    }
    // The add's status; the counter lands in *counter only on success.
    PDH_STATUS add(PDH_HQUERY query, const char* path, PDH_HCOUNTER* counter = nullptr) {
        PDH_HCOUNTER added = nullptr;
        const PDH_STATUS result = addCounter(query, path, 0, &added);
        if (counter != nullptr) *counter = added;
        return result;
    }

    const std::wstring folder = temporaryFolder();
    utilities::WindowsRaii::LoadedModule module;
    decltype(&PdhOpenQueryA) openQuery = nullptr;
    decltype(&PdhAddEnglishCounterA) addCounter = nullptr;
    decltype(&PdhCollectQueryData) collect = nullptr;
    decltype(&PdhGetRawCounterValue) rawValue = nullptr;
    decltype(&PdhCloseQuery) closeQuery = nullptr;
};

TEST_F(StandinDll, IsTheFileLoadedAndNotTheSystemsPdh) {
    loadWith(counterFile);
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(module.get(), path, MAX_PATH), 0u);
    EXPECT_EQ(lstrcmpiW(path, dll().c_str()), 0);
    // Functions the collector never calls are not there.
    for (const char* name :
         {"PdhAddCounterA", "PdhOpenQueryW", "PdhGetFormattedCounterValue", "PdhAddEnglishCounterW"}) {
        EXPECT_EQ(GetProcAddress(module.get(), name), nullptr) << name;
    }
}

TEST_F(StandinDll, PublishesTheFilesValuesAndStatusesAfterACollection) {
    loadWith(counterFile);
    const PDH_HQUERY query = open();
    PDH_HCOUNTER scans = nullptr;
    PDH_HCOUNTER calls = nullptr;
    PDH_HCOUNTER events = nullptr;
    ASSERT_EQ(add(query, pinned, &scans), ERROR_SUCCESS);
    ASSERT_EQ(add(query, callbacks, &calls), ERROR_SUCCESS);
    ASSERT_EQ(add(query, written, &events), ERROR_SUCCESS);

    // Nothing sampled yet: the value has no data.
    PDH_RAW_COUNTER raw{};
    ASSERT_EQ(rawValue(scans, nullptr, &raw), ERROR_SUCCESS);
    EXPECT_EQ(raw.CStatus, PDH_CSTATUS_INVALID_DATA);
    EXPECT_EQ(raw.FirstValue, 0);

    ASSERT_EQ(collect(query), ERROR_SUCCESS);
    DWORD type = 0;
    raw = PDH_RAW_COUNTER{};
    ASSERT_EQ(rawValue(scans, &type, &raw), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(PERF_COUNTER_LARGE_RAWCOUNT));
    EXPECT_EQ(raw.CStatus, 0u);
    EXPECT_EQ(raw.FirstValue, 42);
    EXPECT_EQ(raw.SecondValue, 0);
    EXPECT_EQ(raw.MultiCount, 1u);
    EXPECT_NE(raw.TimeStamp.dwHighDateTime, 0u);

    ASSERT_EQ(rawValue(calls, nullptr, &raw), ERROR_SUCCESS);
    EXPECT_EQ(raw.CStatus, PDH_CSTATUS_NEW_DATA);
    EXPECT_EQ(raw.FirstValue, -1);
    ASSERT_EQ(rawValue(events, nullptr, &raw), ERROR_SUCCESS);
    EXPECT_EQ(raw.CStatus, 0u);
    EXPECT_EQ(static_cast<unsigned long long>(raw.FirstValue), 0x8000000000000000ull);
    EXPECT_EQ(closeQuery(query), ERROR_SUCCESS);
}

TEST_F(StandinDll, AnswersEveryFailureWithPdhsOwnStatus) {
    loadWith(counterFile);
    PDH_HQUERY query = open();
    PDH_HQUERY empty = open();
    PDH_HCOUNTER counter = nullptr;
    ASSERT_EQ(add(query, pinned, &counter), ERROR_SUCCESS);
    int notAHandle = 0;

    const struct {
        const char* what;
        PDH_STATUS actual;
        DWORD expected;
    } cases[] = {
        {"open without a slot", openQuery(nullptr, 0, nullptr), PDH_INVALID_ARGUMENT},
        {"open a log file", openQuery("C:\\perf.blg", 0, &empty), PDH_FILE_NOT_FOUND},
        {"add to a null query", add(nullptr, pinned), PDH_INVALID_HANDLE},
        {"add to no query", add(&notAHandle, pinned), PDH_INVALID_HANDLE},
        {"add without a slot", addCounter(query, pinned, 0, nullptr), PDH_INVALID_ARGUMENT},
        {"add without a path", add(query, nullptr), PDH_INVALID_ARGUMENT},
        {"unknown set", add(query, "\\Corvex.ZEL scan types stats\\Total QIX scan on open msgs"),
         PDH_CSTATUS_NO_OBJECT},
        {"unknown instance", add(query, "\\Corvex.ZEL Event Journal indexed stats(PROCESS)\\Events written to disk"),
         PDH_CSTATUS_NO_OBJECT},
        {"set without its instance", add(query, "\\Corvex.ZEL Event Journal indexed stats\\Events written to disk"),
         PDH_CSTATUS_NO_OBJECT},
        {"unknown counter of a known set",
         add(query, "\\Corvex.ZEL pinned scan stats\\Total pinned prefetch operations"), PDH_CSTATUS_NO_COUNTER},
        {"unknown counter of a known instance",
         add(query, "\\Corvex.ZEL Event Journal indexed stats(THREAD)\\Total number of files"), PDH_CSTATUS_NO_COUNTER},
        {"not a path", add(query, "Total pinned scans"), PDH_CSTATUS_BAD_COUNTERNAME},
        {"another machine", add(query, "\\\\host\\Corvex.ZEL pinned scan stats\\Total pinned scans"),
         PDH_CSTATUS_BAD_COUNTERNAME},
        {"collect a null query", collect(nullptr), PDH_INVALID_HANDLE},
        {"collect no query", collect(&notAHandle), PDH_INVALID_HANDLE},
        {"collect a query without counters", collect(empty), PDH_NO_DATA},
        {"read a null counter", rawValue(nullptr, nullptr, nullptr), PDH_INVALID_HANDLE},
        {"read no counter", rawValue(&notAHandle, nullptr, nullptr), PDH_INVALID_HANDLE},
        {"read into nothing", rawValue(counter, nullptr, nullptr), PDH_INVALID_ARGUMENT},
        {"close a null query", closeQuery(nullptr), PDH_INVALID_HANDLE},
        {"close no query", closeQuery(&notAHandle), PDH_INVALID_HANDLE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.actual, pdhStatus(c.expected)) << c.what;
    }

    // Failed adds leave the query as it was: still one counter to collect.
    EXPECT_EQ(collect(query), ERROR_SUCCESS);
    EXPECT_EQ(closeQuery(empty), ERROR_SUCCESS);
    EXPECT_EQ(closeQuery(query), ERROR_SUCCESS);
    // Closed: the query and its counters are gone.
    PDH_RAW_COUNTER raw{};
    EXPECT_EQ(closeQuery(query), pdhStatus(PDH_INVALID_HANDLE));
    EXPECT_EQ(collect(query), pdhStatus(PDH_INVALID_HANDLE));
    EXPECT_EQ(add(query, pinned), pdhStatus(PDH_INVALID_HANDLE));
    EXPECT_EQ(rawValue(counter, nullptr, &raw), pdhStatus(PDH_INVALID_HANDLE));
}

TEST_F(StandinDll, QueriesAreIndependent) {
    loadWith(counterFile);
    const PDH_HQUERY first = open();
    const PDH_HQUERY second = open();
    ASSERT_NE(first, second);
    PDH_HCOUNTER a = nullptr;
    PDH_HCOUNTER b = nullptr;
    ASSERT_EQ(add(first, pinned, &a), ERROR_SUCCESS);
    ASSERT_EQ(add(second, pinned, &b), ERROR_SUCCESS);
    ASSERT_NE(a, b);
    ASSERT_EQ(collect(second), ERROR_SUCCESS);
    PDH_RAW_COUNTER raw{};
    // Only the collected query has data.
    ASSERT_EQ(rawValue(a, nullptr, &raw), ERROR_SUCCESS);
    EXPECT_EQ(raw.CStatus, PDH_CSTATUS_INVALID_DATA);
    ASSERT_EQ(closeQuery(first), ERROR_SUCCESS);
    ASSERT_EQ(rawValue(b, nullptr, &raw), ERROR_SUCCESS);
    EXPECT_EQ(raw.FirstValue, 42);
    EXPECT_EQ(rawValue(a, nullptr, &raw), pdhStatus(PDH_INVALID_HANDLE));
    EXPECT_EQ(closeQuery(second), ERROR_SUCCESS);
}

TEST_F(StandinDll, TheEnvironmentNamesAnotherFile) {
    writeFile(folder + L"pdh_counters.txt", counterFile);
    writeFile(folder + L"elsewhere.txt", "\\Corvex.ZEL scan types stats\\Total ORB scan archive msgs = 7\n");
    SetEnvironmentVariableW(L"CORVEX_PDH_COUNTERS", (folder + L"elsewhere.txt").c_str());
    load();
    const PDH_HQUERY query = open();
    PDH_HCOUNTER counter = nullptr;
    EXPECT_EQ(add(query, pinned), pdhStatus(PDH_CSTATUS_NO_OBJECT));
    ASSERT_EQ(add(query, "\\Corvex.ZEL scan types stats\\Total ORB scan archive msgs", &counter), ERROR_SUCCESS);
    ASSERT_EQ(collect(query), ERROR_SUCCESS);
    PDH_RAW_COUNTER raw{};
    ASSERT_EQ(rawValue(counter, nullptr, &raw), ERROR_SUCCESS);
    EXPECT_EQ(raw.FirstValue, 7);
    EXPECT_EQ(closeQuery(query), ERROR_SUCCESS);
}

TEST_F(StandinDll, AMissingFilePublishesNothingAndSaysSo) {
    DebugOutputCapture debug;
    load();
    const PDH_HQUERY query = open();
    EXPECT_EQ(add(query, pinned), pdhStatus(PDH_CSTATUS_NO_OBJECT));
    EXPECT_EQ(collect(query), pdhStatus(PDH_NO_DATA));
    EXPECT_EQ(closeQuery(query), ERROR_SUCCESS);
    const std::string expected = "pdh stand-in: " + std::string(folder.begin(), folder.end()) +
                                 "pdh_counters.txt: cannot be read (error 2); no counter is published\n";
    EXPECT_EQ(debug.captured(), expected);
}

TEST_F(StandinDll, ABadLineIsNamedOnTheDebuggerOutputAndTheRestIsPublished) {
    DebugOutputCapture debug;
    loadWith(std::string(counterFile) + "\\Corvex.ZEL pinned scan stats\\Total pinned get name failures = lots\n");
    const PDH_HQUERY query = open();
    EXPECT_EQ(add(query, pinned), ERROR_SUCCESS);
    EXPECT_EQ(add(query, "\\Corvex.ZEL pinned scan stats\\Total pinned get name failures"),
              pdhStatus(PDH_CSTATUS_NO_COUNTER));
    EXPECT_EQ(closeQuery(query), ERROR_SUCCESS);
    EXPECT_EQ(debug.captured(), "pdh stand-in: " + std::string(folder.begin(), folder.end()) +
                                    "pdh_counters.txt: line 5: expected '<counter path> = <value> "
                                    "[cstatus=<status>]': \\Corvex.ZEL pinned scan stats\\Total pinned get name "
                                    "failures = lots\n");
}

}  // namespace
