// The shared text helpers: exact pieces and copies, the quirks callers
// depend on (overlapping counts, pieces of text + delimiter, one-pass
// replacing), number edges; CRC-32 check values, dotted IPv4 texts and the
// reserved ranges, configured folder names.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/crc32.h"
#include "base/ipv4.h"
#include "base/paths.h"
#include "base/strings.h"
#include "os/env.h"

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
  EXPECT_TRUE(HasOption("SbN", 'n') && HasOption("sbn", 'B'));
  EXPECT_FALSE(HasOption("SB", 'N'));
}

TEST(Strings, WholeDecimalNumbers) {
  const std::tuple<const char*, bool, std::int32_t> cases[] = {
      {"0", true, 0}, {"-5", true, -5}, {"+7", true, 7}, {"007", true, 7}, {"2147483647", true, 2147483647},
      {"-2147483648", true, INT32_MIN}, {"2147483648", false, 0}, {"-2147483649", false, 0},
      {"99999999999999999999", false, 0}, {"", false, 0}, {"-", false, 0}, {" 5", false, 0},
      {"5 ", false, 0}, {"0x10", false, 0}, {"1.0", false, 0}, {"--1", false, 0}};
  for (const auto& [s, ok, want] : cases) {
    std::int32_t v = 42;
    EXPECT_EQ(TryStrToInt(s, v), ok) << s;
    EXPECT_EQ(v, ok ? want : 42) << s;
    EXPECT_EQ(StrToIntDef(s, -9), ok ? want : -9) << s;
  }
  std::int64_t v = 0;
  EXPECT_TRUE(TryStrToInt64("-9223372036854775808", v));
  EXPECT_EQ(v, INT64_MIN);
  EXPECT_EQ(StrToInt64Def("9223372036854775808", 3), 3);
  EXPECT_EQ(StrToInt64Def("4294967296", 0), 4294967296LL);
}

TEST(Strings, TokensAreThePiecesOfTextPlusDelimiter) {
  const std::tuple<const char*, const char*, int, const char*> cases[] = {
      {"a,b,,c", ",", 1, "a"}, {"a,b,,c", ",", 3, ""}, {"a,b,,c", ",", 4, "c"}, {"a,b,,c", ",", 5, ""},
      {"a,b,,c", ",", 0, ""}, {"abc", ",", 1, "abc"}, {"", ",", 2, ""}, {"a,", ",", 3, ""},
      {"abc", "", 1, "abc"}, {"abc", "", 2, ""}, {"a::b::c", "::", 3, "c"}, {"a::b::c", "::", 4, ""},
      // A longer delimiter can begin in the text and end in the appended copy.
      {"x-", "--", 1, "x"}, {"x-", "--", 2, ""}, {"a-b-", "--", 1, "a-b"}};
  for (const auto& [text, delim, n, piece] : cases) EXPECT_EQ(GetToken(text, delim, n), piece) << text << n;
}

TEST(Strings, CountsAndCopies) {
  EXPECT_EQ(CountOf("aaaa", "aa"), 3);  // overlapping ones included
  EXPECT_EQ(CountOf("1.2.3.4", ".") + CountOf("abc", "") + CountOf("", "a"), 3);
  const std::tuple<int, int, const char*> mids[] = {{1, 2, "bc"}, {2, 99, "cd"}, {4, 1, ""}, {-3, 2, "ab"},
                                                    {0, 0, ""}, {0, -1, ""}};
  for (const auto& [pos, count, want] : mids) EXPECT_EQ(MidStr("abcd", pos, count), want) << pos;
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
  EXPECT_TRUE(QuotedListItems("\"").empty() && QuotedListItems("").empty());
  EXPECT_TRUE(QuotedListHas("\"a\"bc\"", "bc"));
  EXPECT_FALSE(QuotedListHas("\"a\"bc\"", "b"));
  EXPECT_TRUE(QuotedListHas("\"a\"\"", ""));
}

TEST(Strings, ByteSets) {
  const ByteSet set(std::string_view("a\xFF\0", 3));
  EXPECT_TRUE(set.Has('a') && set.Has('\xFF') && set.Has('\0'));
  EXPECT_FALSE(set.Has('A') || set.Has('\xFE') || ByteSet().Has('\0'));
}

TEST(Crc32, StandardCheckValues) {
  EXPECT_EQ(Crc32(""), 0x00000000u);
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  EXPECT_EQ(Crc32(std::string("a\0b", 3)), 0x15E87871u);  // by length, NUL included
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(Crc32(all), 0x29058C73u);
}

TEST(Ipv4, DottedAddressesAndReservedPrefixes) {
  for (const char* ok : {"0.0.0.0", "255.255.255.255", "01.2.3.4", "+1.2.3.4"}) EXPECT_TRUE(IsIPv4(ok)) << ok;
  for (const char* bad : {"1.2.3", "1.2.3.256", "256.1.1.1", "1.2.3.4.", "1..2.3", "a.b.c.d", " 1.2.3.4",
                          "1.2.3.4 ", "", "1.2.3.4.5", "1.2.3.-1", "1.2.3.99999999999"})
    EXPECT_FALSE(IsIPv4(bad)) << bad;
  for (const char* reserved : {"10.0.0.1", "127.0.0.1", "169.254.1.1", "172.31.5.5", "191.255.0.1",
                               "192.0.0.8", "192.168.1.1", "223.255.255.1"})
    EXPECT_TRUE(IsReservedAddress(reserved)) << reserved;
  for (const char* open : {"172.16.0.1", "192.0.2.1", "223.255.254.1", "100.1.1.1", "1.10.0.1", "10", ""})
    EXPECT_FALSE(IsReservedAddress(open)) << open;
}

// Folders end with one separator; %QUELTADIR% is replaced after the environment.
TEST(Paths, TrailingSeparatorAndVariables) {
  const std::string sep(1, os::kPathSep), dir = "D" + sep;
  EXPECT_EQ(WithTrailingSeparator("") + WithTrailingSeparator("x") + WithTrailingSeparator("x" + sep),
            sep + "x" + sep + "x" + sep);
  EXPECT_EQ(ExpandPathVariables("%QUELTADIR%a%QUELTADIR%b", dir), dir + "a" + dir + "b");
  EXPECT_EQ(ExpandPathVariables("%QUELTADIR%%QUELTADIR%", "%QUELTADIR%"), "%QUELTADIR%%QUELTADIR%");
  EXPECT_EQ(ExpandPathVariables("%QueltaDir%x", dir), "%QueltaDir%x");  // exact case only
  EXPECT_EQ(ExpandPathVariables("%PATH%", dir), os::ExpandEnvironment("%PATH%"));
}

}  // namespace
}  // namespace quelta
