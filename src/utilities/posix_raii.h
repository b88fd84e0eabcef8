#pragma once
// The scoped owners of the host build, one alias of StaticRaii per handle kind.
#include <unistd.h>

#include "utilities/static_raii.h"

namespace utilities::PosixRaii {

inline void RaiiClose(int descriptor) { ::close(descriptor); }

// An open file descriptor; -1 is "none", as open() reports failure.
using FileDescriptor = StaticRaii<int, RaiiClose, -1>;

}  // namespace utilities::PosixRaii
