#include "rules/cEasyMode.h"

#include "platform/Env.h"
#include "plugin/fLog.h"
#include "plugin/fPlugin.h"
#include "rules/cListText.h"
#include "rules/cLists.h"
#include "rules/cRules.h"

namespace quelta {

namespace {

// The file-name part of a book path: the text after the last "\" or ":"
// (or the platform's own separator).
std::string BareFileName(const std::string& path) {
  std::string seps = "\\:";
  if (env::kPathSep != '\\') seps += env::kPathSep;
  const std::size_t p = path.find_last_of(seps);
  return p == std::string::npos ? path : path.substr(p + 1);
}

void AddOrLog(TRules& rules, const std::string& line, const std::string& failText) {
  if (!rules.AddLine(line, 100)) WriteLog(failText);
}

void AddFromList(TRules& rules, const std::string& file,
                 void (*add)(TRules&, const std::string&)) {
  std::vector<std::string> items;
  if (!ReadEasyListFile(Plugin().Config.EasyPath + file, items)) return;
  for (const std::string& item : items) add(rules, item);
}

void AddBookRule(TRules& rules, const std::string& book) {
  const std::string name = BareFileName(book);
  AddOrLog(rules, "FromAddrInAB 0 IW \"" + book + "\" [EASYMODE_FROMADDR_IN_ADDRBOOK: " + name + "]",
           "ERROR: Adding rule \"EASYMODE_FROMADDR_IN_ADDRBOOK: " + name + "\" failed!");
}

void AddDnsblRule(TRules& rules, const std::string& zone) {
  AddOrLog(rules, "DNSBL 100 IH \"" + zone + "\" [EASYMODE_DNSBL: " + zone + "]",
           "ERROR: Adding rule \"EASYMODE_DNSBL: " + zone + "\" failed!");
}

void AddUrlblRule(TRules& rules, const std::string& zone) {
  AddOrLog(rules, "URLBL 100 IH \"" + zone + "\" [EASYMODE_URLBL: " + zone + "]",
           "ERROR: Adding rule \"EASYMODE_URLBL: " + zone + "\" failed!");
}

}  // namespace

bool ReadEasyListFile(const std::string& path, std::vector<std::string>& items) {
  items.clear();
  if (!env::FileExists(path)) return false;
  std::string data;
  if (!env::ReadFile(path, data)) return false;
  for (const std::string& line : listtext::SplitLines(data)) {
    std::string s = listtext::Trim(line);
    if (s.empty() || s[0] == '#') continue;
    items.push_back(std::move(s));
  }
  return true;
}

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

int LoadEasyModeTable(TRules& rules) {
  const std::string path = Plugin().Config.EasyPath + "EasyMode.rdb";
  try {
    if (!env::FileExists(path)) return 0;
    std::string data;
    if (!env::ReadFile(path, data)) return -1;
    for (const std::string& row : listtext::SplitLines(data))
      rules.AddLine(EasyTableRowToLine(row), 100);
    return rules.Count();
  } catch (...) {
    return -1;
  }
}

int GenerateEasyRules(TRules& rules) {
  const TPlugin& p = Plugin();
  const TPlugSettings& s = p.Settings;
  // Each step is guarded by itself: a failure ends that step only.
  auto step = [](auto&& body) {
    try {
      body();
    } catch (...) {
    }
  };

  if (s.EasyAutoWL)
    step([&] {
      AddOrLog(rules, "SenderInAutoWL 0 IW \"\" [EASYMODE_SENDER_IN_AUTOWL]",
               "ERROR: Adding rule \"EASYMODE_SENDER_IN_AUTOWL\" failed.");
    });
  if (s.EasyAddrBooks) step([&] { AddFromList(rules, "EasyAddrBooks.dat", AddBookRule); });
  if (s.EasyRules)
    step([&] {
      if (!rules.LoadFromFile(p.Config.EasyPath + "EasyRules.dat"))
        WriteLog("ERROR: Loading \"EasyRules.dat\" failed.");
    });
  if (s.EasyIntern)
    step([&] {
      const int before = rules.Count();
      const int r = LoadEasyModeTable(rules);
      if (r > 0)
        WriteLog("Quelta: EasyMode internal rules loaded successfully (R=" +
                 std::to_string(rules.Count() - before) + ").");
      else if (r == -1)
        WriteLog("ERROR: Loading of EasyMode internal rules failed!");
    });
  if (s.EasyBayes)
    step([&] {
      AddOrLog(rules, "BayesScore 0 IP \"\" [EASYMODE_BAYES_FILTER]",
               "ERROR: Adding rule \"EASYMODE_BAYES_FILTER\" failed.");
    });
  if (s.BayesIsScoreCheck)
    step([&] {
      AddOrLog(rules,
               "IsScore 0 IA \">" + std::to_string(s.BayesIsScoreValue) +
                   "\" [EASYMODE_AFTERBAYES_SCORE]",
               "ERROR: Adding rule \"EASYMODE_AFTERBAYES_SCORE\" failed.");
    });
  if (s.EasyDNSBL) step([&] { AddFromList(rules, "EasyDNSBL.dat", AddDnsblRule); });
  if (s.EasyURLBL) step([&] { AddFromList(rules, "EasyURLBL.dat", AddUrlblRule); });
  return rules.Count();
}

}  // namespace quelta
