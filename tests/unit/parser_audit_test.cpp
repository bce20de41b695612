// Exact field values of the message parser on small hand-made messages:
// header lookup by name, unfolding, priority, recipients text, the
// single-part fallback, multipart splitting, body and header decoding and
// the Received lists. Every expected string is worked out by hand from the
// documented rules of each field.
#include <gtest/gtest.h>

#include <string>

#include "message/parser.h"
#include "app/session.h"

namespace quelta {
namespace {

struct AuditCase {
  const char* Message;
  const char* Field;
  std::string Want;
};

void RunCases(const AuditCase* begin, const AuditCase* end) {
  for (const AuditCase* c = begin; c != end; ++c) {
    MessageParser p(c->Message);
    EXPECT_EQ(p.GetField(c->Field), c->Want) << "field " << c->Field << " of\n" << c->Message;
  }
}

// ---- Names, header lookup and unfolding ---------------------------------------

TEST(ParserAudit, HeaderLookupAndUnfolding) {
  const AuditCase cases[] = {
      // Name trimmed and upper-cased; a trailing colon reads the header.
      {"X-Mailer: Tool 1.0\r\nUser-Agent: UA\r\n\r\n", "  x-mailer:  ", "Tool 1.0"},
      {"X-Mailer: Tool 1.0\r\nUser-Agent: UA\r\n\r\n", "MAILER", "Tool 1.0"},
      {"User-Agent: UA\r\n\r\n", "mailer", "UA"},
      {"X-Mailer:\r\nUser-Agent: UA\r\n\r\n", "MAILER", "UA"},
      // A longer header name is not the shorter one.
      {"X-Mailer-Info: no\r\n\r\n", "X-Mailer:", ""},
      {"X-Mailer-Info: no\r\n\r\n", "MAILER", ""},
      // The colon must follow the name directly; no blank is needed after it.
      {"Subject :a\r\n\r\n", "SUBJECT", ""},
      {"Subject:a\r\n\r\n", "SUBJECT", "a"},
      // The first line of that name wins.
      {"Subject: one\r\nSubject: two\r\n\r\n", "RAWSUBJECT", "one"},
      // Continuation lines joined by one blank; tabs and blank runs become one blank.
      {"Subject: a  \t b\r\n\t c\r\n\r\n", "SUBJECT", "a b c"},
      {"Subject: a\r\n b\r\n\r\n", "subj", "a b"},
      // A continuation line of blanks only leaves one trailing blank.
      {"Subject: a\r\n \r\nX: y\r\n\r\n", "HEADER", "Subject: a \r\nX: y\r\n"},
      {"Subject: a\r\n \r\nX: y\r\n\r\n", "SUBJECT", "a "},
      // The Content-Type header by name keeps its parameters, unfolded.
      {"Content-Type: text/plain;\r\n\tcharset=\"a b\"\r\n\r\n", "Content-Type:",
       "text/plain; charset=\"a b\""},
      {"Content-Type: text/plain;\r\n\tcharset=\"a b\"\r\n\r\n", "CHARSET", "a b"},
      {"Content-Type: Text/Plain ; CharSet = x\r\n\r\n", "CONTENTTYPE", "Text/Plain"},
      {"Content-Type: text/plain; CharSet = x\r\n\r\n", "CHARSET", "x"},
      {"Content-Type: text/plain; xcharset=y\r\n\r\n", "CHARSET", ""},
      {"Content-Type: multipart/mixed; boundary=\"a; b\"\r\n\r\n", "BOUNDARY", "a; b"},
      {"Content-Transfer-Encoding: BASE64\r\n\r\n", "ENCODING", "BASE64"},
      // Unknown names and internal fields give nothing.
      {"Subject: a\r\n\r\n", "NOSUCHFIELD", ""},
      {"Subject: a\r\n\r\n", "PARSEONLY_PARSEDCONTENTTYPE", ""},
      {"Subject: a\r\n\r\n", "PARSEONLY_MESSAGEPARTS", ""},
      // No CR LF at all: no header lines.
      {"Subject: a", "HEADER", ""},
      {"Subject: a", "RAWHEADER", "Subject: a"},
  };
  RunCases(std::begin(cases), std::end(cases));
}

// ---- Priority and recipients ----------------------------------------------------

TEST(ParserAudit, PriorityAndRecipientsText) {
  const AuditCase cases[] = {
      {"X-Priority: 1 (Highest)\r\n\r\n", "PRIORITY", "1"},
      {"X-Priority: High\r\n\r\n", "PRIORITY", "2"},
      {"X-Priority: 0\r\nImportance: Low\r\n\r\n", "PRIORITY", "4"},
      {"Importance: high\r\nX-MSMail-Priority: low\r\n\r\n", "PRIORITY", "4"},
      {"X-MSMail-Priority: Very Low\r\n\r\n", "PRIORITY", "5"},
      {"X-Priority: 7\r\nImportance: high\r\n\r\n", "PRIORITY", "3"},
      {"X-Priority: -1\r\nImportance: very high\r\n\r\n", "PRIORITY", "1"},
      // To + ", " + CC, trimmed, one trailing then one leading comma removed.
      {"To: ,a@b\r\n\r\n", "RAWTO", "a@b"},
      {"To: a@b,\r\nCC: c@d\r\n\r\n", "RAWTO", "a@b,, c@d"},
      {"To: a@b,,\r\n\r\n", "RAWTO", "a@b,,"},
      {"CC: ,c@d\r\n\r\n", "RAWTO", " ,c@d"},
      {"To: =?a?Q?x=FC?= <a@b>\r\n\r\n", "TO", "x\xfc <a@b>"},
  };
  RunCases(std::begin(cases), std::end(cases));
}

// ---- The single-part fallback ---------------------------------------------------

TEST(ParserAudit, SinglePartFallback) {
  const char* html = "Content-Type: TEXT/HTML\r\nContent-ID: <x@y>\r\n\r\n<b>";
  const char* untyped = "Subject: s\r\n\r\nbody";
  const char* unmet = "Content-Type: multipart/mixed; boundary=zz\r\n\r\nhello\r\n";
  const char* qp =
      "Content-Type: text/plain; charset=x; name=n\r\n"
      "Content-Transfer-Encoding: Quoted-Printable\r\n\r\na=3Db=\r\nc=GH";
  const AuditCase cases[] = {
      {html, "HTMLPART", "<b>"},
      {html, "PLAINPART", ""},
      {html, "TEXTPART", "<b>"},
      {html, "RAWTEXTPART", "<b>"},
      {html, "PARTTYPE", "\"TEXT/HTML\""},
      {html, "PARTID", "\"\""},  // the whole message has no content id
      {html, "PARTHEADER", "Content-Type: TEXT/HTML\r\nContent-ID: <x@y>\r\n\r\n"},
      {untyped, "PARTTYPE", "\"\""},  // empty item kept, not made "text/plain"
      {untyped, "PLAINPART", "body"},
      {untyped, "TEXTPART", "body\r\n"},
      {unmet, "PARTTYPE", "\"multipart/mixed\""},
      {unmet, "PARTBOUNDARY", "\"\""},
      {unmet, "PLAINPART", "hello\r\n"},
      {qp, "PLAINPART", "a=bc=GH"},
      {qp, "RAWPLAINPART", "a=3Db=\r\nc=GH"},
      {qp, "PARTCHARSET", "\"x\""},
      {qp, "PARTNAME", "\"\""},  // the whole message has no name
      {qp, "PARTENCODE", "\"Quoted-Printable\""},
      {"Content-Transfer-Encoding: 7bit\r\n\r\na=3D", "PLAINPART", "a=3D"},
      {"Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\nREVG\r\n", "PLAINPART", "ABCDEF"},
      {"Content-Transfer-Encoding: base64\r\n\r\nQQ==QkM=", "PLAINPART", "ABC"},
      {"Content-Transfer-Encoding: base64\r\n\r\nQUJDRA", "PLAINPART", "ABCD"},
  };
  RunCases(std::begin(cases), std::end(cases));
}

// ---- Multipart bodies -------------------------------------------------------------

TEST(ParserAudit, MultipartParts) {
  const char* alt =
      "Content-Type: multipart/alternative; boundary=b\r\n\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\nhello\r\n"
      "--b\r\nContent-Type: text/html\r\n\r\n<p>x</p>\r\n"
      "--b--\r\n";
  // Parts after the first begin with the CR LF that ends the delimiter line.
  const char* untypedFirst =
      "Content-Type: multipart/mixed; boundary=\"a; b\"\r\n\r\n"
      "--a; b\r\n\r\nfirst\r\n"
      "--a; b\r\nContent-Type: text/plain; NAME=\"x y.txt\"; charset=\"US-ASCII\"\r\n"
      "Content-ID: <c1>\r\nContent-Transfer-Encoding: BASE64\r\n\r\nc2Vjb25k\r\n"
      "--a; b\r\n\r\nthird\r\n"
      "--a; b\r\nContent-Type: image/gif\r\n\r\nGIF\r\n"
      "--a; b\r\ntrailing part without closing line";
  const char* nested =
      "Content-Type: multipart/mixed; boundary=out\r\n\r\n"
      "--out\r\nContent-Type: multipart/alternative; boundary=in\r\n\r\n"
      "--in\r\nContent-Type: text/plain\r\n\r\np1\r\n"
      "--in\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
      "h=3D1\r\n--in--\r\n"
      "--out\r\nContent-Type: application/pdf; name=a.pdf\r\n\r\n%PDF\r\n"
      "--out--\r\n";
  const AuditCase cases[] = {
      {alt, "PARTRAWHEADER", "Content-Type: text/plain\r\n\r\n\r\nContent-Type: text/html\r\n\r\n"},
      {alt, "PARTHEADER", "Content-Type: text/plain\r\n\r\n\r\nContent-Type: text/html\r\n\r\n"},
      {alt, "PARTTYPE", "\"text/plain\"text/html\""},
      {alt, "PARTBOUNDARY", "\"\"\""},
      {alt, "TEXTPART", "hello\r\n<p>x</p>"},
      {alt, "RAWTEXTPART", "hello\r\n<p>x</p>"},
      {alt, "BOUNDARY", "b"},
      // The first part has no header: its raw header is the whole part
      // text, so its body is empty; it is untyped and becomes the plain
      // part, until the second part (text/plain) replaces it.
      {untypedFirst, "PARTTYPE", "\"text/plain\"text/plain\"\"image/gif\""},
      {untypedFirst, "PARTNAME", "\"\"x y.txt\"\"\""},
      {untypedFirst, "PARTCHARSET", "\"\"US-ASCII\"\"\""},
      {untypedFirst, "PARTID", "\"\"<c1>\"\"\""},
      {untypedFirst, "PARTENCODE", "\"\"BASE64\"\"\""},
      {untypedFirst, "PLAINPART", "second"},
      {untypedFirst, "RAWPLAINPART", "c2Vjb25k"},
      {untypedFirst, "TEXTPART", "second\r\n"},
      {untypedFirst, "PARTRAWHEADER",
       "\r\nfirst\r\n"
       "\r\nContent-Type: text/plain; NAME=\"x y.txt\"; charset=\"US-ASCII\"\r\n"
       "Content-ID: <c1>\r\nContent-Transfer-Encoding: BASE64\r\n\r\n"
       "\r\n\r\n"
       "\r\nContent-Type: image/gif\r\n\r\n"},
      {nested, "PARTTYPE", "\"text/plain\"text/html\"application/pdf\""},
      {nested, "PARTNAME", "\"\"\"a.pdf\""},
      {nested, "TEXTPART", "p1\r\nh=1"},
      {nested, "HTMLPART", "h=1"},
      {nested, "RAWHTMLPART", "h=3D1"},
  };
  RunCases(std::begin(cases), std::end(cases));
}

// ---- Encoded words in headers ------------------------------------------------------

TEST(ParserAudit, EncodedWords) {
  const AuditCase cases[] = {
      {"Subject: =?a?Q?x=FCy_z?= =?a?B?QUJD?=\r\n\r\n", "SUBJECT", "x\xfcy z ABC"},
      {"Subject: =?a?q?a=5Fb?=\r\n\r\n", "SUBJECT", "a b"},       // "_" also from =5F
      {"Subject: =?a?X?abc?= d\r\n\r\n", "SUBJECT", "abc d"},      // unknown letter: bare text
      {"Subject: =?a?Q?=FCber?= =?a?Q?x?=\r\n\r\n", "SUBJECT",    // "?=" met early: stop
       "=?a?Q?=FCber?= =?a?Q?x?="},
      {"Subject: =?a?Q?x=3D?=?b?Q?c?=\r\n\r\n", "SUBJECT", "xc"},  // restart finds a new word
      {"Subject: =?a?b?QQ?=\r\n\r\n", "SUBJECT", "A"},
      {"Subject: =?a?Q?x?y?= =?a?Q?z?=\r\n\r\n", "SUBJECT", "=?a?Q?x?y?= =?a?Q?z?="},
      {"Subject: =?a?Q?x?=\r\n\r\n", "RAWSUBJECT", "=?a?Q?x?="},
  };
  RunCases(std::begin(cases), std::end(cases));
}

// ---- Received lists ------------------------------------------------------------------

TEST(ParserAudit, ReceivedLists) {
  const char* two =
      "Received: from mail.example.org (mail.example.org [192.0.2.1]) by mx.example.net "
      "(Postfix) with ESMTP id 1 for <u@example.net>; Mon, 1 Jan 2007 10:00:00 +0100\r\n"
      "received: from foo (192.0.2.7) by mx2.example.net with smtp id 5\r\n"
      "Received:from x by y with z; d\r\n\r\n";
  const AuditCase cases[] = {
      {two, "RECEIVED",
       "mail.example.org\x02\x02mail.example.org\x02" "192.0.2.1\x02\x02mx.example.net\x02"
       "ESMTP" "\x02u@example.net\x02Mon, 1 Jan 2007 10:00:00 +0100\r\n"
       "foo\x02\x02\x02" "192.0.2.7\x02\x02mx2.example.net\x02smtp\x02\x02\r\n"},
      {two, "RCVALLIPS", "\"192.0.2.1\"192.0.2.7\""},
      {two, "RCVIP", "\"192.0.2.1\"192.0.2.7\""},
      {two, "RCVHOST", "\"mail.example.org\""},
      {two, "RCVFROM", "\"mail.example.org\"foo\""},
      {two, "RCVFROMIP", "\""},
      {two, "RCVBY", "\"mx.example.net\"mx2.example.net\""},
      {two, "RCVWITH", "\"ESMTP\"smtp\""},
      {two, "RCVFOR", "\"u@example.net\""},
      {two, "RCVRAWDATE", "\"Mon, 1 Jan 2007 10:00:00 +0100\""},
      // Two empty items in a row leave one doubled separator behind.
      {two, "RCVHELO", "\"\""},
      {two, "RCVSENDER", "\"\""},
      {two, "RCVALLHOSTS",
       "\"mail.example.org\"mail.example.org\"mx.example.net\"foo\"\"mx2.example.net\""},
      {"Subject: x\r\n\r\n", "RCVALLIPS", "\""},
      {"Subject: x\r\n\r\n", "RECEIVED", ""},
      {two, "RCVIPHOSTS", ""},
  };
  RunCases(std::begin(cases), std::end(cases));
}

}  // namespace
}  // namespace quelta
