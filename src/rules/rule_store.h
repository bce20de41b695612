// The rule store: one ordered list of rules walked for every message, the
// rule-line format and the rule-file format (includes, comment blocks,
// score scale). Filled once at start-up, read-only afterwards.
//
// Promises: the store hands out copies only; a rejected rule line is logged
// once for the innermost file; includes nest at most kMaxIncludeDepth deep.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quelta {

struct Rule {
  std::string link;   // "&" or "?" chains with the next rule, else empty
  std::string field;  // data field or internal check, as written
  std::int32_t score = 0;
  std::string flags;  // kind letter first, option letters after it
  std::string value;  // search term, pattern or argument
  std::string comment;
};

class Log;

// Where rule files are found: a relative name is taken from folder; a name
// holding "%" has its environment variables and %QUELTADIR% (pluginDir)
// expanded first.
struct RuleFileOptions {
  std::string folder;
  std::string pluginDir;
};

class RuleStore {
 public:
  static constexpr int kMaxIncludeDepth = 16;

  void Clear() { rules_.clear(); }
  void AddRecord(const Rule& r) { rules_.push_back(r); }
  // Parses one rule line with the given score scale (percent) and appends
  // it; false (nothing appended, nothing logged) when it is not valid.
  bool AddLine(const std::string& line, int scale = 100);
  // Reads a rule file and appends its rules; true when the whole file was
  // read. A rejected line is logged as "ERROR: Rule file ..." and ends the
  // load of that file (and of the files including it).
  bool LoadFromFile(const std::string& name, const RuleFileOptions& where, Log& log);
  int Count() const { return static_cast<int>(rules_.size()); }
  Rule GetRule(int i) const { return rules_.at(static_cast<std::size_t>(i)); }
  const Rule& At(int i) const { return rules_[static_cast<std::size_t>(i)]; }

 private:
  bool LoadFile(const std::string& name, const RuleFileOptions& where, Log& log, int depth);
  std::vector<Rule> rules_;
};

// Parses one rule line; false when invalid. Exposed for the rule editor and
// the tests.
bool ParseRuleLine(const std::string& line, int scale, Rule& out);

}  // namespace quelta
