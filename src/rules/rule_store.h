// The rule store: one ordered list of rules walked for every message, the
// rule-line format and the rule-file format (includes, comment blocks,
// score scale). Filled once at start-up, read-only afterwards.
//
// Promises: the store hands out read-only rules; a rejected rule line is logged
// once for the innermost file; includes nest at most kMaxIncludeDepth deep.
// A RuleFileSink, when given, learns where every rule came from and every
// problem the reader met, with file and line.
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

// What can be wrong in a rule file, as a RuleFileSink hears it.
enum class RuleFileProblem {
  kRejectedLine,      // not a valid rule line; detail: the trimmed line
  kFileNotFound,      // detail: the resolved name of the missing file
  kUnreadable,        // the file exists but cannot be read; detail: its name
  kIncludeLoop,       // the included file is being read already; detail: its name
  kIncludeTooDeep,    // includes nest deeper than kMaxIncludeDepth; detail: the name
  kSameLineBlock,     // a line opens a comment block with "/*" and ends in "*/":
                      // the block stays open after it; detail: the trimmed line
  kOpenCommentBlock,  // a comment block opened here is never closed
};

// Positions of what the rule-file reader met, for tools that check rule
// files; start-up passes none. Names are the resolved file names; lines
// count from 1 as editors show them (line 0: the file as a whole). A
// problem with an included file is reported at its include line. Called on
// the reading thread.
class RuleFileSink {
 public:
  virtual ~RuleFileSink() = default;
  // The rule at store position `index` was read from `file`, line `line`.
  virtual void RuleRead(int index, const std::string& file, int line) = 0;
  virtual void Problem(RuleFileProblem problem, const std::string& file, int line,
                       const std::string& detail) = 0;
};

class RuleStore {
 public:
  static constexpr int kMaxIncludeDepth = 16;

  void AddRecord(const Rule& r) { rules_.push_back(r); }
  // Parses one rule line with the given score scale (percent) and appends
  // it; false (nothing appended, nothing logged) when it is not valid.
  bool AddLine(const std::string& line, int scale = 100);
  // Reads a rule file and appends its rules; true when the whole file was
  // read. A rejected line is logged as "ERROR: Rule file ..." and ends the
  // load of that file (and of the files including it).
  // With a sink, reading goes on after a rejected line or a failed include
  // so that every problem is reported (the result is still false, and the
  // store then holds rules start-up would not have read), and an include
  // loop is reported and not followed.
  bool LoadFromFile(const std::string& name, const RuleFileOptions& where, Log& log,
                    RuleFileSink* sink = nullptr);
  int Count() const { return static_cast<int>(rules_.size()); }
  // The rule at 0-based index i < Count().
  const Rule& At(int i) const { return rules_[static_cast<std::size_t>(i)]; }

 private:
  struct Reading;
  bool LoadFile(const std::string& name, const RuleFileOptions& where, Log& log, Reading& reading,
                const std::string& includer, int includeLine);
  std::vector<Rule> rules_;
};

// Parses one rule line (as AddLine does) into out; false when invalid. For
// tools that check rule lines without a store.
bool ParseRuleLine(const std::string& line, int scale, Rule& out);

}  // namespace quelta
