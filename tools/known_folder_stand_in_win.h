#pragma once
// Test stand-ins for SHGetKnownFolderPath and CoTaskMemFree. Both pass calls
// through to the system until a test says otherwise.
#include <windows.h>

namespace standins {

// From now on SHGetKnownFolderPath fails with this result. With
// handBackBuffer it also hands back a task-memory string, as a shell may on
// failure, which the caller must still free.
void FailKnownFolderLookup(HRESULT result, bool handBackBuffer);
void PassKnownFolderLookupThrough();

// The string the last SHGetKnownFolderPath call handed back, or null.
const void* LastKnownFolderBuffer();

// How often CoTaskMemFree was given this block since the last Fail or Pass.
int TaskMemoryFrees(const void* block);

}  // namespace standins
