// AutoWhiteList: the auto-white-list: addresses with the date
// each was last seen, read from "AutoWL.lst", pruned by age, merged by
// address and written back in normalised form.
//
// Promises: a load reads the whole file once and costs about linear time in
// its size (100,000 lines well under a second); the file is rewritten (only
// when its bytes change) by writing a temporary file beside it and replacing
// the old one, so a failed write leaves the old file as it was; lines
// another program appends while the file is rewritten end up in the new
// file and in the list; Contains answers exactly "some entry contains the
// needle, ignoring case" without scanning every entry.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace quelta {

class AutoWhiteList {
 public:
  // Rebuilds the list from the file: -1 when it does not exist, -2 on a read
  // or write failure, else the number of entries. `now` is the current
  // local date-time value; lines `awlDays` or more whole days away from it
  // are dropped. Without rewrite the file is only read (a process that
  // does not own the profile).
  int Load(const std::string& path, std::int32_t awlDays, double now, bool rewrite = true);

  void Clear();
  int Count() const { return static_cast<int>(entries_.size()); }
  // Entries as "address part|date part".
  const std::vector<std::string>& Entries() const { return entries_; }
  // True when some entry contains `needle`, ignoring case; an empty needle
  // is never contained.
  bool Contains(const std::string& needle) const;

 private:
  class Merger;
  static constexpr int kReadAgain = -100;  // LoadOnce: the file changed under the load
  static constexpr int kMaxLooksForLineEnd = 5;  // LoadOnce: reads of a file whose last line is unended
  int LoadOnce(const std::string& path, std::int32_t awlDays, double now, bool rewrite);
  void BuildIndex();
  std::vector<std::string> entries_;
  std::unordered_set<std::string> tokens_;  // folded angle tokens of all entries
};

}  // namespace quelta
