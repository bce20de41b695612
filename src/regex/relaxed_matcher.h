// Relaxed patterns and one pass over a text for many of them.
//
// A relaxed pattern (RelaxedNode) is a plain regular expression over bytes:
// byte sets, sequences, alternations and repeats, nothing else. The
// required-literal reader (required_literals.h) relaxes a rule's pattern
// into one that matches the bytes of every match of the pattern.
// RelaxedMatcher runs many relaxed patterns over a text in one pass, so that
// a rule set can skip the patterns that cannot match, also those without any
// required literal. RelaxedDfa (below) answers the same for one pattern, and
// where its matches start. Both run a DFA that they build as texts need it:
// each set of positions a pass reaches becomes a state once, its move on a
// class of bytes is worked out once, and later passes, over any text, reuse
// both.
//
// Promises:
// - Conservative: Narrow clears a pattern only when what the matcher keeps of
//   its relaxed form matches nowhere in the text, and never once the pattern
//   has left the matcher (below). What it keeps matches wherever the relaxed
//   form does: repeats become at most kMaxCopies copies (more for small
//   repeated parts) and an open repeat, a large alternation of byte strings
//   becomes one byte set per offset, and of a top-level sequence the items
//   that may match the empty string go at both ends, and the items before
//   the one whose bytes are rarest in mail go too (kMinKeptItems items
//   stay).
// - A pattern whose kept form matches the empty string, needs more than
//   kMaxPositions byte positions, or can start at too many bytes of mail
//   text is not covered (Covers is false).
// - Bounded: the matcher runs its patterns in at most kMaxGroups groups, one
//   DFA each (those whose byte sets tell bytes above 0x7F apart start in a
//   group of their own, so that the others' DFA has narrower rows). A DFA
//   holds at most kDfaMaxStates states, and the DFAs of one matcher hold
//   at most kDfaMaxTableBytes of tables together; when they are full they
//   start afresh. Patterns whose partial matches are alive in many states
//   at once multiply the states of all the others: where a DFA fills
//   up again within kSplitWithinTexts texts, the patterns that take part in
//   a quarter or more of its states move on to the next group. A text that
//   alone needs more than a group's DFA may hold leaves that group's
//   patterns as they were: Narrow returns false.
// - Worth its passes: every kReviewTexts texts, a pattern whose kept form
//   matched in kLeaveAtPercent percent or more of the texts its group ran
//   since the last review leaves the matcher for good. It would seldom be
//   cleared, and its partial matches make states for every text.
// - No dependency beyond the standard library. Passes over one matcher take
//   turns (a lock); Narrow may be called from several threads at once.
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

// The bytes that the tables of several DFAs may take together.
struct DfaTableBudget {
  explicit DfaTableBudget(std::size_t bytes) : limit(bytes) {}
  // Takes bytes more; false (taking nothing) where that would pass the limit.
  bool Take(std::size_t bytes) {
    if (used.fetch_add(bytes) + bytes <= limit) return true;
    used.fetch_sub(bytes);
    return false;
  }
  void GiveBack(std::size_t bytes) { used.fetch_sub(bytes); }
  const std::size_t limit;
  std::atomic<std::size_t> used{0};
};

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

// The length of the longest text that pattern matches; SIZE_MAX where it
// has no bound.
std::size_t LongestMatch(const RelaxedNode& pattern);

// The matches [s, e) of a text that a search wants: minStart <= s <=
// maxStart and minEnd <= e <= maxEnd (offsets into the text).
struct MatchBounds {
  std::size_t minStart = 0, maxStart = SIZE_MAX, minEnd = 0, maxEnd = SIZE_MAX;
};

class RelaxedMatcher {
 public:
  static constexpr long kMaxCopies = 3;
  static constexpr std::size_t kMaxPositions = 1024;
  static constexpr std::size_t kMinKeptItems = 4;
  static constexpr std::size_t kDfaMaxStates = 8192;
  // (A body's matcher of 1,580 rules filled 4 MiB eight times in 3,000
  // messages, and every fill made all its groups' states again; with 8 MiB,
  // three times.)
  static constexpr std::size_t kDfaMaxTableBytes = std::size_t{8} << 20;
  static constexpr std::size_t kMaxGroups = 8;
  static constexpr std::size_t kSplitWithinTexts = 1024;
  static constexpr std::size_t kReviewTexts = 256;
  static constexpr std::size_t kLeaveAtPercent = 50;

