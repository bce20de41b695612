// Required literals: a prefilter for regular-expression rules. For a pattern
// compiled the way a regular-expression rule compiles it (PCRE2, caseless,
// dot matching all, lines ending at LF, PCRE2's built-in "C" character
// tables), it finds literal strings that every match must contain, so that a
// rule whose literals are absent from a text need not run its pattern over
// that text at all.
//
// Promises:
// - Conservative: when ExtractRequiredLiterals gives a set, every match of the
//   pattern in any text contains one of its strings, compared after ASCII case
//   folding (A-Z as a-z; bytes 0x80-0xFF have no case under the "C" tables).
//   Whatever the extraction cannot prove (backreferences, conditionals,
//   callouts, backtracking verbs, \Q...\E, ambiguous quantifier syntax, ...)
//   contributes nothing, or makes the pattern "always run".
// - A pattern that does not compile gets an arbitrary answer: callers still
//   compile every pattern (to report its error) and consult the prefilter only
//   for patterns that compiled.
// - The prefilter decides "cannot match" only. A pattern that it lets run may
//   still fail to match; one that it skips would not have matched (it could
//   at most have failed with a match-limit error, which a skipped pattern
//   does not report).
// - The text scanned must include all of the text the pattern would search
//   (scanning more is harmless).
// - No dependency beyond the standard library. LiteralScanner is immutable
//   after construction; Scan may run on several threads at once, each with
//   its own result vectors (and LiteralHits).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "regex/relaxed_matcher.h"

namespace quelta {

// Literals shorter than this are not worth a filter: a pattern whose best
// set holds a shorter string always runs.
inline constexpr std::size_t kMinRequiredLiteral = 3;

struct RequiredLiterals {
  // True: nothing could be proved, the pattern must always run.
  bool always = true;
  // When not always: the pattern can match a text only if the text, ASCII
  // case-folded, contains at least one of these (already folded) strings.
  std::vector<std::string> anyOf;
  // Where they lie in a match: every match holds one of them that ends at
  // most lead bytes after the match starts, and one that starts at most tail
  // bytes before it ends (SIZE_MAX: no bound known).
  std::size_t lead = SIZE_MAX, tail = SIZE_MAX;
  // The pattern relaxed: it matches the bytes of every match of the pattern
  // (from where the match attempt starts to its end), and maybe more.
  // Assertions and lookarounds match the empty string, letters and classes
  // match as the pattern's case options say, a dot matches any byte (but LF
  // where the "s" option is off), references to groups and recursion match
  // any text, and what the reader does not model in a class makes it any
  // byte. None when the reader cannot read the pattern.
  std::optional<RelaxedNode> relaxed;
};

// Extracts the required literals of a pattern as the rule layer compiles it
// (text up to its first NUL byte). Never throws for any input except
// std::bad_alloc.
RequiredLiterals ExtractRequiredLiterals(std::string_view pattern);

// The relaxed form alone: ExtractRequiredLiterals(pattern).relaxed, made in
// less time.
std::optional<RelaxedNode> ExtractRelaxedForm(std::string_view pattern);

// ASCII case folding as caseless matching with the "C" tables folds.
inline char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Where the literals of one pattern occur in a scanned text: the offset just
// after the occurrence that ends first, and the offset of the one that
// starts last. A match of the pattern holds an occurrence, so it ends at or
// after firstEnd and starts at or before lastStart. firstEnd is UINT32_MAX
// where no literal of the pattern occurs (or it has none).
struct LiteralSpan {
  std::uint32_t firstEnd = UINT32_MAX;
  std::uint32_t lastStart = 0;
};

// The matches of a pattern that a text can hold, given where the pattern's
// literals occur in it (a span without any: every match) and where they lie
// in a match (RequiredLiterals::lead and tail).
MatchBounds WantedMatches(const LiteralSpan& span, std::size_t lead, std::size_t tail);

// Where one of a pattern's literals occurs in a scanned text: the offsets of
// its first byte and just after its last.
struct LiteralHit {
  std::uint32_t start = 0, end = 0;
  bool operator<(const LiteralHit& o) const { return start != o.start ? start < o.start : end < o.end; }
  bool operator==(const LiteralHit& o) const { return start == o.start && end == o.end; }
};

// Every occurrence, in one scanned text, of the literals of the patterns
// whose scanner lists them (LiteralScanner::ListsHits), kept per pattern.
class LiteralHits {
 public:
  // Sets out to the occurrences of pattern id's literals, ascending, each
  // once (none for a pattern not listed). False, with out empty, where the
  // scan kept no list: a text so full of literals that the list would have
  // outgrown kMaxPerByte entries per byte scanned (and kMaxAlways more).
  bool Of(std::uint32_t id, std::vector<LiteralHit>& out) const;

