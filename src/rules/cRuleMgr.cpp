#include "rules/cRuleMgr.h"

#include <exception>

#include "bayes/cBayes.h"
#include "common/fMain.h"
#include "platform/Env.h"
#include "plugin/fLog.h"
#include "plugin/fPlugin.h"
#include "rules/cRuleChecks.h"

namespace quelta {

namespace {

bool StartsWithError(const std::string& text) { return text.compare(0, 7, "ERROR: ") == 0; }

bool Has(const std::string& flags, char c) { return flags.find(c) != std::string::npos; }

const char* KindName(char kind) {
  switch (kind) {
    case 'I': return "Intern";
    case 'S': return "Simple";
    case 'R': return "RegExp";
    default: return "";
  }
}

}  // namespace

TRuleMgr::TRuleMgr(THostCookie cookie, TDataRequestProc proc)
    : parser_(std::make_unique<TMessageParser>(
          FetchItem(proc, cookie, kItemRawMessage, kMaxScoredMessage), proc, cookie)) {}

TRuleMgr::TRuleMgr(std::string raw) : parser_(std::make_unique<TMessageParser>(std::move(raw))) {}

TRuleMgr::~TRuleMgr() = default;

// Automatic learning: at most once per message, never when switched off by a
// control rule; in debug mode only the report line is written.
void TRuleMgr::Learn(bool asSpam, std::string& report) {
  const TPlugSettings& s = Plugin().Settings;
  if (!s.BayesEnabled || learned_ || autoLearnOff_) return;
  if (!s.DebugMode && Objects().Bayes) {
    parser_->GetField("PARSEONLY_WORDLIST");
    Objects().Bayes->Learn(*parser_, asSpam, true);
  }
  learned_ = true;
  report += asSpam ? "Bayes learned this mail as SPAM.\r\n" : "Bayes learned this mail as HAM.\r\n";
}

std::int32_t TRuleMgr::Evaluate() {
  TPlugin& p = Plugin();
  const TPlugSettings& s = p.Settings;
  const bool debug = s.DebugMode;
  total_ = 0;
  learned_ = false;
  autoLearnOff_ = false;

  WriteLog("\r\n=== BEGIN MESSAGE at " + env::FormatDateTime(env::LocalNow()) + " ===\r\n" +
           "Subject:\t" + parser_->GetField("SUBJECT") + "\r\n" +
           "Sender:\t" + parser_->GetField("FROM") + "\r\n" +
           "Date:\t" + parser_->GetField("RAWDATE") + "\r\n" +
           "Msg-Id:\t" + parser_->GetField("MSGID"));
  if (debug) WriteLog("Quelta: Debug mode active!");

  std::string report;
  int matched = 0;
  std::int32_t result = 0;
  try {
    TRules* rules = Objects().Rules.get();
    const int count = rules ? rules->Count() : 0;
    std::string prevLink;
    bool chain = false;
    for (int i = 0; i < count; ++i) {
      const TRuleRecord rule = rules->GetRule(i);

      // Control rule switching automatic learning for this message.
      if (s.BayesEnabled && AsciiLower(rule.field) == "bayesautolearn") {
        const std::string v = AsciiUpper(rule.value);
        if (v == "OFF" || v == "DISABLE" || rule.value == "0") {
          autoLearnOff_ = true;
          if (s.BayesExtendedLogging) report += "Bayes auto-learning is disabled.\r\n";
        } else if (v == "ON" || v == "ENABLE" || rule.value == "1") {
          autoLearnOff_ = false;
          if (s.BayesExtendedLogging) report += "Bayes auto-learning is enabled.\r\n";
        } else {
          report += "ERROR: Rule \"BayesAutoLearn\" is not valid!\r\n";
        }
        continue;
      }

      const char kind = rule.flags.empty() ? '\0' : rule.flags[0];
      bool res = false;
      std::int32_t score = 0;
      std::string text;
      if (kind == 'I') {
        std::int32_t checkScore = 0;
        res = EvaluateInternal(*this, rule, checkScore, text);
        score = checkScore;
        if (!text.empty()) report += text;
        if (!StartsWithError(text)) {
          if (Has(rule.flags, 'N')) res = !res;
          if (!res) score = 0;
        }
      } else if (kind == 'R' || kind == 'S') {
        const std::string fieldText = parser_->GetField(rule.field);
        res = kind == 'R' ? EvaluateRegExp(rule, fieldText, text)
                          : EvaluateSimple(rule, fieldText, text);
        if (!text.empty()) report += text;
        if (!StartsWithError(text)) {
          if (Has(rule.flags, 'N')) res = !res;
          if (res) score = rule.score;
        }
      }

      // Chains: each link acts on the result of the rule after it; a chain
      // scores with its last rule's own score.
      const std::string& link = rule.link;
      if (prevLink.empty() && !link.empty()) {
        chain = res;
      } else if (!prevLink.empty()) {
        score = rule.score;
        if (prevLink == "&" && !res) chain = false;
        if (prevLink == "?" && res) chain = true;
      } else {
        chain = res;
      }

      bool stop = false;
      if (chain && link.empty()) {
        report += std::string("Match: ") + KindName(kind) + " rule \"" + rule.field + "\" (" +
                  rule.comment + "), score: " + std::to_string(score) + ".\r\n";
        total_ += score;
        ++matched;
        if (Has(rule.flags, 'A')) {
          report += "Processing aborted by last rule.\r\n";
          if (!debug) break;
        }
        if (Has(rule.flags, 'F')) {
          report += "Score is changed by last rule from " + std::to_string(total_) + " to " +
                    std::to_string(score) + ".\r\n";
          total_ = score;
        }
        if (Has(rule.flags, 'W')) {
          report += "Message marked as HAM by last rule (score was " + std::to_string(total_) + ").\r\n";
          total_ = 0;
          if (s.AddMarkHam) Learn(false, report);
          if (!debug) stop = true;
        }
        if (!stop && Has(rule.flags, 'H')) {
          report += "Message marked as SPAM by last rule (score was " + std::to_string(total_) + ").\r\n";
          total_ = 100;
          if (s.AddMarkSpam) Learn(true, report);
          if (!debug) stop = true;
        }
      }
      if (stop) break;

      if (s.BreakAtScore > 0 && (total_ >= s.BreakAtScore || total_ <= -s.BreakAtScore)) {
        report += "Message reached a score of " + std::to_string(s.BreakAtScore) +
                  ", processing aborted.\r\n";
        if (s.AddMaxScore) Learn(total_ >= s.BreakAtScore, report);
        if (!debug) break;
      }
      prevLink = link;
    }

    if (s.AddHigher && total_ > s.AddHigherValue) Learn(true, report);
    if (s.AddLower && total_ < s.AddLowerValue) Learn(false, report);

    result = total_ < 0 ? 0 : (total_ > 100 ? 100 : total_);
    const bool spam = result > p.JunkScore;
    if (!debug) {
      if (spam) ++p.Stats.ClassAsSpam;
      else ++p.Stats.ClassAsHam;
      ++p.Stats.MessagesFiltered;
    }
    report += "Final score is: " + std::to_string(result) + " (" + std::to_string(total_) + "), " +
              std::to_string(matched) + " rules matched" + (spam ? " >>> SPAM" : " >>> HAM") + ".\r\n";
  } catch (...) {
    report += "ERROR: Message processing failed!\r\n";
    result = 0;
  }

  while (!report.empty() && (report.back() == ' ' || report.back() == '\r' || report.back() == '\n'))
    report.pop_back();
  WriteLog(report);

  if (debug) {
    result = 0;
    WriteLog("Quelta: Debug mode active! (Result is 0)");
  }
  return result;
}

}  // namespace quelta
