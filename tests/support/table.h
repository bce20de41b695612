// ExpectEach: the table-driven check of a text function, one expectation
// per (input, wanted output) row, the input named on failure.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

namespace testing_support {

using Rows = std::initializer_list<std::pair<std::string, std::string>>;

template <class F>
void ExpectEach(F f, Rows rows) {
  for (const auto& r : rows) EXPECT_EQ(f(r.first), r.second) << "input: " << r.first;
}

}  // namespace testing_support
