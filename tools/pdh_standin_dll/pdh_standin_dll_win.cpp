// pdh.dll for machines without the driver: publishes the counters listed in a
// text file through the five PDH functions the collector calls, with their
// real signatures (from pdh.h) and their real failure statuses. Loaded in
// place of the system's pdh.dll by sitting beside the program (under Wine
// with WINEDLLOVERRIDES="pdh=n,b").
#include <windows.h>
#include <pdh.h>
#include <pdhmsg.h>
#include <winperf.h>

#include <memory>
#include <string>
#include <vector>

#include "counter_file.h"
#include "counters/pdh_status_win.h"
#include "utilities/windows_raii_win.h"

namespace {

constexpr wchar_t fileVariable[] = L"CORVEX_PDH_COUNTERS";
constexpr wchar_t defaultFileName[] = L"pdh_counters.txt";
// Far above any counter file; a bigger one is refused rather than read.
constexpr LONGLONG largestFile = LONGLONG{16} * 1024 * 1024;

struct Counter {
    pdh_file::PublishedCounter published;
    // Filled by the query's collection; a counter never collected has no data.
    PDH_RAW_COUNTER sample;
};

struct Query {
    std::vector<std::unique_ptr<Counter>> counters;
};

struct State {
    bool loaded = false;
    pdh_file::CounterTable table;
    std::vector<std::unique_ptr<Query>> queries;
};

// One lock for the whole state: PDH is callable from any thread.
SRWLOCK stateLock = SRWLOCK_INIT;

class StateGuard {
public:
    StateGuard() { AcquireSRWLockExclusive(&stateLock); }
    ~StateGuard() { ReleaseSRWLockExclusive(&stateLock); }
    StateGuard(const StateGuard&) = delete;
    StateGuard& operator=(const StateGuard&) = delete;
};

State& state() {
    static State s;
    return s;
}

std::string narrow(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(size) - 1);
    return out;
}

// Problems with the file itself go where the collector's own diagnostics go.
void report(const std::wstring& file, const std::string& problem) {
    OutputDebugStringA(("pdh stand-in: " + narrow(file) + ": " + problem + "\n").c_str());
}

std::wstring moduleDirectory() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&moduleDirectory), &self);
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring counterFilePath() {
    const DWORD size = GetEnvironmentVariableW(fileVariable, nullptr, 0);
    if (size > 1) {
        std::wstring path(size, L'\0');
        const DWORD length = GetEnvironmentVariableW(fileVariable, path.data(), size);
        if (length > 0 && length < size) {
            path.resize(length);
            return path;
        }
    }
    return moduleDirectory() + defaultFileName;
}

// The whole file, or nothing with the system's error code.
[[nodiscard]] bool readWholeFile(const std::wstring& path, std::string& text, DWORD& error) {
    const HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    const utilities::WindowsRaii::FileHandle file(opened);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > largestFile) {
        error = size.QuadPart > largestFile ? ERROR_FILE_TOO_LARGE : GetLastError();
        return false;
    }
    text.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD done = 0;
    if (!text.empty() && (!ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr))) {
        error = GetLastError();
        return false;
    }
    text.resize(done);
    return true;
}

// On first use: a missing file publishes nothing, as on a machine without the driver.
void loadOnce(State& s) {
    if (s.loaded) return;
    s.loaded = true;
    const std::wstring path = counterFilePath();
    std::string text;
    DWORD error = 0;
    if (!readWholeFile(path, text, error)) {
        report(path, "cannot be read (error " + std::to_string(error) + "); no counter is published");
        return;
    }
    pdh_file::CounterFile file = pdh_file::parseCounterFile(text);
    for (const std::string& problem : file.problems) report(path, problem);
    s.table = std::move(file.table);
}

Query* findQuery(State& s, PDH_HQUERY handle) {
    for (const auto& query : s.queries) {
        if (query.get() == handle) return query.get();
    }
    return nullptr;
}

