// Session: one loaded plug-in driven the way the mail client drives it
// (TBP_Initialize, per message the data-request callback with items 100005
// and 100008, TBP_Finalize), plus what the host reads back from the log:
// each message's report block and matched rules, and every "ERROR: " line
// the plug-in wrote, which goes to the error sink once per distinct text.
// One session per process; not thread-safe.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "PluginLoader.h"
#include "log_window.h"

namespace quelta_host {

struct ScoreResult {
  int score = 0;
  std::vector<std::string> block;  // the message's report block from the log
  std::vector<RuleMatch> matches;
};

class Session {
 public:
  using Sink = std::function<void(const std::string&)>;
  explicit Session(Sink errors) : errors_(std::move(errors)) {}
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Loads `pluginFile` and starts it; `logFile` is where it logs. False with
  // `error` when the file cannot be loaded. RulesLoaded() tells the result
  // of TBP_Initialize.
  bool Open(const std::string& pluginFile, const std::string& logFile, std::string& error);
  bool RulesLoaded() const { return rulesLoaded_; }

  // The junk threshold the plug-in read at start-up (its debug macro's
  // "TB! SpamValue"); 99 when it cannot be read.
  int Threshold();

  // One message as read from a file (any line ends: the plug-in gets CR LF).
  ScoreResult Score(const std::string& message);
  void Train(const std::string& message, bool spam);

  // Macro text; false for an unknown name.
  bool Macro(const std::string& name, std::string& text);
  std::string MacroList();
  std::string Name();
  std::string Version();
  std::string InfoPage();
  void Setup();

  // Shuts the plug-in down. False when it logged that saving failed
  // ("ERROR: Saving ...").
  bool Close();

 private:
  void Scan(const std::vector<std::string>& lines);

  Sink errors_;
  Plugin plugin_;
  LogWindow log_;
  bool open_ = false;
  bool rulesLoaded_ = false;
  std::map<std::string, int> seen_;  // ERROR lines and how often they came
};

// Mail-client storage uses CR LF: bare LF and lone CR become CR LF.
std::string ToCrLf(const std::string& in);

}  // namespace quelta_host
