#include "rules/rule_store.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "base/log.h"
#include "base/paths.h"
#include "base/strings.h"
#include "os/env.h"

namespace quelta {

namespace {

// Splits off the text before the first blank (trimmed); false when the
// rest holds no blank.
bool TakeWord(std::string& line, std::string& word) {
  auto sp = line.find(' ');
  if (sp == std::string::npos) return false;
  word = Trim(line.substr(0, sp));
  line = Trim(line.substr(sp + 1));
  return true;
}

}  // namespace

bool ParseRuleLine(const std::string& text, int scale, Rule& out) {
  std::string line = text;
  for (auto& c : line)
    if (c == '\t') c = ' ';
  line = Trim(line);
  Rule r;
  if (!line.empty() && line.back() == ']') {
    auto open = line.rfind('[');
    if (open == std::string::npos) return false;
    r.comment = line.substr(open + 1, line.size() - open - 2);
    line = line.substr(0, open);
  }
  if (!line.empty() && (line[0] == '&' || line[0] == '?')) {
    r.link = line.substr(0, 1);
    line = Trim(line.substr(1));
  }
  std::string scoreText;
  if (!TakeWord(line, r.field)) return false;
  if (!TakeWord(line, scoreText)) return false;
  if (!TakeWord(line, r.flags)) return false;
  std::int32_t written = 0;
  if (!TryStrToInt(scoreText, written)) written = 0;
  // Written score / 100 * scale, rounded half to even (nearbyint under the
  // default rounding mode).
  double scaled = std::nearbyint(static_cast<double>(written) / 100.0 * static_cast<double>(scale));
  if (!(scaled >= INT32_MIN && scaled <= INT32_MAX)) return false;
  r.score = static_cast<std::int32_t>(scaled);
  std::string value = line;  // already trimmed
  if (!value.empty() && value.front() == '"') value.erase(0, 1);
  if (!value.empty() && value.back() == '"') value.pop_back();
  r.value = value;
  out = std::move(r);
  return true;
}

bool RuleStore::AddLine(const std::string& line, int scale) {
  Rule r;
  if (!ParseRuleLine(line, scale, r)) return false;
  rules_.push_back(std::move(r));
  return true;
}

// The state of one LoadFromFile: the sink and the files being read, outermost
// first.
struct RuleStore::Reading {
  RuleFileSink* sink = nullptr;
  std::vector<std::string> open;
};

bool RuleStore::LoadFromFile(const std::string& name, const RuleFileOptions& where, Log& log,
                             RuleFileSink* sink) {
  Reading reading;
  reading.sink = sink;
  return LoadFile(name, where, log, reading, std::string(), 0);
}

bool RuleStore::LoadFile(const std::string& nameIn, const RuleFileOptions& where, Log& log,
                         Reading& reading, const std::string& includer, int includeLine) {
  std::string name = nameIn;
  if (name.find('%') != std::string::npos) name = ExpandPathVariables(name, where.pluginDir);
  if (!os::IsAbsolutePath(name)) name = where.folder + name;
  RuleFileSink* const sink = reading.sink;
  // A problem with the file itself is reported where it was named.
  auto fileProblem = [&](RuleFileProblem p) {
    if (sink) sink->Problem(p, includer.empty() ? name : includer, includeLine, name);
    return false;
  };
  // A file that includes itself (directly or not) fails its load here
  // instead of recursing without end.
  if (static_cast<int>(reading.open.size()) > kMaxIncludeDepth)
    return fileProblem(RuleFileProblem::kIncludeTooDeep);
  if (sink)
    for (const std::string& open : reading.open)
      if (open == name) return fileProblem(RuleFileProblem::kIncludeLoop);
  if (!os::FileExists(name)) return fileProblem(RuleFileProblem::kFileNotFound);
  std::string text;
  if (!os::ReadFile(name, text)) return fileProblem(RuleFileProblem::kUnreadable);

  reading.open.push_back(name);
  bool ok = true;
  int scale = 100;
  bool inBlock = false;
  int blockLine = 0;
  int lineNo = 0;
  for (const std::string& raw : SplitLines(text)) {
    ++lineNo;
    std::string line = Trim(raw);
    if (line.empty()) continue;
    const bool closes = StartsWithNoCase(line, "#RemOFF#") || EndsWithNoCase(line, "#RemOFF#") ||
                        (line.size() >= 2 && line.compare(line.size() - 2, 2, "*/") == 0);
    if (StartsWithNoCase(line, "#RemON#") || line.compare(0, 2, "/*") == 0) {
      if (sink && closes) sink->Problem(RuleFileProblem::kSameLineBlock, name, lineNo, line);
      if (!inBlock) blockLine = lineNo;
      inBlock = true;
      continue;
    }
    if (closes) {
      inBlock = false;
      continue;
    }
    if (inBlock) continue;
    if (line[0] == '#' || line[0] == '\'' || line.compare(0, 2, "//") == 0) continue;
    if (StartsWithNoCase(line, "IncludeRuleFile ")) {
      // The name starts at the 17th character.
      std::string inc = Trim(line.substr(16));
      if (!LoadFile(inc, where, log, reading, name, lineNo)) {
        ok = false;
        if (!sink) break;
      }
      continue;
    }
    if (StartsWithNoCase(line, "SetSpamScore ")) {
      // Up to seven characters from the 14th character on.
      std::string num = line.substr(13, 7);
      num.erase(0, num.find_first_not_of(' '));  // the number reader skips leading blanks
      std::int32_t v = 0;
      if (!TryStrToInt(num, v) || v < 1) v = 100;
      scale = v;
      continue;
    }
    if (!AddLine(line, scale)) {
      log.Write("ERROR: Rule file \"" + name + "\", Line: " + line);
      ok = false;
      if (!sink) break;
      sink->Problem(RuleFileProblem::kRejectedLine, name, lineNo, line);
      continue;
    }
    if (sink) sink->RuleRead(Count() - 1, name, lineNo);
  }
  if (sink && inBlock)
    sink->Problem(RuleFileProblem::kOpenCommentBlock, name, blockLine, std::string());
  reading.open.pop_back();
  return ok;
}

}  // namespace quelta
