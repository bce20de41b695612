#include "engine/evaluator.h"

#include "base/log.h"
#include "base/strings.h"
#include "bayes/classifier.h"
#include "engine/checks.h"
#include "engine/message_context.h"
#include "engine/rule_set.h"
#include "os/env.h"
#include "regex/regex.h"
#include "rules/rule_store.h"

namespace quelta {

namespace {

bool StartsWithError(std::string_view text) {
  constexpr std::string_view kError = "ERROR: ";
  return text.substr(0, kError.size()) == kError;
}

// A field's upper-cased text as the message's field cache keeps it.
class FieldUpper : public UpperText {
 public:
  FieldUpper(FieldCache& fields, int field) : fields_(fields), field_(field) {}
  bool Contains(const std::string& upperTerm) override {
    return fields_.ContainsUpper(field_, upperTerm);
  }

 private:
  FieldCache& fields_;
  int field_;
};

const char* KindName(char kind) {
  switch (kind) {
    case 'I': return "Intern";
    case 'S': return "Simple";
    case 'R': return "RegExp";
    default: return "";
  }
}

}  // namespace

MessageEvaluator::MessageEvaluator(MessageContext& message, const EngineOptions& options,
                                   const EngineServices& services)
    : message_(message), options_(options), services_(services),
      log_(services.log ? *services.log : noLog_) {}

// Automatic learning: at most once per message, never when switched off by a
// control rule; in debug mode only the report line is written.
void MessageEvaluator::Learn(bool asSpam, std::string& report) {
  if (!options_.bayesEnabled || learned_ || autoLearnOff_) return;
  if (!options_.debugMode && services_.bayes) {
    MessageParser& parser = message_.Parser();
    const LearnResult r = services_.bayes->Learn(
        parser.GetField("RAWHEADER"), message_.Words(options_.tokenizer), asSpam, os::LocalNow());
    if (r.learned) ++(asSpam ? counts_.bayesLearnAsSpam : counts_.bayesLearnAsHam);
    if (r.reclassified) ++(asSpam ? counts_.bayesReClassAsSpam : counts_.bayesReClassAsHam);
  }
  learned_ = true;
  report += asSpam ? "Bayes learned this mail as SPAM.\r\n" : "Bayes learned this mail as HAM.\r\n";
}

std::int32_t MessageEvaluator::Evaluate() {
  const EngineOptions& s = options_;
  const bool debug = s.debugMode;
  MessageParser& parser = message_.Parser();
  total_ = 0;
  learned_ = false;
  autoLearnOff_ = false;

  log_.Write("\r\n=== BEGIN MESSAGE at " + os::FormatDateTime(os::LocalNow()) + " ===\r\n" +
           "Subject:\t" + parser.GetField("SUBJECT") + "\r\n" +
           "Sender:\t" + parser.GetField("FROM") + "\r\n" +
           "Date:\t" + parser.GetField("RAWDATE") + "\r\n" +
           "Msg-Id:\t" + parser.GetField("MSGID"));
  if (debug) log_.Write("Quelta: Debug mode active!");

  std::string report;
  std::string text;  // one rule's report fragment
  int matched = 0;
  std::int32_t result = 0;
  try {
    const RuleSet* rules = services_.rules;
    const int count = rules ? rules->Count() : 0;
    FieldCache fields(rules, parser, s.maxRegExpSize);
    char prevLink = '\0';
    bool chain = false;
    for (int i = 0; i < count; ++i) {
      const PreparedRule& p = rules->At(i);
      const Rule& rule = *p.rule;

      // Control rule switching automatic learning for this message.
      if (s.bayesEnabled && p.autoLearnControl) {
        if (p.autoLearnSwitch < 0) {
          autoLearnOff_ = true;
          if (s.bayesExtendedLogging) report += "Bayes auto-learning is disabled.\r\n";
        } else if (p.autoLearnSwitch > 0) {
          autoLearnOff_ = false;
          if (s.bayesExtendedLogging) report += "Bayes auto-learning is enabled.\r\n";
        } else {
          report += "ERROR: Rule \"BayesAutoLearn\" is not valid!\r\n";
        }
        continue;
      }

      const char kind = p.kind;
      bool res = false;
      std::int32_t score = 0;
      text.clear();
      if (kind == 'I') {
        std::int32_t checkScore = 0;
        CheckContext c{rule, message_, options_, services_, total_, checkScore, text, counts_};
        res = EvaluateInternal(c, p.check);
        score = checkScore;
        if (!text.empty()) report += text;
        if (!StartsWithError(text)) {
          if (p.negate) res = !res;
          if (!res) score = 0;
        }
      } else if (kind == 'R' || kind == 'S') {
        if (kind == 'R') {
          // A pattern whose required literals are absent, or whose relaxed
          // form does not match, cannot match, and one whose relaxed form
          // matches is searched only where those matches start; it still
          // fails as a rule when it does not compile.
          const int known = fields.KnownMatch(p.field, p.filterId);
          if (known >= 0) {
            res = known != 0;
          } else if (!fields.MayMatch(p.field, p.filterId) && rules->Compiles(p.pattern)) {
            res = false;
          } else {
            const Regex* re = rules->Pattern(p.pattern);
            StartOffsets starts;
            if (re && !fields.DfaMayMatch(p.field, p.pattern, p.filterId, starts))
              res = false;
            else
              res = EvaluateRegExp(rule, re, fields.Text(p.field), s.maxRegExpSize, text, starts);
            if (!StartsWithError(text)) fields.KeepMatch(p.field, p.filterId, res);  // (no pattern: an error)
          }
        } else {
          FieldUpper upper(fields, p.field);
          res = EvaluateSimple(rule, rules->Simple(p), fields.Text(p.field), upper, text);
        }
        if (!text.empty()) report += text;
        if (!StartsWithError(text)) {
          if (p.negate) res = !res;
          if (res) score = rule.score;
        }
      }

      // Chains: each link acts on the result of the rule after it; a chain
      // scores with its last rule's own score.
      const char link = p.link;
      if (prevLink == '\0' && link != '\0') {
        chain = res;
      } else if (prevLink != '\0') {
        score = rule.score;
        if (prevLink == '&' && !res) chain = false;
        if (prevLink == '?' && res) chain = true;
      } else {
        chain = res;
      }

      bool stop = false;
      if (chain && link == '\0') {
        report += std::string("Match: ") + KindName(kind) + " rule \"" + rule.field + "\" (" +
                  rule.comment + "), score: " + std::to_string(score) + ".\r\n";
        total_ += score;
        ++matched;
        if (p.abort) {
          report += "Processing aborted by last rule.\r\n";
          if (!debug) break;
        }
        if (p.setScore) {
          report += "Score is changed by last rule from " + std::to_string(total_) + " to " +
                    std::to_string(score) + ".\r\n";
          total_ = score;
        }
        if (p.markHam) {
          report += "Message marked as HAM by last rule (score was " + std::to_string(total_) + ").\r\n";
          total_ = 0;
          if (s.addMarkHam) Learn(false, report);
          if (!debug) stop = true;
        }
        if (!stop && p.markSpam) {
          report += "Message marked as SPAM by last rule (score was " + std::to_string(total_) + ").\r\n";
          total_ = 100;
          if (s.addMarkSpam) Learn(true, report);
          if (!debug) stop = true;
        }
      }
      if (stop) break;

      if (s.breakAtScore > 0 && (total_ >= s.breakAtScore || total_ <= -s.breakAtScore)) {
        report += "Message reached a score of " + std::to_string(s.breakAtScore) +
                  ", processing aborted.\r\n";
        if (s.addMaxScore) Learn(total_ >= s.breakAtScore, report);
        if (!debug) break;
      }
      prevLink = link;
    }

    if (s.addHigher && total_ > s.addHigherValue) Learn(true, report);
    if (s.addLower && total_ < s.addLowerValue) Learn(false, report);

    result = total_ < 0 ? 0 : (total_ > 100 ? 100 : total_);
    const bool spam = result > s.junkScore;
    if (!debug) {
      if (spam) ++counts_.classAsSpam;
      else ++counts_.classAsHam;
      ++counts_.messagesFiltered;
    }
    report += "Final score is: " + std::to_string(result) + " (" + std::to_string(total_) + "), " +
              std::to_string(matched) + " rules matched" + (spam ? " >>> SPAM" : " >>> HAM") + ".\r\n";
  } catch (...) {
    report += "ERROR: Message processing failed!\r\n";
    result = 0;
  }

  while (!report.empty() && (report.back() == ' ' || report.back() == '\r' || report.back() == '\n'))
    report.pop_back();
  log_.Write(report);

  if (debug) {
    result = 0;
    log_.Write("Quelta: Debug mode active! (Result is 0)");
  }
  return result;
}

}  // namespace quelta
