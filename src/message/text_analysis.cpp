#include "message/text_analysis.h"

#include <algorithm>
#include <array>

#include "base/strings.h"

namespace quelta {

namespace {

inline unsigned char U(char c) { return static_cast<unsigned char>(c); }

// Breaks between words of a word list.
const ByteSet& WordBreaks() {
  static const ByteSet s(std::string(" \n\r\t"));
  return s;
}

// Characters stripped from both ends of a word of a word list:
// . : , ; ? = ! " acute ` / \ [ ] { } ( ) < > ' LF CR tab.
const ByteSet& WordEdges() {
  static const ByteSet s(std::string(".:,;?=!\"\xB4`/\\[]{}()<>'\n\r\t"));
  return s;
}

// What FoldText does with each byte: 0 = drop, 1 = keep, else the byte to write.
const std::array<unsigned char, 256>& FoldMap() {
  static const std::array<unsigned char, 256> map = [] {
    std::array<unsigned char, 256> m{};
    for (int i = 0; i < 256; ++i) m[i] = 1;
    // Dropped: punctuation, section sign, degree sign, acute accent, the
    // controls 0x00-0x08, 0x0B, 0x0C, CR and the apostrophe (39 bytes).
    const std::string drop =
        std::string(",.-_<>#+*~\xB4`\"\xA7%&\\/()=?^\xB0{}") +
        std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x0B\x0C\r'", 13);
    for (char c : drop) m[U(c)] = 0;
    // Look-alikes folded to plain letters; the first row naming a byte wins.
    static const struct {
      char to;
      const char* from;
    } kRows[] = {
        {'a', "\xC1\xC2\xC0\xC3\xC4\xC5\xC6\xE1\xE2\xE0\xE3\xE5\xE6" "4@\xE4\xAA"},
        {'c', "\xE7\xC7\xA9\xA2"},
        {'e', "\xC9\xCA\xC8\xCB\xE9\xEA\xE8\xEB\x80"},
        {'i', "\xCD\xCE\xCC\xCF\xED\xEE\xEC\xEF" "1!\xA6:;[]|lt\xA3"},
        {'d', "\xD0"},
        {'n', "\xD1\xF1"},
        {'o', "0\xD3\xD4\xD2\xD5\xD6\xD8\xF0\xF3\xF4\xF2\xF5\xF6\xF8"},
        {'u', "\xDA\xDB\xD9\xDC\xFA\xFB\xF9\xFC\xB5"},
        {'y', "\xDD\xFD\xFF\xA5"},
        {'p', "\xDE\xFE"},
        {'s', "$"},
        {'b', "\xDF"},
        {'r', "\xAE"},
        {'2', "\xB2"},
        {'3', "\xB3"},
        {' ', "\t\n"},
    };
    std::array<bool, 256> done{};
    for (const auto& row : kRows)
      for (const char* p = row.from; *p; ++p) {
        const unsigned char c = U(*p);
        if (m[c] == 0 || done[c]) continue;
        done[c] = true;
        m[c] = U(row.to);
      }
    return m;
  }();
  return map;
}

// FoldText's tables for bytes that cannot start a shape: the byte written
// (folded) and whether anything is written (not dropped).
struct FoldTables {
  std::array<unsigned char, 256> out{};
  std::array<unsigned char, 256> kept{};
  std::array<bool, 256> shape{};  // '|', '/', '\\', 'v': may start a shape
};

const FoldTables& FoldFast() {
  static const FoldTables f = [] {
    FoldTables r;
    const auto& map = FoldMap();
    for (int c = 0; c < 256; ++c) {
      r.out[c] = map[c] == 1 ? static_cast<unsigned char>(c) : map[c];
      r.kept[c] = map[c] != 0;
    }
    r.shape[U('|')] = r.shape[U('/')] = r.shape[U('\\')] = r.shape[U('v')] = true;
    return r;
  }();
  return f;
}

const char* const kEnglishStop[] = {
    "hello", "all", "am",  "an",   "and",  "are",  "be",   "dear", "down",
    "for",   "from", "have", "here", "is",  "no",   "not",  "now",  "of",
    "on",    "or",  "our", "some", "the",  "them", "this", "to",   "up",
    "we",    "will", "with", "yes", "you", "your", "if",   "by",   "about"};
static_assert(sizeof(kEnglishStop) / sizeof(kEnglishStop[0]) == 36, "36 English stop words");

const char* const kGermanStop[] = {
    "hallo", "alle",   "bin",   "ein",  "und",   "sind",
    "sein",  "sehr",   "ich",   "f\xFCr", "von",  "haben",
    "du",    "ist",    "nein",  "nicht", "jetzt", "noch",
    "schon", "oder",   "unser", "unsere", "der",  "die",
    "das",   "wir",    "ihr",   "sie",  "kann",  "k\xF6nnen",
    "muss",  "m\xFCssen", "gute", "guten", "tag",  "\xFC" "ber",
    "in",    "im",     "da\xDF", "dass", "bitte", "danke",
    "dann",  "bald"};
static_assert(sizeof(kGermanStop) / sizeof(kGermanStop[0]) == 44, "44 German stop words");

}  // namespace

std::string WordList(const std::string& text) {
  const ByteSet& breaks = WordBreaks();
  const ByteSet& edges = WordEdges();
  // The text trimmed; lower-casing happens as words are copied out.
  std::size_t tb = 0, te = text.size();
  while (tb < te && U(text[tb]) <= ' ') ++tb;
  while (te > tb && U(text[te - 1]) <= ' ') --te;
  const char* const t = text.data();
  std::string result = "\"";
  result.reserve(te - tb + 2);
  std::size_t start = tb;
  for (std::size_t i = tb; i <= te; ++i) {
    if (i < te && !breaks.Has(t[i])) continue;
    // Finish the word t[start, i): strip word edges from both ends, then
    // blanks and controls (lower-casing changes none of these).
    std::size_t b = start, e = i;
    while (b < e && edges.Has(t[b])) ++b;
    while (e > b && edges.Has(t[e - 1])) --e;
    while (b < e && U(t[b]) <= ' ') ++b;
    while (e > b && U(t[e - 1]) <= ' ') --e;
    if (e - b > 1) {
      const std::size_t len = std::min<std::size_t>(e - b, 500);
      const std::size_t at = result.size();
      result.resize(at + len + 1);
      char* d = &result[at];
      for (std::size_t k = 0; k < len; ++k) d[k] = AsciiLowerChar(t[b + k]);
      d[len] = '"';
    }
    start = i + 1;
  }
  return result;
}

std::string FoldText(const std::string& text) {
  const auto& map = FoldMap();
  const FoldTables& fast = FoldFast();
  const std::size_t n = text.size();
  const char* const s = text.data();
  std::string out(n, '\0');
  char* const w0 = &out[0];
  char* w = w0;
  int prev = -1;  // previously read byte (lower case); -1 = none or a consumed character
  std::size_t i = 0;
  while (i < n) {
    const char c = AsciiLowerChar(s[i]);
    if (!fast.shape[U(c)]) {
      // Not the start of a shape: write the folded byte unless it is dropped
      // or repeats the previous byte.
      *w = static_cast<char>(fast.out[U(c)]);
      w += (U(c) != prev) & fast.kept[U(c)];
      prev = U(c);
      ++i;
      continue;
    }
    if (U(c) == prev) {  // a run of one character collapses to one
      ++i;
      continue;
    }
    prev = U(c);
    // Shapes start with '|', '/', '\' or 'v' and are tested on the
    // characters as written (lower-cased), before folding.
    if (c == '|' || c == '/' || c == '\\' || c == 'v') {
      if (i + 3 < n) {
        const char a = AsciiLowerChar(s[i + 1]), b = AsciiLowerChar(s[i + 2]), d = AsciiLowerChar(s[i + 3]);
        if ((c == '|' || c == '/') && a == '\\' && b == '/' && (d == '|' || d == '\\')) {
          *w++ = 'm';
          i += 4;
          prev = -1;
          continue;
        }
        if ((c == '|' || c == '\\') && a == '/' && b == '\\' && (d == '|' || d == '/')) {
          *w++ = 'w';
          i += 4;
          prev = -1;
          continue;
        }
      }
      if (i + 1 < n) {
        const char a = AsciiLowerChar(s[i + 1]);
        if ((c == '\\' && a == '/') || (c == 'v' && a == 'v')) {
          *w++ = c == 'v' ? 'w' : 'v';
          i += 2;
          prev = -1;
          continue;
        }
      }
    }
    const unsigned char m = map[U(c)];
    if (m == 1)
      *w++ = c;
    else if (m != 0)
      *w++ = static_cast<char>(m);
    ++i;
  }
  out.resize(static_cast<std::size_t>(w - w0));
  return out;
}

bool HasStopWords(const std::string& wordList, StopWordLanguage language, int threshold) {
  if (threshold <= 0) return true;
  const char* const* words = language == StopWordLanguage::German ? kGermanStop : kEnglishStop;
  const std::size_t count = language == StopWordLanguage::German
                                ? sizeof(kGermanStop) / sizeof(kGermanStop[0])
                                : sizeof(kEnglishStop) / sizeof(kEnglishStop[0]);
  int found = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (QuotedListHas(wordList, words[i]) && ++found >= threshold) return true;
  }
  return false;
}

