// The row path allocates nothing per row once warm: a scan of 40 rows and one
// of 4000 rows of the same shape make the same number of allocations. This
// binary replaces the global operator new to count them.
// GCC takes the replacement delete's free() for a mismatch with new.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "history_builder.h"
#include "perf/history_files.h"
#include "perf/perf_telemetry.h"

namespace {
std::size_t allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* block = std::malloc(size ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t /*unused*/) noexcept { std::free(block); }

namespace {

using perftest::HeaderLayout;

class RowPathAllocations : public perftest::ScratchDirectory {
protected:
    // Rows of one width: 13-digit counters growing by a little per sample, one
    // quoted field, and extra columns the reader skips.
    void writeRows(std::uint64_t index, std::uint64_t count) {
        HeaderLayout layout = HeaderLayout::canonical();
        layout.extra = {{5, "extra one"}, {30, "extra two"}};
        std::vector<std::string> lines = {layout.header()};
        for (std::uint64_t i = 0; i < count; ++i) {
            std::array<std::uint64_t, perfColumnCount> values{};
            values[0] = 7;
            for (std::size_t k = 1; k < perfColumnCount; ++k) values[k] = 1000000000000u + (k + 1) * i;
            std::string row = layout.row(perftest::formatTimestamp(start + i * perftest::ticksPerSecond), values);
            if (i % 2 == 1) {
                // Every other row quotes its first counter field: the quoted path too must run warm.
                row.insert(row.find(',', 25), "\"");
                row.insert(25, "\"");
            }
            lines.push_back(row);
        }
        writeFile(index, lines, "\r\n");
    }

    std::size_t allocationsToScan(std::uint64_t index) {
        const std::vector<std::wstring> files = {historyFilePath(directory(), index)};
        const std::size_t before = allocations;
        const MetricMap metrics = scanHistoryFiles(files, start + 86400 * perftest::ticksPerSecond, start);
        const std::size_t made = allocations - before;
        EXPECT_EQ(metrics.size(), 51u);
        return made;
    }

    const std::uint64_t start = 133500000000000000u;
};

TEST_F(RowPathAllocations, DoNotGrowWithTheNumberOfRows) {
    writeRows(1, 40);
    writeRows(2, 4000);
    const std::size_t few = allocationsToScan(1);
    const std::size_t many = allocationsToScan(2);
    EXPECT_GT(few, 0u) << "the counting operator new is not in use";
    EXPECT_EQ(many, few);
}

}  // namespace
