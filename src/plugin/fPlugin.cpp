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

bool LoadSettings(TPlugin& p) {
  try {
    const std::string& f = p.Config.IniFile;
    TPlugSettings& s = p.Settings;
    s.Language = ReadIniString(f, "Main", "Language", "English");
    s.MaxMsgSize = ReadIniCounter(f, "Main", "MaxMsgSize", 10) * 1048576u;
    s.MaxDataSize = ReadIniCounter(f, "Main", "MaxDataSize", 100) * 1024u;
    s.MaxRegExpSize = ReadIniCounter(f, "Main", "MaxRegExpSize", 32) * 1024u;
    s.BreakAtScore = ReadIniInt(f, "Main", "BreakAtScore", 300);
    s.AWLDays = ReadIniInt(f, "Main", "AWLDays", 60);
    s.DnsblExtendedLogging = ReadIniBool(f, "Main", "DnsblExtendedLogging", true);
    s.UrlblExtendedLogging = ReadIniBool(f, "Main", "UrlblExtendedLogging", true);
    s.MXCheckSavExtendedLogging = ReadIniBool(f, "Main", "MXCheckSavExtendedLogging", false);
    s.BayesEnabled = ReadIniBool(f, "Bayes", "Enabled", true);
    s.MinWordCount = ReadIniInt(f, "Bayes", "MinWordCount", 3);
    s.MaxWords = ReadIniInt(f, "Bayes", "MaxWords", 200);
    s.BayesExtendedLogging = ReadIniBool(f, "Bayes", "ExtendedLogging", false);
    s.MaxSigWords = ReadIniInt(f, "Bayes", "MaxSigWords", 25);
    s.AddMarkSpam = ReadIniBool(f, "Bayes", "AddMarkSpam", true);
    s.AddMarkHam = ReadIniBool(f, "Bayes", "AddMarkHam", true);
    s.AddMaxScore = ReadIniBool(f, "Bayes", "AddMaxScore", true);
    s.AddHigher = ReadIniBool(f, "Bayes", "AddHigher", true);
    s.AddLower = ReadIniBool(f, "Bayes", "AddLower", true);
    s.AddHigherValue = ReadIniInt(f, "Bayes", "AddHigherValue", p.JunkScore);
    s.AddLowerValue = ReadIniInt(f, "Bayes", "AddLowerValue", 40);
    s.NoHtmlPart = ReadIniBool(f, "Bayes", "NoHtmlPart", false);
    s.NoNumbersOnly = ReadIniBool(f, "Bayes", "NoNumbersOnly", true);
    s.MaxLogSize = ReadIniCounter(f, "Main", "MaxLogSize", 250) * 1024u;
    s.OldLogAge = ReadIniCounter(f, "Main", "OldLogAge", 3);
    s.EasyEnabled = ReadIniBool(f, "EasyMode", "Enabled", true);
    s.EasyAutoWL = ReadIniBool(f, "EasyMode", "AutoWL", true);
    s.EasyAddrBooks = ReadIniBool(f, "EasyMode", "AddrBooks", true);
    s.EasyRules = ReadIniBool(f, "EasyMode", "Rules", true);
    s.EasyIntern = ReadIniBool(f, "EasyMode", "Intern", false);
    s.EasyBayes = ReadIniBool(f, "EasyMode", "Bayes", true);
    s.BayesIsScoreCheck = ReadIniBool(f, "EasyMode", "BayesIsScoreCheck", false);
    s.BayesIsScoreValue = ReadIniInt(f, "EasyMode", "BayesIsScoreValue", p.JunkScore);
    s.EasyDNSBL = ReadIniBool(f, "EasyMode", "DNSBL", true);
    s.EasyURLBL = ReadIniBool(f, "EasyMode", "URLBL", true);
    s.DebugMode = ReadIniBool(f, "Main", "DebugMode", false);
    s.Update.Enabled = ReadIniBool(f, "Update", "Enabled", false);
    s.Update.Server = ReadIniString(f, "Update", "Server", "");
    // LastUpdate: whole seconds since 1970 of the local clock.
    std::int64_t monthAgo = DateTimeToUnix(env::LocalNow() - 30.0);
    s.Update.LastUpdate = UnixToDateTime(static_cast<std::int64_t>(ReadIniCounter(
        f, "Update", "LastUpdate", static_cast<std::uint32_t>(monthAgo))));
    s.Update.Interval = ReadIniInt(f, "Update", "Interval", 3);
    if (s.Update.Interval < 1) s.Update.Interval = 1;
    s.Update.ShowMessage = ReadIniBool(f, "Update", "ShowMessage", true);
    s.Scripting = ReadIniBool(f, "Main", "Scripting", false);
    return true;
  } catch (...) {
    return false;
  }
}

