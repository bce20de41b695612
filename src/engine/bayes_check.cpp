// The internal check BAYESSCORE: the Bayes filter's verdict on the message
// as a rule score.
#include <stdexcept>

#include "base/strings.h"
#include "bayes/classifier.h"
#include "bayes/word_table.h"
#include "engine/evaluator.h"
#include "engine/internal_checks.h"
#include "engine/message_context.h"
#include "rules/rule_store.h"

namespace quelta {

std::int32_t BayesRuleScore(std::int32_t r, const std::string& flags) {
  if (HasOption(flags, 'C')) return r < 51 ? 0 : 100;
  std::int32_t score = HasOption(flags, 'P') ? r : (r - 50) * 2;
  if (HasOption(flags, 'D')) score *= 2;
  return score;
}

bool CheckBayesScore(CheckContext& c) {
  try {
    if (!c.options.bayesEnabled) return false;
    WordTable& words = c.message.Words(c.options.tokenizer);
    if (words.Count() == 0) {
      c.text += "Bayes: No words available, skipping bayes check.\r\n";
      return false;
    }
    BayesFilter* bayes = c.services.bayes;
    if (bayes == nullptr) throw std::logic_error("no Bayes filter");
    const ClassifyResult r = bayes->Classify(words, c.options.bayesExtendedLogging, c.text);
    if (r.counted) ++c.counts.bayesMessagesChecked;
    if (words.Count() == 0) {
      c.text += "Bayes: No significant words available, abborting bayes check.\r\n";
      return false;
    }
    c.text += "Bayes result: " + std::to_string(r.percent) + "% spam probability.\r\n";
    c.score = BayesRuleScore(r.percent, c.rule.flags);
    return true;
  } catch (...) {
    c.text += "ERROR: Intern rule " + c.rule.field + " [" + c.rule.comment + "] failed.\r\n";
    return false;
  }
}

}  // namespace quelta
