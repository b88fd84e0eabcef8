#pragma once
#include <string>

// The product's data directory: the ProgramData folder followed by "\Corvex".
// When the shell cannot say where ProgramData is, an ERROR line goes to the
// log and a std::runtime_error "Failed to locate ProgramData directory" is
// thrown.
std::wstring CompanyDataDirectory();
