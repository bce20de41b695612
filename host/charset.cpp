#include "charset.h"

#include <cctype>

namespace quelta_host {

namespace {

// Windows-1252 0x80..0x9F; the five unassigned bytes keep their number.
constexpr char16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Where ISO-8859-15 differs from ISO-8859-1.
struct Latin9Change {
  unsigned char byte;
  char16_t cp;
};
constexpr Latin9Change kLatin9[] = {{0xA4, 0x20AC}, {0xA6, 0x0160}, {0xA8, 0x0161}, {0xB4, 0x017D},
                                    {0xB8, 0x017E}, {0xBC, 0x0152}, {0xBD, 0x0153}, {0xBE, 0x0178}};

// The names of each charset, in lower case, each followed by a blank.
struct Labels {
  Charset charset;
  const char* names;
};
constexpr Labels kLabels[] = {
    {Charset::kWindows1252,
     "windows-1252 cp1252 x-cp1252 us-ascii ascii ansi_x3.4-1968 iso-8859-1 iso8859-1 iso88591 "
     "iso_8859-1 iso_8859-1:1987 iso-ir-100 latin1 l1 csisolatin1 cp819 ibm819 "},
    {Charset::kLatin9,
     "iso-8859-15 iso8859-15 iso885915 iso_8859-15 latin9 latin-9 l9 csisolatin9 "},
    {Charset::kUtf8, "utf-8 utf8 unicode-1-1-utf-8 x-unicode20utf8 "},
};

}  // namespace

Charset CharsetByName(std::string_view name) {
  while (!name.empty() && (name.front() == ' ' || name.front() == '"' || name.front() == '\''))
    name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '"' || name.back() == '\''))
    name.remove_suffix(1);
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.empty() || lower.find(' ') != std::string::npos) return Charset::kUnknown;
  const std::string key = " " + lower + " ";
  for (const Labels& l : kLabels)
    if ((" " + std::string(l.names)).find(key) != std::string::npos) return l.charset;
  return Charset::kUnknown;
}

char32_t Cp1252ToUnicode(unsigned char c) {
  return c >= 0x80 && c < 0xA0 ? k1252High[c - 0x80] : c;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::size_t DecodeUtf8At(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  std::size_t n;
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
      (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
    return 0;
  return n;
}

bool IsUtf8(std::string_view s) {
  char32_t cp;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = DecodeUtf8At(s, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string ToUtf8(std::string_view text, Charset charset) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (charset == Charset::kUtf8) {
      char32_t cp;
      const std::size_t n = DecodeUtf8At(text, i, cp);
      if (n > 0) {
        out.append(text.data() + i, n);
        i += n;
        continue;
      }
    }
    char32_t cp = Cp1252ToUnicode(c);
    if (charset == Charset::kLatin9) {
      cp = c;  // ISO-8859 proper: 0x80..0x9F are the C1 controls
      for (const Latin9Change& l : kLatin9)
        if (l.byte == c) cp = l.cp;
    }
    AppendUtf8(out, cp);
    ++i;
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp;
    std::size_t n = DecodeUtf8At(utf8, i, cp);
    if (n == 0) {  // not UTF-8: the byte as it is
      out += utf8[i++];
      continue;
    }
    i += n;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    char byte = '?';
    for (unsigned k = 0; k < 32; ++k)
      if (k1252High[k] == cp) byte = static_cast<char>(0x80 + k);
    out += byte;
  }
  return out;
}

std::string WidenToUtf16Le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    out += c;
    out += '\0';
  }
  return out;
}

}  // namespace quelta_host
