// RuleSet: the rules of a store resolved once for evaluation. Each rule gets
// its kind and control letters decoded, its data field as a parser handle,
// its simple-rule term folded and upper-cased, its internal check found by
// name, and its pattern (one per distinct pattern text, shared by the rules
// that write it) compiled on first use.
//
// The prefilter keeps patterns that cannot match from running:
// - For every data field that regular-expression rules read, one literal
//   scanner over the literals those patterns require tells which patterns
//   cannot match the field at all.
// - On a field where the own search of some pattern without required
//   literals would try a match at almost every byte, those patterns go
//   through one pass of a relaxed matcher (RelaxedMatcher) instead.
// - Where the literals of a pattern occur in a field bounds where its
//   matches can lie: its search tries matches only where they may start.
// - A pattern whose own search proves slow for the bytes it reads gets a
//   lazy DFA of its relaxed form (RelaxedDfa): a field in which the DFA
//   finds the relaxed form nowhere cannot match the pattern, and in another
//   the pattern's search tries matches only where the relaxed form's
//   matches start. The DFA stays only where it saved more time than it took.
// Scanners and matchers are built when the set evaluates its second message,
// and from then on a pattern's searches count towards its DFA: a process that
// scores one message does not pay for them.
//
// Promises:
// - Evaluating through a set gives the scores, report texts and matches of
//   evaluating every rule from its record: the prefilter skips a pattern only
//   when it compiled and its required literals are absent from the text it
//   would search, or its relaxed form does not match that text, and a
//   search skips only starts at which no match of the relaxed form starts
//   (none that holds one of its literals, for a pattern that requires some).
//   (What is skipped cannot report a match-limit failure it might have run
//   into.)
// - The store must outlive the set and stay unchanged while the set lives.
// - A set is read by one evaluation at a time or by several at once:
//   patterns and DFAs are made under a lock, a DFA and a matcher grow under
//   their own, the field storage kept between messages is taken and given
//   back under another, everything else is immutable after construction.
//   FieldCache belongs to one message's evaluation on one thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/checks.h"
#include "message/parser.h"
#include "regex/regex.h"
#include "regex/relaxed_matcher.h"
#include "regex/required_literals.h"

namespace quelta {

class LiteralScanner;
class RuleStore;
struct Rule;

// One rule as evaluation reads it. (Evaluation walks all of them for every
// message: what it reads of each is kept in a few bytes together.)
struct PreparedRule {
  const Rule* rule = nullptr;
  char kind = '\0';  // first letter of the flags: 'I', 'R', 'S' or another
  bool negate = false, abort = false, setScore = false, markHam = false, markSpam = false;
  char link = '\0';  // '\0' none, '&', '?', or 'x' for any other link text
  // A BayesAutoLearn control rule (field "bayesautolearn" in any case) and
  // what its value asks: 1 on, -1 off, 0 not valid.
  bool autoLearnControl = false;
  int autoLearnSwitch = 0;
  int field = -1;      // "S" and "R": index of the field in the set
  int simple = -1;     // "S": index of its term (RuleSet::Simple)
  int pattern = -1;    // "R": index of the pattern in the set
  int filterId = -1;   // "R": the pattern's id in its field's scanner; -1: always runs
  int check = -1;      // "I": index of the internal check; -1: unknown name
};

// What one message's evaluation found out about one field (FieldCache). The
// set keeps the storage of finished evaluations for the next ones.
struct CachedField {
  const std::string* text = nullptr;
  bool hasUpper = false, scanned = false;
  std::string upper;
  std::vector<std::uint8_t> mayMatch;
  std::vector<LiteralSpan> spans;  // where each pattern's literals were found
  LiteralHits hits;                // every one, for patterns whose scanner lists them
};

class RuleSet {
 public:
  // Resolves every rule of the store; with prefilter false no scanner is
  // built and every pattern runs (the reference the prefilter is tested
  // against).
  explicit RuleSet(const RuleStore& store, bool prefilter = true);
  ~RuleSet();
  RuleSet(const RuleSet&) = delete;
  RuleSet& operator=(const RuleSet&) = delete;

  int Count() const { return static_cast<int>(rules_.size()); }
  const PreparedRule& At(int i) const { return rules_[static_cast<std::size_t>(i)]; }
  const SimpleTerm& Simple(const PreparedRule& rule) const {
    return simpleTerms_[static_cast<std::size_t>(rule.simple)];
  }

