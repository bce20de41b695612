// CRC-32 of a text: the standard check values the Bayes databases are keyed by.
#include <gtest/gtest.h>

#include <string>

#include "base/crc32.h"

namespace quelta {
namespace {

TEST(Crc32, StandardCheckValues) {
  EXPECT_EQ(Crc32(""), 0x00000000u);
  EXPECT_EQ(Crc32("a"), 0xE8B7BE43u);
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  EXPECT_EQ(Crc32(std::string("a\0b", 3)), 0x15E87871u);  // by length, NUL included
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(Crc32(all), 0x29058C73u);
}

}  // namespace
}  // namespace quelta
