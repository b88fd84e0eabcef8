#pragma once
#include <windows.h>

#include "utilities/static_raii.h"

namespace utilities {
namespace WindowsRaii {

void RaiiCoTaskMemFreePwstr(PWSTR text);

// A wide string allocated by the shell, freed with CoTaskMemFree.
using CoTaskMemString = StaticRaii<PWSTR, RaiiCoTaskMemFreePwstr, nullptr>;

}  // namespace WindowsRaii
}  // namespace utilities
