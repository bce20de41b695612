#include "bayes/word_database.h"

#include "os/env.h"

namespace quelta {

void WordDatabase::Codec::Encode(const WordRecord& r, char* out) {
  std::uint32_t spam = r.spamCount;
  std::uint32_t ham = r.hamCount;
  if (spam > kScaleLimit || ham > kScaleLimit) {
    spam /= 10;
    ham /= 10;
  }
  PutLittleEndian(out, r.hash, 4);
  PutLittleEndian(out + 4, spam, 4);
  PutLittleEndian(out + 8, ham, 4);
}

WordRecord WordDatabase::Codec::Decode(const char* in) {
  return WordRecord{static_cast<std::uint32_t>(GetLittleEndian(in, 4)),
                    static_cast<std::uint32_t>(GetLittleEndian(in + 4, 4)),
                    static_cast<std::uint32_t>(GetLittleEndian(in + 8, 4))};
}

WordDatabase::WordDatabase() { AddRecord(kHeaderHash, 0, 0); }

int WordDatabase::AddRecord(std::uint32_t hash, std::uint32_t spamCount, std::uint32_t hamCount) {
  return records_.Append(WordRecord{hash, spamCount, hamCount});
}

int WordDatabase::LastWordIndexOfHash(std::uint32_t hash) const {
  const int last = records_.Last(hash);
  return last >= 1 ? last : -1;
}

void WordDatabase::Deserialize(const std::string& data) {
  records_.Deserialize(data);
  if (records_.Count() == 0) AddRecord(kHeaderHash, 0, 0);
}

bool WordDatabase::LoadFromFile(const std::string& path) {
  if (!os::FileExists(path)) return false;
  const bool ok = records_.Load(path);
  // Classification and training read record 0; a file without a whole
  // record starts over from a new header record.
  if (records_.Count() == 0) AddRecord(kHeaderHash, 0, 0);
  return ok;
}

}  // namespace quelta
