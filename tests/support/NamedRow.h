#pragma once

// Rows of a parameterised test are told apart by their `name`, in the test's
// name and in gtest's output. gtest finds PrintTo by argument-dependent lookup;
// declared in the row itself (a hidden friend), it is found wherever the row is.

#include <ostream>
#include <string>

#define OMBRIX_NAMED_ROW(Row)                                                                      \
    friend void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

namespace ombrix::testing {

// The name generator of INSTANTIATE_TEST_SUITE_P: each test is named after its row.
struct RowName {
    template <typename Info> std::string operator()(const Info& info) const {
        return std::string(info.param.name);
    }
};

} // namespace ombrix::testing
