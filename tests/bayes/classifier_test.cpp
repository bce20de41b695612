// The Bayes filter: start-up and saving with their log lines and file
// bytes, the probability bounds, classification (the worked example and its
// word listing), training and re-training, random database files, and the
// two files as one pair on disk: a save that fails at any byte leaves both
// old files (and the message can be trained again), a save interrupted by a
// crash is finished or undone by the next start, and a journal replayed on
// newer files gives what learning there gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/crc32.h"
#include "bayes/classifier.h"
#include "bayes/word_table.h"
#include "os/env.h"
#include "support/data_files.h"
#include "support/scratch_dir.h"
#include "support/string_log.h"

namespace quelta {
namespace {

using testing_support::LE32;
using Lines = std::vector<std::string>;
constexpr auto Rec = &testing_support::BayesWord;
constexpr auto Head = &testing_support::BayesHeader;

// An undo record of a message trained at date-time value `at`.
std::string UndoRec(const std::string& header, bool spam, double at) {
  std::string r = LE32(Crc32(header)) + std::string(1, spam ? '\x01' : '\0') + std::string(8, '\0');
  std::memcpy(&r[5], &at, 8);
  return r;
}

// A table of words, each `count` times (the first word first).
WordTable Table(const Lines& words, std::int32_t count = 1) {
  WordTable t;
  for (const auto& w : words) t.Add(w, 0, count);
  return t;
}

Lines WordsOf(const WordTable& t) {
  Lines out;
  for (const WordEntry& e : t.Items()) out.push_back(e.word);
  return out;
}

const double kNow = 46000.25;
// S = 200, H = 300 and the words a, b, c, d.
const std::string kExample =
    Head(200, 300) + Rec("a", 30, 0) + Rec("b", 2, 30) + Rec("c", 1, 1) + Rec("d", 4, 6);

class BayesFilterTest : public ::testing::Test {
 protected:
  BayesFilter& Open(const std::string& words, const std::string& undo = "") {
    dir_.Write("Bayes.wdb", words);
    dir_.Write("Bayes.udb", undo);
    return Reopen();
  }
  BayesFilter& Reopen() {
    log_.entries.clear();
    filter_ = std::make_unique<BayesFilter>(dir_.Folder(), options_, log_);
    return *filter_;
  }
  std::int32_t Classify(WordTable& t) {
    std::string ignored;
    return filter_->Classify(t, false, ignored).percent;
  }
  // Saves; the word file's bytes.
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
  const std::tuple<std::string, const char*, Lines> cases[] = {  // undo null: no file; log, then W/S/H
      {Head(200, 300) + Rec("a", 1, 1), "",
       {"Quelta: Bayes databases loaded successfully (W=2/S=200/H=300).", "2/200/300"}},
      {Head(49, 300), "0123456789abc", {"Quelta: Bayes databases loaded successfully (W=1/S=49/H=300).",
                                                   "WARNING: Bayes database not trained (S=49, H=300)!", "1/49/300"}},
      {Head(50, 50), nullptr, {"WARNING: Bayes databases not found!", "1/50/50"}}};
  for (const auto& [words, undo, log] : cases) {
    Open(words, undo ? undo : "");
    if (!undo) std::remove(dir_.File("Bayes.udb").c_str());
    const BayesFilter& f = Reopen();
    log_.Write(std::to_string(f.WordRecords()) + "/" + std::to_string(f.SpamMessages()) + "/" +
               std::to_string(f.HamMessages()));
    EXPECT_EQ(log_.entries, log);
  }
  // Without files: both warnings, and the bounds stay 0, so trained words get
  // probability 0.
  testing_support::ScratchDir empty;
  BayesFilter none(empty.Folder(), options_, log_ = testing_support::StringLog());
  EXPECT_EQ(log_.entries,
            Lines({"WARNING: Bayes databases not found!", "WARNING: Bayes database not trained (S=0, H=0)!"}));
  EXPECT_EQ(none.WordRecords(), 1u);
  WordTable t = Table({"alpha"}, 4);
  t.Add("beta", 0, 2);
  none.Learn("Subject: z\r\n", t, true, kNow);
  std::string debug;
  WordTable c = Table({"alpha", "beta"});
  const ClassifyResult r = none.Classify(c, false, debug);
  EXPECT_TRUE(r.percent == 0 && r.counted);
  ASSERT_EQ(WordsOf(c), Lines{"alpha"});  // beta: 2 is not above MinWordCount 3
  EXPECT_EQ(c.At(0).probability, 0.0);
}

TEST_F(BayesFilterTest, ProbabilityBoundsFollowTheMessageCounts) {
  const std::tuple<std::uint32_t, std::uint32_t, double, double> rows[] = {{0, 99, 0.001, 0.999},          {99, 100, 0.0001, 0.999},        {100, 999, 0.0001, 0.9999},
              {999, 1000, 0.00001, 0.9999},   {1000, 9999, 0.00001, 0.99999},  {9999, 10000, 0.000001, 0.99999},
              {10000, 4000000000u, 0.000001, 0.999999}};
  for (const auto& [spam, ham, minProb, maxProb] : rows) {
    Open(Head(spam, ham) + Rec("spam", 90, 0) + Rec("ham", 0, 90));
    WordTable t = Table({"spam", "ham"});
    Classify(t);
    ASSERT_EQ(t.Count(), 2);
    const int s = t.At(0).word == "spam" ? 0 : 1;
    EXPECT_TRUE(t.At(s).probability == maxProb && t.At(1 - s).probability == minProb) << spam;
  }
}

TEST_F(BayesFilterTest, WorkedExampleGives54WithTheWordListing) {
  Open(kExample);
  WordTable t = Table({"a", "b", "c", "d"});
  std::string debug = "left over";
  const ClassifyResult r = filter_->Classify(t, true, debug);
  EXPECT_TRUE(r.percent == 54 && r.counted);
  EXPECT_EQ(debug, "Bayes words:\r\n a (V=100/P=100)\r\n b (V=9/P=82)\r\n");
  ASSERT_EQ(WordsOf(t), Lines({"a", "b"}));
  EXPECT_EQ(t.At(0).probability, 0.9999);
  EXPECT_DOUBLE_EQ(t.At(0).distance, 0.4999);
  EXPECT_DOUBLE_EQ(t.At(1).probability, 1.0 / 11.0);
  EXPECT_DOUBLE_EQ(t.At(1).distance, 0.5 - 1.0 / 11.0);
  WordTable again = Table({"d", "b", "a"});
  debug = "untouched";
  EXPECT_EQ(filter_->Classify(again, false, debug).percent, 54);
  EXPECT_EQ(debug, "untouched");
  // "five": p = 0.625, V = 62.5 -> 62; "three": V = 37.5 -> 38; both P = 25.
  Open(Head(128, 128) + Rec("five", 80, 48) + Rec("three", 48, 80));
  WordTable halves = Table({"five", "three"});
  EXPECT_EQ(filter_->Classify(halves, true, debug).percent, 50);
  EXPECT_EQ(debug, "Bayes words:\r\n five (V=62/P=25)\r\n three (V=38/P=25)\r\n");
}

TEST_F(BayesFilterTest, ClassificationCases) {
  // words, MaxWords, MaxSigWords, MinWordCount, the verdict, the words left
  const std::tuple<Lines, std::int32_t, std::int32_t, std::int32_t, std::int32_t, Lines> cases[] = {
      {{"unknown", "words", "c"}, 200, 25, 3, 0, {}},  // nothing known: not counted, no listing
      {{"a"}, 200, 25, 3, 100, {"a"}},                 // a mean above 0.999 is certain spam
      {{"x-unknown", "a", "b"}, 2, 25, 3, 100, {"a"}},
      {{"b", "a"}, 200, 1, 3, 100, {"a"}},
      {{"c3", "never"}, 200, 25, 3, 75, {"c3"}},       // S = H = 128, "c3": 3 spam, 1 ham
      {{"c3", "never"}, 200, 25, 4, 0, {}},            // as often as MinWordCount: neutral
      {{"c3", "never"}, 200, 25, -1, 75, {"c3"}}};
  for (const auto& [words, maxWords, maxSigWords, minWordCount, percent, left] : cases) {
    options_ = BayesOptions{minWordCount, maxWords, maxSigWords};
    Open(words[0] == "c3" ? Head(128, 128) + Rec("c3", 3, 1) + Rec("never", 0, 0) : kExample);
    WordTable t = Table(words);
    std::string debug = "kept";
    const ClassifyResult r = filter_->Classify(t, true, debug);
    EXPECT_TRUE(r.percent == percent && r.counted == !left.empty()) << words[0] << " " << r.percent;
    EXPECT_EQ(WordsOf(t), left) << words[0];
    if (left.empty()) EXPECT_EQ(debug, "kept");
  }
}

TEST_F(BayesFilterTest, RecordsSharingAHash) {
  // The last record decides the classification; training meets the first.
  Open(Head(200, 300) + Rec("twice", 0, 30) + Rec("twice", 30, 0));
  WordTable t = Table({"twice"});
  EXPECT_EQ(Classify(t), 100);
  filter_->Learn("Subject: t\r\n", Table({"twice"}), false, kNow);
  // A word with the header's hash is a new record at every training.
  WordTable twin;
  twin.Add("header-twin", 0x804F, 5);
  filter_->Learn("Subject: one\r\n", twin, true, kNow);
  filter_->Learn("Subject: two\r\n", twin, false, kNow);
  EXPECT_EQ(Saved(), Head(201, 302) + Rec("twice", 0, 31) + Rec("twice", 30, 0) + Head(5, 0) + Head(0, 5));
  Reopen();
  EXPECT_EQ(Classify(twin), 0);  // the later (ham) record
  EXPECT_EQ(twin.At(0).probability, 0.0001);
}

TEST_F(BayesFilterTest, TrainingAndRetraining) {
  Open(kExample);
  WordTable t = Table({"a", "a", "b", "newword"});
  const std::string header = "From: someone\r\nSubject: offer\r\n";
  LearnResult r = filter_->Learn(header, t, true, kNow);
  EXPECT_TRUE(r.learned && !r.reclassified && filter_->Changed());
  EXPECT_EQ(std::make_pair(filter_->SpamMessages(), filter_->WordRecords()), std::make_pair(201u, 6u));
  const std::string trained = Head(201, 300) + Rec("a", 32, 0) + Rec("b", 3, 30) + Rec("c", 1, 1) +
                              Rec("d", 4, 6) + Rec("newword", 1, 0);
  EXPECT_EQ(Saved(), trained);
  EXPECT_EQ(log_.entries, Lines{"Quelta: Bayes databases saved successfully (W=6/S=201/H=300)."});
  EXPECT_EQ(dir_.Read("Bayes.udb"), UndoRec(header, true, kNow));
  // The same class again: only the date of the undo record changes.
  r = filter_->Learn(header, t, true, kNow + 1);
  EXPECT_FALSE(r.learned || r.reclassified);
  EXPECT_EQ(Saved(), trained);
  EXPECT_EQ(dir_.Read("Bayes.udb"), UndoRec(header, true, kNow + 1));
  // The other class: the counts move.
  r = filter_->Learn(header, t, false, kNow + 2);
  EXPECT_TRUE(r.reclassified && !r.learned);
  EXPECT_EQ(Saved(), Head(200, 301) + Rec("a", 30, 2) + Rec("b", 2, 31) + Rec("c", 1, 1) + Rec("d", 4, 6) +
                         Rec("newword", 0, 1));
  EXPECT_EQ(dir_.Read("Bayes.udb"), UndoRec(header, false, kNow + 2));
  // An empty table changes no count but records the message.
  EXPECT_TRUE(filter_->Learn("Subject: nothing\r\n", WordTable(), true, kNow).learned);
  EXPECT_EQ(Saved().substr(0, 12), Head(200, 301));
  EXPECT_EQ(dir_.Read("Bayes.udb"), UndoRec(header, false, kNow + 2) + UndoRec("Subject: nothing\r\n", true, kNow));
}

TEST_F(BayesFilterTest, RetrainingNeverGoesBelowWhatIsThere) {
  // "w" was trained once as spam with count 3 and scaled down to 2 since;
  // the header's ham count is already 0.
  const std::string header = "Subject: scaled\r\n";
  Open(Head(60, 0) + Rec("w", 2, 0), UndoRec(header, false, 0));
  EXPECT_TRUE(filter_->Learn(header, Table({"w"}, 3), true, kNow).reclassified);
  filter_->Learn(header, Table({"w"}, 3), false, kNow);
  EXPECT_EQ(Saved(), Head(60, 1) + Rec("w", 2, 3));
}

TEST_F(BayesFilterTest, SavingOnlyWhatChanged) {
  Open(kExample);
  log_.entries.clear();
  EXPECT_TRUE(filter_->Save(log_));
  filter_->Learn("Subject: x\r\n", Table({"a"}), true, kNow);
  filter_->MarkUnchanged();  // as after the options deleted the files
  EXPECT_TRUE(filter_->Save(log_));
  EXPECT_EQ(log_.entries, Lines({"Quelta: Bayes databases not saved.", "Quelta: Bayes databases not saved."}));
  EXPECT_EQ(dir_.Read("Bayes.wdb"), kExample);
  EXPECT_EQ(dir_.Read("Bayes.udb"), "");
}

// Random bytes as both files: whole records load, every verdict is 0..100,
// training both ways works, and the saved files hold whole records.
TEST_F(BayesFilterTest, RandomFilesLoadAsWholeRecordsAndStayUsable) {
  std::mt19937 rng(5);
  for (int round = 0; round < 15; ++round) {
    std::string wdb(rng() % 300, '\0'), udb(rng() % 300, '\0');
    for (char& ch : wdb) ch = static_cast<char>(rng());
    for (char& ch : udb) ch = static_cast<char>(rng());
    options_.minWordCount = static_cast<std::int32_t>(rng() % 5) - 1;
    Open(wdb, udb);
    ASSERT_EQ(filter_->WordRecords(), std::max<std::uint32_t>(1, static_cast<std::uint32_t>(wdb.size() / 12)));
    WordTable t = Table({"unknown"});  // and words that hit the records
    for (std::size_t i = 0; i + 12 <= wdb.size(); i += 12) {
      std::uint32_t hash;
      std::memcpy(&hash, wdb.data() + i, 4);
      if (hash != 0) t.Add("h" + std::to_string(i), hash, 1 + static_cast<std::int32_t>(rng() % 4));
    }
    WordTable c = t;
    const std::int32_t percent = Classify(c);
    ASSERT_TRUE(percent >= 0 && percent <= 100);
    const std::string header = "Subject: " + std::to_string(round) + "\r\n";
    filter_->Learn(header, t, round % 2 == 0, kNow);
    EXPECT_TRUE(filter_->Learn(header, t, round % 2 != 0, kNow).reclassified);
    EXPECT_EQ(Saved().size() % 12, 0u);
    EXPECT_EQ(dir_.Read("Bayes.udb").size(), (udb.size() / 13 + 1) * 13);
  }
}

// The first classification is answered from the word file, the later ones
// from the loaded databases: over random databases (words sharing hashes,
// words with the header's hash) both give the same verdict and listing,
// and the figures do not change with the load.
TEST_F(BayesFilterTest, TheFirstClassificationFromTheFileAgreesWithTheLoadedOnes) {
  std::mt19937 rng(8);
  for (int round = 0; round < 40; ++round) {
    std::string wdb = Head(50 + rng() % 300, 50 + rng() % 300);
    WordTable t;
    for (int i = 0, n = 1 + static_cast<int>(rng() % 60); i < n; ++i) {
      const std::uint32_t hash = rng() % 3 == 0 ? 0x804F : 1 + rng() % 40;
      wdb += LE32(hash) + LE32(rng() % 50) + LE32(rng() % 50);
      if (rng() % 2) t.Add("w" + std::to_string(hash), hash, 1);
    }
    t.Add("absent", 1000, 1);
    options_.minWordCount = static_cast<std::int32_t>(rng() % 4);
    Open(wdb, UndoRec("Subject: x\r\n", true, kNow));
    const BayesFigures before = filter_->Figures();
    std::string fromFile, loaded;
    WordTable first = t, second = t;
    const ClassifyResult a = filter_->Classify(first, true, fromFile);
    const ClassifyResult b = filter_->Classify(second, true, loaded);
    EXPECT_TRUE(a.percent == b.percent && a.counted == b.counted && fromFile == loaded) << round;
    const BayesFigures after = filter_->Figures();
    EXPECT_TRUE(before.wordRecords == after.wordRecords && before.spamMessages == after.spamMessages &&
                before.hamMessages == after.hamMessages && after.wordRecords == wdb.size() / 12)
        << round;
  }
}

// A training before the first classification loads the databases: the
// classification then sees the training, not the file.
TEST_F(BayesFilterTest, AClassificationAfterATrainingSeesIt) {
  Open(Head(200, 300) + Rec("fresh", 0, 30));
  filter_->Learn("Subject: s\r\n", Table({"fresh"}, 60), true, kNow);
  WordTable t = Table({"fresh"});
  EXPECT_EQ(Classify(t), 74);  // 60/201 spam against 30/300 ham; the file alone says 0
}

// The options dialog deletes the files of a filter that has not loaded them
// yet: the next training starts afresh, without an error line.
TEST_F(BayesFilterTest, FilesDeletedBeforeTheFirstTrainingStartAfresh) {
  Open(kExample, UndoRec("Subject: old\r\n", true, kNow));
  WordTable t = Table({"a"});
  EXPECT_EQ(Classify(t), 100);
  ASSERT_TRUE(os::DeleteFile(dir_.File("Bayes.wdb")) && os::DeleteFile(dir_.File("Bayes.udb")));
  filter_->MarkUnchanged();
  log_.entries.clear();
  EXPECT_TRUE(filter_->Learn("Subject: new\r\n", Table({"a"}), false, kNow).learned);
  EXPECT_EQ(log_.Text(), "");
  EXPECT_EQ(Saved(), Head(0, 1) + Rec("a", 0, 1));
}

// Trains one message and saves; the pair of files.
std::pair<std::string, std::string> TrainAndSave(const testing_support::ScratchDir& d, const std::string& header,
                                                 bool asSpam) {
  testing_support::StringLog log;
  BayesFilter f(d.Folder(), BayesOptions(), log);
  f.Learn(header, Table({"alpha", "beta", header}), asSpam, 45000.5);
  EXPECT_TRUE(f.Save(log)) << log.Text();
  return {d.Read("Bayes.wdb"), d.Read("Bayes.udb")};
}

TEST_F(BayesFilterTest, AFullDiskAtAnyByteLeavesBothOldFilesAndTheMessageTrainable) {
  const auto old = TrainAndSave(dir_, "Subject: one", true);
  const std::size_t w = 12 * 6, u = 13 * 2;  // sizes of the new pair
  const char* const both = "ERROR: Saving Bayes datafile failed!\r\nERROR: Saving Bayes undofile failed!\r\n";
  const char* const undo = "ERROR: Saving Bayes undofile failed!\r\n";
  const std::pair<std::size_t, const char*> cases[] = {{0, both}, {w - 1, both}, {w, undo}, {w + u - 1, undo}};
  for (const auto& [room, lines] : cases) {
    ASSERT_TRUE(Reopen().Learn("Subject: two", Table({"gamma", "delta", "beta"}), false, 45001).learned);
    log_.entries.clear();
    os::LimitFileWrites(static_cast<std::int64_t>(room));
    EXPECT_FALSE(filter_->Save(log_));
    os::LimitFileWrites(-1);
    EXPECT_EQ(lines, log_.Text()) << room;
    EXPECT_TRUE(filter_->Changed());
    EXPECT_TRUE(old == std::make_pair(dir_.Read("Bayes.wdb"), dir_.Read("Bayes.udb"))) << room;
    EXPECT_TRUE(os::FindFiles(dir_.Folder(), os::kTemporaryFileMask).empty()) << room;
  }
  // The next run trains the same message as new.
  EXPECT_TRUE(Reopen().Learn("Subject: two", Table({"gamma", "delta", "beta"}), false, 45001).learned);
  EXPECT_EQ(Saved().size(), w);
  EXPECT_EQ(dir_.Read("Bayes.udb").size(), u);
}

// What a crash at each step of a save leaves, and what the next start
// makes of it: the old pair or the new pair, never a mix.
TEST(BayesPairSave, AnInterruptedSaveIsFinishedOrUndone) {
  testing_support::ScratchDir source;
  const auto old = TrainAndSave(source, "Subject: one", true), fresh = TrainAndSave(source, "Subject: two", false);
  const std::string wordReady = "Bayes.wdb.~quelta-ready.tmp", undoReady = "Bayes.udb.~quelta-ready.tmp";
  const std::string done = "Quelta: Bayes databases completed from an interrupted save.\r\n";
  using Pair = std::pair<std::string, std::string>;
  const std::tuple<Pair, bool, bool, Pair, std::string> cases[] = {  // on disk, ready files left, after, log
      {old, false, false, old, ""}, {old, true, false, old, ""}, {old, true, true, fresh, done},
      {{fresh.first, old.second}, false, true, fresh, done}};
  for (const auto& [onDisk, wordReadyLeft, undoReadyLeft, after, log] : cases) {
    testing_support::ScratchDir d;
    d.Write("Bayes.wdb", onDisk.first);
    d.Write("Bayes.udb", onDisk.second);
    if (wordReadyLeft) d.Write(wordReady, fresh.first);
    if (undoReadyLeft) d.Write(undoReady, fresh.second);
    testing_support::StringLog heard;
    BayesFilter::CompleteInterruptedSave(d.Folder(), heard);
    EXPECT_TRUE(after == std::make_pair(d.Read("Bayes.wdb"), d.Read("Bayes.udb"))) << wordReadyLeft << undoReadyLeft;
    EXPECT_EQ(log, heard.Text());
    EXPECT_FALSE(d.Exists(wordReady) || d.Exists(undoReady));
  }
}

// A run that could not own the profile keeps a journal of its trainings and
// applies it to the databases another process saved meanwhile: the result
// is what learning the same messages there directly gives.
TEST(BayesJournal, ReplayOnNewerFilesGivesWhatLearningThereGives) {
  testing_support::ScratchDir replayed, direct;
  TrainAndSave(replayed, "Subject: one", true);
  testing_support::StringLog log;
  auto learnAll = [](BayesFilter& f) {
    f.Learn("Subject: two", Table({"gamma", "alpha"}), true, 45001);
    f.Learn("Subject: one", Table({"alpha", "beta", "Subject: one"}), false, 45002);
    f.Learn("Subject: three", Table({"delta"}), false, 45003);
  };
  std::vector<Training> journal;
  {
    BayesFilter run(replayed.Folder(), BayesOptions(), log);
    run.KeepJournal(true);
    learnAll(run);
    journal = run.TakeJournal();
  }
  ASSERT_EQ(3u, journal.size());
  const auto other = TrainAndSave(replayed, "Subject: four", true);  // the other process
  direct.Write("Bayes.wdb", other.first);
  direct.Write("Bayes.udb", other.second);
  BayesFilter late(replayed.Folder(), BayesOptions(), log), here(direct.Folder(), BayesOptions(), log);
  late.Replay(journal);
  learnAll(here);
  ASSERT_TRUE(late.Save(log) && here.Save(log));
  EXPECT_EQ(direct.Read("Bayes.wdb"), replayed.Read("Bayes.wdb"));
  EXPECT_EQ(direct.Read("Bayes.udb"), replayed.Read("Bayes.udb"));
  EXPECT_EQ(4u * 13, replayed.Read("Bayes.udb").size());  // one, four, two, three
}

}  // namespace
}  // namespace quelta
