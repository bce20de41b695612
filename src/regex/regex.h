// The regular-expression layer over PCRE2 (8-bit code units): the one road
// the regular-expression rule takes. A rule's search term is compiled with
// {ignore case, dot matches all} and PCRE2's built-in "C" character tables
// (only ASCII letters fold; other bytes are plain characters, not UTF-8),
// and the layer answers whether it matches anywhere in a text.
//
// Promises:
// - Failures are raised as `RegexError`; nothing is logged. Compile errors
//   read "Invalid Pattern '<pattern>': error at position <offset>: <PCRE2
//   message>"; match errors carry the PCRE2 name of the code
//   ("PCRE2_ERROR_MATCHLIMIT", ...) or "Unknown PCRE error code <n>".
// - Matching is bounded: a match limit, a depth limit, a heap limit and a
//   time budget per search make a pathological pattern fail with a match
//   error ("PCRE2_ERROR_MATCHLIMIT", ...) instead of running for minutes.
// - A compiled pattern is immutable and may be matched from several threads
//   at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quelta {

class RegexError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Regex;  // a compiled pattern
using RegexRef = std::shared_ptr<const Regex>;

// Compiles a rule's search term at once; raises RegexError. The pattern
// ends at its first NUL byte. A backslash before a letter that has no
// meaning of its own stands for that letter ("\y" is "y"). Matching is
// caseless, a dot matches any byte, and lines end at LF (for "^", "$" and a
// dot without the "s" option).
RegexRef CreateRegex(const std::string& pattern);

// Whether the pattern matches anywhere in text (the text is taken by its
// length; NUL bytes are characters). Raises RegexError on a match error.
bool IsMatch(const RegexRef& re, std::string_view text);
bool IsMatch(const Regex& re, std::string_view text);

// Whether the pattern's search may be restricted to some start positions
// and still give IsMatch's answer (false for patterns with "\G" or
// backtracking verbs, whose matches depend on where the search starts).
bool SearchesFromAnyStart(const Regex& re);

// Where a search need try matches: at the offsets in list (ascending; more
// may be tried), or without a list at every offset from first to last.
struct StartOffsets {
  const std::vector<std::uint32_t>* list = nullptr;
  std::size_t first = 0, last = SIZE_MAX;
};

// IsMatch, trying matches only at the offsets starts gives: the same answer
// as IsMatch wherever a match can start only at one of them. For a pattern
// that does not search from any start, the whole text is searched. Raises
// RegexError as IsMatch does; starts it does not try cannot fail.
bool IsMatchFrom(const Regex& re, std::string_view text, const StartOffsets& starts);
// The same at the offsets in starts, or (null) at every offset.
bool IsMatchFrom(const Regex& re, std::string_view text, const std::vector<std::uint32_t>* starts);

// Whether PCRE2 tries matches of the pattern only at the start of the text
// and after an LF (every branch starts with "^" under the "m" option, or
// with ".*" where a dot does not match LF).
bool StartsOnlyAtLineStarts(const Regex& compiled);

// How often a match of a compiled pattern may start: the parts per ten
// thousand of typical mail text at whose bytes PCRE2 tries a match (200 for
// a pattern anchored at line starts). A search that tries at no more than
// kNarrowStart of them costs little, however complex the pattern.
int StartFrequency(const Regex& compiled);
inline constexpr int kNarrowStart = 150;

// The largest compiled pattern this build of PCRE2 takes, in bytes (its link
// size: 2 gives 64 KiB); a larger one fails to compile with "regular
// expression is too large".
std::size_t RegexCompiledSizeLimit();

// Limits applied to every match (see regex.cpp for the reasoning): per
// start position, the match, depth and heap limits of PCRE2; per search, a
// time budget checked after every slice of start positions.
inline constexpr std::uint32_t kRegexMatchLimit = 2000000;
inline constexpr std::uint32_t kRegexDepthLimit = 100000;
inline constexpr std::uint32_t kRegexHeapLimitKiB = 64 * 1024;
inline constexpr std::size_t kRegexSliceLength = 1024;
inline constexpr int kRegexTimeBudgetMs = 250;

}  // namespace quelta
