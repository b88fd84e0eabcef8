#pragma once
// A programmable stand-in for the PDH functions the counter writer calls.
// Tests link it in place of pdh.dll; the production code is unchanged.
#include <windows.h>
#include <pdh.h>

#include <string>
#include <vector>

namespace pdh_standin {

struct Counter {
    PDH_STATUS readStatus = ERROR_SUCCESS;  // result of PdhGetRawCounterValue
    DWORD cstatus = 0;                      // the record's CStatus
    LONGLONG firstValue = 0;
};

// Forget every counter and status; queries open again and collect normally.
void reset();
// PdhOpenQueryA returns this status (and no handle when it is not 0).
void failOpen(PDH_STATUS status);
// PdhCollectQueryData returns this status on a valid query.
void failCollect(PDH_STATUS status);
// Publishes a counter under its full path; unlisted paths are unknown.
void publish(const std::string& path, const Counter& counter);
// Publishes a counter set: adds to any of its unlisted counters then fail with
// "counter not found" rather than "object not found".
void publishSet(const std::string& setWithInstance);

// What the code under test did.
int queriesOpen();  // opened and not yet closed
int queriesOpened();
std::vector<std::string> addedPaths();

}  // namespace pdh_standin
