// cBayesData: the Bayes word database (`TBayesDataBase`, file "Bayes.wdb"):
// per word hash, how often the word was seen in spam and in ham. Record 0
// is the header record {0x804F, spam messages, ham messages}; the word
// records follow in the order in which their words were first trained.
//
// Promises:
// - The file is the plain sequence of 12-byte little-endian records
//   (Hash, SpamCount, HamCount), header first, nothing else; the same bytes
//   on every target.
// - IndexOfHash answers exactly what a front-to-back scan from record 0
//   answers (the first position, 0 for the header record's hash), in O(1)
//   through an index kept in step with every change of the list.
// - LoadFromFile reads whole records only (a trailing piece is ignored) and
//   never leaves the list without a record: a file without a whole record
//   gives a fresh header record.
// - SaveToFile writes a copy in which a record with a count above
//   2,000,000,000 has both counts divided by ten; memory keeps its values.
//   The old file is replaced only when the new one was written completely.
// - Nothing here throws except std::out_of_range from GetRecord / PutRecord
//   with a bad position (and std::bad_alloc).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quelta {

// Hash -> first and last position of that hash in a list of records.
// Open addressing with linear probing; no per-entry allocation.
class TPositionIndex {
 public:
  void Clear();
  // Prepares room for n distinct hashes without further growth.
  void Reserve(std::size_t n);
  // Notes `hash` at position `pos`, which is above every position noted so far.
  void Append(std::uint32_t hash, std::int32_t pos);
  // Appends positions from..to-1 in order, hashAt(k) giving the hash at k;
  // fetches slots ahead so that large loads are not bound by memory latency.
  template <class HashAt>
  void AppendRange(std::int32_t from, std::int32_t to, HashAt hashAt);
  // The first / last noted position of `hash`, or -1.
  std::int32_t First(std::uint32_t hash) const;
  std::int32_t Last(std::uint32_t hash) const;
  // Overwrites both positions of `hash` (adding it when missing).
  void Assign(std::uint32_t hash, std::int32_t first, std::int32_t last);
  // Forgets `hash`.
  void Erase(std::uint32_t hash);
  // Position `pos` changed its hash from oldHash to newHash; hashAt(k) gives
  // the hash now stored at position k. Costs O(1) unless pos was an end of
  // oldHash's range, then a scan to its next occurrence.
  template <class HashAt>
  void Rewrite(std::uint32_t oldHash, std::uint32_t newHash, std::int32_t pos, HashAt hashAt);
  std::size_t Size() const { return used_; }

 private:
  struct Slot {
    std::uint32_t Key;
    std::int32_t First;  // -1: the slot is free
    std::int32_t Last;
  };
  std::size_t Home(std::uint32_t hash) const;
  std::size_t Find(std::uint32_t hash) const;  // slot index, or npos
  void Grow(std::size_t minCapacity);
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
  unsigned shift_ = 32;
};

template <class HashAt>
void TPositionIndex::AppendRange(std::int32_t from, std::int32_t to, HashAt hashAt) {
  if (to <= from) return;
  Reserve(used_ + static_cast<std::size_t>(to - from));
  constexpr std::int32_t kAhead = 16;
  for (std::int32_t k = from; k < to; ++k) {
#if defined(__GNUC__) || defined(__clang__)
    if (k + kAhead < to) __builtin_prefetch(&slots_[Home(hashAt(k + kAhead))], 1);
#endif
    Append(hashAt(k), k);
  }
}

template <class HashAt>
void TPositionIndex::Rewrite(std::uint32_t oldHash, std::uint32_t newHash, std::int32_t pos,
                             HashAt hashAt) {
  if (oldHash == newHash) return;
  const std::int32_t f = First(newHash);
  if (f < 0)
    Assign(newHash, pos, pos);
  else
    Assign(newHash, f < pos ? f : pos, Last(newHash) > pos ? Last(newHash) : pos);

  const std::int32_t of = First(oldHash);
  const std::int32_t ol = Last(oldHash);
  if (of == pos && ol == pos) {
    Erase(oldHash);
  } else if (of == pos) {
    std::int32_t k = pos + 1;
    while (hashAt(k) != oldHash) ++k;  // stops at ol at the latest
    Assign(oldHash, k, ol);
  } else if (ol == pos) {
    std::int32_t k = pos - 1;
    while (hashAt(k) != oldHash) --k;  // stops at of at the latest
    Assign(oldHash, of, k);
  }
}

struct TWordRecord {
  std::uint32_t Hash = 0;
  std::uint32_t SpamCount = 0;
  std::uint32_t HamCount = 0;
};

class TBayesDataBase {
 public:
  static constexpr std::uint32_t kHeaderHash = 0x804F;
  static constexpr std::size_t kRecordSize = 12;
  // Counts above this are divided by ten when written.
  static constexpr std::uint32_t kScaleLimit = 2000000000u;

  // A new database: only the header record {0x804F, 0, 0}.
  TBayesDataBase();

  // Appends a record; returns its position.
  int AddRecord(std::uint32_t hash, std::uint32_t spamCount, std::uint32_t hamCount);
  // First position whose Hash equals `hash` (0 for the header record), or -1.
  int IndexOfHash(std::uint32_t hash) const;
  // Last position from 1 onward whose Hash equals `hash`, or -1: the word
  // record a walk over records 1..Count-1 in file order meets last.
  int LastWordIndexOfHash(std::uint32_t hash) const;
  TWordRecord GetRecord(int i) const;
  const TWordRecord& At(int i) const { return records_[static_cast<std::size_t>(i)]; }
  void PutRecord(int i, const TWordRecord& r);
  int Count() const { return static_cast<int>(records_.size()); }
  // Removes every record, the header record included.
  void Clear();

  // False when the file is missing (list untouched) or cannot be read.
  bool LoadFromFile(const std::string& path);
  // False when the file could not be written; the old file then stays.
  bool SaveToFile(const std::string& path) const;

  // The file image of the records (scaled as SaveToFile writes it) and the
  // records of a file image (whole records only).
  std::string Serialize() const;
  void Deserialize(const std::string& data);

 private:
  std::vector<TWordRecord> records_;
  TPositionIndex index_;
};

}  // namespace quelta
