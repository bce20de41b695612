// The shared text helpers and the URL, domain, e-mail and address helpers:
// exact bytes of every list a data field is built from, the quirks rules
// depend on (overlapping counts, the resuming replace, the left walk of the
// URL scan, the two-level domain list) and hostile input.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/strings.h"
#include "app/session.h"

namespace fs = std::filesystem;
using namespace quelta;

namespace {

const std::string Q = "\"";

// A SubDomains.lst in a fresh temporary folder, removed afterwards.
class SubDomainFile {
 public:
  explicit SubDomainFile(const std::string& content) {
    dir_ = fs::temp_directory_path() /
           ("quelta_subdomains_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    fs::create_directories(dir_);
    path_ = (dir_ / "SubDomains.lst").string();
    Write(content);
  }
  ~SubDomainFile() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void Write(const std::string& content) {
    std::ofstream f(path_, std::ios::binary | std::ios::trunc);
    f << content;
  }
  const std::string& Path() const { return path_; }

 private:
  fs::path dir_;
  std::string path_;
};

}  // namespace

// ---- Basics ----------------------------------------------------------------

TEST(StringsBasic, TrimRemovesBlanksAndControlsOnly) {
  EXPECT_EQ("a b", Trim("\x01 a b \t\r\n"));
  EXPECT_EQ("", Trim(" \t "));
  EXPECT_EQ("", Trim(""));
  EXPECT_EQ("\xA0x\xA0", Trim("\xA0x\xA0"));  // a no-break space is not a blank here
  EXPECT_EQ("x ", TrimLeft("\n x "));
  EXPECT_EQ(" x", TrimRight(" x \x1F"));
  EXPECT_EQ(std::string("a"), Trim(std::string("\0a\0", 3)));
}

TEST(StringsBasic, AsciiCaseOnly) {
  EXPECT_EQ("abc\xC4\xE4z", AsciiLower("ABC\xC4\xE4Z"));
  EXPECT_EQ("ABC\xC4\xE4Z", AsciiUpper("abc\xC4\xE4z"));
}

TEST(StringsBasic, IntegerParsing) {
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
    EXPECT_EQ(c.ok, TryStrToInt(c.s, v)) << c.s;
    EXPECT_EQ(c.ok ? c.v : -9, StrToIntDef(c.s, -9)) << c.s;
  }
  EXPECT_EQ(INT64_MAX, StrToInt64Def("9223372036854775807", 0));
  EXPECT_EQ(INT64_MIN, StrToInt64Def("-9223372036854775808", 0));
  EXPECT_EQ(3, StrToInt64Def("9223372036854775808", 3));
  EXPECT_EQ(4294967296LL, StrToInt64Def("4294967296", 0));
}

// ---- Tokens and searching ---------------------------------------------------

