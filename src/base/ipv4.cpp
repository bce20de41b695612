#include "base/ipv4.h"

#include "base/strings.h"

namespace quelta {

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
  for (const char* p : kPrefixes)
    if (StartsWithNoCase(text, p)) return true;
  return false;
}

}  // namespace quelta
