// CRC-32 of a text: the hash the Bayes filter keys its words and its
// trained messages by.
//
// Promises: the standard CRC-32 (reflected polynomial 0xEDB88320, initial
// value all ones, result complemented); a constant table, safe from any
// thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace quelta {

std::uint32_t Crc32(std::string_view text);

}  // namespace quelta
