// The evaluators of single rules: simple string comparisons,
// regular-expression matches, and the internal checks, found by the rule's
// field name in one table.
//
// Promises: an evaluator never throws; a failure is a report text beginning
// with "ERROR: " and a false result. Report texts are empty or end in CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quelta {

class MessageContext;
class MessageParser;
class RegexCache;
class UpperCaseCache;
struct EngineOptions;
struct EngineServices;
struct Rule;
struct UsageCounts;

// Compares the field text with the rule's term by its kind letters ("M"
// whole, "B" begins, "E" ends, else contains; "C" with case).
bool EvaluateSimple(const Rule& rule, const std::string& fieldText, UpperCaseCache& upper,
                    std::string& text);
// Whether the rule's pattern matches the first maxSize bytes of the field text.
bool EvaluateRegExp(const Rule& rule, const std::string& fieldText, std::size_t maxSize,
                    RegexCache* cache, std::string& text);

// What an internal check sees.
struct CheckContext {
  const Rule& rule;
  MessageContext& message;
  const EngineOptions& options;
  const EngineServices& services;
  std::int32_t total;   // the message's score so far
  std::int32_t& score;  // the score the rule carries when it matches
  std::string& text;    // the rule's report text
  UsageCounts& counts;

  MessageParser& Parser();
  std::string Field(const std::string& name);
};

// Runs the internal check named by the rule's field (any case); an unknown
// name is a report "ERROR: Internal rule ... not found!".
bool EvaluateInternal(CheckContext& c);
// The names EvaluateInternal knows, upper case, in its table's order.
std::vector<std::string> InternalCheckNames();

}  // namespace quelta
