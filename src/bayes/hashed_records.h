// HashedRecords: the shape both Bayes databases share: a file that is the
// plain sequence of fixed-size little-endian records, each keyed by a 32-bit
// hash, held in memory as a list in file order with an index from hash to
// its first and last position.
//
// A Codec describes one record:
//   using Record = ...;
//   static constexpr std::size_t kSize;                 // bytes per record
//   static void Encode(const Record&, char* out);       // kSize bytes
//   static Record Decode(const char* in);               // kSize bytes
//   static std::uint32_t HashOf(const Record&);
//
// Promises:
// - First / Last answer exactly what a front-to-back scan answers, in O(1),
//   through an index kept in step with every change of the list.
// - Deserialize and Load take whole records only (a trailing piece is
//   ignored). Load leaves the list untouched when the file does not exist
//   and empties it when the file cannot be read.
// - Save replaces the old file only when the new one was written completely.
// - Memory: the records themselves (in blocks, grown a block at a time) and
//   the index (PositionIndex); loading and saving stream the file through a
//   small buffer, never holding the whole file image.
// - Nothing throws except std::out_of_range from Get / Put with a bad
//   position (and std::bad_alloc, which Load turns into an empty list).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bayes/position_index.h"
#include "os/env.h"

namespace quelta {

// Little-endian integers of 1..8 bytes. On a little-endian machine (both
// targets) the 4- and 8-byte forms are plain copies.
inline void PutLittleEndian(char* p, std::uint64_t v, int bytes) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (bytes == 4) {
    const auto v32 = static_cast<std::uint32_t>(v);
    std::memcpy(p, &v32, 4);
    return;
  }
  if (bytes == 8) {
    std::memcpy(p, &v, 8);
    return;
  }
#endif
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline std::uint64_t GetLittleEndian(const char* p, int bytes) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (bytes == 4) {
    std::uint32_t v32;
    std::memcpy(&v32, p, 4);
    return v32;
  }
  if (bytes == 8) {
    std::uint64_t v64;
    std::memcpy(&v64, p, 8);
    return v64;
  }
#endif
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

template <class Codec>
class HashedRecords {
 public:
  using Record = typename Codec::Record;

  // Appends a record; returns its position.
  int Append(const Record& r) {
    const int pos = Count();
    Push(r);
    index_.Append(Codec::HashOf(r), pos);
    return pos;
  }
  // First / last position of hash, or -1.
  int First(std::uint32_t hash) const { return index_.First(hash); }
  int Last(std::uint32_t hash) const { return index_.Last(hash); }

  int Count() const { return count_; }
  // Unchecked access.
  const Record& At(int i) const { return blocks_[Block(i)][Offset(i)]; }
  // Checked access.
  const Record& Get(int i) const {
    CheckPosition(i);
    return At(i);
  }
  void Put(int i, const Record& r) {
    CheckPosition(i);
    Record& slot = blocks_[Block(i)][Offset(i)];
    const std::uint32_t oldHash = Codec::HashOf(slot);
    slot = r;
    index_.Rewrite(oldHash, Codec::HashOf(r), i,
                   [this](std::int32_t k) { return Codec::HashOf(At(k)); });
  }
  void Clear() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    count_ = 0;
    index_.Clear();
  }

  // Writes the file's bytes to a new temporary file beside path
  // (os::WriteTemporaryFileFrom), record by record.
  bool WriteTemporary(const std::string& path, std::string& tempPath) const {
    int next = 0;
    return os::WriteTemporaryFileFrom(
        path,
        [this, &next](char* buf, std::size_t size) {
          std::size_t n = 0;
          for (; next < count_ && n + Codec::kSize <= size; ++next, n += Codec::kSize)
            Codec::Encode(At(next), buf + n);
          return n;
        },
        tempPath);
  }
  void Deserialize(std::string_view data) {
    Clear();
    const std::size_t n = data.size() / Codec::kSize;
    index_.Reserve(n);
    AppendEncoded(data.data(), n);
  }

  // False when the file is missing (list untouched) or cannot be read
  // (list emptied). Reads a few blocks of records at a time: the file is
  // never held in memory whole.
  bool Load(const std::string& path) {
    if (!os::FileExists(path)) return false;
    Clear();
    try {
      const std::unique_ptr<os::RandomAccessFile> file = os::OpenRandomAccessFile(path);
      const std::int64_t size = file ? file->Size() : -1;
      const std::uint64_t n = size < 0 ? 0 : static_cast<std::uint64_t>(size) / Codec::kSize;
      if (size < 0 || n > static_cast<std::uint64_t>(INT32_MAX)) return false;
      index_.Reserve(static_cast<std::size_t>(n));
      std::vector<char> buf(kReadRecords * Codec::kSize);
      for (std::uint64_t done = 0; done < n;) {
        const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(kReadRecords, n - done));
        if (!file->ReadAt(done * Codec::kSize, buf.data(), k * Codec::kSize)) {
          Clear();
          return false;
        }
        AppendEncoded(buf.data(), k);
        done += k;
      }
      return true;
    } catch (...) {  // out of memory for a huge file
      Clear();
      return false;
    }
  }
  // False when the file could not be written; the old file then stays.
  bool Save(const std::string& path) const {
    try {
      std::string temp;
      if (!WriteTemporary(path, temp)) return false;
      if (os::ReplaceFile(temp, path)) return true;
      os::DeleteFile(temp);
    } catch (...) {
    }
    return false;
  }

 private:
  // The records live in blocks of a fixed size: the list grows a block at a
  // time and never moves what it holds (no copy of the whole list while it
  // grows, no unused half of a doubled buffer).
  static constexpr int kBlockBits = 10;
  static constexpr std::size_t kBlockRecords = std::size_t{1} << kBlockBits;
  // Records read from the file at a time.
  static constexpr std::size_t kReadRecords = 16 * kBlockRecords;
  static std::size_t Block(int i) { return static_cast<std::size_t>(i) >> kBlockBits; }
  static std::size_t Offset(int i) { return static_cast<std::size_t>(i) & (kBlockRecords - 1); }

  void Push(const Record& r) {
    if (Offset(count_) == 0) {
      blocks_.emplace_back();
      blocks_.back().reserve(kBlockRecords);
    }
    blocks_.back().push_back(r);
    ++count_;
  }
  // Appends n records decoded from `data` and notes them in the index.
  void AppendEncoded(const char* data, std::size_t n) {
    const int from = count_;
    for (std::size_t i = 0; i < n; ++i) Push(Codec::Decode(data + i * Codec::kSize));
    index_.AppendRange(from, count_, [this](std::int32_t k) { return Codec::HashOf(At(k)); });
  }
  void CheckPosition(int i) const {
    if (i < 0 || i >= Count()) throw std::out_of_range("record position");
  }
  std::vector<std::vector<Record>> blocks_;
  int count_ = 0;
  PositionIndex index_;
};

}  // namespace quelta
