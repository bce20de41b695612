// The message parser: every data field of a sample message, the single-part
// fallback, the caches, the host's rendered text, the size limit and
// hostile input. Dates: the dates a message claims land on the right day,
// second and zone; a malformed date gives 0 and leaves the zone alone when it
// fails before reaching it. Received lines: the nine items of a hop record
// (shown here joined by "|": from, helo, host, ip, envelope sender, by, with,
// for, date), the lines collected from a header, the selectors over the hops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "base/date_time.h"
#include "message/dates.h"
#include "message/parser.h"
#include "message/received.h"
#include "message/urls.h"
#include "support/table.h"

namespace quelta {
namespace {

using testing_support::ExpectEach;

const std::string kSample =
    "Return-Path: <bounce@example.org>\r\n"
    "Received: from mail.example.org (mail.example.org [192.0.2.1]) by mx.example.net "
    "(Postfix) with ESMTP id 1 for <to@example.net>; Mon, 1 Jan 2007 10:00:00 +0100\r\n"
    "Received: from [192.0.2.9] (helo=foo) by mail.example.org with smtp; Mon, 1 Jan 2007\r\n"
    "From: =?iso-8859-1?Q?J=FCrgen?= <juergen@example.org>\r\n"
    "To: \"Doe, John\" <john@example.net>, jane@example.net\r\n"
    "CC: =?x?Q?B=F6b?= <bob@example.com>\r\n"
    "Subject: =?iso-8859-1?Q?Gr=FC=DFe?=\r\n\tfolded\r\n"
    "Date: Mon, 1 Jan 2007 10:00:00 +0100\r\n"
    "User-Agent: Agent 2\r\n"
    "X-Mailer: Tool 1.0\r\n"
    "Message-Id: <1@example.org>\r\n"
    "In-Reply-To: <0@example.org>\r\n"
    "References: <a@x> <b@y>\r\n"
    "Organization: Example Org\r\n"
    "Reply-To: Help Desk <help@example.org>\r\n"
    "Content-Type: multipart/alternative;\r\n boundary=\"XX\"\r\n"
    "\r\n"
    "--XX\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "Visit http://www.example.com/a?b=3D1 or mail info@Example.COM now=\r\n!\r\n"
    "--XX\r\n"
    "Content-Type: text/html\r\n"
    "\r\n"
    "<a href=\"https://shop.example.net/x\">x</a>\r\n"
    "--XX--\r\n";

using Fields = std::vector<std::pair<const char*, std::string>>;

void ExpectFields(MessageParser& p, const Fields& fields) {
  for (const auto& f : fields) EXPECT_EQ(p.GetField(f.first), f.second) << f.first;
}

TEST(Parser, FieldsOfASampleMessage) {
  MessageParser p(kSample);
  const std::string plain = "Visit http://www.example.com/a?b=1 or mail info@Example.COM now!";
  const std::string rawPlain = "Visit http://www.example.com/a?b=3D1 or mail info@Example.COM now=\r\n!";
  const std::string html = "<a href=\"https://shop.example.net/x\">x</a>";
  const std::string parts = "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: "
                            "quoted-printable\r\n\r\n\r\nContent-Type: text/html\r\n\r\n";
  const std::string subject = "Gr\xfc\xdf" "e folded", from = "J\xfcrgen <juergen@example.org>";
  const std::string urls = "http://www.example.com/a\"\"https://shop.example.net/x\"\"www.example.com/a\"\"";
  const std::string argUrls = "http://www.example.com/a?b=1\"\"https://shop.example.net/x\"\"www.example.com/a?b=1\"\"";
  ExpectFields(p, {
      {"RAWMSG", kSample}, {"RAWSUBJECT", "=?iso-8859-1?Q?Gr=FC=DFe?= folded"}, {"SUBJECT", subject},
      {"  subj ", subject}, {"Subject:", "=?iso-8859-1?Q?Gr=FC=DFe?= folded"}, {"x-mailer:", "Tool 1.0"},
      {"Content:", ""}, {"MAILER", "Tool 1.0"}, {"MSGID", "<1@example.org>"}, {"INREPLYTO", "<0@example.org>"},
      {"REFERENCES", "<a@x> <b@y>"}, {"RETURNPATH", "<bounce@example.org>"}, {"ORGANIZATION", "Example Org"},
      {"RAWDATE", "Mon, 1 Jan 2007 10:00:00 +0100"}, {"RAWFROM", "=?iso-8859-1?Q?J=FCrgen?= <juergen@example.org>"},
      {"FROM", from}, {"SENDER", from}, {"RAWFROMADDR", "<juergen@example.org>"},
      {"RAWFROMNAME", "\"=?iso-8859-1?Q?J=FCrgen?=\""}, {"FROMADDR", "<juergen@example.org>"},
      {"FROMNAME", "\"J\xfcrgen\""}, {"REPLYTO", "Help Desk <help@example.org>"}, {"REPLYTOADDR", "<help@example.org>"},
      {"RAWTO", "\"Doe, John\" <john@example.net>, jane@example.net, =?x?Q?B=F6b?= <bob@example.com>"},
      {"TO", "\"Doe, John\" <john@example.net>, jane@example.net, B\xf6" "b <bob@example.com>"},
      {"RAWTONAME", "\"Doe, John\"\"=?x?Q?B=F6b?=\""}, {"TONAME", "\"Doe, John\"\"B\xf6" "b\""},
      {"RAWTOADDR", "<john@example.net><jane@example.net><bob@example.com>"},
      {"TOADDR", "<john@example.net><jane@example.net><bob@example.com>"},
      {"CONTENTTYPE", "multipart/alternative"}, {"BOUNDARY", "XX"}, {"CHARSET", ""},
      {"PARTTYPE", "\"text/plain\"text/html\""}, {"PARTCHARSET", "\"iso-8859-1\"\""},
      {"PARTENCODE", "\"quoted-printable\"\""}, {"PARTBOUNDARY", "\"\"\""}, {"PARTNAME", "\"\"\""},
      {"PARTID", "\"\"\""}, {"PARTRAWHEADER", parts}, {"PARTHEADER", parts}, {"PLAINPART", plain},
      {"RAWPLAINPART", rawPlain}, {"HTMLPART", html}, {"RAWHTMLPART", html}, {"TEXTPART", plain + "\r\n" + html},
      {"RAWTEXTPART", rawPlain + "\r\n" + html},
      {"PLAINWORD", "\"visit\"http://www.example.com/a?b=1\"or\"mail\"info@example.com\"now\""},
      {"SPAMPLAIN", " visii hipiwexampiecomabi or maii infoaexampiecom nowi "}, {"RAWURLLIST", urls},
      {"RAWURLARGLIST", argUrls}, {"URLLIST", "\"" + urls}, {"URLARGLIST", "\"" + argUrls},
      {"URLDOMAINLIST", "\"example.com\"example.net\""}, {"EMLLIST", "<info@example.com>"},
      {"EMLDOMAINLIST", "\"example.com\""},
      {"RECEIVED", "mail.example.org\x02\x02mail.example.org\x02" "192.0.2.1\x02\x02mx.example.net\x02"
                   "ESMTP\x02to@example.net\x02Mon, 1 Jan 2007 10:00:00 +0100\r\n"
                   "192.0.2.9\x02" "foo\x02\x02\x02\x02mail.example.org\x02smtp\x02\x02\r\n"},
      {"RCVALLIPS", "\"192.0.2.1\"192.0.2.9\""},
      {"RCVALLHOSTS", "\"mail.example.org\"mail.example.org\"mx.example.net\"foo\"\"mail.example.org\""},
      {"RCVALLDOMAINS", "\"example.org\"example.org\"example.net\"to@example.net\"foo\"example.org\""},
      {"RCVFROM", "\"mail.example.org\"192.0.2.9\""}, {"RCVHELO", "\"foo\""}, {"RCVSENDER", "\"\""},
      {"RCVRAWDATE", "\"Mon, 1 Jan 2007 10:00:00 +0100\""}, {"PARSEONLY_MESSAGEPARTS", ""}, {"NOSUCHFIELD", ""}});
  EXPECT_EQ(std::make_pair(p.PlainPartIndex(), p.HtmlPartIndex()), std::make_pair(0, 1));
  ASSERT_EQ(p.Recipients().size(), 3u);
  const Recipient& bob = p.Recipients()[2];
  EXPECT_EQ(bob.rawName + "|" + bob.name + "|" + bob.rawAddr + "|" + bob.addr,
            "=?x?Q?B=F6b?=|B\xf6" "b|bob@example.com|bob@example.com");
}

TEST(Parser, HeadersSizesAndDefaults) {
  const std::string msg = "Subject: a\r\n b\r\nX-Tab:\tq  r\r\n\r\nbody\r\n\r\nmore";
  MessageParser p(msg);
  ExpectFields(p, {{"RAWHEADER", "Subject: a\r\n b\r\nX-Tab:\tq  r\r\n"}, {"RAWBODY", "body\r\n\r\nmore"},
                   {"HEADER", "Subject: a b\r\nX-Tab: q r\r\n"}, {"LOWERHEADER", "subject: a b\r\nx-tab: q r\r\n"},
                   {"x-tab:", "q r"}});
  EXPECT_EQ(p.GetSizeField(" rawMessageSize"), static_cast<std::int64_t>(msg.size()));
  // Many header fields of one message: the first few searched for, the
  // rest read through an index of the header's lines, with the same values.
  std::string many;
  for (int k = 0; k < 20; ++k) many += "H" + std::to_string(k) + ": v" + std::to_string(k) + "\r\n";
  MessageParser q(many + "h3: again\r\n\r\nbody");
  for (int k : {0, 5, 1, 9, 2, 3, 19, 7, 4, 12, 6, 8, 15, 10}) {
    const std::string name = "h" + std::to_string(k) + ":";
    EXPECT_EQ(q.FieldText(MessageParser::ResolveField(name)), "v" + std::to_string(k)) << name;
  }
  EXPECT_EQ(q.FieldText(MessageParser::ResolveField("H20:")), "");
  EXPECT_EQ(q.FieldText(MessageParser::ResolveField("H1:0:")), "");
  EXPECT_EQ(p.GetSizeField("RAWMSG"), -1);
  MessageParser empty("");
  ExpectFields(empty, {{"RCVALLIPS", "\""}, {"RAWTONAME", "\""}, {"TEXTPART", "\r\n"}, {"PRIORITY", "3"},
                       {"URLDOMAINLIST", ""}, {"EMLDOMAINLIST", ""}, {"TEXTWORD", "\""}, {"SPAMTEXT", "  "},
                       {"RAWFROMADDR", "<>"}, {"TEXT", ""}});
}

TEST(Parser, ComposedHeaderFields) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"User-Agent: UA\r\n\r\n", "MAILER", "UA"}, {"X-Mailer:\r\nUser-Agent: UA\r\n\r\n", "MAILER", "UA"},
      {"X-Mailer-Info: no\r\n\r\n", "MAILER", ""}, {"Importance: very high\r\n\r\n", "PRIORITY", "1"},
      {"Importance: High\r\n\r\n", "PRIORITY", "2"}, {"X-Priority: 2 (High)\r\n\r\n", "PRIORITY", "2"},
      {"X-Priority: 9\r\n\r\n", "PRIORITY", "3"}, {"X-Priority: 5\r\n\r\n", "PRIORITY", "5"},
      {"X-MSMail-Priority: Low\r\n\r\n", "PRIORITY", "4"},
      {"X-Priority: 0\r\nImportance: VERY LOW\r\n\r\n", "PRIORITY", "5"},
      {"X-Priority: high\r\nImportance: low\r\n\r\n", "PRIORITY", "4"},
      {"X-Priority: -1\r\nImportance: very high\r\n\r\n", "PRIORITY", "1"},
      // To + ", " + CC, trimmed, then one trailing and one leading comma removed.
      {"To: a@b.c\r\n\r\n", "RAWTO", "a@b.c"}, {"CC: c@d.e\r\n\r\n", "RAWTO", " c@d.e"},
      {"To: ,a@b\r\n\r\n", "RAWTO", "a@b"}, {"To: a@b,\r\nCC: c@d\r\n\r\n", "RAWTO", "a@b,, c@d"},
      {"To: a@b,,\r\n\r\n", "RAWTO", "a@b,,"}};
  for (const auto& [msg, field, want] : cases) EXPECT_EQ(MessageParser(msg).GetField(field), want) << msg;
}

