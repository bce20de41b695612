// Typical byte frequencies of mail text, for choosing among pattern parts
// the one whose bytes are rarest: letters by their frequency in English,
// capitals a tenth of that, blanks and line ends often, bytes above 0x7F
// rarely. Figures are parts per ten thousand bytes; estimates, not counts.
#pragma once

namespace quelta {

inline int MailByteFrequency(int byte) {
  // Lower-case letters a..z.
  static constexpr int kLetters[26] = {600, 110, 250, 300, 900, 180, 150, 400, 550, 10, 60, 320, 200,
                                       550, 600, 160, 10, 500, 500, 650, 220, 80, 140, 15, 130, 10};
  if (byte >= 'a' && byte <= 'z') return kLetters[byte - 'a'];
  if (byte >= 'A' && byte <= 'Z') return kLetters[byte - 'A'] / 10 + 5;
  if (byte == ' ') return 1500;
  if (byte == '\n' || byte == '\r') return 200;
  if (byte >= '0' && byte <= '9') return 50;
  if (byte >= 0x80) return 5;
  return 40;  // punctuation, tabs and other control bytes
}

}  // namespace quelta
