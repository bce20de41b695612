// MIME view of a message: header/body split, unfolding, header lookup,
// Content-Type parameters, the decoders (the fast encoded-word decoder held
// to the literal procedure) and multipart splitting with its depth bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "message/mime.h"
#include "support/table.h"

namespace quelta {
namespace {

using testing_support::ExpectEach;

TEST(Mime, HeaderBodyAndUnfolding) {
  ExpectEach([](const std::string& m) { return RawHeaderOf(m) + "|" + RawBodyOf(m); },
             {{"A: 1\r\nB: 2\r\n\r\nbody\r\n", "A: 1\r\nB: 2\r\n|body\r\n"}, {"A: 1\r\n", "A: 1\r\n|"},
              {"A: 1\nB: 2\n\nbody", "A: 1\nB: 2\n\nbody|"}, {"\r\n\r\nbody", "\r\n|body"},
              {"A: 1\r\n\r\n\r\n\r\nx", "A: 1\r\n|\r\n\r\nx"}});
  ExpectEach([](const std::string& h) { return UnfoldHeader(h); },
             {{"Subject: a\r\n b\r\nX: y\r\n", "Subject: a b\r\nX: y\r\n"},
              {"Subject: a\r\n\tb\r\n", "Subject: a b\r\n"},
              {"S:  a   b \r\n", "S: a b\r\n"}, {"S:\ta\t\tb\r\n", "S: a b\r\n"}, {"  S: a  \r\n", "S: a\r\n"},
              {"S: a\r\n  b\r\n   c\r\nT: d\r\n", "S: a b c\r\nT: d\r\n"}, {"S: a\r\nT: b", "S: a\r\n"},
              {"S: a\nT: b\r\n", "S: a\nT: b\r\n"}, {"S: a\r\n b", "S: a "}});
  const std::string h = "Subject: Hello World\r\nX-Mailer:   Tool 1\r\nX-Empty:\r\nContent-Type-X: no\r\n"
                        "Foo : spaced\r\nA: First\r\nA: second\r\n";
  ExpectEach([&](const std::string& name) { return LookupHeader(h, name); },
             {{"subject", "Hello World"}, {"SUBJECT", "Hello World"}, {"x-mailer", "Tool 1"}, {"X-Empty", ""},
              {"Type-X", ""}, {"Foo", ""}, {"Foo ", "spaced"}, {"a", "First"}, {"Content-Type", ""}});
  // An index of a header's lines finds what the look-up finds, name by name.
  const std::vector<std::string> headers = {h, "", "A: 1", "no colon\r\nB:2\r\nb: 3\r\n", "A:B: x\r\nA: y\r\n",
                                            ":empty name\r\nC\r\n: 4\r\nc: 5"};
  const std::vector<std::string> names = {"subject", "X-MAILER", "x-empty", "a", "A:B", "b", "B", "c", "C", "",
                                          "no colon", "Foo ", "Foo", "x", "A:B: x"};
  for (const std::string& header : headers) {
    const std::string framed = FrameLowerHeader(header);
    const HeaderIndex index(framed);
    for (const std::string& name : names)
      EXPECT_EQ(index.Lookup(header, name), LookupHeader(header, framed, name)) << header << " / " << name;
  }
  EXPECT_EQ(HeaderIndex(FrameLowerHeader("A:B: x\r\nA: y\r\n")).Lookup("A:B: x\r\nA: y\r\n", "A:B"), "x");
  EXPECT_EQ(HeaderIndex(FrameLowerHeader("b: 3\r\nB: 2\r\n")).Lookup("b: 3\r\nB: 2\r\n", "B"), "3");
}

TEST(Mime, ContentTypeParameters) {
  EXPECT_EQ(NormaliseContentType("text/plain; charset=\"iso 1\""), "text/plain\x01" "charset=iso 1");
  const std::string n = NormaliseContentType("multipart/Mixed; BOUNDARY=\"a b;c\"; Charset = UTF-8 ;name=\"x.txt\"");
  EXPECT_EQ(ContentTypeMediaType(n), "multipart/Mixed");
  ExpectEach([&](const std::string& name) { return ContentTypeParameter(n, name); },
             {{"boundary", "a b;c"}, {"charset", "UTF-8"}, {"name", "x.txt"}, {"ame", ""}});
  EXPECT_EQ(ContentTypeMediaType(NormaliseContentType("  text/html  ")), "text/html");
  EXPECT_EQ(ContentTypeParameter(NormaliseContentType("a; charsetx=1"), "charset"), "");
  EXPECT_EQ(ContentTypeParameter(NormaliseContentType("a; b=\"x; y"), "b"), "x; y");
}

TEST(Mime, Decoders) {
  ExpectEach([](const std::string& t) { return QuotedPrintableDecode(t); },
             {{"a=3Db", "a=b"}, {"ab=\r\ncd", "abcd"}, {"ab=\ncd", "abcd"}, {"a=XYb", "a=XYb"}, {"=fc=FC", "\xfc\xfc"},
              {"a=F", "a=F"}, {"a=", "a="}, {"a_b", "a_b"}, {"=3D41", "=41"}, {"a=\rb", "a=\rb"}});
  ExpectEach([](const std::string& t) { return Base64Decode(t); },
             {{"SGVsbG8=", "Hello"}, {"QUJD", "ABC"}, {"QQ==", "A"}, {"QUI=", "AB"}, {"Q U\r\nJ*D", "ABC"},
              {"QQ==QUI=", "AAB"}, {"QUI", "AB"}, {"Q", ""}});
  EXPECT_EQ(DecodeBody("a=3Db", "Quoted-Printable", 100), "a=b");
  EXPECT_EQ(DecodeBody(" SGVs\r\nbG8 \r\n", "BASE64", 100), "Hello");
  EXPECT_EQ(DecodeBody("a=3Db", "8bit", 2), "a=3Db");             // not cut
  EXPECT_EQ(DecodeBody("abc=3D", "quoted-printable", 4), "abc=");  // cut first
  EXPECT_EQ(DecodeBody("QUJDREVG", "base64", 4), "ABC");
  EXPECT_EQ(DecodeBody("x", " base64", 4), "x");
}

TEST(Mime, EncodedWords) {
  ExpectEach([](const std::string& t) { return DecodeHeaderWords(t); },
             {{"=?iso-8859-1?Q?Gr=FC=DFe_aus?=", "Gr\xfc\xdf" "e aus"}, {"=?x?q?a_b?= =?x?b?QQ==?=", "a b A"},
              {"Re: =?a?Q?Hi?= there", "Re: Hi there"}, {"=?a?X?abc?= z", "abc z"},  // unknown encoding: bare text
              {"=?a?Q?=C4rger?= =?a?Q?x?=", "=?a?Q?=C4rger?= =?a?Q?x?="},  // an early "?=" stops decoding
              {"=?a?B? QUI ?=", "AB"}, {"=?a?B?PT9hP1E/ej89?=", "z"}});  // the decoded text is a new word
}

// The literal procedure: restart at the beginning after every word.
std::string DecodeWordsLiterally(std::string s) {
  for (;;) {
    const std::size_t p1 = s.find("=?");
    if (p1 == std::string::npos) return s;
    const std::size_t p2 = s.find("?=", p1);
    if (p2 == std::string::npos) return s;
    const std::string inner = p2 >= p1 + 2 ? s.substr(p1 + 2, p2 - p1 - 2) : std::string();
    if (std::count(inner.begin(), inner.end(), '?') != 2) return s;
    const std::size_t q1 = inner.find('?'), q2 = inner.find('?', q1 + 1);
    const std::string enc = inner.substr(q1 + 1, q2 - q1 - 1), text = inner.substr(q2 + 1);
    std::string r = text;
    if (enc == "q" || enc == "Q") {
      r = QuotedPrintableDecode(text);
      std::replace(r.begin(), r.end(), '_', ' ');
    } else if (enc == "b" || enc == "B") {
      std::string t;  // without line ends, trimmed, padded to whole groups
      for (char c : text)
        if (c != '\r' && c != '\n') t.push_back(c);
      while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ') t.pop_back();
      while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ') t.erase(0, 1);
      while (t.size() % 4) t.push_back('=');
      r = Base64Decode(t);
    }
    s = s.substr(0, p1) + r + s.substr(p2 + 2);
  }
}

TEST(Mime, EncodedWordsAgreeWithTheLiteralProcedure) {
  const std::string alphabet = "=?QqBb_3DF \r\naP2E/UT93";
  unsigned seed = 12345;
  for (int n = 0; n < 30000; ++n) {
    std::string s;
    const int len = static_cast<int>(seed % 28);
    for (int k = 0; k < len; ++k) {
      seed = seed * 1103515245u + 12345u;
      s.push_back(alphabet[(seed >> 16) % alphabet.size()]);
    }
    seed = seed * 1103515245u + 12345u;
    ASSERT_EQ(DecodeHeaderWords(s), DecodeWordsLiterally(s)) << s;
  }
}

TEST(MimeMultipart, NestedPartsFlattenedWithPlainAndHtml) {
  const std::string body =
      "preamble\r\n--out\r\nContent-Type: multipart/alternative; boundary=\"in\"\r\n\r\n"
      "--in\r\nContent-Type: text/plain; charset=\"us-ascii\"\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n\r\nHi =3D there\r\n"
      "--in\r\nContent-Type: text/HTML\r\nContent-Transfer-Encoding: base64\r\n\r\n"
      "PGI+SGk8L2I+\r\n--in--\r\n"
      "--out\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\nContent-ID: <id1>\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nJVBERg==\r\n--out--\r\nepilogue\r\n";
  MimeParts m;
  ParseMultipart(m, body, "out", 1000);
  ASSERT_EQ(m.parts.size(), 3u);
  EXPECT_EQ(std::make_pair(m.plainIndex, m.htmlIndex), std::make_pair(0, 1));
  // Later parts begin with the CR LF that ends the delimiter line; a part
  // neither plain nor HTML is not decoded.
  const std::vector<std::string> want[] = {
      {"Content-Type: text/plain; charset=\"us-ascii\"\r\nContent-Transfer-Encoding: quoted-printable\r\n",
       "text/plain", "us-ascii", "quoted-printable", "", "", "Hi =3D there", "Hi = there"},
      {"\r\nContent-Type: text/HTML\r\nContent-Transfer-Encoding: base64\r\n", "text/HTML", "", "base64", "",
       "", "PGI+SGk8L2I+", "<b>Hi</b>"},
      {"\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\nContent-ID: <id1>\r\nContent-Transfer-Encoding: "
       "base64\r\n", "application/pdf", "", "base64", "a.pdf", "<id1>", "JVBERg==", ""}};
  for (int i = 0; i < 3; ++i) {
    const MimePart& p = m.parts[static_cast<std::size_t>(i)];
    EXPECT_EQ(std::vector<std::string>({p.header, p.contentType, p.charset, p.transferEncoding, p.name, p.contentId,
                                        p.rawBody, p.decodedBody}),
              want[i]);
  }
}

TEST(MimeMultipart, PlainPartChoice) {
  // An untyped part becomes the plain part when none came before; a later
  // text/plain replaces an earlier one.
  const std::string body =
      "--b\r\nX-None: 1\r\n\r\nuntyped\r\n--b\r\nContent-Type: text/plain\r\n\r\nsecond\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\nthird\r\n--b\r\n\r\nlate untyped\r\n--b--\r\n";
  MimeParts m;
  ParseMultipart(m, body, "b", 1000);
  ASSERT_EQ(m.parts.size(), 4u);
  EXPECT_EQ(m.parts[0].contentType + "|" + m.parts[0].decodedBody, "text/plain|untyped");
  EXPECT_EQ(m.parts[3].contentType + "|" + m.parts[3].decodedBody + "|" + m.parts[2].decodedBody, "||third");
  EXPECT_EQ(std::make_pair(m.plainIndex, m.htmlIndex), std::make_pair(2, -1));
}

TEST(MimeMultipart, DelimiterLines) {
  using Parts = std::vector<std::pair<std::string, std::string>>;  // raw header, raw body
  const std::pair<std::string, Parts> cases[] = {
      // No closing delimiter: the text after the last delimiter line is lost.
      {"--b\r\nA: 1\r\n\r\none\r\n--b\r\n\r\ntwo\r\n--b\r\n\r\nlost", {{"A: 1\r\n", "one"}, {"\r\n", "two"}}},
      // The first part starts after the delimiter line's CR LF.
      {"--b\r\n\r\none\r\n--b--\r\n", {{"\r\none", ""}}},
      {"--c\r\n\r\none\r\n--c--\r\n", {}},
      {"--b\r\nA: 1\r\n\r\none\r\n--b--", {{"A: 1\r\n", "one"}}},
      // A later normal delimiter wins over an earlier closing one.
      {"--b\r\nA: 1\r\n\r\none\r\n--b--\r\nx\r\n--b\r\n\r\ntwo\r\n--b--\r\n",
       {{"A: 1\r\n", "one\r\n--b--\r\nx"}, {"\r\n", "two"}}},
      {"--b\r\n--b\r\n\r\nx\r\n--b--\r\n", {{"--b\r\n", "x"}}},
      {"--b\r\nA: 1\r\n\r\none\r\n--b\r\n--b\r\n\r\ntwo\r\n--b--",
       {{"A: 1\r\n", "one"}, {"", ""}, {"\r\n", "two"}}},
      {"--b\r\nContent-Type: text/plain\r\n--b--\r\n", {{"Content-Type: text/plain", ""}}}};
  for (const auto& [body, parts] : cases) {
    MimeParts m;
    ParseMultipart(m, body, "b", 100);
    Parts got;
    for (const MimePart& p : m.parts) got.emplace_back(p.rawHeader, p.rawBody);
    EXPECT_EQ(got, parts) << body;
  }
}

// A message body of `levels` nested multipart containers (the outermost
// one's boundary is "b1") around one text/plain leaf.
std::string NestedBody(int levels) {
  std::string part = "Content-Type: text/plain\r\n\r\nleaf";
  for (int i = levels; i >= 1; --i) {
    const std::string b = "b" + std::to_string(i);
    const std::string body = "--" + b + "\r\n" + part + "\r\n--" + b + "--\r\n";
    if (i == 1) return body;
    part = "Content-Type: multipart/mixed; boundary=" + b + "\r\n\r\n" + body;
  }
  return part;
}

TEST(MimeMultipart, NestingDepthBound) {
  const std::pair<int, const char*> cases[] = {{50, "text/plain"}, {51, "multipart/mixed"}, {400, "multipart/mixed"}};
  for (const auto& [levels, type] : cases) {
    MimeParts m;
    ParseMultipart(m, NestedBody(levels), "b1", 100);
    ASSERT_EQ(m.parts.size(), 1u) << levels;
    EXPECT_EQ(m.parts[0].contentType, type) << levels;
  }
}

}  // namespace
}  // namespace quelta
