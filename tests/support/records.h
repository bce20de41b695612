// Byte helpers for the tests of binary files: little-endian integers, the
// word-database record, and a hex dump for readable comparisons.
#pragma once

#include <cstdint>
#include <string>

namespace testing_support {

inline std::string Le32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// One 12-byte "Bayes.wdb" record.
inline std::string WordRec(std::uint32_t hash, std::uint32_t spam, std::uint32_t ham) {
  return Le32(hash) + Le32(spam) + Le32(ham);
}

// "4F 80 00 ..." for the bytes.
inline std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace testing_support
