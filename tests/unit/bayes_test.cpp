// The Bayes filter: word table, the two database files byte for byte, the
// hash index against plain scans, classification, training and the
// BAYESSCORE option letters.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bayes/classifier.h"
#include "bayes/word_database.h"
#include "bayes/undo_database.h"
#include "bayes/word_table.h"
#include "base/strings.h"
#include "message/parser.h"
#include "os/env.h"
#include "app/session.h"
#include "engine/evaluator.h"
#include "rules/rule_store.h"

namespace fs = std::filesystem;
using namespace quelta;

namespace {

std::string Le32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// One "Bayes.wdb" record as the file holds it.
std::string WordRec(std::uint32_t hash, std::uint32_t spam, std::uint32_t ham) {
  return Le32(hash) + Le32(spam) + Le32(ham);
}

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// A scratch folder under the system temp folder, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    std::random_device rd;
    std::ostringstream name;
    name << "quelta_bayes_" << std::hex << rd() << rd();
    path_ = fs::temp_directory_path() / name.str();
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  // The folder with the plug-in's separator at its end.
  std::string Folder() const { return path_.string() + os::kPathSep; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream f(path_ / name, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string Read(const std::string& name) const {
    std::ifstream f(path_ / name, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  }
  bool Exists(const std::string& name) const { return fs::exists(path_ / name); }

 private:
  fs::path path_;
};

// Points the Bayes and log folders at a scratch folder and restores every
// part of the process-wide record the filter touches.
class BayesFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    PluginState& p = Plugin();
    savedConfig_ = p.Config;
    savedSettings_ = p.Settings;
    savedStats_ = p.Stats;
    savedUnchanged_ = p.BayesUnchanged.load();
    p.Config.BayesDB = dir_.Folder();
    p.Config.LogPath = dir_.Folder();
    p.Settings.MinWordCount = 3;
    p.Settings.MaxWords = 200;
    p.Settings.MaxSigWords = 25;
    p.Settings.BayesExtendedLogging = false;
    p.Settings.BayesEnabled = true;
    p.Stats = Statistics{};
    p.BayesUnchanged = true;
  }
  void TearDown() override {
    PluginState& p = Plugin();
    p.Config = savedConfig_;
    p.Settings = savedSettings_;
    p.Stats = savedStats_;
    p.BayesUnchanged = savedUnchanged_;
  }

  // The example database: S = 200, H = 300 and the words a, b, c, d.
  void WriteExample(std::uint32_t spamMsgs = 200, std::uint32_t hamMsgs = 300) {
    dir_.Write("Bayes.wdb", WordRec(0x804F, spamMsgs, hamMsgs) + WordRec(Crc32("a"), 30, 0) +
                                WordRec(Crc32("b"), 2, 30) + WordRec(Crc32("c"), 1, 1) +
                                WordRec(Crc32("d"), 4, 6));
    dir_.Write("Bayes.udb", "");
  }

  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::string all = dir_.Read("Filter.log");
    std::size_t pos = 0;
    while (pos < all.size()) {
      std::size_t end = all.find("\r\n", pos);
      if (end == std::string::npos) end = all.size();
      lines.push_back(all.substr(pos, end - pos));
      pos = end + 2;
    }
    return lines;
  }
  bool Logged(const std::string& line) const {
    for (const auto& l : LogLines())
      if (l.find(line) != std::string::npos) return true;
    return false;
  }

  TempFolder dir_;

 private:
  Locations savedConfig_;
  PluginSettings savedSettings_;
  Statistics savedStats_;
  bool savedUnchanged_ = true;
};

WordTable Table(const std::vector<std::string>& words) {
  WordTable t;
  for (const auto& w : words) t.Add(w);
  return t;
}

std::vector<std::string> WordsOf(const WordTable& t) {
  std::vector<std::string> out;
  for (const auto& e : t.Items()) out.push_back(e.word);
  return out;
}

}  // namespace

// ---- Word table ---------------------------------------------------------------

TEST(BayesWordList, RepeatedWordCountsOccurrencesWhateverTheCountArgument) {
  WordTable t;
  t.Add("s:hello");
  t.Add("s:hello");
  ASSERT_EQ(t.Count(), 1);
  EXPECT_EQ(t.At(0).count, 2);
  EXPECT_EQ(t.At(0).hash, Crc32("s:hello"));
  t.Add("s:hello", 0, 5);
  EXPECT_EQ(t.At(0).count, 3);
  t.Add("other", 0, 0);
  EXPECT_EQ(t.At(1).count, 1);  // a count of 0 is taken as 1
  t.Add("third", 0, 7);
  EXPECT_EQ(t.At(2).count, 7);
}

TEST(BayesWordList, SortByDistanceKeepsEqualDistancesInMessageOrder) {
  WordTable t;
  const double d[] = {0.2, 0.4, 0.2, 0.4};
  const char* w[] = {"first", "second", "third", "fourth"};
  for (int i = 0; i < 4; ++i) t.Add(w[i], 0, 1, d[i], 0);
  t.SortByDistance();
  EXPECT_EQ(WordsOf(t), (std::vector<std::string>{"second", "fourth", "first", "third"}));
  for (int i = 0; i < t.Count(); ++i) EXPECT_EQ(t.IndexOfHash(t.At(i).hash), i);
}

TEST(BayesWordList, RemoveInsignificantUsesTheOpenBandAroundZero) {
  struct Row {
    double distance;
    bool kept;
  };
  const Row rows[] = {{0.0, false},       {-0.0, false},      {0.00000005, false},
                      {-0.00000005, false}, {0.0000001, true}, {-0.0000001, true},
                      {0.3, true},        {-0.2, true}};
  WordTable t;
  int i = 0;
  for (const Row& r : rows) t.Add("w" + std::to_string(i++), 0, 1, r.distance, 0);
  t.RemoveInsignificant();
  std::vector<std::string> expected;
  i = 0;
  for (const Row& r : rows) {
    if (r.kept) expected.push_back("w" + std::to_string(i));
    ++i;
  }
  EXPECT_EQ(WordsOf(t), expected);
  for (int k = 0; k < t.Count(); ++k) EXPECT_EQ(t.IndexOfHash(t.At(k).hash), k);
  EXPECT_EQ(t.IndexOfHash(Crc32("w0")), -1);
}

