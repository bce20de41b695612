#include "bayes/position_index.h"

namespace quelta {

namespace {

constexpr std::size_t kNpos = static_cast<std::size_t>(-1);

}  // namespace

void PositionIndex::Clear() {
  slots_.clear();
  slots_.shrink_to_fit();
  used_ = 0;
  shift_ = 32;
}

std::size_t PositionIndex::Home(std::uint32_t hash) const {
  // Fibonacci hashing: spreads sequential and clustered keys alike.
  return static_cast<std::size_t>((hash * 0x9E3779B1u) >> shift_);
}

std::size_t PositionIndex::Find(std::uint32_t hash) const {
  if (slots_.empty()) return kNpos;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = Home(hash);; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (s.first < 0) return kNpos;
    if (s.key == hash) return i;
  }
}

void PositionIndex::Grow(std::size_t minCapacity) {
  std::size_t cap = 16;
  unsigned bits = 4;
  while (cap < minCapacity) {
    cap <<= 1;
    ++bits;
  }
  if (cap <= slots_.size()) return;
  std::vector<Slot> old;
  old.swap(slots_);
  slots_.assign(cap, Slot{0, -1, -1});
  shift_ = 32 - bits;
  const std::size_t mask = cap - 1;
  for (const Slot& s : old) {
    if (s.first < 0) continue;
    std::size_t i = Home(s.key);
    while (slots_[i].first >= 0) i = (i + 1) & mask;
    slots_[i] = s;
  }
}

void PositionIndex::Reserve(std::size_t n) {
  // Keeps the load at or below one half.
  if (2 * n > slots_.size()) Grow(2 * n);
}

void PositionIndex::Assign(std::uint32_t hash, std::int32_t first, std::int32_t last) {
  std::size_t at = Find(hash);
  if (at != kNpos) {
    slots_[at].first = first;
    slots_[at].last = last;
    return;
  }
  if (2 * (used_ + 1) > slots_.size()) Grow(2 * (used_ + 1));
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = Home(hash);
  while (slots_[i].first >= 0) i = (i + 1) & mask;
  slots_[i] = Slot{hash, first, last};
  ++used_;
}

void PositionIndex::Append(std::uint32_t hash, std::int32_t pos) {
  if (2 * (used_ + 1) > slots_.size()) Grow(2 * (used_ + 1));
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = Home(hash);
  while (slots_[i].first >= 0) {
    if (slots_[i].key == hash) {
      slots_[i].last = pos;
      return;
    }
    i = (i + 1) & mask;
  }
  slots_[i] = Slot{hash, pos, pos};
  ++used_;
}

std::int32_t PositionIndex::First(std::uint32_t hash) const {
  std::size_t at = Find(hash);
  return at == kNpos ? -1 : slots_[at].first;
}

std::int32_t PositionIndex::Last(std::uint32_t hash) const {
  std::size_t at = Find(hash);
  return at == kNpos ? -1 : slots_[at].last;
}

void PositionIndex::Erase(std::uint32_t hash) {
  std::size_t hole = Find(hash);
  if (hole == kNpos) return;
  const std::size_t mask = slots_.size() - 1;
  // Backward-shift deletion: later members of the probe run move up so that
  // every key stays reachable from its home slot without tombstones.
  std::size_t j = hole;
  for (;;) {
    slots_[hole].first = -1;
    for (;;) {
      j = (j + 1) & mask;
      if (slots_[j].first < 0) {
        --used_;
        return;
      }
      std::size_t home = Home(slots_[j].key);
      bool stays = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
      if (!stays) break;
    }
    slots_[hole] = slots_[j];
    hole = j;
  }
}

}  // namespace quelta
