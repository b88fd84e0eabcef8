#include <pdhmsg.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "counters/counter_path.h"
#include "counters/counter_section.h"
#include "counters/pdh_status_win.h"
#include "debug_output_capture_win.h"
#include "pdh_standin.h"
#include "support/case_table.h"

namespace {

const CounterSpec rows[] = {
    {"Corvex.ZEL pinned scan stats", "Total pinned callbacks", "TotalPinnedCallbacks"},
    {"Corvex.ZEL pinned scan stats", "Total pinned scans", "TotalPinnedScans"},
    {"Corvex.ZEL pinned scan stats", "Total pinned cached 'allow' hits", "TotalPinnedCachedAllowResultHits"},
};
const std::string set = "\\Corvex.ZEL pinned scan stats\\";

class CounterSection : public ::testing::Test {
protected:
    void SetUp() override { pdh_standin::reset(); }
    void TearDown() override { EXPECT_EQ(pdh_standin::queriesOpen(), 0) << "a query was left open"; }

    static std::string write(std::size_t count = 3, const CounterSpec* first = rows, const char* instance = nullptr) {
        std::ostringstream document;
        writeCounterSection(document, count, first, instance);
        return document.str();
    }
    DebugOutputCapture debug;
};

TEST_F(CounterSection, WritesRawValuesAsUnsigned64BitDecimals) {
    pdh_standin::publish(set + "Total pinned callbacks", {ERROR_SUCCESS, 0, 7});
    pdh_standin::publish(set + "Total pinned scans", {ERROR_SUCCESS, 0, -1});  // top bit set
    pdh_standin::publish(set + "Total pinned cached 'allow' hits", {ERROR_SUCCESS, 0, LONGLONG(1) << 63});
    EXPECT_EQ(write(),
              "\"TotalPinnedCallbacks\":7,\"TotalPinnedScans\":18446744073709551615,"
              "\"TotalPinnedCachedAllowResultHits\":9223372036854775808");
    EXPECT_EQ(debug.captured(), "");
    EXPECT_EQ(pdh_standin::queriesOpened(), 1);
}

TEST_F(CounterSection, MissingCountersReadZeroWithTheirAddMessage) {
    pdh_standin::publishSet("Corvex.ZEL pinned scan stats");
    pdh_standin::publish(set + "Total pinned scans", {ERROR_SUCCESS, 0, 42});
    EXPECT_EQ(write(), "\"TotalPinnedCallbacks\":0,\"TotalPinnedScans\":42,\"TotalPinnedCachedAllowResultHits\":0");
    EXPECT_EQ(debug.captured(),
              "PdhAddEnglishCounter \\Corvex.ZEL pinned scan stats\\Total pinned callbacks error: c0000bb9\n"
              "PdhAddEnglishCounter \\Corvex.ZEL pinned scan stats\\Total pinned cached 'allow' hits error: "
              "c0000bb9\n");
}

TEST_F(CounterSection, NoCounterAddedStillWritesEveryRowSilentlyAfterTheAdds) {
    // The collection then reports PDH_NO_DATA, which is accepted without a word.
    EXPECT_EQ(write(), "\"TotalPinnedCallbacks\":0,\"TotalPinnedScans\":0,\"TotalPinnedCachedAllowResultHits\":0");
    EXPECT_EQ(debug.captured(),
              "PdhAddEnglishCounter \\Corvex.ZEL pinned scan stats\\Total pinned callbacks error: c0000bb8\n"
              "PdhAddEnglishCounter \\Corvex.ZEL pinned scan stats\\Total pinned scans error: c0000bb8\n"
              "PdhAddEnglishCounter \\Corvex.ZEL pinned scan stats\\Total pinned cached 'allow' hits error: "
              "c0000bb8\n");
}

struct ValueFault {
    const char* name;
    pdh_standin::Counter counter;
    const char* message;
};

class CounterValueFaults : public CounterSection, public ::testing::WithParamInterface<ValueFault> {};

TEST_P(CounterValueFaults, WriteZeroAndNameTheJsonKey) {
    pdh_standin::publish(set + "Total pinned callbacks", {ERROR_SUCCESS, 0, 5});
    pdh_standin::publish(set + "Total pinned scans", GetParam().counter);
    pdh_standin::publish(set + "Total pinned cached 'allow' hits", {ERROR_SUCCESS, 0, 6});
    EXPECT_EQ(write(), "\"TotalPinnedCallbacks\":5,\"TotalPinnedScans\":0,\"TotalPinnedCachedAllowResultHits\":6");
    EXPECT_EQ(debug.captured(), GetParam().message);
}

using testsupport::operator<<;
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, CounterValueFaults,
    ::testing::Values(
        ValueFault{"readError", {pdhStatus(PDH_INVALID_DATA), 0, 9},
                   "PdhGetRawCounterValue TotalPinnedScans error: c0000bc6\n"},
        ValueFault{"newData", {ERROR_SUCCESS, PDH_CSTATUS_NEW_DATA, 9},
                   "PdhGetRawCounterValue TotalPinnedScans cerror: 00000001\n"},
        ValueFault{"invalidData", {ERROR_SUCCESS, PDH_CSTATUS_INVALID_DATA, 9},
                   "PdhGetRawCounterValue TotalPinnedScans cerror: c0000bba\n"}),
    testsupport::CaseName());
