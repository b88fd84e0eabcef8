#pragma once
// Table-driven suites: how a row of a case table names its test and shows in a
// failure. A row with a `name` member is known by it; one without is shown by
// the result it expects.
//
//   INSTANTIATE_TEST_SUITE_P(Table, Suite, ::testing::ValuesIn(cases), testsupport::CaseName());
//
// A suite's file brings the printer in with `using testsupport::operator<<;`
// in the namespace of its case structs, where GoogleTest's printer finds it by
// argument-dependent lookup. (A PrintTo template would be as good a match as
// GoogleTest's own catch-all PrintTo, and the call would be ambiguous.)
#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace testsupport {

// The row's own name as its test name ("Table/Suite.Test/name").
struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return std::string(info.param.name);
    }
};

namespace detail {

template <typename Case>
auto printCase(const Case& c, std::ostream* os, int /*unused*/) -> decltype(void(*os << c.name)) {
    *os << c.name;
}

// Narrow text as it stands, which keeps the names ctest gives numbered cases;
// wide text as GoogleTest spells it.
inline void showText(std::ostream* os, const std::string& text) { *os << text; }
inline void showText(std::ostream* os, const std::wstring& text) { *os << ::testing::PrintToString(text); }

template <typename Case>
auto printCase(const Case& c, std::ostream* os, long /*unused*/) -> decltype(showText(os, c.expected)) {
    showText(os, c.expected);
}

}  // namespace detail

// Only for rows with a `name` or an `expected` member; any other type keeps
// GoogleTest's own printer.
template <typename Case>
auto operator<<(std::ostream& os, const Case& c) -> decltype(detail::printCase(c, &os, 0), os) {
    detail::printCase(c, &os, 0);
    return os;
}

}  // namespace testsupport
