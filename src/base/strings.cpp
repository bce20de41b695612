#include "base/strings.h"

#include <limits>

namespace quelta {

namespace {

inline unsigned char U(char c) { return static_cast<unsigned char>(c); }
inline bool IsDigitC(char c) { return c >= '0' && c <= '9'; }

int HexVal(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

template <typename T>
bool ParseSigned(const std::string& s, T& out) {
  std::size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    neg = s[i] == '-';
    ++i;
  }
  if (i >= s.size()) return false;
  // Accumulate negatively so that the minimum value fits.
  const T minV = std::numeric_limits<T>::min();
  T v = 0;
  for (; i < s.size(); ++i) {
    if (!IsDigitC(s[i])) return false;
    const T d = static_cast<T>(s[i] - '0');
    if (v < (minV + d) / 10) return false;
    v = static_cast<T>(v * 10 - d);
  }
  if (!neg) {
    if (v == minV) return false;
    v = static_cast<T>(-v);
  }
  out = v;
  return true;
}

}  // namespace

// ---- Trimming and case --------------------------------------------------------

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && U(s[b]) <= ' ') ++b;
  while (e > b && U(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::string_view TrimView(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}


std::string AsciiLower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiLowerChar(c);
  return r;
}

std::string AsciiUpper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiUpperChar(c);
  return r;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (AsciiUpperChar(s[i]) != AsciiUpperChar(prefix[i])) return false;
  return true;
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && StartsWithNoCase(s.substr(s.size() - suffix.size()), suffix);
}

bool HasOption(std::string_view flags, char letter) {
  const char upper = AsciiUpperChar(letter);
  for (char c : flags)
    if (AsciiUpperChar(c) == upper) return true;
  return false;
}

// ---- Numbers ------------------------------------------------------------------

bool TryStrToInt(const std::string& s, std::int32_t& out) { return ParseSigned(s, out); }

std::int32_t StrToIntDef(const std::string& s, std::int32_t def) {
  std::int32_t v = 0;
  return ParseSigned(s, v) ? v : def;
}

bool TryStrToInt64(const std::string& s, std::int64_t& out) { return ParseSigned(s, out); }

std::int64_t StrToInt64Def(const std::string& s, std::int64_t def) {
  std::int64_t v = 0;
  return ParseSigned(s, v) ? v : def;
}

// ---- Tokens, searching and replacing --------------------------------------------

std::string GetToken(const std::string& text, const std::string& delim, int n) {
  if (n < 1) return std::string();
  if (delim.empty()) return n == 1 ? text : std::string();
  // Pieces of text + delim: every piece ends at a delimiter, the last one at
  // the appended delimiter. A longer delimiter can start inside the text and
  // end in the appended copy ("x-" + "--"), so it is split on the joined text.
  if (delim.size() > 1) {
    const std::string joined = text + delim;
    std::size_t start = 0;
    for (int i = 1;; ++i) {
      const std::size_t p = joined.find(delim, start);
      if (p == std::string::npos) return std::string();
      if (i == n) return joined.substr(start, p - start);
      start = p + delim.size();
    }
  }
  std::size_t start = 0;
  for (int i = 1;; ++i) {
    std::size_t p = text.find(delim, start);
    if (i == n) return text.substr(start, p == std::string::npos ? std::string::npos : p - start);
    if (p == std::string::npos) return std::string();
    start = p + delim.size();
  }
}

int CountOf(const std::string& text, const std::string& sub) {
  if (sub.empty()) return 0;
  int n = 0;
  for (std::size_t p = text.find(sub); p != std::string::npos; p = text.find(sub, p + 1)) ++n;
  return n;
}

std::string MidStr(const std::string& s, int pos, int count) {
  if (count <= 0) return std::string();
  if (pos < 0) pos = 0;
  const std::size_t p = static_cast<std::size_t>(pos);
  if (p >= s.size()) return std::string();
  return s.substr(p, static_cast<std::size_t>(count));
}

std::string ReplaceEach(const std::string& text, const std::string& what, const std::string& with) {
  if (what.empty()) return text;
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = text.find(what, pos);
    if (hit == std::string::npos) break;
    out.append(text, pos, hit - pos);
    out += with;
    pos = hit + what.size();
  }
  out.append(text, pos, std::string::npos);
  return out;
}

int HexPairToByte(char hi, char lo) {
  const int h = HexVal(hi), l = HexVal(lo);
  return (h < 0 || l < 0) ? -1 : h * 16 + l;
}

bool QuotedListHas(const std::string& quotedList, const std::string& item) {
  std::string key;
  key.reserve(item.size() + 2);
  key += '"';
  key += item;
  key += '"';
  return quotedList.find(key) != std::string::npos;
}

std::vector<std::string> QuotedListItems(const std::string& quotedList) {
  std::vector<std::string> items;
  // The text counts as starting and ending with '"'; the items are the
  // pieces between two adjacent quotes.
  std::size_t start = (!quotedList.empty() && quotedList[0] == '"') ? 1 : 0;
  if (quotedList.empty()) return items;
  for (;;) {
    const std::size_t q = quotedList.find('"', start);
    if (q == std::string::npos) {
      if (start < quotedList.size()) items.push_back(quotedList.substr(start));
      return items;
    }
    items.push_back(quotedList.substr(start, q - start));
    start = q + 1;
    if (start >= quotedList.size()) return items;
  }
}

// ---- Lines and pieces -----------------------------------------------------------------

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0, i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text, start, i - start);
      if (c == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
      ++i;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < n) lines.emplace_back(text, start, n - start);
  return lines;
}

std::vector<std::string> LineListItems(const std::string& text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t p = text.find("\r\n", start);
    if (p == std::string::npos) {
      items.push_back(text.substr(start));
      break;
    }
    items.push_back(text.substr(start, p - start));
    start = p + 2;
  }
  return items;
}

std::vector<std::string> SplitAt(const std::string& text, char delim) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    std::size_t p = text.find(delim, start);
    if (p == std::string::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, p - start));
    start = p + 1;
  }
}

}  // namespace quelta
