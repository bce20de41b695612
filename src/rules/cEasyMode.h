// cEasyMode: easy mode's generated rule set. From a few switches and small
// list files in the EasyPath folder it builds rule lines (auto-white-list,
// address books, an optional rule file, the rule editor's table, Bayes,
// a score threshold, relay and URL block lists) and adds them to the rule
// store in that order.
//
// Promises: every generated line goes through the store's line parser with
// a score scale of 100; a rejected line is logged and skipped; a missing
// list file adds nothing and logs nothing; nothing throws.
#pragma once

#include <string>
#include <vector>

namespace quelta {

class TRules;

// Rows of "EasyMode.rdb" are five fields separated by this byte.
constexpr char kEasyTableSeparator = '\x01';
// Score texts of the rule editor that mean "mark as spam" / "mark as ham".
constexpr const char* kEasyScoreSpam = "32767";
constexpr const char* kEasyScoreHam = "-32768";

// The rule line of one "EasyMode.rdb" row.
std::string EasyTableRowToLine(const std::string& row);
// Adds the rules of "EasyMode.rdb": the store's rule count afterwards, 0
// when the file does not exist, -1 when it cannot be read.
int LoadEasyModeTable(TRules& rules);
// Trimmed lines of a list file without empty and "#" lines; false when
// the file does not exist or cannot be read.
bool ReadEasyListFile(const std::string& path, std::vector<std::string>& items);

}  // namespace quelta
