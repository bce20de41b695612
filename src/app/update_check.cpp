#include "app/update_check.h"

#include "app/session.h"
#include "base/date_time.h"
#include "base/ini.h"
#include "net/update_check.h"
#include "os/env.h"

namespace quelta {

namespace {

// The session's side of one check: its log, settings file and language table.
class SessionUpdateHost final : public UpdateCheckHost {
 public:
  SessionUpdateHost(Session& session, const UpdateMessageFn& show)
      : session_(session), show_(show) {}
  void Log(const std::string& line) override { session_.LogFile().Write(line); }
  double Now() override { return os::LocalNow(); }
  bool SaveLastUpdate(double when) override {
    session_.Config().update.lastUpdate = when;
    // Only the process that owns the profile writes its files.
    if (!session_.SavesChanges()) return false;
    return WriteIniCounter(session_.Folders().iniFile, "Update", "LastUpdate",
                           static_cast<std::uint32_t>(DateTimeToUnix(when)));
  }
  std::string LangText(const std::string& key, const std::string& builtin,
                       const std::string& params) override {
    return session_.Language().Text(key, builtin, params);
  }
  void ShowMessage(const std::string& title, const std::string& text, bool error) override {
    if (show_)
      show_(title, text, error);
    else
      os::ShowMessage(title, text, error ? os::MsgIcon::Error : os::MsgIcon::Information);
  }
  std::string FormatDateTime(double when) override { return os::FormatDateTime(when); }

 private:
  Session& session_;
  const UpdateMessageFn& show_;
};

}  // namespace

int CheckForUpdate(Session& session, bool manual, const UpdateMessageFn& show) {
  try {
    const UpdateSettings& u = session.Config().update;
    UpdateCheckOptions o;
    o.manual = manual;
    o.server = u.server;
    o.lastUpdate = u.lastUpdate;
    o.intervalDays = u.interval;
    o.showMessage = u.showMessage;
    o.productName = session.ProductName();
    o.fileVersion = session.FileVersion();
    o.agent = session.ProductName() + "/" + session.FileVersion();
    SessionUpdateHost host(session, show);
    const int result = quelta::CheckForUpdate(o, host);
    if (manual) ShowManualCheckOutcome(result, o, host);
    return result;
  } catch (...) {
    return kUpdateNotChecked;
  }
}

}  // namespace quelta
