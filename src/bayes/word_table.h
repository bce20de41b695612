// WordTable: the word table of one message: distinct words
// with their hash, count and, after classification, probability and
// distance. Insertion order is kept until SortByDistance.
//
// Promises: at most one entry per Hash; Add finds an existing hash in O(1)
// through an index kept in step with the list. SortByDistance orders exactly as repeated passes of adjacent swaps of a
// smaller Distance before a larger one would (equal distances keep their
// order); re-ordering and pruning only mark the index stale, and it is
// rebuilt once, at the next look-up or Add.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bayes/position_index.h"

namespace quelta {

struct WordEntry {
  std::string word;
  std::uint32_t hash = 0;
  std::int32_t count = 0;
  double distance = 0;
  double probability = 0;
};

class WordTable {
 public:
  // hash 0 is replaced by Crc32(word). An existing hash grows its Count by
  // exactly 1; a new one is appended with count 0 taken as 1.
  void Add(const std::string& word, std::uint32_t hash = 0, std::int32_t count = 1,
           double distance = 0, double probability = 0);
  int Count() const { return static_cast<int>(items_.size()); }
  const WordEntry& At(int i) const { return items_[static_cast<std::size_t>(i)]; }
  // Keeps the first n entries (none when n is negative).
  void Truncate(int n);
  // Sets the classification result of entry i.
  void SetScore(int i, double probability, double distance);
  // Removes, in one pass, every entry whose Distance lies within 0.0000001
  // of zero (below it when positive, above its negative when not).
  void RemoveInsignificant();
  // Stable sort by Distance, largest first (equal distances keep order).
  void SortByDistance();
  // The same as SortByDistance followed by Truncate(n), in less time where
  // n is small.
  void KeepLargestDistances(int n);
  const std::vector<WordEntry>& Items() const { return items_; }

 private:
  void MarkIndexStale() { stale_ = true; }
  void FreshIndex() const;
  std::vector<WordEntry> items_;
  mutable PositionIndex index_;  // hash -> its entry
  mutable bool stale_ = false;
};

}  // namespace quelta
