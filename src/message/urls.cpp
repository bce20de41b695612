#include "message/urls.h"

#include <algorithm>
#include <string_view>

#include "base/ipv4.h"
#include "base/strings.h"
#include "os/env.h"

namespace quelta {

namespace {

inline unsigned char U(char c) { return static_cast<unsigned char>(c); }

// " " + s ASCII-lowered + " ", built in one pass.
std::string PaddedLower(const std::string& s) {
  std::string r(s.size() + 2, ' ');
  char* w = &r[1];
  for (char c : s) *w++ = AsciiLowerChar(c);
  return r;
}

}  // namespace

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

SubDomainList::SubDomainList(std::string file) : file_(std::move(file)) {}

bool SubDomainList::Contains(const std::string& suffix) const {
  std::lock_guard<std::mutex> guard(mutex_);
  const std::int64_t size = os::FileSize(file_);
  if (size != size_) {
    size_ = size;
    lines_.clear();
    std::string data;
    present_ = os::ReadFile(file_, data);
    if (present_)
      for (std::string& line : SplitLines(data)) lines_.insert(std::move(line));
  }
  return present_ && lines_.count(suffix) != 0;
}

namespace {

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

std::string UrlDomain(const std::string& url, const SubDomainList* twoLevel) {
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
  if (!third.empty() && twoLevel && twoLevel->Contains(two)) return third + "." + two;
  if (!two.empty() && two[0] == '.') two.erase(0, 1);
  return two;
}

std::string FindUrls(const std::string& text, const std::string& marker, bool withArgs) {
  static const ByteSet kUrl("abcdefghijklmnopqrstuvwxyz0123456789._-");
  static const ByteSet kTail("abcdefghijklmnopqrstuvwxyz0123456789._-:=/%*");
  static const ByteSet kTailArgs("abcdefghijklmnopqrstuvwxyz0123456789._-:=/%*?&");
  const ByteSet& tail = withArgs ? kTailArgs : kTail;
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

std::string UrlDomainList(const std::string& urlList, const SubDomainList* twoLevel) {
  std::string r;
  std::unordered_set<std::string> seen;
  for (const std::string& piece : QuotedListItems(urlList)) {
    std::string d = UrlDomain(AsciiLower(piece), twoLevel);
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
  static const ByteSet kAddr("abcdefghijklmnopqrstuvwxyz._-");
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
  static const ByteSet kHdr(
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

std::vector<AddressEntry> AddressEntries(const std::string& addressList) {
  std::vector<AddressEntry> entries;
  std::size_t start = 0;
  while (start < addressList.size()) {
    std::size_t e = addressList.find('\x01', start);
    if (e == std::string::npos) e = addressList.size();
    const std::string piece = addressList.substr(start, e - start);
    const std::size_t sep = piece.rfind('\x02');
    AddressEntry entry;
    if (sep == std::string::npos) {
      entry.name = piece;
    } else {
      entry.name = piece.substr(0, sep);
      entry.addr = piece.substr(sep + 1);
    }
    entries.push_back(std::move(entry));
    start = e + 1;
  }
  return entries;
}

std::string AddressLines(const std::string& value) {
  std::string r;
  for (const AddressEntry& e : AddressEntries(ParseAddressList(value, ""))) {
    if (!r.empty()) r += "\r\n";
    r += "<" + e.addr + ">";
  }
  return r;
}

}  // namespace quelta
