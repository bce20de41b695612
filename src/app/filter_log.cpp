#include "app/filter_log.h"

#include <cmath>
#include <cstdio>

#include "base/date_time.h"
#include "os/env.h"

namespace quelta {

namespace {
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

void FilterLog::Write(const std::string& text) {
  std::string block = text;
  for (auto& c : block)
    if (c == '\0') c = ' ';
  block += "\r\n";
  // A lost line is not reported; a handle that failed is not used again.
  std::lock_guard<std::mutex> lock(mutex_);
  if (holds_ == 0) {
    os::AppendFile(FileName(), block);
    return;
  }
  if (!held_) held_ = os::OpenAppendableFile(FileName());
  if (held_ && !held_->Append(block)) held_.reset();
}

FilterLog::Held::Held(FilterLog& log) : log_(log) {
  std::lock_guard<std::mutex> lock(log_.mutex_);
  ++log_.holds_;
}

FilterLog::Held::~Held() {
  std::lock_guard<std::mutex> lock(log_.mutex_);
  if (--log_.holds_ == 0) log_.held_.reset();
}

void FilterLog::Rotate(const LogOptions& options, double now) {
  const std::string file = FileName();
  if (os::FileSize(file) <= static_cast<std::int64_t>(options.maxLogSize)) return;
  int y, m, d, h, n, s, ms;
  DecodeDate(now, y, m, d);
  DecodeTime(now, h, n, s, ms);
  std::string rotated = folder_ + "Filter_" + Two(y) + Two(m) + Two(d) + "_" +
                        Two(h) + Two(n) + ".log";
  os::RenameFile(file, rotated);  // a failure is retried at the next start
}

bool FilterLog::DeleteOld(const LogOptions& options, double now) {
  const std::string& folder = folder_;
  int failed = 0;
  for (const auto& name : os::FindFiles(folder, "Filter_*.log")) {
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
    if (months > static_cast<double>(options.oldLogAge)) {
      if (!os::DeleteFile(folder + name)) ++failed;
    }
  }
  return failed == 0;
}

}  // namespace quelta
