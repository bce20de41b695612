// The regular-expression layer over PCRE2 (8-bit code units). A
// compiled pattern (`Regex`) is shared by reference; matching asks whether
// and where a pattern matches a text. The plug-in uses one road through it:
// compile a rule's search term with {ignore case, dot matches all} and the
// built-in "C" character tables, then test whether it matches anywhere.
//
// Promises:
// - Failures are raised as `RegexError` (pattern and match errors) or
//   `RegexLocaleError` (character tables of a locale); nothing is logged.
//   Compile errors read "Invalid Pattern '<pattern>': error at position
//   <offset>: <PCRE2 message>"; match errors carry the PCRE2 name of the
//   code ("PCRE2_ERROR_MATCHLIMIT", ...) or "Unknown PCRE error code <n>".
// - Matching is bounded: a match limit, a depth limit, a heap limit and a
//   time budget per search make a pathological pattern fail with a match
//   error ("PCRE2_ERROR_MATCHLIMIT", ...) instead of running for minutes.
// - A compiled pattern is immutable and may be matched from several threads
//   at once; a RegexCache hands out patterns from a bounded, thread-safe
//   cache whose results and error texts equal those of CreateRegex.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quelta {

// The layer's option set, in its fixed order.
enum class RegexOption : std::uint32_t {
  Anchored,
  IgnoreCase,
  DollarEndOnly,
  DotMatchesAll,
  Extended,
  Extra,
  MultiLine,
  Ungreedy,
  NoAutoCapture,
  UTF8,
  NoUTF8Check,
  AutoCallout,
  Partial,
  FirstLine,
};

class RegexOptions {
 public:
  constexpr RegexOptions() = default;
  constexpr RegexOptions(std::initializer_list<RegexOption> opts) {
    for (RegexOption o : opts) bits_ |= Bit(o);
  }
  constexpr bool Has(RegexOption o) const { return (bits_ & Bit(o)) != 0; }
  constexpr RegexOptions& Add(RegexOption o) {
    bits_ |= Bit(o);
    return *this;
  }
  constexpr std::uint32_t Bits() const { return bits_; }
  friend constexpr bool operator==(RegexOptions a, RegexOptions b) { return a.bits_ == b.bits_; }

 private:
  static constexpr std::uint32_t Bit(RegexOption o) {
    return 1u << static_cast<std::uint32_t>(o);
  }
  std::uint32_t bits_ = 0;
};

// The options of the regular-expression rule.
inline constexpr RegexOptions kRuleRegexOptions{RegexOption::IgnoreCase,
                                                 RegexOption::DotMatchesAll};

class RegexError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class RegexLocaleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Character tables of a locale. The name "C" with category 0 means PCRE2's
// built-in tables (Tables() is null); anything else builds tables under a
// process-wide lock and frees them with the object.
class RegexLocale {
 public:
  RegexLocale(const std::string& name, int category);
  ~RegexLocale();
  RegexLocale(const RegexLocale&) = delete;
  RegexLocale& operator=(const RegexLocale&) = delete;

  const std::string& Name() const { return name_; }
  int Category() const { return category_; }
  const std::uint8_t* Tables() const { return tables_; }

 private:
  std::string name_;
  int category_ = 0;
  const std::uint8_t* tables_ = nullptr;
};

// Group name -> group number.
class GroupNameIndex {
 public:
  void Add(const std::string& name, int index) { map_[name] = index; }
  int Find(const std::string& name) const;  // -1 when unknown
  int Count() const { return static_cast<int>(map_.size()); }

 private:
  std::map<std::string, int> map_;
};

struct RegexGroup {
  int index = -1;   // 0-based offset into the text; -1 when the group is unset
  int length = 0;
  std::string value;
};

struct RegexMatch {
  bool success = false;
  std::vector<RegexGroup> groups;  // group 0 is the whole match
};

struct RegexCode;  // PCRE2's compiled pattern, owned

class Regex {
 public:
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  const std::string& Pattern() const { return pattern_; }
  RegexOptions Options() const { return options_; }
  const RegexLocale& Locale() const { return *locale_; }
  const GroupNameIndex& Names() const { return names_; }
  int CaptureCount() const { return captureCount_; }
  // The study decision of the layer: true for patterns that are neither
  // anchored nor start with a fixed character. (PCRE2 builds the start-up
  // data of a study while compiling; the JIT compilation that the layer
  // adds applies to every pattern.)
  bool Studied() const { return studied_; }
  // Whether an unanchored search may run in slices of start positions.
  bool Sliced() const { return sliced_; }
  // Approximate memory held by the compiled pattern.
  std::size_t ByteSize() const { return byteSize_; }

 private:
  friend std::shared_ptr<const Regex> CreateRegex(const std::string&, RegexOptions,
                                                   const std::string&, int);
  friend RegexMatch Match(const std::shared_ptr<const Regex>&, std::string_view, int,
                           RegexOptions);
  friend bool IsMatch(const std::shared_ptr<const Regex>&, std::string_view);
  Regex() = default;

  std::string pattern_;
  RegexOptions options_;
  std::unique_ptr<RegexLocale> locale_;
  RegexCode* code_ = nullptr;
  GroupNameIndex names_;
  int captureCount_ = 0;
  bool studied_ = false;
  bool sliced_ = false;
  std::size_t byteSize_ = 0;
};

using RegexRef = std::shared_ptr<const Regex>;

// Compiles at once; raises RegexError / RegexLocaleError.
RegexRef CreateRegex(const std::string& pattern, RegexOptions options,
                      const std::string& localeName = "C", int localeCategory = 0);

// A bounded cache of compiled patterns with the built-in tables (and of
// compile errors, raised again with the same text): at most kMaxEntries
// patterns and about kMaxBytes of memory, least recently used dropped first.
// Thread-safe.
class RegexCache {
 public:
  static constexpr std::size_t kMaxEntries = 4096;
  static constexpr std::size_t kMaxBytes = 64u * 1024u * 1024u;

  RegexCache();
  ~RegexCache();
  RegexCache(const RegexCache&) = delete;
  RegexCache& operator=(const RegexCache&) = delete;

  // As CreateRegex(pattern, options) with the "C" tables; raises RegexError.
  RegexRef Acquire(const std::string& pattern, RegexOptions options);
  // Empties the cache (patterns still referenced stay alive).
  void Clear();
  std::size_t Size() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Whether the pattern matches anywhere in text, from offset 0, no
// execution options. Raises RegexError on a match error.
bool IsMatch(const RegexRef& re, std::string_view text);

// One match from a 0-based start offset. An offset below 0 or beyond the
// text is a failed match. Execution options used: Anchored, NoUTF8Check,
// Partial (soft); the others are compile options and are ignored here.
RegexMatch Match(const RegexRef& re, std::string_view text, int startOffset,
                  RegexOptions execOptions = {});

// The PCRE2 name of a match error code, or "Unknown PCRE error code <n>".
std::string RegexErrorName(int code);

// Limits applied to every match (see PCRE.cpp for the reasoning): per
// start position, the match, depth and heap limits of PCRE2; per search, a
// time budget checked after every slice of start positions.
inline constexpr std::uint32_t kRegexMatchLimit = 2000000;
inline constexpr std::uint32_t kRegexDepthLimit = 100000;
inline constexpr std::uint32_t kRegexHeapLimitKiB = 64 * 1024;
inline constexpr std::size_t kRegexSliceLength = 1024;
inline constexpr int kRegexTimeBudgetMs = 250;

}  // namespace quelta
