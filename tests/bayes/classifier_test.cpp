// The Bayes filter: start-up and shutdown with their log lines and file
// bytes, the probability bounds, classification (the worked example and its
// word listing), training and re-training, and random database files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/crc32.h"
#include "bayes/classifier.h"
#include "bayes/word_table.h"
#include "support/scratch_dir.h"
#include "support/string_log.h"

namespace quelta {
namespace {

std::string Le32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string WordRec(std::uint32_t hash, std::uint32_t spam, std::uint32_t ham) {
  return Le32(hash) + Le32(spam) + Le32(ham);
}

std::string WordRec(const std::string& word, std::uint32_t spam, std::uint32_t ham) {
  return WordRec(Crc32(word), spam, ham);
}

// An undo record of a message trained at date-time value `at`.
std::string UndoRec(const std::string& header, bool spam, double at) {
  std::string r = Le32(Crc32(header)) + (spam ? "\x01" : std::string(1, '\0')) + std::string(8, '\0');
  std::memcpy(&r[5], &at, 8);
  return r;
}

WordTable Table(const std::vector<std::string>& words) {
  WordTable t;
  for (const auto& w : words) t.Add(w);
  return t;
}

std::vector<std::string> WordsOf(const WordTable& t) {
  std::vector<std::string> out;
  for (const WordEntry& e : t.Items()) out.push_back(e.word);
  return out;
}

const double kNow = 46000.25;

class BayesFilterTest : public ::testing::Test {
 protected:
  // The example database: S = 200, H = 300 and the words a, b, c, d.
  void WriteExample(std::uint32_t spam = 200, std::uint32_t ham = 300) {
    Write(WordRec(0x804F, spam, ham) + WordRec("a", 30, 0) + WordRec("b", 2, 30) + WordRec("c", 1, 1) +
          WordRec("d", 4, 6));
  }
  void Write(const std::string& words, const std::string& undo = "") {
    dir_.Write("Bayes.wdb", words);
    dir_.Write("Bayes.udb", undo);
  }
  BayesFilter& Open() {
    log_.entries.clear();
    filter_ = std::make_unique<BayesFilter>(dir_.Folder(), options_, log_);
    return *filter_;
  }
  ClassifyResult Classify(WordTable& t, std::string* debug = nullptr) {
    std::string ignored;
    return filter_->Classify(t, debug != nullptr, debug ? *debug : ignored);
  }
  // Saves and returns the word file's bytes.
  std::string Saved() {
    log_.entries.clear();
    EXPECT_TRUE(filter_->Save(log_));
    return dir_.Read("Bayes.wdb");
  }

