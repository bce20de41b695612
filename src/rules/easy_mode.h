// Easy mode's generated rule set. From a few switches and small
// list files in the EasyPath folder it builds rule lines (auto-white-list,
// address books, an optional rule file, the rule editor's table, Bayes,
// a score threshold, relay and URL block lists) and adds them to the rule
// store in that order.
//
// Promises: every generated line goes through the store's line parser with
// a score scale of 100; a rejected line is logged and skipped; a missing
// list file adds nothing and logs nothing; nothing throws.
#pragma once

#include <cstdint>
#include <string>

namespace quelta {

class Log;
class RuleFileSink;
class RuleStore;
struct RuleFileOptions;

// The switches of easy mode and where its files are.
struct EasyModeOptions {
  std::string folder;             // holds the easy-mode files
  bool autoWhiteList = true;      // a rule white-listing senders in the auto-white-list
  bool addressBooks = true;       // a rule per book of "EasyAddrBooks.dat"
  bool ruleFile = true;           // the rules of "EasyRules.dat"
  bool ruleTable = false;         // the rule editor's table "EasyMode.rdb"
  bool bayes = true;              // the Bayes filter's rule
  bool bayesIsScoreCheck = false; // stop after Bayes above a score
  std::int32_t bayesIsScoreValue = 99;
  bool dnsbl = true;              // a rule per zone of "EasyDNSBL.dat"
  bool urlbl = true;              // a rule per zone of "EasyURLBL.dat"
};

// Rows of "EasyMode.rdb" are five fields separated by this byte.
constexpr char kEasyTableSeparator = '\x01';
// Score texts of the rule editor that mean "mark as spam" / "mark as ham".
constexpr const char* kEasyScoreSpam = "32767";
constexpr const char* kEasyScoreHam = "-32768";

// The rule line of one "EasyMode.rdb" row.
std::string EasyTableRowToLine(const std::string& row);

// Generates the rule set into rules, logging each rule that could not be
// added; includes inside "EasyRules.dat" are found through ruleFiles, and
// the reading of that file is reported to sink when one is given. The
// number of rules in the store afterwards.
int GenerateEasyRules(RuleStore& rules, const EasyModeOptions& options,
                      const RuleFileOptions& ruleFiles, Log& log, RuleFileSink* sink = nullptr);

}  // namespace quelta