TEST(Parser, SinglePartMessages) {
  const char* html = "Content-Type: TEXT/HTML; charset=\"utf-8\"\r\nContent-ID: <x@y>\r\n"
                     "Content-Transfer-Encoding: Base64\r\n\r\nPGI+SGk8L2I+\r\n";
  MessageParser h(html);
  ExpectFields(h, {{"HTMLPART", "<b>Hi</b>"}, {"RAWHTMLPART", "PGI+SGk8L2I+\r\n"}, {"PLAINPART", ""},
                   {"TEXTPART", "<b>Hi</b>"}, {"PARTTYPE", "\"TEXT/HTML\""}, {"PARTID", "\"\""},
                   {"PARTCHARSET", "\"utf-8\""}, {"PARTENCODE", "\"Base64\""}});
  EXPECT_EQ(std::make_pair(h.PlainPartIndex(), h.HtmlPartIndex()), std::make_pair(-1, 0));
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"Subject: s\r\n\r\nbody", "PARTTYPE", "\"\""},  {"Subject: s\r\n\r\nbody", "TEXTPART", "body\r\n"},
      {"Content-Type: multipart/mixed; boundary=zz\r\n\r\nhello\r\n", "PARTTYPE", "\"multipart/mixed\""},
      {"Content-Type: multipart/mixed; boundary=zz\r\n\r\nhello\r\n", "PLAINPART", "hello\r\n"},
      {"Content-Type: image/gif; name=n\r\n\r\nGIF89a", "PLAINPART", "GIF89a"},
      {"Content-Type: image/gif; name=n\r\n\r\nGIF89a", "PARTNAME", "\"\""},
      {"Content-Transfer-Encoding: 7bit\r\n\r\na=3D", "PLAINPART", "a=3D"},
      {"Content-Transfer-Encoding: quoted-printable\r\n\r\na=3D", "PLAINPART", "a="},
      {"Subject: x\r\nContent-Type: text/plain\r\nbody?", "TEXTPART", "\r\n"}};
  for (const auto& [msg, field, want] : cases) EXPECT_EQ(MessageParser(msg).GetField(field), want) << field << msg;
}

