#include <windows.h>
#include <pdh.h>
#include <pdhmsg.h>

#include <cstdint>
#include <vector>

#include "counters/counter_path.h"
#include "counters/counter_section.h"
#include "counters/pdh_status_win.h"
#include "utilities/windows_raii_win.h"

namespace {

struct PendingCounter {
    PDH_HCOUNTER handle;  // null when the counter was not added
    const char* jsonKey;
};

// Status codes are shown as eight lower-case hex digits.
unsigned int hexStatus(LONG status) { return static_cast<unsigned int>(status); }
unsigned int hexStatus(DWORD status) { return status; }

// One place decides between the counter's raw value and 0 with a diagnostic.
std::uint64_t rawValueOrZero(const PendingCounter& counter) {
    if (counter.handle == nullptr) {
        return 0;
    }
    PDH_RAW_COUNTER raw{};
    const PDH_STATUS status = PdhGetRawCounterValue(counter.handle, nullptr, &raw);
    if (status != ERROR_SUCCESS) {
        debugPrint("PdhGetRawCounterValue %s error: %08x\n", counter.jsonKey, hexStatus(status));
        return 0;
    }
    if (raw.CStatus != 0) {
        debugPrint("PdhGetRawCounterValue %s cerror: %08x\n", counter.jsonKey, hexStatus(raw.CStatus));
        return 0;
    }
    return static_cast<std::uint64_t>(raw.FirstValue);
}

}  // namespace

void writeCounterSection(std::ostream& document, std::size_t count, const CounterSpec* rows, const char* instance) {
    utilities::WindowsRaii::PdhQuery query;
    PDH_HQUERY opened = nullptr;
    const PDH_STATUS openStatus = PdhOpenQueryA(nullptr, 0, &opened);
    if (openStatus == ERROR_SUCCESS) {
        *query.put() = opened;
    } else {
        debugPrint("PdhOpenQuery error: %08x\n", hexStatus(openStatus));
    }

    std::vector<PendingCounter> pending;
    pending.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        PDH_HCOUNTER counter = nullptr;
        if (query) {
            const std::string path = counterPath(rows[i], instance);
            const PDH_STATUS status = PdhAddEnglishCounterA(query.get(), path.c_str(), 0, &counter);
            if (status != ERROR_SUCCESS) {
                debugPrint("PdhAddEnglishCounter %s error: %08x\n", path.c_str(), hexStatus(status));
                counter = nullptr;
            }
        }
        pending.push_back({counter, rows[i].jsonKey});
    }

    // A query without any counter reports PDH_NO_DATA: every row then reads 0.
    const PDH_STATUS collectStatus = PdhCollectQueryData(query.get());
    if (collectStatus != ERROR_SUCCESS && collectStatus != pdhStatus(PDH_NO_DATA)) {
        debugPrint("PdhCollectQueryData error: %08x\n", hexStatus(collectStatus));
        return;
    }

    bool first = true;
    for (const PendingCounter& counter : pending) {
        const std::uint64_t value = rawValueOrZero(counter);
        if (!first) {
            document << ',';
        }
        first = false;
        document << '"' << counter.jsonKey << "\":" << value;
    }
}