  // patterns[id]: the relaxed form of pattern id, or none (not covered).
  // dfaMaxStates: the DFA's limit (kDfaMaxStates; smaller for tests).
  explicit RelaxedMatcher(const std::vector<std::optional<RelaxedNode>>& patterns,
                          std::size_t dfaMaxStates = kDfaMaxStates);
  // The same for patternCount patterns whose forms relaxedForm(id) gives,
  // asked once per id in order: only one form need exist at a time.
  RelaxedMatcher(std::size_t patternCount,
                 const std::function<std::optional<RelaxedNode>(std::size_t)>& relaxedForm,
                 std::size_t dfaMaxStates = kDfaMaxStates);
  ~RelaxedMatcher();
  RelaxedMatcher(const RelaxedMatcher&) = delete;
  RelaxedMatcher& operator=(const RelaxedMatcher&) = delete;

  bool Covers(std::size_t id) const { return id < covered_.size() && covered_[id] != 0; }
  std::size_t CoveredCount() const { return coveredCount_; }

  // Sets mayMatch[id] to 0 for every covered pattern still in the matcher
  // that cannot match text (mayMatch must hold every covered id). False when
  // the text needs more states than a group's DFA may hold; the patterns of
  // that group are left as they were.
  bool Narrow(std::string_view text, std::vector<std::uint8_t>& mayMatch) const;

  // The states the DFAs hold, and the groups they run in.
  std::size_t StateCount() const;
  std::size_t GroupCount() const;

 private:
  // The positions of all covered patterns: byte sets (sets_[setOf_[q]]),
  // pattern and whether a match of the pattern can end there
  // (patternAndLast_: pattern * 2 + last), followers (follow_ from
  // followBegin_[q] to followBegin_[q + 1]), and where matches start.
  std::vector<std::bitset<256>> sets_;
  std::vector<std::uint16_t> setOf_;
  std::vector<std::uint32_t> patternAndLast_;
  std::vector<std::uint32_t> followBegin_;  // one entry per position, and one more
  std::vector<std::uint32_t> follow_;
  std::vector<std::uint32_t> first_;

  std::vector<std::uint8_t> covered_;
  std::size_t coveredCount_ = 0;

  // Patterns run together by one DFA over their positions.
  struct Group {
    std::vector<std::uint32_t> patterns;
    std::unique_ptr<PositionDfa> dfa;
  };
  // A group's DFA over the positions of its patterns.
  std::unique_ptr<PositionDfa> MakeDfa(const std::vector<std::uint32_t>& patterns) const;
  // After the DFA of group g filled up: every DFA starts afresh. Where it
  // filled within kSplitWithinTexts texts of the last start and maySplit,
  // the patterns that take part in a quarter or more of its states (all but
  // one, at most) move on to the next group.
  void Restart(std::size_t g, bool maySplit) const;
  // The patterns that matched in kLeaveAtPercent of their texts since the
  // last review leave their groups; the counts start again.
  void Review() const;

  std::size_t dfaMaxStates_;
  mutable std::size_t textsSinceRestart_ = 0;
  // Per pattern, since the last review: the texts its group ran to the end
  // (or until every pattern of the group had matched), and those in which
  // its kept form matched.
  mutable std::vector<std::uint32_t> textsRun_, textsMatched_;
  mutable std::size_t textsSinceReview_ = 0;
  mutable DfaTableBudget tableBudget_{kDfaMaxTableBytes};  // before the groups: it outlives them
  mutable std::vector<Group> groups_;
  mutable std::mutex dfaMutex_;
};

