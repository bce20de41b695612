// Relaxed patterns and one pass over a text for many of them.
//
// A relaxed pattern (RelaxedNode) is a plain regular expression over bytes:
// byte sets, sequences, alternations and repeats, nothing else. The
// required-literal reader (required_literals.h) relaxes a rule's pattern
// into one that matches somewhere in every text in which the pattern finds a
// match. RelaxedMatcher runs many relaxed patterns over a text in one pass,
// so that a rule set can skip the patterns that cannot match, also those
// without any required literal. RelaxedDfa (below) answers the same for one
// pattern, with a DFA it builds as texts need it.
//
// Promises:
// - Conservative: Narrow clears a pattern only when what the matcher keeps of
//   its relaxed form matches nowhere in the text. What it keeps matches
//   wherever the relaxed form does: repeats become at most kMaxCopies copies
//   (more for small repeated parts) and an open repeat, a large alternation
//   of byte strings becomes one byte set per offset, and of a top-level
//   sequence the items that may match the empty string go at both ends, and
//   the items before the one whose bytes are rarest in mail go too
//   (kMinKeptItems items stay).
// - A pattern whose kept form matches the empty string, needs more than
//   kMaxPositions byte positions, or can start at too many bytes of mail
//   text is not covered (Covers is false).
// - A text that keeps too many partial matches alive at once (more than
//   kWorkPerByte steps per byte) changes nothing: Narrow returns false.
// - No dependency beyond the standard library. Immutable after
//   construction; Narrow may run on several threads at once.
#pragma once

#include <atomic>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace quelta {

class PositionDfa;

struct RelaxedNode {
  enum class Kind : std::uint8_t { Bytes, Sequence, Alternation, Repeat };
  Kind kind = Kind::Sequence;  // an empty sequence matches the empty string
  std::bitset<256> bytes;      // Bytes: one byte of this set
  std::vector<RelaxedNode> children;  // Sequence, Alternation; Repeat: exactly one
  long min = 0, max = -1;      // Repeat: from min to max times; max < 0: no bound

  static RelaxedNode OfBytes(const std::bitset<256>& set) {
    RelaxedNode n;
    n.kind = Kind::Bytes;
    n.bytes = set;
    return n;
  }
  static RelaxedNode Repeated(RelaxedNode x, long min, long max) {
    RelaxedNode n;
    n.kind = Kind::Repeat;
    n.min = min;
    n.max = max;
    n.children.push_back(std::move(x));
    return n;
  }
};

class RelaxedMatcher {
 public:
  static constexpr long kMaxCopies = 3;
  static constexpr std::size_t kMaxPositions = 1024;
  static constexpr std::size_t kWorkPerByte = 64;
  static constexpr std::size_t kMinKeptItems = 4;

  // The limits of the pass's DFA, after which it starts afresh.
  static constexpr std::size_t kDfaMaxStates = 8192;
  static constexpr std::size_t kDfaMaxTableBytes = std::size_t{4} << 20;

  // patterns[id]: the relaxed form of pattern id, or none (not covered).
  // dfaMaxStates 0: every pass follows the positions.
  explicit RelaxedMatcher(const std::vector<std::optional<RelaxedNode>>& patterns,
                          std::size_t dfaMaxStates = kDfaMaxStates);
  ~RelaxedMatcher();
  RelaxedMatcher(const RelaxedMatcher&) = delete;
  RelaxedMatcher& operator=(const RelaxedMatcher&) = delete;
  // The same for patternCount patterns whose forms relaxedForm(id) gives,
  // asked once per id in order: only one form need exist at a time.
  RelaxedMatcher(std::size_t patternCount,
                 const std::function<std::optional<RelaxedNode>(std::size_t)>& relaxedForm,
                 std::size_t dfaMaxStates = kDfaMaxStates);

  bool Covers(std::size_t id) const { return id < covered_.size() && covered_[id] != 0; }
  std::size_t CoveredCount() const { return coveredCount_; }

  // Sets mayMatch[id] to 0 for every covered pattern that cannot match text
  // (mayMatch must hold every covered id). False, with nothing changed, when
  // the work limit was reached.
  bool Narrow(std::string_view text, std::vector<std::uint8_t>& mayMatch) const;

