#include "message/mime.h"

#include "base/strings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace quelta {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr char kParamSep = '\x01';

inline bool IsTrimmable(char c) { return static_cast<unsigned char>(c) <= ' '; }


std::string_view TrimLeftView(std::string_view s) {
  std::size_t b = 0;
  while (b < s.size() && IsTrimmable(s[b])) ++b;
  return s.substr(b);
}

inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string LowerCopy(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = LowerAscii(c);
  return r;
}

bool EqualsLower(std::string_view s, std::string_view lowerWord) {
  if (s.size() != lowerWord.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i)
    if (LowerAscii(s[i]) != lowerWord[i]) return false;
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Decoding table of the base64 alphabet: 0..63, 64 for "=", 255 otherwise.
const std::array<std::uint8_t, 256>& Base64Table() {
  static const std::array<std::uint8_t, 256> table = [] {
    std::array<std::uint8_t, 256> t{};
    t.fill(255);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
    t[static_cast<unsigned char>('=')] = 64;
    return t;
  }();
  return table;
}

// Base64 of a text after removing CR and LF, trimming and padding with "="
// to a multiple of four (the form used for bodies and for B-encoded words).
// CR, LF and the trimmed characters are all outside the alphabet and so are
// skipped by the decoder anyway, and "=" padding at the end only flushes
// the last group, which the decoder does at the end in any case: the result
// is the plain decoding of the text.
std::string Base64DecodePadded(std::string_view text) { return Base64Decode(text); }

// Text framed as CR LF + t + CR LF, searched without building the copy.
// Positions are in the framed text. Patterns must begin with CR and end
// with LF (the multipart delimiters do).
class FramedText {
 public:
  explicit FramedText(std::string_view t) : t_(t) {}
  std::size_t size() const { return t_.size() + 4; }
  char at(std::size_t i) const {
    if (i < 2) return kCrLf[i];
    if (i - 2 < t_.size()) return t_[i - 2];
    return kCrLf[i - 2 - t_.size()];
  }
  bool MatchesAt(std::size_t pos, std::string_view p) const {
    if (pos + p.size() > size()) return false;
    for (std::size_t k = 0; k < p.size(); ++k)
      if (at(pos + k) != p[k]) return false;
    return true;
  }
  // Earliest position >= from where p occurs, npos when none. Only three
  // kinds of match exist: at 0 (using the leading CR LF), inside t, and
  // ending exactly at the end (using the trailing CR LF); a match at 1 or
  // ending one before the end is impossible for a CR...LF pattern.
  std::size_t Find(std::string_view p, std::size_t from) const {
    if (p.empty() || p.size() > size()) return std::string_view::npos;
    if (from == 0 && MatchesAt(0, p)) return 0;
    std::size_t best = std::string_view::npos;
    std::size_t innerFrom = from < 2 ? 0 : from - 2;
    if (innerFrom <= t_.size()) {
      std::size_t j = t_.find(p, innerFrom);
      if (j != std::string_view::npos) best = j + 2;
    }
    std::size_t tail = size() - p.size();
    if (tail >= 2 && tail >= from && tail < best && MatchesAt(tail, p)) best = tail;
    return best;
  }
  // Text of framed positions [b, e), which lie inside t.
  std::string_view Slice(std::size_t b, std::size_t e) const { return t_.substr(b - 2, e - b); }

 private:
  std::string_view t_;
};

void ParseMultipartLevel(MimeParts& out, std::string_view body, std::string_view boundary,
                         std::size_t maxDataSize, int depth) {
  if (boundary.empty()) return;
  const FramedText text(body);
  std::string delim;
  delim.reserve(boundary.size() + 6);
  delim.append("\r\n--").append(boundary).append("\r\n");
  std::string closing;
  closing.reserve(boundary.size() + 8);
  closing.append("\r\n--").append(boundary).append("--\r\n");

  std::size_t first = text.Find(delim, 0);
  if (first == std::string_view::npos) return;
  std::size_t start = first + delim.size();
  for (;;) {
    bool last = false;
    std::size_t d = text.Find(delim, start);
    if (d == std::string_view::npos) {
      d = text.Find(closing, start);
      if (d == std::string_view::npos) return;
      last = true;
    }
    std::string_view partText = text.Slice(start, d);
    std::string rawHeader = RawHeaderOf(partText);
    std::string header = UnfoldHeader(rawHeader);
    std::string framedLower = FrameLowerHeader(header);
    std::string contentType =
        NormaliseContentType(LookupHeader(header, framedLower, "content-type"));
    std::string inner = ContentTypeParameter(contentType, "boundary");
    if (!inner.empty() && depth < kMaxMimeDepth) {
      ParseMultipartLevel(out, partText, inner, maxDataSize, depth + 1);
    } else {
      // A leaf (or a container nested too deeply, kept whole as a leaf).
      MimePart part;
      part.rawBody = RawBodyOf(partText);
      part.contentType = ContentTypeMediaType(contentType);
      part.name = ContentTypeParameter(contentType, "name");
      part.charset = ContentTypeParameter(contentType, "charset");
      part.contentId = LookupHeader(header, framedLower, "content-id");
      part.transferEncoding = LookupHeader(header, framedLower, "content-transfer-encoding");
      part.rawHeader = std::move(rawHeader);
      part.header = std::move(header);
      const int index = static_cast<int>(out.parts.size());
      if (EqualsLower(part.contentType, "text/plain")) out.plainIndex = index;
      if (EqualsLower(part.contentType, "text/html")) out.htmlIndex = index;
      if (TrimView(part.contentType).empty() && out.plainIndex < 0) {
        out.plainIndex = index;
        part.contentType = "text/plain";
      }
      if (out.plainIndex == index || out.htmlIndex == index) {
        part.decodedBody = part.transferEncoding.empty()
                               ? part.rawBody
                               : DecodeBody(part.rawBody, part.transferEncoding, maxDataSize);
      }
      out.parts.push_back(std::move(part));
    }
    if (last) return;
    // The next part begins at the CR LF that ends this delimiter line.
    start = d + boundary.size() + 4;
  }
}

}  // namespace