TEST(Parser, DateFields) {
  MessageParser p("Date: Mon, 1 Jan 2007 10:00:00 +0100\r\n\r\n");
  const double day = EncodeDate(2007, 1, 1);
  EXPECT_NEAR(p.GetDateField("DATESENDER"), day + 10.0 / 24, 1e-9);
  EXPECT_NEAR(p.GetDateField(" dateutc "), day + 9.0 / 24, 1e-9);
  EXPECT_TRUE(p.GetDateField("DATESENDER", true) == 0 && p.GetDateField("RAWDATE") == 0);
  // A date that fails before its zone leaves the offset at -1 minutes.
  MessageParser bad("Date: yesterday\r\n\r\n");
  EXPECT_EQ(bad.GetDateField("DATESENDER"), 0);
  EXPECT_NEAR(bad.GetDateField("DATEUTC"), 1.0 / 1440, 1e-12);
}

TEST(Parser, CachesAndTheOutsideField) {
  MessageParser p(kSample);
  const std::string& mailer = p.FieldText(MessageParser::ResolveField(" x-MAILER: "));
  EXPECT_EQ(mailer, "Tool 1.0");
  EXPECT_EQ(&p.FieldText(MessageParser::ResolveField("X-Mailer:")), &mailer);  // computed once
  EXPECT_EQ(p.FieldText(MessageParser::ResolveField("NOSUCHFIELD")) + p.GetField("RCVIPHOSTS"), "");
  p.SetRcvIpHosts("\"mail.example.org\"");
  EXPECT_EQ(p.GetField("rcviphosts"), "\"mail.example.org\"");
}

