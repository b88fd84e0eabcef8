#include "app/entry.h"

#include <exception>

int runReportDriver(int (*telemetryMain)(), std::ostream& errors) {
    try {
        return telemetryMain();
    } catch (const std::exception& error) {
        errors << error.what() << '\n' << std::flush;
    } catch (...) {
        errors << "Unknown exception thrown in telemetryMain()" << '\n' << std::flush;
    }
    return 1;
}
