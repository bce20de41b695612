#include "bayes/cWordList.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "common/fMain.h"

namespace quelta {

void TWordList::Add(const std::string& word, std::uint32_t hash, std::int32_t count,
                    double distance, double probability) {
  if (hash == 0) hash = Crc32(word);
  FreshIndex();
  auto it = index_.find(hash);
  if (it != index_.end()) {
    std::int32_t& n = items_[static_cast<std::size_t>(it->second)].Count;
    n = static_cast<std::int32_t>(static_cast<std::uint32_t>(n) + 1u);  // wraps, never traps
    return;
  }
  index_.emplace(hash, static_cast<int>(items_.size()));
  items_.push_back(TWordEntry{word, hash, count == 0 ? 1 : count, distance, probability});
}

int TWordList::IndexOfHash(std::uint32_t hash) const {
  FreshIndex();
  auto it = index_.find(hash);
  return it == index_.end() ? -1 : it->second;
}

void TWordList::Put(int i, const TWordEntry& e) {
  auto& slot = items_.at(static_cast<std::size_t>(i));
  if (slot.Hash != e.Hash) {
    slot = e;
    MarkIndexStale();
  } else {
    slot = e;
  }
}

void TWordList::Delete(int i) {
  if (i < 0 || i >= Count()) throw std::out_of_range("word table index");
  items_.erase(items_.begin() + i);
  MarkIndexStale();
}

void TWordList::Truncate(int n) {
  if (n < Count()) {
    items_.resize(static_cast<std::size_t>(std::max(0, n)));
    MarkIndexStale();
  }
}

void TWordList::SetScore(int i, double probability, double distance) {
  TWordEntry& e = items_.at(static_cast<std::size_t>(i));
  e.Probability = probability;
  e.Distance = distance;
}

void TWordList::RemoveInsignificant() {
  constexpr double kEpsilon = 0.0000001;
  auto insignificant = [](const TWordEntry& e) {
    return (e.Distance > 0 && e.Distance < kEpsilon) ||
           (e.Distance <= 0 && e.Distance > -kEpsilon);
  };
  auto end = std::remove_if(items_.begin(), items_.end(), insignificant);
  if (end != items_.end()) {
    items_.erase(end, items_.end());
    MarkIndexStale();
  }
}

void TWordList::Clear() {
  items_.clear();
  index_.clear();
  stale_ = false;
}

void TWordList::SortByDistance() {
  if (items_.size() < 2) return;
  // Adjacent swaps of strictly smaller-before-larger pairs amount to a
  // stable sort, largest first. An entry whose Distance is not a number
  // compares false both ways, so it never moves and nothing passes it:
  // each stretch between two such entries is sorted on its own.
  auto larger = [](const TWordEntry& a, const TWordEntry& b) { return a.Distance > b.Distance; };
  auto from = items_.begin();
  while (from != items_.end()) {
    auto to = std::find_if(from, items_.end(),
                           [](const TWordEntry& e) { return std::isnan(e.Distance); });
    std::stable_sort(from, to, larger);
    from = to == items_.end() ? to : to + 1;
  }
  MarkIndexStale();
}

void TWordList::FreshIndex() const {
  if (!stale_) return;
  index_.clear();
  for (std::size_t i = 0; i < items_.size(); ++i)
    index_.emplace(items_[i].Hash, static_cast<int>(i));
  stale_ = false;
}

}  // namespace quelta
