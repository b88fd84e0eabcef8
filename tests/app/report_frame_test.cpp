#include "app/report_frame.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/case_table.h"

namespace {

// Records every call the frame makes, so the order and the slices are visible.
std::vector<std::string> calls;
bool countersWriteEntries = true;
MetricMap perfMetrics;

std::string fakeVersion(const char* service) {
    calls.push_back(std::string("version ") + service);
    return "v(" + std::string(service) + ")";
}
ZelTamperProtection fakeZel() {
    calls.emplace_back("zel");
    return {true, false, true};
}
bool fakeOrb() {
    calls.emplace_back("orb");
    return true;
}
void fakeCounters(std::ostream& document, std::size_t count, const CounterSpec* rows, const char* instance) {
    std::string call = "counters " + std::to_string(count) + " from " + (count ? rows[0].jsonKey : "-");
    if (instance) call += std::string(" instance ") + instance;
    calls.push_back(call);
    if (!countersWriteEntries) return;
    for (std::size_t i = 0; i < count; ++i) {
        document << (i ? "," : "") << '"' << rows[i].jsonKey << "\":0";
    }
}
std::int64_t fakeTime() {
    calls.emplace_back("time");
    return 133480512000000000;
}
void fakeMinifilter(std::ostream& /*unused*/) { calls.emplace_back("minifilter"); }
MetricMap fakePerf() {
    calls.emplace_back("perf");
    return perfMetrics;
}

// Sources of a machine where nothing of the product is installed.
std::string noVersion(const char* /*unused*/) { return ""; }
ZelTamperProtection noZel() { return {}; }
bool noOrb() { return false; }
void noMinifilter(std::ostream& /*unused*/) {}
MetricMap noPerf() { return {}; }

class ReportFrame : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        countersWriteEntries = true;
        perfMetrics.clear();
    }
    static std::string render(const ReportSources& sources) {
        std::ostringstream document;
        writeReport(document, sources);
        return document.str();
    }
};