// ---- Header and body -----------------------------------------------------

std::string RawHeaderOf(std::string_view message) {
  std::size_t p = message.find("\r\n\r\n");
  if (p == std::string_view::npos) return std::string(message);
  return std::string(message.substr(0, p + 2));
}

std::string RawBodyOf(std::string_view message) {
  std::size_t p = message.find("\r\n\r\n");
  if (p == std::string_view::npos) return std::string();
  return std::string(message.substr(p + 4));
}

std::string UnfoldHeader(std::string_view raw) {
  // Each line gives at most its own bytes: the result fits the raw header.
  std::string out(raw.size(), '\0');
  char* const begin = out.data();
  char* o = begin;
  // Writes c; a blank directly after a blank is dropped, so the result
  // never holds two adjacent blanks.
  auto put = [&o, begin](char c) {
    if (c == '\t') c = ' ';
    if (c == ' ' && o != begin && o[-1] == ' ') return;
    *o++ = c;
  };
  std::size_t pos = 0;
  for (;;) {
    std::size_t e = raw.find(kCrLf, pos);
    if (e == std::string_view::npos) break;
    for (char c : TrimView(raw.substr(pos, e - pos))) put(c);
    std::size_t next = e + 2;
    if (next < raw.size() && (raw[next] == ' ' || raw[next] == '\t')) {
      put(' ');
    } else {
      *o++ = '\r';
      *o++ = '\n';
    }
    pos = next;
  }
  out.resize(static_cast<std::size_t>(o - begin));
  return out;
}

std::string FrameLowerHeader(std::string_view header) {
  std::string r(header.size() + 2, '\0');
  r[0] = '\r';
  r[1] = '\n';
  std::transform(header.begin(), header.end(), r.begin() + 2, LowerAscii);
  return r;
}

namespace {

// The value of the header line whose CR LF stands at q in the framed header
// and whose name is nameSize bytes long.
std::string HeaderValueAt(std::string_view header, std::size_t q, std::size_t nameSize) {
  // framedLower has two more leading characters than header: the value
  // starts after "<name>:".
  const std::size_t start = q + nameSize + 1;
  if (start > header.size()) return std::string();
  std::size_t end = header.find(kCrLf, start);
  if (end == std::string_view::npos) end = header.size();
  return std::string(TrimLeftView(header.substr(start, end - start)));
}

}  // namespace

