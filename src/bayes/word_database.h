// WordDatabase: the Bayes word database (file "Bayes.wdb"): per word hash,
// how often the word was seen in spam and in ham. Record 0 is the header
// record {0x804F, spam messages, ham messages}; the word records follow in
// the order in which their words were first trained.
//
// Promises:
// - The file is the plain sequence of 12-byte little-endian records
//   (Hash, SpamCount, HamCount), header first, nothing else; the same bytes
//   on every target.
// - IndexOfHash answers exactly what a front-to-back scan from record 0
//   answers (the first position, 0 for the header record's hash), in O(1).
// - LoadFromFile reads whole records only (a trailing piece is ignored) and
//   never leaves the list without a record: a file without a whole record
//   gives a fresh header record.
// - SaveToFile writes a copy in which a record with a count above
//   2,000,000,000 has both counts divided by ten; memory keeps its values.
//   The old file is replaced only when the new one was written completely.
// - Nothing here throws except std::out_of_range from GetRecord / PutRecord
//   with a bad position (and std::bad_alloc).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "bayes/hashed_records.h"

namespace quelta {

struct WordRecord {
  std::uint32_t hash = 0;
  std::uint32_t spamCount = 0;
  std::uint32_t hamCount = 0;
};

class WordDatabase {
 public:
  static constexpr std::uint32_t kHeaderHash = 0x804F;
  static constexpr std::size_t kRecordSize = 12;
  // Counts above this are divided by ten when written.
  static constexpr std::uint32_t kScaleLimit = 2000000000u;

  // A new database: only the header record {0x804F, 0, 0}.
  WordDatabase();

  // Appends a record; returns its position.
  int AddRecord(std::uint32_t hash, std::uint32_t spamCount, std::uint32_t hamCount);
  // First position whose Hash equals `hash` (0 for the header record), or -1.
  int IndexOfHash(std::uint32_t hash) const { return records_.First(hash); }
  // Last position from 1 onward whose Hash equals `hash`, or -1: the word
  // record a walk over records 1..count-1 in file order meets last.
  int LastWordIndexOfHash(std::uint32_t hash) const;
  WordRecord GetRecord(int i) const { return records_.Get(i); }
  const WordRecord& At(int i) const { return records_.At(i); }
  void PutRecord(int i, const WordRecord& r) { records_.Put(i, r); }
  int Count() const { return records_.Count(); }

  // False when the file is missing (list untouched) or cannot be read.
  bool LoadFromFile(const std::string& path);
  // False when the file could not be written; the old file then stays.
  bool SaveToFile(const std::string& path) const { return records_.Save(path); }
  // Writes the bytes SaveToFile writes to a new temporary file beside path
  // (os::WriteTemporaryFileFrom), for saving the two files as a pair.
  bool WriteTemporary(const std::string& path, std::string& tempPath) const {
    return records_.WriteTemporary(path, tempPath);
  }
  // The records of a file image (whole records only; as LoadFromFile, never
  // without a header record).
  void Deserialize(const std::string& data);

  // What looking up a few words needs, read straight from a file instead of
  // loading it: the record count and header record LoadFromFile would give,
  // and for each asked hash the record LastWordIndexOfHash would find.
  struct FileLookup {
    int count = 0;
    WordRecord header;
    std::vector<std::pair<std::uint32_t, WordRecord>> found;  // sorted by hash
    // The word record of a hash, or null when the file has none.
    const WordRecord* Find(std::uint32_t hash) const;
  };
  // The record count and header record only (found stays empty). False when
  // the file is missing or unreadable or holds no whole record.
  static bool PeekFile(const std::string& path, FileLookup& out);
  // One pass through the file in blocks, keeping only the asked hashes'
  // records. False as PeekFile, or when a block cannot be read.
  static bool LookUpInFile(const std::string& path, std::vector<std::uint32_t> hashes, FileLookup& out);

 private:
  struct Codec {
    using Record = WordRecord;
    static constexpr std::size_t kSize = kRecordSize;
    static void Encode(const WordRecord& r, char* out);
    static WordRecord Decode(const char* in);
    static std::uint32_t HashOf(const WordRecord& r) { return r.hash; }
  };
  HashedRecords<Codec> records_;
};

}  // namespace quelta
