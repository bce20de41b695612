// quelta db on byte-exact Bayes files: the statistics, what the check
// finds, the backup image and its refusal when damaged, the safe restore.
#include "bayes_tools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "support/scratch_dir.h"

using namespace quelta_host;

namespace {

std::string Le(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
std::string Word(std::uint32_t hash, std::uint32_t spam, std::uint32_t ham) {
  return Le(hash, 4) + Le(spam, 4) + Le(ham, 4);
}
std::string Undo(std::uint32_t hash, int cls, double date) {
  std::uint64_t bits;
  std::memcpy(&bits, &date, 8);
  return Le(hash, 4) + static_cast<char>(cls) + Le(bits, 8);
}

// Two spam messages and one ham message, trained and remembered.
BayesPair Clean() {
  BayesPair p;
  p.words = {"Bayes.wdb", true,
             Word(0x804F, 2, 1) + Word(0x1111, 3, 0) + Word(0x2222, 1, 2) + Word(0x804F, 1, 0)};
  p.undo = {"Bayes.udb", true, Undo(0xA, 1, 45000.5) + Undo(0xB, 1, 45001) + Undo(0xC, 0, 45002)};
  return p;
}

TEST(BayesTools, StatisticsOfAPair) {
  const std::string s = BayesStatsText(Clean());
  EXPECT_NE(s.find("Bayes.wdb: Bayes.wdb, 48 bytes\n"), std::string::npos) << s;
  EXPECT_NE(s.find("messages:  3 (2 spam, 1 ham)\n"), std::string::npos) << s;
  EXPECT_NE(s.find("words:     3 (3 seen in spam, 1 in ham)\n"), std::string::npos) << s;
  EXPECT_NE(s.find("trained:   3 messages remembered (2 as spam, 1 as ham)\n"), std::string::npos)
      << s;
}

TEST(BayesTools, CheckFindsWhatNoRunWrites) {
  EXPECT_TRUE(CheckBayesPair(Clean()).empty());
  BayesPair none;
  EXPECT_TRUE(CheckBayesPair(none).empty());  // nothing trained yet
  struct Case {
    const char* name;
    void (*damage)(BayesPair&);
    const char* finding;
  };
  const Case cases[] = {
      {"word file cut", [](BayesPair& p) { p.words.data += "12345"; },
       "Bayes.wdb: the last record is cut short: 5 bytes after 4 whole records"},
      {"empty word file", [](BayesPair& p) { p.words.data.clear(); },
       "Bayes.wdb: no header record"},
      {"no header hash", [](BayesPair& p) { p.words.data.replace(0, 4, Le(0x1234, 4)); },
       "Bayes.wdb: the first record is no header record (its hash is 0x00001234, not 0x0000804F)"},
      {"spam words, no spam message", [](BayesPair& p) { p.words.data.replace(4, 4, Le(0, 4)); },
       "Bayes.wdb: spam counts without a trained spam message: 3 records, the first at byte 12"},
      {"a word twice", [](BayesPair& p) { p.words.data += Word(0x2222, 1, 0); },
       "Bayes.wdb: words recorded twice: 1 record, the first at byte 48"},
      {"undo file cut", [](BayesPair& p) { p.undo.data += Undo(0xD, 0, 45003).substr(0, 5); },
       "Bayes.udb: the last record is cut short: 5 bytes after 3 whole records"},
      {"class byte 2", [](BayesPair& p) { p.undo.data[13 + 4] = 2; },
       "Bayes.udb: class bytes other than 0 (ham) or 1 (spam): 1 record, the first at byte 13"},
      {"NaN date",
       [](BayesPair& p) {
         p.undo.data.replace(26, 13, Undo(0xC, 0, std::numeric_limits<double>::quiet_NaN()));
       },
       "Bayes.udb: impossible training dates: 1 record, the first at byte 26"},
      {"a message twice", [](BayesPair& p) { p.undo.data += Undo(0xA, 1, 45003); },
       "Bayes.udb: messages remembered twice: 1 record, the first at byte 39"},
      {"more ham counted than remembered",
       [](BayesPair& p) { p.words.data.replace(8, 4, Le(2, 4)); },
       "Bayes.wdb: counts 2 ham messages, but Bayes.udb remembers 1 trained as ham"},
      {"undo file missing",
       [](BayesPair& p) {
         p.undo = {"Bayes.udb", false, ""};
       },
       "Bayes.udb: missing beside its partner (start-up warns that the databases are not found)"},
  };
  for (const Case& c : cases) {
    BayesPair p = Clean();
    c.damage(p);
    EXPECT_EQ(std::vector<std::string>{c.finding}, CheckBayesPair(p)) << c.name;
  }
}

TEST(BayesTools, BackupImageBytes) {
  BayesPair p;
  p.words = {"", true, Word(0x804F, 0, 0)};
  const std::string image = MakeBackup(p);
  const std::string expected = std::string("QUELTABK") + Le(1, 4) + Le(1, 4) + Le(12, 8) +
                               Le(0, 8) + Word(0x804F, 0, 0) + Le(0xB96AAAA0, 4);
  EXPECT_EQ(expected, image);
}

TEST(BayesTools, BackupRoundTripAndEveryDamageRefused) {
  const BayesPair p = Clean();
  const std::string image = MakeBackup(p);
  BayesPair back;
  std::string error;
  ASSERT_TRUE(ReadBackup(image, back, error)) << error;
  EXPECT_TRUE(back.words.present && back.undo.present);
  EXPECT_EQ(p.words.data, back.words.data);
  EXPECT_EQ(p.undo.data, back.undo.data);
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
  BayesPair current;
  current.words = {dir.File("Bayes.wdb"), true, "old-w"};
  current.undo = {dir.File("Bayes.udb"), true, "old-u"};
  BayesPair contents;
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
