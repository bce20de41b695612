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
// - Nothing throws except std::out_of_range from Get / Put with a bad
//   position (and std::bad_alloc, which Load turns into an empty list).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bayes/position_index.h"
#include "os/env.h"

namespace quelta {

// Little-endian integers of 1..8 bytes.
inline void PutLittleEndian(char* p, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline std::uint64_t GetLittleEndian(const char* p, int bytes) {
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
    records_.push_back(r);
    index_.Append(Codec::HashOf(r), pos);
    return pos;
  }
  // First / last position of hash, or -1.
  int First(std::uint32_t hash) const { return index_.First(hash); }
  int Last(std::uint32_t hash) const { return index_.Last(hash); }

  int Count() const { return static_cast<int>(records_.size()); }
  // Unchecked access.
  const Record& At(int i) const { return records_[static_cast<std::size_t>(i)]; }
  // Checked access.
  const Record& Get(int i) const {
    CheckPosition(i);
    return At(i);
  }
  void Put(int i, const Record& r) {
    CheckPosition(i);
    Record& slot = records_[static_cast<std::size_t>(i)];
    const std::uint32_t oldHash = Codec::HashOf(slot);
    slot = r;
    index_.Rewrite(oldHash, Codec::HashOf(r), i, [this](std::int32_t k) {
      return Codec::HashOf(records_[static_cast<std::size_t>(k)]);
    });
  }
  void Clear() {
    records_.clear();
    index_.Clear();
  }

  std::string Serialize() const {
    std::string out(records_.size() * Codec::kSize, '\0');
    char* p = out.empty() ? nullptr : &out[0];
    for (const Record& r : records_) {
      Codec::Encode(r, p);
      p += Codec::kSize;
    }
    return out;
  }
  void Deserialize(std::string_view data) {
    Clear();
    const std::size_t n = data.size() / Codec::kSize;
    records_.reserve(n);
    for (std::size_t i = 0; i < n; ++i) records_.push_back(Codec::Decode(data.data() + i * Codec::kSize));
    index_.AppendRange(0, static_cast<std::int32_t>(n), [this](std::int32_t k) {
      return Codec::HashOf(records_[static_cast<std::size_t>(k)]);
    });
  }

  // False when the file is missing (list untouched) or cannot be read
  // (list emptied).
  bool Load(const std::string& path) {
    if (!os::FileExists(path)) return false;
    try {
      std::string data;
      if (!os::ReadFile(path, data)) {
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
  // False when the file could not be written; the old file then stays.
  bool Save(const std::string& path) const {
    try {
      return os::WriteFileAtomic(path, Serialize());
    } catch (...) {
      return false;
    }
  }

 private:
  void CheckPosition(int i) const {
    if (i < 0 || i >= Count()) throw std::out_of_range("record position");
  }
  std::vector<Record> records_;
  PositionIndex index_;
};

}  // namespace quelta
