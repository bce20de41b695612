// MIME view of a message: header/body split, unfolding, header lookup,
// Content-Type parameters, multipart splitting and the decoders.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "message/mime.h"

namespace quelta {
namespace {

struct TextCase {
  const char* Name;
  std::string In;
  std::string Want;
};

TEST(MimeSplit, RawHeaderAndBody) {
  const struct {
    std::string Msg, Header, Body;
  } cases[] = {
      {"A: 1\r\nB: 2\r\n\r\nbody\r\n", "A: 1\r\nB: 2\r\n", "body\r\n"},
      {"A: 1\r\nB: 2\r\n", "A: 1\r\nB: 2\r\n", ""},              // no blank line
      {"A: 1\nB: 2\n\nbody", "A: 1\nB: 2\n\nbody", ""},          // LF alone is no blank line
      {"\r\n\r\nbody", "\r\n", "body"},                            // empty header
      {"A: 1\r\n\r\n\r\n\r\nx", "A: 1\r\n", "\r\n\r\nx"},          // only the first blank line splits
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RawHeaderOf(c.Msg), c.header) << c.Msg;
    EXPECT_EQ(RawBodyOf(c.Msg), c.Body) << c.Msg;
  }
}

TEST(MimeUnfold, Table) {
  const TextCase cases[] = {
      {"folded", "Subject: a\r\n b\r\nX: y\r\n", "Subject: a b\r\nX: y\r\n"},
      {"tab continuation", "Subject: a\r\n\tb\r\n", "Subject: a b\r\n"},
      {"blank runs collapse", "S:  a   b \r\n", "S: a b\r\n"},
      {"tabs become blanks", "S:\ta\t\tb\r\n", "S: a b\r\n"},
      {"lines trimmed", "  S: a  \r\n", "S: a\r\n"},
      {"several continuations", "S: a\r\n  b\r\n   c\r\nT: d\r\n", "S: a b c\r\nT: d\r\n"},
      {"text after last CR LF dropped", "S: a\r\nT: b", "S: a\r\n"},
      {"no CR LF at all", "S: a", ""},
      {"LF alone is not a line end", "S: a\nT: b\r\n", "S: a\nT: b\r\n"},
      {"continuation of the last line", "S: a\r\n b", "S: a "},
  };
  for (const auto& c : cases) EXPECT_EQ(UnfoldHeader(c.In), c.Want) << c.name;
}

TEST(MimeHeaderLookup, Table) {
  const std::string h =
      "Subject: Hello World\r\nX-Mailer:   Tool 1\r\nX-Empty:\r\nTo: a@b\r\n"
      "Content-Type: text/plain; charset=x\r\nContent-Type-X: no\r\nFoo : spaced\r\n";
  const struct {
    const char* Name;
    const char* Want;
  } cases[] = {
      {"Subject", "Hello World"},
      {"subject", "Hello World"},
      {"SUBJECT", "Hello World"},
      {"x-mailer", "Tool 1"},          // leading white space stripped
      {"X-Empty", ""},                 // present but empty
      {"X-Missing", ""},
      {"Content-Type", "text/plain; charset=x"},
      {"Type", ""},                    // must start a line
      {"Foo", ""},                     // name must be followed directly by ":"
      {"Foo ", "spaced"},
      {"T", ""},
      {"To", "a@b"},
  };
  for (const auto& c : cases) EXPECT_EQ(LookupHeader(h, c.name), c.Want) << c.name;
  // The first line wins; the value is taken with its case.
  EXPECT_EQ(LookupHeader("A: First\r\nA: second\r\n", "a"), "First");
  // A lookup on the very first line works (the header is framed by CR LF).
  EXPECT_EQ(LookupHeader("A: x\r\n", "A"), "x");
}

TEST(MimeContentType, NormaliseAndParameters) {
  EXPECT_EQ(NormaliseContentType("text/plain; charset=\"iso-8859-1\""),
            "text/plain\x01" "charset=iso-8859-1");
  const std::string n =
      NormaliseContentType("multipart/Mixed; BOUNDARY=\"a b;c\"; Charset = UTF-8 ;name=\"x.txt\"");
  EXPECT_EQ(ContentTypeMediaType(n), "multipart/Mixed");
  EXPECT_EQ(ContentTypeParameter(n, "boundary"), "a b;c");   // quoted ";" and blank kept
  EXPECT_EQ(ContentTypeParameter(n, "Boundary"), "a b;c");
  EXPECT_EQ(ContentTypeParameter(n, "charset"), "UTF-8");    // blanks outside quotes dropped
  EXPECT_EQ(ContentTypeParameter(n, "name"), "x.txt");
  EXPECT_EQ(ContentTypeParameter(n, "missing"), "");
  EXPECT_EQ(ContentTypeParameter(n, "ame"), "");             // must follow the separator
  EXPECT_EQ(ContentTypeMediaType(NormaliseContentType("")), "");
  EXPECT_EQ(ContentTypeMediaType(NormaliseContentType("  text/html  ")), "text/html");
  // A parameter without "=" directly after its name is not found.
  EXPECT_EQ(ContentTypeParameter(NormaliseContentType("a; charsetx=1"), "charset"), "");
  // An unterminated quote keeps everything after it.
  EXPECT_EQ(ContentTypeParameter(NormaliseContentType("a; b=\"x; y"), "b"), "x; y");
}

TEST(MimeQuotedPrintable, Table) {
  const TextCase cases[] = {
      {"escaped equals", "a=3Db", "a=b"},
      {"soft break CR LF", "ab=\r\ncd", "abcd"},
      {"soft break LF", "ab=\ncd", "abcd"},
      {"not hex stays", "a=XYb", "a=XYb"},
      {"lower-case hex", "=fc=FC", "\xfc\xfc"},
      {"one hex digit", "a=F", "a=F"},
      {"equals at end", "a=", "a="},
      {"underscore kept", "a_b", "a_b"},
      {"decoded byte not re-read", "=3D41", "=41"},
      {"soft break then escape", "=\r\n=41", "A"},
      {"equals then CR only", "a=\rb", "a=\rb"},
  };
  for (const auto& c : cases) EXPECT_EQ(QuotedPrintableDecode(c.In), c.Want) << c.name;
}

TEST(MimeBase64, Table) {
  const TextCase cases[] = {
      {"plain", "SGVsbG8=", "Hello"},
      {"no padding needed", "QUJD", "ABC"},
      {"two symbols", "QQ==", "A"},
      {"three symbols", "QUI=", "AB"},
      {"skips garbage", "Q U\r\nJ*D", "ABC"},
      {"consecutive blocks", "QQ==QUI=", "AAB"},
      {"partial group flushed", "QUI", "AB"},
      {"single symbol gives nothing", "Q", ""},
      {"empty", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Base64Decode(c.In), c.Want) << c.name;
}

TEST(MimeDecodeBody, EncodingsAndLimit) {
  EXPECT_EQ(DecodeBody("a=3Db", "Quoted-Printable", 100), "a=b");
  EXPECT_EQ(DecodeBody("SGVs\r\nbG8=\r\n", "BASE64", 100), "Hello");
  EXPECT_EQ(DecodeBody(" SGVsbG8 \r\n", "base64", 100), "Hello");  // trimmed and padded
  EXPECT_EQ(DecodeBody("a=3Db", "8bit", 2), "a=3Db");              // not cut
  EXPECT_EQ(DecodeBody("abc=3D", "quoted-printable", 4), "abc=");  // cut first
  EXPECT_EQ(DecodeBody("QUJDREVG", "base64", 4), "ABC");
  EXPECT_EQ(DecodeBody("x", " base64", 4), "x");                    // compared as written
}

TEST(MimeEncodedWords, Table) {
  const TextCase cases[] = {
      {"Q with hex and underscore", "=?iso-8859-1?Q?Gr=FC=DFe_aus?=", "Gr\xfc\xdf" "e aus"},
      {"B", "=?utf-8?B?SGVsbG8=?=", "Hello"},
      {"lower-case letters", "=?x?q?a_b?= =?x?b?QQ==?=", "a b A"},
      {"blank between words kept", "=?a?Q?x?= =?a?Q?y?=", "x y"},
      {"adjacent words", "=?a?Q?x?==?a?Q?y?=", "xy"},
      {"surrounding text", "Re: =?a?Q?Hi?= there", "Re: Hi there"},
      {"charset ignored", "=?bogus-charset?Q?x=E4?=", "x\xe4"},
      {"unknown encoding leaves the bare text", "=?a?X?abc?= z", "abc z"},
      {"early ?= stops decoding", "=?a?Q?=C4rger?= =?a?Q?x?=", "=?a?Q?=C4rger?= =?a?Q?x?="},
      {"too many ? stops decoding", "=?a?Q?b?c?= =?a?Q?x?=", "=?a?Q?b?c?= =?a?Q?x?="},
      {"stop keeps words decoded before", "=?a?Q?x?= =?a?Q=?= =?a?Q?y?=", "x =?a?Q=?= =?a?Q?y?="},
      {"no end marker", "=?a?Q?x", "=?a?Q?x"},
      {"end marker right after start", "=?=abc", "=?=abc"},
      {"B padded after trimming", "=?a?B? QUI ?=", "AB"},
      {"decoded word forms a new word", "=?a?B?PT9hP1E/ej89?=", "z"},
      {"marker formed with the text before", "==?a?B?P2E/UT93?=?=", "w"},
      {"no words", "plain text", "plain text"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeHeaderWords(c.In), c.Want) << c.name;
}

// Reference: the literal procedure (restart at the beginning after every
// word), used to check the fast one on tricky inputs.
std::string DecodeWordsSlow(std::string s) {
  for (;;) {
    std::size_t p1 = s.find("=?");
    if (p1 == std::string::npos) return s;
    std::size_t p2 = s.find("?=", p1);
    if (p2 == std::string::npos) return s;
    std::string inner = p2 >= p1 + 2 ? s.substr(p1 + 2, p2 - p1 - 2) : std::string();
    if (std::count(inner.begin(), inner.end(), '?') != 2) return s;
    std::size_t q1 = inner.find('?'), q2 = inner.find('?', q1 + 1);
    std::string enc = inner.substr(q1 + 1, q2 - q1 - 1), text = inner.substr(q2 + 1);
    std::string r;
    if (enc == "q" || enc == "Q") {
      r = QuotedPrintableDecode(text);
      for (char& c : r)
        if (c == '_') c = ' ';
    } else if (enc == "b" || enc == "B") {
      std::string t;
      for (char c : text)
        if (c != '\r' && c != '\n') t.push_back(c);
      while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ') t.pop_back();
      while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ') t.erase(0, 1);
      while (t.size() % 4) t.push_back('=');
      r = Base64Decode(t);
    } else {
      r = text;
    }
    s = s.substr(0, p1) + r + s.substr(p2 + 2);
  }
}

TEST(MimeEncodedWords, SameAsRestartingFromTheStart) {
  const std::string alphabet = "=?QqBb_3DF a";
  unsigned seed = 12345;
  for (int n = 0; n < 20000; ++n) {
    std::string s;
    int len = static_cast<int>(seed % 24);
    for (int k = 0; k < len; ++k) {
      seed = seed * 1103515245u + 12345u;
      s.push_back(alphabet[(seed >> 16) % alphabet.size()]);
    }
    seed = seed * 1103515245u + 12345u;
    ASSERT_EQ(DecodeHeaderWords(s), DecodeWordsSlow(s)) << s;
  }
}

// ---- Multipart ---------------------------------------------------------------

TEST(MimeMultipart, AlternativePlainAndHtml) {
  const std::string body =
      "preamble\r\n--b1\r\nContent-Type: text/plain; charset=\"us-ascii\"\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n\r\nHi =3D there\r\n"
      "--b1\r\nContent-Type: text/HTML\r\nContent-Transfer-Encoding: base64\r\n\r\n"
      "PGI+SGk8L2I+\r\n--b1--\r\nepilogue\r\n";
  MimeParts m;
  ParseMultipart(m, body, "b1", 1000);
  ASSERT_EQ(m.parts.size(), 2u);
  EXPECT_EQ(m.plainIndex, 0);
  EXPECT_EQ(m.htmlIndex, 1);
  const MimePart& p = m.parts[0];
  EXPECT_EQ(p.contentType, "text/plain");
  EXPECT_EQ(p.charset, "us-ascii");
  EXPECT_EQ(p.transferEncoding, "quoted-printable");
  EXPECT_EQ(p.rawHeader,
            "Content-Type: text/plain; charset=\"us-ascii\"\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n");
  EXPECT_EQ(p.rawBody, "Hi =3D there");
  EXPECT_EQ(p.decodedBody, "Hi = there");
  const MimePart& h = m.parts[1];
  EXPECT_EQ(h.contentType, "text/HTML");
  // Later parts begin with the CR LF that ends the delimiter line.
  EXPECT_EQ(h.rawHeader, "\r\nContent-Type: text/HTML\r\nContent-Transfer-Encoding: base64\r\n");
  EXPECT_EQ(h.header, "\r\nContent-Type: text/HTML\r\nContent-Transfer-Encoding: base64\r\n");
  EXPECT_EQ(h.decodedBody, "<b>Hi</b>");
  EXPECT_EQ(h.boundary, "");
}

TEST(MimeMultipart, NestedFlattenedDepthFirst) {
  const std::string body =
      "--outer\r\nContent-Type: multipart/alternative; boundary=\"inner\"\r\n\r\n"
      "--inner\r\nContent-Type: text/plain\r\n\r\nplain\r\n"
      "--inner\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n--inner--\r\n"
      "--outer\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\nContent-ID: <id1>\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nJVBERg==\r\n--outer--\r\n";
  MimeParts m;
  ParseMultipart(m, body, "outer", 1000);
  ASSERT_EQ(m.parts.size(), 3u);
  EXPECT_EQ(m.parts[0].contentType, "text/plain");
  EXPECT_EQ(m.parts[0].decodedBody, "plain");
  EXPECT_EQ(m.parts[1].contentType, "text/html");
  EXPECT_EQ(m.parts[1].decodedBody, "<p>html</p>");
  EXPECT_EQ(m.parts[2].contentType, "application/pdf");
  EXPECT_EQ(m.parts[2].name, "a.pdf");
  EXPECT_EQ(m.parts[2].contentId, "<id1>");
  EXPECT_EQ(m.parts[2].decodedBody, "");  // neither plain nor HTML: not decoded
  EXPECT_EQ(m.parts[2].rawBody, "JVBERg==");
  EXPECT_EQ(m.plainIndex, 0);
  EXPECT_EQ(m.htmlIndex, 1);
}

TEST(MimeMultipart, PlainPartChoice) {
  // A part without Content-Type becomes the plain part when none came
  // before; a later text/plain replaces an earlier one.
  const std::string body =
      "--b\r\nX-None: 1\r\n\r\nuntyped\r\n--b\r\nContent-Type: text/plain\r\n\r\nsecond\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\nthird\r\n--b\r\n\r\nlate untyped\r\n--b--\r\n";
  MimeParts m;
  ParseMultipart(m, body, "b", 1000);
  ASSERT_EQ(m.parts.size(), 4u);
  EXPECT_EQ(m.parts[0].contentType, "text/plain");
  EXPECT_EQ(m.parts[0].decodedBody, "untyped");
  EXPECT_EQ(m.parts[2].decodedBody, "third");
  EXPECT_EQ(m.plainIndex, 2);
  EXPECT_EQ(m.parts[3].contentType, "");  // a plain part existed already
  EXPECT_EQ(m.parts[3].rawBody, "late untyped");
  EXPECT_EQ(m.parts[3].decodedBody, "");
  EXPECT_EQ(m.htmlIndex, -1);
}

TEST(MimeMultipart, DelimiterQuirks) {
  {  // no closing delimiter: parts up to the last delimiter line, rest ignored
    MimeParts m;
    ParseMultipart(m, "--b\r\nA: 1\r\n\r\none\r\n--b\r\n\r\ntwo\r\n--b\r\n\r\nlost", "b", 100);
    ASSERT_EQ(m.parts.size(), 2u);
    EXPECT_EQ(m.parts[0].rawBody, "one");
    EXPECT_EQ(m.parts[1].rawBody, "two");
  }
  {  // the first part starts after the delimiter line's CR LF, so an empty
     // line right after it is not a blank line: the whole part is header
    MimeParts m;
    ParseMultipart(m, "--b\r\n\r\none\r\n--b--\r\n", "b", 100);
    ASSERT_EQ(m.parts.size(), 1u);
    EXPECT_EQ(m.parts[0].rawHeader, "\r\none");
    EXPECT_EQ(m.parts[0].rawBody, "");
    EXPECT_EQ(m.plainIndex, 0);
  }
  {  // no first delimiter: nothing
    MimeParts m;
    ParseMultipart(m, "--c\r\n\r\none\r\n--c--\r\n", "b", 100);
    EXPECT_TRUE(m.parts.empty());
    EXPECT_EQ(m.plainIndex, -1);
  }
  {  // closing delimiter at the very end without CR LF (the frame supplies it)
    MimeParts m;
    ParseMultipart(m, "--b\r\nA: 1\r\n\r\none\r\n--b--", "b", 100);
    ASSERT_EQ(m.parts.size(), 1u);
    EXPECT_EQ(m.parts[0].rawBody, "one");
  }
  {  // a normal delimiter later wins over an earlier closing one
    MimeParts m;
    ParseMultipart(m, "--b\r\nA: 1\r\n\r\none\r\n--b--\r\nx\r\n--b\r\n\r\ntwo\r\n--b--\r\n",
                   "b", 100);
    ASSERT_EQ(m.parts.size(), 2u);
    EXPECT_EQ(m.parts[0].rawBody, "one\r\n--b--\r\nx");
    EXPECT_EQ(m.parts[1].rawBody, "two");
  }
  {  // a delimiter line right after the first one is part of the first part
    MimeParts m;
    ParseMultipart(m, "--b\r\n--b\r\n\r\nx\r\n--b--\r\n", "b", 100);
    ASSERT_EQ(m.parts.size(), 1u);
    EXPECT_EQ(m.parts[0].rawHeader, "--b\r\n");
    EXPECT_EQ(m.parts[0].rawBody, "x");
  }
  {  // but later parts begin at the CR LF ending their delimiter line, so an
     // empty later part is found
    MimeParts m;
    ParseMultipart(m, "--b\r\nA: 1\r\n\r\none\r\n--b\r\n--b\r\n\r\ntwo\r\n--b--", "b", 100);
    ASSERT_EQ(m.parts.size(), 3u);
    EXPECT_EQ(m.parts[1].rawHeader, "");
    EXPECT_EQ(m.parts[1].rawBody, "");
    EXPECT_EQ(m.parts[2].rawHeader, "\r\n");
    EXPECT_EQ(m.parts[2].rawBody, "two");
  }
  {  // part without blank line: the whole text is its header
    MimeParts m;
    ParseMultipart(m, "--b\r\nContent-Type: text/plain\r\n--b--\r\n", "b", 100);
    ASSERT_EQ(m.parts.size(), 1u);
    EXPECT_EQ(m.parts[0].rawHeader, "Content-Type: text/plain");
    EXPECT_EQ(m.parts[0].header, "");  // no CR LF in it: nothing unfolded
    EXPECT_EQ(m.parts[0].rawBody, "");
  }
}

TEST(MimeMultipart, DeepNestingIsBounded) {
  // 200 nested containers: the containers below the depth limit stay leaf
  // parts and nothing overflows.
  const int levels = 200;
  std::string body = "text\r\n";
  for (int i = levels; i >= 1; --i) {
    std::string b = "b" + std::to_string(i);
    body = "Content-Type: multipart/mixed; boundary=" + b + "\r\n\r\n--" + b + "\r\n" + body +
           "\r\n--" + b + "--\r\n";
  }
  // The outermost header belongs to the message; parse its body.
  std::string outerBody = RawBodyOf(body);
  MimeParts m;
  ParseMultipart(m, outerBody, "b1", 100);
  ASSERT_EQ(m.parts.size(), 1u);
  EXPECT_EQ(m.parts[0].contentType, "multipart/mixed");
  EXPECT_EQ(m.parts[0].boundary, "");
}

}  // namespace
}  // namespace quelta
