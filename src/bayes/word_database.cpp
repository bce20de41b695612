#include "bayes/word_database.h"

#include <algorithm>
#include <memory>

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

const WordRecord* WordDatabase::FileLookup::Find(std::uint32_t hash) const {
  auto it = std::lower_bound(found.begin(), found.end(), hash,
                             [](const auto& entry, std::uint32_t h) { return entry.first < h; });
  return it != found.end() && it->first == hash ? &it->second : nullptr;
}

namespace {

// The open file and its whole-record count; null when it has none.
std::unique_ptr<os::RandomAccessFile> OpenRecords(const std::string& path, std::uint64_t& count) {
  std::unique_ptr<os::RandomAccessFile> file = os::OpenRandomAccessFile(path);
  const std::int64_t size = file ? file->Size() : -1;
  count = size < 0 ? 0 : static_cast<std::uint64_t>(size) / WordDatabase::kRecordSize;
  if (count == 0 || count > static_cast<std::uint64_t>(INT32_MAX)) return nullptr;
  return file;
}

}  // namespace

bool WordDatabase::PeekFile(const std::string& path, FileLookup& out) {
  out = FileLookup();
  std::uint64_t count = 0;
  const std::unique_ptr<os::RandomAccessFile> file = OpenRecords(path, count);
  char head[kRecordSize];
  if (!file || !file->ReadAt(0, head, kRecordSize)) return false;
  out.count = static_cast<int>(count);
  out.header = Codec::Decode(head);
  return true;
}

bool WordDatabase::LookUpInFile(const std::string& path, std::vector<std::uint32_t> hashes,
                                FileLookup& out) {
  out = FileLookup();
  std::sort(hashes.begin(), hashes.end());
  hashes.erase(std::unique(hashes.begin(), hashes.end()), hashes.end());
  std::uint64_t count = 0;
  const std::unique_ptr<os::RandomAccessFile> file = OpenRecords(path, count);
  if (!file) return false;
  // A 64-Kbit filter of the asked hashes: almost every record is passed over
  // without a search.
  std::vector<std::uint64_t> filter(1024, 0);
  auto bit = [](std::uint32_t h) { return (h * 0x9E3779B1u) >> 16; };
  for (std::uint32_t h : hashes) filter[bit(h) >> 6] |= std::uint64_t{1} << (bit(h) & 63);
  std::vector<WordRecord> last(hashes.size());
  std::vector<char> seen(hashes.size(), 0);
  constexpr std::size_t kChunk = 4096;  // records per read
  std::vector<char> buf(kChunk * kRecordSize);
  for (std::uint64_t done = 0; done < count;) {
    const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, count - done));
    if (!file->ReadAt(done * kRecordSize, buf.data(), k * kRecordSize)) return false;
    for (std::size_t j = 0; j < k; ++j) {
      const char* p = buf.data() + j * kRecordSize;
      if (done + j == 0) {
        out.header = Codec::Decode(p);
        continue;
      }
      const auto h = static_cast<std::uint32_t>(GetLittleEndian(p, 4));
      if (!((filter[bit(h) >> 6] >> (bit(h) & 63)) & 1)) continue;
      const auto it = std::lower_bound(hashes.begin(), hashes.end(), h);
      if (it == hashes.end() || *it != h) continue;
      const std::size_t at = static_cast<std::size_t>(it - hashes.begin());
      last[at] = Codec::Decode(p);  // the last record with the hash wins
      seen[at] = 1;
    }
    done += k;
  }
  out.count = static_cast<int>(count);
  for (std::size_t i = 0; i < hashes.size(); ++i)
    if (seen[i]) out.found.emplace_back(hashes[i], last[i]);
  return true;
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
