// The message parser: every data field of a message, the caches and the
// host's rendered text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "base/date_time.h"
#include "base/strings.h"
#include "message/parser.h"
#include "app/session.h"

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
    "Subject: =?iso-8859-1?Q?Gr=FC=DFe?=\r\n"
    "\tfolded\r\n"
    "Date: Mon, 1 Jan 2007 10:00:00 +0100\r\n"
    "X-Mailer: Tool 1.0\r\n"
    "Message-Id: <1@example.org>\r\n"
    "In-Reply-To: <0@example.org>\r\n"
    "References: <a@x> <b@y>\r\n"
    "Organization: Example Org\r\n"
    "Reply-To: Help Desk <help@example.org>\r\n"
    "MIME-Version: 1.0\r\n"
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

struct FieldCase {
  const char* Name;
  std::string Want;
};

TEST(ParserFields, SampleMessage) {
  MessageParser p(kSample);
  const std::string plain = "Visit http://www.example.com/a?b=1 or mail info@Example.COM now!";
  const std::string html = "<a href=\"https://shop.example.net/x\">x</a>";
  const FieldCase cases[] = {
      {"RAWMSG", kSample},
      {"RAWSUBJECT", "=?iso-8859-1?Q?Gr=FC=DFe?= folded"},
      {"SUBJECT", "Gr\xfc\xdf" "e folded"},
      {"SUBJ", "Gr\xfc\xdf" "e folded"},
      {"  subject ", "Gr\xfc\xdf" "e folded"},
      {"Subject:", "=?iso-8859-1?Q?Gr=FC=DFe?= folded"},
      {"x-mailer:", "Tool 1.0"},
      {"Content-Type:", "multipart/alternative; boundary=\"XX\""},
      {"Content:", ""},
      {"MAILER", "Tool 1.0"},
      {"MSGID", "<1@example.org>"},
      {"INREPLYTO", "<0@example.org>"},
      {"REFERENCES", "<a@x> <b@y>"},
      {"RETURNPATH", "<bounce@example.org>"},
      {"ORGANIZATION", "Example Org"},
      {"PRIORITY", "3"},
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
      {"ENCODING", ""},
      {"PARTTYPE", "\"text/plain\"text/html\""},
      {"PARTCHARSET", "\"iso-8859-1\"\""},
      {"PARTENCODE", "\"quoted-printable\"\""},
      {"PARTBOUNDARY", "\"\"\""},
      {"PARTNAME", "\"\"\""},
      {"PARTID", "\"\"\""},
      {"PARTRAWHEADER",
       "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: "
       "quoted-printable\r\n\r\n\r\nContent-Type: text/html\r\n\r\n"},
      {"PLAINPART", plain},
      {"RAWPLAINPART", "Visit http://www.example.com/a?b=3D1 or mail info@Example.COM now=\r\n!"},
      {"HTMLPART", html},
      {"RAWHTMLPART", html},
      {"TEXTPART", plain + "\r\n" + html},
      {"RAWTEXTPART",
       "Visit http://www.example.com/a?b=3D1 or mail info@Example.COM now=\r\n!\r\n" + html},
      {"RAWURLLIST",
       "http://www.example.com/a\"\"https://shop.example.net/x\"\"www.example.com/a\"\""},
      {"RAWURLARGLIST",
       "http://www.example.com/a?b=1\"\"https://shop.example.net/x\"\"www.example.com/a?b=1\"\""},
      {"URLLIST",
       "\"http://www.example.com/a\"\"https://shop.example.net/x\"\"www.example.com/a\"\""},
      {"URLDOMAINLIST", "\"example.com\"example.net\""},
      {"EMLLIST", "<info@example.com>"},
      {"EMLDOMAINLIST", "\"example.com\""},
      {"RCVALLIPS", "\"192.0.2.1\"192.0.2.9\""},
      {"RCVFROM", "\"mail.example.org\"192.0.2.9\""},
      {"RCVFROMIP", "\"192.0.2.9\""},
      {"RCVFROMNAME", "\"mail.example.org\""},
      {"RCVHELO", "\"foo\""},
      {"RCVHOST", "\"mail.example.org\""},
      {"RCVIP", "\"192.0.2.1\""},
      {"RCVIPIP", "\"192.0.2.1\""},
      {"RCVSENDER", "\"\""},  // two empty items leave a doubled separator
      {"RCVBY", "\"mx.example.net\"mail.example.org\""},
      {"RCVWITH", "\"ESMTP\"smtp\""},
      {"RCVFOR", "\"to@example.net\""},
      {"RCVRAWDATE", "\"Mon, 1 Jan 2007 10:00:00 +0100\""},
      // Hop 2 gives foo, then its empty host and empty ip: a doubled separator.
      {"RCVALLHOSTS",
       "\"mail.example.org\"mail.example.org\"mx.example.net\"foo\"\"mail.example.org\""},
      {"RCVALLDOMAINS",
       "\"example.org\"example.org\"example.net\"to@example.net\"foo\"example.org\""},
      {"RCVIPHOSTS", ""},
      {"PARSEONLY_MESSAGEPARTS", ""},
      {"PARSEONLY_WORDLIST", ""},
      {"PARSEONLY_RECIPIENTLIST", ""},
      {"PARSEONLY_PARSEDCONTENTTYPE", ""},
      {"NOSUCHFIELD", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(p.GetField(c.name), c.Want) << c.name;
  EXPECT_EQ(p.PlainPartIndex(), 0);
  EXPECT_EQ(p.HtmlPartIndex(), 1);
  ASSERT_EQ(p.Recipients().size(), 3u);
  EXPECT_EQ(p.Recipients()[2].rawName, "=?x?Q?B=F6b?=");
  EXPECT_EQ(p.Recipients()[2].name, "B\xf6" "b");
}

TEST(ParserFields, CreationTimeStrings) {
  const std::string msg = "Subject: a\r\n b\r\nX-Tab:\tq  r\r\n\r\nbody\r\n\r\nmore";
  MessageParser p(msg);
  EXPECT_EQ(p.GetField("RAWHEADER"), "Subject: a\r\n b\r\nX-Tab:\tq  r\r\n");
  EXPECT_EQ(p.GetField("RAWBODY"), "body\r\n\r\nmore");
  EXPECT_EQ(p.GetField("HEADER"), "Subject: a b\r\nX-Tab: q r\r\n");
  EXPECT_EQ(p.GetField("LOWERHEADER"), "subject: a b\r\nx-tab: q r\r\n");
  EXPECT_EQ(p.GetField("SUBJECT"), "a b");
  EXPECT_EQ(p.GetSizeField("RAWMESSAGESIZE"), static_cast<std::int64_t>(msg.size()));
  EXPECT_EQ(p.GetSizeField("RAWMSG"), -1);
}

TEST(ParserFields, MessageWithoutBlankLine) {
  MessageParser p("Subject: x\r\nContent-Type: text/plain\r\nbody?");
  EXPECT_EQ(p.GetField("RAWBODY"), "");
  EXPECT_EQ(p.GetField("RAWHEADER"), "Subject: x\r\nContent-Type: text/plain\r\nbody?");
  EXPECT_EQ(p.GetField("HEADER"), "Subject: x\r\nContent-Type: text/plain\r\n");
  EXPECT_EQ(p.GetField("PLAINPART"), "");
  EXPECT_EQ(p.GetField("TEXTPART"), "\r\n");
  ASSERT_EQ(p.Parts().size(), 1u);
  EXPECT_EQ(p.PlainPartIndex(), 0);

  // Lines ending in LF alone have no blank line and no header lines.
  MessageParser lf("Subject: x\nFrom: y\n\nbody");
  EXPECT_EQ(lf.GetField("HEADER"), "");
  EXPECT_EQ(lf.GetField("SUBJECT"), "");
  EXPECT_EQ(lf.GetField("RAWBODY"), "");

  MessageParser empty("");
  EXPECT_EQ(empty.GetField("SUBJECT"), "");
  EXPECT_EQ(empty.GetField("RCVALLIPS"), "\"");
  EXPECT_EQ(empty.GetField("RAWTONAME"), "\"");
  EXPECT_EQ(empty.GetField("TEXTPART"), "\r\n");
  EXPECT_EQ(empty.GetField("PRIORITY"), "3");
  EXPECT_EQ(empty.GetField("URLDOMAINLIST"), "");
  EXPECT_EQ(empty.GetField("EMLDOMAINLIST"), "");
}

TEST(ParserFields, SinglePartTypes) {
  {  // an image type counts as the plain part
    MessageParser p("Content-Type: image/gif\r\n\r\nGIF89a");
    EXPECT_EQ(p.PlainPartIndex(), 0);
    EXPECT_EQ(p.HtmlPartIndex(), -1);
    EXPECT_EQ(p.GetField("PLAINPART"), "GIF89a");
    EXPECT_EQ(p.GetField("PARTTYPE"), "\"image/gif\"");
  }
  {  // text/html in any case, base64 decoded
    MessageParser p(
        "Content-Type: TEXT/Html; charset=\"utf-8\"\r\nContent-Transfer-Encoding: Base64\r\n\r\n"
        "PGI+SGk8L2I+\r\n");
    EXPECT_EQ(p.PlainPartIndex(), -1);
    EXPECT_EQ(p.HtmlPartIndex(), 0);
    EXPECT_EQ(p.GetField("HTMLPART"), "<b>Hi</b>");
    EXPECT_EQ(p.GetField("RAWHTMLPART"), "PGI+SGk8L2I+\r\n");
    EXPECT_EQ(p.GetField("TEXTPART"), "<b>Hi</b>");
    EXPECT_EQ(p.GetField("PLAINPART"), "");
    EXPECT_EQ(p.GetField("CHARSET"), "utf-8");
    EXPECT_EQ(p.GetField("ENCODING"), "Base64");
    EXPECT_EQ(p.GetField("PARTENCODE"), "\"Base64\"");
  }
  {  // a boundary that never occurs: one part holding the whole body
    MessageParser p("Content-Type: multipart/mixed; boundary=zz\r\n\r\nno parts here");
    ASSERT_EQ(p.Parts().size(), 1u);
    EXPECT_EQ(p.GetField("PLAINPART"), "no parts here");
    EXPECT_EQ(p.GetField("PARTTYPE"), "\"multipart/mixed\"");
  }
}

TEST(ParserFields, RawToVariants) {
  const FieldCase cases[] = {
      {"To: a@b.c\r\n\r\n", "a@b.c"},
      {"CC: c@d.e\r\n\r\n", " c@d.e"},
      {"To: a@b.c\r\nCc: c@d.e\r\n\r\n", "a@b.c, c@d.e"},
      {"Subject: none\r\n\r\n", ""},
      {"To: a@b.c,\r\n\r\n", "a@b.c,"},
  };
  for (const auto& c : cases) EXPECT_EQ(MessageParser(c.name).GetField("RAWTO"), c.Want) << c.name;

  MessageParser p("To: a@b.c, d@e.f\r\n\r\n");
  EXPECT_EQ(p.GetField("RAWTONAME"), "\"\"\"");
  EXPECT_EQ(p.GetField("RAWTOADDR"), "<a@b.c><d@e.f>");
}

TEST(ParserFields, Priority) {
  const FieldCase cases[] = {
      {"Subject: x\r\n\r\n", "3"},
      {"Importance: very high\r\n\r\n", "1"},
      {"Importance: High\r\n\r\n", "2"},
      {"X-Priority: 2 (High)\r\n\r\n", "2"},
      {"X-Priority: 9\r\n\r\n", "3"},
      {"X-Priority: 5\r\n\r\n", "5"},
      {"X-MSMail-Priority: Low\r\n\r\n", "4"},
      {"X-Priority: 0\r\nImportance: VERY LOW\r\n\r\n", "5"},
      {"X-Priority: x\r\nX-MSMail-Priority: Highest\r\n\r\n", "2"},
      {"X-Priority: high\r\nImportance: low\r\n\r\n", "4"},
  };
  for (const auto& c : cases) EXPECT_EQ(MessageParser(c.name).GetField("PRIORITY"), c.Want) << c.name;
}

TEST(ParserFields, Dates) {
  MessageParser p("Date: Mon, 1 Jan 2007 10:00:00 +0100\r\n\r\n");
  const double day = EncodeDate(2007, 1, 1);
  EXPECT_NEAR(p.GetDateField("DATESENDER"), day + 10.0 / 24, 1e-9);
  EXPECT_NEAR(p.GetDateField("DATEUTC"), day + 9.0 / 24, 1e-9);
  EXPECT_EQ(p.GetDateField("DATESENDER", true), 0);
  EXPECT_EQ(p.GetDateField("RAWDATE"), 0);

  // A date that fails before its zone: the offset stays -1.
  MessageParser bad("Date: yesterday\r\n\r\n");
  EXPECT_EQ(bad.GetDateField("DATESENDER"), 0);
  EXPECT_NEAR(bad.GetDateField("DATEUTC"), 1.0 / 1440, 1e-12);
  MessageParser none("Subject: x\r\n\r\n");
  EXPECT_NEAR(none.GetDateField("DATEUTC"), 1.0 / 1440, 1e-12);
}

TEST(ParserFields, RcvIpHostsIsSetFromOutside) {
  MessageParser p(kSample);
  EXPECT_EQ(p.GetField("RCVIPHOSTS"), "");
  p.SetRcvIpHosts("\"mail.example.org\"");
  EXPECT_EQ(p.GetField("RCVIPHOSTS"), "\"mail.example.org\"");
  p.SetRcvIpHosts("\"");
  EXPECT_EQ(p.GetField("rcviphosts"), "\"");
}

TEST(ParserFields, NoResultFlagLeavesTheOutputAlone) {
  MessageParser p(kSample);
  std::string out = "untouched";
  p.GetField("SUBJECT", true, out);
  EXPECT_EQ(out, "untouched");
  p.GetField("NOSUCHFIELD", true, out);
  EXPECT_EQ(out, "untouched");
  p.GetField("SUBJECT", false, out);
  EXPECT_EQ(out, "Gr\xfc\xdf" "e folded");
}

TEST(ParserFields, TextWordsAndFolding) {
  MessageParser p("Subject: V1AGRA\r\nContent-Type: text/plain\r\n\r\nHello, World! a");
  EXPECT_EQ(p.GetField("SPAMSUBJ"), " viagra ");
  EXPECT_EQ(p.GetField("PLAINWORD"), "\"hello\"world\"");
  EXPECT_EQ(p.GetField("SPAMPLAIN"), " heio woridi a ");
  EXPECT_EQ(p.GetField("TEXT"), "");  // no host callback
  EXPECT_EQ(p.GetField("TEXTWORD"), "\"");
  EXPECT_EQ(p.GetField("SPAMTEXT"), "  ");
  EXPECT_EQ(p.GetField("SUBJTEXT"), "V1AGRA\r\n");
  EXPECT_EQ(p.GetField("SPAMSUBJTEXT"), " viagra    ");
}

// ---- The host's rendered text ------------------------------------------------

struct FakeHost {
  std::string Utf16;
  int Calls = 0;
  std::int32_t LastItem = 0;
};
FakeHost* gHost = nullptr;

std::int32_t TBP_STDCALL FakeRequest(HostCookie cookie, std::int32_t item, void* buffer,
                                     std::int32_t size) {
  FakeHost* h = reinterpret_cast<FakeHost*>(cookie);
  ++h->Calls;
  h->LastItem = item;
  if (!buffer) return static_cast<std::int32_t>(h->Utf16.size());
  std::int32_t n = std::min<std::int32_t>(size, static_cast<std::int32_t>(h->Utf16.size()));
  std::memcpy(buffer, h->Utf16.data(), static_cast<std::size_t>(n));
  return n;
}

std::string Utf16(const std::string& s) {
  std::string r;
  for (char c : s) {
    r.push_back(c);
    r.push_back('\x01');  // a high byte that must be dropped
  }
  return r;
}

TEST(ParserText, LowBytesOfTheHostText) {
  FakeHost host;
  host.Utf16 = Utf16("Hello World") + "Z";  // a lone last byte is dropped
  MessageParser p("Subject: s\r\n\r\nbody", &FakeRequest, reinterpret_cast<HostCookie>(&host));
  EXPECT_EQ(p.GetField("TEXT"), "Hello World");
  EXPECT_EQ(host.LastItem, 100008);
  EXPECT_EQ(p.GetField("SUBJTEXT"), "s\r\nHello World");
  EXPECT_EQ(p.GetField("TEXTWORD"), "\"hello\"world\"");
  EXPECT_EQ(p.GetField("SPAMTEXT"), " heio worid ");
  p.GetField("TEXT");
  p.GetField("SPAMSUBJTEXT");
  EXPECT_EQ(host.Calls, 2);  // one size request, one fill: computed once
}

TEST(ParserText, LimitedToMaxDataSize) {
  FakeHost host;
  host.Utf16 = Utf16("abcdefgh");
  const std::uint32_t saved = Plugin().Settings.MaxDataSize;
  Plugin().Settings.MaxDataSize = 6;  // bytes: three UTF-16 code units
  MessageParser p("", &FakeRequest, reinterpret_cast<HostCookie>(&host));
  std::string text = p.GetField("TEXT");
  Plugin().Settings.MaxDataSize = saved;
  EXPECT_EQ(text, "abc");
}

TEST(ParserText, EmptyHostAnswer) {
  FakeHost host;
  MessageParser p("", &FakeRequest, reinterpret_cast<HostCookie>(&host));
  EXPECT_EQ(p.GetField("TEXT"), "");
  EXPECT_EQ(host.Calls, 1);  // no fill call after a size of 0
}

TEST(ParserCuts, BodiesCutToMaxDataSize) {
  const std::uint32_t saved = Plugin().Settings.MaxDataSize;
  Plugin().Settings.MaxDataSize = 4;
  MessageParser p(
      "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n"
      "plain text\r\n--b\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: "
      "quoted-printable\r\n\r\n<i>=3D</i>\r\n--b--\r\n");
  const std::string plain = p.GetField("PLAINPART");
  const std::string rawPlain = p.GetField("RAWPLAINPART");
  const std::string html = p.GetField("HTMLPART");
  const std::string textPart = p.GetField("TEXTPART");
  const std::string rawTextPart = p.GetField("RAWTEXTPART");
  Plugin().Settings.MaxDataSize = saved;
  EXPECT_EQ(plain, "plain text");  // not cut
  EXPECT_EQ(rawPlain, "plai");
  EXPECT_EQ(html, "<i>=");  // cut to "<i>=" before decoding: the "=" stays
  EXPECT_EQ(textPart, "plai\r\n<i>=");
  EXPECT_EQ(rawTextPart, "plai\r\n<i>=");
}

// ---- The Bayes word table ------------------------------------------------------

bool HasWord(WordTable* list, const std::string& w) {
  return list && list->IndexOfHash(Crc32(w)) >= 0;
}

TEST(ParserWords, WordTableSources) {
  MessageParser p(kSample);
  EXPECT_EQ(p.WordList(), nullptr);
  p.GetField("PARSEONLY_WORDLIST");
  WordTable* list = p.WordList();
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(HasWord(list, "S:folded"));
  EXPECT_TRUE(HasWord(list, "S:gr\xfc\xdf" "e"));
  EXPECT_TRUE(HasWord(list, "F:juergen@example.org"));
  EXPECT_TRUE(HasWord(list, "M:tool"));
  EXPECT_TRUE(HasWord(list, "R:mail.example.org"));
  EXPECT_TRUE(HasWord(list, "visit"));                  // plain part
  EXPECT_TRUE(HasWord(list, "href"));                   // HTML part
  EXPECT_FALSE(HasWord(list, "S:Gr\xfc\xdf" "e"));       // lower case only
  const int count = list->Count();
  p.GetField("PARSEONLY_WORDLIST");  // built once
  EXPECT_EQ(p.WordList(), list);
  EXPECT_EQ(list->Count(), count);
}

TEST(ParserWords, NoHtmlPartUsesTheHostText) {
  FakeHost host;
  host.Utf16 = Utf16("rendered words");
  Plugin().Settings.NoHtmlPart = true;
  MessageParser p(kSample, &FakeRequest, reinterpret_cast<HostCookie>(&host));
  p.GetField("PARSEONLY_WORDLIST");
  Plugin().Settings.NoHtmlPart = false;
  EXPECT_TRUE(HasWord(p.WordList(), "rendered"));
  EXPECT_FALSE(HasWord(p.WordList(), "visit"));
}

// ---- Hostile input -------------------------------------------------------------

const char* const kAllFields[] = {
    "RAWMSG", "RAWBODY", "RAWHEADER", "HEADER", "LOWERHEADER", "RAWSUBJECT", "SUBJECT",
    "TEXT", "TEXTWORD", "SUBJTEXT", "SPAMTEXT", "SPAMSUBJ", "SPAMSUBJTEXT", "SPAMPLAIN",
    "PRIORITY", "MAILER", "MSGID", "INREPLYTO", "REFERENCES", "RETURNPATH", "ORGANIZATION",
    "RECEIVED", "RCVALLIPS", "RCVALLHOSTS", "RCVALLDOMAINS", "RCVFROM", "RCVFROMIP",
    "RCVFROMNAME", "RCVHELO", "RCVHOST", "RCVIP", "RCVIPIP", "RCVSENDER", "RCVBY", "RCVWITH",
    "RCVFOR", "RCVRAWDATE", "CONTENTTYPE", "CHARSET", "BOUNDARY", "ENCODING", "PARTRAWHEADER",
    "PARTHEADER", "PARTTYPE", "PARTBOUNDARY", "PARTCHARSET", "PARTENCODE", "PARTNAME",
    "PARTID", "RAWDATE", "RAWFROM", "FROM", "RAWFROMADDR", "RAWFROMNAME", "FROMADDR",
    "FROMNAME", "REPLYTO", "REPLYTOADDR", "RAWTO", "TO", "RAWTONAME", "RAWTOADDR", "TONAME",
    "TOADDR", "PARSEONLY_WORDLIST", "RAWPLAINPART", "PLAINPART", "PLAINWORD", "RAWHTMLPART",
    "HTMLPART", "TEXTPART", "RAWTEXTPART", "RAWURLLIST", "RAWURLARGLIST", "URLLIST",
    "URLARGLIST", "URLDOMAINLIST", "EMLLIST", "EMLDOMAINLIST", "RCVIPHOSTS"};

void RequestAll(const std::string& msg) {
  MessageParser p(msg);
  for (const char* f : kAllFields) p.GetField(f);
  p.GetDateField("DATEUTC");
}

TEST(ParserHostile, OddInputsDoNotBreakTheParser) {
  const std::string cases[] = {
      std::string("\0\0\0\r\n\r\n\0", 8),
      "\r\n\r\n",
      "\r\n",
      ":\r\n\r\n",
      "Content-Type: multipart/mixed; boundary=\r\n\r\n--\r\n",
      "Content-Type: multipart/mixed; boundary=\"\"\"\r\n\r\n--\"\r\n",
      "Content-Type: multipart/mixed; boundary=a\r\n\r\n--a\r\n--a--\r\n",
      "Content-Type: multipart/mixed; boundary=a\r\n\r\n--a",
      "Content-Type: multipart/mixed; boundary=a\r\n\r\n--a\r\nContent-Type: multipart/x; "
      "boundary=a\r\n\r\n--a\r\n",
      "Subject: =?=?=?=?==?\r\n\r\n",
      "Subject: =?a?B?====?=\r\n\r\n",
      "Received: from\r\nReceived: from (\r\nReceived: from [\r\nReceived: from ((helo\r\n\r\n",
      "Received: from a (helo=\r\nReceived: from ( (envelope-sender <\r\n\r\n",
      "From: \"\r\nTo: (\r\nCC: ,,,@,@@\r\n\r\n",
      "Content-Transfer-Encoding: quoted-printable\r\n\r\n=",
      "Content-Transfer-Encoding: base64\r\n\r\n=",
      "Date: Mon, 31 Feb 2007 10:00:00 +0100\r\n\r\n",
      std::string(1000, '@') + "\r\n\r\n" + std::string(1000, '@'),
      // Found by fuzzing: a subject whose words end up in the word table.
      "Subject: =?a?B?P?=P2?E/UT93?=?=\r\n\r\n",
  };
  for (const auto& c : cases) RequestAll(c);
}

TEST(ParserHostile, TokenSoup) {
  // Messages glued from fragments of headers, MIME structure, encodings and
  // Received lines in random order.
  const std::string pieces[] = {
      "\r\n", "\r\n\r\n", " ", "\t", ":", ";", "\"", "(", ")", "[", "]", "<", ">", "@", "=", "?",
      "=?", "?=", "--b", "--b--", "Content-Type: multipart/mixed; boundary=b",
      "Content-Type: text/plain", "Content-Type: text/html", "boundary=\"b\"",
      "Content-Transfer-Encoding: base64", "Content-Transfer-Encoding: quoted-printable",
      "Received: from ", " by ", " with ", " for <", "(helo=", "(envelope-sender <", "1.2.3.4",
      "Subject: ", "From: ", "To: ", "CC: ", "Date: Mon, 1 Jan 2007 10:00:00 +0100", "=?a?Q?",
      "=?a?B?", "=3D", "=\r\n", "QUJD", "http://", "www.", "a.b.c", "x@y.zz", "\x02", "\x01",
      "\xfc", std::string(1, '\0')};
  const std::size_t n = sizeof(pieces) / sizeof(pieces[0]);
  unsigned seed = 2024;
  for (int m = 0; m < 300; ++m) {
    std::string msg;
    seed = seed * 1103515245u + 12345u;
    const int len = static_cast<int>((seed >> 16) % 120);
    for (int k = 0; k < len; ++k) {
      seed = seed * 1103515245u + 12345u;
      msg += pieces[(seed >> 16) % n];
    }
    RequestAll(msg);
  }
}

TEST(ParserHostile, ManyEncodedWordsAndDeepMultipart) {
  std::string subject = "Subject: ";
  for (int i = 0; i < 20000; ++i) subject += "=?a?Q?x?= ";
  MessageParser p(subject + "\r\n\r\n");
  const std::string s = p.GetField("SUBJECT");
  EXPECT_EQ(s.size(), 20000u * 2 - 1);  // "x" + " " per word, last blank trimmed away

  std::string body = "x";
  for (int i = 0; i < 300; ++i)
    body = "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n--b" +
           std::to_string(i) + "\r\n" + body + "\r\n--b" + std::to_string(i) + "--\r\n";
  MessageParser deep(body);
  EXPECT_EQ(deep.Parts().size(), 1u);
  RequestAll(body);
}

}  // namespace
}  // namespace quelta
