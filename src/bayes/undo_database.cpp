#include "bayes/undo_database.h"

#include <cstring>

namespace quelta {

void UndoDatabase::Codec::Encode(const StoredRecord& s, char* out) {
  PutLittleEndian(out, s.hash, 4);
  out[4] = static_cast<char>(s.isSpam);
  PutLittleEndian(out + 5, s.trainedAtBits, 8);
}

UndoDatabase::StoredRecord UndoDatabase::Codec::Decode(const char* in) {
  return StoredRecord{static_cast<std::uint32_t>(GetLittleEndian(in, 4)),
                      static_cast<std::uint8_t>(in[4]), GetLittleEndian(in + 5, 8)};
}

UndoDatabase::StoredRecord UndoDatabase::Store(const UndoRecord& r) {
  StoredRecord s{r.hash, static_cast<std::uint8_t>(r.isSpam ? 1 : 0), 0};
  static_assert(sizeof(double) == sizeof(std::uint64_t), "IEEE double expected");
  std::memcpy(&s.trainedAtBits, &r.trainedAt, sizeof(double));
  return s;
}

int UndoDatabase::AddRecord(std::uint32_t hash, bool isSpam, double trainedAt) {
  return records_.Append(Store(UndoRecord{hash, isSpam, trainedAt}));
}

UndoRecord UndoDatabase::GetRecord(int i) const {
  const StoredRecord& s = records_.Get(i);
  UndoRecord r;
  r.hash = s.hash;
  r.isSpam = s.isSpam != 0;
  std::memcpy(&r.trainedAt, &s.trainedAtBits, sizeof(double));
  return r;
}

void UndoDatabase::PutRecord(int i, const UndoRecord& r) { records_.Put(i, Store(r)); }

}  // namespace quelta
