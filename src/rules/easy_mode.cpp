#include "rules/easy_mode.h"

#include <vector>

#include "base/log.h"
#include "base/strings.h"
#include "os/env.h"
#include "rules/rule_store.h"

namespace quelta {

namespace {

// The file-name part of a book path: the text after the last "\" or ":"
// (or the platform's own separator).
std::string BareFileName(const std::string& path) {
  std::string seps = "\\:";
  if (os::kPathSep != '\\') seps += os::kPathSep;
  const std::size_t p = path.find_last_of(seps);
  return p == std::string::npos ? path : path.substr(p + 1);
}

// Trimmed lines of a list file without empty and "#" lines; false when
// the file does not exist or cannot be read.
bool ReadEasyListFile(const std::string& path, std::vector<std::string>& items) {
  items.clear();
  if (!os::FileExists(path)) return false;
  std::string data;
  if (!os::ReadFile(path, data)) return false;
  for (const std::string& line : SplitLines(data)) {
    std::string s = Trim(line);
    if (s.empty() || s[0] == '#') continue;
    items.push_back(std::move(s));
  }
  return true;
}

}  // namespace

std::string EasyTableRowToLine(const std::string& row) {
  std::string f[5];
  std::size_t start = 0;
  for (int i = 0; i < 5; ++i) {
    const std::size_t sep = row.find(kEasyTableSeparator, start);
    if (sep == std::string::npos) {
      if (start <= row.size()) f[i] = row.substr(start);
      start = row.size() + 1;
    } else {
      f[i] = row.substr(start, sep - start);
      start = sep + 1;
    }
  }
  std::string line = f[0] + " ";
  std::string suffix;
  if (f[3] == kEasyScoreSpam) {
    line += "100 ";
    suffix = "H";
  } else if (f[3] == kEasyScoreHam) {
    line += "0 ";
    suffix = "W";
  } else {
    line += f[3] + " ";
  }
  line += f[1] + suffix + " ";
  line += "\"" + f[2] + "\"";
  line += " [EASYMODE_RULE: " + f[4] + "]";
  return line;
}

namespace {

// Adds the rules of folder + "EasyMode.rdb": the store's rule count
// afterwards, 0 when the file does not exist, -1 when it cannot be read.
int LoadEasyModeTable(RuleStore& rules, const std::string& folder) {
  const std::string path = folder + "EasyMode.rdb";
  try {
    if (!os::FileExists(path)) return 0;
    std::string data;
    if (!os::ReadFile(path, data)) return -1;
    for (const std::string& row : SplitLines(data))
      rules.AddLine(EasyTableRowToLine(row), 100);
    return rules.Count();
  } catch (...) {
    return -1;
  }
}

// Adds one generated line, logging failText when the store rejects it.
struct RuleAdder {
  RuleStore& rules;
  Log& log;
  void Add(const std::string& line, const std::string& failText) {
    if (!rules.AddLine(line, 100)) log.Write(failText);
  }
};

// Calls add for every item of the list file folder + file (none when it is missing).
template <class Add>
void ForEachListItem(const std::string& folder, const char* file, Add add) {
  std::vector<std::string> items;
  if (!ReadEasyListFile(folder + file, items)) return;
  for (const std::string& item : items) add(item);
}

}  // namespace

int GenerateEasyRules(RuleStore& rules, const EasyModeOptions& o, const RuleFileOptions& ruleFiles,
                      Log& log, RuleFileSink* sink) {
  RuleAdder adder{rules, log};
  // Each step is guarded by itself: a failure ends that step only.
  auto step = [](auto&& body) {
    try {
      body();
    } catch (...) {
    }
  };

  if (o.autoWhiteList)
    step([&] {
      adder.Add("SenderInAutoWL 0 IW \"\" [EASYMODE_SENDER_IN_AUTOWL]",
                "ERROR: Adding rule \"EASYMODE_SENDER_IN_AUTOWL\" failed.");
    });
  if (o.addressBooks)
    step([&] {
      ForEachListItem(o.folder, "EasyAddrBooks.dat", [&](const std::string& book) {
        const std::string name = BareFileName(book);
        adder.Add("FromAddrInAB 0 IW \"" + book + "\" [EASYMODE_FROMADDR_IN_ADDRBOOK: " + name + "]",
                  "ERROR: Adding rule \"EASYMODE_FROMADDR_IN_ADDRBOOK: " + name + "\" failed!");
      });
    });
  if (o.ruleFile)
    step([&] {
      if (!rules.LoadFromFile(o.folder + "EasyRules.dat", ruleFiles, log, sink))
        log.Write("ERROR: Loading \"EasyRules.dat\" failed.");
    });
  if (o.ruleTable)
    step([&] {
      const int before = rules.Count();
      const int r = LoadEasyModeTable(rules, o.folder);
      if (r > 0)
        log.Write("Quelta: EasyMode internal rules loaded successfully (R=" +
                  std::to_string(rules.Count() - before) + ").");
      else if (r == -1)
        log.Write("ERROR: Loading of EasyMode internal rules failed!");
    });
  if (o.bayes)
    step([&] {
      adder.Add("BayesScore 0 IP \"\" [EASYMODE_BAYES_FILTER]",
                "ERROR: Adding rule \"EASYMODE_BAYES_FILTER\" failed.");
    });
  if (o.bayesIsScoreCheck)
    step([&] {
      adder.Add("IsScore 0 IA \">" + std::to_string(o.bayesIsScoreValue) +
                    "\" [EASYMODE_AFTERBAYES_SCORE]",
                "ERROR: Adding rule \"EASYMODE_AFTERBAYES_SCORE\" failed.");
    });
  if (o.dnsbl)
    step([&] {
      ForEachListItem(o.folder, "EasyDNSBL.dat", [&](const std::string& zone) {
        adder.Add("DNSBL 100 IH \"" + zone + "\" [EASYMODE_DNSBL: " + zone + "]",
                  "ERROR: Adding rule \"EASYMODE_DNSBL: " + zone + "\" failed!");
      });
    });
  if (o.urlbl)
    step([&] {
      ForEachListItem(o.folder, "EasyURLBL.dat", [&](const std::string& zone) {
        adder.Add("URLBL 100 IH \"" + zone + "\" [EASYMODE_URLBL: " + zone + "]",
                  "ERROR: Adding rule \"EASYMODE_URLBL: " + zone + "\" failed!");
      });
    });
  return rules.Count();
}

}  // namespace quelta
