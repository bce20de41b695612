// The two Bayes database files byte for byte, and the hash index behind
// both held to plain scans under random appends, rewrites and reloads.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bayes/undo_database.h"
#include "bayes/word_database.h"
#include "os/env.h"
#include "support/data_files.h"
#include "support/scratch_dir.h"

namespace quelta {
namespace {

using testing_support::Hex;
using testing_support::BayesRecord;

class BayesFiles : public ::testing::Test {
 protected:
  testing_support::ScratchDir dir_;
};

TEST_F(BayesFiles, WordDatabaseBytes) {
  ASSERT_TRUE(WordDatabase().SaveToFile(dir_.File("new.wdb")));
  EXPECT_EQ(Hex(dir_.Read("new.wdb")), "4F 80 00 00 00 00 00 00 00 00 00 00");
  // Counts above two billion are divided by ten in the file only; the file
  // replaces a longer one completely.
  dir_.Write("Bayes.wdb", std::string(120, '\x55'));
  WordDatabase db;
  db.PutRecord(0, WordRecord{0x804F, 40, 2000000005u});
  db.AddRecord(0x11223344, 2000000001u, 7);
  db.AddRecord(0x55667788, 2000000000u, 9);
  db.AddRecord(0x99AABBCC, 3, 4000000000u);
  ASSERT_TRUE(db.SaveToFile(dir_.File("Bayes.wdb")));
  EXPECT_EQ(dir_.Read("Bayes.wdb"), BayesRecord(0x804F, 4, 200000000u) + BayesRecord(0x11223344, 200000000u, 0) +
                                        BayesRecord(0x55667788, 2000000000u, 9) + BayesRecord(0x99AABBCC, 0, 400000000u));
  EXPECT_EQ(db.GetRecord(1).spamCount, 2000000001u);
  EXPECT_FALSE(db.SaveToFile(dir_.File("no-such-folder") + os::kPathSep + "Bayes.wdb"));
  EXPECT_THROW(db.GetRecord(4), std::out_of_range);
  EXPECT_THROW(db.PutRecord(-1, WordRecord{}), std::out_of_range);
}

TEST_F(BayesFiles, WordDatabaseLoad) {
  // Whole records only: a trailing piece is ignored, and a file without a
  // whole record starts from a new header record. A missing file fails and
  // leaves the list alone.
  const std::string two = BayesRecord(0x804F, 12, 34) + BayesRecord(0xDEADBEEF, 5, 1);
  std::string many = two;  // more than one block of records and one write buffer
  for (std::uint32_t i = 0; i < 20000; ++i) many += BayesRecord(0x10000000 + i, i, 1);
  const std::pair<std::string, std::string> cases[] = {
      {two + "\x01\x02\x03\x04\x05\x06", two}, {"", BayesRecord(0x804F, 0, 0)},
      {std::string(11, '\x7F'), BayesRecord(0x804F, 0, 0)}, {many + "\x01", many}};
  for (const auto& c : cases) {
    WordDatabase db;
    db.AddRecord(7, 1, 2);
    dir_.Write("Bayes.wdb", c.first);
    EXPECT_TRUE(db.LoadFromFile(dir_.File("Bayes.wdb")));
    EXPECT_FALSE(db.LoadFromFile(dir_.File("missing.wdb")));
    ASSERT_TRUE(db.SaveToFile(dir_.File("copy.wdb")));
    EXPECT_EQ(Hex(dir_.Read("copy.wdb")), Hex(c.second));
    EXPECT_EQ(db.IndexOfHash(7), -1);
    EXPECT_EQ(db.IndexOfHash(0xDEADBEEF), c.second.size() > 12 ? 1 : -1);
    EXPECT_EQ(db.LastWordIndexOfHash(0x10000000 + 19999), c.second == many ? 20001 : -1);
  }
}

TEST_F(BayesFiles, HeaderHashAnswersPositionZero) {
  WordDatabase db;
  for (const std::uint32_t hash : {0x1234, 0x804F, 0x804F}) db.AddRecord(hash, 1, 1);
  EXPECT_EQ(db.IndexOfHash(0x804F), 0);
  EXPECT_EQ(db.LastWordIndexOfHash(0x804F), 3);
  EXPECT_EQ(db.LastWordIndexOfHash(0x9999), -1);
  EXPECT_EQ(WordDatabase().LastWordIndexOfHash(0x804F), -1);  // the header is no word
}

TEST_F(BayesFiles, UndoDatabaseBytes) {
  UndoDatabase undo;
  EXPECT_FALSE(undo.LoadFromFile(dir_.File("Bayes.udb")));
  EXPECT_EQ(undo.AddRecord(0x11223344, true, 1.0), 0);
  EXPECT_EQ(undo.AddRecord(0xA0B0C0D0, false, -2.5), 1);
  ASSERT_TRUE(undo.SaveToFile(dir_.File("Bayes.udb")));
  EXPECT_EQ(Hex(dir_.Read("Bayes.udb")),
            "44 33 22 11 01 00 00 00 00 00 00 F0 3F D0 C0 B0 A0 00 00 00 00 00 00 00 04 C0");
  ASSERT_TRUE(UndoDatabase().SaveToFile(dir_.File("empty.udb")));
  EXPECT_EQ(dir_.Read("empty.udb"), "");
  // Loaded records are written back byte for byte, odd bytes included (an
  // IsSpam byte of 2, a signalling NaN); a trailing piece is ignored.
  const std::string image = std::string("\x01\0\0\0\x02\x01\0\0\0\0\0\xF0\x7F", 13) +
                            std::string("\xFF\xFF\xFF\xFF\0\x12\x34\x56\x78\x9A\xBC\xDE\x40", 13);
  dir_.Write("odd.udb", image + "\x01\x02\x03");
  ASSERT_TRUE(undo.LoadFromFile(dir_.File("odd.udb")));
  ASSERT_EQ(undo.Count(), 2);
  EXPECT_TRUE(undo.GetRecord(0).isSpam && !undo.GetRecord(1).isSpam);
  EXPECT_EQ(undo.IndexOfHash(0xFFFFFFFF), 1);
  ASSERT_TRUE(undo.SaveToFile(dir_.File("copy.udb")));
  EXPECT_EQ(Hex(dir_.Read("copy.udb")), Hex(image));
}

// Position of each hash by a plain scan: the first, or the last from position 1.
std::map<std::uint32_t, int> Scan(int count, const std::function<std::uint32_t(int)>& hashAt, bool last) {
  std::map<std::uint32_t, int> at;
  for (int i = 0; i < count; ++i)
    if (last ? i >= 1 : !at.count(hashAt(i))) at[hashAt(i)] = i;
  return at;
}

TEST_F(BayesFiles, IndexAgreesWithScansUnderRandomChanges) {
  std::mt19937 rng(20240611);
  for (int poolSize : {5, 60, 3000}) {
    std::vector<std::uint32_t> pool{0x804F, 0};  // a CRC of zero is an ordinary hash
    for (int i = 0; i < poolSize; ++i) pool.push_back(static_cast<std::uint32_t>(rng()));
    auto pick = [&] { return pool[rng() % pool.size()]; };
    WordDatabase db;
    UndoDatabase undo;
    for (int step = 0; step < 5000; ++step) {
      const unsigned op = rng() % 1000;
      if (op < 600) {
        db.AddRecord(pick(), 1, 2);
        undo.AddRecord(pick(), true, 0);
      } else if (op < 996) {
        db.PutRecord(static_cast<int>(rng() % static_cast<unsigned>(db.Count())), WordRecord{pick(), 3, 4});
        if (undo.Count() > 0)
          undo.PutRecord(static_cast<int>(rng() % static_cast<unsigned>(undo.Count())), UndoRecord{pick(), false, 1});
      } else {  // reload from the file, or start over from an empty one
        const bool empty = op == 999;
        ASSERT_TRUE(empty ? WordDatabase().SaveToFile(dir_.File("w")) : db.SaveToFile(dir_.File("w")));
        ASSERT_TRUE(empty ? UndoDatabase().SaveToFile(dir_.File("u")) : undo.SaveToFile(dir_.File("u")));
        ASSERT_TRUE(db.LoadFromFile(dir_.File("w")));
        ASSERT_TRUE(undo.LoadFromFile(dir_.File("u")));
      }
      if (step % 500 == 0 || step < 40 || op >= 996) {
        auto word = [&](int i) { return db.At(i).hash; };
        const auto first = Scan(db.Count(), word, false), last = Scan(db.Count(), word, true),
                   undoFirst = Scan(undo.Count(), [&](int i) { return undo.GetRecord(i).hash; }, false);
        auto at = [](const std::map<std::uint32_t, int>& m, std::uint32_t h) { return m.count(h) ? m.at(h) : -1; };
        for (std::uint32_t h : pool) {
          ASSERT_EQ(db.IndexOfHash(h), at(first, h)) << h;
          ASSERT_EQ(db.LastWordIndexOfHash(h), at(last, h)) << h;
          ASSERT_EQ(undo.IndexOfHash(h), at(undoFirst, h)) << h;
        }
      }
    }
  }
}

}  // namespace
}  // namespace quelta
