// The message parser: every data field of a sample message, the single-part
// fallback, the caches, the host's rendered text, the size limit and
// hostile input.
#include <gtest/gtest.h>

#include <string>

#include "base/date_time.h"
#include "message/parser.h"

namespace quelta {
namespace {

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

TEST(Parser, FieldsOfASampleMessage) {
  MessageParser p(kSample);
  const std::string plain = "Visit http://www.example.com/a?b=1 or mail info@Example.COM now!";
  const std::string rawPlain = "Visit http://www.example.com/a?b=3D1 or mail info@Example.COM now=\r\n!";
  const std::string html = "<a href=\"https://shop.example.net/x\">x</a>";
  const std::pair<const char*, std::string> cases[] = {
      {"RAWMSG", kSample},
      {"RAWSUBJECT", "=?iso-8859-1?Q?Gr=FC=DFe?= folded"},
      {"SUBJECT", "Gr\xfc\xdf" "e folded"},
      {"  subj ", "Gr\xfc\xdf" "e folded"},
      {"Subject:", "=?iso-8859-1?Q?Gr=FC=DFe?= folded"},
      {"x-mailer:", "Tool 1.0"},
      {"Content:", ""},
      {"MAILER", "Tool 1.0"},
      {"MSGID", "<1@example.org>"},
      {"INREPLYTO", "<0@example.org>"},
      {"REFERENCES", "<a@x> <b@y>"},
      {"RETURNPATH", "<bounce@example.org>"},
      {"ORGANIZATION", "Example Org"},
      {"RAWDATE", "Mon, 1 Jan 2007 10:00:00 +0100"},
      {"RAWFROM", "=?iso-8859-1?Q?J=FCrgen?= <juergen@example.org>"},
      {"FROM", "J\xfcrgen <juergen@example.org>"},
      {"SENDER", "J\xfcrgen <juergen@example.org>"},
      {"RAWFROMADDR", "<juergen@example.org>"},
      {"RAWFROMNAME", "\"=?iso-8859-1?Q?J=FCrgen?=\""},
      {"FROMADDR", "<juergen@example.org>"},
      {"FROMNAME", "\"J\xfcrgen\""},
      {"REPLYTO", "Help Desk <help@example.org>"},
      {"REPLYTOADDR", "<help@example.org>"},
      {"RAWTO", "\"Doe, John\" <john@example.net>, jane@example.net, =?x?Q?B=F6b?= <bob@example.com>"},
      {"TO", "\"Doe, John\" <john@example.net>, jane@example.net, B\xf6" "b <bob@example.com>"},
      {"RAWTONAME", "\"Doe, John\"\"=?x?Q?B=F6b?=\""},
      {"TONAME", "\"Doe, John\"\"B\xf6" "b\""},
      {"RAWTOADDR", "<john@example.net><jane@example.net><bob@example.com>"},
      {"TOADDR", "<john@example.net><jane@example.net><bob@example.com>"},
      {"CONTENTTYPE", "multipart/alternative"},
      {"BOUNDARY", "XX"},
      {"CHARSET", ""},
      {"PARTTYPE", "\"text/plain\"text/html\""},
      {"PARTCHARSET", "\"iso-8859-1\"\""},
      {"PARTENCODE", "\"quoted-printable\"\""},
      {"PARTBOUNDARY", "\"\"\""},
      {"PARTNAME", "\"\"\""},
      {"PARTID", "\"\"\""},
      {"PARTRAWHEADER", "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: "
                        "quoted-printable\r\n\r\n\r\nContent-Type: text/html\r\n\r\n"},
      {"PARTHEADER", "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: "
                     "quoted-printable\r\n\r\n\r\nContent-Type: text/html\r\n\r\n"},
      {"PLAINPART", plain},
      {"RAWPLAINPART", rawPlain},
      {"HTMLPART", html},
      {"RAWHTMLPART", html},
      {"TEXTPART", plain + "\r\n" + html},
      {"RAWTEXTPART", rawPlain + "\r\n" + html},
      {"PLAINWORD", "\"visit\"http://www.example.com/a?b=1\"or\"mail\"info@example.com\"now\""},
      {"SPAMPLAIN", " visii hipiwexampiecomabi or maii infoaexampiecom nowi "},
      {"RAWURLLIST", "http://www.example.com/a\"\"https://shop.example.net/x\"\"www.example.com/a\"\""},
      {"RAWURLARGLIST",
       "http://www.example.com/a?b=1\"\"https://shop.example.net/x\"\"www.example.com/a?b=1\"\""},
      {"URLLIST", "\"http://www.example.com/a\"\"https://shop.example.net/x\"\"www.example.com/a\"\""},
      {"URLARGLIST",
       "\"http://www.example.com/a?b=1\"\"https://shop.example.net/x\"\"www.example.com/a?b=1\"\""},
      {"URLDOMAINLIST", "\"example.com\"example.net\""},
      {"EMLLIST", "<info@example.com>"},
      {"EMLDOMAINLIST", "\"example.com\""},
      {"RECEIVED", "mail.example.org\x02\x02mail.example.org\x02" "192.0.2.1\x02\x02mx.example.net\x02"
                   "ESMTP\x02to@example.net\x02Mon, 1 Jan 2007 10:00:00 +0100\r\n"
                   "192.0.2.9\x02" "foo\x02\x02\x02\x02mail.example.org\x02smtp\x02\x02\r\n"},
      {"RCVALLIPS", "\"192.0.2.1\"192.0.2.9\""},
      {"RCVALLHOSTS", "\"mail.example.org\"mail.example.org\"mx.example.net\"foo\"\"mail.example.org\""},
      {"RCVALLDOMAINS", "\"example.org\"example.org\"example.net\"to@example.net\"foo\"example.org\""},
      {"RCVFROM", "\"mail.example.org\"192.0.2.9\""},
      {"RCVFROMIP", "\"192.0.2.9\""},
      {"RCVFROMNAME", "\"mail.example.org\""},
      {"RCVHELO", "\"foo\""},
      {"RCVHOST", "\"mail.example.org\""},
      {"RCVIP", "\"192.0.2.1\""},
      {"RCVIPIP", "\"192.0.2.1\""},
      {"RCVSENDER", "\"\""},
      {"RCVBY", "\"mx.example.net\"mail.example.org\""},
      {"RCVWITH", "\"ESMTP\"smtp\""},
      {"RCVFOR", "\"to@example.net\""},
      {"RCVRAWDATE", "\"Mon, 1 Jan 2007 10:00:00 +0100\""},
      {"PARSEONLY_MESSAGEPARTS", ""},
      {"PARSEONLY_RECIPIENTLIST", ""},
      {"NOSUCHFIELD", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(p.GetField(c.first), c.second) << c.first;
  EXPECT_EQ(p.PlainPartIndex(), 0);
  EXPECT_EQ(p.HtmlPartIndex(), 1);
  ASSERT_EQ(p.Recipients().size(), 3u);
  EXPECT_EQ(p.Recipients()[2].rawName, "=?x?Q?B=F6b?=");
  EXPECT_EQ(p.Recipients()[2].name, "B\xf6" "b");
  EXPECT_EQ(p.Recipients()[2].addr, "bob@example.com");
}

TEST(Parser, HeaderFieldsAndSizes) {
  const std::string msg = "Subject: a\r\n b\r\nX-Tab:\tq  r\r\n\r\nbody\r\n\r\nmore";
  MessageParser p(msg);
  EXPECT_EQ(p.GetField("RAWHEADER"), "Subject: a\r\n b\r\nX-Tab:\tq  r\r\n");
  EXPECT_EQ(p.GetField("RAWBODY"), "body\r\n\r\nmore");
  EXPECT_EQ(p.GetField("HEADER"), "Subject: a b\r\nX-Tab: q r\r\n");
  EXPECT_EQ(p.GetField("LOWERHEADER"), "subject: a b\r\nx-tab: q r\r\n");
  EXPECT_EQ(p.GetField("x-tab:"), "q r");
  EXPECT_EQ(p.GetSizeField(" rawMessageSize"), static_cast<std::int64_t>(msg.size()));
  EXPECT_EQ(p.GetSizeField("RAWMSG"), -1);

  MessageParser empty("");
  const std::pair<const char*, const char*> defaults[] = {
      {"RCVALLIPS", "\""}, {"RAWTONAME", "\""}, {"TEXTPART", "\r\n"}, {"PRIORITY", "3"},
      {"URLDOMAINLIST", ""}, {"EMLDOMAINLIST", ""}, {"TEXTWORD", "\""}, {"SPAMTEXT", "  "},
      {"RAWFROMADDR", "<>"}};
  for (const auto& c : defaults) EXPECT_EQ(empty.GetField(c.first), c.second) << c.first;
}

TEST(Parser, MailerPriorityAndRecipientsText) {
  const std::pair<const char*, const char*> mailer[] = {
      {"User-Agent: UA\r\n\r\n", "UA"}, {"X-Mailer:\r\nUser-Agent: UA\r\n\r\n", "UA"},
      {"X-Mailer-Info: no\r\n\r\n", ""}};
  for (const auto& c : mailer) EXPECT_EQ(MessageParser(c.first).GetField("MAILER"), c.second) << c.first;
  const std::pair<const char*, const char*> priority[] = {
      {"Subject: x\r\n\r\n", "3"},
      {"Importance: very high\r\n\r\n", "1"},
      {"Importance: High\r\n\r\n", "2"},
      {"X-Priority: 2 (High)\r\n\r\n", "2"},
      {"X-Priority: 9\r\n\r\n", "3"},
      {"X-Priority: 5\r\n\r\n", "5"},
      {"X-MSMail-Priority: Low\r\n\r\n", "4"},
      {"X-Priority: 0\r\nImportance: VERY LOW\r\n\r\n", "5"},
      {"X-Priority: high\r\nImportance: low\r\n\r\n", "4"},
      {"X-Priority: -1\r\nImportance: very high\r\n\r\n", "1"},
  };
  for (const auto& c : priority) EXPECT_EQ(MessageParser(c.first).GetField("PRIORITY"), c.second) << c.first;
  // To + ", " + CC, trimmed, then one trailing and one leading comma removed.
  const std::pair<const char*, const char*> rawTo[] = {
      {"To: a@b.c\r\n\r\n", "a@b.c"},     {"CC: c@d.e\r\n\r\n", " c@d.e"},
      {"To: ,a@b\r\n\r\n", "a@b"},        {"To: a@b,\r\nCC: c@d\r\n\r\n", "a@b,, c@d"},
      {"To: a@b,,\r\n\r\n", "a@b,,"},     {"Subject: none\r\n\r\n", ""},
  };
  for (const auto& c : rawTo) EXPECT_EQ(MessageParser(c.first).GetField("RAWTO"), c.second) << c.first;
}

TEST(Parser, SinglePartMessages) {
  const char* html = "Content-Type: TEXT/HTML; charset=\"utf-8\"\r\nContent-ID: <x@y>\r\n"
                     "Content-Transfer-Encoding: Base64\r\n\r\nPGI+SGk8L2I+\r\n";
  const char* untyped = "Subject: s\r\n\r\nbody";
  const char* unmet = "Content-Type: multipart/mixed; boundary=zz\r\n\r\nhello\r\n";
  const char* image = "Content-Type: image/gif; name=n\r\n\r\nGIF89a";
  const struct {
    const char* msg;
    const char* field;
    const char* want;
  } cases[] = {
      {html, "HTMLPART", "<b>Hi</b>"},         {html, "RAWHTMLPART", "PGI+SGk8L2I+\r\n"},
      {html, "PLAINPART", ""},                 {html, "TEXTPART", "<b>Hi</b>"},
      {html, "PARTTYPE", "\"TEXT/HTML\""},     {html, "PARTID", "\"\""},
      {html, "PARTCHARSET", "\"utf-8\""},      {html, "PARTENCODE", "\"Base64\""},
      {untyped, "PARTTYPE", "\"\""},           {untyped, "TEXTPART", "body\r\n"},
      {unmet, "PARTTYPE", "\"multipart/mixed\""}, {unmet, "PLAINPART", "hello\r\n"},
      {image, "PLAINPART", "GIF89a"},          {image, "PARTNAME", "\"\""},
      {"Content-Transfer-Encoding: 7bit\r\n\r\na=3D", "PLAINPART", "a=3D"},
      {"Content-Transfer-Encoding: quoted-printable\r\n\r\na=3D", "PLAINPART", "a="},
      {"Subject: x\r\nContent-Type: text/plain\r\nbody?", "TEXTPART", "\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(MessageParser(c.msg).GetField(c.field), c.want) << c.field << " of " << c.msg;
  MessageParser h(html);
  EXPECT_EQ(h.PlainPartIndex(), -1);
  EXPECT_EQ(h.HtmlPartIndex(), 0);
  EXPECT_EQ(h.Parts().size(), 1u);
}

TEST(Parser, DateFields) {
  MessageParser p("Date: Mon, 1 Jan 2007 10:00:00 +0100\r\n\r\n");
  const double day = EncodeDate(2007, 1, 1);
  EXPECT_NEAR(p.GetDateField("DATESENDER"), day + 10.0 / 24, 1e-9);
  EXPECT_NEAR(p.GetDateField(" dateutc "), day + 9.0 / 24, 1e-9);
  EXPECT_EQ(p.GetDateField("DATESENDER", true), 0);
  EXPECT_EQ(p.GetDateField("RAWDATE"), 0);
  // A date that fails before its zone leaves the offset at -1 minutes.
  MessageParser bad("Date: yesterday\r\n\r\n");
  EXPECT_EQ(bad.GetDateField("DATESENDER"), 0);
  EXPECT_NEAR(bad.GetDateField("DATEUTC"), 1.0 / 1440, 1e-12);
}

TEST(Parser, CachesAndTheOutsideField) {
  MessageParser p(kSample);
  std::string out = "untouched";
  p.GetField("SUBJECT", true, out);
  p.GetField("NOSUCHFIELD", true, out);
  p.GetField("x-mailer:", true, out);
  EXPECT_EQ(out, "untouched");
  p.GetField("x-mailer:", false, out);
  EXPECT_EQ(out, "Tool 1.0");
  EXPECT_EQ(p.GetField("RCVIPHOSTS"), "");
  p.SetRcvIpHosts("\"mail.example.org\"");
  EXPECT_EQ(p.GetField("rcviphosts"), "\"mail.example.org\"");
}

// The host's rendered text, counting its fetches.
class FakeRendered : public RenderedTextSource {
 public:
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
  EXPECT_EQ(p.GetField("TEXT"), "Hello World");
  EXPECT_EQ(p.GetField("SUBJTEXT"), "V1AGRA\r\nHello World");
  EXPECT_EQ(p.GetField("TEXTWORD"), "\"hello\"world\"");
  EXPECT_EQ(p.GetField("SPAMTEXT"), " heio worid ");
  EXPECT_EQ(p.GetField("SPAMSUBJTEXT"), " viagra   heio worid ");
  EXPECT_EQ(host.calls, 1);
  EXPECT_EQ(host.lastMax, 1234u);
  EXPECT_EQ(MessageParser("").GetField("TEXT"), "");  // no host text at all
}

TEST(Parser, BodiesCutToMaxDataSize) {
  MessageOptions options;
  options.maxDataSize = 4;
  MessageParser p(
      "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n"
      "plain text\r\n--b\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: "
      "quoted-printable\r\n\r\n<i>=3D</i>\r\n--b--\r\n",
      options);
  EXPECT_EQ(p.GetField("PLAINPART"), "plain text");  // not cut
  EXPECT_EQ(p.GetField("RAWPLAINPART"), "plai");
  EXPECT_EQ(p.GetField("HTMLPART"), "<i>=");  // cut before decoding: the "=" stays
  EXPECT_EQ(p.GetField("TEXTPART"), "plai\r\n<i>=");
  EXPECT_EQ(p.GetField("RAWTEXTPART"), "plai\r\n<i>=");
  MessageParser single("Content-Transfer-Encoding: base64\r\n\r\nQUJDREVG", options);
  EXPECT_EQ(single.GetField("PLAINPART"), "ABC");
}

// Every field of messages glued from fragments of headers, MIME structure,
// encodings and Received lines; nothing may fail or hang.
TEST(Parser, TokenSoupNeverBreaksTheParser) {
  const std::string pieces[] = {
      "\r\n", "\r\n\r\n", " ", "\t", ":", ";", "\"", "(", ")", "[", "]", "<", ">", "@", "=", "?",
      "=?", "?=", "--b", "--b--", "Content-Type: multipart/mixed; boundary=b",
      "Content-Type: text/plain", "Content-Type: text/html", "boundary=\"b\"",
      "Content-Transfer-Encoding: base64", "Content-Transfer-Encoding: quoted-printable",
      "Received: from ", " by ", " with ", " for <", "(helo=", "(envelope-sender <", "1.2.3.4",
      "Subject: ", "From: ", "To: ", "CC: ", "Date: Mon, 1 Jan 2007 10:00:00 +0100", "=?a?Q?",
      "=?a?B?", "=3D", "=\r\n", "QUJD", "http://", "www.", "a.b.c", "x@y.zz", "\x02", "\x01",
      "\xfc", std::string(1, '\0'), "X-Priority: ", "Importance: high", "%4", "&amp;"};
  const std::size_t n = sizeof(pieces) / sizeof(pieces[0]);
  FakeRendered host;
  unsigned seed = 2024;
  for (int m = 0; m < 300; ++m) {
    std::string msg;
    seed = seed * 1103515245u + 12345u;
    const int len = static_cast<int>((seed >> 16) % 120);
    for (int k = 0; k < len; ++k) {
      seed = seed * 1103515245u + 12345u;
      msg += pieces[(seed >> 16) % n];
    }
    host.text = msg;
    MessageParser p(msg, MessageOptions{}, &host);
    for (const char* f : {"TEXTWORD", "SPAMSUBJTEXT", "SPAMPLAIN", "PRIORITY", "MAILER", "RCVALLDOMAINS",
                          "RCVFROM", "RCVRAWDATE", "PARTRAWHEADER", "PARTNAME", "FROMNAME", "REPLYTOADDR",
                          "TONAME", "RAWTOADDR", "RAWTEXTPART", "URLARGLIST", "URLDOMAINLIST",
                          "EMLDOMAINLIST", "LOWERHEADER", "Subject:"})
      p.GetField(f);
    p.GetDateField("DATEUTC");
  }
}

TEST(Parser, ManyEncodedWordsStayLinear) {
  std::string subject = "Subject: ";
  for (int i = 0; i < 20000; ++i) subject += "=?a?Q?x?= ";
  EXPECT_EQ(MessageParser(subject + "\r\n\r\n").GetField("SUBJECT").size(), 20000u * 2 - 1);
}

}  // namespace
}  // namespace quelta
