#pragma once
#include <ostream>

// Runs the report driver and turns an escaping exception into one error line
// and exit code 1. Nothing else below main catches.
int runReportDriver(int (*telemetryMain)(), std::ostream& errors);
