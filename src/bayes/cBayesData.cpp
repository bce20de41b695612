#include "bayes/cBayesData.h"

#include <algorithm>
#include <stdexcept>

#include "platform/Env.h"

namespace quelta {

namespace {

constexpr std::size_t kNpos = static_cast<std::size_t>(-1);

void PutLE32(char* p, std::uint32_t v) {
  p[0] = static_cast<char>(v & 0xFF);
  p[1] = static_cast<char>((v >> 8) & 0xFF);
  p[2] = static_cast<char>((v >> 16) & 0xFF);
  p[3] = static_cast<char>((v >> 24) & 0xFF);
}

std::uint32_t GetLE32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(u[0]) | (static_cast<std::uint32_t>(u[1]) << 8) |
         (static_cast<std::uint32_t>(u[2]) << 16) | (static_cast<std::uint32_t>(u[3]) << 24);
}

}  // namespace

// ---- TPositionIndex ---------------------------------------------------------

void TPositionIndex::Clear() {
  slots_.clear();
  slots_.shrink_to_fit();
  used_ = 0;
  shift_ = 32;
}

std::size_t TPositionIndex::Home(std::uint32_t hash) const {
  // Fibonacci hashing: spreads sequential and clustered keys alike.
  return static_cast<std::size_t>((hash * 0x9E3779B1u) >> shift_);
}

std::size_t TPositionIndex::Find(std::uint32_t hash) const {
  if (slots_.empty()) return kNpos;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = Home(hash);; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (s.First < 0) return kNpos;
    if (s.Key == hash) return i;
  }
}

void TPositionIndex::Grow(std::size_t minCapacity) {
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
    if (s.First < 0) continue;
    std::size_t i = Home(s.Key);
    while (slots_[i].First >= 0) i = (i + 1) & mask;
    slots_[i] = s;
  }
}

void TPositionIndex::Reserve(std::size_t n) {
  // Keeps the load at or below one half.
  if (2 * n > slots_.size()) Grow(2 * n);
}

void TPositionIndex::Assign(std::uint32_t hash, std::int32_t first, std::int32_t last) {
  std::size_t at = Find(hash);
  if (at != kNpos) {
    slots_[at].First = first;
    slots_[at].Last = last;
    return;
  }
  if (2 * (used_ + 1) > slots_.size()) Grow(2 * (used_ + 1));
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = Home(hash);
  while (slots_[i].First >= 0) i = (i + 1) & mask;
  slots_[i] = Slot{hash, first, last};
  ++used_;
}

void TPositionIndex::Append(std::uint32_t hash, std::int32_t pos) {
  if (2 * (used_ + 1) > slots_.size()) Grow(2 * (used_ + 1));
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = Home(hash);
  while (slots_[i].First >= 0) {
    if (slots_[i].Key == hash) {
      slots_[i].Last = pos;
      return;
    }
    i = (i + 1) & mask;
  }
  slots_[i] = Slot{hash, pos, pos};
  ++used_;
}

std::int32_t TPositionIndex::First(std::uint32_t hash) const {
  std::size_t at = Find(hash);
  return at == kNpos ? -1 : slots_[at].First;
}

std::int32_t TPositionIndex::Last(std::uint32_t hash) const {
  std::size_t at = Find(hash);
  return at == kNpos ? -1 : slots_[at].Last;
}

void TPositionIndex::Erase(std::uint32_t hash) {
  std::size_t hole = Find(hash);
  if (hole == kNpos) return;
  const std::size_t mask = slots_.size() - 1;
  // Backward-shift deletion: later members of the probe run move up so that
  // every key stays reachable from its home slot without tombstones.
  std::size_t j = hole;
  for (;;) {
    slots_[hole].First = -1;
    for (;;) {
      j = (j + 1) & mask;
      if (slots_[j].First < 0) {
        --used_;
        return;
      }
      std::size_t home = Home(slots_[j].Key);
      bool stays = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
      if (!stays) break;
    }
    slots_[hole] = slots_[j];
    hole = j;
  }
}

// ---- TBayesDataBase ---------------------------------------------------------

TBayesDataBase::TBayesDataBase() { AddRecord(kHeaderHash, 0, 0); }

int TBayesDataBase::AddRecord(std::uint32_t hash, std::uint32_t spamCount,
                              std::uint32_t hamCount) {
  const int pos = Count();
  records_.push_back(TWordRecord{hash, spamCount, hamCount});
  index_.Append(hash, pos);
  return pos;
}

int TBayesDataBase::IndexOfHash(std::uint32_t hash) const { return index_.First(hash); }

int TBayesDataBase::LastWordIndexOfHash(std::uint32_t hash) const {
  const int last = index_.Last(hash);
  return last >= 1 ? last : -1;
}

TWordRecord TBayesDataBase::GetRecord(int i) const {
  if (i < 0 || i >= Count()) throw std::out_of_range("word record index");
  return records_[static_cast<std::size_t>(i)];
}

void TBayesDataBase::PutRecord(int i, const TWordRecord& r) {
  if (i < 0 || i >= Count()) throw std::out_of_range("word record index");
  TWordRecord& slot = records_[static_cast<std::size_t>(i)];
  const std::uint32_t oldHash = slot.Hash;
  slot = r;
  index_.Rewrite(oldHash, r.Hash, i, [this](std::int32_t k) {
    return records_[static_cast<std::size_t>(k)].Hash;
  });
}

void TBayesDataBase::Clear() {
  records_.clear();
  index_.Clear();
}

std::string TBayesDataBase::Serialize() const {
  std::string out(records_.size() * kRecordSize, '\0');
  char* p = &out[0];
  for (const TWordRecord& r : records_) {
    std::uint32_t spam = r.SpamCount;
    std::uint32_t ham = r.HamCount;
    if (spam > kScaleLimit || ham > kScaleLimit) {
      spam /= 10;
      ham /= 10;
    }
    PutLE32(p, r.Hash);
    PutLE32(p + 4, spam);
    PutLE32(p + 8, ham);
    p += kRecordSize;
  }
  return out;
}

void TBayesDataBase::Deserialize(const std::string& data) {
  Clear();
  const std::size_t n = data.size() / kRecordSize;
  records_.resize(n);
  const char* p = data.data();
  for (std::size_t i = 0; i < n; ++i, p += kRecordSize)
    records_[i] = TWordRecord{GetLE32(p), GetLE32(p + 4), GetLE32(p + 8)};
  index_.AppendRange(0, static_cast<std::int32_t>(n), [this](std::int32_t k) {
    return records_[static_cast<std::size_t>(k)].Hash;
  });
  // Classification and training read record 0; a file without a whole
  // record starts over from a new header record.
  if (records_.empty()) AddRecord(kHeaderHash, 0, 0);
}

bool TBayesDataBase::LoadFromFile(const std::string& path) {
  if (!env::FileExists(path)) return false;
  try {
    std::string data;
    if (!env::ReadFile(path, data)) {
      Deserialize(std::string());
      return false;
    }
    Deserialize(data);
    return true;
  } catch (...) {  // out of memory for a huge file
    Clear();
    AddRecord(kHeaderHash, 0, 0);
    return false;
  }
}

bool TBayesDataBase::SaveToFile(const std::string& path) const {
  try {
    return env::WriteFileAtomic(path, Serialize());
  } catch (...) {
    return false;
  }
}

}  // namespace quelta
