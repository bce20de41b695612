// Text helpers shared by every layer: trimming, ASCII letter case, whole
// decimal numbers, tokens, searching and replacing, line splitting, byte
// sets, option letters, and the two list formats the message fields use.
//
// Promises: no helper throws (except std::bad_alloc) or fails; malformed
// input gives empty results. Lower and upper case here mean ASCII only
// ('A'..'Z' and 'a'..'z' change; every other byte stays). Positions are
// 0-based. Every helper runs in about linear time in its input.
//
// List formats: a quoted list starts with '"' and every item is followed by
// '"'; a line list has every item followed by CR LF.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quelta {

// ---- Trimming and case --------------------------------------------------------

// s without leading and trailing bytes <= ' ' (blanks and controls).
std::string Trim(const std::string& s);
std::string_view TrimView(std::string_view s);

inline char AsciiLowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline char AsciiUpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
std::string AsciiLower(std::string_view s);
std::string AsciiUpper(std::string_view s);

// Whether s begins / ends with affix, ASCII case ignored.
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
bool EndsWithNoCase(std::string_view s, std::string_view suffix);

// Whether an option letter occurs anywhere in a rule's flags, in either
// case ("hasOption(flags, 'C')").
bool HasOption(std::string_view flags, char letter);

// ---- Numbers ------------------------------------------------------------------

// True when s is a whole signed 32-bit decimal (optional '+'/'-', digits
// only, no blanks); its value goes to out.
bool TryStrToInt(const std::string& s, std::int32_t& out);
// Value of s as TryStrToInt reads it, else def.
std::int32_t StrToIntDef(const std::string& s, std::int32_t def);
// The same for signed 64-bit values.
bool TryStrToInt64(const std::string& s, std::int64_t& out);
std::int64_t StrToInt64Def(const std::string& s, std::int64_t def);

// ---- Tokens, searching and replacing --------------------------------------------

// The n-th piece (n from 1) of text + delim split at delim; "" when there
// is no n-th piece (or n < 1). An empty delim makes text the only piece.
std::string GetToken(const std::string& text, const std::string& delim, int n);
// Number of occurrences of sub in text, overlapping ones included; 0 for "".
int CountOf(const std::string& text, const std::string& sub);
// Up to count characters of s from the 0-based position pos (clamped).
std::string MidStr(const std::string& s, int pos, int count);
// Every occurrence of what replaced by with in one left-to-right pass (the
// search resumes after the inserted text); an empty what changes nothing.
std::string ReplaceEach(const std::string& text, const std::string& what, const std::string& with);
// The byte spelled by two hexadecimal digits (either case); -1 when either
// is not a hexadecimal digit.
int HexPairToByte(char hi, char lo);

// ---- Lines and pieces -----------------------------------------------------------------

// Splits at CR LF, LF or a lone CR; a final line end adds no empty line.
std::vector<std::string> SplitLines(const std::string& text);
// The items of a line list: pieces ending in CR LF; a last piece without
// CR LF counts too.
std::vector<std::string> LineListItems(const std::string& text);
// The pieces of text between delim characters (n delimiters give n + 1
// pieces, empty ones included).
std::vector<std::string> SplitAt(const std::string& text, char delim);

// ---- Quoted lists ---------------------------------------------------------------------

// True when s contains '"' + item + '"' (item membership in a quoted list).
bool QuotedListHas(const std::string& quotedList, const std::string& item);
// The items of a quoted list: the pieces between two '"' after making sure
// the text starts and ends with '"' (empty pieces included).
std::vector<std::string> QuotedListItems(const std::string& quotedList);

// ---- Byte sets ----------------------------------------------------------------------------

// A 256-entry membership table for a set of bytes.
class ByteSet {
 public:
  constexpr ByteSet() = default;
  explicit ByteSet(std::string_view chars) { Add(chars); }
  void Add(std::string_view chars) {
    for (char c : chars) in_[static_cast<unsigned char>(c)] = true;
  }
  bool Has(char c) const { return in_[static_cast<unsigned char>(c)]; }

 private:
  std::array<bool, 256> in_{};
};

}  // namespace quelta
