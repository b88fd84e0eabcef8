#pragma once
// A history file opened for reading without denying anything to the
// performance sampler, which keeps appending to it, renaming and deleting
// files while the collector reads. Bytes come through unchanged (no line-end
// translation): the CSV reader drops the carriage returns itself.
#include <memory>
#include <string>

#include "perf/csv_reader.h"

// Null when the file cannot be opened; a reader given null reads nothing.
std::unique_ptr<CsvByteSource> openHistoryFile(const std::wstring& path);