bool SaveSettings(const TPlugin& p) {
  try {
    const std::string& f = p.Config.IniFile;
    const TPlugSettings& s = p.Settings;
    bool ok = true;
    ok &= WriteIniString(f, "Main", "Language", s.Language);
    ok &= WriteIniCounter(f, "Main", "MaxMsgSize", s.MaxMsgSize >> 20);
    ok &= WriteIniCounter(f, "Main", "MaxDataSize", s.MaxDataSize >> 10);
    ok &= WriteIniCounter(f, "Main", "MaxRegExpSize", s.MaxRegExpSize >> 10);
    ok &= WriteIniInt(f, "Main", "BreakAtScore", s.BreakAtScore);
    ok &= WriteIniInt(f, "Main", "AWLDays", s.AWLDays);
    ok &= WriteIniBool(f, "Main", "DnsblExtendedLogging", s.DnsblExtendedLogging);
    ok &= WriteIniBool(f, "Main", "UrlblExtendedLogging", s.UrlblExtendedLogging);
    ok &= WriteIniBool(f, "Main", "MXCheckSavExtendedLogging", s.MXCheckSavExtendedLogging);
    ok &= WriteIniBool(f, "Bayes", "Enabled", s.BayesEnabled);
    ok &= WriteIniInt(f, "Bayes", "MinWordCount", s.MinWordCount);
    ok &= WriteIniInt(f, "Bayes", "MaxWords", s.MaxWords);
    ok &= WriteIniBool(f, "Bayes", "ExtendedLogging", s.BayesExtendedLogging);
    ok &= WriteIniInt(f, "Bayes", "MaxSigWords", s.MaxSigWords);
    ok &= WriteIniBool(f, "Bayes", "AddMarkSpam", s.AddMarkSpam);
    ok &= WriteIniBool(f, "Bayes", "AddMarkHam", s.AddMarkHam);
    ok &= WriteIniBool(f, "Bayes", "AddMaxScore", s.AddMaxScore);
    ok &= WriteIniBool(f, "Bayes", "AddHigher", s.AddHigher);
    ok &= WriteIniBool(f, "Bayes", "AddLower", s.AddLower);
    ok &= WriteIniInt(f, "Bayes", "AddHigherValue", s.AddHigherValue);
    ok &= WriteIniInt(f, "Bayes", "AddLowerValue", s.AddLowerValue);
    ok &= WriteIniBool(f, "Bayes", "NoHtmlPart", s.NoHtmlPart);
    ok &= WriteIniBool(f, "Bayes", "NoNumbersOnly", s.NoNumbersOnly);
    ok &= WriteIniCounter(f, "Main", "MaxLogSize", s.MaxLogSize >> 10);
    ok &= WriteIniCounter(f, "Main", "OldLogAge", s.OldLogAge);
    ok &= WriteIniBool(f, "EasyMode", "Enabled", s.EasyEnabled);
    ok &= WriteIniBool(f, "EasyMode", "AutoWL", s.EasyAutoWL);
    ok &= WriteIniBool(f, "EasyMode", "AddrBooks", s.EasyAddrBooks);
    ok &= WriteIniBool(f, "EasyMode", "Rules", s.EasyRules);
    ok &= WriteIniBool(f, "EasyMode", "Intern", s.EasyIntern);
    ok &= WriteIniBool(f, "EasyMode", "Bayes", s.EasyBayes);
    ok &= WriteIniBool(f, "EasyMode", "BayesIsScoreCheck", s.BayesIsScoreCheck);
    ok &= WriteIniInt(f, "EasyMode", "BayesIsScoreValue", s.BayesIsScoreValue);
    ok &= WriteIniBool(f, "EasyMode", "DNSBL", s.EasyDNSBL);
    ok &= WriteIniBool(f, "EasyMode", "URLBL", s.EasyURLBL);
    ok &= WriteIniBool(f, "Main", "DebugMode", s.DebugMode);
    ok &= WriteIniBool(f, "Update", "Enabled", s.Update.Enabled);
    ok &= WriteIniInt(f, "Update", "Interval", s.Update.Interval);
    ok &= WriteIniBool(f, "Update", "ShowMessage", s.Update.ShowMessage);
    ok &= WriteIniBool(f, "Main", "Scripting", s.Scripting);
    return ok;
  } catch (...) {
    return false;
  }
}

bool LoadStatistics(TPlugin& p) {
  try {
    const std::string& f = p.Config.IniFile;
    TPlugStats& c = p.Stats;
    c.MessagesFiltered = ReadIniCounter(f, "Statistics", "MessagesFiltered", 0);
    c.ClassAsSpam = ReadIniCounter(f, "Statistics", "ClassAsSpam", 0);
    c.ClassAsHam = ReadIniCounter(f, "Statistics", "ClassAsHam", 0);
    c.BayesMessagesChecked = ReadIniCounter(f, "Statistics", "BayesMessagesChecked", 0);
    c.BayesReClassAsSpam = ReadIniCounter(f, "Statistics", "BayesReClassAsSpam", 0);
    c.BayesReClassAsHam = ReadIniCounter(f, "Statistics", "BayesReClassAsHam", 0);
    c.BayesLearnAsSpam = ReadIniCounter(f, "Statistics", "BayesLearnAsSpam", 0);
    c.BayesLearnAsHam = ReadIniCounter(f, "Statistics", "BayesLearnAsHam", 0);
    return true;
  } catch (...) {
    return false;
  }
}

bool SaveStatistics(const TPlugin& p) {
  try {
    const std::string& f = p.Config.IniFile;
    const TPlugStats& c = p.Stats;
    bool ok = true;
    ok &= WriteIniCounter(f, "Statistics", "MessagesFiltered", c.MessagesFiltered);
    ok &= WriteIniCounter(f, "Statistics", "ClassAsSpam", c.ClassAsSpam);
    ok &= WriteIniCounter(f, "Statistics", "ClassAsHam", c.ClassAsHam);
    ok &= WriteIniCounter(f, "Statistics", "BayesMessagesChecked", c.BayesMessagesChecked);
    ok &= WriteIniCounter(f, "Statistics", "BayesReClassAsSpam", c.BayesReClassAsSpam);
    ok &= WriteIniCounter(f, "Statistics", "BayesReClassAsHam", c.BayesReClassAsHam);
    ok &= WriteIniCounter(f, "Statistics", "BayesLearnAsSpam", c.BayesLearnAsSpam);
    ok &= WriteIniCounter(f, "Statistics", "BayesLearnAsHam", c.BayesLearnAsHam);
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
