// update_check: asks the maker's web server whether a newer version of the
// plug-in exists. It sends one ICMP echo to the server's host, downloads the
// small version-information file "quelta.uvi" (at most
// kMaxVersionFileBytes; a larger file is a failed download) and compares
// its first line's version with the running one. It never downloads or
// installs anything else.
//
// The application supplies its settings as UpdateCheckOptions and its side
// effects (log, clock, saving LastUpdate, language texts, message boxes)
// through UpdateCheckHost; nothing here reads a global record.
//
// Promises: nothing throws. A check blocks its thread for at most the echo
// time-out, the host-name look-up and the download time-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quelta {

// The built-in base address when the Server setting is empty.
constexpr const char* kDefaultUpdateServer = "https://quelta.invalid/update/";
constexpr const char* kVersionFileName = "quelta.uvi";
constexpr std::size_t kMaxVersionFileBytes = 64 * 1024;

// Results of CheckForUpdate.
constexpr int kUpdateNotChecked = 0;  // no check made, or the check failed
constexpr int kUpdateCurrent = 1;
constexpr int kUpdateNewer = 2;

struct UpdateCheckOptions {
  bool manual = false;         // the options dialog's button: no interval test
  std::string server;          // the Update/Server setting, raw
  double lastUpdate = 0;       // date-time value of the last check
  std::int32_t intervalDays = 3;
  bool showMessage = true;     // show a box when a newer version exists
  std::string productName;     // title of the message boxes
  std::string fileVersion;     // the running version, "a.b.c.d"
  std::string agent;           // HTTP User-Agent: the host program's path
  int echoTimeoutMs = 2000;
  int downloadTimeoutMs = 30000;
};

// The application's side of one check. Called on the checking thread.
class UpdateCheckHost {
 public:
  virtual ~UpdateCheckHost() = default;
  virtual void Log(const std::string& line) = 0;
  // The local date-time value now.
  virtual double Now() = 0;
  // Stores LastUpdate = `when` in the settings file at once; false on failure.
  virtual bool SaveLastUpdate(double when) = 0;
  // The language table's text for `key`, else `builtin`, with the
  // parameters separated by the byte 0x01.
  virtual std::string LangText(const std::string& key, const std::string& builtin,
                               const std::string& params) = 0;
  // A message box without owner; `error` picks the error icon instead of
  // the information icon.
  virtual void ShowMessage(const std::string& title, const std::string& text, bool error) = 0;
  // The system's short date and long time format of a date-time value.
  virtual std::string FormatDateTime(double when) = 0;
};

// One check; returns kUpdateNotChecked, kUpdateCurrent or kUpdateNewer.
// In automatic mode nothing happens while fewer than intervalDays whole
// days have passed since lastUpdate. A failure logs one "ERROR: " line;
// a newer version logs its line and, with showMessage, shows the box.
int CheckForUpdate(const UpdateCheckOptions& options, UpdateCheckHost& host);

// The base address: the Server setting trimmed (kDefaultUpdateServer when
// empty) with "/" appended unless present.
std::string UpdateBaseAddress(const std::string& server);

// The host the echo request goes to: the base address in lower case
// without its scheme ("...://"), path and port.
std::string UpdateHostName(const std::string& baseAddress);

// True when `newest` is newer than `running`: at the first differing part
// (numbers compared as integers, a part that is not a number counts as 0)
// it is greater, or either version does not have exactly four parts.
bool IsNewerVersion(const std::string& running, const std::string& newest);

// The release date-time of the version line's second field, read at the
// character positions year 1-4, month 6-7, day 9-10, hour 12-13 and minute
// 15-16 (1-based); `fallback` when these do not form a valid date and time.
double ReleaseDateTime(const std::string& field, double fallback);

// The first line of a downloaded version file: lines end at LF, a CR is
// dropped, a last line without LF is trimmed and counts only when not
// empty. False when the file holds no line.
bool FirstVersionLine(const std::string& body, std::string& line);

// The box the options dialog shows after a manual check: for kUpdateCurrent
// the information text "Plugin|MsgCurrentText", for kUpdateNotChecked the
// error text "Plugin|MsgErrorText"; nothing for kUpdateNewer (its box came
// from the check itself). Returns false when no box is due.
bool ShowManualCheckOutcome(int result, const UpdateCheckOptions& options, UpdateCheckHost& host);

}  // namespace quelta
