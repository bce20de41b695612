#include "rules/cAutoWL.h"

#include <cmath>
#include <fstream>
#include <unordered_map>

#include "common/DateTime.h"
#include "common/fMain.h"
#include "platform/Env.h"
#include "plugin/fPlugin.h"
#include "rules/cListText.h"
#include "rules/cLists.h"

namespace quelta {

namespace {

using listtext::Fold;

// A decimal integer with an optional sign and nothing else.
bool ToInt(const std::string& s, int& out) {
  std::size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (i == s.size()) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > 1000000000LL) return false;
  }
  out = static_cast<int>(neg ? -v : v);
  return true;
}

// The date part: year from its first four characters, month from the 5th
// and 6th, day from its last two. False when any piece is no number or the
// date does not exist.
bool DecodeDatePart(const std::string& part, double& out) {
  if (part.size() < 2) return false;
  int y = 0, m = 0, d = 0;
  if (!ToInt(part.substr(0, 4), y)) return false;
  if (!ToInt(part.size() > 4 ? part.substr(4, 2) : std::string(), m)) return false;
  if (!ToInt(part.substr(part.size() - 2), d)) return false;
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

void TAutoWhiteList::Clear() {
  entries_.clear();
  tokens_.clear();
}

void TAutoWhiteList::BuildIndex() {
  tokens_.clear();
  tokens_.reserve(entries_.size());
  for (const std::string& e : entries_) listtext::TAngleIndex::CollectTokens(Fold(e), tokens_);
}

bool TAutoWhiteList::Contains(const std::string& needle) const {
  if (needle.empty()) return false;
  const std::string f = Fold(needle);
  std::string inner;
  if (listtext::TAngleIndex::AngleInner(f, inner)) return tokens_.count(inner) != 0;
  for (const std::string& e : entries_)
    if (Fold(e).find(f) != std::string::npos) return true;
  return false;
}

int TAutoWhiteList::Load(const std::string& path, std::int32_t awlDays, double now) {
  Clear();
  bool modified = false;
  if (!env::FileExists(path)) return -1;
  std::string data;
  if (!env::ReadFile(path, data)) return -2;

  const double today = std::floor(now);
  const std::vector<std::string> lines = listtext::SplitLines(data);
  std::unordered_map<std::string, std::size_t> byAddress;  // folded address part -> entry
  byAddress.reserve(lines.size());
  entries_.reserve(lines.size());
  for (const std::string& line : lines) {
    std::string s = listtext::AsciiLower(listtext::Trim(line));
    if (s.empty()) continue;
    std::string address, datePart;
    if (s.front() == '"' && s.back() == '"') {
      s = s.size() >= 2 ? s.substr(1, s.size() - 2) : std::string();
      const std::size_t p = s.rfind('|');
      if (p != std::string::npos) {
        address = AddressLines(s.substr(0, p));
        address = listtext::RemoveAll(address, "<>");
        address = listtext::RemoveAll(address, "\r\n");
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
    const std::string key = Fold(address);
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
      std::fstream probe(path, std::ios::in | std::ios::out | std::ios::binary);
      if (!probe.is_open()) return -2;
    } else if (!env::WriteFileAtomic(path, out)) {
      return -2;
    }
  }
  return Count();
}

int LoadAutoWhiteList(const std::string& path) {
  try {
    std::unique_ptr<TAutoWhiteList>& list = Objects().AutoWL;
    if (!list) list = std::make_unique<TAutoWhiteList>();
    TPlugin& p = Plugin();
    const int n = list->Load(path, p.Settings.AWLDays, env::LocalNow());
    if (n >= 0) p.Settings.AutoWLSize = env::FileSize(path);
    return n;
  } catch (...) {
    return -2;
  }
}

}  // namespace quelta
