#pragma once
#include <string>

#include "counters/counter_catalogue.h"

// The one place a counter path is built: \set\name or \set(instance)\name.
// No machine name, no quoting: the names go in as the driver publishes them.
std::string counterPath(const CounterSpec& row, const char* instance);
