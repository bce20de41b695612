#include "ui/png_writer.h"

#include <algorithm>
#include <fstream>

#include "base/crc32.h"

namespace testing_support {

namespace {

void Be32(std::string& s, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((v >> shift) & 0xFF);
}

void Chunk(std::string& png, const char* type, const std::string& data) {
  Be32(png, static_cast<std::uint32_t>(data.size()));
  const std::string body = type + data;
  png += body;
  Be32(png, quelta::Crc32(body));
}

}  // namespace

bool WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  Be32(header, static_cast<std::uint32_t>(width));
  Be32(header, static_cast<std::uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
  Chunk(png, "IHDR", header);

  // Each row starts with filter byte 0; the rows go into stored blocks.
  std::string raw;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    raw.append(reinterpret_cast<const char*>(rgb.data()) + y * rowBytes, rowBytes);
  }
  std::string z("\x78\x01", 2);
  for (std::size_t pos = 0; pos < raw.size() || pos == 0;) {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
    const bool last = pos + n == raw.size();
    z += static_cast<char>(last ? 1 : 0);
    z += static_cast<char>(n & 0xFF);
    z += static_cast<char>(n >> 8);
    z += static_cast<char>(~n & 0xFF);
    z += static_cast<char>((~n >> 8) & 0xFF);
    z.append(raw, pos, n);
    pos += n;
    if (last) break;
  }
  std::uint32_t a = 1, b = 0;  // Adler-32 of the uncompressed bytes
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  Be32(z, (b << 16) | a);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", "");
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << png;
  return static_cast<bool>(f.flush());
}

}  // namespace testing_support
