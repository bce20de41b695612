// cBayesUndo: the Bayes undo database (`TBayesUndoBase`, file "Bayes.udb"):
// which messages were trained and as what, so that training a message again
// the other way moves its counts instead of adding them twice. A message is
// known by the CRC-32 of its raw header text.
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
#include <vector>

#include "bayes/cBayesData.h"

namespace quelta {

struct TUndoRecord {
  std::uint32_t Hash = 0;
  bool IsSpam = false;
  double TrainedAt = 0;  // local date-time of the last training; never read
};

class TBayesUndoBase {
 public:
  static constexpr std::size_t kRecordSize = 13;

  // Appends a record; returns its position.
  int AddRecord(std::uint32_t hash, bool isSpam, double trainedAt);
  int IndexOfHash(std::uint32_t hash) const;
  TUndoRecord GetRecord(int i) const;
  void PutRecord(int i, const TUndoRecord& r);
  int Count() const { return static_cast<int>(records_.size()); }
  void Clear();

  // False when the file is missing (list untouched) or cannot be read.
  bool LoadFromFile(const std::string& path);
  // False when the file could not be written; the old file then stays.
  bool SaveToFile(const std::string& path) const;

  std::string Serialize() const;
  void Deserialize(const std::string& data);

 private:
  // The stored form keeps the file's bytes (IsSpam byte, TrainedAt bits).
  struct TStored {
    std::uint32_t Hash;
    std::uint8_t IsSpam;
    std::uint64_t TrainedAtBits;
  };
  static TStored Store(const TUndoRecord& r);
  void Append(const TStored& s);
  std::vector<TStored> records_;
  TPositionIndex index_;
};

}  // namespace quelta
