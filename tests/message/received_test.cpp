// Received lines: the nine items of a hop record, the lines collected from
// a header, and the selectors over the hops.
#include <gtest/gtest.h>

#include <string>

#include "message/received.h"
#include "message/urls.h"

namespace quelta {
namespace {

struct Hop {
  std::string from, helo, host, ip, env, by, with, forAddr, date;
};

std::string Record(const Hop& h) {
  const std::string s(1, kHopItemSep);
  return h.from + s + h.helo + s + h.host + s + h.ip + s + h.env + s + h.by + s + h.with + s +
         h.forAddr + s + h.date;
}

TEST(Received, LineItems) {
  const struct {
    std::string line;
    Hop want;
  } cases[] = {
      {"from mail.example.org (mail.example.org [192.0.2.1]) by mx.example.net (Postfix) with "
       "ESMTP id 1 for <user@example.net>; Mon, 1 Jan 2007 10:00:00 +0100",
       {"mail.example.org", "", "mail.example.org", "192.0.2.1", "", "mx.example.net", "ESMTP",
        "user@example.net", "Mon, 1 Jan 2007 10:00:00 +0100"}},
      {"from [192.0.2.1] (helo=foo) by mx with smtp; Mon, 1 Jan 2007",
       {"192.0.2.1", "foo", "", "", "", "mx", "smtp", "", ""}},
      {"from foo (192.0.2.7) by mx.example.net with smtp id 5",
       {"foo", "", "", "192.0.2.7", "", "mx.example.net", "smtp", "", ""}},
      {"from foo by mx", {"foo", "", "", "", "", "", "", "", ""}},
      {"from foo (192.0.2.7) by mx", {"foo", "", "", "", "", "", "", "", ""}},
      {"FROM foo (bar.example.org [1.2.3.4]) by mx with x;", {"", "", "", "", "", "mx", "x", "", ""}},
      {"from a.example (EHLO helo.example) (b.example.org [192.0.2.9]) by c with ESMTPS; d",
       {"a.example", "helo.example", "b.example.org", "192.0.2.9", "", "c", "ESMTPS", "", ""}},
      {"from x.example (HELO y) (envelope-sender <bounce@x.example>) by z with QMQP; date",
       {"x.example", "y", "", "", "bounce@x.example", "z", "QMQP", "", ""}},
      {"by mx.example.net with LMTP id 7; Tue, 2 Jan 2007 11:00:00 +0000",
       {"", "", "", "", "", "mx.example.net", "LMTP", "", "Tue, 2 Jan 2007 11:00:00 +0000"}},
      {"from a by b with c for <d@e>; the date", {"a", "", "", "", "", "b", "c", "d@e", "the date"}},
      {"from lonely", {"lonely", "", "", "", "", "", "", "", ""}},
      {"from [] by x ", {"[]", "", "", "", "", "", "", "", ""}},
      {"from a (helo b by c with d; e", {"a", "", "", "", "", "c", "d", "", ""}},
      {"", {}},
      {"; Mon, 1 Jan 2007", {"", "", "", "", "", "", "", "", "Mon, 1 Jan 2007"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseReceivedLine(c.line), Record(c.want)) << c.line;
}

TEST(Received, OnlyReceivedLinesInOrder) {
  const std::string header =
      "Received: from a by b with c;\r\nSubject: x\r\nreceived: by d with e;\r\n"
      "X-Received: from z by y with w;\r\nReceived:from q by r with s;\r\n";
  EXPECT_EQ(CollectReceived(header), Record({"a", "", "", "", "", "b", "c", "", ""}) + "\r\n" +
                                         Record({"", "", "", "", "", "d", "e", "", ""}) + "\r\n");
  EXPECT_EQ(CollectReceived("Subject: x\r\n"), "");
}

TEST(Received, Selectors) {
  const std::string rec = Record({"mail.example.org", "", "mail.example.org", "192.0.2.1", "",
                                  "mx.example.net", "ESMTP", "u@example.net", "Mon"}) +
                          "\r\n" +
                          Record({"192.0.2.5", "helo.test", "", "10.0.0.1", "env@x", "relay.test.co.uk",
                                  "smtp", "", ""}) +
                          "\r\n";
  const std::pair<const char*, std::string> cases[] = {
      {"IPS", "\"192.0.2.1\"192.0.2.5\"10.0.0.1\""},
      {"ips", "\"192.0.2.1\"192.0.2.5\"10.0.0.1\""},
      {"FROM", "\"mail.example.org\"192.0.2.5\""},
      {"FROMIP", "\"192.0.2.5\""},
      {"FROMNAME", "\"mail.example.org\""},
      {"HELO", "\"helo.test\""},
      {"HOST", "\"mail.example.org\""},
      {"IP", "\"192.0.2.1\"10.0.0.1\""},
      {"IPIP", "\"192.0.2.1\"10.0.0.1\""},
      {"ENVSENDER", "\"env@x\""},
      {"RCVBY", "\"mx.example.net\"relay.test.co.uk\""},
      {"RCVWITH", "\"ESMTP\"smtp\""},
      {"RCVFOR", "\"u@example.net\""},
      {"DATE", "\"Mon\""},
      {"HOSTS", "\"mail.example.org\"mail.example.org\"mx.example.net\"helo.test\"relay.test.co.uk\""},
      {"DOMS", "\"example.org\"example.org\"example.net\"u@example.net\"helo.test\"co.uk\""},
      {"NONE", "\""},
      {"IP|FROMIP", "\"192.0.2.1\"192.0.2.5\"10.0.0.1\""},
      {"XIP|IPX", "\""},
  };
  for (const auto& c : cases) EXPECT_EQ(SelectFromHops(rec, c.first, "\"", nullptr), c.second) << c.first;
  // The empty two-level list makes no difference; a separator of two bytes.
  const SubDomainList none("no-such-file.lst");
  EXPECT_EQ(SelectFromHops(rec, "RCVBY", "\"", &none), "\"mx.example.net\"relay.test.co.uk\"");
  EXPECT_EQ(SelectFromHops(rec, "IP", "<>", nullptr), "<>192.0.2.1<>10.0.0.1<>");
}

TEST(Received, AdjacentSeparatorsReplacedInOnePass) {
  // Hops with an empty helo give runs of separators; each pair becomes one.
  std::string rec;
  const char* const want[] = {"\"", "\"", "\"\"", "\"\"", "\"\"\""};
  for (int hops = 0; hops < 5; ++hops) {
    EXPECT_EQ(SelectFromHops(rec, "HELO", "\"", nullptr), want[hops]) << hops;
    rec += Record({"a", "", "", "", "", "", "", "", ""}) + "\r\n";
  }
  // A stray 0x02 inside an item shifts the following items.
  const std::string shifted = ParseReceivedLine("from a\x02" "b by c with d;") + "\r\n";
  EXPECT_EQ(SelectFromHops(shifted, "HELO", "\"", nullptr), "\"b\"");
}

}  // namespace
}  // namespace quelta
