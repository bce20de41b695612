#include "bayes/cBayesUndo.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/Env.h"

namespace quelta {

namespace {

void PutLE(char* p, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint64_t GetLE(const char* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

}  // namespace

TBayesUndoBase::TStored TBayesUndoBase::Store(const TUndoRecord& r) {
  TStored s{r.Hash, static_cast<std::uint8_t>(r.IsSpam ? 1 : 0), 0};
  static_assert(sizeof(double) == sizeof(std::uint64_t), "IEEE double expected");
  std::memcpy(&s.TrainedAtBits, &r.TrainedAt, sizeof(double));
  return s;
}

void TBayesUndoBase::Append(const TStored& s) {
  const int pos = Count();
  records_.push_back(s);
  index_.Append(s.Hash, pos);
}

int TBayesUndoBase::AddRecord(std::uint32_t hash, bool isSpam, double trainedAt) {
  const int pos = Count();
  Append(Store(TUndoRecord{hash, isSpam, trainedAt}));
  return pos;
}

int TBayesUndoBase::IndexOfHash(std::uint32_t hash) const { return index_.First(hash); }

TUndoRecord TBayesUndoBase::GetRecord(int i) const {
  if (i < 0 || i >= Count()) throw std::out_of_range("undo record index");
  const TStored& s = records_[static_cast<std::size_t>(i)];
  TUndoRecord r;
  r.Hash = s.Hash;
  r.IsSpam = s.IsSpam != 0;
  std::memcpy(&r.TrainedAt, &s.TrainedAtBits, sizeof(double));
  return r;
}

void TBayesUndoBase::PutRecord(int i, const TUndoRecord& r) {
  if (i < 0 || i >= Count()) throw std::out_of_range("undo record index");
  TStored& slot = records_[static_cast<std::size_t>(i)];
  const std::uint32_t oldHash = slot.Hash;
  slot = Store(r);
  index_.Rewrite(oldHash, r.Hash, i, [this](std::int32_t k) {
    return records_[static_cast<std::size_t>(k)].Hash;
  });
}

void TBayesUndoBase::Clear() {
  records_.clear();
  index_.Clear();
}

std::string TBayesUndoBase::Serialize() const {
  std::string out(records_.size() * kRecordSize, '\0');
  char* p = &out[0];
  for (const TStored& s : records_) {
    PutLE(p, s.Hash, 4);
    p[4] = static_cast<char>(s.IsSpam);
    PutLE(p + 5, s.TrainedAtBits, 8);
    p += kRecordSize;
  }
  return out;
}

void TBayesUndoBase::Deserialize(const std::string& data) {
  Clear();
  const std::size_t n = data.size() / kRecordSize;
  records_.resize(n);
  const char* p = data.data();
  for (std::size_t i = 0; i < n; ++i, p += kRecordSize)
    records_[i] = TStored{static_cast<std::uint32_t>(GetLE(p, 4)),
                          static_cast<std::uint8_t>(p[4]), GetLE(p + 5, 8)};
  index_.AppendRange(0, static_cast<std::int32_t>(n), [this](std::int32_t k) {
    return records_[static_cast<std::size_t>(k)].Hash;
  });
}

bool TBayesUndoBase::LoadFromFile(const std::string& path) {
  if (!env::FileExists(path)) return false;
  try {
    std::string data;
    if (!env::ReadFile(path, data)) {
      Clear();
      return false;
    }
    Deserialize(data);
    return true;
  } catch (...) {  // out of memory for a huge file
    Clear();
    return false;
  }
}

bool TBayesUndoBase::SaveToFile(const std::string& path) const {
  try {
    return env::WriteFileAtomic(path, Serialize());
  } catch (...) {
    return false;
  }
}

}  // namespace quelta