  // The compiled pattern, compiled on first request; null when it does not
  // compile (then it never will). Raises only what allocation raises.
  const Regex* Pattern(int pattern) const {
    if (CompileState(pattern).load(std::memory_order_acquire) == 1)
      return patterns_[static_cast<std::size_t>(pattern)].re.get();
    return Compile(pattern);
  }
  // Whether the pattern compiles (compiling it on first request): Pattern
  // is not null.
  bool Compiles(int pattern) const {
    const std::uint8_t state = CompileState(pattern).load(std::memory_order_acquire);
    return state == 1 || (state == 0 && Compile(pattern) != nullptr);
  }
  // The lazy DFA of the relaxed form of a pattern that compiled, or null
  // (none, none yet, dropped, or no prefilter). Counts a search. From the
  // second on, phase
  // says what the caller reports: kDfaProbes searches without a DFA are
  // timed (kProbing: ReportProbe); where they took more than
  // kDfaWorthNanosPerByte per byte, a DFA is made. Its first kDfaWarmUp
  // searches make most of its states (kWarmingUp), kDfaTrials more are timed
  // (kOnTrial); each is reported (ReportDfaTrial): how long the DFA and the
  // search it left took (not counting the moves the DFA worked out for the
  // first time), and how long the pattern's own search over the whole text
  // took. The DFA stays only where it saves time: where the
  // first took less than the second over the trials. The trials end after
  // kDfaClearAfter where one of the two sums is already kDfaClearRatio
  // times the other.
  enum class DfaPhase : std::uint8_t { kDecided, kProbing, kWarmingUp, kOnTrial };
  std::shared_ptr<const RelaxedDfa> Dfa(int pattern, DfaPhase& phase) const;
  void ReportProbe(int pattern, double seconds, std::size_t bytes) const;
  void ReportDfaTrial(int pattern, double withDfaSeconds, double withoutDfaSeconds) const;
  static constexpr int kDfaProbes = 3, kDfaWarmUp = 32, kDfaTrials = 16, kDfaClearAfter = 4;
  static constexpr double kDfaClearRatio = 4;
  static constexpr double kDfaWorthNanosPerByte = 0.7;

  // Figures for benchmarks: distinct patterns, and those of them the
  // prefilter can skip (building the prefilter if not yet built).
  std::size_t PatternCount() const { return patterns_.size(); }
  std::size_t FilteredPatternCount() const { return WithPrefilter().filtered_; }

 private:
  friend class FieldCache;
  struct FieldEntry {
    FieldHandle handle;
    bool changing = false;  // its text may change while a message is evaluated
    std::unique_ptr<LiteralScanner> scanner;
    std::unique_ptr<RelaxedMatcher> relaxed;  // for the patterns without literals
  };
  struct PatternEntry {
    const std::string* text = nullptr;
    mutable RegexRef re;  // once CompileState says 1
    mutable bool anyStart = false;  // SearchesFromAnyStart(*re), once compiled
    mutable std::shared_ptr<const RelaxedDfa> dfa;  // a search on trial holds it too
    // 0 searched never, 1 probed (no DFA yet), 2 on trial, 3 kept, 4 none
    // or dropped
    mutable std::atomic<std::uint8_t> dfaState{0};
    mutable int trials = 0;  // these four under compileMutex_; trials counts probes first
    mutable std::size_t probedBytes = 0;
    mutable double withDfaSeconds = 0;     // the DFA and the searches from its starts
    mutable double withoutDfaSeconds = 0;  // the pattern's own searches (probes first)
    // Where its required literals lie in a match (RequiredLiterals), known
    // with the prefilter.
    mutable std::size_t literalLead = SIZE_MAX, literalTail = SIZE_MAX;
  };
  // The scanners and relaxed matchers, built once, when the second message
  // is evaluated (or the figures are asked for).
  const RuleSet& WithPrefilter() const;
  // Pattern's first request: compiles the pattern under the lock.
  const Regex* Compile(int pattern) const;
  // Per pattern: 0 not compiled yet, 1 compiled, 2 failed (apart from the
  // patterns' entries, so that the rules whose patterns the prefilter skips
  // read little).
  std::atomic<std::uint8_t>& CompileState(int pattern) const {
    return compileStates_[static_cast<std::size_t>(pattern)];
  }
  void BuildPrefilter() const;

