#include "lint.h"

#include <algorithm>
#include <map>
#include <set>

#include "app/locations.h"
#include "app/settings.h"
#include "base/log.h"
#include "base/paths.h"
#include "base/strings.h"
#include "engine/checks.h"
#include "message/parser.h"
#include "os/env.h"
#include "regex/regex.h"
#include "rules/address_list_rules.h"
#include "rules/easy_mode.h"
#include "rules/rule_store.h"

namespace quelta_host {

namespace {

using quelta::RuleFileProblem;

struct Origin {
  std::string file;  // resolved name
  int line = 0;
};

// A finding (with the resolved file name) and when the reading met it: the
// store position it precedes (0) or the rule it is about (1), so that
// files can be listed in the order start-up reads them.
struct Found {
  LintFinding finding;
  std::pair<int, int> at;
};

// What the reading reported, and where each rule came from.
class Collector final : public quelta::RuleFileSink {
 public:
  void RuleRead(int index, const std::string& file, int line) override {
    origins[index] = {file, line};
  }
  void Problem(RuleFileProblem problem, const std::string& file, int line,
               const std::string& detailIn) override {
    // File names inside the profile are shown from the profile on.
    const std::string detail =
        detailIn.compare(0, folder.size(), folder) == 0 && problem != RuleFileProblem::kRejectedLine
            ? detailIn.substr(folder.size())
            : detailIn;
    std::string text;
    switch (problem) {
      case RuleFileProblem::kRejectedLine:
        text = "not a rule line (start-up stops reading the file here): " + detail;
        break;
      case RuleFileProblem::kFileNotFound:
        text = line == 0 ? "file not found" : "included file not found: " + detail;
        break;
      case RuleFileProblem::kUnreadable:
        text = "cannot read " + detail;
        break;
      case RuleFileProblem::kIncludeLoop:
        text = "include loop: " + detail + " is being read already";
        break;
      case RuleFileProblem::kIncludeTooDeep:
        text = "includes nest deeper than " + std::to_string(quelta::RuleStore::kMaxIncludeDepth) +
               " files: " + detail;
        break;
      case RuleFileProblem::kSameLineBlock:
        text =
            "\"/*\" opens a comment block that the \"*/\" of the same line does not close; "
            "the lines up to the next closing line are skipped";
        break;
      case RuleFileProblem::kOpenCommentBlock:
        text = "comment block opened here is never closed: the rest of the file is skipped";
        break;
    }
    found.push_back({{file, line, text}, {store ? store->Count() : 0, 0}});
  }

