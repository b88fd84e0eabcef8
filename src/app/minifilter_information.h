#pragma once
#include <ostream>

// Appends the first 1024 bytes of the product's telemetry.log to the document
// exactly as they are. Appends nothing when the file is missing, empty or
// cannot be opened or read; only the ProgramData lookup throws.
void writeMinifilterInformation(std::ostream& document);
