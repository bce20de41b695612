// WritePng: an RGB image (8 bits per channel, rows top to bottom) as a PNG
// file with uncompressed (stored) deflate blocks, for the dialog
// screenshots. False when the file cannot be written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

bool WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace testing_support
