// Exactness of the rule evaluators at their edges: regular-expression
// searches over long texts, and the internal checks' argument handling.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "plugin/fPlugin.h"
#include "regex/PCRE.h"
#include "rules/cRuleChecks.h"
#include "rules/cRuleMgr.h"
#include "rules/cRules.h"

using namespace quelta;

namespace {

TRuleRecord Rule(const std::string& field, const std::string& flags, const std::string& value,
                 const std::string& comment = "c", std::int32_t score = 7) {
  TRuleRecord r;
  r.field = field;
  r.score = score;
  r.flags = flags;
  r.value = value;
  r.comment = comment;
  return r;
}

}  // namespace

TEST(ChecksAudit, StartOfMatchAssertionOnlyAtTheTextStart) {
  // \G holds where the search starts, which is the start of the text: a
  // long text must not give it further chances.
  const std::string text = std::string(1024, 'x') + "foo" + std::string(2000, 'y');
  for (const char* pattern : {"x\\Gfoo|\\Gfoo", "(?:\\Gfoo)", "a|\\Gfoo"}) {
    EXPECT_FALSE(IsMatch(CreateRegex(pattern, kRuleRegexOptions), text)) << pattern;
    std::string out;
    EXPECT_FALSE(EvaluateRegExp(Rule("TEXT", "R", pattern), text, out)) << pattern;
    EXPECT_EQ(out, "");
  }
  EXPECT_TRUE(IsMatch(CreateRegex("a|\\Gx", kRuleRegexOptions), text));
}