  static constexpr std::size_t kMaxPerByte = 1, kMaxAlways = 4096;

 private:
  friend class LiteralScanner;
  struct Entry {
    LiteralHit hit;
    std::uint32_t previous;  // 1 + the index of the pattern's entry before, 0 for none
  };
  std::vector<Entry> entries_;      // in the order the scan found them
  std::vector<std::uint32_t> last_;  // pattern id -> 1 + the index of its last entry, 0 for none
  bool complete_ = true;
};

// Where the matches of a pattern whose literals lie within lead bytes of a
// match's start (RequiredLiterals::lead) can start, given every occurrence
// of them in a text (ascending): appends to starts, ascending and each once,
// the offsets at or before an occurrence's start and at most lead bytes
// before its end.
void StartsNearHits(const std::vector<LiteralHit>& hits, std::size_t lead, std::vector<std::uint32_t>& starts);

// One pass over a text for the required literals of many patterns (an
// Aho-Corasick automaton over the case-folded literals, as a full DFA over
// byte classes). Pattern ids are the positions in the vector given to the
// constructor.
class LiteralScanner {
 public:
  explicit LiteralScanner(const std::vector<RequiredLiterals>& patterns);

  // A pattern whose literals lie at most this many bytes after a match's
  // start gets every occurrence listed (Scan's hits): that they are few
  // and near where matches start is worth more than the span.
  static constexpr std::size_t kMaxListedLead = 128;

  std::size_t PatternCount() const { return patternCount_; }
  bool ListsHits(std::size_t id) const { return id < listsHits_.size() && listsHits_[id] != 0; }
  std::size_t StateCount() const { return stateCount_; }

  // Sets mayMatch (resized to PatternCount()) to 1 for every pattern that
  // always runs or whose literal occurs in text, and 0 for the others; and
  // where spans is given, (*spans)[id] (resized too) to where pattern id's
  // literals occur; and where hits is given, sets it to every occurrence of
  // the literals of the patterns that ListsHits. Texts up to 4 GiB. (The
  // scan takes all bytes above 0x7F for each other: where a literal differs
  // from the text only in such bytes, it counts as occurring there too.)
  void Scan(std::string_view text, std::vector<std::uint8_t>& mayMatch,
            std::vector<LiteralSpan>* spans = nullptr, LiteralHits* hits = nullptr) const;

 private:
  std::size_t patternCount_ = 0;
  std::size_t stateCount_ = 0;
  std::size_t classCount_ = 0;                 // row width
  std::size_t longestLiteral_ = 0;
  std::uint8_t byteClass_[256] = {};           // folded byte -> class
  // state * classCount_ + class -> the next state, in 16 bits where every
  // state's number fits (next16_), else in 32 (next32_): the smaller table
  // stays in the caches better between the scans of two messages. States
  // are numbered breadth first, so that the few near the start, which most
  // bytes lead to, share cache lines.
  std::vector<std::uint16_t> next16_;
  std::vector<std::uint32_t> next32_;
  std::uint32_t firstOutputState_ = 0;         // the states where literals end come last
  std::vector<std::uint32_t> outputBegin_;     // state -> range in outputs_ (stateCount_+1)
  std::vector<std::uint32_t> outputs_;         // literal ids that end at a state
  std::vector<std::uint32_t> literalLength_;   // literal -> its length
  std::vector<std::uint32_t> literalBegin_;    // literal -> range in literalPatterns_
  std::vector<std::uint32_t> literalPatterns_; // pattern ids of each literal
  std::vector<std::uint32_t> alwaysRun_;       // pattern ids without a filter
  std::vector<std::uint8_t> listsHits_;        // pattern id -> 1 where its hits are listed
};

}  // namespace quelta
