// Byte builders for the binary data files the tests prepare: Bayes word
// records and the host's address-book files, and a hex dump for readable
// comparisons. Written from the file formats alone (their own CRC-32 and
// little-endian helpers), so a fault in the product's readers cannot hide in
// a shared helper.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

inline std::string LE32(std::uint32_t v) {
  std::string s(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

inline std::uint32_t Crc(const std::string& s) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : s) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

// A 12-byte record of "Bayes.wdb": hash, spam count, ham count; the record
// of a word; the first record, which holds the message counts.
inline std::string BayesRecord(std::uint32_t hash, std::uint32_t spam, std::uint32_t ham) {
  return LE32(hash) + LE32(spam) + LE32(ham);
}
inline std::string BayesWord(const std::string& word, std::uint32_t spam, std::uint32_t ham) {
  return BayesRecord(Crc(word), spam, ham);
}
inline std::string BayesHeader(std::uint32_t spam, std::uint32_t ham) { return BayesRecord(0x804F, spam, ham); }

// "4F 80 00 ..." for the bytes.
inline std::string Hex(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += "0123456789ABCDEF"[c >> 4];
    out += "0123456789ABCDEF"[c & 15];
  }
  return out;
}

// An address book with one record per address; an empty address gives a
// record without the address field.
inline std::string AddressBookFile(const std::vector<std::string>& addresses) {
  const auto k = static_cast<std::uint32_t>(addresses.size());
  const std::string head = LE32(0x19988991u) + LE32(24) + LE32(0) + LE32(0) + LE32(k) + LE32(k);
  std::string index, data;
  for (const std::string& a : addresses) {
    std::string rec = "ab";
    if (!a.empty())
      rec += std::string("\x9D\xFF\xFF\xFF", 4) + LE32(static_cast<std::uint32_t>(a.size() + 3)) + " " +
             a + std::string(1, '\0') + "z";
    rec += "tail";
    const std::string record = std::string(16, 'h') + LE32(static_cast<std::uint32_t>(rec.size())) +
                               std::string(8, 'h') + rec;
    index += LE32(0) + LE32(static_cast<std::uint32_t>(record.size())) +
             LE32(static_cast<std::uint32_t>(data.size())) + "x";
    data += record;
  }
  return head + index + data;
}

}  // namespace testing_support
