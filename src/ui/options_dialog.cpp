#include "ui/options_dialog.h"

#include "app/session.h"
#include "app/update_check.h"
#include "bayes/classifier.h"
#include "ui/view.h"

namespace quelta {

namespace {

// The running plug-in as the dialogs see it.
class SessionHost final : public DialogHost {
 public:
  explicit SessionHost(Session& session) : s_(session) {}

  Settings& Config() override { return s_.Config(); }
  Statistics Stats() const override { return s_.Stats(); }
  void ResetStats() override { s_.ResetStatistics(); }
  LanguageTable& Language() override { return s_.Language(); }
  const Locations& Folders() const override { return s_.Folders(); }
  std::string PluginDir() const override { return s_.PluginDir(); }
  std::string HostDir() const override { return s_.HostDir(); }
  std::string ProductName() const override { return s_.ProductName(); }
  std::string FileVersion() const override { return s_.FileVersion(); }
  std::int32_t JunkScore() const override { return s_.JunkScore(); }
  // The figures the session publishes: the dialog runs on its own thread
  // while messages are scored and trained.
  BayesMessageCounts BayesMessages() const override {
    const BayesFigures f = s_.BayesNumbers();
    BayesMessageCounts c;
    c.spam = f.spamMessages;
    c.ham = f.hamMessages;
    return c;
  }
  void MarkBayesUnchanged() override {
    if (BayesFilter* b = s_.Bayes()) b->MarkUnchanged();
  }
  bool SaveConfig() override { return s_.SaveConfig(); }
  // Every write under the profile lock.
  bool ReplaceDataFile(const std::string& path, const std::string& data) override {
    return s_.UnderProfileLock([&] { return os::WriteFileAtomic(path, data); });
  }
  bool DeleteDataFile(const std::string& path) override {
    return s_.UnderProfileLock([&] { return os::DeleteFile(path); });
  }
  int CheckForUpdate(DialogServices& services) override {
    return quelta::CheckForUpdate(s_, true, [&](const std::string& title, const std::string& text,
                                                 bool error) {
      services.Tell(title, text, error ? os::MsgIcon::Error : os::MsgIcon::Information);
    });
  }
  void Log(const std::string& line) override { s_.LogFile().Write(line); }

 private:
  Session& s_;
};

}  // namespace

void ShowOptionsDialog(Session& session) {
  SessionHost host(session);
  const std::unique_ptr<DialogServices> services = MakePlatformServices();
  RunOptionsDialog(host, *services);
}

}  // namespace quelta
