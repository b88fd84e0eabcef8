#pragma once
// Installed versions and tamper-protection settings from the local machine's
// registry. Every read degrades in place: a missing or unreadable key or value
// gives an empty version or a false flag, and nothing is reported.
#include <string>

#include "app/report_frame.h"

// The "Version" of the service's key, ready to sit between double quotes in
// the document; empty unless it is a REG_SZ of printable ASCII of at most 200
// bytes.
std::string readServiceVersion(const char* serviceName);

// The driver's three flags, from its TamperProtection\Config key.
ZelTamperProtection readZelTamperProtection();

// The ORB service's flag, always from the 32-bit registry view.
bool readOrbTamperProtection();
