// What the plug-in sees as the message text: charsets to Windows-1252,
// HTML laid out as text, and the part a mail client shows.
#include <gtest/gtest.h>

#include "charset.h"
#include "html_text.h"
#include "rendered_text.h"
#include "support/table.h"

using namespace quelta_host;
using testing_support::ExpectEach;

namespace {

TEST(Charset, TextInEachCharsetComesOutAsWindows1252) {
  const struct {
    std::string charset, in, out;
  } cases[] = {
      {"UTF-8", "Caf\xC3\xA9 \xE2\x82\xAC" "5", "Caf\xE9 \x80" "5"},  // two and three bytes
      {" \"utf8\" ", "\xC5\xA0", "\x8A"},                                // label in quotes and case
      {"utf-8", "\xC5\x82\xE4\xB8\xAD", "??"},                           // no Windows-1252 byte
      {"utf-8", "a\xE9" "b", "a\xE9" "b"},                               // a stray byte stays
      {"ISO-8859-1", "\x80\xA4\xE9", "\x80\xA4\xE9"},                    // read as Windows-1252
      {"us-ascii", "\x93q\x94", "\x93q\x94"},                            // with 8-bit bytes
      {"iso-8859-15", "\xA4\xA6\xBD\xE9", "\x80\x8A\x9C\xE9"},           // the euro sign and friends
      {"koi8-r", "\xC1\x81\x9D\xFF", "\xC1\x81\x9D\xFF"},                // unknown: bytes unchanged
  };
  for (const auto& c : cases) EXPECT_EQ(c.out, Utf8ToCp1252(ToUtf8(c.in, CharsetByName(c.charset)))) << c.charset << c.in;
  EXPECT_EQ(std::string("A\0\x80\0", 4), WidenToUtf16Le("A\x80"));
}

TEST(HtmlText, LaidOutAsABrowserShowsIt) {
  ExpectEach(HtmlToText, {
      {"a<br>b<BR/><br>c", "a\nb\n\nc"},
      {"<p>one</p><p>two</p><div>x</div><div>y</div>", "one\n\ntwo\n\nx\ny"},
      {"  many \t blanks\n here <br>  next ", "many blanks here\nnext"},
      {"<head><title>T</title><style>p{}</style></head><script>a='<p>x'</script><!-- c --><!DOCTYPE x>shown", "shown"},
      {"<div style=\"color:red; display : none\">a<div>b</div>c</div><span hidden>d</span>e", "e"},
      {"&lt;&amp;&gt; &eacute;&#233;&#xE9; &euro;&#128; &Scaron; &copy &notit; &bogus; AT&T",
       "<&> \xC3\xA9\xC3\xA9\xC3\xA9 \xE2\x82\xAC\xE2\x82\xAC \xC5\xA0 \xC2\xA9 \xC2\xACit; &bogus; AT&T"},
      {"<pre>a  b\r\n  c</pre>d", "a  b\n  c\n\nd"},
      {"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", "a b\nc"},
      {"x < y <a href=\"p>q\">link</a>", "x < y link"},  // a lone < is text; a quoted > stays in its tag
      {"text<b", "text"},                                // markup cut off at the end
  });
  ExpectEach(HtmlMetaCharset, {
      {"<html><META charset=\"utf-8\">", "utf-8"},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-15\">", "iso-8859-15"},
      {"<meta name=\"x\" content=\"y\"><p>charset=utf-8</p>", ""},
  });
}

TEST(RenderedText, ThePartAClientShowsDecoded) {
  ExpectEach(RenderedText, {
      // multipart/alternative: the plain part, quoted-printable, UTF-8.
      {"Content-Type: multipart/alternative; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain; charset=utf-8\r\n"
       "Content-Transfer-Encoding: quoted-printable\r\n\r\nCaf=C3=A9 soft=\r\n break\r\n"
       "--b\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n--b--\r\n",
       "Caf\xE9 soft break"},
      // HTML only, base64 of <meta charset=utf-8><p>Gr&uuml;&szlig;e</p><p>&#8364; 5 \xE2\x82\xAC</p>.
      {"Content-Type: text/html\r\nContent-Transfer-Encoding: base64\r\n\r\n"
       "PG1ldGEgY2hhcnNldD11dGYtOD48cD5HciZ1dW1sOyZzemxpZztlPC9wPjxwPiYjODM2NDsgNSDigqw8L3A+\r\n",
       "Gr\xFC\xDF" "e\r\n\r\n\x80 5 \x80"},
      // A plain part that is an attachment: the HTML part instead.
      {"Content-Type: multipart/mixed; boundary=m\r\n\r\n--m\r\nContent-Type: text/plain; name=\"notes.txt\"\r\n\r\n"
       "attached\r\n--m\r\nContent-Type: text/html; charset=iso-8859-15\r\n\r\n<b>\xA4</b>&nbsp;x\r\n--m--\r\n",
       "\x80 x"},
      {"Subject: x\r\n\r\nna\xC3\xAFve\r\n", "na\xEFve\r\n"},  // no Content-Type, UTF-8 bytes: read as UTF-8
      {"Subject: x\r\n\r\nna\xEFve\r\n", "na\xEFve\r\n"},      // ... Latin-1 bytes
      {"Content-Type: text/plain; format=flowed; delsp=yes\r\n\r\nlong  \r\nline\r\n From\r\n-- \r\nme\r\n",
       "long line\r\nFrom\r\n-- \r\nme\r\n"},  // flowed with delsp, a signature stays
      {"Content-Type: text/plain; charset=utf-8\r\n\r\nvi\xC2\xAD" "a\xE2\x80\x8Bgra\r\n", "viagra\r\n"},  // invisible
      {"Content-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\niVBORw0K\r\n", ""},
  });
}

}  // namespace