std::string readGolden(const char* name) {
    std::ifstream in(std::string(CORVEX_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(ReportFrame, NoProductMachineMatchesTheGoldenDocumentByteForByte) {
    const ReportSources sources{noVersion, noZel, noOrb, fakeCounters, fakeTime, noMinifilter, noPerf};
    std::string expected = readGolden("no_product_document.txt");
    ASSERT_FALSE(expected.empty());
    expected.replace(expected.find("@TIME@"), 6, "133480512000000000");
    EXPECT_EQ(render(sources), expected);
}

TEST_F(ReportFrame, CallsEverySourceInDocumentOrderWithItsSlice) {
    const ReportSources sources{fakeVersion, fakeZel, fakeOrb, fakeCounters, fakeTime, fakeMinifilter, fakePerf};
    render(sources);
    std::vector<std::string> expected = {
        "version Corvex Valmere",
        "version Corvex Valmere Service",
        "version Corvex Lanthorn Service",
        "zel",
        "orb",
        "counters 4 from TPEnabled",
        "counters 1 from BootTimestamp",
        "time",
        "counters 1 from EJEnabled",
        "counters 25 from MaxPropertiesPerProcess",
        "counters 20 from TotalPinnedCallbacks",
        "counters 6 from BootPinnedCallbacks",
        "counters 15 from TotalQixScanOnOpenMsgs",
        "counters 9 from QixNumLocalScans",
        "counters 9 from OrbNumLocalScans",
        "minifilter",
        "perf",
        "counters 4 from TotalQueued",
    };
    for (const char* instance :
         {"Global_SYSTEM", "DIRECTORY_CHANGES", "FILE_BINARY_CHANGES", "FILE_DATA_CHANGES", "FILE_OTHER_CHANGES",
          "FILE_BINARY_READS", "FILE_DATA_READS", "FILE_OTHER_READS", "FILE_HASHES_EVT", "FILE_PROPERTIES",
          "PROCESS_PROPERTIES", "PROCESS", "THREAD", "IMAGE", "REGISTRY"}) {
        expected.push_back(std::string("counters 13 from BytesInQueue instance ") + instance);
    }
    EXPECT_EQ(calls, expected);
}

TEST_F(ReportFrame, WritesVersionsAndFlagsInTheirPlaces) {
    const ReportSources sources{fakeVersion, fakeZel, fakeOrb, fakeCounters, fakeTime, fakeMinifilter, fakePerf};
    const std::string document = render(sources);
    EXPECT_EQ(document.rfind(
                  "{\"zelVersion\":{\"ZelDriver\":\"v(Corvex Valmere)\",\"ZelService\":\"v(Corvex Valmere Service)\","
                  "\"HmrService\":\"v(Corvex Lanthorn Service)\"},\"tamperProtection\":{\"zelEnabled\":true,"
                  "\"ignoreOrb\":false,\"orbEnabled\":true,\"orbTpEnabled\":true,\"TPEnabled\":0,",
                  0),
              0u);
}

TEST_F(ReportFrame, FixedSeparatorsStayWhenNoCounterEntryIsWritten) {
    countersWriteEntries = false;
    const ReportSources sources{noVersion, noZel, noOrb, fakeCounters, fakeTime, noMinifilter, noPerf};
    const std::string document = render(sources);
    EXPECT_NE(document.find("\"orbTpEnabled\":false,},\"TimeStamp\":{,\"Current Time\": 133480512000000000},"
                            "\"zelEventJournal\":{},\"zelProcessThreadImageTracking\":{},"),
              std::string::npos)
        << document;
    EXPECT_NE(document.find("\"zelEventJournalStats\":{}, \"zelEventJournalIndexedStats\":{\"Global_SYSTEM\":{},"
                            "\"DIRECTORY_CHANGES\":{},"),
              std::string::npos);
    const std::string ending = "\"IMAGE\":{},\"REGISTRY\":{}}}";
    EXPECT_EQ(document.substr(document.size() - ending.size()), ending);
}

TEST_F(ReportFrame, NegativeTimeIsWrittenSigned) {
    const auto minusFive = [] { return std::int64_t{-5}; };
    const ReportSources sources{noVersion, noZel, noOrb, fakeCounters, minusFive, noMinifilter, noPerf};
    EXPECT_NE(render(sources).find(",\"Current Time\": -5},"), std::string::npos);
}

TEST_F(ReportFrame, PerfEntriesSitBetweenTheirSeparators) {
    perfMetrics = {{"b", 1.0}, {"a", 2.0}};
    const ReportSources sources{noVersion, noZel, noOrb, fakeCounters, fakeTime, noMinifilter, fakePerf};
    EXPECT_NE(render(sources).find("},\"zelPerfTelemetry\":{\"a\":2.000,\"b\":1.000},\"zelEventJournalStats\":{"),
              std::string::npos);
}

struct PerfCase {
    MetricMap metrics;
    std::string expected;
};

using testsupport::operator<<;

class PerfEntries : public ::testing::TestWithParam<PerfCase> {};

TEST_P(PerfEntries, FormatsInByteOrderWithThreeDecimals) {
    std::ostringstream document;
    writePerfTelemetryEntries(document, GetParam().metrics);
    EXPECT_EQ(document.str(), GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, PerfEntries,
    ::testing::Values(PerfCase{{}, ""}, PerfCase{{{"x", 0.0}}, "\"x\":0.000"},
                      PerfCase{{{"x", 2.5}}, "\"x\":2.500"}, PerfCase{{{"x", 1234.5678}}, "\"x\":1234.568"},
                      PerfCase{{{"x", 1e20}}, "\"x\":100000000000000000000.000"},
                      PerfCase{{{"x", 0.0005}}, "\"x\":0.001"},
                      // A prefix first; capitals before lower case; bytes above 0x7F last.
                      PerfCase{{{"stdevA", 1}, {"avgA", 2}, {"pinB", 3}, {"avg", 4}, {"Z", 5}, {"\xC3\xA9", 6}},
                               "\"Z\":5.000,\"avg\":4.000,\"avgA\":2.000,\"pinB\":3.000,\"stdevA\":1.000,"
                               "\"\xC3\xA9\":6.000"}));
// clang-format on

}  // namespace