// ---- Word database file -------------------------------------------------------

TEST(BayesWordBase, NewDatabaseSavedAtOnceIsTheHeaderRecord) {
  TempFolder dir;
  WordDatabase db;
  ASSERT_TRUE(db.SaveToFile(dir.File("Bayes.wdb")));
  EXPECT_EQ(Hex(dir.Read("Bayes.wdb")), "4F 80 00 00 00 00 00 00 00 00 00 00");
}

TEST(BayesWordBase, CountsAboveTwoBillionAreScaledInTheFileOnly) {
  TempFolder dir;
  WordDatabase db;
  db.PutRecord(0, WordRecord{0x804F, 40, 2000000005u});  // header scaled too
  db.AddRecord(0x11223344, 2000000001u, 7);
  db.AddRecord(0x55667788, 2000000000u, 9);  // exactly the limit: unchanged
  db.AddRecord(0x99AABBCC, 3, 4000000000u);
  ASSERT_TRUE(db.SaveToFile(dir.File("Bayes.wdb")));
  EXPECT_EQ(dir.Read("Bayes.wdb"),
            WordRec(0x804F, 4, 200000000u) + WordRec(0x11223344, 200000000u, 0) +
                WordRec(0x55667788, 2000000000u, 9) + WordRec(0x99AABBCC, 0, 400000000u));
  EXPECT_EQ(db.GetRecord(1).spamCount, 2000000001u);
  EXPECT_EQ(db.GetRecord(1).hamCount, 7u);
  EXPECT_EQ(db.GetRecord(0).hamCount, 2000000005u);
}

TEST(BayesWordBase, ThirtyByteFileLoadsTwoWholeRecords) {
  TempFolder dir;
  const std::string two = WordRec(0x804F, 12, 34) + WordRec(0xDEADBEEF, 0xFFFFFFFF, 1);
  dir.Write("Bayes.wdb", two + "\x01\x02\x03\x04\x05\x06");
  WordDatabase db;
  ASSERT_TRUE(db.LoadFromFile(dir.File("Bayes.wdb")));
  ASSERT_EQ(db.Count(), 2);
  EXPECT_EQ(db.GetRecord(1).hash, 0xDEADBEEFu);
  EXPECT_EQ(db.GetRecord(1).spamCount, 0xFFFFFFFFu);
  EXPECT_EQ(db.IndexOfHash(0xDEADBEEF), 1);
  ASSERT_TRUE(db.SaveToFile(dir.File("again.wdb")));
  // 0xFFFFFFFF is above the limit, so that record is written scaled.
  EXPECT_EQ(dir.Read("again.wdb"), WordRec(0x804F, 12, 34) + WordRec(0xDEADBEEF, 429496729u, 0));
}

TEST(BayesWordBase, HeaderHashAnswersPositionZeroEvenWhenTrainedAsAWord) {
  WordDatabase db;
  db.AddRecord(0x1234, 1, 1);
  db.AddRecord(0x804F, 5, 0);
  db.AddRecord(0x804F, 0, 5);
  EXPECT_EQ(db.IndexOfHash(0x804F), 0);
  EXPECT_EQ(db.LastWordIndexOfHash(0x804F), 3);
  EXPECT_EQ(db.IndexOfHash(0x9999), -1);
  EXPECT_EQ(db.LastWordIndexOfHash(0x9999), -1);
  WordDatabase fresh;
  EXPECT_EQ(fresh.LastWordIndexOfHash(0x804F), -1);  // the header is no word record
}

TEST(BayesWordBase, MissingFileFailsAndLeavesTheListAlone) {
  TempFolder dir;
  WordDatabase db;
  db.AddRecord(7, 1, 2);
  EXPECT_FALSE(db.LoadFromFile(dir.File("Bayes.wdb")));
  EXPECT_EQ(db.Count(), 2);
  EXPECT_EQ(db.IndexOfHash(7), 1);
}

TEST(BayesWordBase, FileWithoutAWholeRecordStartsFromANewHeader) {
  for (std::size_t size : {0u, 11u}) {
    TempFolder dir;
    dir.Write("Bayes.wdb", std::string(size, '\x7F'));
    WordDatabase db;
    db.AddRecord(7, 1, 2);
    EXPECT_TRUE(db.LoadFromFile(dir.File("Bayes.wdb"))) << size;
    ASSERT_EQ(db.Count(), 1) << size;
    EXPECT_EQ(db.GetRecord(0).hash, 0x804Fu);
    EXPECT_EQ(db.GetRecord(0).spamCount, 0u);
    EXPECT_EQ(db.IndexOfHash(7), -1);
  }
}

TEST(BayesWordBase, SaveReplacesALongerFileCompletely) {
  TempFolder dir;
  dir.Write("Bayes.wdb", std::string(120, '\x55'));
  WordDatabase db;
  db.AddRecord(0x01020304, 1, 2);
  ASSERT_TRUE(db.SaveToFile(dir.File("Bayes.wdb")));
  EXPECT_EQ(dir.Read("Bayes.wdb"), WordRec(0x804F, 0, 0) + WordRec(0x01020304, 1, 2));
}

TEST(BayesWordBase, SaveIntoAMissingFolderFails) {
  TempFolder dir;
  WordDatabase db;
  EXPECT_FALSE(db.SaveToFile(dir.File("no-such-folder") + os::kPathSep + "Bayes.wdb"));
}

TEST(BayesWordBase, BadPositionsThrowOutOfRange) {
  WordDatabase db;
  EXPECT_THROW(db.GetRecord(1), std::out_of_range);
  EXPECT_THROW(db.GetRecord(-1), std::out_of_range);
  EXPECT_THROW(db.PutRecord(1, WordRecord{}), std::out_of_range);
}

