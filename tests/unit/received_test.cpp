// Received-line analysis: hop records and the selectors over them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message/received.h"

namespace quelta {
namespace {

// The nine items of a hop record.
struct Hop {
  std::string From, Helo, Host, Ip, Env, By, With, For, Date;
};

std::string Record(const Hop& h) {
  const std::string s(1, kHopItemSep);
  return h.From + s + h.Helo + s + h.Host + s + h.Ip + s + h.Env + s + h.By + s + h.With + s +
         h.For + s + h.Date;
}

TEST(ReceivedLine, Table) {
  const struct {
    const char* Name;
    std::string Line;
    Hop Want;
  } cases[] = {
      {"full line",
       "from mail.example.org (mail.example.org [192.0.2.1]) by mx.example.net (Postfix) with "
       "ESMTP id 1 for <user@example.net>; Mon, 1 Jan 2007 10:00:00 +0100",
       {"mail.example.org", "", "mail.example.org", "192.0.2.1", "", "mx.example.net", "ESMTP",
        "user@example.net", "Mon, 1 Jan 2007 10:00:00 +0100"}},
      {"helo= and the ';' consumed by with",
       "from [192.0.2.1] (helo=foo) by mx with smtp; Mon, 1 Jan 2007",
       {"192.0.2.1", "foo", "", "", "", "mx", "smtp", "", ""}},
      {"address comment moves to ip",
       "from foo (192.0.2.7) by mx.example.net with smtp id 5",
       {"foo", "", "", "192.0.2.7", "", "mx.example.net", "smtp", "", ""}},
      {"by at the very end is not delimited", "from foo by mx",
       {"foo", "", "", "", "", "", "", "", ""}},
      {"short comment is no host", "from foo (192.0.2.7) by mx",
       {"foo", "", "", "", "", "", "", "", ""}},
      {"upper-case FROM is not parsed", "FROM foo (bar.example.org [1.2.3.4]) by mx with x;",
       {"", "", "", "", "", "mx", "x", "", ""}},
      {"EHLO comment with blank",
       "from a.example (EHLO helo.example) (b.example.org [192.0.2.9]) by c with ESMTPS; d",
       {"a.example", "helo.example", "b.example.org", "192.0.2.9", "", "c", "ESMTPS", "", ""}},
      {"envelope sender",
       "from x.example (HELO y) (envelope-sender <bounce@x.example>) by z with QMQP; date",
       {"x.example", "y", "", "", "bounce@x.example", "z", "QMQP", "", ""}},
      {"line without from", "by mx.example.net with LMTP id 7; Tue, 2 Jan 2007 11:00:00 +0000",
       {"", "", "", "", "", "mx.example.net", "LMTP", "", "Tue, 2 Jan 2007 11:00:00 +0000"}},
      {"date after for", "from a by b with c for <d@e>; the date",
       {"a", "", "", "", "", "b", "c", "d@e", "the date"}},
      {"from word alone", "from lonely", {"lonely", "", "", "", "", "", "", "", ""}},
      {"brackets kept for short from", "from [] by x ", {"[]", "", "", "", "", "", "", "", ""}},
      {"helo without closing parenthesis", "from a (helo b by c with d; e",
       {"a", "", "", "", "", "c", "d", "", ""}},
      {"empty", "", {}},
      {"only a date", "; Mon, 1 Jan 2007", {"", "", "", "", "", "", "", "", "Mon, 1 Jan 2007"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseReceivedLine(c.Line), Record(c.Want)) << c.name;
}

TEST(ReceivedCollect, OnlyReceivedLinesInOrder) {
  const std::string header =
      "Received: from a by b with c;\r\nSubject: x\r\nreceived: by d with e;\r\n"
      "X-Received: from z by y with w;\r\nReceived:from q by r with s;\r\n";
  const std::string want = Record({"a", "", "", "", "", "b", "c", "", ""}) + "\r\n" +
                           Record({"", "", "", "", "", "d", "e", "", ""}) + "\r\n";
  EXPECT_EQ(CollectReceived(header), want);
  EXPECT_EQ(CollectReceived("Subject: x\r\n"), "");
}

TEST(ReceivedSelect, Selectors) {
  const std::string rec =
      Record({"mail.example.org", "", "mail.example.org", "192.0.2.1", "", "mx.example.net",
              "ESMTP", "u@example.net", "Mon"}) +
      "\r\n" +
      Record({"192.0.2.5", "helo.test", "", "10.0.0.1", "env@x", "relay.test.net", "smtp", "",
              ""}) +
      "\r\n";
  const struct {
    const char* Sel;
    std::string Want;
  } cases[] = {
      {"IPS", "\"192.0.2.1\"192.0.2.5\"10.0.0.1\""},
      {"ips", "\"192.0.2.1\"192.0.2.5\"10.0.0.1\""},
      {"FROM", "\"mail.example.org\"192.0.2.5\""},
      {"FROMIP", "\"192.0.2.5\""},
      {"FROMNAME", "\"mail.example.org\""},
      {"HELO", "\"helo.test\""},  // the first hop's empty helo disappears
      {"HOST", "\"mail.example.org\""},
      {"IP", "\"192.0.2.1\"10.0.0.1\""},
      {"IPIP", "\"192.0.2.1\"10.0.0.1\""},
      {"ENVSENDER", "\"env@x\""},
      {"RCVBY", "\"mx.example.net\"relay.test.net\""},
      {"RCVWITH", "\"ESMTP\"smtp\""},
      {"RCVFOR", "\"u@example.net\""},
      {"DATE", "\"Mon\""},
      // Hop 1: from, helo (empty), host, by; hop 2: helo, host (empty), by.
      // The empty items of hop 1 and hop 2 leave doubled separators only
      // where two empty items meet.
      {"HOSTS", "\"mail.example.org\"mail.example.org\"mx.example.net\"helo.test\"relay.test.net\""},
      // The for item is reduced like a host name: its labels keep the "@".
      {"DOMS", "\"example.org\"example.org\"example.net\"u@example.net\"helo.test\"test.net\""},
      {"NONE", "\""},
      {"IP|FROMIP", "\"192.0.2.1\"192.0.2.5\"10.0.0.1\""},
  };
  for (const auto& c : cases) EXPECT_EQ(SelectFromHops(rec, c.Sel, "\""), c.Want) << c.Sel;
}

TEST(ReceivedSelect, PairReplacementIsSinglePass) {
  // Two hops with empty helo: the list is '"' '"' '"' before the pass;
  // one pair becomes one separator and the leftover doubles.
  const std::string rec = Record({"a", "", "", "", "", "", "", "", ""}) + "\r\n" +
                          Record({"b", "", "", "", "", "", "", "", ""}) + "\r\n";
  EXPECT_EQ(SelectFromHops(rec, "HELO", "\""), "\"\"");
  // Three empty items: four separators become two.
  const std::string rec3 = rec + Record({"c", "", "", "", "", "", "", "", ""}) + "\r\n";
  EXPECT_EQ(SelectFromHops(rec3, "HELO", "\""), "\"\"");
  // Four empty items: five separators become three.
  const std::string rec4 = rec3 + Record({"d", "", "", "", "", "", "", "", ""}) + "\r\n";
  EXPECT_EQ(SelectFromHops(rec4, "HELO", "\""), "\"\"\"");
  // No hops at all: a lone separator.
  EXPECT_EQ(SelectFromHops("", "IPS", "\""), "\"");
}

TEST(ReceivedSelect, ExtraSeparatorBytesShiftItems) {
  // The record text is taken apart at 0x02; a stray 0x02 inside an item
  // moves the following items one place on, as in the text itself.
  std::string line = "from a\x02" "b by c with d;";
  std::string rec = ParseReceivedLine(line) + "\r\n";
  EXPECT_EQ(SelectFromHops(rec, "FROM", "\""), "\"a\"");
  EXPECT_EQ(SelectFromHops(rec, "HELO", "\""), "\"b\"");
}

}  // namespace
}  // namespace quelta
