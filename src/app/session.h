// Session: the plug-in's working state from start-up to shutdown. It finds
// the host's and its own folders, reads the settings, statistics and data
// folders, owns every long-lived object (log, language table, Bayes filter,
// word exception list, auto-white-list, rule store, address books, pattern
// cache) and scores and trains messages with them.
//
// Promises: Startup and Shutdown run their sequences in a fixed order and
// log every step; nothing throws out of them, ScoreMessage or TrainMessage
// (failures become the plug-in's log lines). One caller at a time for
// Startup, Shutdown, ScoreMessage, TrainMessage, RefreshAutoWhiteList and
// SaveConfig (the plug-in's busy flag serialises them); the getters used
// by the macros may be called from any thread.
//
// One profile, any number of processes: from the start of Startup (before
// any data file is read) to the end of Shutdown (after the last one is
// written) the session holds the profile lock, an exclusive lock on
// "Quelta.lock" in the plug-in folder. A process that cannot get it in
// time (os::kProfileLockWaitMs; POSIX waits as long as it takes) or cannot
// create it runs without owning the profile: it reads every file but
// writes none (no statistics, Bayes databases, auto-white-list rewrite,
// log rotation), and says so in the log. It tries again at every message
// and, if it changed anything, at shutdown (waiting as start-up did); when
// it gets the lock it reloads what another process may have saved and
// applies its own trainings and counts to it, so nothing is lost unless
// the profile stays held to the end (which the log then says).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/filter_log.h"
#include "app/language.h"
#include "app/locations.h"
#include "app/settings.h"
#include "bayes/classifier.h"
#include "os/env.h"

namespace quelta {

class AddressBookSet;
class AutoWhiteList;
class ExceptedWords;
class RenderedTextSource;
class RuleSet;
class RuleStore;
class SubDomainList;
class SystemNetwork;

// The lock of the profile whose plug-in folder is pluginDir (the file
// "Quelta.lock" in it), as every process takes it before it reads or writes
// the profile's data files: Session from start-up to shutdown, tools that
// change the files (a restore of the Bayes databases) around their work.
// Null when it could not be taken within timeoutMs (os::LockFile).
std::unique_ptr<os::FileLock> LockProfile(const std::string& pluginDir, std::uint32_t timeoutMs);

class Session {
 public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The start-up sequence; false only when the rule file failed to load.
  bool Startup();
  // The shutdown sequence: saves the statistics and the Bayes databases,
  // frees every object; returns 1.
  int Shutdown();

  // Re-reads "AutoWL.lst" when its size changed (and is above 0).
  void RefreshAutoWhiteList();
  // Scores one raw message (CR LF lines): 0..100. The rendered text is asked
  // for only when a rule needs it.
  std::int32_t ScoreMessage(std::string raw, RenderedTextSource* rendered);
  // Trains the Bayes filter with one message the host marked.
  void TrainMessage(std::string raw, RenderedTextSource* rendered, bool asSpam);

  // The options dialog's writes: every one runs under the profile lock (a
  // session that does not own the profile waits for the lock as start-up
  // does, and the write fails when it cannot get it). False when the lock
  // could not be taken or the write failed.
  bool UnderProfileLock(const std::function<bool()>& write);
  // Whether this session holds the profile lock.
  bool OwnsProfile() const { return profileLock_ != nullptr; }
  // Whether this run writes what it learned and counted (the statistics, the
  // Bayes databases, the auto-white-list's clean-up, the update check's
  // time): it owns the profile and learning was not switched off for it
  // (QUELTA_NO_LEARN=1, set by the command-line host's --no-learn). A run
  // with learning switched off learns nothing automatically either; a
  // message the host marks still trains the filter in memory.
  bool SavesChanges() const { return OwnsProfile() && !learningOff_; }

  // ---- What the macros, the information page and the dialogs read ----
  const std::string& ProductName() const { return productName_; }
  const std::string& FileDescription() const { return fileDescription_; }
  const std::string& LegalCopyright() const { return legalCopyright_; }
  const std::string& FileVersion() const { return fileVersion_; }
  const std::string& PluginDir() const { return pluginDir_; }
  const std::string& HostDir() const { return hostDir_; }
  std::int32_t JunkScore() const { return junkScore_; }
  const Locations& Folders() const { return locations_; }
  Settings& Config() { return settings_; }
  const Settings& Config() const { return settings_; }
  // The statistics and the Bayes figures as they are now (any thread).
  Statistics Stats() const { return stats_.Snapshot(); }
  BayesFigures BayesNumbers() const;
  // Every counter back to 0 (the options dialog; written at shutdown).
  void ResetStatistics();
  const LanguageTable& Language() const { return language_; }
  LanguageTable& Language() { return language_; }
  int RuleCount() const;
  // Null before start-up and after shutdown.
  BayesFilter* Bayes() { return bayes_.get(); }
  const BayesFilter* Bayes() const { return bayes_.get(); }
  FilterLog& LogFile() { return log_; }

  // Writes the settings to "Quelta.ini" in one save, under the profile lock
  // (the options dialog's Ok); false when that failed.
  bool SaveConfig();

 private:
  void LoadExceptedWords();
  int LoadAutoWhiteList(const std::string& path);
  void StartupRules(bool& ok);
  void PublishBayesFigures();
  void RemoveLeftovers();
  bool ChangedSinceLoad() const;
  // Takes the profile lock if this session does not hold it yet, waiting
  // up to waitMs; on success carries this run's changes over to the files
  // as they are now.
  void TryToOwnProfile(std::uint32_t waitMs);

  std::string productName_, fileDescription_, legalCopyright_, fileVersion_;
  std::string pluginDir_, hostDir_;
  std::int32_t junkScore_ = 99;
  Locations locations_;
  Settings settings_;
  std::unique_ptr<os::FileLock> profileLock_;
  bool learningOff_ = false;  // QUELTA_NO_LEARN=1: score and log only
  LiveStatistics stats_;
  Statistics statsAtLoad_;  // as read at start-up: the base of this run's counts
  mutable std::mutex figuresMutex_;
  BayesFigures bayesFigures_;  // published after every change, for the macros
  std::int64_t autoWhiteListSize_ = 0;  // size of "AutoWL.lst" after its last load
  FilterLog log_;
  LanguageTable language_;
  std::unique_ptr<BayesFilter> bayes_;
  std::unique_ptr<ExceptedWords> exceptedWords_;
  std::unique_ptr<AutoWhiteList> autoWhiteList_;
  std::unique_ptr<RuleStore> rules_;
  std::unique_ptr<RuleSet> ruleSet_;  // rules_ resolved for evaluation
  std::unique_ptr<SubDomainList> subDomains_;
  std::unique_ptr<AddressBookSet> addressBooks_;
  std::unique_ptr<SystemNetwork> network_;
};

}  // namespace quelta
