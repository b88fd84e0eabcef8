#include "pdh_standin.h"

#include <pdhmsg.h>

#include "counters/pdh_status_win.h"

#include <algorithm>
#include <map>
#include <memory>

namespace {

struct Query {
    std::vector<std::unique_ptr<std::string>> counters;  // each counter handle points at its path
};

struct State {
    PDH_STATUS openStatus = ERROR_SUCCESS;
    PDH_STATUS collectStatus = ERROR_SUCCESS;
    std::map<std::string, pdh_standin::Counter> counters;
    std::vector<std::string> sets;
    std::vector<std::unique_ptr<Query>> live;
    int opened = 0;
    std::vector<std::string> added;
};

State& state() {
    static State s;
    return s;
}

Query* findQuery(PDH_HQUERY handle) {
    for (auto& query : state().live) {
        if (query.get() == handle) return query.get();
    }
    return nullptr;
}

bool knownSet(const std::string& path) {
    return std::any_of(state().sets.begin(), state().sets.end(),
                       [&](const std::string& set) { return path.compare(0, set.size() + 2, "\\" + set + "\\") == 0; });
}

}  // namespace

namespace pdh_standin {

void reset() { state() = State(); }
void failOpen(PDH_STATUS status) { state().openStatus = status; }
void failCollect(PDH_STATUS status) { state().collectStatus = status; }
void publish(const std::string& path, const Counter& counter) { state().counters[path] = counter; }
void publishSet(const std::string& setWithInstance) { state().sets.push_back(setWithInstance); }
int queriesOpen() { return static_cast<int>(state().live.size()); }
int queriesOpened() { return state().opened; }
std::vector<std::string> addedPaths() { return state().added; }

}  // namespace pdh_standin

extern "C" {

PDH_STATUS WINAPI PdhOpenQueryA(LPCSTR /*unused*/, DWORD_PTR /*unused*/, PDH_HQUERY* query) {
    if (state().openStatus != ERROR_SUCCESS) return state().openStatus;
    state().live.push_back(std::make_unique<Query>());
    ++state().opened;
    *query = state().live.back().get();
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhAddEnglishCounterA(PDH_HQUERY handle, LPCSTR path, DWORD_PTR /*unused*/, PDH_HCOUNTER* counter) {
    Query* query = findQuery(handle);
    if (query == nullptr) return pdhStatus(PDH_INVALID_HANDLE);
    state().added.emplace_back(path);
    if (state().counters.count(path) == 0) {
        return pdhStatus(knownSet(path) ? PDH_CSTATUS_NO_COUNTER : PDH_CSTATUS_NO_OBJECT);
    }
    query->counters.push_back(std::make_unique<std::string>(path));
    *counter = query->counters.back().get();
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhCollectQueryData(PDH_HQUERY handle) {
    Query* query = findQuery(handle);
    if (query == nullptr) return pdhStatus(PDH_INVALID_HANDLE);
    if (state().collectStatus != ERROR_SUCCESS) return state().collectStatus;
    return query->counters.empty() ? pdhStatus(PDH_NO_DATA) : ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhGetRawCounterValue(PDH_HCOUNTER handle, LPDWORD type, PPDH_RAW_COUNTER value) {
    if (handle == nullptr || value == nullptr) return pdhStatus(PDH_INVALID_ARGUMENT);
    const auto& counter = state().counters.at(*static_cast<std::string*>(handle));
    if (type != nullptr) *type = PERF_COUNTER_RAWCOUNT;
    if (counter.readStatus != ERROR_SUCCESS) return counter.readStatus;
    value->CStatus = counter.cstatus;
    value->FirstValue = counter.firstValue;
    value->SecondValue = 0;
    value->MultiCount = 1;
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY handle) {
    auto& live = state().live;
    for (auto it = live.begin(); it != live.end(); ++it) {
        if (it->get() == handle) {
            live.erase(it);
            return ERROR_SUCCESS;
        }
    }
    return pdhStatus(PDH_INVALID_HANDLE);
}

}  // extern "C"