  testing_support::ScratchDir dir_;
  testing_support::StringLog log_;
  BayesOptions options_;
  std::unique_ptr<BayesFilter> filter_;
};

TEST_F(BayesFilterTest, StartUpReportsWhatItLoaded) {
  const struct {
    std::string words, undo;
    bool undoExists;
    std::vector<std::string> log;
    std::uint32_t records, spam, ham;
  } cases[] = {
      {WordRec(0x804F, 200, 300) + WordRec("a", 1, 1), "", true,
       {"Quelta: Bayes databases loaded successfully (W=2/S=200/H=300)."}, 2, 200, 300},
      {WordRec(0x804F, 49, 300), std::string(13, '\0'), true,
       {"Quelta: Bayes databases loaded successfully (W=1/S=49/H=300).",
        "WARNING: Bayes database not trained (S=49, H=300)!"}, 1, 49, 300},
      {WordRec(0x804F, 50, 50), "", false, {"WARNING: Bayes databases not found!"}, 1, 50, 50},
  };
  for (const auto& c : cases) {
    Write(c.words, c.undo);
    if (!c.undoExists) std::remove(dir_.File("Bayes.udb").c_str());
    const BayesFilter& f = Open();
    EXPECT_EQ(log_.entries, c.log);
    EXPECT_EQ(f.WordRecords(), c.records);
    EXPECT_EQ(f.SpamMessages(), c.spam);
    EXPECT_EQ(f.HamMessages(), c.ham);
  }
  testing_support::ScratchDir empty;
  BayesFilter none(empty.Folder(), options_, log_ = testing_support::StringLog());
  EXPECT_EQ(log_.entries, (std::vector<std::string>{"WARNING: Bayes databases not found!",
                                                    "WARNING: Bayes database not trained (S=0, H=0)!"}));
  EXPECT_EQ(none.WordRecords(), 1u);
}

// The probability of a word is bounded by figures from the message counts.
TEST_F(BayesFilterTest, ProbabilityBoundsFollowTheMessageCounts) {
  const struct {
    std::uint32_t spam, ham;
    double minProb, maxProb;
  } rows[] = {{0, 99, 0.001, 0.999},          {99, 100, 0.0001, 0.999},
              {100, 999, 0.0001, 0.9999},     {999, 1000, 0.00001, 0.9999},
              {1000, 9999, 0.00001, 0.99999}, {9999, 10000, 0.000001, 0.99999},
              {10000, 4000000000u, 0.000001, 0.999999}};
  for (const auto& r : rows) {
    Write(WordRec(0x804F, r.spam, r.ham) + WordRec("spam", 90, 0) + WordRec("ham", 0, 90));
    Open();
    WordTable t = Table({"spam", "ham"});
    Classify(t);
    ASSERT_EQ(t.Count(), 2);
    const int s = t.At(0).word == "spam" ? 0 : 1;
    EXPECT_EQ(t.At(s).probability, r.maxProb) << r.spam;
    EXPECT_EQ(t.At(1 - s).probability, r.minProb) << r.ham;
  }
}

TEST_F(BayesFilterTest, WorkedExampleGives54WithTheWordListing) {
  WriteExample();
  Open();
  WordTable t = Table({"a", "b", "c", "d"});
  std::string debug = "left over";
  const ClassifyResult r = Classify(t, &debug);
  EXPECT_EQ(r.percent, 54);
  EXPECT_TRUE(r.counted);
  EXPECT_EQ(debug, "Bayes words:\r\n a (V=100/P=100)\r\n b (V=9/P=82)\r\n");
  ASSERT_EQ(WordsOf(t), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(t.At(0).probability, 0.9999);
  EXPECT_DOUBLE_EQ(t.At(0).distance, 0.4999);
  EXPECT_DOUBLE_EQ(t.At(1).probability, 1.0 / 11.0);
  EXPECT_DOUBLE_EQ(t.At(1).distance, 0.5 - 1.0 / 11.0);
  WordTable again = Table({"d", "b", "a"});
  std::string untouched = "untouched";
  EXPECT_EQ(filter_->Classify(again, false, untouched).percent, 54);
  EXPECT_EQ(untouched, "untouched");
}

TEST_F(BayesFilterTest, ClassificationCases) {
  const struct {
    const char* name;
    std::vector<std::string> words;
    std::int32_t maxWords, maxSigWords, percent;
    std::vector<std::string> left;
  } cases[] = {
      {"no known word", {"unknown", "words", "c"}, 200, 25, 0, {}},
      {"a mean above 0.999 is certain spam", {"a"}, 200, 25, 100, {"a"}},
      {"only the first MaxWords words", {"x-unknown", "a", "b"}, 2, 25, 100, {"a"}},
      {"only the MaxSigWords most significant", {"b", "a"}, 200, 1, 100, {"a"}},
  };
  WriteExample();
  for (const auto& c : cases) {
    options_.maxWords = c.maxWords;
    options_.maxSigWords = c.maxSigWords;
    Open();
    WordTable t = Table(c.words);
    std::string debug = "kept";
    const ClassifyResult r = Classify(t, &debug);
    EXPECT_EQ(r.percent, c.percent) << c.name;
    EXPECT_EQ(r.counted, !c.left.empty()) << c.name;
    EXPECT_EQ(WordsOf(t), c.left) << c.name;
    if (c.left.empty()) EXPECT_EQ(debug, "kept") << c.name;
  }
}

TEST_F(BayesFilterTest, MinWordCountMakesRareWordsNeutral) {
  // S = H = 128 and "c" seen 3 times as spam, once as ham: p = 3/4.
  const std::int32_t rows[][3] = {{3, 75, 1}, {4, 0, 0}, {-1, 75, 1}};
  Write(WordRec(0x804F, 128, 128) + WordRec("c", 3, 1) + WordRec("never", 0, 0));
  for (const auto& r : rows) {
    options_.minWordCount = r[0];
    Open();
    WordTable t = Table({"c", "never"});
    EXPECT_EQ(Classify(t).percent, r[1]) << r[0];
    ASSERT_EQ(t.Count(), r[2]) << r[0];
    if (r[2]) EXPECT_EQ(t.At(0).probability, 0.75);
  }
}

TEST_F(BayesFilterTest, DebugListingRoundsHalvesToEven) {
  // "five": p = 0.625, V = 62.5 -> 62; "three": p = 0.375, V = 37.5 -> 38;
  // both P = 0.125 * 200 = 25.
  Write(WordRec(0x804F, 128, 128) + WordRec("five", 80, 48) + WordRec("three", 48, 80));
  Open();
  WordTable t = Table({"five", "three"});
  std::string debug;
  EXPECT_EQ(Classify(t, &debug).percent, 50);
  EXPECT_EQ(debug, "Bayes words:\r\n five (V=62/P=25)\r\n three (V=38/P=25)\r\n");
}

TEST_F(BayesFilterTest, RecordsSharingAHash) {
  // The last record decides the classification; training meets the first.
  Write(WordRec(0x804F, 200, 300) + WordRec("twice", 0, 30) + WordRec("twice", 30, 0));
  Open();
  WordTable t = Table({"twice"});
  EXPECT_EQ(Classify(t).percent, 100);
  filter_->Learn("Subject: t\r\n", Table({"twice"}), false, kNow);
  EXPECT_EQ(Saved(), WordRec(0x804F, 200, 301) + WordRec("twice", 0, 31) + WordRec("twice", 30, 0));
  // A word with the header's hash is a new record at every training.
  WordTable twin;
  twin.Add("header-twin", 0x804F, 5);
  filter_->Learn("Subject: one\r\n", twin, true, kNow);
  filter_->Learn("Subject: two\r\n", twin, false, kNow);
  EXPECT_EQ(Saved(), WordRec(0x804F, 201, 302) + WordRec("twice", 0, 31) + WordRec("twice", 30, 0) +
                         WordRec(0x804F, 5, 0) + WordRec(0x804F, 0, 5));
  Open();
  WordTable c;
  c.Add("header-twin", 0x804F, 1);
  EXPECT_EQ(Classify(c).percent, 0);
  ASSERT_EQ(c.Count(), 1);
  EXPECT_EQ(c.At(0).probability, 0.0001);  // the later (ham) record
}

TEST_F(BayesFilterTest, WithoutAWordFileTrainedWordsGetProbabilityZero) {
  Open();
  WordTable t;
  t.Add("alpha", 0, 4);
  t.Add("beta", 0, 2);
  filter_->Learn("Subject: z\r\n", t, true, kNow);
  WordTable c = Table({"alpha", "beta"});
  const ClassifyResult r = Classify(c);
  EXPECT_EQ(r.percent, 0);
  EXPECT_TRUE(r.counted);
  ASSERT_EQ(WordsOf(c), std::vector<std::string>{"alpha"});  // beta: 2 is not above 3
  EXPECT_EQ(c.At(0).probability, 0.0);
}

TEST_F(BayesFilterTest, TrainingAndRetraining) {
  WriteExample();
  Open();
  WordTable t;
  t.Add("a", 0, 1);
  t.Add("a");
  t.Add("b", 0, 1);
  t.Add("newword");
  const std::string header = "From: someone\r\nSubject: offer\r\n";
  LearnResult r = filter_->Learn(header, t, true, kNow);
  EXPECT_TRUE(r.learned);
  EXPECT_FALSE(r.reclassified);
  EXPECT_TRUE(filter_->Changed());
  EXPECT_EQ(filter_->SpamMessages(), 201u);
  EXPECT_EQ(filter_->WordRecords(), 6u);
  const std::string trained = WordRec(0x804F, 201, 300) + WordRec("a", 32, 0) + WordRec("b", 3, 30) +
                              WordRec("c", 1, 1) + WordRec("d", 4, 6) + WordRec("newword", 1, 0);
  EXPECT_EQ(Saved(), trained);
  EXPECT_EQ(log_.entries, std::vector<std::string>{"Quelta: Bayes databases saved successfully (W=6/S=201/H=300)."});
  EXPECT_EQ(dir_.Read("Bayes.udb"), UndoRec(header, true, kNow));

  // The same class again: only the date of the undo record changes.
  r = filter_->Learn(header, t, true, kNow + 1);
  EXPECT_FALSE(r.learned || r.reclassified);
  EXPECT_EQ(Saved(), trained);
  EXPECT_EQ(dir_.Read("Bayes.udb"), UndoRec(header, true, kNow + 1));

  // The other class: the counts move.
  r = filter_->Learn(header, t, false, kNow + 2);
  EXPECT_TRUE(r.reclassified);
  EXPECT_FALSE(r.learned);
  EXPECT_EQ(Saved(), WordRec(0x804F, 200, 301) + WordRec("a", 30, 2) + WordRec("b", 2, 31) +
                         WordRec("c", 1, 1) + WordRec("d", 4, 6) + WordRec("newword", 0, 1));
  EXPECT_EQ(dir_.Read("Bayes.udb"), UndoRec(header, false, kNow + 2));
}

TEST_F(BayesFilterTest, RetrainingNeverGoesBelowWhatIsThere) {
  // "w" was trained once as spam with count 3 and scaled down to 2 since;
  // the header's ham count is already 0.
  const std::string header = "Subject: scaled\r\n";
  Write(WordRec(0x804F, 60, 0) + WordRec("w", 2, 0), UndoRec(header, false, 0));
  Open();
  WordTable t;
  t.Add("w", 0, 3);
  EXPECT_TRUE(filter_->Learn(header, t, true, kNow).reclassified);
  filter_->Learn(header, t, false, kNow);
  EXPECT_EQ(Saved(), WordRec(0x804F, 60, 1) + WordRec("w", 2, 3));
}

TEST_F(BayesFilterTest, AnEmptyTableStillRecordsTheMessage) {
  WriteExample();
  const std::string before = dir_.Read("Bayes.wdb");
  Open();
  EXPECT_TRUE(filter_->Learn("Subject: nothing\r\n", WordTable(), true, kNow).learned);
  EXPECT_EQ(Saved(), before);
  EXPECT_EQ(dir_.Read("Bayes.udb"), UndoRec("Subject: nothing\r\n", true, kNow));
}

TEST_F(BayesFilterTest, SavingOnlyWhatChanged) {
  WriteExample();
  const std::string before = dir_.Read("Bayes.wdb");
  Open();
  log_.entries.clear();
  EXPECT_TRUE(filter_->Save(log_));
  filter_->Learn("Subject: x\r\n", Table({"a"}), true, kNow);
  filter_->MarkUnchanged();  // as after the options deleted the files
  EXPECT_TRUE(filter_->Save(log_));
  EXPECT_EQ(log_.entries, (std::vector<std::string>{"Quelta: Bayes databases not saved.",
                                                    "Quelta: Bayes databases not saved."}));
  EXPECT_EQ(dir_.Read("Bayes.wdb"), before);
  EXPECT_EQ(dir_.Read("Bayes.udb"), "");
  // A file that cannot be written is reported on its own; the other is saved.
  std::remove(dir_.File("Bayes.udb").c_str());
  testing_support::WriteBytes(dir_.Path() / "Bayes.udb" / "blocker", "x");
  filter_->Learn("Subject: y\r\n", Table({"a"}), false, kNow);
  log_.entries.clear();
  EXPECT_FALSE(filter_->Save(log_));
  EXPECT_EQ(log_.entries, std::vector<std::string>{"ERROR: Saving Bayes undofile failed!"});
  EXPECT_EQ(dir_.Read("Bayes.wdb").substr(0, 12), WordRec(0x804F, 201, 301));
}

// Random bytes as both files: whole records load, every verdict is 0..100,
// training both ways works, and the saved files hold whole records.
TEST_F(BayesFilterTest, RandomFilesLoadAsWholeRecordsAndStayUsable) {
  std::mt19937 rng(5);
  for (int round = 0; round < 15; ++round) {
    std::string wdb(rng() % 300, '\0'), udb(rng() % 300, '\0');
    for (char& ch : wdb) ch = static_cast<char>(rng());
    for (char& ch : udb) ch = static_cast<char>(rng());
    Write(wdb, udb);
    options_.minWordCount = static_cast<std::int32_t>(rng() % 5) - 1;
    Open();
    ASSERT_EQ(filter_->WordRecords(), std::max<std::uint32_t>(1, static_cast<std::uint32_t>(wdb.size() / 12)));
    WordTable t = Table({"unknown"});  // and words that hit the records
    for (std::size_t i = 0; i + 12 <= wdb.size(); i += 12) {
      std::uint32_t hash;
      std::memcpy(&hash, wdb.data() + i, 4);
      if (hash != 0) t.Add("h" + std::to_string(i), hash, 1 + rng() % 4);
    }
    WordTable c = t;
    std::string debug;
    const ClassifyResult r = filter_->Classify(c, true, debug);
    ASSERT_GE(r.percent, 0);
    ASSERT_LE(r.percent, 100);
    const bool asSpam = rng() % 2 == 0;
    const std::string header = "Subject: " + std::to_string(round) + "\r\n";
    filter_->Learn(header, t, asSpam, kNow);
    EXPECT_TRUE(filter_->Learn(header, t, !asSpam, kNow).reclassified);
    ASSERT_TRUE(filter_->Save(log_));
    EXPECT_EQ(dir_.Read("Bayes.wdb").size() % 12, 0u);
    EXPECT_EQ(dir_.Read("Bayes.udb").size(), (udb.size() / 13 + 1) * 13);
  }
}

}  // namespace
}  // namespace quelta
