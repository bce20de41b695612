// PositionIndex: hash -> first and last position of that hash in a list of
// records, the index behind the Bayes databases' look-ups.
//
// Promises: O(1) expected per operation; open addressing with linear
// probing and no per-entry allocation; answers exactly what a scan of the
// list would, as long as every change of the list is reported to it.
// Memory: 8 bytes a slot, at most three slots for every two hashes after
// Reserve; a hash that occurs more than once (rare in a database) keeps its
// last position in a small side table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace quelta {

class PositionIndex {
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

 private:
  struct Slot {
    std::uint32_t key;
    std::int32_t first;  // -1: the slot is free
  };
  std::size_t Home(std::uint32_t hash) const;
  std::size_t Next(std::size_t i) const { return i + 1 == slots_.size() ? 0 : i + 1; }
  std::size_t Find(std::uint32_t hash) const;  // slot index, or npos
  // Room for one more hash.
  void MakeRoomForOne();
  void Rebuild(std::size_t capacity);
  // The slot index where `hash` is or would be put.
  std::size_t Probe(std::uint32_t hash) const;
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
  // The last position of each hash whose last differs from its first.
  std::unordered_map<std::uint32_t, std::int32_t> lasts_;
};

template <class HashAt>
void PositionIndex::AppendRange(std::int32_t from, std::int32_t to, HashAt hashAt) {
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
void PositionIndex::Rewrite(std::uint32_t oldHash, std::uint32_t newHash, std::int32_t pos,
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

}  // namespace quelta