// ---- Undo database file -------------------------------------------------------

TEST(BayesUndoBase, RecordsArePacked13ByteLittleEndian) {
  TempFolder dir;
  UndoDatabase undo;
  EXPECT_EQ(undo.AddRecord(0x11223344, true, 1.0), 0);
  EXPECT_EQ(undo.AddRecord(0xA0B0C0D0, false, -2.5), 1);
  ASSERT_TRUE(undo.SaveToFile(dir.File("Bayes.udb")));
  EXPECT_EQ(Hex(dir.Read("Bayes.udb")),
            "44 33 22 11 01 00 00 00 00 00 00 F0 3F "
            "D0 C0 B0 A0 00 00 00 00 00 00 00 04 C0");
}

TEST(BayesUndoBase, LoadedRecordsAreWrittenBackByteForByte) {
  TempFolder dir;
  // Odd bytes on purpose: an IsSpam byte of 2 and a signalling-NaN date.
  const std::string image =
      Bytes({0x01, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x7F,
             0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0x40});
  dir.Write("Bayes.udb", image + Bytes({1, 2, 3, 4, 5}));
  UndoDatabase undo;
  ASSERT_TRUE(undo.LoadFromFile(dir.File("Bayes.udb")));
  ASSERT_EQ(undo.Count(), 2);
  EXPECT_EQ(undo.IndexOfHash(1), 0);
  EXPECT_EQ(undo.IndexOfHash(0xFFFFFFFF), 1);
  EXPECT_TRUE(undo.GetRecord(0).isSpam);
  EXPECT_FALSE(undo.GetRecord(1).isSpam);
  ASSERT_TRUE(undo.SaveToFile(dir.File("copy.udb")));
  EXPECT_EQ(Hex(dir.Read("copy.udb")), Hex(image));
}

TEST(BayesUndoBase, MissingFileFailsAndNewBaseIsEmpty) {
  TempFolder dir;
  UndoDatabase undo;
  EXPECT_EQ(undo.Count(), 0);
  undo.AddRecord(5, true, 0);
  EXPECT_FALSE(undo.LoadFromFile(dir.File("Bayes.udb")));
  EXPECT_EQ(undo.Count(), 1);
  ASSERT_TRUE(UndoDatabase().SaveToFile(dir.File("empty.udb")));
  EXPECT_EQ(dir.Read("empty.udb"), "");
}

// ---- The index against plain scans --------------------------------------------

namespace {

template <class HashAt>
void ExpectScansAgree(int count, HashAt hashAt, const std::vector<std::uint32_t>& pool,
                      const std::function<int(std::uint32_t)>& first,
                      const std::function<int(std::uint32_t)>& lastWord, const char* what) {
  std::map<std::uint32_t, int> f, l;
  for (int i = 0; i < count; ++i) {
    const std::uint32_t h = hashAt(i);
    if (!f.count(h)) f[h] = i;
    if (i >= 1) l[h] = i;
  }
  for (std::uint32_t h : pool) {
    const int ef = f.count(h) ? f[h] : -1;
    ASSERT_EQ(first(h), ef) << what << " first of " << h;
    if (lastWord) {
      const int el = l.count(h) ? l[h] : -1;
      ASSERT_EQ(lastWord(h), el) << what << " last of " << h;
    }
  }
}

}  // namespace

TEST(BayesIndex, WordBaseIndexAgreesWithScansUnderRandomChanges) {
  std::mt19937 rng(20240611);
  for (int poolSize : {5, 60, 3000}) {
    std::vector<std::uint32_t> pool;
    pool.push_back(0x804F);
    for (int i = 0; i < poolSize; ++i) pool.push_back(static_cast<std::uint32_t>(rng()));
    pool.push_back(0);  // a CRC of zero is an ordinary hash
    std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
    WordDatabase db;
    for (int step = 0; step < 12000; ++step) {
      const unsigned op = rng() % 100;
      if (op < 60 || db.Count() == 0) {
        db.AddRecord(pool[pick(rng)], 1, 2);
      } else if (op < 98) {
        const int at = static_cast<int>(rng() % static_cast<unsigned>(db.Count()));
        WordRecord r = db.GetRecord(at);
        r.hash = pool[pick(rng)];
        db.PutRecord(at, r);
      } else if (op < 99) {
        db.Deserialize(db.Serialize());
      } else {
        db.Clear();
      }
      if (step % 400 == 0 || step < 50) {
        ExpectScansAgree(
            db.Count(), [&](int i) { return db.At(i).hash; }, pool,
            [&](std::uint32_t h) { return db.IndexOfHash(h); },
            [&](std::uint32_t h) { return db.LastWordIndexOfHash(h); }, "words");
      }
    }
  }
}

TEST(BayesIndex, UndoBaseIndexAgreesWithScansUnderRandomChanges) {
  std::mt19937 rng(77);
  std::vector<std::uint32_t> pool;
  for (int i = 0; i < 400; ++i) pool.push_back(static_cast<std::uint32_t>(rng()));
  std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
  UndoDatabase undo;
  for (int step = 0; step < 8000; ++step) {
    if (rng() % 2 == 0 || undo.Count() == 0) {
      undo.AddRecord(pool[pick(rng)], rng() % 2 == 0, 1.5);
    } else {
      const int at = static_cast<int>(rng() % static_cast<unsigned>(undo.Count()));
      UndoRecord r = undo.GetRecord(at);
      r.hash = pool[pick(rng)];
      undo.PutRecord(at, r);
    }
    if (step % 250 == 0) {
      ExpectScansAgree(
          undo.Count(), [&](int i) { return undo.GetRecord(i).hash; }, pool,
          [&](std::uint32_t h) { return undo.IndexOfHash(h); }, nullptr, "undo");
    }
  }
}

// ---- Start-up and shutdown ----------------------------------------------------

