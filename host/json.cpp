#include "json.h"

#include <cstdint>
#include <cstdio>

namespace quelta_host {

namespace {

// Windows-1252 0x80..0x9F; the five unassigned bytes keep their number.
const std::uint16_t k1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Length of the valid UTF-8 sequence at s[i], 0 when invalid.
std::size_t Utf8Length(const std::string& s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  std::size_t n;
  std::uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) { n = 2; cp = c & 0x1F; }
  else if (c >= 0xE0 && c <= 0xEF) { n = 3; cp = c & 0x0F; }
  else if (c >= 0xF0 && c <= 0xF4) { n = 4; cp = c & 0x07; }
  else return 0;
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
    return 0;
  return n;
}

bool IsUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) { ++i; continue; }
    const std::size_t n = Utf8Length(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

}  // namespace

std::string JsonString(const std::string& text, TextKind kind) {
  const bool passUtf8 = kind == TextKind::FileName && IsUtf8(text);
  std::string out = "\"";
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else if (c < 0x80 || passUtf8) {
      out += ch;
    } else if (kind == TextKind::Ansi && c < 0xA0) {
      AppendUtf8(out, k1252[c - 0x80]);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out + "\"";
}

}  // namespace quelta_host
