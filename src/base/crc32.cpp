#include "base/crc32.h"

#include <array>

namespace quelta {

namespace {

// Eight tables, so that the loop takes eight bytes per step (slicing by
// eight): kTables[0] is the byte-at-a-time table, kTables[k][b] the effect of
// byte b followed by k zero bytes.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
    t[0][i] = c;
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (std::size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFu];
  return t;
}

constexpr Tables kTables = MakeTables();

std::uint32_t Word(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

}  // namespace

std::uint32_t Crc32(std::string_view text) {
  std::uint32_t crc = 0xFFFFFFFFu;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t n = text.size();
  for (; n >= 8; n -= 8, p += 8) {
    const std::uint32_t a = crc ^ Word(p), b = Word(p + 4);
    crc = kTables[7][a & 0xFFu] ^ kTables[6][(a >> 8) & 0xFFu] ^ kTables[5][(a >> 16) & 0xFFu] ^
          kTables[4][a >> 24] ^ kTables[3][b & 0xFFu] ^ kTables[2][(b >> 8) & 0xFFu] ^
          kTables[1][(b >> 16) & 0xFFu] ^ kTables[0][b >> 24];
  }
  for (; n > 0; --n, ++p) crc = kTables[0][(crc ^ *p) & 0xFFu] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace quelta
