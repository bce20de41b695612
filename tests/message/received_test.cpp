// Received lines: the nine items of a hop record (shown here joined by "|":
// from, helo, host, ip, envelope sender, by, with, for, date), the lines
// collected from a header, and the selectors over the hops.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "message/received.h"
#include "message/urls.h"
#include "support/table.h"

namespace quelta {
namespace {

using testing_support::ExpectEach;

std::string Bars(std::string record) {
  std::replace(record.begin(), record.end(), kHopItemSep, '|');
  return record;
}

std::string Hops(std::string bars) {
  std::replace(bars.begin(), bars.end(), '|', kHopItemSep);
  return bars;
}

TEST(Received, LineItems) {
  ExpectEach([](const std::string& line) { return Bars(ParseReceivedLine(line)); },
             {{"from mail.example.org (mail.example.org [192.0.2.1]) by mx.example.net (Postfix) with ESMTP id 1 for "
               "<user@example.net>; Mon, 1 Jan 2007 10:00:00 +0100",
               "mail.example.org||mail.example.org|192.0.2.1||mx.example.net|ESMTP|user@example.net|"
               "Mon, 1 Jan 2007 10:00:00 +0100"},
              {"from [192.0.2.1] (helo=foo) by mx with smtp; Mon, 1 Jan 2007", "192.0.2.1|foo||||mx|smtp||"},
              {"from foo (192.0.2.7) by mx.example.net with smtp id 5", "foo|||192.0.2.7||mx.example.net|smtp||"},
              {"from foo by mx", "foo||||||||"},
              {"from foo (192.0.2.7) by mx", "foo||||||||"},
              {"FROM foo (bar.example.org [1.2.3.4]) by mx with x;", "|||||mx|x||"},
              {"from a.example (EHLO helo.example) (b.example.org [192.0.2.9]) by c with ESMTPS; d",
               "a.example|helo.example|b.example.org|192.0.2.9||c|ESMTPS||"},
              {"from x.example (HELO y) (envelope-sender <bounce@x.example>) by z with QMQP; date",
               "x.example|y|||bounce@x.example|z|QMQP||"},
              {"by mx.example.net with LMTP id 7; Tue, 2 Jan 2007", "|||||mx.example.net|LMTP||Tue, 2 Jan 2007"},
              {"from a by b with c for <d@e>; the date", "a|||||b|c|d@e|the date"},
              {"from a by b;with c; d", "a|||||b|c||"},
              {"from lonely", "lonely||||||||"}, {"from [] by x ", "[]||||||||"},
              {"from a (helo b by c with d; e", "a|||||c|d||"}, {"", "||||||||"}, {"; Mon", "||||||||Mon"}});
  EXPECT_EQ(Bars(CollectReceived("Received: from a by b with c;\r\nSubject: x\r\nreceived: by d with e;\r\n"
                                 "X-Received: from z by y with w;\r\nReceived:from q by r with s;\r\n")),
            "a|||||b|c||\r\n|||||d|e||\r\n");
  EXPECT_EQ(CollectReceived("Subject: x\r\n"), "");
}

TEST(Received, Selectors) {
  const std::string hops = Hops(
      "mail.example.org||mail.example.org|192.0.2.1||mx.example.net|ESMTP|u@example.net|Mon\r\n"
                                "192.0.2.5|helo.test||10.0.0.1|env@x|relay.test.co.uk|smtp||\r\n");
  ExpectEach([&](const std::string& selector) { return SelectFromHops(hops, selector, "\"", nullptr); },
             {{"IPS", "\"192.0.2.1\"192.0.2.5\"10.0.0.1\""}, {"ips", "\"192.0.2.1\"192.0.2.5\"10.0.0.1\""},
              {"FROM", "\"mail.example.org\"192.0.2.5\""}, {"FROMIP", "\"192.0.2.5\""},
              {"FROMNAME", "\"mail.example.org\""}, {"HELO", "\"helo.test\""}, {"HOST", "\"mail.example.org\""},
              {"IP", "\"192.0.2.1\"10.0.0.1\""}, {"IPIP", "\"192.0.2.1\"10.0.0.1\""}, {"ENVSENDER", "\"env@x\""},
              {"RCVBY", "\"mx.example.net\"relay.test.co.uk\""}, {"RCVWITH", "\"ESMTP\"smtp\""},
              {"RCVFOR", "\"u@example.net\""}, {"DATE", "\"Mon\""},
              {"HOSTS", "\"mail.example.org\"mail.example.org\"mx.example.net\"helo.test\"relay.test.co.uk\""},
              {"DOMS", "\"example.org\"example.org\"example.net\"u@example.net\"helo.test\"co.uk\""},
              {"NONE", "\""}, {"IP|FROMIP", "\"192.0.2.1\"192.0.2.5\"10.0.0.1\""}, {"XIP|IPX", "\""}});
  const SubDomainList none("no-such-file.lst");
  EXPECT_EQ(SelectFromHops(hops, "DOMS", "\"", &none),
            "\"example.org\"example.org\"example.net\"u@example.net\"helo.test\"co.uk\"");
  EXPECT_EQ(SelectFromHops(hops, "IP", "<>", nullptr), "<>192.0.2.1<>10.0.0.1<>");
  // Hops with an empty helo give runs of separators; each pair becomes one
  // in a single pass.
  std::string empty;
  for (const char* want : {"\"", "\"", "\"\"", "\"\"", "\"\"\""}) {
    EXPECT_EQ(SelectFromHops(empty, "HELO", "\"", nullptr), want);
    empty += Hops("a||||||||\r\n");
  }
  // A stray 0x02 inside an item shifts the following items.
  EXPECT_EQ(SelectFromHops(ParseReceivedLine("from a\x02" "b by c with d;") + "\r\n", "HELO", "\"", nullptr), "\"b\"");
}

}  // namespace
}  // namespace quelta
