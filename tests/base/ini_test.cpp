// Typed INI keys: whole numbers within their range or the default, counters
// that wrap like unsigned 32-bit values, booleans by their first character,
// and the text the writers put into the file.
#include <gtest/gtest.h>

#include <string>

#include "base/ini.h"
#include "support/scratch_dir.h"

namespace quelta {
namespace {

TEST(TypedIni, ReadersTakeWholeNumbersInRangeOrTheDefault) {
  testing_support::ScratchDir dir;
  const std::string file = dir.File("t.ini");
  const struct {
    const char* text;  // nullptr: no such key
    std::int32_t asInt;
    std::uint32_t asCounter;
    bool asBool;
  } cases[] = {
      {nullptr, -7, 9, true},                          {"42", 42, 42, false},
      {"-5", -5, 4294967291u, false},                  {"2147483647", 2147483647, 2147483647u, false},
      {"-2147483648", INT32_MIN, 2147483648u, false},  {"2147483648", -7, 2147483648u, false},
      {"4294967295", -7, 4294967295u, false},          {"4294967296", -7, 0, false},
      {"-2147483649", -7, 2147483647u, false},         {"abc", -7, 9, false},
      {"", -7, 9, false},                              {"yes", -7, 9, false},
      {"1x", -7, 9, true},  // only the first character counts
      {"1234567890123456789", -7, 1942892530u, true},  // 14 characters are read
  };
  for (const auto& c : cases) {
    if (c.text) ASSERT_TRUE(WriteIniString(file, "S", "K", c.text));
    const char* key = c.text ? "K" : "Missing";
    EXPECT_EQ(ReadIniInt(file, "S", key, -7), c.asInt) << (c.text ? c.text : "-");
    EXPECT_EQ(ReadIniCounter(file, "S", key, 9), c.asCounter) << (c.text ? c.text : "-");
    EXPECT_EQ(ReadIniBool(file, "S", key, c.text == nullptr), c.asBool) << (c.text ? c.text : "-");
    EXPECT_EQ(ReadIniString(file, "S", key, "d"), c.text ? c.text : "d");
  }
}

TEST(TypedIni, WritersPutDecimalTextAndOneOrZero) {
  testing_support::ScratchDir dir;
  const std::string file = dir.File("w.ini");
  ASSERT_TRUE(WriteIniInt(file, "S", "I", INT32_MIN));
  ASSERT_TRUE(WriteIniCounter(file, "S", "C", 4294967295u));
  ASSERT_TRUE(WriteIniBool(file, "S", "T", true));
  ASSERT_TRUE(WriteIniBool(file, "S", "F", false));
  ASSERT_TRUE(WriteIniString(file, "S", "X", "a b"));
  EXPECT_EQ(dir.Read("w.ini"), "[S]\r\nI=-2147483648\r\nC=4294967295\r\nT=1\r\nF=0\r\nX=a b\r\n");
  EXPECT_FALSE(WriteIniInt(dir.File("absent") + "/x/w.ini", "S", "I", 1));
}

}  // namespace
}  // namespace quelta
