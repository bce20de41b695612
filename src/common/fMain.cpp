#include "common/fMain.h"

#include <algorithm>
#include <array>
#include <limits>
#include <mutex>
#include <new>
#include <string_view>
#include <unordered_set>

#include "platform/Env.h"
#include "plugin/fPlugin.h"

namespace quelta {

namespace {

inline unsigned char U(char c) { return static_cast<unsigned char>(c); }
inline char LowerC(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline bool IsDigitC(char c) { return c >= '0' && c <= '9'; }

int HexVal(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A 256-entry membership table for a character set.
struct TCharSet {
  std::array<bool, 256> in{};
  explicit TCharSet(const char* chars) {
    for (const char* p = chars; *p; ++p) in[U(*p)] = true;
  }
  bool Has(char c) const { return in[U(c)]; }
};

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

// " " + s ASCII-lowered + " ", built in one pass.
std::string PaddedLower(const std::string& s) {
  std::string r(s.size() + 2, ' ');
  char* w = &r[1];
  for (char c : s) *w++ = LowerC(c);
  return r;
}

}  // namespace

// ---- Basics ----------------------------------------------------------------

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && U(s[b]) <= ' ') ++b;
  while (e > b && U(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::string TrimLeft(const std::string& s) {
  std::size_t b = 0;
  while (b < s.size() && U(s[b]) <= ' ') ++b;
  return s.substr(b);
}

std::string TrimRight(const std::string& s) {
  std::size_t e = s.size();
  while (e > 0 && U(s[e - 1]) <= ' ') --e;
  return s.substr(0, e);
}

std::string AsciiLower(const std::string& s) {
  std::string r(s);
  for (char& c : r) c = LowerC(c);
  return r;
}

std::string AsciiUpper(const std::string& s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

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

// ---- Tokens and searching ---------------------------------------------------

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

std::string LeftStr(const std::string& s, int n) {
  if (n <= 0) return std::string();
  return s.substr(0, static_cast<std::size_t>(n));
}

std::string RightStr(const std::string& s, int n) {
  if (n <= 0) return std::string();
  const std::size_t k = static_cast<std::size_t>(n);
  return k >= s.size() ? s : s.substr(s.size() - k);
}

std::string MidStr(const std::string& s, int pos, int count) {
  if (count <= 0) return std::string();
  if (pos < 0) pos = 0;
  const std::size_t p = static_cast<std::size_t>(pos);
  if (p >= s.size()) return std::string();
  return s.substr(p, static_cast<std::size_t>(count));
}

std::string ReplaceAll(const std::string& text, const std::string& find, const std::string& repl,
                       bool ignoreCase) {
  const std::string src = ignoreCase ? AsciiLower(text) : text;
  if (find.empty()) return src;
  const std::string f = ignoreCase ? AsciiLower(find) : find;
  const std::size_t n = src.size(), fl = f.size();
  // Resuming one character after the start of the inserted text would find
  // the replacement's own copy of find again, forever; resume after it then.
  const bool resumeAfter = repl.size() > 1 && repl.find(f, 1) != std::string::npos;

  // The working string is out + pend + src[idx..]; out is final. pend is the
  // tail of the last replacement still to be searched; it never holds a
  // whole match of its own (see resumeAfter), so a match that starts in it
  // always reaches into src.
  std::string out;
  out.reserve(n);
  std::string pend;
  std::size_t idx = 0;
  auto afterMatch = [&](std::size_t next) {
    idx = next;
    pend.clear();
    if (resumeAfter) {
      out += repl;
    } else if (!repl.empty()) {
      out += repl[0];
      pend.assign(repl, 1, std::string::npos);
    } else if (idx < n) {
      out += src[idx++];  // resume one past where the (empty) replacement went
    }
  };
  for (;;) {
    bool matched = false;
    for (std::size_t k = 0; k < pend.size(); ++k) {
      const std::size_t L = pend.size() - k;  // < fl by construction
      if (L >= fl) continue;
      if (pend.compare(k, L, f, 0, L) == 0 && idx + (fl - L) <= n &&
          src.compare(idx, fl - L, f, L, fl - L) == 0) {
        out.append(pend, 0, k);
        afterMatch(idx + (fl - L));
        matched = true;
        break;
      }
    }
    if (matched) continue;
    out += pend;
    pend.clear();
    const std::size_t j = src.find(f, idx);
    if (j == std::string::npos) {
      out.append(src, idx, std::string::npos);
      return out;
    }
    out.append(src, idx, j - idx);
    afterMatch(j + fl);
  }
}

int FirstDelimiter(const std::string& delimiters, const std::string& text) {
  const std::size_t p = text.find_first_of(delimiters);
  return p == std::string::npos ? -1 : static_cast<int>(p);
}

bool IsIPv4(const std::string& text) {
  if (CountOf(text, ".") != 3) return false;
  for (int i = 1; i <= 4; ++i) {
    std::int32_t v = 0;
    if (!TryStrToInt(GetToken(text, ".", i), v) || v < 0 || v > 255) return false;
  }
  return true;
}

bool IsReservedAddress(const std::string& text) {
  static const char* const kPrefixes[] = {"10.",      "127.",     "169.254.", "172.31.",
                                          "191.255.", "192.0.0.", "192.168.", "223.255.255."};
  const std::string t = AsciiLower(text.substr(0, 16));
  for (const char* p : kPrefixes)
    if (t.compare(0, std::char_traits<char>::length(p), p) == 0) return true;
  return false;
}

bool IsDigitsOnly(const std::string& text) {
  for (char c : text)
    if (!IsDigitC(c)) return false;
  return true;
}

std::uint32_t Crc32(const std::string& text) {
  static const std::array<std::uint32_t, 256> kTable = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (char ch : text) crc = kTable[(crc ^ U(ch)) & 0xFFu] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
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

// ---- URLs and domains -------------------------------------------------------

std::string UrlUnescape(const std::string& text) {
  std::string r;
  r.reserve(text.size());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const char c = text[i];
    if (c == '+') {
      r += ' ';
      ++i;
    } else if (c == '&' && text.compare(i, 5, "&amp;") == 0) {
      r += '&';
      i += 5;
    } else if (c == '&' && text.compare(i, 4, "&lt;") == 0) {
      r += '<';
      i += 4;
    } else if (c == '&' && text.compare(i, 4, "&gt;") == 0) {
      r += '>';
      i += 4;
    } else if (c == '%') {
      // The two characters after '%', trimmed: fewer than two left (the
      // text ends, or a blank or control is among them) ends the decoding.
      if (n - i - 1 < 2 || U(text[i + 1]) <= ' ' || U(text[i + 2]) <= ' ') break;
      const int b = HexPairToByte(text[i + 1], text[i + 2]);
      if (b >= 0) r += static_cast<char>(b);
      i += 3;
    } else {
      r += c;
      ++i;
    }
  }
  return r;
}

namespace {

// The lines of the two-level domain list, re-read when its name or size
// changes (the file is small and read-only while the plug-in runs).
struct TSubDomainCache {
  std::mutex lock;
  std::string file;
  std::int64_t size = -1;
  bool present = false;
  std::unordered_set<std::string> lines;
};

TSubDomainCache& SubDomainCache() {
  static TSubDomainCache cache;
  return cache;
}

bool SubDomainListed(const std::string& file, const std::string& suffix) {
  if (file.empty()) return false;
  TSubDomainCache& c = SubDomainCache();
  std::lock_guard<std::mutex> guard(c.lock);
  const std::int64_t size = env::FileSize(file);
  if (c.file != file || c.size != size) {
    c.file = file;
    c.size = size;
    c.lines.clear();
    std::string data;
    c.present = env::ReadFile(file, data);
    if (c.present) {
      std::size_t start = 0;
      while (start < data.size()) {
        std::size_t e = data.find('\n', start);
        std::size_t end = e == std::string::npos ? data.size() : e;
        std::size_t len = end - start;
        if (len > 0 && data[start + len - 1] == '\r') --len;
        c.lines.insert(data.substr(start, len));
        if (e == std::string::npos) break;
        start = e + 1;
      }
    }
  }
  return c.present && c.lines.count(suffix) != 0;
}

// Takes the label after the last '.' off s (all of s when there is none).
std::string TakeLastLabel(std::string& s) {
  const std::size_t p = s.rfind('.');
  std::string label;
  if (p == std::string::npos) {
    label.swap(s);
  } else {
    label = s.substr(p + 1);
    s.erase(p);
  }
  return label;
}

}  // namespace

std::string UrlDomainWith(const std::string& url, const std::string& subDomainsFile) {
  std::string host = AsciiLower(url);
  if (host.compare(0, 8, "https://") == 0) host.erase(0, 8);
  if (host.compare(0, 7, "http://") == 0) host.erase(0, 7);
  const std::size_t slash = host.find('/');
  if (slash != std::string::npos) host.erase(slash);
  if (host.empty()) return std::string();
  if (IsIPv4(host)) return host;
  std::string s = "." + host;
  const std::string top = TakeLastLabel(s);
  const std::string second = TakeLastLabel(s);
  const std::string third = TakeLastLabel(s);
  std::string two = second + "." + top;
  if (!third.empty() && SubDomainListed(subDomainsFile, two)) return third + "." + two;
  if (!two.empty() && two[0] == '.') two.erase(0, 1);
  return two;
}

std::string UrlDomain(const std::string& url) {
  return UrlDomainWith(url, Objects().SubDomainsFile);
}

std::string FindUrls(const std::string& text, const std::string& marker, bool withArgs) {
  static const TCharSet kUrl("abcdefghijklmnopqrstuvwxyz0123456789._-");
  static const TCharSet kTail("abcdefghijklmnopqrstuvwxyz0123456789._-:=/%*");
  static const TCharSet kTailArgs("abcdefghijklmnopqrstuvwxyz0123456789._-:=/%*?&");
  const TCharSet& tail = withArgs ? kTailArgs : kTail;
  if (marker.empty()) return std::string();
  const std::string padded = PaddedLower(text);
  const std::string m = AsciiLower(marker);
  const std::size_t n = padded.size();

  // A text made of nothing but nested markers would give a result growing
  // with the square of its length; such a result is cut off.
  const std::size_t maxResult = std::max<std::size_t>(std::size_t(1) << 20, 4 * text.size());

  std::string result;
  std::unordered_set<std::string_view> seen;  // views into text
  // The walks remember where the previous ones ended, so that markers close
  // together (nested or inside one stretch) never rescan the text:
  // padded[runStart, scanned) is a run of URL letters that starts at runStart,
  // and padded[lastTail, lastEnd) is a run of tail characters ending at lastEnd.
  std::size_t runStart = 0, scanned = 0;
  std::size_t lastTail = 0, lastEnd = 0;
  std::size_t lastStart = 0;  // start of the previous marker's stretch
  for (std::size_t p = padded.find(m); p != std::string::npos; p = padded.find(m, p + m.size())) {
    // Walk left from p-1 over URL letters.
    std::size_t start = p;
    while (start > scanned && kUrl.Has(padded[start - 1])) --start;
    if (start == scanned) start = runStart;
    runStart = start;
    scanned = p;
    // Walk right from the character after the marker over tail characters.
    const std::size_t q = p + m.size();
    std::size_t end;
    if (q >= lastTail && q <= lastEnd) {
      end = lastEnd;
    } else {
      end = q;
      while (end < n && tail.Has(padded[end])) ++end;
    }
    // Markers inside one stretch ("www.www.www.") give the same URL again.
    if (start == lastStart && end == lastEnd) continue;
    lastStart = start;
    lastTail = q;
    lastEnd = end;
    // padded position i is text position i-1 (the padding itself is never
    // part of a URL)
    const std::size_t from = std::max<std::size_t>(start, 1);
    const std::size_t to = std::min(end, n - 1);
    if (to <= from) continue;
    const std::string_view url(text.data() + (from - 1), to - from);
    if (seen.insert(url).second) {
      if (result.size() + url.size() > maxResult) break;
      result.append(url.data(), url.size());
      result += '"';
    }
  }
  if (result == "\"") result.clear();
  return result;
}

std::string RawUrlList(const std::string& text, bool withArgs) {
  std::string r = FindUrls(text, "http://", withArgs);
  r += '"';
  r += FindUrls(text, "https://", withArgs);
  r += '"';
  r += FindUrls(text, "www.", withArgs);
  r += '"';
  return r;
}

std::string UrlListFromRaw(const std::string& rawUrlList) {
  std::string r = "\"";
  for (const std::string& piece : QuotedListItems(rawUrlList)) {
    r += UrlUnescape(piece);
    r += '"';
  }
  return r;
}

std::string UrlDomainList(const std::string& urlList) {
  std::string r;
  std::unordered_set<std::string> seen;
  const std::string subFile = Objects().SubDomainsFile;
  for (const std::string& piece : QuotedListItems(urlList)) {
    std::string d = UrlDomainWith(AsciiLower(piece), subFile);
    if (d.empty()) continue;
    if (seen.insert(d).second) {
      r += d;
      r += '"';
    }
  }
  if (r.empty()) return r;
  return "\"" + r;
}

// ---- E-mail addresses -------------------------------------------------------

std::string FindEmails(const std::string& text) {
  static const TCharSet kAddr("abcdefghijklmnopqrstuvwxyz._-");
  const std::string padded = PaddedLower(text);
  const std::size_t n = padded.size();
  std::string result;
  std::unordered_set<std::string> seen;
  bool irregular = false;  // some item holds '<' or '>'
  for (std::size_t p = padded.find('@'); p != std::string::npos; p = padded.find('@', p + 1)) {
    std::size_t start = p;
    while (start > 0 && kAddr.Has(padded[start - 1])) --start;
    std::size_t end = p + 2;  // the character after '@' is taken as it is
    if (end > n) end = n;
    while (end < n && kAddr.Has(padded[end])) ++end;
    if (end - (p + 1) < 4) continue;
    const std::string addr = padded.substr(start, end - start);
    const std::size_t at = addr.rfind('@');
    const std::size_t dot = addr.rfind('.');
    if (dot == std::string::npos || dot < at || addr.size() - dot - 1 < 2) continue;
    const std::string item = "<" + addr + ">";
    const bool odd = addr.find_first_of("<>") != std::string::npos;
    bool present;
    if (irregular || odd)
      present = result.find(item) != std::string::npos;
    else
      present = seen.count(addr) != 0;
    if (present) continue;
    irregular = irregular || odd;
    seen.insert(addr);
    result += item;
  }
  return result;
}

std::string EmlDomainList(const std::string& emlList) {
  std::string t = Trim(emlList);
  if (t.empty()) return std::string();
  // The outer brackets of the first and last item go with the split.
  if (t.front() == '<') t.erase(0, 1);
  if (!t.empty() && t.back() == '>') t.pop_back();
  std::string r;
  std::size_t start = 0;
  for (;;) {
    const std::size_t q = t.find("><", start);
    const std::string piece =
        t.substr(start, q == std::string::npos ? std::string::npos : q - start);
    const std::size_t at = piece.find('@');
    if (at != std::string::npos && at + 1 < piece.size()) {
      r += piece.substr(at + 1);
      r += '"';
    }
    if (q == std::string::npos) break;
    start = q + 2;
  }
  if (r.empty()) return r;
  return "\"" + r;
}

namespace {

void AppendEntry(std::string& out, const std::string& entry, std::size_t sign) {
  static const TCharSet kHdr(
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890._-");
  std::string name, addr;
  if (sign != std::string::npos) {
    std::size_t l = sign, r = sign + 1;
    while (l > 0 && kHdr.Has(entry[l - 1])) --l;
    while (r < entry.size() && kHdr.Has(entry[r])) ++r;
    addr = entry.substr(l, r - l);
    name = entry.substr(0, l) + entry.substr(r);
  } else {
    name = entry;
  }
  // Remove every "<>" (left where the address was), non-overlapping.
  std::string cleaned;
  cleaned.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '<' && i + 1 < name.size() && name[i + 1] == '>') {
      ++i;
      continue;
    }
    cleaned += name[i];
  }
  name = Trim(cleaned);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
    name = name.substr(1, name.size() - 2);
  else if (name.size() >= 2 && name.front() == '(' && name.back() == ')')
    name = name.substr(1, name.size() - 2);
  out += name;
  out += '\x02';
  out += addr;
  out += '\x01';
}

}  // namespace

std::string ParseAddressList(const std::string& value, const std::string& errorValue) {
  try {
    const std::string v = Trim(value) + ",";
    if (v == ",") return std::string();
    std::string out;
    enum { kNone, kQuote, kParen } state = kNone;
    std::size_t entryStart = 0, sign = std::string::npos;
    for (std::size_t i = 0; i < v.size(); ++i) {
      const char c = v[i];
      if (state == kQuote) {
        if (c == '"') state = kNone;
      } else if (state == kParen) {
        if (c == ')') state = kNone;
      } else if (c == '"') {
        state = kQuote;
      } else if (c == '(') {
        state = kParen;
      } else if (c == '@') {
        if (sign == std::string::npos) sign = i - entryStart;
      } else if (c == ',') {
        AppendEntry(out, v.substr(entryStart, i - entryStart), sign);
        entryStart = i + 1;
        sign = std::string::npos;
      }
    }
    return out;
  } catch (...) {
    return errorValue;
  }
}

std::vector<TAddressEntry> AddressEntries(const std::string& addressList) {
  std::vector<TAddressEntry> entries;
  std::size_t start = 0;
  while (start < addressList.size()) {
    std::size_t e = addressList.find('\x01', start);
    if (e == std::string::npos) e = addressList.size();
    const std::string piece = addressList.substr(start, e - start);
    const std::size_t sep = piece.rfind('\x02');
    TAddressEntry entry;
    if (sep == std::string::npos) {
      entry.Name = piece;
    } else {
      entry.Name = piece.substr(0, sep);
      entry.Addr = piece.substr(sep + 1);
    }
    entries.push_back(std::move(entry));
    start = e + 1;
  }
  return entries;
}

std::string AddressLines(const std::string& value) {
  std::string r;
  for (const TAddressEntry& e : AddressEntries(ParseAddressList(value, ""))) {
    if (!r.empty()) r += "\r\n";
    r += "<" + e.Addr + ">";
  }
  return r;
}

std::string_view TrimView(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

}  // namespace quelta