 private:
  // Narrow by following the positions one byte at a time.
  bool NarrowByPositions(std::string_view text, std::vector<std::uint8_t>& mayMatch) const;

  // Per position, kept apart so that a pass touches little memory: its
  // byte set and the union of its followers' sets (indexes into classes_),
  // its pattern and whether a match of
  // the pattern can end there (patternAndLast_: pattern * 2 + last), and its
  // followers (a range in follow_).
  std::vector<std::bitset<256>> classes_;
  std::vector<std::uint16_t> classOf_;
  std::vector<std::uint16_t> followClassOf_;  // the bytes any follower takes
  std::vector<std::uint32_t> patternAndLast_;
  std::vector<std::uint32_t> followBegin_;  // one entry per position, and one more
  std::vector<std::uint32_t> follow_;
  // Starts by byte: starters_[starterBegin_[2c] .. starterBegin_[2c+1]) are
  // tried at every byte c, starters_[.. starterBegin_[2c+2]) only where the
  // bit of the byte triple at that point is set in startTriples_.
  std::vector<std::uint32_t> starterBegin_;  // 513 entries
  std::vector<std::uint32_t> starters_;
  std::vector<std::uint64_t> startTriples_;  // kTripleBits bits
  // plainPairs_[c][d]: a plain start on c may go on with d (or end at c).
  std::vector<std::bitset<256>> plainPairs_;
  // Bit c * 256 + d: some start on c may go on with d (or end at c).
  std::vector<std::uint64_t> startPairs_;

  static constexpr unsigned kTripleLog2 = 16;
  static constexpr std::size_t kTripleBits = std::size_t{1} << kTripleLog2;
  static constexpr std::size_t kMaxTriplesPerStart = 4096;
  static std::size_t TripleBit(unsigned char a, unsigned char b, unsigned char c);
  // Marks the triples a match starting at position q on byte first can begin
  // with; false (nothing marked) when there are too many or q's match may
  // end within two bytes.
  bool MarkTriples(std::uint32_t q, std::size_t first);
  // Whether some start may take the bytes of text from i on.
  bool MayStartAt(std::string_view text, std::size_t i) const;

  std::vector<std::uint8_t> covered_;
  std::size_t coveredCount_ = 0;

  // A lazy DFA over all positions, grown by the passes; one pass at a time
  // uses it, the others follow the positions.
  std::vector<std::uint32_t> firstPositions_;
  std::unique_ptr<PositionDfa> dfa_;
  mutable std::mutex dfaMutex_;
};

// Whether one relaxed pattern matches somewhere in a text, by a DFA made
// lazily from its positions: each set of positions a search reaches becomes a
// state once, its move on a class of bytes is worked out once, and later
// searches, over any text, reuse both. Patterns whose PCRE2 search tries a
// match at almost every byte cost a few nanoseconds per byte this way.
//
// Promises:
// - Conservative: MayMatch is false only when the relaxed pattern matches
//   nowhere in the text (all of it, not a kept part).
// - Bounded: the states (kMaxStates) and their moves (kMaxTableBytes) stop
//   growing at their limit, and so do they when the DFAs that share a
//   budget have used it up; from then on MayMatch answers true for every
//   text, as it does when the pattern matches the empty string or needs more
//   than kMaxPositions positions (Usable is false then).
// - Thread-safe: searches from several threads take turns (a lock).
class RelaxedDfa {
 public:
  static constexpr std::size_t kMaxPositions = 16384;
  static constexpr std::size_t kMaxStates = 8192;
  static constexpr std::size_t kMaxTableBytes = std::size_t{4} << 20;

  // The bytes that the tables of several DFAs may take together.
  struct Budget {
    explicit Budget(std::size_t bytes) : limit(bytes) {}
    const std::size_t limit;
    std::atomic<std::size_t> used{0};
  };

  // budget: shared with other DFAs, or null; it must outlive the DFA.
  explicit RelaxedDfa(const RelaxedNode& pattern, Budget* budget = nullptr);
  ~RelaxedDfa();
  RelaxedDfa(const RelaxedDfa&) = delete;
  RelaxedDfa& operator=(const RelaxedDfa&) = delete;

  bool Usable() const;
  bool MayMatch(std::string_view text) const;
  std::size_t StateCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quelta
