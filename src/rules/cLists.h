// cLists: known senders: white and black lists turned into list rules, the
// host's address books, the auto-white-list, and easy mode's generated rule
// set.
#pragma once

#include <cstdint>
#include <string>

namespace quelta {

class TRules;
class TRuleMgr;
struct TRuleRecord;

// The auto-white-list: addresses with the date they were last seen.
class TAutoWhiteList;

// Appends one list rule per entry of folder + file; count, -1 not found,
// -2 read failure.
int LoadAddressList(TRules& rules, const std::string& folder, const std::string& file,
                    bool asWhiteList);
// Rebuilds the process-wide auto-white-list from `path` and records its
// size; count, -1 not found, -2 failure.
int LoadAutoWhiteList(const std::string& path);
// Easy mode: generates the rule set; the number of rules in the store after
// generation.
int GenerateEasyRules(TRules& rules);

// Internal checks on known senders; nullopt-like: `handled` false when the
// name is not one of them.
bool EvaluateListCheck(TRuleMgr& mgr, const std::string& upperName, const TRuleRecord& rule,
                       bool& handled, std::string& text);

}  // namespace quelta
