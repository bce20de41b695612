// The literal prefilter on a real rule set and corpus: every message of a
// folder (its line ends made CR LF, as the host passes them) scored with the rules of a rule file twice, with the prefilter and
// without it (Bayes off, BreakAtScore 0 so that every rule runs), comparing
// the results and the reports rule by rule, and timing both.
//
//   prefilter_compare RULEFILE MESSAGEDIR [--slowest N]
//
// Prints one line of figures (messages, differing, ms/msg both ways, the
// time to compile every pattern, the share of patterns with literals) and
// the first differences; exits 1 when any message differs. --slowest N adds
// the N patterns that took the most time over the corpus with the prefilter
// on: their searches, and apart from them their DFAs (the DFA's passes and
// the searches made to time it); how often they ran, matched, and whether
// they have literals.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "engine/evaluator.h"
#include "engine/message_context.h"
#include "engine/rule_set.h"
#include "regex/required_literals.h"
#include "rules/rule_store.h"

namespace fs = std::filesystem;
using namespace quelta;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

class KeepLog : public Log {
 public:
  void Write(const std::string& text) override { entries.push_back(text); }
  std::vector<std::string> entries;
};

struct Outcome {
  std::int32_t result = 0;
  std::vector<std::string> report;  // the log without the header block and its time
};

