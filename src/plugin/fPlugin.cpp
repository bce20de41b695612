#include "plugin/fPlugin.h"

#include <cmath>
#include <exception>

#include "bayes/cBayes.h"
#include "common/DateTime.h"
#include "common/fMain.h"
#include "platform/Env.h"
#include "plugin/fIni.h"
#include "plugin/fLang.h"
#include "plugin/fLog.h"
#include "plugin/fUpdate.h"
#include "rules/cAutoWL.h"
#include "rules/cLists.h"
#include "rules/cRules.h"

namespace quelta {

TPlugin& Plugin() {
  static TPlugin plugin;
  return plugin;
}

TPluginObjects& Objects() {
  static TPluginObjects objects;
  return objects;
}

namespace {

std::string WithSep(std::string s) {
  if (s.empty() || s.back() != env::kPathSep) s += env::kPathSep;
  return s;
}

std::string FolderOf(const std::string& file) {
  auto p = file.find_last_of(env::kPathSep);
  return p == std::string::npos ? std::string() : file.substr(0, p + 1);
}

}  // namespace

std::string ReadIniPath(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& def) {
  std::string v = Trim(env::ExpandEnvironment(ReadIniString(file, section, key, def)));
  const std::string token = "%QUELTADIR%";  // exact case
  std::size_t pos = 0;
  while ((pos = v.find(token, pos)) != std::string::npos) {
    v.replace(pos, token.size(), Plugin().PluginDir);
    pos += Plugin().PluginDir.size();
  }
  return WithSep(v);
}

// ---- Settings and statistics ------------------------------------------------

namespace {

// One table drives both loading and saving, so the two cannot drift apart.
// Counts are stored in the INI in units (MB, KB, months) and held in memory
// multiplied by `unit`; saving divides again by shifting.
struct BoolKey {
  const char* section;
  const char* key;
  bool TPlugSettings::*field;
  bool def;
};
struct IntKey {
  const char* section;
  const char* key;
  std::int32_t TPlugSettings::*field;
  std::int32_t def;
  bool defIsJunkScore;  // the default is the host's threshold
};
struct CountKey {
  const char* section;
  const char* key;
  std::uint32_t TPlugSettings::*field;
  std::uint32_t def;
  unsigned shift;  // in memory: value << shift
};

using S = TPlugSettings;
const BoolKey kBoolKeys[] = {
    {"Main", "DnsblExtendedLogging", &S::DnsblExtendedLogging, true},
    {"Main", "UrlblExtendedLogging", &S::UrlblExtendedLogging, true},
    {"Main", "MXCheckSavExtendedLogging", &S::MXCheckSavExtendedLogging, false},
    {"Bayes", "Enabled", &S::BayesEnabled, true},
    {"Bayes", "ExtendedLogging", &S::BayesExtendedLogging, false},
    {"Bayes", "AddMarkSpam", &S::AddMarkSpam, true},
    {"Bayes", "AddMarkHam", &S::AddMarkHam, true},
    {"Bayes", "AddMaxScore", &S::AddMaxScore, true},
    {"Bayes", "AddHigher", &S::AddHigher, true},
    {"Bayes", "AddLower", &S::AddLower, true},
    {"Bayes", "NoHtmlPart", &S::NoHtmlPart, false},
    {"Bayes", "NoNumbersOnly", &S::NoNumbersOnly, true},
    {"EasyMode", "Enabled", &S::EasyEnabled, true},
    {"EasyMode", "AutoWL", &S::EasyAutoWL, true},
    {"EasyMode", "AddrBooks", &S::EasyAddrBooks, true},
    {"EasyMode", "Rules", &S::EasyRules, true},
    {"EasyMode", "Intern", &S::EasyIntern, false},
    {"EasyMode", "Bayes", &S::EasyBayes, true},
    {"EasyMode", "BayesIsScoreCheck", &S::BayesIsScoreCheck, false},
    {"EasyMode", "DNSBL", &S::EasyDNSBL, true},
    {"EasyMode", "URLBL", &S::EasyURLBL, true},
    {"Main", "DebugMode", &S::DebugMode, false},
    {"Main", "Scripting", &S::Scripting, false},
};
const IntKey kIntKeys[] = {
    {"Main", "BreakAtScore", &S::BreakAtScore, 300, false},
    {"Main", "AWLDays", &S::AWLDays, 60, false},
    {"Bayes", "MinWordCount", &S::MinWordCount, 3, false},
    {"Bayes", "MaxWords", &S::MaxWords, 200, false},
    {"Bayes", "MaxSigWords", &S::MaxSigWords, 25, false},
    {"Bayes", "AddHigherValue", &S::AddHigherValue, 0, true},
    {"Bayes", "AddLowerValue", &S::AddLowerValue, 40, false},
    {"EasyMode", "BayesIsScoreValue", &S::BayesIsScoreValue, 0, true},
};
const CountKey kCountKeys[] = {
    {"Main", "MaxMsgSize", &S::MaxMsgSize, 10, 20},
    {"Main", "MaxDataSize", &S::MaxDataSize, 100, 10},
    {"Main", "MaxRegExpSize", &S::MaxRegExpSize, 32, 10},
    {"Main", "MaxLogSize", &S::MaxLogSize, 250, 10},
    {"Main", "OldLogAge", &S::OldLogAge, 3, 0},
};

}  // namespace

bool LoadSettings(TPlugin& p) {
  try {
    const std::string& f = p.Config.IniFile;
    TPlugSettings& s = p.Settings;
    s.Language = ReadIniString(f, "Main", "Language", "English");
    for (const auto& k : kBoolKeys) s.*k.field = ReadIniBool(f, k.section, k.key, k.def);
    for (const auto& k : kIntKeys)
      s.*k.field = ReadIniInt(f, k.section, k.key, k.defIsJunkScore ? p.JunkScore : k.def);
    // Wraps like the 32-bit arithmetic it stands for.
    for (const auto& k : kCountKeys) s.*k.field = ReadIniCounter(f, k.section, k.key, k.def) << k.shift;
    s.Update.Enabled = ReadIniBool(f, "Update", "Enabled", false);
    s.Update.Server = ReadIniString(f, "Update", "Server", "");
    // LastUpdate: whole seconds since 1970 of the local clock.
    const std::int64_t monthAgo = DateTimeToUnix(env::LocalNow() - 30.0);
    s.Update.LastUpdate = UnixToDateTime(static_cast<std::int64_t>(
        ReadIniCounter(f, "Update", "LastUpdate", static_cast<std::uint32_t>(monthAgo))));
    s.Update.Interval = ReadIniInt(f, "Update", "Interval", 3);
    if (s.Update.Interval < 1) s.Update.Interval = 1;
    s.Update.ShowMessage = ReadIniBool(f, "Update", "ShowMessage", true);
    return true;
  } catch (...) {
    return false;
  }
}

bool SaveSettings(const TPlugin& p) {
  try {
    const std::string& f = p.Config.IniFile;
    const TPlugSettings& s = p.Settings;
    bool ok = WriteIniString(f, "Main", "Language", s.Language);
    for (const auto& k : kCountKeys) ok &= WriteIniCounter(f, k.section, k.key, s.*k.field >> k.shift);
    for (const auto& k : kIntKeys) ok &= WriteIniInt(f, k.section, k.key, s.*k.field);
    for (const auto& k : kBoolKeys) ok &= WriteIniBool(f, k.section, k.key, s.*k.field);
    // "Server" and "LastUpdate" are never written here.
    ok &= WriteIniBool(f, "Update", "Enabled", s.Update.Enabled);
    ok &= WriteIniInt(f, "Update", "Interval", s.Update.Interval);
    ok &= WriteIniBool(f, "Update", "ShowMessage", s.Update.ShowMessage);
    return ok;
  } catch (...) {
    return false;
  }
}

namespace {

// The counters in their order in the file.
struct CounterKey {
  const char* key;
  std::uint32_t TPlugStats::*field;
};
const CounterKey kCounters[] = {
    {"MessagesFiltered", &TPlugStats::MessagesFiltered},
    {"ClassAsSpam", &TPlugStats::ClassAsSpam},
    {"ClassAsHam", &TPlugStats::ClassAsHam},
    {"BayesMessagesChecked", &TPlugStats::BayesMessagesChecked},
    {"BayesReClassAsSpam", &TPlugStats::BayesReClassAsSpam},
    {"BayesReClassAsHam", &TPlugStats::BayesReClassAsHam},
    {"BayesLearnAsSpam", &TPlugStats::BayesLearnAsSpam},
    {"BayesLearnAsHam", &TPlugStats::BayesLearnAsHam},
};

}  // namespace

bool LoadStatistics(TPlugin& p) {
  try {
    for (const auto& c : kCounters)
      p.Stats.*c.field = ReadIniCounter(p.Config.IniFile, "Statistics", c.key, 0);
    return true;
  } catch (...) {
    return false;
  }
}

bool SaveStatistics(const TPlugin& p) {
  try {
    bool ok = true;
    for (const auto& c : kCounters)
      ok &= WriteIniCounter(p.Config.IniFile, "Statistics", c.key, p.Stats.*c.field);
    return ok;
  } catch (...) {
    return false;
  }
}

// ---- Start-up and shutdown ----------------------------------------------------

namespace {

bool LoadLocations(TPlugin& p) {
  try {
    const std::string cfg = p.PluginDir + "Quelta.cfg";
    const std::string& dir = p.PluginDir;
    const std::string sep(1, env::kPathSep);
    TPlugConfig& c = p.Config;
    c.IniDir = ReadIniPath(cfg, "Locations", "QueltaIni", dir);
    c.IniFile = c.IniDir + "Quelta.ini";
    c.BayesDB = ReadIniPath(cfg, "Locations", "BayesDB", dir);
    c.LogPath = ReadIniPath(cfg, "Locations", "LogPath", dir + "Logs" + sep);
    c.AutoWL = ReadIniPath(cfg, "Locations", "AutoWL", dir);
    c.Whitelist = ReadIniPath(cfg, "Locations", "Whitelist", dir);
    c.Blacklist = ReadIniPath(cfg, "Locations", "Blacklist", dir);
    c.RulesDat = ReadIniPath(cfg, "Locations", "RulesDat", dir);
    c.ScriptPath = ReadIniPath(cfg, "Locations", "ScriptPath", dir + "Scripts" + sep);
    c.EasyPath = ReadIniPath(cfg, "Locations", "EasyPath", dir);
    return true;
  } catch (...) {
    return false;
  }
}

void LoadExceptedWords() {
  auto& words = Objects().ExceptedWords;
  words.clear();
  const std::string file = Plugin().Config.BayesDB + "ExceptedWords.txt";
  if (!env::FileExists(file)) {
    WriteLog("Quelta: Bayes word exception list not found.");
    return;
  }
  std::string text;
  if (!env::ReadFile(file, text)) {
    words.clear();
    WriteLog("ERROR: Loading of Bayes word exception list failed!");
    return;
  }
  std::string line;
  bool pending = false;
  for (char c : text) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      words.push_back(line);
      line.clear();
      pending = false;
    } else {
      line += c;
      pending = true;
    }
  }
  if (pending) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    words.push_back(line);
  }
  WriteLog("Quelta: Bayes word exception list loaded successfully (R=" +
           std::to_string(words.size()) + ").");
}

