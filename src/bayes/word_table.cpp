#include "bayes/word_table.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "base/crc32.h"

namespace quelta {

void WordTable::Add(const std::string& word, std::uint32_t hash, std::int32_t count,
                    double distance, double probability) {
  if (hash == 0) hash = Crc32(word);
  FreshIndex();
  const std::int32_t at = index_.First(hash);
  if (at >= 0) {
    std::int32_t& n = items_[static_cast<std::size_t>(at)].count;
    n = static_cast<std::int32_t>(static_cast<std::uint32_t>(n) + 1u);  // wraps, never traps
    return;
  }
  index_.Append(hash, static_cast<std::int32_t>(items_.size()));
  items_.push_back(WordEntry{word, hash, count == 0 ? 1 : count, distance, probability});
}

void WordTable::Truncate(int n) {
  if (n < Count()) {
    items_.resize(static_cast<std::size_t>(std::max(0, n)));
    MarkIndexStale();
  }
}

void WordTable::SetScore(int i, double probability, double distance) {
  WordEntry& e = items_.at(static_cast<std::size_t>(i));
  e.probability = probability;
  e.distance = distance;
}

void WordTable::RemoveInsignificant() {
  constexpr double kEpsilon = 0.0000001;
  auto insignificant = [](const WordEntry& e) {
    return (e.distance > 0 && e.distance < kEpsilon) ||
           (e.distance <= 0 && e.distance > -kEpsilon);
  };
  auto end = std::remove_if(items_.begin(), items_.end(), insignificant);
  if (end != items_.end()) {
    items_.erase(end, items_.end());
    MarkIndexStale();
  }
}

void WordTable::SortByDistance() {
  if (items_.size() < 2) return;
  // Adjacent swaps of strictly smaller-before-larger pairs amount to a
  // stable sort, largest first. An entry whose Distance is not a number
  // compares false both ways, so it never moves and nothing passes it:
  // each stretch between two such entries is sorted on its own.
  auto larger = [](const WordEntry& a, const WordEntry& b) { return a.distance > b.distance; };
  auto from = items_.begin();
  while (from != items_.end()) {
    auto to = std::find_if(from, items_.end(),
                           [](const WordEntry& e) { return std::isnan(e.distance); });
    std::stable_sort(from, to, larger);
    from = to == items_.end() ? to : to + 1;
  }
  MarkIndexStale();
}

void WordTable::KeepLargestDistances(int n) {
  const auto keep = static_cast<std::size_t>(std::max(0, n));
  if (keep >= items_.size() ||
      std::any_of(items_.begin(), items_.end(), [](const WordEntry& e) { return std::isnan(e.distance); })) {
    SortByDistance();
    Truncate(n);
    return;
  }
  // The first n of a stable sort: larger distance first, then table order.
  std::vector<std::pair<double, std::size_t>> order(items_.size());
  for (std::size_t k = 0; k < items_.size(); ++k) order[k] = {-items_[k].distance, k};
  std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(keep), order.end());
  std::vector<WordEntry> kept;
  kept.reserve(keep);
  for (std::size_t k = 0; k < keep; ++k) kept.push_back(std::move(items_[order[k].second]));
  items_.swap(kept);
  MarkIndexStale();
}

void WordTable::FreshIndex() const {
  if (!stale_) return;
  index_.Clear();
  index_.AppendRange(0, static_cast<std::int32_t>(items_.size()),
                     [this](std::int32_t k) { return items_[static_cast<std::size_t>(k)].hash; });
  stale_ = false;
}

}  // namespace quelta
