#include "app/session.h"

#include <cstring>
#include <functional>

#include "app/update_check.h"
#include "base/ini.h"
#include "base/paths.h"
#include "base/strings.h"
#include "bayes/classifier.h"
#include "bayes/tokenizer.h"
#include "bayes/word_table.h"
#include "engine/evaluator.h"
#include "engine/message_context.h"
#include "engine/rule_set.h"
#include "lists/address_book.h"
#include "lists/auto_white_list.h"
#include "message/urls.h"
#include "net/lookup.h"
#include "net/network_checks.h"
#include "os/env.h"
#include "rules/address_list_rules.h"
#include "rules/easy_mode.h"
#include "rules/rule_store.h"

namespace quelta {

namespace {

std::string NowText() { return os::FormatDateTime(os::LocalNow()); }

// How long shutdown waits for abandoned look-ups to end.
constexpr int kShutdownLookupWaitMs = 3000;

}  // namespace

std::unique_ptr<os::FileLock> LockProfile(const std::string& pluginDir, std::uint32_t timeoutMs) {
  return os::LockFile(pluginDir + "Quelta.lock", timeoutMs);
}

Session::Session() = default;
Session::~Session() = default;

int Session::RuleCount() const { return rules_ ? rules_->Count() : 0; }

BayesFigures Session::BayesNumbers() const {
  std::lock_guard<std::mutex> lock(figuresMutex_);
  return bayesFigures_;
}

void Session::PublishBayesFigures() {
  const BayesFigures f = bayes_ ? bayes_->Figures() : BayesFigures();
  std::lock_guard<std::mutex> lock(figuresMutex_);
  bayesFigures_ = f;
}

void Session::LoadExceptedWords() {
  exceptedWords_.reset();
  const std::string file = locations_.bayesDb + "ExceptedWords.txt";
  if (!os::FileExists(file)) {
    log_.Write("Quelta: Bayes word exception list not found.");
    return;
  }
  std::string text;
  if (!os::ReadFile(file, text)) {
    log_.Write("ERROR: Loading of Bayes word exception list failed!");
    return;
  }
  exceptedWords_ = std::make_unique<ExceptedWords>(SplitLines(text));
  log_.Write("Quelta: Bayes word exception list loaded successfully (R=" +
             std::to_string(exceptedWords_->Size()) + ").");
}

int Session::LoadAutoWhiteList(const std::string& path) {
  try {
    if (!autoWhiteList_) autoWhiteList_ = std::make_unique<AutoWhiteList>();
    const int n = autoWhiteList_->Load(path, settings_.awlDays, os::LocalNow(), SavesChanges());
    if (n >= 0) autoWhiteListSize_ = os::FileSize(path);
    return n;
  } catch (...) {
    return -2;
  }
}

bool Session::Startup() {
  bool result = true;
  std::string pending;

  // Host working folder.
  hostDir_ = WithTrailingSeparator(Trim(os::ExpandEnvironment(Trim(os::HostWorkingDirRaw()))));
  // Plug-in folder: the folder of the module holding this code, unless the
  // system names another folder for the data.
  const std::string moduleDir = WithTrailingSeparator(os::FolderOf(os::ModuleFileName()));
  const std::string profile = os::ProfileFolderOverride();
  pluginDir_ = profile.empty() ? moduleDir : profile;
  // The profile lock, before any data file is read.
  profileLock_.reset();
  profileLock_ = LockProfile(pluginDir_, os::kProfileLockWaitMs);
  learningOff_ = os::LearningSwitchedOff();
  // Version strings.
  const std::string module = moduleDir + "Quelta.tbp";
  productName_ = os::VersionString(module, "ProductName");
  fileDescription_ = os::VersionString(module, "FileDescription");
  legalCopyright_ = os::VersionString(module, "LegalCopyright");
  fileVersion_ = os::VersionString(module, "FileVersion");
  junkScore_ = ReadIniInt(hostDir_ + "TBPlugin.INI", "AntiSpam", "JunkScore", 99);

  if (!LoadLocations(pluginDir_, locations_)) pending += "ERROR: Loading of plugin configuration failed!";
  log_.SetFolder(locations_.logPath);
  if (!LoadSettings(locations_.iniFile, junkScore_, os::LocalNow(), settings_))
    pending += "ERROR: Loading of plugin settings failed!";
  statsAtLoad_ = Statistics();
  if (!LoadStatistics(locations_.iniFile, statsAtLoad_))
    pending += "ERROR: Loading of plugin statistics failed!";
  stats_.Set(statsAtLoad_);
  settings_.engine.junkScore = junkScore_;
  settings_.easy.folder = locations_.easyPath;

  if (OwnsProfile()) log_.Rotate(settings_.log, os::LocalNow());
  log_.Write(productName_ + " v" + fileVersion_);
  if (!pending.empty()) log_.Write(pending);
  if (!OwnsProfile()) {
    log_.Write(os::FileExists(pluginDir_ + "Quelta.lock")
                   ? "WARNING: The profile is in use by another process; this run saves nothing "
                     "until it is free!"
                   : "WARNING: The profile cannot be locked (\"Quelta.lock\" cannot be created); "
                     "this run saves nothing!");
  } else if (!log_.DeleteOld(settings_.log, os::LocalNow()))
    log_.Write("ERROR: Deleting of old logfiles failed!");

  language_.Load(pluginDir_ + "Language" + os::kPathSep + settings_.language + ".lng");

  if (OwnsProfile()) RemoveLeftovers();

  try {
    bayes_ = std::make_unique<BayesFilter>(locations_.bayesDb, settings_.bayes, log_);
    bayes_->KeepJournal(!OwnsProfile());
  } catch (...) {
    log_.Write("ERROR: Creating the Bayes filter failed!");
  }
  PublishBayesFigures();
  LoadExceptedWords();
  settings_.engine.tokenizer.excepted = exceptedWords_.get();

  const int awl = LoadAutoWhiteList(locations_.autoWhiteList + "AutoWL.lst");
  if (awl >= 0)
    log_.Write("Quelta: Automated whitelist loaded successfully (R=" + std::to_string(awl) + ").");
  else if (awl == -1)
    log_.Write("Quelta: Automated whitelist not found.");
  else
    log_.Write("ERROR: Loading of automated whitelist failed!");

  StartupRules(result);

  const std::string sub = pluginDir_ + "SubDomains.lst";
  if (os::FileExists(sub)) {
    subDomains_ = std::make_unique<SubDomainList>(sub);
  } else {
    subDomains_.reset();
    log_.Write("ERROR: Subdomain list not found!");
  }
  settings_.message.twoLevelDomains = subDomains_.get();
  addressBooks_ = std::make_unique<AddressBookSet>(hostDir_);
  network_ = std::make_unique<SystemNetwork>();

  if (settings_.update.enabled) CheckForUpdate(*this, false);

  log_.Write("Quelta: Started at " + NowText() + ".");
  return result;
}

void Session::StartupRules(bool& ok) {
  rules_ = std::make_unique<RuleStore>();
  int n = LoadAddressList(*rules_, locations_.whitelist, "Whitelist.txt", true);
  if (n == -1)
    log_.Write("ERROR: Whitelist not found!");
  else if (n >= 0)
    log_.Write("Quelta: Whitelist loaded successfully (R=" + std::to_string(n) + ").");
  else
    log_.Write("ERROR: Loading of whitelist failed!");
  n = LoadAddressList(*rules_, locations_.blacklist, "Blacklist.txt", false);
  if (n == -1)
    log_.Write("ERROR: Blacklist not found!");
  else if (n >= 0)
    log_.Write("Quelta: Blacklist loaded successfully (R=" + std::to_string(n) + ").");
  else
    log_.Write("ERROR: Loading of blacklist failed!");

  const RuleFileOptions ruleFiles{locations_.rulesDat, pluginDir_};
  if (settings_.easyEnabled) {
    const int r = GenerateEasyRules(*rules_, settings_.easy, ruleFiles, log_);
    if (r >= 0)
      log_.Write("Quelta: EasyMode rules loaded successfully (R=" + std::to_string(r) + ").");
    else
      log_.Write("ERROR: Loading of EasyMode rules failed!");
  } else if (rules_->LoadFromFile(locations_.rulesDat + "Rules.dat", ruleFiles, log_)) {
    log_.Write("Quelta: Rulesets loaded successfully (R=" + std::to_string(rules_->Count()) + ").");
  } else {
    ok = false;
    log_.Write("ERROR: Loading of rulesets failed!");
  }
  ruleSet_ = std::make_unique<RuleSet>(*rules_);
}

void Session::RemoveLeftovers() {
  // A Bayes save is finished or undone first, then every other temporary
  // file goes.
  BayesFilter::CompleteInterruptedSave(locations_.bayesDb, log_);
  for (const std::string* folder : {&locations_.iniDir, &locations_.bayesDb, &locations_.autoWhiteList})
    os::RemoveTemporaryFiles(*folder);
}

bool Session::ChangedSinceLoad() const {
  const Statistics now = stats_.Snapshot();
  return (bayes_ && bayes_->Changed()) || std::memcmp(&now, &statsAtLoad_, sizeof now) != 0;
}

void Session::TryToOwnProfile(std::uint32_t waitMs) {
  if (OwnsProfile()) return;
  profileLock_ = LockProfile(pluginDir_, waitMs);
  if (!OwnsProfile()) return;
  // Another process may have saved the profile meanwhile: what this run
  // changed is applied to the files as they are now.
  log_.Write("Quelta: The profile is free again; this run saves its changes.");
  RemoveLeftovers();
  Statistics onDisk;
  if (LoadStatistics(locations_.iniFile, onDisk)) {
    const Statistics now = stats_.Snapshot();
    UsageCounts run;  // what this run counted (32-bit wrapping differences)
    run.messagesFiltered = now.messagesFiltered - statsAtLoad_.messagesFiltered;
    run.classAsSpam = now.classAsSpam - statsAtLoad_.classAsSpam;
    run.classAsHam = now.classAsHam - statsAtLoad_.classAsHam;
    run.bayesMessagesChecked = now.bayesMessagesChecked - statsAtLoad_.bayesMessagesChecked;
    run.bayesReClassAsSpam = now.bayesReClassAsSpam - statsAtLoad_.bayesReClassAsSpam;
    run.bayesReClassAsHam = now.bayesReClassAsHam - statsAtLoad_.bayesReClassAsHam;
    run.bayesLearnAsSpam = now.bayesLearnAsSpam - statsAtLoad_.bayesLearnAsSpam;
    run.bayesLearnAsHam = now.bayesLearnAsHam - statsAtLoad_.bayesLearnAsHam;
    stats_.Set(onDisk);
    stats_.Add(run);
  }
  if (bayes_) {
    const std::vector<Training> journal = bayes_->TakeJournal();
    auto fresh = std::make_unique<BayesFilter>(locations_.bayesDb, settings_.bayes, log_);
    fresh->Replay(journal);
    bayes_ = std::move(fresh);
    PublishBayesFigures();
  }
  const std::string awl = locations_.autoWhiteList + "AutoWL.lst";
  if (os::FileExists(awl)) LoadAutoWhiteList(awl);
}

int Session::Shutdown() {
  log_.Write("");
  // A run that changed something waits for a profile another process holds
  // as long as start-up did; the changes are lost only when it stays held.
  if (!learningOff_) TryToOwnProfile(ChangedSinceLoad() ? os::kProfileLockWaitMs : 0);
  if (!OwnsProfile() && !learningOff_ && ChangedSinceLoad())
    log_.Write("WARNING: The profile could not be locked; the changes of this run are not saved!");
  if (SavesChanges() && !SaveStatistics(locations_.iniFile, stats_.Snapshot()))
    log_.Write("ERROR: Saving plugin statistics failed!");
  try {
    language_ = LanguageTable();
  } catch (...) {
    log_.Write("ERROR: Finalization of \"Laguage\" failed!");
  }
  try {
    if (bayes_) {
      if (SavesChanges())
        bayes_->Save(log_);
      else
        log_.Write("Quelta: Bayes databases not saved.");
    }
    bayes_.reset();
  } catch (...) {
    log_.Write("ERROR: Finalization of \"Bayes\" failed!");
  }
  settings_.engine.tokenizer.excepted = nullptr;
  exceptedWords_.reset();
  try {
    ruleSet_.reset();
    rules_.reset();
  } catch (...) {
    log_.Write("ERROR: Finalization of \"Rules\" failed!");
  }
  try {
    autoWhiteList_.reset();
  } catch (...) {
    log_.Write("ERROR: Finalization of \"AutoWhiteList\" failed!");
  }
  settings_.message.twoLevelDomains = nullptr;
  subDomains_.reset();
  addressBooks_.reset();
  network_.reset();
  // Look-ups abandoned at their time-out may still be running; they must
  // not outlive the module's code.
  WaitForLookupWorkers(kShutdownLookupWaitMs);
  log_.Write("Quelta: Shutdown at " + NowText() + ".\r\n");
  profileLock_.reset();  // everything is written
  return 1;
}

bool Session::UnderProfileLock(const std::function<bool()>& write) {
  try {
    std::unique_ptr<os::FileLock> lock;
    if (!OwnsProfile()) lock = LockProfile(pluginDir_, os::kProfileLockWaitMs);
    return (OwnsProfile() || lock) && write();
  } catch (...) {
    return false;
  }
}

bool Session::SaveConfig() {
  return UnderProfileLock([this] { return SaveSettings(locations_.iniFile, settings_); });
}

void Session::ResetStatistics() {
  statsAtLoad_ = Statistics();
  stats_.Set(Statistics());
}

void Session::RefreshAutoWhiteList() {
  TryToOwnProfile(0);
  const std::string file = locations_.autoWhiteList + "AutoWL.lst";
  const std::int64_t size = os::FileSize(file);
  if (size > 0 && size != autoWhiteListSize_) {
    const int n = LoadAutoWhiteList(file);
    log_.Write("Quelta: " + std::to_string(n) + " lines reloaded from \"AutoWL.lst\".");
    if (n < 0) log_.Write("ERROR: Loading of automated whitelist failed!");
  }
}

std::int32_t Session::ScoreMessage(std::string raw, RenderedTextSource* rendered) {
  MessageContext message(std::move(raw), settings_.message, rendered);
  EngineServices services;
  services.rules = ruleSet_.get();
  services.bayes = bayes_.get();
  services.autoWhiteList = autoWhiteList_.get();
  services.addressBooks = addressBooks_.get();
  services.network = network_.get();
  services.log = &log_;
  // A run with learning switched off takes nothing from its own verdicts.
  EngineOptions scoreOnly;
  if (learningOff_) {
    scoreOnly = settings_.engine;
    scoreOnly.addMarkSpam = scoreOnly.addMarkHam = scoreOnly.addMaxScore = false;
    scoreOnly.addHigher = scoreOnly.addLower = false;
  }
  MessageEvaluator evaluator(message, learningOff_ ? scoreOnly : settings_.engine, services);
  const std::int32_t score = evaluator.Evaluate();
  stats_.Add(evaluator.Counts());
  PublishBayesFigures();
  return score;
}

void Session::TrainMessage(std::string raw, RenderedTextSource* rendered, bool asSpam) {
  TryToOwnProfile(0);
  MessageContext message(std::move(raw), settings_.message, rendered);
  if (!bayes_) return;
  const std::string rawHeader = message.Parser().GetField("RAWHEADER");
  const LearnResult r =
      bayes_->Learn(rawHeader, message.Words(settings_.engine.tokenizer), asSpam, os::LocalNow());
  UsageCounts counts;
  if (r.reclassified) ++(asSpam ? counts.bayesReClassAsSpam : counts.bayesReClassAsHam);
  stats_.Add(counts);
  PublishBayesFigures();
}

}  // namespace quelta
