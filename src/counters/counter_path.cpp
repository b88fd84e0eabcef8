#include "counters/counter_path.h"

#include <sstream>

std::string counterPath(const CounterSpec& row, const char* instance) {
    std::ostringstream path;
    path << '\\' << row.counterSet;
    if (instance != nullptr) {
        path << '(' << instance << ')';
    }
    path << '\\' << row.counterName;
    return path.str();
}