TEST_F(BayesFixture, StartUpLoadsBothFilesAndLogsTheFigures) {
  WriteExample();
  BayesFilter bayes;
  EXPECT_TRUE(Logged("Quelta: Bayes databases loaded successfully (W=5/S=200/H=300)."));
  EXPECT_FALSE(Logged("WARNING"));
  EXPECT_EQ(bayes.WordRecords(), 5u);
  EXPECT_EQ(bayes.SpamMessages(), 200u);
  EXPECT_EQ(bayes.HamMessages(), 300u);
}

TEST_F(BayesFixture, StartUpWarnsWhenTheDatabaseIsHardlyTrained) {
  WriteExample(49, 300);
  BayesFilter bayes;
  EXPECT_TRUE(Logged("Quelta: Bayes databases loaded successfully (W=5/S=49/H=300)."));
  EXPECT_TRUE(Logged("WARNING: Bayes database not trained (S=49, H=300)!"));
}

TEST_F(BayesFixture, StartUpWithoutFilesWarnsAndKeepsTheBoundsAtZero) {
  BayesFilter bayes;
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "WARNING: Bayes databases not found!");
  EXPECT_EQ(lines[1], "WARNING: Bayes database not trained (S=0, H=0)!");
  EXPECT_EQ(bayes.WordRecords(), 1u);
  EXPECT_EQ(bayes.MinProb(), 0.0);
  EXPECT_EQ(bayes.MaxProb(), 0.0);
}

TEST_F(BayesFixture, OnlyTheUndoFileMissingLoadsTheWordsWithoutAnError) {
  WriteExample();
  fs::remove(dir_.File("Bayes.udb"));
  BayesFilter bayes;
  EXPECT_TRUE(Logged("WARNING: Bayes databases not found!"));
  EXPECT_FALSE(Logged("ERROR"));
  EXPECT_FALSE(Logged("loaded successfully"));
  EXPECT_EQ(bayes.WordRecords(), 5u);
  EXPECT_DOUBLE_EQ(bayes.MinProb(), 0.0001);  // the word file did load
}

TEST_F(BayesFixture, BoundsFollowTheMessageCountsOfTheHeader) {
  struct Row {
    std::uint32_t s, h;
    double minProb, maxProb;
  };
  const Row rows[] = {{0, 99, 0.001, 0.999},           {99, 100, 0.0001, 0.999},
                      {100, 999, 0.0001, 0.9999},      {999, 1000, 0.00001, 0.9999},
                      {1000, 9999, 0.00001, 0.99999},  {9999, 10000, 0.000001, 0.99999},
                      {10000, 4000000000u, 0.000001, 0.999999}};
  for (const Row& r : rows) {
    dir_.Write("Bayes.wdb", WordRec(0x804F, r.s, r.h));
    dir_.Write("Bayes.udb", "");
    BayesFilter bayes;
    EXPECT_EQ(bayes.MinProb(), r.minProb) << "H=" << r.h;
    EXPECT_EQ(bayes.MaxProb(), r.maxProb) << "S=" << r.s;
  }
}

TEST_F(BayesFixture, ShutdownWithTheFlagSetSavesNothing) {
  WriteExample();
  const std::string before = dir_.Read("Bayes.wdb");
  {
    BayesFilter bayes;
    WordTable t = Table({"a"});
    bayes.Learn("Subject: x\r\n", t, true, false);
    Plugin().BayesUnchanged = true;  // as after deleting the files in the options
  }
  EXPECT_TRUE(Logged("Quelta: Bayes databases not saved."));
  EXPECT_EQ(dir_.Read("Bayes.wdb"), before);
  EXPECT_EQ(dir_.Read("Bayes.udb"), "");
}

TEST_F(BayesFixture, ShutdownAfterTrainingWritesBothFiles) {
  WriteExample();
  {
    BayesFilter bayes;
    WordTable t = Table({"a", "newword"});
    t.Add("newword");
    bayes.Learn("Subject: x\r\n", t, true, false);
    EXPECT_FALSE(Plugin().BayesUnchanged.load());
  }
  EXPECT_TRUE(Logged("Quelta: Bayes databases saved successfully (W=6/S=201/H=300)."));
  EXPECT_EQ(dir_.Read("Bayes.wdb"),
            WordRec(0x804F, 201, 300) + WordRec(Crc32("a"), 31, 0) + WordRec(Crc32("b"), 2, 30) +
                WordRec(Crc32("c"), 1, 1) + WordRec(Crc32("d"), 4, 6) +
                WordRec(Crc32("newword"), 2, 0));
  const std::string undo = dir_.Read("Bayes.udb");
  ASSERT_EQ(undo.size(), 13u);
  EXPECT_EQ(undo.substr(0, 5), Le32(Crc32("Subject: x\r\n")) + "\x01");
}

TEST_F(BayesFixture, AFailedSaveIsLoggedPerFile) {
  WriteExample();
  fs::remove(dir_.File("Bayes.udb"));
  fs::create_directory(dir_.File("Bayes.udb"));  // cannot be replaced by a file
  {
    BayesFilter bayes;
    WordTable t = Table({"a"});
    bayes.Learn("Subject: y\r\n", t, false, false);
  }
  EXPECT_TRUE(Logged("ERROR: Saving Bayes undofile failed!"));
  EXPECT_FALSE(Logged("ERROR: Saving Bayes datafile failed!"));
  EXPECT_FALSE(Logged("saved successfully"));
  EXPECT_EQ(dir_.Read("Bayes.wdb").substr(0, 12), WordRec(0x804F, 200, 301));
  EXPECT_TRUE(fs::is_directory(dir_.File("Bayes.udb")));
  // Nothing is left behind besides the log and the two names.
  int entries = 0;
  for (const auto& e : fs::directory_iterator(dir_.Folder())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 3);
}

// ---- Classification -------------------------------------------------------------

