#include "json.h"

#include <cstdio>

#include "charset.h"

namespace quelta_host {

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
      AppendUtf8(out, Cp1252ToUnicode(c));
    } else {
      AppendUtf8(out, c);
    }
  }
  return out + "\"";
}

}  // namespace quelta_host
