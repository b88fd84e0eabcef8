#include "app/entry.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "support/case_table.h"

namespace {

struct DerivedError : std::exception {
    const char* what() const noexcept override { return "derived text"; }
};

struct EntryCase {
    const char* name;
    int (*body)();
    int exitCode;
    const char* errorText;
};

const EntryCase entryCases[] = {
    {"success", [] { return 0; }, 0, ""},
    {"runtimeError", []() -> int { throw std::runtime_error("Failed to locate ProgramData directory"); }, 1,
     "Failed to locate ProgramData directory\n"},
    {"derivedStdException", []() -> int { throw DerivedError(); }, 1, "derived text\n"},
    {"notAnException", []() -> int { throw 42; }, 1, "Unknown exception thrown in telemetryMain()\n"},
    {"stringThrown", []() -> int { throw "text"; }, 1, "Unknown exception thrown in telemetryMain()\n"},
};

using testsupport::operator<<;

class Entry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(Entry, TurnsEscapingExceptionsIntoOneErrorLine) {
    std::ostringstream errors;
    EXPECT_EQ(runReportDriver(GetParam().body, errors), GetParam().exitCode);
    EXPECT_EQ(errors.str(), GetParam().errorText);
}

INSTANTIATE_TEST_SUITE_P(Table, Entry, ::testing::ValuesIn(entryCases), testsupport::CaseName());

}  // namespace
