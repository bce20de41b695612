// The dialogs' test doubles: a DialogHost over real settings, statistics,
// language table and Bayes filter in a scratch folder, DialogServices that
// answer questions from a script and record every box and help call,.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/language.h"
#include "app/locations.h"
#include "app/settings.h"
#include "bayes/classifier.h"
#include "os/env.h"
#include "support/data_files.h"
#include "support/scratch_dir.h"
#include "support/string_log.h"
#include "ui/dialog_host.h"

namespace testing_support {

// Every data folder is the scratch folder; the host's working folder is
// its sub-folder "host". Language files go to "Language".
class TestHost : public quelta::DialogHost {
 public:
  explicit TestHost(const ScratchDir& dir) : dir_(dir.Folder()) {
    fs::create_directories(dir.Path() / "host");
    fs::create_directories(dir.Path() / "Language");
    quelta::Locations& f = folders;
    f.iniDir = f.bayesDb = f.logPath = f.autoWhiteList = f.whitelist = f.blacklist = f.rulesDat =
        f.scriptPath = f.easyPath = dir_;
    f.iniFile = dir_ + "Quelta.ini";
  }

  // A real Bayes filter over the scratch folder (loads what is there).
  quelta::BayesFilter& Filter() {
    if (!filter) filter = std::make_unique<quelta::BayesFilter>(dir_, bayesOptions, log);
    return *filter;
  }

  quelta::Settings& Config() override { return settings; }
  quelta::Statistics Stats() const override { return stats; }
  void ResetStats() override { stats = quelta::Statistics(); }
  quelta::LanguageTable& Language() override { return language; }
  const quelta::Locations& Folders() const override { return folders; }
  std::string PluginDir() const override { return dir_; }
  std::string HostDir() const override { return dir_ + "host" + quelta::os::kPathSep; }
  std::string ProductName() const override { return "Quelta"; }
  std::string FileVersion() const override { return "1.2.3.4"; }
  std::int32_t JunkScore() const override { return 50; }
  quelta::BayesMessageCounts BayesMessages() const override { return {}; }
  void MarkBayesUnchanged() override {
    ++markedUnchanged;
    if (filter) filter->MarkUnchanged();
  }
  bool SaveConfig() override { return !failWrites && quelta::SaveSettings(folders.iniFile, settings); }
  bool ReplaceDataFile(const std::string& path, const std::string& data) override {
    return !failWrites && quelta::os::WriteFileAtomic(path, data);
  }
  bool DeleteDataFile(const std::string& path) override {
    return !failWrites && quelta::os::DeleteFile(path);
  }
  int CheckForUpdate(quelta::DialogServices&) override { return 1; }
  void Log(const std::string& line) override { log.Write(line); }

  quelta::Settings settings;
  quelta::Statistics stats;
  quelta::LanguageTable language;
  quelta::Locations folders;
  quelta::BayesOptions bayesOptions;
  std::unique_ptr<quelta::BayesFilter> filter;
  bool failWrites = false;
  int markedUnchanged = 0;
  StringLog log;

 private:
  std::string dir_;
};

// Answers Ask from `answers` (No when it runs out) and records everything.
class RecordingServices : public quelta::DialogServices {
 public:
  struct Box { std::string title, text; quelta::os::MsgIcon icon; };

  bool Ask(const std::string& title, const std::string& text) override {
    asked.push_back(title + "|" + text);
    const bool a = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return a;
  }
  void Tell(const std::string& title, const std::string& text, quelta::os::MsgIcon icon) override {
    told.push_back({title, text, icon});
  }
  bool ChooseFile(const std::string& title, const std::string& filter, std::string& name) override {
    asked.push_back(title + "|" + filter);
    if (!chosenFile.empty()) name = chosenFile;
    return !chosenFile.empty();
  }
  bool OpenHelp(const std::string& target) override {
    helpTargets.push_back(target);
    return helpStarts;
  }

  std::deque<bool> answers;
  std::string chosenFile;
  bool helpStarts = true;
  std::vector<std::string> asked;
  std::vector<Box> told;
  std::vector<std::string> helpTargets;
};

// A test with a TestHost over a fresh scratch folder.
class HostTest : public ::testing::Test {
 protected:
  ScratchDir dir;
  TestHost host{dir};
};

}  // namespace testing_support