// clang-format on

TEST_F(CounterSection, CollectionFailureWritesNoEntry) {
    pdh_standin::publish(set + "Total pinned scans", {ERROR_SUCCESS, 0, 42});
    pdh_standin::failCollect(pdhStatus(PDH_INVALID_DATA));
    EXPECT_EQ(write(), "");
    EXPECT_EQ(debug.captured(),
              "PdhAddEnglishCounter \\Corvex.ZEL pinned scan stats\\Total pinned callbacks error: c0000bb8\n"
              "PdhAddEnglishCounter \\Corvex.ZEL pinned scan stats\\Total pinned cached 'allow' hits error: "
              "c0000bb8\n"
              "PdhCollectQueryData error: c0000bc6\n");
}

TEST_F(CounterSection, QueryThatCannotBeOpenedAddsNothingAndWritesNoEntry) {
    pdh_standin::publish(set + "Total pinned scans", {ERROR_SUCCESS, 0, 42});
    pdh_standin::failOpen(pdhStatus(PDH_MEMORY_ALLOCATION_FAILURE));
    EXPECT_EQ(write(), "");
    EXPECT_EQ(debug.captured(), "PdhOpenQuery error: c0000bbb\nPdhCollectQueryData error: c0000bbc\n");
    EXPECT_TRUE(pdh_standin::addedPaths().empty());
}

TEST_F(CounterSection, CountOfZeroWritesNothingAndSaysNothing) {
    EXPECT_EQ(write(0), "");
    EXPECT_EQ(debug.captured(), "");
    EXPECT_EQ(pdh_standin::queriesOpened(), 1);
}

TEST_F(CounterSection, InstanceGoesIntoEveryPathAndNotIntoTheKeys) {
    const CounterSpec indexed[] = {
        {"Corvex.ZEL Event Journal indexed stats", "Bytes in the memory queue", "BytesInQueue"},
        {"Corvex.ZEL Event Journal indexed stats",
         "NTSTATUS code of last write error. '0x42' means less data written than expected", "LastWriteErrorCode"},
    };
    const std::string prefix = "\\Corvex.ZEL Event Journal indexed stats(Global_SYSTEM)\\";
    pdh_standin::publish(prefix + "Bytes in the memory queue", {ERROR_SUCCESS, 0, 11});
    pdh_standin::publish(prefix + indexed[1].counterName, {ERROR_SUCCESS, 0, 0x42});
    EXPECT_EQ(write(2, indexed, "Global_SYSTEM"), "\"BytesInQueue\":11,\"LastWriteErrorCode\":66");
    // Another instance of the same set is a different counter: not published here.
    EXPECT_EQ(write(2, indexed, "PROCESS"), "\"BytesInQueue\":0,\"LastWriteErrorCode\":0");
}

TEST(DebugPrint, CutsALongMessageToTheBufferNeverPastIt) {
    DebugOutputCapture debug;
    const std::string longText(5000, 'x');
    debugPrint("PdhAddEnglishCounter %s error: %08x\n", longText.c_str(), 0xc0000bb9u);
    EXPECT_EQ(debug.captured(), "PdhAddEnglishCounter " + std::string(999 - 21, 'x'));
}

TEST(DebugPrint, FormatsStatusesAsEightLowerCaseHexDigits) {
    DebugOutputCapture debug;
    debugPrint("%08x|%08x|%08x\n", 0u, 0x800007d5u, 0xC0000BB9u);
    EXPECT_EQ(debug.captured(), "00000000|800007d5|c0000bb9\n");
}

}  // namespace
