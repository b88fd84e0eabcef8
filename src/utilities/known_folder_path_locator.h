#pragma once
#include <string>

namespace utilities {

struct KnownFolderPathLocator {
    // The shell's ProgramData folder, without a trailing backslash. Throws a
    // std::runtime_error carrying its throw location (boost::exception) when
    // the shell cannot say.
    static std::wstring ProgramData();
};

}  // namespace utilities
