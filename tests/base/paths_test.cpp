// Configured folder names: the trailing separator and the expansion of
// environment variables and %QUELTADIR%.
#include <gtest/gtest.h>

#include <string>

#include "base/paths.h"
#include "os/env.h"

namespace quelta {
namespace {

TEST(Paths, FoldersEndWithOneSeparator) {
  const std::string sep(1, os::kPathSep);
  EXPECT_EQ(WithTrailingSeparator(""), sep);
  EXPECT_EQ(WithTrailingSeparator("x"), "x" + sep);
  EXPECT_EQ(WithTrailingSeparator("x" + sep), "x" + sep);
}

TEST(Paths, QueltaDirIsReplacedAfterTheEnvironment) {
  const std::string dir = "D" + std::string(1, os::kPathSep);
  EXPECT_EQ(ExpandPathVariables("%QUELTADIR%a%QUELTADIR%b", dir), dir + "a" + dir + "b");
  EXPECT_EQ(ExpandPathVariables("%QUELTADIR%%QUELTADIR%", "%QUELTADIR%"), "%QUELTADIR%%QUELTADIR%");
  EXPECT_EQ(ExpandPathVariables("%QueltaDir%x", dir), "%QueltaDir%x");  // exact case only
  EXPECT_EQ(ExpandPathVariables("%QUELTA_SURELY_UNSET_2%", dir), "%QUELTA_SURELY_UNSET_2%");
  EXPECT_EQ(ExpandPathVariables("%PATH%", dir), os::ExpandEnvironment("%PATH%"));
}

}  // namespace
}  // namespace quelta