// The host's rendered text, counting its fetches.
struct FakeRendered : RenderedTextSource {
  std::string RenderedText(std::size_t maxBytes) override {
    ++calls;
    lastMax = maxBytes;
    return text;
  }
  std::string text;
  int calls = 0;
  std::size_t lastMax = 0;
};

TEST(Parser, RenderedTextIsFetchedOnceWithTheLimit) {
  FakeRendered host;
  host.text = "Hello World";
  MessageOptions options;
  options.maxDataSize = 1234;
  MessageParser p("Subject: V1AGRA\r\n\r\nbody", options, &host);
  ExpectFields(p, {{"TEXT", "Hello World"}, {"SUBJTEXT", "V1AGRA\r\nHello World"}, {"TEXTWORD", "\"hello\"world\""},
                   {"SPAMTEXT", " heio worid "}, {"SPAMSUBJTEXT", " viagra   heio worid "}});
  EXPECT_EQ(std::make_pair(host.calls, host.lastMax), std::make_pair(1, std::size_t{1234}));
}

TEST(Parser, BodiesCutToMaxDataSize) {
  MessageOptions options;
  options.maxDataSize = 4;
  MessageParser p("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n"
                  "plain text\r\n--b\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: "
                  "quoted-printable\r\n\r\n<i>=3D</i>\r\n--b--\r\n",
                  options);
  // The plain part is not cut; the HTML part is cut before decoding.
  ExpectFields(p, {{"PLAINPART", "plain text"}, {"RAWPLAINPART", "plai"}, {"HTMLPART", "<i>="},
                   {"TEXTPART", "plai\r\n<i>="}, {"RAWTEXTPART", "plai\r\n<i>="}});
  EXPECT_EQ(MessageParser("Content-Transfer-Encoding: base64\r\n\r\nQUJDREVG", options).GetField("PLAINPART"), "ABC");
  // 100 KiB when no limit is given.
  EXPECT_EQ(MessageParser("Content-Type: text/html\r\n\r\n" + std::string(200000, 'x')).GetField("HTMLPART").size(),
            102400u);
}

