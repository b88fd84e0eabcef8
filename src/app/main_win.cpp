#include <iostream>

#include "app/entry.h"
#include "app/telemetry_main.h"

int main() { return runReportDriver(telemetryMain, std::cerr); }