Counter* findCounter(State& s, PDH_HCOUNTER handle) {
    for (const auto& query : s.queries) {
        for (const auto& counter : query->counters) {
            if (counter.get() == handle) return counter.get();
        }
    }
    return nullptr;
}

}  // namespace

extern "C" {

// Real-time queries only: there is no log file to read.
PDH_STATUS WINAPI PdhOpenQueryA(LPCSTR szDataSource, DWORD_PTR /*unused*/, PDH_HQUERY* phQuery) {
    StateGuard guard;
    State& s = state();
    loadOnce(s);
    if (phQuery == nullptr) return pdhStatus(PDH_INVALID_ARGUMENT);
    if (szDataSource != nullptr && *szDataSource != '\0') return pdhStatus(PDH_FILE_NOT_FOUND);
    s.queries.push_back(std::make_unique<Query>());
    *phQuery = s.queries.back().get();
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhAddEnglishCounterA(PDH_HQUERY hQuery, LPCSTR szFullCounterPath, DWORD_PTR /*unused*/,
                                        PDH_HCOUNTER* phCounter) {
    StateGuard guard;
    State& s = state();
    loadOnce(s);
    Query* query = findQuery(s, hQuery);
    if (query == nullptr) return pdhStatus(PDH_INVALID_HANDLE);
    if (szFullCounterPath == nullptr || phCounter == nullptr) return pdhStatus(PDH_INVALID_ARGUMENT);
    const pdh_file::LookupResult found = s.table.find(szFullCounterPath);
    switch (found.outcome) {
        case pdh_file::Lookup::BadPath:
            return pdhStatus(PDH_CSTATUS_BAD_COUNTERNAME);
        case pdh_file::Lookup::NoObject:
            return pdhStatus(PDH_CSTATUS_NO_OBJECT);
        case pdh_file::Lookup::NoCounter:
            return pdhStatus(PDH_CSTATUS_NO_COUNTER);
        case pdh_file::Lookup::Found:
            break;
    }
    auto counter = std::make_unique<Counter>();
    counter->published = found.counter;
    counter->sample.CStatus = PDH_CSTATUS_INVALID_DATA;
    query->counters.push_back(std::move(counter));
    *phCounter = query->counters.back().get();
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhCollectQueryData(PDH_HQUERY hQuery) {
    StateGuard guard;
    State& s = state();
    loadOnce(s);
    Query* query = findQuery(s, hQuery);
    if (query == nullptr) return pdhStatus(PDH_INVALID_HANDLE);
    if (query->counters.empty()) return pdhStatus(PDH_NO_DATA);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    for (const auto& counter : query->counters) {
        PDH_RAW_COUNTER& sample = counter->sample;
        sample.CStatus = counter->published.cstatus;
        sample.TimeStamp = now;
        sample.FirstValue = static_cast<LONGLONG>(counter->published.firstValue);
        sample.SecondValue = 0;
        sample.MultiCount = 1;
    }
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhGetRawCounterValue(PDH_HCOUNTER hCounter, LPDWORD lpdwType, PPDH_RAW_COUNTER pValue) {
    StateGuard guard;
    State& s = state();
    loadOnce(s);
    const Counter* counter = findCounter(s, hCounter);
    if (counter == nullptr) return pdhStatus(PDH_INVALID_HANDLE);
    if (pValue == nullptr) return pdhStatus(PDH_INVALID_ARGUMENT);
    if (lpdwType != nullptr) *lpdwType = PERF_COUNTER_LARGE_RAWCOUNT;
    *pValue = counter->sample;
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY hQuery) {
    StateGuard guard;
    State& s = state();
    loadOnce(s);
    for (auto it = s.queries.begin(); it != s.queries.end(); ++it) {
        if (it->get() == hQuery) {
            s.queries.erase(it);  // its counters go with it
            return ERROR_SUCCESS;
        }
    }
    return pdhStatus(PDH_INVALID_HANDLE);
}

}  // extern "C"
