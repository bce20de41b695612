// Automatic learning as the evaluator decides it: which verdicts teach the
// Bayes filter, at most once per message, switched by the control rule, and
// what the message changed in the usage counts.
#include "engine/evaluator.h"

#include <gtest/gtest.h>

#include "base/strings.h"
#include "bayes/classifier.h"
#include "engine/message_context.h"
#include "engine/rule_set.h"
#include "rules/rule_store.h"
#include "support/scratch_dir.h"
#include "support/string_log.h"

using namespace quelta;
using namespace testing_support;

namespace {

const char* kMessage = "Subject: cheap pills\r\n\r\nalpha bravo charlie\r\n";

struct LearnCase {
  const char* name;
  std::vector<std::string> rules;
  void (*set)(EngineOptions&);
  const char* lines;  // the report's learning lines
  std::uint32_t asSpam, asHam, reclassified;
};

void None(EngineOptions&) {}
const char* kSpam = "Bayes learned this mail as SPAM.\n";
const char* kHam = "Bayes learned this mail as HAM.\n";
const char* kOff = "Bayes auto-learning is disabled.\n";
const std::string kPills = "SUBJECT 5 SH \"pills\"", kAutoLearn = "BayesAutoLearn 0 S ";

const LearnCase kCases[] = {
    {"H marks spam", {kPills}, None, kSpam, 1, 0, 0},
    {"without AddMarkSpam", {kPills}, [](EngineOptions& o) { o.addMarkSpam = false; }, "", 0, 0, 0},
    {"W marks ham", {"SUBJECT 5 SW \"pills\""}, None, kHam, 0, 1, 0},
    {"without AddMarkHam", {"SUBJECT 5 SW \"pills\""}, [](EngineOptions& o) { o.addMarkHam = false; }, "", 0, 0, 0},
    {"BreakAtScore upwards", {"SUBJECT 300 S \"pills\""}, None, kSpam, 1, 0, 0},
    {"BreakAtScore downwards", {"SUBJECT -300 S \"pills\""}, None, kHam, 0, 1, 0},
    {"without AddMaxScore", {"SUBJECT 300 S \"pills\""}, [](EngineOptions& o) { o.addMaxScore = false; }, "", 0, 0, 0},
    {"above AddHigherValue", {"SUBJECT 100 S \"pills\""}, [](EngineOptions& o) { o.addHigher = true; }, kSpam, 1, 0, 0},
    {"at AddHigherValue", {"SUBJECT 99 S \"pills\""}, [](EngineOptions& o) { o.addHigher = true; }, "", 0, 0, 0},
    {"below AddLowerValue", {"SUBJECT 39 S \"pills\""}, [](EngineOptions& o) { o.addLower = true; }, kHam, 0, 1, 0},
    {"at AddLowerValue", {"SUBJECT 40 S \"pills\""}, [](EngineOptions& o) { o.addLower = true; }, "", 0, 0, 0},
    {"once per message", {"SUBJECT 300 SH \"pills\""}, [](EngineOptions& o) { o.addHigher = true; }, kSpam, 1, 0, 0},
    {"switched off", {kAutoLearn + "\"Off\"", kPills}, None, kOff, 0, 0, 0},
    {"switched off by 0 and DISABLE", {kAutoLearn + "\"0\"", kAutoLearn + "\"disable\"", "SUBJECT 5 SW \"pills\""}, None,
     "Bayes auto-learning is disabled.\nBayes auto-learning is disabled.\n", 0, 0, 0},
    {"on again", {kAutoLearn + "\"off\"", kAutoLearn + "\"Enable\"", kAutoLearn + "\"1\"", kAutoLearn + "\"on\"", kPills},
     None, "Bayes auto-learning is disabled.\nBayes auto-learning is enabled.\nBayes auto-learning is enabled.\n"
     "Bayes auto-learning is enabled.\nBayes learned this mail as SPAM.\n", 1, 0, 0},
    {"an invalid control rule", {kAutoLearn + "\"maybe\"", kPills}, None,
     "ERROR: Rule \"BayesAutoLearn\" is not valid!\nBayes learned this mail as SPAM.\n", 1, 0, 0},
    {"Bayes disabled", {kAutoLearn + "\"off\"", kPills}, [](EngineOptions& o) { o.bayesEnabled = false; }, "", 0, 0, 0},
    {"debug mode learns nothing", {kPills}, [](EngineOptions& o) { o.debugMode = true; }, kSpam, 0, 0, 0},
    {"trained the other way before", {"SUBJECT 5 SW \"pills\""}, [](EngineOptions& o) { o.addLowerValue = -1; }, kHam,
     0, 0, 1},
};

TEST(Evaluator, AutomaticLearning) {
  for (const LearnCase& c : kCases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    StringLog log;
    BayesOptions bayesOptions;
    BayesFilter bayes(dir.Folder(), bayesOptions, log);
    RuleStore rules;
    for (const std::string& line : c.rules) ASSERT_TRUE(rules.AddLine(line)) << line;
    EngineOptions options;
    options.addHigher = options.addLower = false;
    options.bayesExtendedLogging = true;
    c.set(options);
    const RuleSet ruleSet(rules);
    EngineServices services{&ruleSet, &bayes, nullptr, nullptr, nullptr, &log};
    MessageContext message(kMessage);
    if (c.reclassified) bayes.Learn(message.Parser().GetField("RAWHEADER"), message.Words(options.tokenizer), true, 1.0);
    const bool trainedBefore = bayes.Changed();
    log.entries.clear();

    MessageEvaluator evaluator(message, options, services);
    const std::int32_t result = evaluator.Evaluate();
    std::string lines;
    for (const std::string& line : SplitLines(log.Text()))
      if (line.rfind("Bayes ", 0) == 0 || line.rfind("ERROR: Rule", 0) == 0) lines += line + "\n";
    EXPECT_EQ(c.lines, lines);
    const UsageCounts& n = evaluator.Counts();
    EXPECT_EQ(c.asSpam, n.bayesLearnAsSpam);
    EXPECT_EQ(c.asHam, n.bayesLearnAsHam);
    EXPECT_EQ(c.reclassified, n.bayesReClassAsHam + n.bayesReClassAsSpam);
    EXPECT_EQ(trainedBefore || c.asSpam + c.asHam > 0, bayes.Changed());
    const bool debug = options.debugMode;
    EXPECT_EQ(debug ? 0u : 1u, n.messagesFiltered);
    EXPECT_EQ(!debug && result > options.junkScore, n.classAsSpam == 1);
    EXPECT_EQ(!debug && result <= options.junkScore, n.classAsHam == 1);
  }
}

}  // namespace