int CountBrokenWords(const std::string& text, const std::string& extraLetters) {
  ByteSet letters(std::string("abcdefghijklmnopqrstuvwxyz\xE4\xF6\xFC\xDF -/\\\xB4`'"));
  letters.Add(extraLetters);
  int count = 0;
  for (const std::string& word : QuotedListItems(WordList(text))) {
    bool letterSeen = false, gap = false;
    for (char c : word) {
      if (letters.Has(c)) {
        if (letterSeen && gap) {
          ++count;
          break;
        }
        letterSeen = true;
        gap = false;
      } else if (letterSeen) {
        gap = true;
      }
    }
  }
  return count;
}

std::string LettersOnly(const std::string& text) {
  std::string r;
  r.reserve(text.size());
  for (char c : text) {
    c = AsciiLowerChar(c);
    if (c >= 'a' && c <= 'z') r += c;
  }
  return r;
}

int CountShortTagTexts(const std::string& html, int minimum, int maximum, int limit) {
  if (minimum < 1) minimum = 1;
  if (maximum > 99) maximum = 4;
  int count = 0;
  std::size_t gt = html.find('>');
  std::size_t lt = gt == std::string::npos ? gt : html.find('<', gt + 1);
  while (gt != std::string::npos && lt != std::string::npos) {
    const std::size_t len = lt - gt - 1;
    if (static_cast<long long>(len) >= minimum && static_cast<long long>(len) <= maximum) {
      bool blank = true;
      for (std::size_t i = gt + 1; i < lt; ++i)
        if (U(html[i]) > ' ') {
          blank = false;
          break;
        }
      if (!blank && ++count >= limit) break;
    }
    gt = html.find('>', lt + 1);
    lt = gt == std::string::npos ? gt : html.find('<', gt + 1);
  }
  return count;
}

}  // namespace quelta
