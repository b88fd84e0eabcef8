#pragma once
// pdhmsg.h spells its codes as DWORDs, while PDH functions return PDH_STATUS
// (a LONG): one conversion for the collector, its stand-ins and their tests.
#include <windows.h>
#include <pdh.h>

constexpr PDH_STATUS pdhStatus(DWORD code) { return static_cast<PDH_STATUS>(code); }