std::string NowText() { return env::FormatDateTime(env::LocalNow()); }

}  // namespace

bool Startup() {
  TPlugin& p = Plugin();
  TPluginObjects& o = Objects();
  bool result = true;
  std::string pending;

  // Host working folder.
  p.HostDir = Trim(env::HostWorkingDirRaw());
  p.HostDir = WithSep(Trim(env::ExpandEnvironment(p.HostDir)));
  // Plug-in folder: the folder of the module holding this code.
  p.PluginDir = WithSep(FolderOf(env::ModuleFileName()));
  // Version strings.
  const std::string module = p.PluginDir + "Quelta.tbp";
  p.ProductName = env::VersionString(module, "ProductName");
  p.FileDescription = env::VersionString(module, "FileDescription");
  p.LegalCopyright = env::VersionString(module, "LegalCopyright");
  p.FileVersion = env::VersionString(module, "FileVersion");
  p.Busy = false;
  p.OptionsOpen = false;
  p.BayesUnchanged = true;
  p.JunkScore = ReadIniInt(p.HostDir + "TBPlugin.INI", "AntiSpam", "JunkScore", 99);

  if (!LoadLocations(p)) pending += "ERROR: Loading of plugin configuration failed!";
  if (!LoadSettings(p)) pending += "ERROR: Loading of plugin settings failed!";
  if (!LoadStatistics(p)) pending += "ERROR: Loading of plugin statistics failed!";

  RotateLog();
  WriteLog(p.ProductName + " v" + p.FileVersion);
  if (!pending.empty()) WriteLog(pending);
  if (!DeleteOldLogs()) WriteLog("ERROR: Deleting of old logfiles failed!");

  o.Lang = std::make_unique<TLangTable>();
  o.Lang->Load(p.PluginDir + "Language" + env::kPathSep + p.Settings.Language + ".lng");

  Crc32(std::string());  // prepares the CRC-32 table
  try {
    o.Bayes = std::make_unique<TBayes>();
  } catch (...) {
    WriteLog("ERROR: Creating the Bayes filter failed!");
  }
  LoadExceptedWords();

  int awl = LoadAutoWhiteList(p.Config.AutoWL + "AutoWL.lst");
  if (awl >= 0)
    WriteLog("Quelta: Automated whitelist loaded successfully (R=" + std::to_string(awl) + ").");
  else if (awl == -1)
    WriteLog("Quelta: Automated whitelist not found.");
  else
    WriteLog("ERROR: Loading of automated whitelist failed!");

  o.Rules = std::make_unique<TRules>();
  int n = LoadAddressList(*o.Rules, p.Config.Whitelist, "Whitelist.txt", true);
  if (n == -1)
    WriteLog("ERROR: Whitelist not found!");
  else if (n >= 0)
    WriteLog("Quelta: Whitelist loaded successfully (R=" + std::to_string(n) + ").");
  else
    WriteLog("ERROR: Loading of whitelist failed!");
  n = LoadAddressList(*o.Rules, p.Config.Blacklist, "Blacklist.txt", false);
  if (n == -1)
    WriteLog("ERROR: Blacklist not found!");
  else if (n >= 0)
    WriteLog("Quelta: Blacklist loaded successfully (R=" + std::to_string(n) + ").");
  else
    WriteLog("ERROR: Loading of blacklist failed!");

  if (p.Settings.EasyEnabled) {
    int r = GenerateEasyRules(*o.Rules);
    if (r >= 0)
      WriteLog("Quelta: EasyMode rules loaded successfully (R=" + std::to_string(r) + ").");
    else
      WriteLog("ERROR: Loading of EasyMode rules failed!");
  } else if (o.Rules->LoadFromFile(p.Config.RulesDat + "Rules.dat")) {
    WriteLog("Quelta: Rulesets loaded successfully (R=" + std::to_string(o.Rules->Count()) + ").");
  } else {
    result = false;
    WriteLog("ERROR: Loading of rulesets failed!");
  }

  const std::string sub = p.PluginDir + "SubDomains.lst";
  if (env::FileExists(sub))
    o.SubDomainsFile = sub;
  else {
    o.SubDomainsFile.clear();
    WriteLog("ERROR: Subdomain list not found!");
  }

  if (p.Settings.Update.Enabled) CheckForUpdate(false);

  WriteLog("Quelta: Started at " + NowText() + ".");
  return result;
}

int Shutdown() {
  TPlugin& p = Plugin();
  TPluginObjects& o = Objects();
  WriteLog("");
  if (!SaveStatistics(p)) WriteLog("ERROR: Saving plugin statistics failed!");
  try {
    o.Lang.reset();
  } catch (...) {
    WriteLog("ERROR: Finalization of \"Laguage\" failed!");
  }
  try {
    o.Bayes.reset();
  } catch (...) {
    WriteLog("ERROR: Finalization of \"Bayes\" failed!");
  }
  o.ExceptedWords.clear();
  try {
    o.Rules.reset();
  } catch (...) {
    WriteLog("ERROR: Finalization of \"Rules\" failed!");
  }
  try {
    o.AutoWL.reset();
  } catch (...) {
    WriteLog("ERROR: Finalization of \"AutoWhiteList\" failed!");
  }
  WriteLog("Quelta: Shutdown at " + NowText() + ".\r\n");
  return 1;
}

}  // namespace quelta