  const quelta::RuleStore* store = nullptr;
  std::string folder;  // the profile, ending with the separator
  std::map<int, Origin> origins;
  std::vector<Found> found;
};

// The log of the rule reader; its lines repeat what the collector heard,
// except for easy mode's own reports.
class LinesLog final : public quelta::Log {
 public:
  void Write(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

// Line numbers (from 1) of the items of a list file: the lines that are
// neither empty nor begin with "#" once trimmed, as the list readers take
// them.
std::vector<int> ItemLines(const std::string& path) {
  std::vector<int> lines;
  std::string data;
  if (!quelta::os::ReadFile(path, data)) return lines;
  int n = 0;
  for (const std::string& line : quelta::SplitLines(data)) {
    ++n;
    const std::string s = quelta::Trim(line);
    if (!s.empty() && s[0] != '#') lines.push_back(n);
  }
  return lines;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The problems of one rule, by its kind, field and value.
std::vector<std::string> RuleProblems(const quelta::Rule& rule) {
  static const std::vector<std::string> checks = quelta::InternalCheckNames();
  const std::vector<std::string>& fields = quelta::DataFieldNames();
  std::vector<std::string> out;
  const std::string field = quelta::AsciiUpper(quelta::Trim(rule.field));
  if (field == "BAYESAUTOLEARN") {  // the control rule of automatic learning
    const std::string v = quelta::AsciiUpper(rule.value);
    if (v != "OFF" && v != "DISABLE" && v != "ON" && v != "ENABLE" && v != "0" && v != "1")
      out.push_back("BayesAutoLearn takes OFF, DISABLE, 0, ON, ENABLE or 1, not \"" + rule.value +
                    "\"");
    return out;
  }
  const char kind = rule.flags.empty() ? '\0' : rule.flags[0];
  if (kind == 'I') {
    if (!Contains(checks, field))
      out.push_back("unknown internal check \"" + rule.field + "\"" +
                    (Contains(fields, field) ? " (a data field: compare it with S or R)" : ""));
    return out;
  }
  if (kind != 'R' && kind != 'S') {
    out.push_back("the comparison code \"" + rule.flags +
                  "\" begins with neither I, R nor S (upper case): the rule never matches");
    return out;
  }
  const bool header = field.size() > 1 && field.back() == ':';
  if (!header && !Contains(fields, field)) {
    std::string hint;
    if (Contains(checks, field))
      hint = " (an internal check: its code begins with I)";
    else if (field.find('-') != std::string::npos)
      hint = " (a header is named with a colon: \"" + rule.field + ":\")";
    out.push_back("unknown data field \"" + rule.field + "\"" + hint);
  }
  if (kind == 'R') {
    try {
      quelta::CreateRegex(rule.value);
    } catch (const std::exception& e) {
      const std::string what = e.what();
      static const std::string kTooLarge = "regular expression is too large";
      if (what.size() >= kTooLarge.size() &&
          what.compare(what.size() - kTooLarge.size(), kTooLarge.size(), kTooLarge) == 0) {
        // The message would repeat the whole (large) pattern: say what it
        // means instead.
        out.push_back("regular expression is too large: the pattern (" +
                      std::to_string(rule.value.size()) + " bytes, beginning \"" +
                      rule.value.substr(0, 40) + "\") compiles to more than the " +
                      std::to_string(quelta::RegexCompiledSizeLimit() / 1024) +
                      " KiB this build of PCRE2 takes; the rule always fails (split it into "
                      "several rules)");
      } else {
        out.push_back(what);
      }
    }
  }
  return out;
}

struct ListFile {
  const char* name;
  std::string folder;
  bool white;
};

// Comment prefixes of easy mode's generated rules and the files their
// values come from, one rule per item in file order.
struct GeneratedFrom {
  const char* commentPrefix;
  const char* file;
};
constexpr GeneratedFrom kGenerated[] = {
    {"EASYMODE_FROMADDR_IN_ADDRBOOK: ", "EasyAddrBooks.dat"},
    {"EASYMODE_RULE: ", "EasyMode.rdb"},
    {"EASYMODE_DNSBL: ", "EasyDNSBL.dat"},
    {"EASYMODE_URLBL: ", "EasyURLBL.dat"},
};

}  // namespace

bool LintProfile(const std::string& profile, LintReport& report, std::string& error) {
  report = LintReport();
  const std::string pluginDir = quelta::WithTrailingSeparator(profile);
  quelta::Locations where;
  if (!quelta::LoadLocations(pluginDir, where)) {
    error = "cannot read " + pluginDir + "Quelta.cfg";
    return false;
  }
  quelta::Settings settings;
  if (!quelta::LoadSettings(where.iniFile, 99, quelta::os::LocalNow(), settings)) {
    error = "cannot read the settings in " + where.iniFile;
    return false;
  }
  settings.easy.folder = where.easyPath;

  quelta::RuleStore store;
  Collector collector;
  collector.store = &store;
  collector.folder = pluginDir;
  std::vector<Found>& found = collector.found;

  // The white and black lists, whose rules come first.
  const ListFile lists[] = {{"Whitelist.txt", where.whitelist, true},
                            {"Blacklist.txt", where.blacklist, false}};
  for (const ListFile& list : lists) {
    const std::string path = list.folder + list.name;
    const int before = store.Count();
    const int n = quelta::LoadAddressList(store, list.folder, list.name, list.white);
    if (n == -1) {
      found.push_back({{path, 0, "file not found (start-up logs an ERROR line)"}, {before, 0}});
      continue;
    }
    if (n < 0) {
      found.push_back(
          {{path, 0, "cannot be read, or is read-only (start-up fails to load it)"}, {before, 0}});
      continue;
    }
    const std::vector<int> lines = ItemLines(path);
    for (int i = 0; i < n; ++i) {
      const int line = i < static_cast<int>(lines.size()) ? lines[static_cast<std::size_t>(i)] : 0;
      collector.origins[before + i] = {path, line};
      const std::string& value = store.At(before + i).value;
      if (value.empty() || value == "<" || value == ">")
        found.push_back({{path, line, "the entry gives an empty address pattern: it never matches"},
                         {before + i, 1}});
      else if (value.find(' ') != std::string::npos)
        found.push_back({{path, line, "the entry holds a blank: it never matches an address"},
                         {before + i, 1}});
    }
  }

  // Easy mode's rules, or Rules.dat.
  LinesLog log;
  const quelta::RuleFileOptions ruleFiles{where.rulesDat, pluginDir};
  if (settings.easyEnabled) {
    quelta::GenerateEasyRules(store, settings.easy, ruleFiles, log, &collector);
    for (const std::string& line : log.lines)
      if (line.compare(0, 7, "ERROR: ") == 0 && line.find("Rule file") == std::string::npos &&
          line.find("\"EasyRules.dat\"") == std::string::npos)
        found.push_back({{where.easyPath + "(easy mode)", 0, line.substr(7)}, {store.Count(), 0}});
    // Rows of the rule editor's table that make no rule are skipped silently.
    std::vector<int> tableRows;  // the rows that became rules
    std::string table;
    if (settings.easy.ruleTable && quelta::os::ReadFile(where.easyPath + "EasyMode.rdb", table)) {
      int n = 0;
      for (const std::string& row : quelta::SplitLines(table)) {
        ++n;
        quelta::Rule rule;
        if (quelta::ParseRuleLine(quelta::EasyTableRowToLine(row), 100, rule))
          tableRows.push_back(n);
        else if (!quelta::Trim(row).empty())
          found.push_back(
              {{where.easyPath + "EasyMode.rdb", n, "the row makes no rule (start-up skips it)"},
               {store.Count(), 0}});
      }
    }
    // Generated rules name the list item or table row they come from.
    std::map<std::string, std::size_t> next;
    std::map<std::string, std::vector<int>> itemLines;
    for (int i = 0; i < store.Count(); ++i) {
      if (collector.origins.count(i)) continue;
      const std::string& comment = store.At(i).comment;
      Origin origin{where.easyPath + "(easy mode)", 0};
      for (const GeneratedFrom& g : kGenerated) {
        if (comment.compare(0, std::char_traits<char>::length(g.commentPrefix), g.commentPrefix) !=
            0)
          continue;
        origin.file = where.easyPath + g.file;
        auto lines = itemLines.find(g.file);
        if (lines == itemLines.end())
          lines =
              itemLines
                  .emplace(g.file, g.file == std::string("EasyMode.rdb") ? tableRows
                                                                         : ItemLines(origin.file))
                  .first;
        const std::size_t k = next[g.file]++;
        if (k < lines->second.size()) origin.line = lines->second[k];
        break;
      }
      collector.origins[i] = origin;
    }
  } else {
    store.LoadFromFile(where.rulesDat + "Rules.dat", ruleFiles, log, &collector);
  }

  std::set<std::string> files;
  for (int i = 0; i < store.Count(); ++i) {
    const Origin& origin = collector.origins[i];
    files.insert(origin.file);
    for (const std::string& text : RuleProblems(store.At(i)))
      found.push_back({{origin.file, origin.line, text}, {i, 1}});
  }

  // Files in the order start-up reads them, then lines in order.
  std::map<std::string, std::pair<int, int>> first;
  auto seen = [&](const std::string& file, std::pair<int, int> at) {
    auto it = first.emplace(file, at).first;
    it->second = std::min(it->second, at);
  };
  for (const auto& o : collector.origins) seen(o.second.file, {o.first, 1});
  for (const Found& f : found) seen(f.finding.file, f.at);
  std::stable_sort(found.begin(), found.end(), [&](const Found& a, const Found& b) {
    const auto ra = first[a.finding.file], rb = first[b.finding.file];
    if (ra != rb) return ra < rb;
    if (a.finding.file != b.finding.file) return a.finding.file < b.finding.file;
    return a.finding.line < b.finding.line;
  });
  for (Found& f : found) {
    if (f.finding.file.compare(0, pluginDir.size(), pluginDir) == 0)
      f.finding.file.erase(0, pluginDir.size());
    report.findings.push_back(std::move(f.finding));
  }

  report.rules = store.Count();
  report.files = static_cast<int>(files.size());
  return true;
}

std::string FormatFinding(const LintFinding& f) {
  return f.file + (f.line > 0 ? ":" + std::to_string(f.line) : std::string()) + ": " + f.text;
}

}  // namespace quelta_host
