#include "lists/auto_white_list.h"

#include <cmath>
#include <unordered_map>

#include "base/date_time.h"
#include "base/strings.h"
#include "os/env.h"
#include "lists/angle_index.h"
#include "message/urls.h"

namespace quelta {

namespace {

// The date part: year from its first four characters, month from the 5th
// and 6th, day from its last two. False when any piece is no number or the
// date does not exist.
bool DecodeDatePart(const std::string& part, double& out) {
  if (part.size() < 2) return false;
  std::int32_t y = 0, m = 0, d = 0;
  if (!TryStrToInt(part.substr(0, 4), y)) return false;
  if (!TryStrToInt(part.size() > 4 ? part.substr(4, 2) : std::string(), m)) return false;
  if (!TryStrToInt(part.substr(part.size() - 2), d)) return false;
  return TryEncodeDate(y, m, d, out);
}

std::string FormatYmd(double date) {
  int y = 0, m = 0, d = 0;
  DecodeDate(date, y, m, d);
  const int digits[8] = {y / 1000 % 10, y / 100 % 10, y / 10 % 10, y % 10,
                         m / 10 % 10,   m % 10,       d / 10 % 10, d % 10};
  std::string out(8, '0');
  for (int i = 0; i < 8; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>('0' + digits[i]);
  return out;
}

// Whole days between two date-time values, either order.
std::int64_t DaysBetween(double a, double b) {
  const double halfMs = 0.5 / 86400000.0;
  return static_cast<std::int64_t>(std::floor(std::fabs(a - b) + halfMs));
}

void ReplaceChar(std::string& s, char from, char to) {
  for (char& c : s)
    if (c == from) c = to;
}

}  // namespace

void AutoWhiteList::Clear() {
  entries_.clear();
  tokens_.clear();
}

void AutoWhiteList::BuildIndex() {
  tokens_.clear();
  tokens_.reserve(entries_.size());
  for (const std::string& e : entries_) AngleIndex::CollectTokens(FoldCase(e), tokens_);
}

bool AutoWhiteList::Contains(const std::string& needle) const {
  if (needle.empty()) return false;
  const std::string f = FoldCase(needle);
  std::string inner;
  if (AngleIndex::AngleInner(f, inner)) return tokens_.count(inner) != 0;
  for (const std::string& e : entries_)
    if (FoldCase(e).find(f) != std::string::npos) return true;
  return false;
}

int AutoWhiteList::Load(const std::string& path, std::int32_t awlDays, double now) {
  Clear();
  bool modified = false;
  if (!os::FileExists(path)) return -1;
  std::string data;
  if (!os::ReadFile(path, data)) return -2;

  const double today = std::floor(now);
  const std::vector<std::string> lines = SplitLines(data);
  std::unordered_map<std::string, std::size_t> byAddress;  // folded address part -> entry
  byAddress.reserve(lines.size());
  entries_.reserve(lines.size());
  for (const std::string& line : lines) {
    std::string s = AsciiLower(Trim(line));
    if (s.empty()) continue;
    std::string address, datePart;
    if (s.front() == '"' && s.back() == '"') {
      s = s.size() >= 2 ? s.substr(1, s.size() - 2) : std::string();
      const std::size_t p = s.rfind('|');
      if (p != std::string::npos) {
        address = AddressLines(s.substr(0, p));
        address = ReplaceEach(address, "<>", "");
        address = ReplaceEach(address, "\r\n", "");
        ReplaceChar(address, '|', ' ');
        datePart = s.substr(p + 1);
        modified = true;
      }
    } else {
      const std::size_t p = s.rfind('|');
      if (p != std::string::npos) {
        address = s.substr(0, p);
        ReplaceChar(address, '|', ' ');
        datePart = s.substr(p + 1);
      }
    }

    double seen = 0;
    if (!DecodeDatePart(datePart, seen)) seen = today;
    if (DaysBetween(now, seen) >= awlDays) {
      modified = true;
      continue;
    }
    const std::string key = FoldCase(address);
    const auto it = byAddress.find(key);
    if (it != byAddress.end()) {
      std::string& entry = entries_[it->second];
      entry = entry.substr(0, entry.find('|')) + "|" + datePart;
    } else {
      byAddress.emplace(key, entries_.size());
      entries_.push_back(address + "|" + FormatYmd(seen));
    }
  }
  BuildIndex();

  if (!entries_.empty() || modified) {
    std::string out;
    out.reserve(data.size());
    for (const std::string& e : entries_) {
      out += e;
      out += "\r\n";
    }
    // A file that already reads exactly so is left alone: same bytes, and
    // no window in which lines appended by the other writer could be lost.
    // A file that could not be written is a failure either way.
    if (out == data) {
      if (!os::CanWriteFile(path)) return -2;
    } else if (!os::WriteFileAtomic(path, out)) {
      return -2;
    }
  }
  return Count();
}

}  // namespace quelta