// Fields of messages glued from fragments of headers, MIME structure,
// encodings and Received lines; nothing may fail or hang.
TEST(Parser, TokenSoupNeverBreaksTheParser) {
  const std::string pieces[] = {
      "\r\n", "\r\n\r\n", " ", ":", ";", "\"", "(", ")", "[", "<", ">", "@", "=", "?", "=?", "?=", "--b", "--b--",
      "Content-Type: multipart/mixed; boundary=b", "Content-Type: text/html", "boundary=\"b\"",
      "Content-Transfer-Encoding: base64", "Content-Transfer-Encoding: quoted-printable", "Received: from ",
      " by ", " with ", " for <", "(helo=", "(envelope-sender <", "1.2.3.4", "Subject: ", "From: ", "CC: ",
      "Date: Mon, 1 Jan 2007 10:00:00 +0100", "=?a?Q?", "=?a?B?", "=3D", "=\r\n", "QUJD", "http://", "www.",
      "x@y.zz", "\x02", "\xfc", std::string(1, '\0'), "X-Priority: ", "%4"};
  const std::size_t n = sizeof(pieces) / sizeof(pieces[0]);
  FakeRendered host;
  unsigned seed = 2024;
  for (int m = 0; m < 300; ++m) {
    std::string msg;
    for (int k = static_cast<int>((seed = seed * 1103515245u + 12345u) >> 16) % 120; k > 0; --k)
      msg += pieces[((seed = seed * 1103515245u + 12345u) >> 16) % n];
    host.text = msg;
    MessageParser p(msg, MessageOptions{}, &host);
    for (const char* f : {"SPAMSUBJTEXT", "SPAMPLAIN", "PRIORITY", "RCVALLDOMAINS", "RCVFROM", "RCVRAWDATE",
                          "PARTNAME", "FROMNAME", "TONAME", "RAWTEXTPART", "URLARGLIST", "URLDOMAINLIST",
                          "EMLDOMAINLIST", "Subject:"})
      p.GetField(f);
    p.GetDateField("DATEUTC");
  }
}

