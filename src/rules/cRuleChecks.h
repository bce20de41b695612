// cRuleChecks: the evaluators of single rules: simple string comparisons,
// regular-expression matches, and the internal-check dispatcher that finds
// a check by the rule's field name.
//
// Promises: an evaluator never throws; a failure is a report text beginning
// with "ERROR: " and a false result. Texts are empty or end in CR LF.
#pragma once

#include <cstdint>
#include <string>

#include "rules/cRules.h"

namespace quelta {

class TRuleMgr;

bool EvaluateSimple(const TRuleRecord& rule, const std::string& fieldText, std::string& text);
bool EvaluateRegExp(const TRuleRecord& rule, const std::string& fieldText, std::string& text);
// Runs the internal check named by rule.field; score is the score the rule
// carries when it matches.
bool EvaluateInternal(TRuleMgr& mgr, const TRuleRecord& rule, std::int32_t& score,
                      std::string& text);

}  // namespace quelta
