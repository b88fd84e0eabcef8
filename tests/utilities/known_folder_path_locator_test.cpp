// The ProgramData lookup against the real shell, and its failure path through
// a stand-in SHGetKnownFolderPath that this test links.
#include "utilities/known_folder_path_locator.h"

#include <gtest/gtest.h>

#include <boost/exception/exception.hpp>
#include <boost/exception/get_error_info.hpp>
#include <boost/throw_exception.hpp>
#include <stdexcept>
#include <string>

#include "known_folder_stand_in_win.h"
#include "support/case_table.h"
#include "support/throw_location.h"

namespace {

class KnownFolderPathLocator : public ::testing::Test {
protected:
    void SetUp() override { standins::PassKnownFolderLookupThrough(); }
    void TearDown() override { standins::PassKnownFolderLookupThrough(); }
};

TEST_F(KnownFolderPathLocator, ProgramDataIsTheShellsFolderAndItsBufferIsFreed) {
    EXPECT_EQ(utilities::KnownFolderPathLocator::ProgramData(), L"C:\\ProgramData");
    ASSERT_NE(standins::LastKnownFolderBuffer(), nullptr);
    EXPECT_EQ(standins::TaskMemoryFrees(standins::LastKnownFolderBuffer()), 1);
}

struct FailureCase {
    HRESULT result;
    const char* expected;
};

using testsupport::operator<<;

class ProgramDataFailure : public KnownFolderPathLocator,
                           public ::testing::WithParamInterface<std::tuple<FailureCase, bool>> {};

TEST_P(ProgramDataFailure, ThrowsTheDecimalResultAndFreesWhatTheShellHandedBack) {
    const auto [failure, handBackBuffer] = GetParam();
    standins::FailKnownFolderLookup(failure.result, handBackBuffer);
    try {
        utilities::KnownFolderPathLocator::ProgramData();
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), failure.expected);
    }
    if (handBackBuffer) {
        ASSERT_NE(standins::LastKnownFolderBuffer(), nullptr);
        EXPECT_EQ(standins::TaskMemoryFrees(standins::LastKnownFolderBuffer()), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgramDataFailure,
    ::testing::Combine(::testing::Values(FailureCase{E_FAIL, "SHGetKnownFolderPath failed: -2147467259"},
                                         FailureCase{E_INVALIDARG, "SHGetKnownFolderPath failed: -2147024809"},
                                         FailureCase{HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                                                     "SHGetKnownFolderPath failed: -2147024894"},
                                         FailureCase{E_OUTOFMEMORY, "SHGetKnownFolderPath failed: -2147024882"}),
                       ::testing::Bool()));

TEST_F(KnownFolderPathLocator, FailureIsCaughtAsEveryBaseAndCarriesItsThrowLocation) {
    standins::FailKnownFolderLookup(E_FAIL, false);
    try {
        utilities::KnownFolderPathLocator::ProgramData();
        FAIL() << "no exception";
    } catch (const boost::exception& error) {
        const auto location = throwLocationOf(error);
        ASSERT_TRUE(location);
        EXPECT_NE(location->function.find("KnownFolderPathLocator::ProgramData"), std::string::npos)
            << location->function;
        // Relative to the repository, whichever folder the build ran in.
        EXPECT_EQ(location->file, "src/utilities/known_folder_path_locator_win.cpp");
        EXPECT_EQ(location->line, 31);
        const auto* standard = dynamic_cast<const std::exception*>(&error);
        ASSERT_NE(standard, nullptr);
        EXPECT_STREQ(standard->what(), "SHGetKnownFolderPath failed: -2147467259");
    }
    EXPECT_THROW(utilities::KnownFolderPathLocator::ProgramData(), std::exception);
}

}  // namespace