TEST_F(BayesFixture, WorkedExampleGives54WithTheWordListing) {
  WriteExample();
  Plugin().Settings.BayesExtendedLogging = true;
  BayesFilter bayes;
  EXPECT_EQ(bayes.MinProb(), 0.0001);
  EXPECT_EQ(bayes.MaxProb(), 0.9999);
  WordTable t = Table({"a", "b", "c", "d"});
  std::string debug = "left over";
  EXPECT_EQ(bayes.Classify(t, debug), 54);
  EXPECT_EQ(debug, "Bayes words:\r\n a (V=100/P=100)\r\n b (V=9/P=82)\r\n");
  ASSERT_EQ(WordsOf(t), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(t.At(0).probability, 0.9999);
  EXPECT_DOUBLE_EQ(t.At(0).distance, 0.4999);
  EXPECT_DOUBLE_EQ(t.At(1).probability, 1.0 / 11.0);
  EXPECT_DOUBLE_EQ(t.At(1).distance, 0.5 - 1.0 / 11.0);
  EXPECT_EQ(Plugin().Stats.BayesMessagesChecked, 1u);
}

TEST_F(BayesFixture, WithoutExtendedLoggingTheDebugTextIsLeftAlone) {
  WriteExample();
  BayesFilter bayes;
  WordTable t = Table({"d", "b", "a"});
  std::string debug = "untouched";
  EXPECT_EQ(bayes.Classify(t, debug), 54);
  EXPECT_EQ(debug, "untouched");
  EXPECT_EQ(WordsOf(t), (std::vector<std::string>{"a", "b"}));
}

TEST_F(BayesFixture, NoKnownWordGivesZeroAndIsNotCounted) {
  WriteExample();
  Plugin().Settings.BayesExtendedLogging = true;
  BayesFilter bayes;
  WordTable t = Table({"unknown", "words", "only", "c"});
  std::string debug;
  EXPECT_EQ(bayes.Classify(t, debug), 0);
  EXPECT_EQ(t.Count(), 0);
  EXPECT_EQ(debug, "");
  EXPECT_EQ(Plugin().Stats.BayesMessagesChecked, 0u);
}

TEST_F(BayesFixture, MeanAbove0999CountsAsCertainSpam) {
  WriteExample();
  BayesFilter bayes;
  WordTable t = Table({"a"});
  std::string debug;
  EXPECT_EQ(bayes.Classify(t, debug), 100);
}

TEST_F(BayesFixture, OnlyTheFirstMaxWordsWordsAreLookedAt) {
  WriteExample();
  Plugin().Settings.MaxWords = 2;
  BayesFilter bayes;
  WordTable t = Table({"x-unknown", "a", "b"});
  std::string debug;
  EXPECT_EQ(bayes.Classify(t, debug), 100);  // b was cut before the look-up
  EXPECT_EQ(WordsOf(t), (std::vector<std::string>{"a"}));
}

TEST_F(BayesFixture, OnlyMaxSigWordsMostSignificantWordsCount) {
  WriteExample();
  Plugin().Settings.MaxSigWords = 1;
  BayesFilter bayes;
  WordTable t = Table({"b", "a"});
  std::string debug;
  EXPECT_EQ(bayes.Classify(t, debug), 100);
  EXPECT_EQ(WordsOf(t), (std::vector<std::string>{"a"}));
}

TEST_F(BayesFixture, MinWordCountDecidesWhichWordsAreNeutral) {
  // S = H = 128 and "c" with 3 spam, 1 ham: p = 3/4 exactly.
  struct Row {
    std::int32_t minWordCount, result, left;
  };
  const Row rows[] = {{3, 75, 1}, {4, 0, 0}, {1, 75, 1}};
  for (const Row& r : rows) {
    dir_.Write("Bayes.wdb", WordRec(0x804F, 128, 128) + WordRec(Crc32("c"), 3, 1));
    dir_.Write("Bayes.udb", "");
    Plugin().Settings.MinWordCount = r.minWordCount;
    BayesFilter bayes;
    WordTable t = Table({"c"});
    std::string debug;
    EXPECT_EQ(bayes.Classify(t, debug), r.result) << r.minWordCount;
    ASSERT_EQ(t.Count(), r.left) << r.minWordCount;
    if (r.left) EXPECT_EQ(t.At(0).probability, 0.75);
  }
}

TEST_F(BayesFixture, TheLastOfSeveralRecordsWithOneHashDecides) {
  const std::uint32_t h = Crc32("twice");
  dir_.Write("Bayes.wdb", WordRec(0x804F, 200, 300) + WordRec(h, 0, 30) + WordRec(h, 30, 0));
  dir_.Write("Bayes.udb", "");
  BayesFilter bayes;
  WordTable t = Table({"twice"});
  std::string debug;
  EXPECT_EQ(bayes.Classify(t, debug), 100);
  // Training meets the first of them.
  bayes.Learn("Subject: t\r\n", Table({"twice"}), false, false);
  EXPECT_EQ(bayes.WordBase().GetRecord(1).hamCount, 31u);
  EXPECT_EQ(bayes.WordBase().GetRecord(2).hamCount, 0u);
}

TEST_F(BayesFixture, AWordWithTheHeaderHashIsANewRecordAtEveryTraining) {
  WriteExample();
  BayesFilter bayes;
  WordTable t;
  t.Add("header-twin", 0x804F, 5);
  bayes.Learn("Subject: one\r\n", t, true, false);
  bayes.Learn("Subject: two\r\n", t, false, false);
  WordDatabase& db = bayes.WordBase();
  ASSERT_EQ(db.Count(), 7);
  EXPECT_EQ(db.GetRecord(0).spamCount, 201u);
  EXPECT_EQ(db.GetRecord(0).hamCount, 301u);
  EXPECT_EQ(db.GetRecord(5).spamCount, 5u);
  EXPECT_EQ(db.GetRecord(6).hamCount, 5u);
  EXPECT_EQ(db.IndexOfHash(0x804F), 0);
  // Classification takes the later (ham) record: probability at MinProb.
  std::string debug;
  WordTable c;
  c.Add("header-twin", 0x804F, 1);
  EXPECT_EQ(bayes.Classify(c, debug), 0);
  ASSERT_EQ(c.Count(), 1);
  EXPECT_EQ(c.At(0).probability, 0.0001);
}

TEST_F(BayesFixture, WithoutAWordFileTrainedWordsGetProbabilityZero) {
  BayesFilter bayes;  // no files: both bounds 0
  WordTable t;
  t.Add("alpha", 0, 4);
  t.Add("beta", 0, 2);
  bayes.Learn("Subject: z\r\n", t, true, false);
  WordTable c = Table({"alpha", "beta"});
  std::string debug;
  EXPECT_EQ(bayes.Classify(c, debug), 0);
  ASSERT_EQ(WordsOf(c), (std::vector<std::string>{"alpha"}));  // beta: 2 is not above 3
  EXPECT_EQ(c.At(0).probability, 0.0);
  EXPECT_EQ(c.At(0).distance, 0.5);
  EXPECT_EQ(Plugin().Stats.BayesMessagesChecked, 1u);
}

TEST_F(BayesFixture, DebugListingRoundsHalvesToEven) {
  // S = H = 128. "five": p = 0.625 exactly: V = 62.5 -> 62, P = 0.125 * 200 = 25.
  // "three": p = 0.375 exactly: V = 37.5 -> 38, P = 25. Equal distances keep
  // message order.
  dir_.Write("Bayes.wdb", WordRec(0x804F, 128, 128) + WordRec(Crc32("five"), 80, 48) +
                              WordRec(Crc32("three"), 48, 80));
  dir_.Write("Bayes.udb", "");
  Plugin().Settings.BayesExtendedLogging = true;
  BayesFilter bayes;
  WordTable t = Table({"five", "three"});
  std::string debug;
  EXPECT_EQ(bayes.Classify(t, debug), 50);
  EXPECT_EQ(debug, "Bayes words:\r\n five (V=62/P=25)\r\n three (V=38/P=25)\r\n");
}

// ---- Training -----------------------------------------------------------------

TEST_F(BayesFixture, TrainingRetrainingAndReclassification) {
  WriteExample();
  BayesFilter bayes;
  WordDatabase& db = bayes.WordBase();
  WordTable t;
  t.Add("a", 0, 1);
  t.Add("a");
  t.Add("b", 0, 1);
  const std::string header = "From: someone\r\nSubject: offer\r\n";
  const double before = os::LocalNow();

  bayes.Learn(header, t, true, false);
  EXPECT_EQ(db.GetRecord(0).spamCount, 201u);
  EXPECT_EQ(db.GetRecord(0).hamCount, 300u);
  EXPECT_EQ(db.GetRecord(1).spamCount, 32u);  // a: 30 + 2
  EXPECT_EQ(db.GetRecord(2).spamCount, 3u);   // b: 2 + 1
  ASSERT_EQ(bayes.UndoBase().Count(), 1);
  UndoRecord u = bayes.UndoBase().GetRecord(0);
  EXPECT_EQ(u.hash, Crc32(header));
  EXPECT_TRUE(u.isSpam);
  EXPECT_GE(u.trainedAt, before - 1.0 / 86400);
  EXPECT_LE(u.trainedAt, os::LocalNow() + 1.0 / 86400);

  // The same class again: only the date of the undo record changes.
  const std::string image = db.Serialize();
  bayes.Learn(header, t, true, false);
  EXPECT_EQ(db.Serialize(), image);
  EXPECT_EQ(bayes.UndoBase().Count(), 1);
  EXPECT_GE(bayes.UndoBase().GetRecord(0).trainedAt, u.trainedAt);

  // The other class: the counts move.
  bayes.Learn(header, t, false, false);
  EXPECT_EQ(db.GetRecord(0).spamCount, 200u);
  EXPECT_EQ(db.GetRecord(0).hamCount, 301u);
  EXPECT_EQ(db.GetRecord(1).spamCount, 30u);
  EXPECT_EQ(db.GetRecord(1).hamCount, 2u);
  EXPECT_EQ(db.GetRecord(2).spamCount, 2u);
  EXPECT_EQ(db.GetRecord(2).hamCount, 31u);
  EXPECT_EQ(db.Count(), 5);
  EXPECT_FALSE(bayes.UndoBase().GetRecord(0).isSpam);
  EXPECT_EQ(Plugin().Stats.BayesReClassAsHam, 1u);
  EXPECT_EQ(Plugin().Stats.BayesReClassAsSpam, 0u);
  EXPECT_EQ(Plugin().Stats.BayesLearnAsSpam, 0u);
}

TEST_F(BayesFixture, RetrainingNeverTakesACountBelowWhatIsThere) {
  // "w" was trained once as spam with Count 3; its count was scaled to 2 since.
  const std::string header = "Subject: scaled\r\n";
  dir_.Write("Bayes.wdb", WordRec(0x804F, 60, 0) + WordRec(Crc32("w"), 2, 0));
  dir_.Write("Bayes.udb", Le32(Crc32(header)) + std::string("\x01", 1) + std::string(8, '\0'));
  BayesFilter bayes;
  WordTable t;
  t.Add("w", 0, 3);
  bayes.Learn(header, t, false, true);
  WordDatabase& db = bayes.WordBase();
  EXPECT_EQ(db.GetRecord(1).spamCount, 2u);
  EXPECT_EQ(db.GetRecord(1).hamCount, 3u);
  EXPECT_EQ(db.GetRecord(0).spamCount, 59u);
  EXPECT_EQ(db.GetRecord(0).hamCount, 1u);
  EXPECT_EQ(Plugin().Stats.BayesReClassAsHam, 1u);
  EXPECT_EQ(Plugin().Stats.BayesLearnAsHam, 0u);  // a re-classification is no new learning
}

TEST_F(BayesFixture, UndoOfTheHeaderStopsAtZero) {
  const std::string header = "Subject: zero\r\n";
  dir_.Write("Bayes.wdb", WordRec(0x804F, 7, 0));
  dir_.Write("Bayes.udb", Le32(Crc32(header)) + std::string(9, '\0'));  // trained as ham
  BayesFilter bayes;
  bayes.Learn(header, Table({"word"}), true, false);
  EXPECT_EQ(bayes.WordBase().GetRecord(0).spamCount, 8u);
  EXPECT_EQ(bayes.WordBase().GetRecord(0).hamCount, 0u);
}

TEST_F(BayesFixture, EmptyTableStillRecordsTheMessage) {
  WriteExample();
  BayesFilter bayes;
  const std::string image = bayes.WordBase().Serialize();
  bayes.Learn("Subject: nothing\r\n", WordTable(), true, true);
  EXPECT_EQ(bayes.WordBase().Serialize(), image);
  ASSERT_EQ(bayes.UndoBase().Count(), 1);
  EXPECT_EQ(bayes.UndoBase().GetRecord(0).hash, Crc32("Subject: nothing\r\n"));
  EXPECT_EQ(Plugin().Stats.BayesLearnAsSpam, 1u);
  EXPECT_FALSE(Plugin().BayesUnchanged.load());
}

TEST_F(BayesFixture, LearningCountersDependOnTheCaller) {
  struct Row {
    bool automatic, asSpam;
    std::uint32_t learnSpam, learnHam;
  };
  const Row rows[] = {{true, true, 1, 0}, {true, false, 0, 1}, {false, true, 0, 0},
                      {false, false, 0, 0}};
  for (const Row& r : rows) {
    Plugin().Stats = Statistics{};
    WriteExample();
    BayesFilter bayes;
    bayes.Learn("Subject: counted\r\n", Table({"a"}), r.asSpam, r.automatic);
    EXPECT_EQ(Plugin().Stats.BayesLearnAsSpam, r.learnSpam);
    EXPECT_EQ(Plugin().Stats.BayesLearnAsHam, r.learnHam);
    // Re-classification counts whoever asks.
    bayes.Learn("Subject: counted\r\n", Table({"a"}), !r.asSpam, r.automatic);
    EXPECT_EQ(Plugin().Stats.BayesReClassAsSpam, r.asSpam ? 0u : 1u);
    EXPECT_EQ(Plugin().Stats.BayesReClassAsHam, r.asSpam ? 1u : 0u);
    EXPECT_EQ(Plugin().Stats.BayesLearnAsSpam, r.learnSpam);
    EXPECT_EQ(Plugin().Stats.BayesLearnAsHam, r.learnHam);
    Plugin().BayesUnchanged = true;
  }
}

TEST_F(BayesFixture, GarbageFilesLoadAsWholeRecordsAndStayUsable) {
  std::mt19937 rng(5);
  for (int round = 0; round < 40; ++round) {
    std::string wdb(rng() % 300, '\0'), udb(rng() % 300, '\0');
    for (auto& ch : wdb) ch = static_cast<char>(rng());
    for (auto& ch : udb) ch = static_cast<char>(rng());
    dir_.Write("Bayes.wdb", wdb);
    dir_.Write("Bayes.udb", udb);
    Plugin().Settings.MinWordCount = static_cast<std::int32_t>(rng() % 5) - 1;
    Plugin().Settings.BayesExtendedLogging = true;
    {
      BayesFilter bayes;
      const int records = std::max<int>(1, static_cast<int>(wdb.size() / 12));
      ASSERT_EQ(bayes.WordBase().Count(), records);
      ASSERT_EQ(bayes.UndoBase().Count(), static_cast<int>(udb.size() / 13));
      // Words that hit the garbage records, the header's hash and unknown ones.
      WordTable t;
      for (int i = 0; i < bayes.WordBase().Count(); ++i)
        t.Add("w" + std::to_string(i), bayes.WordBase().At(i).hash, 1 + static_cast<int>(rng() % 4));
      t.Add("unknown-word");
      WordTable c = t;
      std::string debug;
      const std::int32_t r = bayes.Classify(c, debug);
      ASSERT_GE(r, 0);
      ASSERT_LE(r, 100);
      // Train, then train the other way, over whatever counts the file held.
      const bool asSpam = rng() % 2 == 0;
      const std::string header = "Subject: " + std::to_string(round) + "\r\n";
      bayes.Learn(header, t, asSpam, true);
      bayes.Learn(header, t, !asSpam, false);
      EXPECT_FALSE(Plugin().BayesUnchanged.load());
    }
    const std::string saved = dir_.Read("Bayes.wdb");
    EXPECT_EQ(saved.size() % 12, 0u);
    EXPECT_EQ(dir_.Read("Bayes.udb").size() % 13, 0u);
    Plugin().BayesUnchanged = true;
  }
}

// ---- Through the message parser and the rule check ----------------------------

namespace {

const char kOffer[] =
    "Subject: Cheap offer today\r\n"
    "From: Seller <seller@example.com>\r\n"
    "\r\n"
    "hello wonderful world of offers, wonderful prices\r\n";

// The parser's word table of a raw message.
WordTable WordsOfMessage(const std::string& raw) {
  MessageParser p(raw);
  p.GetField("PARSEONLY_WORDLIST");
  return p.WordList() ? *p.WordList() : WordTable();
}

// Installs a filter as the process-wide one for the life of the guard.
class FilterGuard {
 public:
  FilterGuard() : saved_(std::move(Objects().Bayes)) { Objects().Bayes = std::make_unique<BayesFilter>(); }
  ~FilterGuard() { Objects().Bayes = std::move(saved_); }
  BayesFilter& Filter() { return *Objects().Bayes; }

 private:
  std::unique_ptr<BayesFilter> saved_;
};

Rule BayesRule(const std::string& flags) {
  Rule r;
  r.field = "BayesScore";
  r.score = 0;
  r.flags = flags;
  r.comment = "bayes test";
  return r;
}

}  // namespace

TEST_F(BayesFixture, LearnFromAParserTrainsItsWordTableUnderItsRawHeader) {
  WriteExample();
  BayesFilter bayes;
  MessageParser parser(kOffer);
  bayes.Learn(parser, true, true);  // builds the word table itself
  ASSERT_NE(parser.WordList(), nullptr);
  const WordTable& table = *parser.WordList();
  ASSERT_GT(table.Count(), 0);
  WordDatabase& db = bayes.WordBase();
  EXPECT_EQ(db.Count(), 5 + table.Count());
  EXPECT_EQ(db.GetRecord(0).spamCount, 201u);
  for (const WordEntry& e : table.Items()) {
    const int at = db.IndexOfHash(e.hash);
    ASSERT_GE(at, 5) << e.word;
    EXPECT_EQ(db.GetRecord(at).spamCount, static_cast<std::uint32_t>(e.count)) << e.word;
    EXPECT_EQ(db.GetRecord(at).hamCount, 0u) << e.word;
  }
  ASSERT_EQ(bayes.UndoBase().Count(), 1);
  EXPECT_EQ(bayes.UndoBase().GetRecord(0).hash, Crc32(parser.GetField("RAWHEADER")));
  EXPECT_EQ(Plugin().Stats.BayesLearnAsSpam, 1u);
}

TEST_F(BayesFixture, BayesScoreCheckTurnsTheResultIntoTheRuleScore) {
  // Every word of the message: 3 spam, 1 ham with S = H = 128: p = 0.75, result 75.
  std::string image = WordRec(0x804F, 128, 128);
  const WordTable words = WordsOfMessage(kOffer);
  ASSERT_GT(words.Count(), 0);
  for (const WordEntry& e : words.Items()) image += WordRec(e.hash, 3, 1);
  dir_.Write("Bayes.wdb", image);
  dir_.Write("Bayes.udb", "");
  FilterGuard guard;
  struct Row {
    const char* flags;
    std::int32_t score;
  };
  const Row rows[] = {{"IP", 75}, {"I", 50}, {"ID", 100}, {"IC", 100}, {"Ipd", 150}};
  for (const Row& r : rows) {
    MessageEvaluator mgr{std::string(kOffer)};
    std::int32_t score = 0;
    std::string text;
    EXPECT_TRUE(CheckBayesScore(mgr, BayesRule(r.flags), score, text)) << r.flags;
    EXPECT_EQ(score, r.score) << r.flags;
    EXPECT_EQ(text, "Bayes result: 75% spam probability.\r\n");
  }
  EXPECT_EQ(Plugin().Stats.BayesMessagesChecked, 5u);
}

TEST_F(BayesFixture, BayesScoreCheckWithTheWordListing) {
  const WordTable words = WordsOfMessage(kOffer);
  ASSERT_GT(words.Count(), 1);
  dir_.Write("Bayes.wdb", WordRec(0x804F, 128, 128) + WordRec(words.At(1).hash, 3, 1));
  dir_.Write("Bayes.udb", "");
  Plugin().Settings.BayesExtendedLogging = true;
  FilterGuard guard;
  MessageEvaluator mgr{std::string(kOffer)};
  std::int32_t score = 0;
  std::string text;
  EXPECT_TRUE(CheckBayesScore(mgr, BayesRule("IP"), score, text));
  EXPECT_EQ(text, "Bayes words:\r\n " + words.At(1).word +
                      " (V=75/P=50)\r\nBayes result: 75% spam probability.\r\n");
  // The parser's own table is now pruned to the significant words.
  ASSERT_NE(mgr.Parser().WordList(), nullptr);
  EXPECT_EQ(mgr.Parser().WordList()->Count(), 1);
}

TEST_F(BayesFixture, BayesScoreCheckWithoutUsableWords) {
  WriteExample();
  FilterGuard guard;
  struct Row {
    const char* raw;
    const char* text;
  };
  const Row rows[] = {
      {"", "Bayes: No words available, skipping bayes check.\r\n"},
      {kOffer, "Bayes: No significant words available, abborting bayes check.\r\n"}};
  for (const Row& r : rows) {
    MessageEvaluator mgr{std::string(r.raw)};
    std::int32_t score = 7;
    std::string text;
    EXPECT_FALSE(CheckBayesScore(mgr, BayesRule("IP"), score, text));
    EXPECT_EQ(text, r.text);
    EXPECT_EQ(score, 7);
  }
  EXPECT_EQ(Plugin().Stats.BayesMessagesChecked, 0u);
}

TEST_F(BayesFixture, BayesScoreCheckSwitchedOffDoesNothing) {
  WriteExample();
  FilterGuard guard;
  Plugin().Settings.BayesEnabled = false;
  MessageEvaluator mgr{std::string(kOffer)};
  std::int32_t score = 7;
  std::string text;
  EXPECT_FALSE(CheckBayesScore(mgr, BayesRule("IP"), score, text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(score, 7);
  EXPECT_EQ(mgr.Parser().WordList(), nullptr);  // not even the word table is built
}

TEST_F(BayesFixture, BayesScoreCheckWithoutAFilterReportsAFailure) {
  std::unique_ptr<BayesFilter> saved = std::move(Objects().Bayes);
  MessageEvaluator mgr{std::string(kOffer)};
  std::int32_t score = 0;
  std::string text;
  EXPECT_FALSE(CheckBayesScore(mgr, BayesRule("IP"), score, text));
  EXPECT_EQ(text, "ERROR: Intern rule BayesScore [bayes test] failed.\r\n");
  Objects().Bayes = std::move(saved);
}

// ---- BAYESSCORE option letters ---------------------------------------------------

TEST(BayesRuleScore, OptionLettersShapeTheScore) {
  struct Row {
    std::int32_t r;
    const char* flags;
    std::int32_t score;
  };
  const Row rows[] = {{73, "IP", 73},  {73, "I", 46},   {73, "IC", 100}, {50, "I", 0},
                      {80, "I", 60},   {80, "IP", 80},  {80, "ID", 120}, {80, "IC", 100},
                      {50, "IC", 0},   {51, "IC", 100}, {80, "ic", 100}, {80, "ipd", 160},
                      {80, "ICD", 100}, {0, "I", -100}, {0, "ID", -200}, {100, "INP", 100}};
  for (const Row& row : rows)
    EXPECT_EQ(BayesRuleScore(row.r, row.flags), row.score) << row.r << " " << row.flags;
}
