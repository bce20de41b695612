// UndoDatabase: the Bayes undo database (file "Bayes.udb"): which messages
// were trained and as what, so that training a message again the other way
// moves its counts instead of adding them twice. A message is known by the
// CRC-32 of its raw header text.
//
// Promises:
// - The file is the plain sequence of 13-byte packed little-endian records
//   (Hash: 4 bytes, IsSpam: 1 byte, TrainedAt: 8-byte IEEE double), nothing
//   else; the same bytes on every target. Records that were only loaded are
//   written back byte for byte.
// - IndexOfHash answers the first position with that hash, as a
//   front-to-back scan would, in O(1).
// - LoadFromFile reads whole records only; SaveToFile replaces the old file
//   only when the new one was written completely.
// - Nothing here throws except std::out_of_range from GetRecord / PutRecord
//   with a bad position (and std::bad_alloc).
#pragma once

#include <cstdint>
#include <string>

#include "bayes/hashed_records.h"

namespace quelta {

struct UndoRecord {
  std::uint32_t hash = 0;
  bool isSpam = false;
  double trainedAt = 0;  // local date-time of the last training; never read
};

class UndoDatabase {
 public:
  static constexpr std::size_t kRecordSize = 13;

  // Appends a record; returns its position.
  int AddRecord(std::uint32_t hash, bool isSpam, double trainedAt);
  int IndexOfHash(std::uint32_t hash) const { return records_.First(hash); }
  UndoRecord GetRecord(int i) const;
  void PutRecord(int i, const UndoRecord& r);
  int Count() const { return records_.Count(); }

  // False when the file is missing (list untouched) or cannot be read.
  bool LoadFromFile(const std::string& path) { return records_.Load(path); }
  // False when the file could not be written; the old file then stays.
  bool SaveToFile(const std::string& path) const { return records_.Save(path); }
  // Writes the bytes SaveToFile writes to a new temporary file beside path
  // (os::WriteTemporaryFileFrom), for saving the two files as a pair.
  bool WriteTemporary(const std::string& path, std::string& tempPath) const {
    return records_.WriteTemporary(path, tempPath);
  }
  // The records of a file image (whole records only).
  void Deserialize(const std::string& data) { records_.Deserialize(data); }

 private:
  // The stored form keeps the file's bytes (IsSpam byte, TrainedAt bits).
  struct StoredRecord {
    std::uint32_t hash;
    std::uint8_t isSpam;
    std::uint64_t trainedAtBits;
  };
  struct Codec {
    using Record = StoredRecord;
    static constexpr std::size_t kSize = kRecordSize;
    static void Encode(const StoredRecord& r, char* out);
    static StoredRecord Decode(const char* in);
    static std::uint32_t HashOf(const StoredRecord& r) { return r.hash; }
  };
  static StoredRecord Store(const UndoRecord& r);
  HashedRecords<Codec> records_;
};

}  // namespace quelta
