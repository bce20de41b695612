// MessageEvaluator scores one message: it walks the rule store, combines
// chains, obeys the control flags, stops at BreakAtScore, lets the Bayes
// filter learn from clear decisions, and writes the header and report
// blocks to the log. EngineOptions and EngineServices are what it needs
// from the settings and from the objects the application owns.
//
// Promises: Evaluate is called once and returns 0..100 (0 in debug mode);
// a failing rule never ends the evaluation; nothing throws out of Evaluate.
// What the message changed in the usage statistics is reported in Counts().
#pragma once

#include <cstdint>
#include <string>

#include "base/log.h"
#include "bayes/tokenizer.h"
#include "net/network_checks.h"

namespace quelta {

class AddressBookSet;
class AutoWhiteList;
class BayesFilter;
class MessageContext;
class RuleSet;

struct EngineOptions {
  std::int32_t junkScore = 99;       // the host's threshold: above it is spam
  std::int32_t breakAtScore = 300;   // stop at +-this total (0: never)
  bool debugMode = false;            // evaluate everything, score 0, count nothing
  std::uint32_t maxRegExpSize = 32u * 1024u;  // regular expressions see this much of a field
  // The Bayes filter and its automatic learning.
  bool bayesEnabled = true;
  bool bayesExtendedLogging = false;
  bool addMarkSpam = true;   // learn messages a rule marks as spam
  bool addMarkHam = true;    // learn messages a rule marks as ham
  bool addMaxScore = true;   // learn messages that reach BreakAtScore
  bool addHigher = true;     // learn as spam above addHigherValue
  bool addLower = true;      // learn as ham below addLowerValue
  std::int32_t addHigherValue = 99;
  std::int32_t addLowerValue = 40;
  TokenizerOptions tokenizer;
  NetworkCheckOptions network;
};

// The objects evaluation borrows; any of them may be null where the
// application has none (a check needing it then fails).
struct EngineServices {
  const RuleSet* rules = nullptr;  // the rule store resolved for evaluation
  BayesFilter* bayes = nullptr;
  const AutoWhiteList* autoWhiteList = nullptr;
  AddressBookSet* addressBooks = nullptr;
  NetworkQueries* network = nullptr;
  Log* log = nullptr;
};

// Usage statistics a message changed.
struct UsageCounts {
  std::uint32_t messagesFiltered = 0, classAsSpam = 0, classAsHam = 0, bayesMessagesChecked = 0,
                bayesReClassAsSpam = 0, bayesReClassAsHam = 0, bayesLearnAsSpam = 0,
                bayesLearnAsHam = 0;
};

class MessageEvaluator {
 public:
  MessageEvaluator(MessageContext& message, const EngineOptions& options,
                   const EngineServices& services);

  std::int32_t Evaluate();

  const UsageCounts& Counts() const { return counts_; }

 private:
  void Learn(bool asSpam, std::string& report);
  MessageContext& message_;
  const EngineOptions& options_;
  const EngineServices& services_;
  NullLog noLog_;  // where entries go when the application gave no log
  Log& log_;
  UsageCounts counts_;
  std::int32_t total_ = 0;
  bool learned_ = false;
  bool autoLearnOff_ = false;
};

}  // namespace quelta
