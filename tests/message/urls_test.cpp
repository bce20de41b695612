// URLs, domains, e-mail addresses and address headers: exact list bytes,
// the two-level domain file, the quirks rules depend on and hostile input.
#include <gtest/gtest.h>

#include <string>

#include "message/urls.h"
#include "support/scratch_dir.h"
#include "support/table.h"

namespace quelta {
namespace {

using testing_support::ExpectEach;
const std::string Q = "\"";

TEST(Urls, Unescape) {
  ExpectEach(UrlUnescape, {{"a+b%41", "a bA"}, {"abc%4", "abc"}, {"abc%", "abc"}, {"%zz1", "1"}, {"% 41", ""},
                           {"x%41%", "xA"}, {"%2B", "+"}, {"%e9", "\xE9"}, {"a&amp;b&lt;c&gt;d", "a&b<c>d"},
                           {"&AMP;", "&AMP;"}, {"&amp", "&amp"}, {"&amp;amp;", "&amp;"}, {"%%41", "1"},
                           {"ab%4 1cd", "ab"}, {"a%4\tb", "a"}, {"a%zz b", "a b"}, {"a%4g+b", "a b"}});
  EXPECT_EQ(UrlUnescape("a%00b"), std::string("a\0b", 3));
}

TEST(Urls, Domains) {
  ExpectEach([](const std::string& url) { return UrlDomain(url, nullptr); },
             {{"http://www.example.com/x", "example.com"}, {"news.example.co.uk", "co.uk"}, {"192.0.2.1", "192.0.2.1"},
              {"http://192.0.2.1/x", "192.0.2.1"}, {"localhost", "localhost"},
              {"HTTPS://WWW.Example.COM", "example.com"}, {"https://http://a.b.c", "b.c"},
              {"http://https://x.com", "https:"}, {"http://", ""}, {"www.a.com:8080/x", "a.com:8080"},
              {"http://user@www.a.com/", "a.com"}, {"a.com?x=1", "a.com?x=1"}});
  testing_support::ScratchDir dir;
  dir.Write("SubDomains.lst", "co.uk\r\ncom.au\nor.jp \r\n");
  const SubDomainList list(dir.File("SubDomains.lst"));
  ExpectEach([&](const std::string& url) { return UrlDomain(url, &list); },
             {{"news.example.co.uk", "example.co.uk"}, {"http://a.b.example.co.uk/path", "example.co.uk"},
              {"co.uk", "co.uk"}, {"www.shop.com.au", "shop.com.au"}, {"www.x.or.jp", "or.jp"}});
  // A file of another size is read again; a missing file holds nothing.
  dir.Write("SubDomains.lst", "com.au\r\n");
  EXPECT_EQ(UrlDomain("news.example.co.uk", &list), "co.uk");
  EXPECT_EQ(UrlDomain("www.shop.com.au", &list), "shop.com.au");
  EXPECT_FALSE(SubDomainList(dir.File("none.lst")).Contains("com.au"));
  EXPECT_EQ(UrlDomainList(Q + "http://a.Shop.com.au/x" + Q + "b.shop.com.au" + Q + "192.0.2.1" + Q, &list),
            Q + "shop.com.au" + Q + "192.0.2.1" + Q);
  EXPECT_EQ(UrlDomainList(Q + Q + Q + Q, nullptr), "");
}

TEST(Urls, FindUrls) {
  const std::tuple<const char*, const char*, bool, std::string> cases[] = {
      {"see HTTP://Example.com/a?b=1 now", "http://", true, "HTTP://Example.com/a?b=1" + Q},
      {"http://a.com http://b.com http://a.com", "http://", false, "http://a.com" + Q + "http://b.com" + Q},
      {"go http://www.x.com/p now", "www.", false, "www.x.com/p" + Q},
      {"xyzhttp://a.com", "http://", false, "xyzhttp://a.com" + Q},
      {"(http://a.com/x.)", "http://", false, "http://a.com/x." + Q},
      {"http://a.com,b", "http://", false, "http://a.com" + Q},
      {"http://a.com/%41*=:/", "http://", false, "http://a.com/%41*=:/" + Q},
      {"http://a.com/?u=http://b.com", "http://", false, "http://a.com/" + Q + "http://b.com" + Q},
      {"http://a.com/?u=http://b.com", "http://", true, "http://a.com/?u=http://b.com" + Q + "http://b.com" + Q},
      {"http://a.com/?x&y=1", "http://", true, "http://a.com/?x&y=1" + Q},
      {"https://s.org/\xE4", "https://", false, "https://s.org/" + Q},
      {"www.", "www.", false, "www." + Q},
      {"www.www.a.com x www.b.com", "www.", false, "www.www.a.com" + Q + "www.b.com" + Q},
      {"http://http://a.com", "http://", false, "http://http://a.com" + Q + "http://a.com" + Q}};
  for (const auto& [text, marker, args, want] : cases) EXPECT_EQ(FindUrls(text, marker, args), want) << text;
  // Nested markers: the list is cut off instead of growing with the square.
  std::string nested;
  for (int i = 0; i < 20000; ++i) nested += "http://";
  const std::string r = FindUrls(nested, "http://", false);
  EXPECT_LE(r.size(), std::size_t(1) << 21);
  EXPECT_EQ(r.find(nested + Q), 0u);
  const std::string text = "Visit http://www.Shop.com/%41 or https://secure.org/?a=1&b=%32";
  const std::string raw = RawUrlList(text, false);
  EXPECT_EQ(raw, "http://www.Shop.com/%41" + Q + Q + "https://secure.org/" + Q + Q + "www.Shop.com/%41" + Q + Q);
  EXPECT_EQ(UrlListFromRaw(raw),
            Q + "http://www.Shop.com/A" + Q + Q + "https://secure.org/" + Q + Q + "www.Shop.com/A" + Q + Q);
  EXPECT_EQ(UrlListFromRaw(RawUrlList(text, true)),
            Q + "http://www.Shop.com/A" + Q + Q + "https://secure.org/?a=1&b=2" + Q + Q + "www.Shop.com/A" + Q + Q);
  EXPECT_EQ(UrlListFromRaw(RawUrlList("nothing", false)), Q + Q + Q);
}

TEST(Urls, EmailsAndAddressHeaders) {
  ExpectEach(FindEmails, {{"Mail John.Doe@Example.COM now", "<john.doe@example.com>"}, {"x a@bcd.ef", "<a@bcd.ef>"},
                          {"a@b.c", ""}, {"a@b.cd", "<a@b.cd>"}, {"a@bc.d", ""}, {"a@bcde", ""}, {"user1@x.com", "<@x.com>"},
                          {"a@1bc.com", "<a@1bc.com>"}, {"a@b1.com", ""},
                          {"a@bcd.ef, c@def.gh A@BCD.EF", "<a@bcd.ef><c@def.gh>"}, {"x@y.z.com.", ""},
                          {"a@@bc.de", "<a@@bc.de><@bc.de>"}, {"a@>bc.de a@>bc.de", "<a@>bc.de>"}, {"@", ""}});
  ExpectEach(EmlDomainList, {{"<a@bcd.ef><c@def.gh><x@bcd.ef>", Q + "bcd.ef" + Q + "def.gh" + Q + "bcd.ef" + Q},
                             {" <a@bc.de> ", Q + "bc.de" + Q}, {"<@x.com><nothing>", Q + "x.com" + Q}, {"   ", ""}});
  ExpectEach([](const std::string& v) { return ParseAddressList(v); },
             {{"\"Doe, John\" <john@x.com>", "Doe, John\x02john@x.com\x01"}, {"a@b.com", "\x02" "a@b.com\x01"},
              {"John <j@x.com>, (Jane) jane@y.org", "John\x02j@x.com\x01" "Jane\x02jane@y.org\x01"}, {"   ", ""},
              {"Undisclosed recipients:;", "Undisclosed recipients:;\x02\x01"},
              {"\"a@b\" <c@d.com>", "a@b\x02" "c@d.com\x01"}, {"x@y.com,", "\x02x@y.com\x01\x02\x01"},
              {"\"abc, d@e.com", ""}, {"(c@d.com) e@f.com", "c@d.com\x02" "e@f.com\x01"},
              {"<x_1-2@Sub.Example.COM>", "\x02x_1-2@Sub.Example.COM\x01"}, {"a@b@c", "@c\x02" "a@b\x01"},
              {std::string(100000, '(') + "a@b.c", ""}});
  EXPECT_EQ(ParseAddressList(std::string(100000, ',')).size(), 100001u * 2u);
  const auto e = AddressEntries(ParseAddressList("\"Doe, John\" <john@x.com>, bob@y.org"));
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].name + "|" + e[0].addr + "|" + e[1].name + "|" + e[1].addr, "Doe, John|john@x.com||bob@y.org");
  ExpectEach(AddressLines, {{"a@b.com, C <c@d.com>", "<a@b.com>\r\n<c@d.com>"}, {"nobody", "<>"}, {"", ""}});
}

}  // namespace
}  // namespace quelta