  // What the DFAs of all patterns may take together (declared before the
  // patterns, which hold the DFAs: it outlives them).
  static constexpr std::size_t kDfaBudgetBytes = std::size_t{64} << 20;
  mutable RelaxedDfa::Budget dfaBudget_{kDfaBudgetBytes};
  std::vector<PreparedRule> rules_;
  mutable std::vector<FieldEntry> fields_;  // their scanners come with the prefilter
  std::vector<PatternEntry> patterns_;
  std::unique_ptr<std::atomic<std::uint8_t>[]> compileStates_;
  std::vector<SimpleTerm> simpleTerms_;
  // Per field: the patterns on it, by pattern index -> id in the field's scanner.
  std::vector<std::map<int, int>> fieldPatterns_;
  // Per field: where its filter ids start in a message's search results
  // (FieldCache), and one more entry: their count.
  std::vector<std::size_t> resultsBegin_;
  mutable std::size_t filtered_ = 0;
  bool prefilter_ = true;
  mutable std::once_flag prefilterBuilt_;
  mutable std::atomic<std::uint32_t> evaluations_{0};
  mutable std::mutex compileMutex_;
  // Fields of finished evaluations, their storage kept (at most
  // kSpareFieldSets): taken by a FieldCache, given back when it ends.
  std::vector<CachedField> TakeFields() const;
  void GiveBackFields(std::vector<CachedField> fields) const;
  // (A field's upper-cased text longer than kSpareTextBytes is not kept.)
  static constexpr std::size_t kSpareFieldSets = 2, kSpareTextBytes = std::size_t{1} << 20;
  mutable std::mutex spareMutex_;
  mutable std::vector<std::vector<CachedField>> spareFields_;
};

// The fields of one message as its evaluation reads them: each field's text,
// its upper-cased text, and which of its patterns may match, each found once.
class FieldCache {
 public:
  // maxRegExpSize: how much of a field patterns search (and the scan reads).
  // set null: no rules (and so no fields).
  FieldCache(const RuleSet* set, MessageParser& parser, std::size_t maxRegExpSize);
  ~FieldCache();
  FieldCache(const FieldCache&) = delete;
  FieldCache& operator=(const FieldCache&) = delete;

  const std::string& Text(int field);
  // Whether the upper-cased text of the field contains upperTerm.
  bool ContainsUpper(int field, const std::string& upperTerm);
  // False when the pattern with this filter id cannot match the field.
  bool MayMatch(int field, int filterId) {
    if (!usePrefilter_ || filterId < 0) return true;
    const Entry& e = entries_[static_cast<std::size_t>(field)];
    return e.scanned ? e.mayMatch[static_cast<std::size_t>(filterId)] != 0 : ScanAndMayMatch(field, filterId);
  }
  // What the DFA of a pattern (RuleSet::Dfa) tells of the field: false when
  // its relaxed form matches nowhere in it, or when a search made here to
  // time the pattern found no match. Otherwise starts is null (search
  // all of the field) or the offsets where a match of the pattern may start
  // (for IsMatchFrom; valid until the next call). filterId as for MayMatch:
  // after MayMatch, where the pattern's literals lie in the field bounds
  // where its matches can start, also for a pattern without a DFA.
  bool DfaMayMatch(int field, int pattern, int filterId, StartOffsets& starts);

  // A pattern's search of a field (filterId as for MayMatch) done earlier in
  // this message: 0 no match, 1 a match, -1 none kept. Several rules may
  // search the same field for the same pattern; a failed search is not kept
  // (it fails again, and each rule reports it), nor is one of a field whose
  // text may change.
  int KnownMatch(int field, int filterId) const {
    return filterId < 0 ? -1 : results_[set_->resultsBegin_[static_cast<std::size_t>(field)] + static_cast<std::size_t>(filterId)];
  }
  void KeepMatch(int field, int filterId, bool matched);

 private:
  // The text of a field as far as patterns search it (maxRegExpSize).
  std::string_view SearchedText(int field);
  // MayMatch where the field is not scanned yet: scans it, if it has a
  // scanner.
  bool ScanAndMayMatch(int field, int filterId);
  using Entry = CachedField;
  const RuleSet* set_;
  MessageParser& parser_;
  std::size_t maxRegExpSize_;
  bool usePrefilter_ = false;
  std::vector<Entry> entries_;
  std::vector<std::int8_t> results_;  // see KnownMatch
  std::vector<std::uint32_t> starts_;  // what DfaMayMatch last found
  std::vector<LiteralHit> hits_;       // the occurrences it last read
};

}  // namespace quelta
