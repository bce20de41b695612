// The shared text helpers: exact pieces and copies, the quirks callers
// depend on (overlapping counts, pieces of text + delimiter, one-pass
// replacing), number edges.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/strings.h"

namespace quelta {
namespace {

using Pieces = std::vector<std::string>;

TEST(Strings, TrimAndCase) {
  EXPECT_EQ(Trim("\x01 a b \t\r\n"), "a b");
  EXPECT_EQ(Trim(" \t "), "");
  EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");  // a no-break space is not a blank here
  EXPECT_EQ(Trim(std::string("\0a\0", 3)), "a");
  EXPECT_EQ(TrimView(" \x1Fx y\x7F "), "x y\x7F");
  EXPECT_EQ(AsciiLower("@ABC\xC4\xE4Z["), "@abc\xC4\xE4z[");
  EXPECT_EQ(AsciiUpper("`abc\xC4\xE4z{"), "`ABC\xC4\xE4Z{");
  EXPECT_TRUE(StartsWithNoCase("IncludeRuleFile x", "includerulefile "));
  EXPECT_FALSE(StartsWithNoCase("Inc", "Include"));
  EXPECT_FALSE(StartsWithNoCase("\xE4x", "\xC4x"));  // ASCII letters only
  EXPECT_TRUE(EndsWithNoCase("x #remoff#", "#RemOFF#"));
  EXPECT_FALSE(EndsWithNoCase("OFF#", "#RemOFF#"));
  EXPECT_FALSE(EndsWithNoCase("#RemOFF#x", "#RemOFF#"));
  EXPECT_TRUE(HasOption("SbN", 'n'));
  EXPECT_TRUE(HasOption("sbn", 'B'));
  EXPECT_FALSE(HasOption("SB", 'N'));
}

TEST(Strings, WholeDecimalNumbers) {
  const struct {
    const char* s;
    bool ok;
    std::int32_t v;
  } cases[] = {
      {"0", true, 0},           {"123", true, 123},        {"-5", true, -5},
      {"+7", true, 7},          {"007", true, 7},          {"2147483647", true, 2147483647},
      {"-2147483648", true, INT32_MIN},                    {"2147483648", false, 0},
      {"-2147483649", false, 0}, {"99999999999999999999", false, 0},
      {"", false, 0},           {"-", false, 0},           {"+", false, 0},
      {" 5", false, 0},         {"5 ", false, 0},          {"0x10", false, 0},
      {"12a", false, 0},        {"1.0", false, 0},         {"--1", false, 0},
  };
  for (const auto& c : cases) {
    std::int32_t v = 42;
    EXPECT_EQ(TryStrToInt(c.s, v), c.ok) << c.s;
    EXPECT_EQ(v, c.ok ? c.v : 42) << c.s;
    EXPECT_EQ(StrToIntDef(c.s, -9), c.ok ? c.v : -9) << c.s;
  }
  std::int64_t v = 0;
  EXPECT_TRUE(TryStrToInt64("-9223372036854775808", v));
  EXPECT_EQ(v, INT64_MIN);
  EXPECT_EQ(StrToInt64Def("9223372036854775807", 0), INT64_MAX);
  EXPECT_EQ(StrToInt64Def("9223372036854775808", 3), 3);
  EXPECT_EQ(StrToInt64Def("4294967296", 0), 4294967296LL);
}

TEST(Strings, TokensAreThePiecesOfTextPlusDelimiter) {
  const struct {
    const char* text;
    const char* delim;
    int n;
    const char* piece;
  } cases[] = {
      {"a,b,,c", ",", 1, "a"},   {"a,b,,c", ",", 2, "b"},   {"a,b,,c", ",", 3, ""},
      {"a,b,,c", ",", 4, "c"},   {"a,b,,c", ",", 5, ""},    {"a,b,,c", ",", 0, ""},
      {"abc", ",", 1, "abc"},    {"", ",", 1, ""},          {"", ",", 2, ""},
      {"a,", ",", 2, ""},        {"a,", ",", 3, ""},        {"abc", "", 1, "abc"},
      {"abc", "", 2, ""},        {"a::b::c", "::", 2, "b"}, {"a::b::c", "::", 3, "c"},
      {"a::b::c", "::", 4, ""},  {"a--b", "--", 3, ""},
      // A longer delimiter can begin in the text and end in the appended copy.
      {"x-", "--", 1, "x"},      {"x-", "--", 2, ""},       {"a-b-", "--", 1, "a-b"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(GetToken(c.text, c.delim, c.n), c.piece) << c.text << " #" << c.n;
}

TEST(Strings, CountsAndCopies) {
  EXPECT_EQ(CountOf("aaaa", "aa"), 3);  // overlapping ones included
  EXPECT_EQ(CountOf("1.2.3.4", "."), 3);
  EXPECT_EQ(CountOf("abc", ""), 0);
  EXPECT_EQ(CountOf("", "a"), 0);
  const struct {
    int pos, count;
    const char* result;
  } mids[] = {{1, 2, "bc"}, {2, 99, "cd"}, {4, 1, ""}, {-3, 2, "ab"}, {0, 0, ""}, {0, -1, ""}};
  for (const auto& m : mids) EXPECT_EQ(MidStr("abcd", m.pos, m.count), m.result) << m.pos;
  EXPECT_EQ(HexPairToByte('4', '1'), 0x41);
  EXPECT_EQ(HexPairToByte('f', 'F'), 0xFF);
  EXPECT_EQ(HexPairToByte('a', '9'), 0xA9);
  EXPECT_EQ(HexPairToByte('0', '0'), 0);
  for (const char* bad : {"g0", "0G", "0 ", "/0", ":0", "@0", "`0"})
    EXPECT_EQ(HexPairToByte(bad[0], bad[1]), -1) << bad;
}

TEST(Strings, ReplaceEachIsOnePassLeftToRight) {
  EXPECT_EQ(ReplaceEach("a<><>b<>", "<>", ""), "ab");
  EXPECT_EQ(ReplaceEach("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceEach("aaaa", "aa", "a"), "aa");
  EXPECT_EQ(ReplaceEach("x\r\ny", "\r\n", "><"), "x><y");
  EXPECT_EQ(ReplaceEach("abc", "", "x"), "abc");
}

TEST(Strings, LinesAndPieces) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd\r\n\r\ne"), (Pieces{"a", "b", "c", "d", "", "e"}));
  EXPECT_EQ(SplitLines("a\n\r"), (Pieces{"a", ""}));  // LF then a lone CR
  EXPECT_EQ(SplitLines("a\r\n"), Pieces{"a"});
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(LineListItems("a\r\nb\nc\r\n\r\nd"), (Pieces{"a", "b\nc", "", "d"}));
  EXPECT_EQ(LineListItems("a\r\n"), Pieces{"a"});
  EXPECT_TRUE(LineListItems("").empty());
  EXPECT_EQ(SplitAt(",a,,b,", ','), (Pieces{"", "a", "", "b", ""}));
  EXPECT_EQ(SplitAt("", ','), Pieces{""});
}

TEST(Strings, QuotedLists) {
  EXPECT_EQ(QuotedListItems("\"a\"\"b\""), (Pieces{"a", "", "b"}));
  EXPECT_EQ(QuotedListItems("a\"b"), (Pieces{"a", "b"}));
  EXPECT_EQ(QuotedListItems("a\""), Pieces{"a"});
  EXPECT_TRUE(QuotedListItems("\"").empty());
  EXPECT_TRUE(QuotedListItems("").empty());
  EXPECT_TRUE(QuotedListHas("\"a\"bc\"", "bc"));
  EXPECT_FALSE(QuotedListHas("\"a\"bc\"", "b"));
  EXPECT_TRUE(QuotedListHas("\"a\"\"", ""));
}

TEST(Strings, ByteSets) {
  const ByteSet set(std::string_view("a\xFF\0", 3));
  EXPECT_TRUE(set.Has('a'));
  EXPECT_TRUE(set.Has('\xFF'));
  EXPECT_TRUE(set.Has('\0'));
  EXPECT_FALSE(set.Has('A'));
  EXPECT_FALSE(set.Has('\xFE'));
  EXPECT_FALSE(ByteSet().Has('\0'));
}

}  // namespace
}  // namespace quelta