TEST(StringsToken, Pieces) {
  const struct {
    const char* text;
    const char* delim;
    int n;
    const char* piece;
  } cases[] = {
      {"a,b,,c", ",", 1, "a"}, {"a,b,,c", ",", 2, "b"},  {"a,b,,c", ",", 3, ""},
      {"a,b,,c", ",", 4, "c"}, {"a,b,,c", ",", 5, ""},   {"a,b,,c", ",", 0, ""},
      {"abc", ",", 1, "abc"},  {"", ",", 1, ""},         {"", ",", 2, ""},
      {"a::b::c", "::", 2, "b"}, {"a::b::c", "::", 3, "c"}, {"a,", ",", 2, ""},
      {"1.2.3.4", ".", 4, "4"}, {"abc", "", 1, "abc"},   {"abc", "", 2, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.piece, GetToken(c.text, c.delim, c.n)) << c.text << " #" << c.n;
}

TEST(StringsSearch, CountOfCountsOverlaps) {
  EXPECT_EQ(3, CountOf("aaaa", "aa"));
  EXPECT_EQ(2, CountOf("abcabc", "abc"));
  EXPECT_EQ(0, CountOf("abc", ""));
  EXPECT_EQ(0, CountOf("", "a"));
  EXPECT_EQ(3, CountOf("1.2.3.4", "."));
}

TEST(StringsSearch, Copies) {
  EXPECT_EQ("ab", LeftStr("abc", 2));
  EXPECT_EQ("abc", LeftStr("abc", 10));
  EXPECT_EQ("", LeftStr("abc", -1));
  EXPECT_EQ("bc", RightStr("abc", 2));
  EXPECT_EQ("abc", RightStr("abc", 5));
  EXPECT_EQ("", RightStr("abc", 0));
  EXPECT_EQ("bc", MidStr("abcd", 1, 2));
  EXPECT_EQ("cd", MidStr("abcd", 2, 99));
  EXPECT_EQ("", MidStr("abcd", 4, 1));
  EXPECT_EQ("ab", MidStr("abcd", -3, 2));
}

TEST(StringsReplace, ResumesOneAfterTheInsertedText) {
  const struct {
    const char* text;
    const char* find;
    const char* repl;
    bool ic;
    const char* result;
  } cases[] = {
      {"a  b", "  ", " ", false, "a b"},
      {"a    b", "  ", " ", false, "a  b"},       // pairs become single spaces, runs halve
      {"a,,,,b", ",,", ",", false, "a,,b"},
      {"abbb", "ab", "xa", false, "xxxa"},        // the replacement's tail is searched again
      {"aab", "a", "", false, "ab"},               // the character after a removal is skipped
      {"<><>x", "<>", "", false, "<>x"},
      {"xax", "a", "aa", false, "xaax"},           // would never end: resumes after it
      {"ab", "a", "ba", false, "bab"},
      {"abcabc", "b", "X", false, "aXcaXc"},
      {"Hello WORLD", "world", "There", true, "hello There"},
      {"Hello WORLD", "world", "There", false, "Hello WORLD"},
      {"abc", "", "x", false, "abc"},
      {"ABC", "", "x", true, "abc"},
      {"", "a", "b", false, ""},
      {"aaa", "aa", "a", false, "aa"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.result, ReplaceAll(c.text, c.find, c.repl, c.ic))
        << "'" << c.text << "' '" << c.find << "' -> '" << c.repl << "'";
}

TEST(StringsReplace, LongRunsStayBounded) {
  // A long run of spaces halves in one pass; the pass must not blow up.
  const std::string spaces(100001, ' ');
  const std::string r = ReplaceAll("a" + spaces + "b", "  ", " ");
  EXPECT_EQ('a', r.front());
  EXPECT_EQ('b', r.back());
  EXPECT_EQ(50001u + 2u, r.size());
}

TEST(StringsSearch, FirstDelimiterIsZeroBased) {
  EXPECT_EQ(2, FirstDelimiter(",;", "ab;c,"));
  EXPECT_EQ(0, FirstDelimiter(",;", ",x"));
  EXPECT_EQ(-1, FirstDelimiter(",;", "abc"));
  EXPECT_EQ(-1, FirstDelimiter("", "abc"));
}

TEST(StringsAddress, IPv4) {
  const struct {
    const char* text;
    bool ok;
  } cases[] = {
      {"0.0.0.0", true},       {"255.255.255.255", true}, {"192.0.2.1", true},
      {"1.2.3", false},        {"1.2.3.256", false},      {"1.2.3.4.", false},
      {"1..2.3", false},       {"a.b.c.d", false},        {" 1.2.3.4", false},
      {"1.2.3.4 ", false},     {"", false},               {"...", false},
      {"1.2.3.4.5", false},    {"1.2.3.-1", false},       {"01.2.3.4", true},
      {"1.2.3.99999999999", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.ok, IsIPv4(c.text)) << c.text;
}

TEST(StringsAddress, ReservedPrefixes) {
  const struct {
    const char* text;
    bool reserved;
  } cases[] = {
      {"10.0.0.1", true},      {"127.0.0.1", true},   {"169.254.1.1", true},
      {"172.31.5.5", true},    {"172.16.0.1", false}, {"191.255.0.1", true},
      {"192.0.0.8", true},     {"192.0.2.1", false},  {"192.168.1.1", true},
      {"223.255.255.1", true}, {"223.255.254.1", false}, {"100.1.1.1", false},
      {"1.10.0.1", false},     {"10", false},         {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.reserved, IsReservedAddress(c.text)) << c.text;
}

TEST(StringsBasic, DigitsOnly) {
  EXPECT_TRUE(IsDigitsOnly(""));
  EXPECT_TRUE(IsDigitsOnly("2007"));
  EXPECT_FALSE(IsDigitsOnly("-1"));
  EXPECT_FALSE(IsDigitsOnly("12a"));
  EXPECT_FALSE(IsDigitsOnly("\xB2"));  // superscript two is no digit
}

TEST(StringsCrc, StandardCheckValues) {
  EXPECT_EQ(0x00000000u, Crc32(""));
  EXPECT_EQ(0xE8B7BE43u, Crc32("a"));
  EXPECT_EQ(0xCBF43926u, Crc32("123456789"));
  EXPECT_EQ(0x414FA339u, Crc32("The quick brown fox jumps over the lazy dog"));
  EXPECT_EQ(Crc32(std::string("a\0b", 3)), Crc32(std::string("a\0b", 3)));
  EXPECT_NE(Crc32(std::string("a\0b", 3)), Crc32("a"));
}

TEST(StringsBasic, HexPairs) {
  EXPECT_EQ(0x41, HexPairToByte('4', '1'));
  EXPECT_EQ(0xFF, HexPairToByte('f', 'F'));
  EXPECT_EQ(0xE9, HexPairToByte('E', '9'));
  EXPECT_EQ(0, HexPairToByte('0', '0'));
  EXPECT_EQ(-1, HexPairToByte('g', '0'));
  EXPECT_EQ(-1, HexPairToByte('0', ' '));
}

TEST(StringsQuotedList, Items) {
  EXPECT_EQ((std::vector<std::string>{"a", "", "b"}), QuotedListItems("\"a\"\"b\""));
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), QuotedListItems("a\"b"));
  EXPECT_EQ((std::vector<std::string>{"a"}), QuotedListItems("a\""));
  EXPECT_TRUE(QuotedListItems("\"").empty());
  EXPECT_TRUE(QuotedListItems("").empty());
  EXPECT_TRUE(QuotedListHas("\"a\"bc\"", "bc"));
  EXPECT_FALSE(QuotedListHas("\"a\"bc\"", "b"));
}

// ---- URLs and domains -------------------------------------------------------

TEST(UrlsUnescape, Bytes) {
  const struct {
    const char* text;
    const char* result;
  } cases[] = {
      {"a+b%41", "a bA"},     {"abc%4", "abc"},        {"abc%", "abc"},
      {"%zz1", "1"},          {"% 41", ""},            {"x%41%", "xA"},
      {"%2B", "+"},           {"%e9", "\xE9"},         {"%E9", "\xE9"},
      {"a&amp;b&lt;c&gt;d", "a&b<c>d"},                 {"&AMP;", "&AMP;"},
      {"&amp", "&amp"},       {"&amp;amp;", "&amp;"},  {"", ""},
      {"%41%42%43", "ABC"},   {"%%41", "1"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, UrlUnescape(c.text)) << c.text;
  EXPECT_EQ(std::string("a\0b", 3), UrlUnescape("a%00b"));
}

TEST(UrlsDomain, WithoutTwoLevelList) {
  const struct {
    const char* url;
    const char* domain;
  } cases[] = {
      {"http://www.example.com/x", "example.com"},
      {"news.example.co.uk", "co.uk"},
      {"192.0.2.1", "192.0.2.1"},
      {"http://192.0.2.1/x", "192.0.2.1"},
      {"localhost", "localhost"},
      {"HTTPS://WWW.Example.COM", "example.com"},
      {"https://http://a.b.c", "b.c"},        // both schemes come off, in this order
      {"http://https://x.com", "https:"},     // the second scheme stays
      {"", ""},
      {"http://", ""},
      {"http:///x", ""},
      {"www.a.com:8080/x", "a.com:8080"},     // a port stays in the label
      {"http://user@www.a.com/", "a.com"},
      {"a.com?x=1", "a.com?x=1"},            // nor a query
      {"example.com", "example.com"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.domain, UrlDomainWith(c.url, "")) << c.url;
}

TEST(UrlsDomain, TwoLevelListFromFile) {
  SubDomainFile list("co.uk\r\ncom.au\nor.jp \r\n");
  const struct {
    const char* url;
    const char* domain;
  } cases[] = {
      {"news.example.co.uk", "example.co.uk"},
      {"http://a.b.example.co.uk/path", "example.co.uk"},
      {"example.co.uk", "example.co.uk"},
      {"co.uk", "co.uk"},
      {"www.shop.com.au", "shop.com.au"},
      {"www.x.or.jp", "or.jp"},  // the line holds a trailing blank: no exact match
      {"www.example.com", "example.com"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.domain, UrlDomainWith(c.url, list.Path())) << c.url;
  EXPECT_EQ("co.uk", UrlDomainWith("news.example.co.uk", list.Path() + ".missing"));

  // A changed file is read again.
  list.Write("com.au\r\n");
  EXPECT_EQ("co.uk", UrlDomainWith("news.example.co.uk", list.Path()));
  EXPECT_EQ("shop.com.au", UrlDomainWith("www.shop.com.au", list.Path()));
}

TEST(UrlsDomain, UsesTheConfiguredList) {
  SubDomainFile list("co.uk\r\n");
  const std::string saved = Objects().SubDomainsFile;
  Objects().SubDomainsFile = list.Path();
  EXPECT_EQ("example.co.uk", UrlDomain("http://news.example.co.uk/"));
  Objects().SubDomainsFile.clear();
  EXPECT_EQ("co.uk", UrlDomain("http://news.example.co.uk/"));
  Objects().SubDomainsFile = saved;
}

TEST(UrlsFind, Markers) {
  const struct {
    const char* text;
    const char* marker;
    bool args;
    std::string result;
  } cases[] = {
      {"see HTTP://Example.com/a?b=1 now", "http://", false, "HTTP://Example.com/a" + Q},
      {"see HTTP://Example.com/a?b=1 now", "http://", true, "HTTP://Example.com/a?b=1" + Q},
      {"http://a.com http://b.com http://a.com", "http://", false,
       "http://a.com" + Q + "http://b.com" + Q},
      {"http://a.com HTTP://A.COM", "http://", false, "http://a.com" + Q + "HTTP://A.COM" + Q},
      {"go http://www.x.com/p now", "www.", false, "www.x.com/p" + Q},
      {"go http://www.x.com/p now", "https://", false, ""},
      {"xyzhttp://a.com", "http://", false, "xyzhttp://a.com" + Q},  // left walk
      {"<a href=\"http://a.com/x\">", "http://", false, "http://a.com/x" + Q},
      {"(http://a.com/x.)", "http://", false, "http://a.com/x." + Q},
      {"http://a.com,b", "http://", false, "http://a.com" + Q},
      {"http://a.com/%41*=:/", "http://", false, "http://a.com/%41*=:/" + Q},
      {"http://a.com/?u=http://b.com", "http://", false,
       "http://a.com/" + Q + "http://b.com" + Q},
      {"http://a.com/?u=http://b.com", "http://", true,
       "http://a.com/?u=http://b.com" + Q + "http://b.com" + Q},
      {"http://a.com/?x&y=1", "http://", true, "http://a.com/?x&y=1" + Q},
      {"https://s.org/\xE4", "https://", false, "https://s.org/" + Q},
      {"", "http://", false, ""},
      {"no links here", "www.", false, ""},
      {"www.", "www.", false, "www." + Q},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.result, FindUrls(c.text, c.marker, c.args)) << c.text << " / " << c.marker;
}

TEST(UrlsFind, RawListAndUnescapedList) {
  const std::string text = "Visit http://www.Shop.com/%41 or https://secure.org/?a=1&b=%32";
  const std::string raw = RawUrlList(text, false);
  EXPECT_EQ("http://www.Shop.com/%41" + Q + Q + "https://secure.org/" + Q + Q +
                "www.Shop.com/%41" + Q + Q,
            raw);
  EXPECT_EQ(Q + "http://www.Shop.com/A" + Q + Q + "https://secure.org/" + Q + Q +
                "www.Shop.com/A" + Q + Q,
            UrlListFromRaw(raw));
  const std::string rawArgs = RawUrlList(text, true);
  EXPECT_EQ(Q + "http://www.Shop.com/A" + Q + Q + "https://secure.org/?a=1&b=2" + Q + Q +
                "www.Shop.com/A" + Q + Q,
            UrlListFromRaw(rawArgs));
  // An empty first list leaves the raw list starting with '"', which then
  // counts as the leading quote.
  EXPECT_EQ(Q + Q + Q, UrlListFromRaw(RawUrlList("nothing", false)));
  // '&' ends an argument-less URL; ';' ends every URL, so "&amp;" never
  // reaches the decoder from a scan.
  EXPECT_EQ(Q + "http://a.b/?x=1&amp" + Q + Q + Q + Q,
            UrlListFromRaw(RawUrlList("http://a.b/?x=1&amp;y=2", true)));
  EXPECT_EQ(Q, UrlListFromRaw(""));
}

TEST(UrlsDomainList, DistinctLowerCaseDomains) {
  const std::string list =
      UrlListFromRaw(RawUrlList("http://www.Shop.com/a https://SHOP.com/b www.other.org x", false));
  EXPECT_EQ(Q + "shop.com" + Q + "other.org" + Q, UrlDomainList(list));
  EXPECT_EQ("", UrlDomainList(Q + Q + Q + Q));
  EXPECT_EQ("", UrlDomainList(""));
  EXPECT_EQ(Q + "192.0.2.1" + Q, UrlDomainList(Q + "http://192.0.2.1/x" + Q + "192.0.2.1" + Q));
}

TEST(UrlsFind, NestedMarkersStayBounded) {
  // Every marker starts a URL that runs to the end of the text; the list is
  // cut off instead of growing with the square of the text.
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "http://";
  const std::string r = FindUrls(text, "http://", false);
  EXPECT_LE(r.size(), std::size_t(1) << 21);
  EXPECT_EQ(0u, r.find(text + Q));
}

// ---- E-mail addresses -------------------------------------------------------

TEST(EmailsFind, Addresses) {
  const struct {
    const char* text;
    const char* result;
  } cases[] = {
      {"Mail John.Doe@Example.COM now", "<john.doe@example.com>"},
      {"x a@bcd.ef", "<a@bcd.ef>"},                       // at the very end
      {"a@bcd.ef", "<a@bcd.ef>"},
      {"a@b.c", ""},                                      // fewer than four after '@'
      {"a@bc.d", ""},                                     // one character after the last '.'
      {"a@bcde", ""},                                     // no '.' after the '@'
      {"user1@x.com", "<@x.com>"},                        // digits stop the left walk
      {"a@1bc.com", "<a@1bc.com>"},                       // the first one after '@' is free
      {"a@b1.com", ""},
      {"a@bcd.ef, c@def.gh a@bcd.ef", "<a@bcd.ef><c@def.gh>"},
      {"A@BCD.EF a@bcd.ef", "<a@bcd.ef>"},
      {"x@y.z.com.", ""},                                 // nothing after the last '.'
      {"@abcd.ef", "<@abcd.ef>"},
      {"a@@bc.de", "<a@@bc.de><@bc.de>"},
      {"", ""},
      {"@", ""},
      {"no mail here", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, FindEmails(c.text)) << c.text;
}

TEST(EmailsFind, AddressesHoldingAngleBrackets) {
  // The character after '@' is taken untested, so an item may hold '<' or
  // '>'; duplicates are then judged on the text of the list.
  EXPECT_EQ("<a@>bc.de>", FindEmails("a@>bc.de a@>bc.de"));
}

TEST(EmailsDomainList, AfterTheAt) {
  EXPECT_EQ(Q + "bcd.ef" + Q + "def.gh" + Q + "bcd.ef" + Q,
            EmlDomainList("<a@bcd.ef><c@def.gh><x@bcd.ef>"));
  EXPECT_EQ(Q + "x.com" + Q, EmlDomainList("<@x.com>"));
  EXPECT_EQ(Q + "bc.de" + Q, EmlDomainList(" <a@bc.de> "));
  EXPECT_EQ("", EmlDomainList(""));
  EXPECT_EQ("", EmlDomainList("   "));
  EXPECT_EQ(Q + "x.org" + Q, EmlDomainList(FindEmails("write to Me@X.org today")));
}

TEST(AddressListParse, Entries) {
  const struct {
    const char* value;
    std::string result;
  } cases[] = {
      {"\"Doe, John\" <john@x.com>", "Doe, John\x02john@x.com\x01"},
      {"a@b.com", "\x02" "a@b.com\x01"},
      {"John <j@x.com>, (Jane) jane@y.org",
       "John\x02j@x.com\x01" "Jane\x02jane@y.org\x01"},
      {"", ""},
      {"   ", ""},
      {"Undisclosed recipients:;", "Undisclosed recipients:;\x02\x01"},
      {"\"a@b\" <c@d.com>", "a@b\x02" "c@d.com\x01"},
      {"x@y.com,", "\x02x@y.com\x01\x02\x01"},
      {"\"abc, d@e.com", ""},  // an unclosed quote swallows the rest
      {"(c@d.com) e@f.com", "c@d.com\x02" "e@f.com\x01"},
      {"M\xFCller <m@x.de>", "M\xFCller\x02m@x.de\x01"},
      {"<x_1-2@Sub.Example.COM>", "\x02x_1-2@Sub.Example.COM\x01"},
      {"a@b@c", "@c\x02" "a@b\x01"},  // the first sign is the address
      {"\"\" <a@b.c>", "\x02" "a@b.c\x01"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, ParseAddressList(c.value)) << c.value;
}

TEST(AddressListParse, EntriesAndLines) {
  const std::string list = ParseAddressList("\"Doe, John\" <john@x.com>, bob@y.org");
  const std::vector<AddressEntry> e = AddressEntries(list);
  ASSERT_EQ(2u, e.size());
  EXPECT_EQ("Doe, John", e[0].name);
  EXPECT_EQ("john@x.com", e[0].addr);
  EXPECT_EQ("", e[1].name);
  EXPECT_EQ("bob@y.org", e[1].addr);
  EXPECT_TRUE(AddressEntries("").empty());

  EXPECT_EQ("<a@b.com>\r\n<c@d.com>", AddressLines("a@b.com, C <c@d.com>"));
  EXPECT_EQ("<a@b.com>", AddressLines(" A <a@b.com> "));
  EXPECT_EQ("", AddressLines(""));
  EXPECT_EQ("<>", AddressLines("nobody"));
}

TEST(AddressListParse, HostileInput) {
  const std::string many = std::string(100000, '(') + "a@b.c";
  EXPECT_EQ("", ParseAddressList(many));
  std::string commas(100000, ',');
  EXPECT_EQ(100001u * 2u, ParseAddressList(commas).size());  // one more for the appended ','
  std::string ats(100000, '@');
  EXPECT_FALSE(ParseAddressList(ats).empty());
}
