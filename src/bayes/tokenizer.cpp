#include "bayes/tokenizer.h"

#include "base/strings.h"
#include "bayes/word_table.h"
#include "message/parser.h"
#include "os/env.h"

namespace quelta {

const char* const kBayesDelimSubject = ",;.:/\\!?&\"()[]{}=+*#<>";
const char* const kBayesDelimFrom = ",;\"<>";
const char* const kBayesDelimMailer = ",;:/\\()[]{}";
const char* const kBayesDelimReceived = "\",;:/\\()[]{}<>=";

namespace {

inline unsigned char U(char c) { return static_cast<unsigned char>(c); }

// Letters of the Bayes tokeniser: ASCII letters and the German, French and
// Spanish vowels with accents.
const ByteSet& Letters() {
  static const ByteSet s(std::string(
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
      "\xE4\xF6\xFC\xC4\xD6\xDC\xDF"                      // ae oe ue AE OE UE sz
      "\xE1\xE0\xE9\xE8\xED\xEC\xF3\xF2\xFA\xF9"          // a e i o u acute/grave
      "\xC1\xC0\xC9\xC8\xCD\xCC\xD3\xD2\xDA\xD9"          // capitals of those
      "\xE2\xEA\xEE\xF4\xFB"));                           // circumflex vowels
  return s;
}

// Letters and digits: what the Bayes tokeniser keeps at the ends of a word.
const ByteSet& LettersAndDigits() {
  static const ByteSet s = [] {
    ByteSet r = Letters();
    r.Add("0123456789");
    return r;
  }();
  return s;
}

// Base delimiters of the Bayes tokeniser.
const std::string& BayesBaseDelims() {
  static const std::string s("\x00\x01\x02\x03\t\n\r\xA0", 8);
  return s;
}

std::string Cut(const std::string& s, std::size_t n) { return s.size() <= n ? s : s.substr(0, n); }

}  // namespace

ExceptedWords::ExceptedWords(const std::vector<std::string>& words) : count_(words.size()) {
  for (const std::string& w : words) lower_.insert(os::AnsiLowerCase(w));
}

bool ExceptedWords::Contains(const std::string& word) const {
  return !lower_.empty() && lower_.count(os::AnsiLowerCase(word)) != 0;
}

void AddWords(WordTable& list, const std::string& text, const std::string& prefix, bool trim,
              const std::string& delimiters, bool noNumbersOnly, const ExceptedWords* excepted) {
  ByteSet delims(BayesBaseDelims());
  delims.Add(delimiters);
  delims.Add(" ");
  const ByteSet& alnum = LettersAndDigits();

  // The text trimmed; each word is lower-cased as it is copied out
  // (lower-casing changes neither delimiters nor the letter/digit test).
  std::size_t tb = 0, te = text.size();
  while (tb < te && U(text[tb]) <= ' ') ++tb;
  while (te > tb && U(text[te - 1]) <= ' ') --te;
  const char* const t = text.data();
  std::string word = prefix;  // reused for every word: prefix + candidate
  std::size_t start = tb;
  for (std::size_t i = tb; i <= te; ++i) {
    if (i < te && !delims.Has(t[i])) continue;
    std::size_t b = start, e = i;
    start = i + 1;
    if (trim) {
      while (b + 1 < e && !alnum.Has(t[b])) ++b;  // the last character is left to the end pass
      while (e > b && !alnum.Has(t[e - 1])) --e;
    }
    while (b < e && (U(t[b]) <= ' ' || U(t[b]) == 0xA0)) ++b;
    while (e > b && (U(t[e - 1]) <= ' ' || U(t[e - 1]) == 0xA0)) --e;
    const std::size_t len = e - b;
    if (len < 4 || len > 30) continue;
    if (noNumbersOnly) {
      bool digits = true;
      for (std::size_t k = b; k < e && digits; ++k) digits = t[k] >= '0' && t[k] <= '9';
      if (digits) continue;
    }
    word.resize(prefix.size() + len);
    char* d = &word[prefix.size()];
    for (std::size_t k = b; k < e; ++k) *d++ = AsciiLowerChar(t[k]);
    if (excepted && excepted->Contains(word)) continue;
    list.Add(word);
  }
}

void TokenizeMessage(MessageParser& parser, const TokenizerOptions& options, WordTable& out) {
  const std::size_t max = parser.Options().maxDataSize;
  auto add = [&](const std::string& text, const char* prefix, const char* delims) {
    AddWords(out, text, prefix, true, delims, options.noNumbersOnly, options.excepted);
  };
  add(parser.GetField("SUBJECT"), "S:", kBayesDelimSubject);
  add(parser.GetField("FROM"), "F:", kBayesDelimFrom);
  add(parser.GetField("MAILER"), "M:", kBayesDelimMailer);
  add(parser.GetField("RECEIVED"), "R:", kBayesDelimReceived);
  if (options.noHtmlPart) {
    add(Cut(parser.GetField("TEXT"), max), "", kBayesDelimSubject);
    return;
  }
  const std::vector<MimePart>& parts = parser.Parts();
  const int plain = parser.PlainPartIndex();
  const int html = parser.HtmlPartIndex();
  if (plain >= 0) add(Cut(parts[static_cast<std::size_t>(plain)].decodedBody, max), "", kBayesDelimSubject);
  if (html >= 0) add(Cut(parts[static_cast<std::size_t>(html)].decodedBody, max), "", kBayesDelimSubject);
}

}  // namespace quelta
