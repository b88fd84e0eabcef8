#pragma once
#include <map>
#include <string>

// Metric name to value. std::string compares through char_traits<char>, that
// is byte-wise as unsigned char, so a prefix sorts before its extensions.
using MetricMap = std::map<std::string, double>;
