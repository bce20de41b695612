#include "net/update_check.h"

#include <cmath>

#include "base/date_time.h"
#include "base/ipv4.h"
#include "base/strings.h"
#include "net/lookup.h"
#include "os/network.h"

namespace quelta {

namespace {

const char kMsgUpdateText[] =
    "Eine neue Version ist verf\xFCgbar (%s1%).%r%%n%%r%%n%Sie verwenden derzeit Version %s2%.";
const char kMsgCurrentText[] =
    "Es ist keine neue Version verf\xFCgbar.%r%%n%%r%%n%Sie verwenden bereits die neueste Version (%s1%).";
const char kMsgErrorText[] = "W\xE4hrend der Pr\xFC" "fung ist ein Fehler aufgetreten!";

constexpr int kEchoDataSize = 32;

}  // namespace

std::string UpdateBaseAddress(const std::string& server) {
  std::string base = Trim(server);
  if (base.empty()) base = kDefaultUpdateServer;
  if (base.back() != '/') base += '/';
  return base;
}

std::string UpdateHostName(const std::string& baseAddress) {
  std::string host = AsciiLower(baseAddress);
  const std::size_t scheme = host.find("://");
  if (scheme != std::string::npos) host.erase(0, scheme + 3);
  host = host.substr(0, host.find('/'));
  // A port is no part of the host an echo request can go to.
  return host.substr(0, host.find(':'));
}

bool IsNewerVersion(const std::string& running, const std::string& newest) {
  if (CountOf(running, ".") != 3 || CountOf(newest, ".") != 3) return true;
  for (int i = 1; i <= 4; ++i) {
    const std::int64_t x = StrToInt64Def(Trim(GetToken(running, ".", i)), 0);
    const std::int64_t y = StrToInt64Def(Trim(GetToken(newest, ".", i)), 0);
    if (x != y) return y > x;
  }
  return false;
}

double ReleaseDateTime(const std::string& field, double fallback) {
  // 1-based positions: year 1-4, month 6-7, day 9-10, hour 12-13, minute 15-16.
  const auto num = [&](int pos1, int count) { return StrToIntDef(MidStr(field, pos1 - 1, count), -1); };
  double dt;
  if (field.size() >= 16 &&
      TryEncodeDateTime(num(1, 4), num(6, 2), num(9, 2), num(12, 2), num(15, 2), 0, 0, dt))
    return dt;
  return fallback;
}

bool FirstVersionLine(const std::string& body, std::string& line) {
  const std::size_t nl = body.find('\n');
  if (nl != std::string::npos) {
    line = body.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }
  line = Trim(body);
  return !line.empty();
}

int CheckForUpdate(const UpdateCheckOptions& options, UpdateCheckHost& host) {
  const double now = host.Now();
  if (!options.manual && std::trunc(std::fabs(now - options.lastUpdate)) < options.intervalDays)
    return kUpdateNotChecked;

  const std::string base = UpdateBaseAddress(options.server);
  std::string echoHost = UpdateHostName(base);
  EchoResult echo;
  if (EchoRequest(echoHost, kEchoDataSize, options.echoTimeoutMs, echo) != os::kEchoSuccess) {
    host.Log("ERROR: Connection to version information server timed out.");
    return kUpdateNotChecked;
  }
  if (echo.error != 0) {
    host.Log("ERROR: Connection to version information server refused.");
    return kUpdateNotChecked;
  }

  std::string body, line;
  if (os::HttpGet(base + kVersionFileName, options.agent, kMaxVersionFileBytes, options.downloadTimeoutMs,
                  body) != os::HttpStatus::kOk ||
      !FirstVersionLine(body, line)) {
    host.Log("ERROR: Download of version information file failed!");
    return kUpdateNotChecked;
  }

  if (!host.SaveLastUpdate(host.Now())) host.Log("ERROR: Saving of version information failed!");

  if (line.find('|') == std::string::npos) {
    host.Log("ERROR: Version information file has wrong format!");
    return kUpdateNotChecked;
  }
  const std::string newest = GetToken(line, "|", 1);
  if (!IsNewerVersion(options.fileVersion, newest)) {
    host.Log("Quelta: Current version is up to date.");
    return kUpdateCurrent;
  }
  const double released = ReleaseDateTime(GetToken(line, "|", 2), host.Now());
  host.Log("Quelta: A new version is available (V=" + newest + "/D=" + host.FormatDateTime(released) + ")");
  if (options.showMessage)
    host.ShowMessage(options.productName,
                     host.LangText("Plugin|MsgUpdateText", kMsgUpdateText, newest + '\x01' + options.fileVersion),
                     false);
  return kUpdateNewer;
}

bool ShowManualCheckOutcome(int result, const UpdateCheckOptions& options, UpdateCheckHost& host) {
  if (result == kUpdateCurrent) {
    host.ShowMessage(options.productName,
                     host.LangText("Plugin|MsgCurrentText", kMsgCurrentText, options.fileVersion), false);
    return true;
  }
  if (result == kUpdateNotChecked) {
    host.ShowMessage(options.productName, host.LangText("Plugin|MsgErrorText", kMsgErrorText, ""), true);
    return true;
  }
  return false;
}

}  // namespace quelta
