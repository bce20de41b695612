// What the plug-in sees as the message text: charsets to Windows-1252,
// HTML laid out as text, and the part a mail client shows.
#include <gtest/gtest.h>

#include "charset.h"
#include "html_text.h"
#include "rendered_text.h"

using namespace quelta_host;

namespace {

TEST(Charset, TextInEachCharsetComesOutAsWindows1252) {
  struct Case {
    const char* name;
    std::string charset, in, out;
  };
  const Case cases[] = {
      {"UTF-8, two and three bytes", "UTF-8",
       "Caf\xC3\xA9 \xE2\x82\xAC"
       "5",
       "Caf\xE9 \x80"
       "5"},
      {"UTF-8 label in quotes and case", " \"utf8\" ", "\xC5\xA0", "\x8A"},
      {"UTF-8: no Windows-1252 byte", "utf-8", "\xC5\x82\xE4\xB8\xAD", "??"},
      {"UTF-8: a stray byte stays", "utf-8",
       "a\xE9"
       "b",
       "a\xE9"
       "b"},
      {"ISO-8859-1 reads as Windows-1252", "ISO-8859-1", "\x80\xA4\xE9", "\x80\xA4\xE9"},
      {"US-ASCII with 8-bit bytes", "us-ascii", "\x93q\x94", "\x93q\x94"},
      {"ISO-8859-15: euro sign and friends", "iso-8859-15", "\xA4\xA6\xBD\xE9", "\x80\x8A\x9C\xE9"},
      {"unknown charset: bytes unchanged", "koi8-r", "\xC1\x81\x9D\xFF", "\xC1\x81\x9D\xFF"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.out, Utf8ToCp1252(ToUtf8(c.in, CharsetByName(c.charset)))) << c.name;
  EXPECT_EQ(std::string("A\0\x80\0", 4), WidenToUtf16Le("A\x80"));
}

TEST(HtmlText, LaidOutAsABrowserShowsIt) {
  struct Case {
    const char* name;
    const char* html;
    const char* text;
  };
  const Case cases[] = {
      {"line breaks", "a<br>b<BR/><br>c", "a\nb\n\nc"},
      {"paragraphs and blocks", "<p>one</p><p>two</p><div>x</div><div>y</div>",
       "one\n\ntwo\n\nx\ny"},
      {"white space collapses, no blanks at line ends", "  many \t blanks\n here <br>  next ",
       "many blanks here\nnext"},
      {"invisible content",
       "<head><title>T</title><style>p{}</style></head><script>a='<p>x'</script>"
       "<!-- c --><!DOCTYPE x>shown",
       "shown"},
      {"hidden elements, nested",
       "<div style=\"color:red; display : none\">a<div>b</div>c</div>"
       "<span hidden>d</span>e",
       "e"},
      {"references", "&lt;&amp;&gt; &eacute;&#233;&#xE9; &euro;&#128; &copy &notit; &bogus; AT&T",
       "<&> \xC3\xA9\xC3\xA9\xC3\xA9 \xE2\x82\xAC\xE2\x82\xAC \xC2\xA9 \xC2\xACit; &bogus; AT&T"},
      {"pre keeps its blanks", "<pre>a  b\r\n  c</pre>d", "a  b\n  c\n\nd"},
      {"table cells and rows", "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>",
       "a b\nc"},
      {"a lone < is text; quoted > inside a tag", "x < y <a href=\"p>q\">link</a>", "x < y link"},
      {"markup cut off at the end", "text<b", "text"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, HtmlToText(c.html)) << c.name;
}

TEST(HtmlText, CharsetNamedInMeta) {
  EXPECT_EQ("utf-8", HtmlMetaCharset("<html><META charset=\"utf-8\">"));
  EXPECT_EQ("iso-8859-15",
            HtmlMetaCharset(
                "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-15\">"));
  EXPECT_EQ("", HtmlMetaCharset("<meta name=\"x\" content=\"y\"><p>charset=utf-8</p>"));
}

TEST(RenderedText, ThePartAClientShowsDecoded) {
  struct Case {
    const char* name;
    std::string message, text;
  };
  const std::string alt =
      "Content-Type: multipart/alternative; boundary=\"b\"\r\n\r\n"
      "--b\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: "
      "quoted-printable\r\n\r\n"
      "Caf=C3=A9 soft=\r\n break\r\n"
      "--b\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n--b--\r\n";
  const Case cases[] = {
      {"multipart/alternative: the plain part, quoted-printable, UTF-8", alt, "Caf\xE9 soft break"},
      {"HTML only, base64, charset from <meta>",
       "Content-Type: text/html\r\nContent-Transfer-Encoding: base64\r\n\r\n"
       // <meta charset=utf-8><p>Gr&uuml;&szlig;e</p><p>&#8364; 5 \xE2\x82\xAC</p>
       "PG1ldGEgY2hhcnNldD11dGYtOD48cD5HciZ1dW1sOyZzemxpZztlPC9wPjxwPiYjODM2NDsgNSDigqw8L3A+\r\n",
       "Gr\xFC\xDF"
       "e\r\n\r\n\x80 5 \x80"},
      {"plain part that is an attachment: the HTML part instead",
       "Content-Type: multipart/mixed; boundary=m\r\n\r\n"
       "--m\r\nContent-Type: text/plain; name=\"notes.txt\"\r\n\r\nattached\r\n"
       "--m\r\nContent-Type: text/html; charset=iso-8859-15\r\n\r\n<b>\xA4</b>&nbsp;x\r\n--m--\r\n",
       "\x80 x"},
      {"no Content-Type, UTF-8 bytes: read as UTF-8", "Subject: x\r\n\r\nna\xC3\xAFve\r\n",
       "na\xEFve\r\n"},
      {"no Content-Type, Latin-1 bytes", "Subject: x\r\n\r\nna\xEFve\r\n", "na\xEFve\r\n"},
      {"format=flowed with delsp, a signature stays",
       "Content-Type: text/plain; format=flowed; delsp=yes\r\n\r\nlong  \r\nline\r\n From\r\n-- "
       "\r\nme\r\n",
       "long line\r\nFrom\r\n-- \r\nme\r\n"},
      {"invisible characters left out",
       "Content-Type: text/plain; charset=utf-8\r\n\r\nvi\xC2\xAD"
       "a\xE2\x80\x8Bgra\r\n",
       "viagra\r\n"},
      {"nothing to show",
       "Content-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\niVBORw0K\r\n", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, RenderedText(c.message)) << c.name;
}

}  // namespace
