// Fuzz target: arbitrary bytes as a raw message; every data field is
// requested and the Bayes word table built. The host's rendered text is the
// same bytes. Small inputs also
// check that the encoded-word decoder agrees with the literal procedure
// (restart at the beginning after every word).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bayes/tokenizer.h"
#include "bayes/word_table.h"
#include "message/mime.h"
#include "message/parser.h"
#include "message/received.h"

namespace {

const char* const kFields[] = {
    "RAWMSG", "RAWBODY", "RAWHEADER", "HEADER", "LOWERHEADER", "RAWSUBJECT", "SUBJ", "SUBJECT",
    "TEXT", "TEXTWORD", "SUBJTEXT", "SPAMTEXT", "SPAMSUBJ", "SPAMSUBJTEXT", "SPAMPLAIN",
    "PRIORITY", "MAILER", "MSGID", "INREPLYTO", "REFERENCES", "RETURNPATH", "ORGANIZATION",
    "RECEIVED", "RCVALLIPS", "RCVALLHOSTS", "RCVALLDOMAINS", "RCVFROM", "RCVFROMIP",
    "RCVFROMNAME", "RCVHELO", "RCVHOST", "RCVIP", "RCVIPIP", "RCVSENDER", "RCVBY", "RCVWITH",
    "RCVFOR", "RCVRAWDATE", "PARSEONLY_PARSEDCONTENTTYPE", "CONTENTTYPE", "CHARSET",
    "BOUNDARY", "ENCODING", "PARSEONLY_MESSAGEPARTS", "PARTRAWHEADER", "PARTHEADER",
    "PARTTYPE", "PARTBOUNDARY", "PARTCHARSET", "PARTENCODE", "PARTNAME", "PARTID", "RAWDATE",
    "RAWFROM", "SENDER", "FROM", "RAWFROMADDR", "RAWFROMNAME", "FROMADDR", "FROMNAME",
    "REPLYTO", "REPLYTOADDR", "RAWTO", "TO", "PARSEONLY_RECIPIENTLIST", "RAWTONAME",
    "RAWTOADDR", "TONAME", "TOADDR", "RAWPLAINPART", "PLAINPART",
    "PLAINWORD", "RAWHTMLPART", "HTMLPART", "TEXTPART", "RAWTEXTPART", "RAWURLLIST",
    "RAWURLARGLIST", "URLLIST", "URLARGLIST", "URLDOMAINLIST", "EMLLIST", "EMLDOMAINLIST",
    "RCVIPHOSTS", "Subject:", "Content-Type:", ":", "  x-mailer:  "};

// The host's rendered text: the input bytes, cut as the host would cut them.
class Rendered : public quelta::RenderedTextSource {
 public:
  explicit Rendered(const std::string& bytes) : bytes_(bytes) {}
  std::string RenderedText(std::size_t maxBytes) override { return bytes_.substr(0, maxBytes / 2); }

 private:
  const std::string& bytes_;
};

std::string DecodeWordsLiterally(std::string s) {
  for (;;) {
    std::size_t p1 = s.find("=?");
    if (p1 == std::string::npos) return s;
    std::size_t p2 = s.find("?=", p1);
    if (p2 == std::string::npos) return s;
    std::string inner = p2 >= p1 + 2 ? s.substr(p1 + 2, p2 - p1 - 2) : std::string();
    if (std::count(inner.begin(), inner.end(), '?') != 2) return s;
    std::string r;
    std::size_t q1 = inner.find('?'), q2 = inner.find('?', q1 + 1);
    std::string enc = inner.substr(q1 + 1, q2 - q1 - 1), text = inner.substr(q2 + 1);
    if (enc == "q" || enc == "Q") {
      r = quelta::QuotedPrintableDecode(text);
      for (char& c : r)
        if (c == '_') c = ' ';
    } else if (enc == "b" || enc == "B") {
      std::string t;
      for (char c : text)
        if (c != '\r' && c != '\n') t.push_back(c);
      std::size_t b = 0, e = t.size();
      while (b < e && static_cast<unsigned char>(t[b]) <= ' ') ++b;
      while (e > b && static_cast<unsigned char>(t[e - 1]) <= ' ') --e;
      t = t.substr(b, e - b);
      while (t.size() % 4) t.push_back('=');
      r = quelta::Base64Decode(t);
    } else {
      r = text;
    }
    s = s.substr(0, p1) + r + s.substr(p2 + 2);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  Rendered rendered(raw);
  {
    quelta::MessageParser p(raw, quelta::MessageOptions{}, &rendered);
    for (const char* f : kFields) p.GetField(f);
    quelta::WordTable words;
    quelta::TokenizeMessage(p, quelta::TokenizerOptions{}, words);
    p.GetDateField("DATESENDER");
    p.GetDateField("DATEUTC");
    p.GetSizeField("RAWMESSAGESIZE");
    p.Recipients();
    p.Parts();
  }
  // The Received analysis on the bytes as one line.
  const std::string hop = quelta::ParseReceivedLine(raw) + "\r\n";
  quelta::SelectFromHops(hop, "IPS|HOSTS|DOMS|FROM|HELO|DATE", "\"", nullptr);
  if (size <= 2048 && quelta::DecodeHeaderWords(raw) != DecodeWordsLiterally(raw)) std::abort();
  return 0;
}