Outcome Score(const std::string& raw, const RuleSet& rules, double& ms) {
  KeepLog log;
  EngineOptions options;
  options.breakAtScore = 0;
  options.bayesEnabled = false;
  EngineServices services;
  services.rules = &rules;
  services.log = &log;
  const Clock::time_point t = Clock::now();
  MessageContext message(raw);
  MessageEvaluator evaluator(message, options, services);
  Outcome o;
  o.result = evaluator.Evaluate();
  ms += MsSince(t);
  o.report.assign(log.entries.begin() + 1, log.entries.end());
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && !(argc == 5 && std::string(argv[3]) == "--slowest")) {
    std::fprintf(stderr, "usage: prefilter_compare RULEFILE MESSAGEDIR [--slowest N]\n");
    return 2;
  }
  const std::size_t slowest = argc == 5 ? static_cast<std::size_t>(std::atoi(argv[4])) : 0;
  const fs::path ruleFile = fs::absolute(argv[1]);
  KeepLog loadLog;
  RuleStore store;
  const RuleFileOptions where{ruleFile.parent_path().string() + "/", ruleFile.parent_path().string() + "/"};
  if (!store.LoadFromFile(ruleFile.string(), where, loadLog)) {
    std::fprintf(stderr, "prefilter_compare: %s not read completely\n", ruleFile.string().c_str());
    return 2;
  }
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(argv[2]))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());

  Clock::time_point built = Clock::now();
  const RuleSet filtered(store, true);
  filtered.FilteredPatternCount();  // builds the prefilter
  const double prefilterMs = MsSince(built);
  const RuleSet reference(store, false);
  // Every pattern compiled once, outside the timing of the messages.
  Clock::time_point t = Clock::now();
  for (std::size_t p = 0; p < reference.PatternCount(); ++p) reference.Pattern(static_cast<int>(p));
  const double compileMs = MsSince(t);
  for (std::size_t p = 0; p < filtered.PatternCount(); ++p) filtered.Pattern(static_cast<int>(p));

  struct PatternTime {
    double ms = 0, dfaMs = 0;  // the search itself, and the DFA that came before it
    int runs = 0, matches = 0;
  };
  std::vector<PatternTime> patternTimes(filtered.PatternCount());
  double withMs = 0, withoutMs = 0;
  int differing = 0;
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    // Line ends as a mail client hands a message over: CR LF.
    std::string raw;
    for (char c : ss.str()) {
      if (c == '\n' && (raw.empty() || raw.back() != '\r')) raw += '\r';
      raw += c;
    }
    if (slowest > 0) {
      MessageContext message(raw);
      FieldCache fields(&filtered, message.Parser(), EngineOptions().maxRegExpSize);
      for (int i = 0; i < filtered.Count(); ++i) {
        const PreparedRule& p = filtered.At(i);
        // The pre-tests the evaluator applies, in its order.
        StartOffsets starts;
        if (p.kind != 'R' || !filtered.Pattern(p.pattern) || !fields.MayMatch(p.field, p.filterId)) continue;
        fields.Text(p.field);  // the field's text is made once, outside the timing
        const Clock::time_point before = Clock::now();
        const bool may = fields.DfaMayMatch(p.field, p.pattern, p.filterId, starts);
        patternTimes[static_cast<std::size_t>(p.pattern)].dfaMs += MsSince(before);
        if (!may) continue;
        std::string text;
        const Clock::time_point start = Clock::now();
        const bool hit = EvaluateRegExp(*p.rule, filtered.Pattern(p.pattern), fields.Text(p.field),
                                        EngineOptions().maxRegExpSize, text, starts);
        PatternTime& pt = patternTimes[static_cast<std::size_t>(p.pattern)];
        pt.ms += MsSince(start);
        ++pt.runs;
        pt.matches += hit ? 1 : 0;
      }
    }
    const Outcome want = Score(raw, reference, withoutMs);
    const Outcome got = Score(raw, filtered, withMs);
    if (want.result != got.result || want.report != got.report) {
      if (++differing <= 5) {
        std::printf("DIFFERS: %s (score %d without, %d with the prefilter)\n", file.string().c_str(),
                    want.result, got.result);
        const std::string a = want.report.empty() ? "" : want.report.back();
        const std::string b = got.report.empty() ? "" : got.report.back();
        std::size_t at = 0;
        while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
        std::printf("  without: ...%s\n  with:    ...%s\n", a.substr(at, 160).c_str(), b.substr(at, 160).c_str());
      }
    }
  }
  const double n = files.empty() ? 1.0 : static_cast<double>(files.size());
  std::printf(
      "messages=%zu rules=%d patterns=%zu with_literals=%zu differing=%d "
      "ms_per_msg_without=%.3f ms_per_msg_with=%.3f compile_ms=%.1f prefilter_ms=%.1f\n",
      files.size(), store.Count(), filtered.PatternCount(), filtered.FilteredPatternCount(), differing,
      withoutMs / n, withMs / n, compileMs, prefilterMs);
  if (slowest > 0) {
    std::vector<int> order;
    std::vector<bool> listed(filtered.PatternCount());
    for (int i = 0; i < filtered.Count(); ++i) {
      const PreparedRule& p = filtered.At(i);
      if (p.kind != 'R' || listed[static_cast<std::size_t>(p.pattern)]) continue;
      const PatternTime& pt = patternTimes[static_cast<std::size_t>(p.pattern)];
      if (pt.runs > 0 || pt.dfaMs > 0) {
        order.push_back(i);
        listed[static_cast<std::size_t>(p.pattern)] = true;  // each pattern once
      }
    }
    auto time = [&](int i) {
      const PatternTime& pt = patternTimes[static_cast<std::size_t>(filtered.At(i).pattern)];
      return pt.ms + pt.dfaMs;
    };
    std::sort(order.begin(), order.end(), [&](int a, int b) { return time(a) > time(b); });
    if (order.size() > slowest) order.resize(slowest);
    for (int i : order) {
      const PreparedRule& p = filtered.At(i);
      const PatternTime& pt = patternTimes[static_cast<std::size_t>(p.pattern)];
      std::printf("%8.1f ms (dfa %.1f) runs=%d matches=%d filtered=%s %s \"%s\"\n", pt.ms, pt.dfaMs, pt.runs,
                  pt.matches, p.filterId >= 0 && !ExtractRequiredLiterals(p.rule->value).always ? "yes" : "no",
                  p.rule->field.c_str(), p.rule->value.substr(0, 100).c_str());
    }
  }
  return differing == 0 ? 0 : 1;
}
