#include "plugin/fUpdate.h"

#include "common/DateTime.h"
#include "net/update_check.h"
#include "platform/Env.h"
#include "plugin/fIni.h"
#include "plugin/fLang.h"
#include "plugin/fLog.h"
#include "plugin/fPlugin.h"

namespace quelta {

namespace {

// The plug-in's side of the check: its log, settings file and language table.
class PluginUpdateHost : public UpdateCheckHost {
 public:
  void Log(const std::string& line) override { WriteLog(line); }
  double Now() override { return env::LocalNow(); }
  bool SaveLastUpdate(double when) override {
    TPlugin& p = Plugin();
    p.Settings.Update.LastUpdate = when;
    return WriteIniCounter(p.Config.IniFile, "Update", "LastUpdate",
                           static_cast<std::uint32_t>(DateTimeToUnix(when)));
  }
  std::string LangText(const std::string& key, const std::string& builtin,
                       const std::string& params) override {
    return GetLangText(key, builtin, params);
  }
  void ShowMessage(const std::string& title, const std::string& text, bool error) override {
    env::ShowMessage(title, text, error ? env::MsgIcon::Error : env::MsgIcon::Information);
  }
  std::string FormatDateTime(double when) override { return env::FormatDateTime(when); }
};

}  // namespace

int CheckForUpdate(bool manual) {
  try {
    const TPlugin& p = Plugin();
    UpdateCheckOptions o;
    o.manual = manual;
    o.server = p.Settings.Update.Server;
    o.lastUpdate = p.Settings.Update.LastUpdate;
    o.intervalDays = p.Settings.Update.Interval;
    o.showMessage = p.Settings.Update.ShowMessage;
    o.productName = p.ProductName;
    o.fileVersion = p.FileVersion;
    // The host program's path is not offered by the platform layer yet.
    o.agent = p.ProductName + "/" + p.FileVersion;
    PluginUpdateHost host;
    return quelta::CheckForUpdate(o, host);
  } catch (...) {
    return kUpdateNotChecked;
  }
}

}  // namespace quelta