std::string LookupHeader(std::string_view header, std::string_view framedLower,
                         std::string_view name) {
  std::string key;
  key.reserve(name.size() + 3);
  key.append("\r\n");
  for (char c : name) key.push_back(LowerAscii(c));
  key.push_back(':');
  const std::size_t q = framedLower.find(key);
  if (q == std::string_view::npos) return std::string();
  return HeaderValueAt(header, q, name.size());
}

HeaderIndex::HeaderIndex(std::string_view framedLower) : framedLower_(framedLower) {
  for (std::size_t q = framedLower.find(kCrLf); q != std::string_view::npos;) {
    const std::size_t next = framedLower.find(kCrLf, q + 2);
    const std::size_t colon = framedLower.find(':', q + 2);
    if (colon != std::string_view::npos && colon < next)
      lines_.emplace(framedLower.substr(q + 2, colon - q - 2), q);  // the first line of a name stays
    q = next;
  }
}

std::string HeaderIndex::Lookup(std::string_view header, std::string_view name) const {
  // A name with a colon in it may stand for more than the text before a
  // line's first colon.
  if (name.find(':') != std::string_view::npos) return LookupHeader(header, framedLower_, name);
  std::string lower(name);
  for (char& c : lower) c = LowerAscii(c);
  const auto it = lines_.find(lower);
  return it == lines_.end() ? std::string() : HeaderValueAt(header, it->second, name.size());
}

std::string LookupHeader(std::string_view header, std::string_view name) {
  return LookupHeader(header, FrameLowerHeader(header), name);
}

// ---- Content-Type ----------------------------------------------------------

std::string NormaliseContentType(std::string_view value) {
  std::string r;
  r.reserve(value.size());
  bool quoted = false;
  for (char c : value) {
    if (c == '"') {
      quoted = !quoted;
    } else if (quoted) {
      r.push_back(c);
    } else if (c == ';') {
      r.push_back(kParamSep);
    } else if (c != ' ') {
      r.push_back(c);
    }
  }
  return r;
}

std::string ContentTypeMediaType(std::string_view normalised) {
  std::size_t p = normalised.find(kParamSep);
  return std::string(TrimView(normalised.substr(0, p)));
}

std::string ContentTypeParameter(std::string_view normalised, std::string_view name) {
  // Searched as 0x01 + normalised + 0x01 for 0x01 + name + "=".
  std::string framed;
  framed.reserve(normalised.size() + 2);
  framed.push_back(kParamSep);
  framed.append(normalised);
  framed.push_back(kParamSep);
  std::string lower = LowerCopy(framed);
  std::string key;
  key.reserve(name.size() + 2);
  key.push_back(kParamSep);
  for (char c : name) key.push_back(LowerAscii(c));
  key.push_back('=');
  std::size_t q = lower.find(key);
  if (q == std::string::npos) return std::string();
  std::size_t start = q + key.size();
  std::size_t end = framed.find(kParamSep, start);
  if (end == std::string::npos) end = framed.size();
  return std::string(TrimView(std::string_view(framed).substr(start, end - start)));
}

// ---- Decoders -------------------------------------------------------------

std::string QuotedPrintableDecode(std::string_view text) {
  std::string r;
  r.resize(text.size());
  char* out = r.data();
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const char* eq = static_cast<const char*>(std::memchr(p, '=', static_cast<std::size_t>(end - p)));
    if (!eq) eq = end;
    std::memcpy(out, p, static_cast<std::size_t>(eq - p));
    out += eq - p;
    p = eq;
    if (p == end) break;
    const std::size_t left = static_cast<std::size_t>(end - p);
    if (left > 1 && p[1] == '\n') {  // soft line break (LF)
      p += 2;
      continue;
    }
    if (left > 2 && p[1] == '\r' && p[2] == '\n') {  // soft line break
      p += 3;
      continue;
    }
    if (left > 2) {
      int hi = HexValue(p[1]), lo = HexValue(p[2]);
      if (hi >= 0 && lo >= 0) {
        *out++ = static_cast<char>(hi * 16 + lo);
        p += 3;
        continue;
      }
    }
    *out++ = '=';
    ++p;
  }
  r.resize(static_cast<std::size_t>(out - r.data()));
  return r;
}

