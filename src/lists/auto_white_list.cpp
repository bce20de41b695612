#include "lists/auto_white_list.h"

#include <cmath>
#include <memory>
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

// Builds the entries line by line: normalises each line, drops expired
// ones and merges lines of one address (the later date part wins).
class AutoWhiteList::Merger {
 public:
  Merger(std::vector<std::string>& entries, std::int32_t awlDays, double now)
      : entries_(entries), awlDays_(awlDays), now_(now), today_(std::floor(now)) {}

  bool Modified() const { return modified_; }

  // Takes every line of text; with wholeLinesOnly, a last line without its
  // line end is left out. Returns the number of bytes taken.
  std::size_t Take(const std::string& text, bool wholeLinesOnly) {
    std::size_t end = text.size();
    if (wholeLinesOnly) {
      end = text.find_last_of("\r\n");
      end = end == std::string::npos ? 0 : end + 1;
    }
    for (const std::string& line : SplitLines(text.substr(0, end))) Add(line);
    return end;
  }

 private:
  void Add(const std::string& line) {
    std::string s = AsciiLower(Trim(line));
    if (s.empty()) return;
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
        modified_ = true;
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
    if (!DecodeDatePart(datePart, seen)) seen = today_;
    if (DaysBetween(now_, seen) >= awlDays_) {
      modified_ = true;
      return;
    }
    const std::string key = FoldCase(address);
    const auto it = byAddress_.find(key);
    if (it != byAddress_.end()) {
      std::string& entry = entries_[it->second];
      entry = entry.substr(0, entry.find('|')) + "|" + datePart;
    } else {
      byAddress_.emplace(key, entries_.size());
      entries_.push_back(address + "|" + FormatYmd(seen));
    }
  }

  std::vector<std::string>& entries_;
  const std::int32_t awlDays_;
  const double now_, today_;
  bool modified_ = false;
  std::unordered_map<std::string, std::size_t> byAddress_;  // folded address part -> entry
};

int AutoWhiteList::Load(const std::string& path, std::int32_t awlDays, double now, bool rewrite) {
  // A file rewritten by someone else while it was being read is read again.
  for (int pass = 0;; ++pass) {
    const int r = LoadOnce(path, awlDays, now, rewrite);
    if (r != kReadAgain) return r;
    if (pass == 2) return -2;
  }
}

int AutoWhiteList::LoadOnce(const std::string& path, std::int32_t awlDays, double now,
                            bool rewrite) {
  Clear();
  if (!os::FileExists(path)) return -1;
  std::string data;
  // A write can be seen half done: a last line without its line end may be
  // one still being written, and is read again after a moment. A line that
  // stays so (a file edited by hand) is taken as it is.
  for (int look = 0; look < kMaxLooksForLineEnd; ++look) {
    if (look > 0) os::SleepMs(1);
    std::unique_ptr<os::RandomAccessFile> file = os::OpenRandomAccessFile(path);
    const std::int64_t size = file ? file->Size() : -1;
    if (size < 0) return -2;
    const bool same = look > 0 && static_cast<std::size_t>(size) == data.size();
    data.resize(static_cast<std::size_t>(size));
    if (size > 0 && !file->ReadAt(0, &data[0], data.size())) return -2;
    if (!rewrite || data.empty() || data.back() == '\n' || same) break;
  }
  Merger merger(entries_, awlDays, now);
  merger.Take(data, false);
  if (!rewrite || (entries_.empty() && !merger.Modified())) {
    BuildIndex();
    return Count();
  }

  // The other writer may append while the file is rewritten: lines that
  // arrive before the replace are taken into the new file, lines that
  // reach the old file after it are carried over (os::ReplaceGrowingFile).
  std::int64_t taken = static_cast<std::int64_t>(data.size());
  std::string appended;
  // The first attempts take appended lines into the new file in their
  // normal form; the last one carries them over as they are written (they
  // are normalised at the next load).
  constexpr int kNormalisingAttempts = 3, kAttempts = 20;
  for (int attempt = 0;; ++attempt) {
    std::string out;
    out.reserve(data.size() + appended.size());
    for (const std::string& e : entries_) {
      out += e;
      out += "\r\n";
    }
    // A file that already reads exactly so is left alone: same bytes, and
    // no window in which appended lines could be lost. A file that could
    // not be written is a failure either way.
    if (attempt == 0 && out == data) {
      if (!os::CanWriteFile(path)) return -2;
      break;
    }
    std::string temp;
    if (!os::WriteTemporaryFile(path, out, temp)) return -2;
    const os::GrowingReplace r =
        os::ReplaceGrowingFile(temp, path, taken, attempt >= kNormalisingAttempts, appended);
    if (r == os::GrowingReplace::kReplaced) {
      merger.Take(appended, false);  // carried over as they were written
      break;
    }
    os::DeleteFile(temp);
    if (r == os::GrowingReplace::kChanged) return kReadAgain;
    if (attempt == kAttempts - 1) return -2;
    if (r == os::GrowingReplace::kGrew) {
      // A line still being written is taken when it is complete.
      taken += static_cast<std::int64_t>(merger.Take(appended, true));
    } else {
      os::SleepMs(50);  // the file is held open by another program
    }
  }
  BuildIndex();
  return Count();
}

}  // namespace quelta
