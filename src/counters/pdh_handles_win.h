#pragma once
#include <windows.h>
#include <pdh.h>

#include "utilities/static_raii.h"

namespace counters {

inline void closeQuery(PDH_HQUERY query) { PdhCloseQuery(query); }

using QueryOwner = utilities::StaticRaii<PDH_HQUERY, closeQuery, nullptr>;

}  // namespace counters