std::string Base64Decode(std::string_view text) {
  const auto& table = Base64Table();
  std::string r;
  r.resize(text.size() / 4 * 3 + 3);
  char* out = r.data();
  std::uint32_t acc = 0;
  int count = 0;
  for (char c : text) {
    const std::uint8_t v = table[static_cast<unsigned char>(c)];
    if (v < 64) {
      acc = (acc << 6) | v;
      if (++count == 4) {
        out[0] = static_cast<char>((acc >> 16) & 0xFF);
        out[1] = static_cast<char>((acc >> 8) & 0xFF);
        out[2] = static_cast<char>(acc & 0xFF);
        out += 3;
        acc = 0;
        count = 0;
      }
    } else if (v == 64) {  // "=": the group ends here
      if (count == 2) {
        *out++ = static_cast<char>((acc >> 4) & 0xFF);
      } else if (count == 3) {
        *out++ = static_cast<char>((acc >> 10) & 0xFF);
        *out++ = static_cast<char>((acc >> 2) & 0xFF);
      }
      acc = 0;
      count = 0;
    }
  }
  if (count == 2) {
    *out++ = static_cast<char>((acc >> 4) & 0xFF);
  } else if (count == 3) {
    *out++ = static_cast<char>((acc >> 10) & 0xFF);
    *out++ = static_cast<char>((acc >> 2) & 0xFF);
  }
  r.resize(static_cast<std::size_t>(out - r.data()));
  return r;
}

std::string DecodeBody(std::string_view body, std::string_view encoding,
                       std::size_t maxDataSize) {
  if (EqualsLower(encoding, "quoted-printable"))
    return QuotedPrintableDecode(body.substr(0, maxDataSize));
  if (EqualsLower(encoding, "base64")) return Base64DecodePadded(body.substr(0, maxDataSize));
  return std::string(body);
}

std::string DecodeHeaderWords(std::string_view text) {
  // The text is out + buf[i..]. out never holds "=?" and never changes
  // again except that its last character can return to buf when it is "="
  // and buf starts with "?" (a marker formed across the seam). Each decoded
  // word is never longer than the word it replaces, so it is written back
  // into buf in place, ending where the word ended. This gives the result
  // of restarting the search at the beginning after every word, in about
  // linear time.
  std::string out;
  std::string buf(text);
  std::size_t i = 0;
  for (;;) {
    std::size_t p1;
    if (!out.empty() && out.back() == '=' && i < buf.size() && buf[i] == '?' && i > 0) {
      out.pop_back();
      buf[--i] = '=';
      p1 = i;
    } else {
      p1 = buf.find("=?", i);
      if (p1 == std::string::npos) break;
      out.append(buf, i, p1 - i);
      i = p1;
    }
    std::size_t p2 = buf.find("?=", p1);
    if (p2 == std::string::npos) break;
    std::string_view inner =
        p2 >= p1 + 2 ? std::string_view(buf).substr(p1 + 2, p2 - p1 - 2) : std::string_view();
    std::size_t q1 = inner.find('?');
    std::size_t q2 = q1 == std::string_view::npos ? q1 : inner.find('?', q1 + 1);
    if (q2 == std::string_view::npos || inner.find('?', q2 + 1) != std::string_view::npos)
      break;  // not exactly two "?": the rest stays as it is
    std::string_view encoding = inner.substr(q1 + 1, q2 - q1 - 1);
    std::string_view encoded = inner.substr(q2 + 1);
    std::string decoded;
    if (encoding == "q" || encoding == "Q") {
      decoded = QuotedPrintableDecode(encoded);
      for (char& c : decoded)
        if (c == '_') c = ' ';
    } else if (encoding == "b" || encoding == "B") {
      decoded = Base64DecodePadded(encoded);
    } else {
      decoded = std::string(encoded);
    }
    const std::size_t wordEnd = p2 + 2;
    if (decoded.size() <= wordEnd - p1) {
      i = wordEnd - decoded.size();
      buf.replace(i, decoded.size(), decoded);
    } else {  // cannot happen (decoding never grows a word); kept safe anyway
      buf = decoded + buf.substr(wordEnd);
      i = 0;
    }
  }
  out.append(buf, i, std::string::npos);
  return out;
}

// ---- Multipart -------------------------------------------------------------

void ParseMultipart(MimeParts& out, std::string_view body, std::string_view boundary,
                    std::size_t maxDataSize) {
  ParseMultipartLevel(out, body, boundary, maxDataSize, 1);
}

}  // namespace quelta
