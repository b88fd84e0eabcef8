#pragma once
// Test helpers: a scratch directory of the test's own, and history files built
// row by row, so each test shows the bytes it feeds the reader.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "perf/csv_reader.h"
#include "perf/perf_columns.h"

namespace perftest {

// Text in memory for a CsvReader.
inline std::unique_ptr<CsvByteSource> textSource(std::string text) {
    return std::make_unique<CsvTextSource>(std::move(text));
}

constexpr std::uint64_t ticksPerMillisecond = 10000;
constexpr std::uint64_t ticksPerSecond = 10000000;
constexpr std::uint64_t ticksPerMinute = 60 * ticksPerSecond;

// FILETIME ticks to "YYYY-MM-DDTHH:MM:SS.mmmZ", by the civil-from-days method
// (a different road from the parser's, so a round trip checks both).
inline std::string formatTimestamp(std::uint64_t ticks) {
    const auto days = static_cast<std::int64_t>(ticks / (86400 * ticksPerSecond));
    std::uint64_t rest = ticks % (86400 * ticksPerSecond);
    // Days since 1970-01-01, then the era-based conversion.
    const std::int64_t z = days - 134774 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    const std::uint64_t ms = rest / ticksPerMillisecond % 1000;
    rest /= ticksPerSecond;
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02llu:%02llu:%02llu.%03lluZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<unsigned long long>(rest / 3600), static_cast<unsigned long long>(rest / 60 % 60),
                  static_cast<unsigned long long>(rest % 60), static_cast<unsigned long long>(ms));
    return text;
}

// A history file's header: "timestamp", then the given column ids, with any
// extra names inserted before the given positions.
struct HeaderLayout {
    std::vector<int> ids;                                    // column ids in file order
    std::vector<std::pair<std::size_t, std::string>> extra;  // (position among the ids, name)

    static HeaderLayout canonical() {
        HeaderLayout layout;
        for (int id = 0; id < static_cast<int>(perfColumnCount); ++id) layout.ids.push_back(id);
        return layout;
    }

    // File order of every column after the timestamp: an id, or -1 for an extra one.
    std::vector<int> columns() const {
        std::vector<int> result;
        for (std::size_t i = 0; i <= ids.size(); ++i) {
            for (const auto& e : extra) {
                if (e.first == i) result.push_back(-1);
            }
            if (i < ids.size()) result.push_back(ids[i]);
        }
        return result;
    }

    std::string header() const {
        std::string text = "timestamp";
        std::size_t extraIndex = 0;
        for (int id : columns()) {
            text += ',';
            text += id < 0 ? extraName(extraIndex++) : perfCounterColumns.at(id);
        }
        return text;
    }

    std::string extraName(std::size_t index) const {
        std::size_t seen = 0;
        for (std::size_t i = 0; i <= ids.size(); ++i) {
            for (const auto& e : extra) {
                if (e.first == i && seen++ == index) return e.second;
            }
        }
        return "";
    }

    // A data row: the timestamp text, each column's value, extra columns 0.
    std::string row(const std::string& timestamp, const std::array<std::uint64_t, perfColumnCount>& values) const {
        std::string text = timestamp;
        for (int id : columns()) {
            text += ',';
            text += id < 0 ? "0" : std::to_string(values[static_cast<std::size_t>(id)]);
        }
        return text;
    }
};

// Values of one boot: column 0 the boot, every counter column base + step * index.
inline std::array<std::uint64_t, perfColumnCount> growingValues(std::uint64_t boot, std::uint64_t index) {
    std::array<std::uint64_t, perfColumnCount> values{};
    values[0] = boot;
    for (std::size_t k = 1; k < perfColumnCount; ++k) values[k] = 1000 + (k + 1) * 10 * index;
    return values;
}

// A scratch directory removed with everything in it when the test ends.
class ScratchDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("corvex_perf_") + info->test_suite_name() + "_" + info->name();
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        directory_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }

    std::wstring directory() const { return directory_.wstring(); }

    std::filesystem::path historyPath(std::uint64_t index) const {
        return directory_ /
               (index == 0 ? std::string("ZelPerformance.csv") : "ZelPerformance.csv." + std::to_string(index));
    }

    // Writes the lines, each ended by lineEnd, as raw bytes.
    void writeFile(std::uint64_t index, const std::vector<std::string>& lines,
                   const std::string& lineEnd = "\n") const {
        writeBytes(index, joinLines(lines, lineEnd));
    }
    void writeBytes(std::uint64_t index, const std::string& bytes) const {
        std::ofstream out(historyPath(index), std::ios::binary);
        out << bytes;
        ASSERT_TRUE(out.good());
    }

    static std::string joinLines(const std::vector<std::string>& lines, const std::string& lineEnd) {
        std::string bytes;
        for (const auto& line : lines) bytes += line + lineEnd;
        return bytes;
    }

    std::filesystem::path directory_;
};

}  // namespace perftest
