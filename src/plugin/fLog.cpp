#include "plugin/fLog.h"

#include <cmath>
#include <cstdio>

#include "common/DateTime.h"
#include "platform/Env.h"
#include "plugin/fPlugin.h"

namespace quelta {

namespace {
std::string LogFile() { return Plugin().Config.LogPath + "Filter.log"; }

// Two-digit decimal of 0..99.
std::string Two(int v) {
  char b[4];
  std::snprintf(b, sizeof b, "%02d", v % 100);
  return b;
}

// A whole number from exactly two digits.
bool TwoDigits(const std::string& s, std::size_t pos, int& out) {
  if (pos + 2 > s.size()) return false;
  char a = s[pos], b = s[pos + 1];
  if (a < '0' || a > '9' || b < '0' || b > '9') return false;
  out = (a - '0') * 10 + (b - '0');
  return true;
}
}  // namespace

void WriteLog(const std::string& text) {
  std::string block = text;
  for (auto& c : block)
    if (c == '\0') c = ' ';
  block += "\r\n";
  env::AppendFile(LogFile(), block);  // a lost line is not reported
}

void RotateLog() {
  const std::string file = LogFile();
  if (env::FileSize(file) <= static_cast<std::int64_t>(Plugin().Settings.MaxLogSize)) return;
  int y, m, d, h, n, s, ms;
  double now = env::LocalNow();
  DecodeDate(now, y, m, d);
  DecodeTime(now, h, n, s, ms);
  std::string rotated = Plugin().Config.LogPath + "Filter_" + Two(y) + Two(m) + Two(d) + "_" +
                        Two(h) + Two(n) + ".log";
  env::RenameFile(file, rotated);  // a failure is retried at the next start
}

bool DeleteOldLogs() {
  const std::string folder = Plugin().Config.LogPath;
  int failed = 0;
  double now = env::LocalNow();
  for (const auto& name : env::FindFiles(folder, "Filter_*.log")) {
    // "Filter_yymmdd_hhnn.log": exactly 22 characters.
    if (name.size() != 22) continue;
    int yy, mo, dd, hh, mi;
    // 0-based offsets of the stamp's parts.
    if (!TwoDigits(name, 7, yy) || !TwoDigits(name, 9, mo) || !TwoDigits(name, 11, dd) ||
        !TwoDigits(name, 14, hh) || !TwoDigits(name, 16, mi))
      return false;
    double stamp = 0;
    if (!TryEncodeDateTime(2000 + yy, mo, dd, hh, mi, 0, 0, stamp)) return false;
    double months = std::fabs(now - stamp) / 30.4375;
    if (months > static_cast<double>(Plugin().Settings.OldLogAge)) {
      if (!env::DeleteFile(folder + name)) ++failed;
    }
  }
  return failed == 0;
}

}  // namespace quelta
