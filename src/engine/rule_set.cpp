#include "engine/rule_set.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <utility>

#include "base/strings.h"
#include "os/env.h"
#include "regex/relaxed_matcher.h"
#include "regex/required_literals.h"
#include "rules/rule_store.h"

namespace quelta {

namespace {

bool Has(const std::string& flags, char c) { return flags.find(c) != std::string::npos; }

// What a BayesAutoLearn control rule's value asks: 1 on, -1 off, 0 not valid.
int AutoLearnSwitch(const std::string& value) {
  const std::string v = AsciiUpper(value);
  if (v == "OFF" || v == "DISABLE" || value == "0") return -1;
  if (v == "ON" || v == "ENABLE" || value == "1") return 1;
  return 0;
}

}  // namespace

RuleSet::RuleSet(const RuleStore& store, bool prefilter) : prefilter_(prefilter) {
  const int count = store.Count();
  rules_.resize(static_cast<std::size_t>(count));
  // Fields by their handle, patterns by their text: each resolved once.
  std::map<std::pair<int, std::string>, int> fieldIndex;
  std::map<std::string, int> patternIndex;
  std::vector<const std::string*> patternTexts;
  std::vector<std::map<int, int>>& fieldPatterns = fieldPatterns_;
  const int changingId = MessageParser::ResolveField("RCVIPHOSTS").id;

  for (int i = 0; i < count; ++i) {
    const Rule& rule = store.At(i);
    PreparedRule& p = rules_[static_cast<std::size_t>(i)];
    p.rule = &rule;
    p.kind = rule.flags.empty() ? '\0' : rule.flags[0];
    p.negate = Has(rule.flags, 'N');
    p.abort = Has(rule.flags, 'A');
    p.setScore = Has(rule.flags, 'F');
    p.markHam = Has(rule.flags, 'W');
    p.markSpam = Has(rule.flags, 'H');
    p.link = rule.link.empty() ? '\0' : rule.link == "&" ? '&' : rule.link == "?" ? '?' : 'x';
    p.autoLearnControl = AsciiLower(rule.field) == "bayesautolearn";
    if (p.autoLearnControl) p.autoLearnSwitch = AutoLearnSwitch(rule.value);

    if (p.kind == 'I') {
      p.check = FindInternalCheck(rule.field);
    } else if (p.kind == 'R' || p.kind == 'S') {
      FieldHandle handle = MessageParser::ResolveField(rule.field);
      auto key = std::make_pair(handle.id, handle.header);
      auto f = fieldIndex.find(key);
      if (f == fieldIndex.end()) {
        f = fieldIndex.emplace(std::move(key), static_cast<int>(fields_.size())).first;
        FieldEntry entry;
        entry.changing = handle.id == changingId;
        entry.handle = std::move(handle);
        fields_.push_back(std::move(entry));
        fieldPatterns.emplace_back();
      }
      p.field = f->second;
      if (p.kind == 'S') {
        p.simple = static_cast<int>(simpleTerms_.size());
        simpleTerms_.push_back(PrepareSimpleTerm(rule));
      } else {
        auto pat = patternIndex.emplace(rule.value, static_cast<int>(patternTexts.size())).first;
        if (pat->second == static_cast<int>(patternTexts.size())) patternTexts.push_back(&rule.value);
        p.pattern = pat->second;
        std::map<int, int>& onField = fieldPatterns[static_cast<std::size_t>(p.field)];
        p.filterId = onField.emplace(p.pattern, static_cast<int>(onField.size())).first->second;
      }
    }
  }

  resultsBegin_.assign(1, 0);
  for (const std::map<int, int>& onField : fieldPatterns_) resultsBegin_.push_back(resultsBegin_.back() + onField.size());
  patterns_ = std::vector<PatternEntry>(patternTexts.size());
  for (std::size_t k = 0; k < patternTexts.size(); ++k) patterns_[k].text = patternTexts[k];
  compileStates_ = std::make_unique<std::atomic<std::uint8_t>[]>(patternTexts.size());  // all 0

}

// Patterns without literals keep, for the matcher, the relaxed form read
// along with their literals, up to this much pattern text per field (a
// form's tree takes some fifteen times its pattern's bytes). The forms of
// the others are read again, one at a time, when the matcher asks.
constexpr std::size_t kKeptFormsPatternBytes = std::size_t{256} << 10;

void RuleSet::BuildPrefilter() const {
  // One scanner per field over the required literals of its patterns, and
  // one relaxed matcher for those of them that have no literals. A field
  // whose text may change during the evaluation gets neither, and so does a
  // field none of whose patterns can be filtered.
  for (std::size_t f = 0; f < fields_.size(); ++f) {
    if (!prefilter_ || fields_[f].changing) continue;
    const std::map<int, int>& onField = fieldPatterns_[f];
    std::vector<RequiredLiterals> literals(onField.size());
    std::vector<const std::string*> texts(onField.size());
    std::size_t withLiterals = 0, broadStarts = 0, keptFormsBytes = 0;
    for (const auto& [pattern, id] : onField) {
      RequiredLiterals& l = literals[static_cast<std::size_t>(id)];
      texts[static_cast<std::size_t>(id)] = patterns_[static_cast<std::size_t>(pattern)].text;
      l = ExtractRequiredLiterals(*texts[static_cast<std::size_t>(id)]);
      patterns_[static_cast<std::size_t>(pattern)].literalLead = l.lead;
      patterns_[static_cast<std::size_t>(pattern)].literalTail = l.tail;
      withLiterals += l.always ? 0 : 1;
      if (l.always && l.relaxed) {
        const Regex* re = Pattern(pattern);
        broadStarts += re && StartFrequency(*re) > kNarrowStart ? 1 : 0;
      }
      const std::size_t bytes = texts[static_cast<std::size_t>(id)]->size();
      if (l.always && keptFormsBytes + bytes <= kKeptFormsPatternBytes)
        keptFormsBytes += bytes;
      else
        l.relaxed.reset();
    }
    // The matcher's pass costs less than the searches it saves only where
    // some of those searches would try a match almost anywhere; the others
    // (a search that skips to a rare byte costs little) come along then.
    std::unique_ptr<RelaxedMatcher> matcher;
    if (broadStarts > 0) {
      matcher = std::make_unique<RelaxedMatcher>(literals.size(), [&](std::size_t id) -> std::optional<RelaxedNode> {
        if (!literals[id].always) return std::nullopt;
        if (literals[id].relaxed) return std::move(literals[id].relaxed);
        return ExtractRelaxedForm(*texts[id]);
      });
      if (matcher->CoveredCount() == 0) matcher.reset();
    }
    if (withLiterals == 0 && !matcher) continue;
    filtered_ += withLiterals + (matcher ? matcher->CoveredCount() : 0);
    fields_[f].scanner = std::make_unique<LiteralScanner>(literals);
    fields_[f].relaxed = std::move(matcher);
  }
}

const RuleSet& RuleSet::WithPrefilter() const {
  std::call_once(prefilterBuilt_, [this] { BuildPrefilter(); });
  return *this;
}

RuleSet::~RuleSet() = default;

const Regex* RuleSet::Compile(int pattern) const {
  const PatternEntry& p = patterns_[static_cast<std::size_t>(pattern)];
  std::atomic<std::uint8_t>& compiled = CompileState(pattern);
  std::uint8_t state = compiled.load(std::memory_order_acquire);
  if (state == 0) {
    std::lock_guard<std::mutex> lock(compileMutex_);
    state = compiled.load(std::memory_order_relaxed);
    if (state == 0) {
      try {
        p.re = CreateRegex(*p.text);
        p.anyStart = SearchesFromAnyStart(*p.re);
        state = 1;
      } catch (const RegexError&) {
        state = 2;  // the same text never compiles
      }
      compiled.store(state, std::memory_order_release);
    }
  }
  return state == 1 ? p.re.get() : nullptr;
}

std::shared_ptr<const RelaxedDfa> RuleSet::Dfa(int pattern, DfaPhase& phase) const {
  const PatternEntry& p = patterns_[static_cast<std::size_t>(pattern)];
  std::uint8_t state = p.dfaState.load(std::memory_order_acquire);
  phase = DfaPhase::kDecided;
  if (state == 3) return p.dfa;  // kept: no longer changes
  if (state == 4 || !prefilter_ || CompileState(pattern).load(std::memory_order_acquire) != 1) return nullptr;
  std::lock_guard<std::mutex> lock(compileMutex_);
  state = p.dfaState.load(std::memory_order_relaxed);
  if (state == 0) {
    // The first search only counts: a pattern searched once pays for no DFA.
    // (Also a search that tries a match at few bytes is probed: in some
    // texts those bytes are everywhere, the "<" of HTML, say.)
    p.dfaState.store(1, std::memory_order_release);
    return nullptr;
  }
  if (state == 1) phase = DfaPhase::kProbing;
  if (state == 2) phase = p.trials < kDfaWarmUp ? DfaPhase::kWarmingUp : DfaPhase::kOnTrial;
  return p.dfa;
}

void RuleSet::ReportProbe(int pattern, double seconds, std::size_t bytes) const {
  const PatternEntry& p = patterns_[static_cast<std::size_t>(pattern)];
  std::lock_guard<std::mutex> lock(compileMutex_);
  if (p.dfaState.load(std::memory_order_relaxed) != 1) return;
  p.withoutDfaSeconds += seconds;
  p.probedBytes += bytes;
  if (++p.trials < kDfaProbes) return;
  // A search that took less per byte than a DFA's pass would is left alone.
  const bool worth = p.withoutDfaSeconds * 1e9 > kDfaWorthNanosPerByte * static_cast<double>(p.probedBytes);
  p.trials = 0;
  p.withoutDfaSeconds = 0;
  if (worth) {
    if (std::optional<RelaxedNode> relaxed = ExtractRelaxedForm(*p.text)) {
      const RelaxedDfa::Starts starts =
          StartsOnlyAtLineStarts(*p.re) ? RelaxedDfa::Starts::kAtLineStarts : RelaxedDfa::Starts::kAnywhere;
      auto dfa = std::make_shared<const RelaxedDfa>(std::move(*relaxed), &dfaBudget_, starts);
      if (dfa->Usable()) p.dfa = std::move(dfa);
    }
  }
  p.dfaState.store(p.dfa ? 2 : 4, std::memory_order_release);
}

void RuleSet::ReportDfaTrial(int pattern, double withDfaSeconds, double withoutDfaSeconds) const {
  const PatternEntry& p = patterns_[static_cast<std::size_t>(pattern)];
  std::lock_guard<std::mutex> lock(compileMutex_);
  if (p.dfaState.load(std::memory_order_relaxed) != 2) return;
  // The first searches make most of the states the DFA will need: only the
  // later ones tell its speed.
  if (++p.trials <= kDfaWarmUp) return;
  p.withDfaSeconds += withDfaSeconds;
  p.withoutDfaSeconds += withoutDfaSeconds;
  // Each trial runs the pattern's own search as well, which the DFA is there
  // to save: where the first trials already tell a clear winner, the rest
  // are not run.
  const bool clear = p.trials >= kDfaWarmUp + kDfaClearAfter &&
                     (p.withDfaSeconds * kDfaClearRatio < p.withoutDfaSeconds ||
                      p.withoutDfaSeconds * kDfaClearRatio < p.withDfaSeconds);
  if (!clear && p.trials < kDfaWarmUp + kDfaTrials) return;
  const bool keep = p.withDfaSeconds < p.withoutDfaSeconds;
  if (!keep) p.dfa.reset();  // a search still under way holds its own reference
  p.dfaState.store(keep ? 3 : 4, std::memory_order_release);
}

// ---- FieldCache ----------------------------------------------------------------

std::vector<CachedField> RuleSet::TakeFields() const {
  std::vector<CachedField> fields;
  {
    std::lock_guard<std::mutex> lock(spareMutex_);
    if (!spareFields_.empty()) {
      fields = std::move(spareFields_.back());
      spareFields_.pop_back();
    }
  }
  fields.resize(fields_.size());
  for (CachedField& f : fields) {
    f.text = nullptr;
    f.hasUpper = f.scanned = false;
  }
  return fields;
}

void RuleSet::GiveBackFields(std::vector<CachedField> fields) const {
  for (CachedField& f : fields)
    if (f.upper.capacity() > kSpareTextBytes) std::string().swap(f.upper);
  std::lock_guard<std::mutex> lock(spareMutex_);
  if (spareFields_.size() < kSpareFieldSets) spareFields_.push_back(std::move(fields));
}

FieldCache::FieldCache(const RuleSet* set, MessageParser& parser, std::size_t maxRegExpSize)
    : set_(set), parser_(parser), maxRegExpSize_(maxRegExpSize),
      entries_(set ? set->TakeFields() : std::vector<Entry>()), results_(set ? set->resultsBegin_.back() : 0, -1) {
  // The first message runs every pattern: building the prefilter costs more
  // than it saves on one message.
  usePrefilter_ = set && set->prefilter_ && set->evaluations_.fetch_add(1, std::memory_order_relaxed) > 0;
  if (usePrefilter_) set->WithPrefilter();
}

FieldCache::~FieldCache() {
  if (!set_) return;
  try {
    set_->GiveBackFields(std::move(entries_));
  } catch (...) {  // (a lock that fails: the storage just goes)
  }
}

const std::string& FieldCache::Text(int field) {
  Entry& e = entries_[static_cast<std::size_t>(field)];
  // The parser keeps the text where it is for as long as it lives.
  if (!e.text) e.text = &parser_.FieldText(set_->fields_[static_cast<std::size_t>(field)].handle);
  return *e.text;
}

void FieldCache::KeepMatch(int field, int filterId, bool matched) {
  if (filterId < 0 || set_->fields_[static_cast<std::size_t>(field)].changing) return;
  results_[set_->resultsBegin_[static_cast<std::size_t>(field)] + static_cast<std::size_t>(filterId)] = matched ? 1 : 0;
}

bool FieldCache::ContainsUpper(int field, const std::string& upperTerm) {
  const std::string& text = Text(field);
  if (set_->fields_[static_cast<std::size_t>(field)].changing)
    return os::AnsiUpperCase(text).find(upperTerm) != std::string::npos;
  Entry& e = entries_[static_cast<std::size_t>(field)];
  if (!e.hasUpper) {
    e.upper = os::AnsiUpperCase(text);
    e.hasUpper = true;
  }
  return e.upper.find(upperTerm) != std::string::npos;
}

std::string_view FieldCache::SearchedText(int field) {
  const std::string_view text(Text(field));
  return text.size() > maxRegExpSize_ ? text.substr(0, maxRegExpSize_) : text;
}

bool FieldCache::ScanAndMayMatch(int field, int filterId) {
  const LiteralScanner* scanner = set_->fields_[static_cast<std::size_t>(field)].scanner.get();
  if (!scanner) return true;
  Entry& e = entries_[static_cast<std::size_t>(field)];
  if (!e.scanned) {
    // The scan reads what the patterns would search.
    const std::string_view text = SearchedText(field);
    scanner->Scan(text, e.mayMatch, &e.spans, &e.hits);
    if (const RelaxedMatcher* relaxed = set_->fields_[static_cast<std::size_t>(field)].relaxed.get())
      relaxed->Narrow(text, e.mayMatch);
    e.scanned = true;
  }
  return e.mayMatch[static_cast<std::size_t>(filterId)] != 0;
}

bool FieldCache::DfaMayMatch(int field, int pattern, int filterId, StartOffsets& starts) {
  starts = StartOffsets{};
  if (!usePrefilter_) return true;
  // A match holds one of the pattern's literals: where they were found
  // bounds where it can lie.
  MatchBounds wanted;
  const Entry& e = entries_[static_cast<std::size_t>(field)];
  if (filterId >= 0 && e.scanned) {
    const RuleSet::PatternEntry& p = set_->patterns_[static_cast<std::size_t>(pattern)];
    wanted = WantedMatches(e.spans[static_cast<std::size_t>(filterId)], p.literalLead, p.literalTail);
  }
  starts.first = wanted.minStart;
  starts.last = wanted.maxStart;
  const Regex& re = *set_->Pattern(pattern);  // only a pattern that compiled gets this far
  const bool anyStart = set_->patterns_[static_cast<std::size_t>(pattern)].anyStart;
  // Where its literals lie near the start of a match, their occurrences
  // tell where a match can start more closely than a DFA's pass would.
  if (filterId >= 0 && e.scanned && anyStart &&
      set_->fields_[static_cast<std::size_t>(field)].scanner->ListsHits(static_cast<std::size_t>(filterId)) &&
      e.hits.Of(static_cast<std::uint32_t>(filterId), hits_)) {
    starts_.clear();
    StartsNearHits(hits_, set_->patterns_[static_cast<std::size_t>(pattern)].literalLead, starts_);
    starts.list = &starts_;
    return !starts_.empty();
  }
  const StartOffsets range = starts;  // where the pattern's own search tries
  RuleSet::DfaPhase phase = RuleSet::DfaPhase::kDecided;
  const std::shared_ptr<const RelaxedDfa> dfa = set_->Dfa(pattern, phase);
  if (!dfa && phase != RuleSet::DfaPhase::kProbing) return true;
  const std::string_view text = SearchedText(field);
  using Clock = std::chrono::steady_clock;
  // A search made here for its time: false only where it found no match
  // (a failed search is left to the evaluation, which reports it).
  auto search = [&](const StartOffsets& from) {
    try {
      return IsMatchFrom(re, text, from);
    } catch (const RegexError&) {
      return true;
    }
  };
  if (!dfa) {
    // Probing: the pattern's own search timed, to tell whether a DFA is
    // worth making; where it found nothing, it need not run again.
    const Clock::time_point start = Clock::now();
    const bool may = search(range);
    set_->ReportProbe(pattern, std::chrono::duration<double>(Clock::now() - start).count(), text.size());
    return may;
  }
  // The DFA's answer: no match, or where matches may start (the range where
  // the DFA is full or the search cannot be restricted).
  auto ask = [&] {
    starts = range;
    if (!anyStart) return dfa->MayMatch(text);
    if (!dfa->MatchStarts(text, starts_, wanted)) return true;
    starts.list = &starts_;
    return !starts_.empty();
  };
  if (phase != RuleSet::DfaPhase::kOnTrial) {
    const bool may = ask();
    if (phase == RuleSet::DfaPhase::kWarmingUp) set_->ReportDfaTrial(pattern, 0, 0);
    return may;
  }
  // On trial: the DFA and the search it leaves timed against the pattern's
  // own search, whose answer then stands where it found nothing. The moves
  // the DFA works out for the first time do not count: it makes each once.
  const double movesBefore = dfa->MoveSeconds();
  const Clock::time_point start = Clock::now();
  if (ask()) search(starts);
  const Clock::time_point between = Clock::now();
  const bool may = search(range);
  const Clock::time_point end = Clock::now();
  const double withDfa = std::chrono::duration<double>(between - start).count() - (dfa->MoveSeconds() - movesBefore);
  set_->ReportDfaTrial(pattern, std::max(0.0, withDfa), std::chrono::duration<double>(end - between).count());
  if (!may) starts = range;
  return may;
}

}  // namespace quelta