// "yyyy-mm-dd hh:nn:ss zone" of a parsed date (zone -1 when never read),
// or "0 zone" when it failed; zone in minutes east of UTC.
std::string Parsed(const std::string& text) {
  int zone = -1, y, m, d, h, n, s, ms;
  const double v = ParseDate(text, zone);
  if (v == 0) return "0 " + std::to_string(zone);
  DecodeDate(v, y, m, d);
  DecodeTime(v, h, n, s, ms);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d %d", y, m, d, h, n, s, ms, zone);
  return buf;
}

TEST(Dates, ZoneOffsets) {
  ExpectEach([](const std::string& z) { return std::to_string(ZoneOffset(z)); },
             {{"-0530", "-330"}, {"+1300", "780"}, {"+0100 (CET)", "60"}, {"+01", "0"}, {"+010", "0"},
              {"+01x0", "0"}, {"+ab00", "0"}, {"  +0200  ", "120"}, {"+", "0"}, {"CET", "60"}, {"MESZ", "120"},
              {"ba.t", "180"}, {"it", "210"}, {"usz10", "660"}, {"bst", "-180"}, {"nst", "-210"}, {"(EST)", "-300"},
              {"(est", "-300"}, {"idlw", "-720"}, {"idle", "720"}, {"gmt", "0"}, {"est5edt", "0"}, {"e st", "0"}});
}

TEST(Dates, ParseDate) {
  ExpectEach(Parsed, {
      {"1 Jan 2007 10:00:00 GMT", "2007-01-01 10:00:00.000 0"},
      {"Mon, 1 Jan 2007 10:00:00 (EST)", "2007-01-01 10:00:00.000 -300"},
      {"  tue, 29 FEB 2000 23:59:59 +1300  ", "2000-02-29 23:59:59.000 780"},
      {"Thu, 09 Dec 2200 00:00:00 -1200", "2200-12-09 00:00:00.000 -720"},
      {"Sat, 1 Dec 1900 0:0:0 +0000", "1900-12-01 00:00:00.000 0"},
      {"Mon, 1 Jan 2007 10:00:00", "2007-01-01 10:00:00.000 0"},
      {std::string("Mon, 1 Jan 2007 10:00:00 \0+0100", 32), "2007-01-01 10:00:00.000 60"},
      // Failing before the zone leaves it at -1.
      {"Mon, 1 Jan 07 10:00:00 +0100", "0 -1"}, {"Mon, 1 Jan 2007 10:00 +0100", "0 -1"},
      {"Mon, 32 Jan 2007 10:00:00 +0100", "0 -1"}, {"Mon, 0 Jan 2007 10:00:00 +0100", "0 -1"},
      {"Mon, 1 Jan 1899 10:00:00 +0100", "0 -1"}, {"Mon, 1 Jan 2201 10:00:00 +0100", "0 -1"},
      {"Mon, 1 Jan 2007 24:00:00 +0100", "0 -1"}, {"Mon, 1 Jan 2007 10:00:60 +0100", "0 -1"},
      {"Mon, 1 Jan 2007 10:00:0x +0100", "0 -1"}, {"Mon, 1 Jan 2007", "0 -1"}, {"", "0 -1"},
      {"Mon,1 Jan 2007 10:00:00 +0100", "0 -1"}, {std::string(200000, '1'), "0 -1"},
      // An impossible day or an unknown month fails after the zone.
      {"Fri, 30 Feb 2007 10:00:00 +0000", "0 0"}, {"Thu, 29 Feb 2007 10:00:00 +0100", "0 60"},
      {"Mon, 31 Apr 2007 10:00:00 EST", "0 -300"}, {"Mon, 1 January 2007 10:00:00 +0100", "0 60"}});
}

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
              {"RCVFOR", "\"u@example.net\""}, {"DATE", "\"Mon\""}, {"date", "\"Mon\""},
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
