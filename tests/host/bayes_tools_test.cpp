// quelta db on byte-exact Bayes files: the statistics, what the check
// finds, the backup image and its refusal when damaged, the safe restore.
#include "bayes_tools.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "support/data_files.h"
#include "support/scratch_dir.h"

using namespace quelta_host;
using testing_support::LE32;
using testing_support::BayesRecord;

namespace {

std::string Undo(std::uint32_t hash, char cls, double date) {
  std::string bits(8, '\0');
  std::memcpy(&bits[0], &date, 8);  // little-endian machines only, as the files
  return LE32(hash) + cls + bits;
}

// Two spam messages and one ham message, trained and remembered.
BayesPair Clean() {
  return {{"Bayes.wdb", true,
           BayesRecord(0x804F, 2, 1) + BayesRecord(0x1111, 3, 0) + BayesRecord(0x2222, 1, 2) + BayesRecord(0x804F, 1, 0)},
          {"Bayes.udb", true, Undo(0xA, 1, 45000.5) + Undo(0xB, 1, 45001) + Undo(0xC, 0, 45002)}};
}

TEST(BayesTools, StatisticsOfAPair) {
  const std::string s = BayesStatsText(Clean());
  for (const char* line : {"Bayes.wdb: Bayes.wdb, 48 bytes\n", "messages:  3 (2 spam, 1 ham)\n",
                           "words:     3 (3 seen in spam, 1 in ham)\n",
                           "trained:   3 messages remembered (2 as spam, 1 as ham)\n"})
    EXPECT_NE(s.find(line), std::string::npos) << s;
}

TEST(BayesTools, CheckFindsWhatNoRunWrites) {
  EXPECT_TRUE(CheckBayesPair(Clean()).empty());
  EXPECT_TRUE(CheckBayesPair(BayesPair{}).empty());  // nothing trained yet
  const struct {
    void (*damage)(BayesPair&);
    const char* finding;
  } cases[] = {
      {[](BayesPair& p) { p.words.data += "12345"; },
       "Bayes.wdb: the last record is cut short: 5 bytes after 4 whole records"},
      {[](BayesPair& p) { p.words.data.clear(); }, "Bayes.wdb: no header record"},
      {[](BayesPair& p) { p.words.data.replace(0, 4, LE32(0x1234)); },
       "Bayes.wdb: the first record is no header record (its hash is 0x00001234, not 0x0000804F)"},
      {[](BayesPair& p) { p.words.data.replace(4, 4, LE32(0)); },
       "Bayes.wdb: spam counts without a trained spam message: 3 records, the first at byte 12"},
      {[](BayesPair& p) { p.words.data += BayesRecord(0x2222, 1, 0); },
       "Bayes.wdb: words recorded twice: 1 record, the first at byte 48"},
      {[](BayesPair& p) { p.undo.data += Undo(0xD, 0, 45003).substr(0, 5); },
       "Bayes.udb: the last record is cut short: 5 bytes after 3 whole records"},
      {[](BayesPair& p) { p.undo.data[13 + 4] = 2; },
       "Bayes.udb: class bytes other than 0 (ham) or 1 (spam): 1 record, the first at byte 13"},
      {[](BayesPair& p) { p.undo.data.replace(26, 13, Undo(0xC, 0, std::numeric_limits<double>::quiet_NaN())); },
       "Bayes.udb: impossible training dates: 1 record, the first at byte 26"},
      {[](BayesPair& p) { p.undo.data += Undo(0xA, 1, 45003); },
       "Bayes.udb: messages remembered twice: 1 record, the first at byte 39"},
      {[](BayesPair& p) { p.words.data.replace(8, 4, LE32(2)); },
       "Bayes.wdb: counts 2 ham messages, but Bayes.udb remembers 1 trained as ham"},
      {[](BayesPair& p) { p.undo = {"Bayes.udb", false, ""}; },
       "Bayes.udb: missing beside its partner (start-up warns that the databases are not found)"},
  };
  for (const auto& c : cases) {
    BayesPair p = Clean();
    c.damage(p);
    EXPECT_EQ(std::vector<std::string>{c.finding}, CheckBayesPair(p));
  }
}

TEST(BayesTools, BackupImageBytesRoundTripAndEveryDamageRefused) {
  BayesPair one;
  one.words = {"", true, BayesRecord(0x804F, 0, 0)};
  EXPECT_EQ(std::string("QUELTABK") + LE32(1) + LE32(1) + LE32(12) + LE32(0) + LE32(0) + LE32(0) + BayesRecord(0x804F, 0, 0) +
                LE32(0xB96AAAA0),
            MakeBackup(one));
  const BayesPair p = Clean();
  const std::string image = MakeBackup(p);
  BayesPair back;
  std::string error;
  ASSERT_TRUE(ReadBackup(image, back, error)) << error;
  EXPECT_TRUE(back.words.present && back.undo.present);
  EXPECT_EQ(p.words.data + "|" + p.undo.data, back.words.data + "|" + back.undo.data);
  for (std::size_t i = 0; i < image.size(); ++i) {
    std::string bad = image;
    bad[i] = static_cast<char>(bad[i] ^ 0x10);
    EXPECT_FALSE(ReadBackup(bad, back, error)) << "byte " << i;
    EXPECT_FALSE(ReadBackup(image.substr(0, i), back, error)) << "cut at " << i;
  }
  EXPECT_FALSE(ReadBackup(image + "x", back, error));
}

TEST(BayesTools, RestoreReplacesThePairOrPutsItBack) {
  testing_support::ScratchDir dir;
  dir.Write("Bayes.wdb", "old-w");
  dir.Write("Bayes.udb", "old-u");
  BayesPair current{{dir.File("Bayes.wdb"), true, "old-w"}, {dir.File("Bayes.udb"), true, "old-u"}}, contents;
  contents.words = {"", true, "new-w"};
  std::string error;
  ASSERT_TRUE(RestorePair(current, contents, error)) << error;
  EXPECT_EQ("new-w", dir.Read("Bayes.wdb"));
  EXPECT_FALSE(dir.Exists("Bayes.udb"));  // absent from the backup
  // The undo file's place cannot be written: the word file is put back.
  dir.Write("Bayes.wdb", "old-w");
  dir.Write("blocked/Bayes.udb/x", "");
  current.undo = {dir.File("blocked/Bayes.udb"), false, ""};
  contents.undo = {"", true, "new-u"};
  EXPECT_FALSE(RestorePair(current, contents, error));
  EXPECT_NE(error.find("was put back as it was"), std::string::npos) << error;
  EXPECT_EQ("old-w", dir.Read("Bayes.wdb"));
}

}  // namespace
