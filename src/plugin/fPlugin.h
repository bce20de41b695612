// fPlugin: the one process-wide record of the plug-in (`TPlugin`) with its
// folders, settings and statistics, the process-wide objects created at
// start-up, and the start-up and shutdown sequences.
//
// Promises: Plugin() always returns the same record; the objects in
// Objects() exist from the end of Startup() until Shutdown(). The record is
// written only during start-up, by the options dialog and (counters) by the
// per-message work that the busy flag serialises; it holds no lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quelta {

class TRules;
class TBayes;
class TLangTable;
class TAutoWhiteList;

// Folders of every data file; each ends with the path separator.
struct TPlugConfig {
  std::string IniDir, IniFile, BayesDB, LogPath, AutoWL, Whitelist, Blacklist,
      RulesDat, ScriptPath, EasyPath;
};

struct TPlugUpdate {
  bool Enabled = false;
  std::string Server;
  double LastUpdate = 0;  // date-time value
  std::int32_t Interval = 3;
  bool ShowMessage = true;
};

// Options. Sizes are held in bytes (configured in MB/KB).
struct TPlugSettings {
  std::string Language = "English";
  std::uint32_t MaxMsgSize = 10u * 1048576u;
  std::uint32_t MaxDataSize = 100u * 1024u;
  std::uint32_t MaxRegExpSize = 32u * 1024u;
  std::int32_t BreakAtScore = 300;
  std::int32_t AWLDays = 60;
  std::int64_t AutoWLSize = 0;  // size of AutoWL.lst after its last load
  bool DnsblExtendedLogging = true;
  bool UrlblExtendedLogging = true;
  bool MXCheckSavExtendedLogging = false;
  bool BayesEnabled = true;
  std::int32_t MinWordCount = 3;
  std::int32_t MaxWords = 200;
  bool BayesExtendedLogging = false;
  std::int32_t MaxSigWords = 25;
  bool AddMarkSpam = true;
  bool AddMarkHam = true;
  bool AddMaxScore = true;
  bool AddHigher = true;
  bool AddLower = true;
  std::int32_t AddHigherValue = 99;
  std::int32_t AddLowerValue = 40;
  bool NoHtmlPart = false;
  bool NoNumbersOnly = true;
  std::uint32_t MaxLogSize = 250u * 1024u;
  std::uint32_t OldLogAge = 3;  // months
  bool EasyEnabled = true;
  bool EasyAutoWL = true;
  bool EasyAddrBooks = true;
  bool EasyRules = true;
  bool EasyIntern = false;
  bool EasyBayes = true;
  bool BayesIsScoreCheck = false;
  std::int32_t BayesIsScoreValue = 99;
  bool EasyDNSBL = true;
  bool EasyURLBL = true;
  bool DebugMode = false;
  TPlugUpdate Update;
  bool Scripting = false;
};

// Usage statistics; unsigned 32-bit, wrapping.
struct TPlugStats {
  std::uint32_t MessagesFiltered = 0, ClassAsSpam = 0, ClassAsHam = 0,
                BayesReClassAsSpam = 0, BayesReClassAsHam = 0,
                BayesLearnAsSpam = 0, BayesLearnAsHam = 0,
                BayesMessagesChecked = 0;
};

struct TPlugin {
  std::string ProductName, FileDescription, LegalCopyright, FileVersion;
  std::string PluginDir;  // folder of the module, ending with the separator
  std::string HostDir;    // the host's working folder, ending with it
  std::atomic<bool> Busy{false};
  std::atomic<bool> OptionsOpen{false};
  // Set: the Bayes databases count as unchanged and are not saved.
  std::atomic<bool> BayesUnchanged{true};
  TPlugConfig Config;
  TPlugSettings Settings;
  TPlugStats Stats;
  std::int32_t JunkScore = 99;
};

TPlugin& Plugin();

// Process-wide objects, owned from start-up to shutdown.
struct TPluginObjects {
  std::unique_ptr<TLangTable> Lang;
  std::unique_ptr<TBayes> Bayes;
  std::vector<std::string> ExceptedWords;  // Bayes word exception list
  std::unique_ptr<TAutoWhiteList> AutoWL;
  std::unique_ptr<TRules> Rules;
  std::string SubDomainsFile;  // full name of SubDomains.lst, or empty
};

TPluginObjects& Objects();

// Settings and statistics (Quelta.ini). Return false when anything failed;
// fields read so far keep their new values.
bool LoadSettings(TPlugin& p);
bool SaveSettings(const TPlugin& p);
bool LoadStatistics(TPlugin& p);
bool SaveStatistics(const TPlugin& p);

// Start-up and shutdown sequences. Startup returns false only when the rule
// file failed to load; Shutdown returns 1.
bool Startup();
int Shutdown();

// Location reader: INI value, environment expanded, trimmed, %QUELTADIR%
// replaced by the plug-in folder, separator appended.
std::string ReadIniPath(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& def);

}  // namespace quelta
