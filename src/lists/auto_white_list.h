// AutoWhiteList: the auto-white-list: addresses with the date
// each was last seen, read from "AutoWL.lst", pruned by age, merged by
// address and written back in normalised form.
//
// Promises: a load reads the whole file once and costs about linear time in
// its size (100,000 lines well under a second); the file is rewritten (only
// when its bytes change) by writing a temporary file beside it and replacing
// the old one, so a failed write leaves the old file as it was; Contains answers exactly "some entry
// contains the needle, ignoring case" without scanning every entry.
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
  // are dropped.
  int Load(const std::string& path, std::int32_t awlDays, double now);

  void Clear();
  int Count() const { return static_cast<int>(entries_.size()); }
  // Entries as "address part|date part".
  const std::vector<std::string>& Entries() const { return entries_; }
  // True when some entry contains `needle`, ignoring case; an empty needle
  // is never contained.
  bool Contains(const std::string& needle) const;

 private:
  void BuildIndex();
  std::vector<std::string> entries_;
  std::unordered_set<std::string> tokens_;  // folded angle tokens of all entries
};

}  // namespace quelta