// Whether one relaxed pattern matches somewhere in a text, and where its
// matches start, by a DFA of the pattern read backwards, made lazily from its
// positions: each set of positions a search reaches becomes a state once, its
// move on a class of bytes is worked out once, and later searches, over any
// text, reuse both. A search runs from the end of the text to its start.
// The DFA follows a match only as far as it must to be sure of it: an
// optional tail of the pattern, and the optional part of a last repeat, are
// left out (the matches start where they did).
// Patterns whose PCRE2 search tries a match at almost every byte cost a few
// nanoseconds per byte this way, and their search then need try only the
// starts found. A pattern whose matches start only at the start of the text
// or after an LF (PCRE2 tries no other offset) gets a DFA of the pattern read
// forwards instead, run from each such line start until no partial match is
// alive: most lines end their run within a few bytes. A backward DFA that
// grows large may get a forward one beside it, which tells first whether
// there is a match at all (Existence).
//
// Promises:
// - Conservative: MayMatch is false only when the relaxed pattern matches
//   nowhere in the text (all of it, not a kept part; for a DFA of line
//   starts: from no line start); MatchStarts lists every offset at which a
//   match of it starts (every line start from which one runs).
// - Bounded: the states (kMaxStates) and their moves (kMaxTableBytes) of
//   each of its DFAs stop growing at their limit, and so do they when the
//   DFAs that share a budget have used it up. A forward DFA at its limit is
//   dropped. A backward DFA (or one of line starts) that reaches it after
//   kRefillWithin searches or more since it started starts afresh, and the
//   search runs again (a text that alone needs more may match, with no
//   starts known); one that reaches it sooner stays full: from then on
//   MayMatch answers true for every text (and MatchStarts false), as it
//   does when the pattern matches the empty string or needs more than
//   kMaxPositions positions (Usable is false then). The runs of a DFA of
//   line starts over one text stop after kLineStartStepsPerByte moves per
//   byte of it (and kLineStartSteps more): that text may match, with no
//   starts known.
// - Thread-safe: searches from several threads take turns (a lock).
class RelaxedDfa {
 public:
  static constexpr std::size_t kMaxPositions = 16384;
  static constexpr std::size_t kMaxStates = 8192;
  static constexpr std::size_t kMaxTableBytes = std::size_t{4} << 20;
  static constexpr std::size_t kLineStartStepsPerByte = 8, kLineStartSteps = 4096;
  static constexpr std::size_t kRefillWithin = 1024;

  using Budget = DfaTableBudget;
  // Where matches of the pattern may start: anywhere, or only at offset 0
  // and after an LF.
  enum class Starts : std::uint8_t { kAnywhere, kAtLineStarts };

  // How a search tells whether the relaxed pattern matches at all: by the
  // backward DFA alone, or by a DFA of the pattern read forwards first, run
  // until its first match (then the backward DFA finds the starts).
  // Patterns whose last bytes are common in mail and whose first are rare
  // run much faster forwards. kMeasured: where the backward DFA has made
  // kForwardTrialStates states or more in its first kExistenceWarmUp
  // searches, the next kForwardWarmUp + kExistenceTrials searches run both,
  // and the last kExistenceTrials of them are timed (not counting new
  // moves); the forward DFA stays where searches with it took less than
  // kForwardWorth of the time without. (A DFA of line starts runs
  // forwards already.)
  enum class Existence : std::uint8_t { kMeasured, kBackward, kForwardFirst };
  static constexpr int kExistenceWarmUp = 8, kForwardWarmUp = 8, kExistenceTrials = 16;
  static constexpr std::size_t kForwardTrialStates = 128;
  static constexpr double kForwardWorth = 0.8;

  // budget: shared with other DFAs, or null; it must outlive the DFA.
  explicit RelaxedDfa(RelaxedNode pattern, Budget* budget = nullptr, Starts starts = Starts::kAnywhere,
                      Existence existence = Existence::kMeasured);
  ~RelaxedDfa();
  RelaxedDfa(const RelaxedDfa&) = delete;
  RelaxedDfa& operator=(const RelaxedDfa&) = delete;

  bool Usable() const;
  bool MayMatch(std::string_view text) const;
  // Every offset of text at which a match of the relaxed pattern starts,
  // ascending (none: it matches nowhere); a match of the pattern itself can
  // start only there. False, with starts empty, where MayMatch would answer
  // true for every text (not Usable, or at the limit), or for this one (a
  // DFA of line starts at its limit of moves).
  // Where only some matches are wanted (those that hold a literal found in
  // text, say), starts may leave out the others, and the search reads less
  // of the text: from maxEnd down to minStart, and below minEnd only as
  // long as a match that ends at or after it is alive.
  bool MatchStarts(std::string_view text, std::vector<std::uint32_t>& starts,
                   const MatchBounds& wanted = {}) const;
  // The states of its DFAs together.
  std::size_t StateCount() const;
  // kMeasured until the trials are over, then what they chose.
  Existence ExistenceNow() const;
  // How long its searches have spent working out the moves they met for the
  // first time; a search that meets none costs what it will from then on.
  // (Searches from other threads may add to it between two reads.)
  double MoveSeconds() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quelta
