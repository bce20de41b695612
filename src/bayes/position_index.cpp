#include "bayes/position_index.h"

namespace quelta {

namespace {

constexpr std::size_t kNpos = static_cast<std::size_t>(-1);

// Slots per hash: 3/2 after Reserve (two thirds full); the table grows when
// it would be more than three quarters full.
std::size_t SlotsFor(std::size_t n) { return n + n / 2 + 16; }
bool TooFull(std::size_t used, std::size_t slots) { return 4 * used > 3 * slots; }

}  // namespace

void PositionIndex::Clear() {
  slots_.clear();
  slots_.shrink_to_fit();
  used_ = 0;
  lasts_.clear();
}

std::size_t PositionIndex::Home(std::uint32_t hash) const {
  // Fibonacci hashing spreads sequential and clustered keys alike; the
  // product's 32 bits are scaled to the table's size (any size, not only a
  // power of two, so that the table fits the database closely).
  const std::uint64_t spread = static_cast<std::uint32_t>(hash * 0x9E3779B1u);
  return static_cast<std::size_t>((spread * slots_.size()) >> 32);
}

std::size_t PositionIndex::Probe(std::uint32_t hash) const {
  std::size_t i = Home(hash);
  while (slots_[i].first >= 0 && slots_[i].key != hash) i = Next(i);
  return i;
}

std::size_t PositionIndex::Find(std::uint32_t hash) const {
  if (slots_.empty()) return kNpos;
  const std::size_t i = Probe(hash);
  return slots_[i].first >= 0 ? i : kNpos;
}

void PositionIndex::Rebuild(std::size_t capacity) {
  std::vector<Slot> old;
  old.swap(slots_);
  slots_.assign(capacity, Slot{0, -1});
  for (const Slot& s : old) {
    if (s.first < 0) continue;
    std::size_t i = Home(s.key);
    while (slots_[i].first >= 0) i = Next(i);
    slots_[i] = s;
  }
}

void PositionIndex::Reserve(std::size_t n) {
  if (TooFull(n, slots_.size())) Rebuild(SlotsFor(n));
}

void PositionIndex::MakeRoomForOne() {
  if (TooFull(used_ + 1, slots_.size())) Rebuild(2 * (used_ + 1) + 16);  // half full
}

void PositionIndex::Assign(std::uint32_t hash, std::int32_t first, std::int32_t last) {
  MakeRoomForOne();
  Slot& s = slots_[Probe(hash)];
  if (s.first < 0) ++used_;
  s = Slot{hash, first};
  if (last != first)
    lasts_[hash] = last;
  else if (!lasts_.empty())
    lasts_.erase(hash);
}

void PositionIndex::Append(std::uint32_t hash, std::int32_t pos) {
  MakeRoomForOne();
  Slot& s = slots_[Probe(hash)];
  if (s.first >= 0) {
    lasts_[hash] = pos;
    return;
  }
  s = Slot{hash, pos};
  ++used_;
}

std::int32_t PositionIndex::First(std::uint32_t hash) const {
  const std::size_t at = Find(hash);
  return at == kNpos ? -1 : slots_[at].first;
}

std::int32_t PositionIndex::Last(std::uint32_t hash) const {
  const std::size_t at = Find(hash);
  if (at == kNpos) return -1;
  if (!lasts_.empty()) {
    const auto it = lasts_.find(hash);
    if (it != lasts_.end()) return it->second;
  }
  return slots_[at].first;
}

void PositionIndex::Erase(std::uint32_t hash) {
  std::size_t hole = Find(hash);
  if (hole == kNpos) return;
  if (!lasts_.empty()) lasts_.erase(hash);
  // Backward-shift deletion: later members of the probe run move up so that
  // every key stays reachable from its home slot without tombstones.
  std::size_t j = hole;
  for (;;) {
    slots_[hole].first = -1;
    for (;;) {
      j = Next(j);
      if (slots_[j].first < 0) {
        --used_;
        return;
      }
      const std::size_t home = Home(slots_[j].key);
      const bool stays = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
      if (!stays) break;
    }
    slots_[hole] = slots_[j];
    hole = j;
  }
}

}  // namespace quelta
