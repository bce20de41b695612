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

#include "regex/regex.h"

namespace quelta {

class MessageContext;
class MessageParser;
class UpperCaseCache;
struct EngineOptions;
struct EngineServices;
struct Rule;
struct UsageCounts;

// Which text a simple rule compares with its term.
enum class SimpleMode : std::uint8_t { kContains, kWhole, kBegins, kEnds };

// A simple rule's comparison, decided once from its field name and flags
// ("M" whole, "B" begins, "E" ends, else contains; "C" with case; the folded
// "Spam..." fields fold the term and ignore one "C").
struct SimpleTerm {
  SimpleMode mode = SimpleMode::kContains;
  bool withCase = false;
  bool valid = true;      // false: preparing the term failed; the rule reports a failure
  std::string term;
  std::string upperTerm;  // the term upper-cased by the system's rules (without "C")
};
SimpleTerm PrepareSimpleTerm(const Rule& rule);

// Where a case-insensitive comparison finds the field's text upper-cased.
class UpperText {
 public:
  virtual ~UpperText() = default;
  // Whether the field's text, upper-cased, contains upperTerm.
  virtual bool Contains(const std::string& upperTerm) = 0;
};

// Compares the field text with the rule's prepared term.
bool EvaluateSimple(const Rule& rule, const SimpleTerm& term, const std::string& fieldText,
                    UpperText& upper, std::string& text);
// The same for a rule read from its record alone.
bool EvaluateSimple(const Rule& rule, const std::string& fieldText, UpperCaseCache& upper,
                    std::string& text);
// Whether the rule's compiled pattern matches the first maxSize bytes of the
// field text; re null: the pattern did not compile, the rule fails. starts:
// where in them a match may start, as far as that is known (IsMatchFrom).
bool EvaluateRegExp(const Rule& rule, const Regex* re, const std::string& fieldText,
                    std::size_t maxSize, std::string& text, const StartOffsets& starts = {});
// The same, compiling the rule's pattern for this evaluation.
bool EvaluateRegExp(const Rule& rule, const std::string& fieldText, std::size_t maxSize,
                    std::string& text);

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

// The index of the internal check named (any case), -1 for an unknown name.
int FindInternalCheck(const std::string& name);
// Runs the internal check with that index (as FindInternalCheck gave it for
// the rule's field); -1 is a report "ERROR: Internal rule ... not found!".
bool EvaluateInternal(CheckContext& c, int check);
// The same, finding the check by the rule's field.
bool EvaluateInternal(CheckContext& c);
// The names EvaluateInternal knows, upper case, in its table's order.
std::vector<std::string> InternalCheckNames();

}  // namespace quelta
