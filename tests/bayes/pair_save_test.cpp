// The two Bayes files are one pair on disk: a save that fails at any byte
// leaves both old files (and the message can be trained again), and a save
// interrupted by a crash is finished or undone by the next start.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bayes/classifier.h"
#include "bayes/word_table.h"
#include "os/env.h"
#include "support/scratch_dir.h"
#include "support/string_log.h"

namespace quelta {
namespace {

using testing_support::ScratchDir;
using testing_support::StringLog;

const BayesOptions kOptions;

WordTable Words(const std::vector<std::string>& words) {
  WordTable t;
  for (const std::string& w : words) t.Add(w);
  return t;
}

// Trains one message into the databases of the folder and saves them.
void TrainAndSave(const ScratchDir& d, const std::string& header, bool asSpam) {
  StringLog log;
  BayesFilter f(d.Folder(), kOptions, log);
  f.Learn(header, Words({"alpha", "beta", header}), asSpam, 45000.5);
  ASSERT_TRUE(f.Save(log)) << log.Text();
}

struct Pair {
  std::string words, undo;
  bool operator==(const Pair& o) const { return words == o.words && undo == o.undo; }
};

Pair Files(const ScratchDir& d) { return {d.Read("Bayes.wdb"), d.Read("Bayes.udb")}; }

TEST(BayesPairSave, AFullDiskAtAnyByteLeavesBothOldFilesAndTheMessageTrainable) {
  ScratchDir d;
  TrainAndSave(d, "Subject: one", true);
  const Pair old = Files(d);
  const std::int64_t w = 12 * 6, u = 13 * 2;  // sizes of the new pair
  const struct {
    std::int64_t room;
    const char* lines;
  } cases[] = {
      {0, "ERROR: Saving Bayes datafile failed!\r\nERROR: Saving Bayes undofile failed!\r\n"},
      {w - 1, "ERROR: Saving Bayes datafile failed!\r\nERROR: Saving Bayes undofile failed!\r\n"},
      {w, "ERROR: Saving Bayes undofile failed!\r\n"},
      {w + u - 1, "ERROR: Saving Bayes undofile failed!\r\n"},
  };
  for (const auto& c : cases) {
    StringLog loadLog, log;
    BayesFilter f(d.Folder(), kOptions, loadLog);
    ASSERT_TRUE(f.Learn("Subject: two", Words({"gamma", "delta", "beta"}), false, 45001).learned);
    os::LimitFileWrites(c.room);
    EXPECT_FALSE(f.Save(log));
    os::LimitFileWrites(-1);
    EXPECT_EQ(c.lines, log.Text()) << c.room;
    EXPECT_TRUE(f.Changed());
    EXPECT_TRUE(old == Files(d)) << c.room;
    EXPECT_TRUE(os::FindFiles(d.Folder(), os::kTemporaryFileMask).empty()) << c.room;
  }
  // The next run trains the same message as new.
  StringLog log;
  BayesFilter next(d.Folder(), kOptions, log);
  EXPECT_TRUE(next.Learn("Subject: two", Words({"gamma", "delta", "beta"}), false, 45001).learned);
  ASSERT_TRUE(next.Save(log));
  EXPECT_EQ(w, static_cast<std::int64_t>(d.Read("Bayes.wdb").size()));
  EXPECT_EQ(u, static_cast<std::int64_t>(d.Read("Bayes.udb").size()));
}

// What a crash at each step of a save leaves, and what the next start
// makes of it: the old pair or the new pair, never a mix.
TEST(BayesPairSave, AnInterruptedSaveIsFinishedOrUndone) {
  ScratchDir source;
  TrainAndSave(source, "Subject: one", true);
  const Pair old = Files(source);
  TrainAndSave(source, "Subject: two", false);
  const Pair fresh = Files(source);
  const std::string wordReady = "Bayes.wdb.~quelta-ready.tmp", undoReady = "Bayes.udb.~quelta-ready.tmp";

  const struct {
    const char* step;
    Pair onDisk;
    bool wordReadyLeft, undoReadyLeft;
    Pair after;
    const char* log;
  } cases[] = {
      {"temporary files written", old, false, false, old, ""},
      {"word file ready", old, true, false, old, ""},
      {"both ready", old, true, true, fresh,
       "Quelta: Bayes databases completed from an interrupted save.\r\n"},
      {"word file replaced", {fresh.words, old.undo}, false, true, fresh,
       "Quelta: Bayes databases completed from an interrupted save.\r\n"},
  };
  for (const auto& c : cases) {
    ScratchDir d;
    d.Write("Bayes.wdb", c.onDisk.words);
    d.Write("Bayes.udb", c.onDisk.undo);
    if (c.wordReadyLeft) d.Write(wordReady, fresh.words);
    if (c.undoReadyLeft) d.Write(undoReady, fresh.undo);
    StringLog log;
    BayesFilter::CompleteInterruptedSave(d.Folder(), log);
    EXPECT_TRUE(c.after == Files(d)) << c.step;
    EXPECT_EQ(c.log, log.Text()) << c.step;
    EXPECT_FALSE(d.Exists(wordReady) || d.Exists(undoReady)) << c.step;
  }
}

// A run that could not own the profile keeps a journal of its trainings and
// applies it to the databases another process saved meanwhile: the result
// is what learning the same messages there directly gives.
TEST(BayesJournal, ReplayOnNewerFilesGivesWhatLearningThereGives) {
  ScratchDir replayed, direct;
  TrainAndSave(replayed, "Subject: one", true);
  StringLog log;
  std::vector<Training> journal;
  {
    BayesFilter run(replayed.Folder(), kOptions, log);
    run.KeepJournal(true);
    run.Learn("Subject: two", Words({"gamma", "alpha"}), true, 45001);
    run.Learn("Subject: one", Words({"alpha", "beta", "Subject: one"}), false, 45002);
    run.Learn("Subject: three", Words({"delta"}), false, 45003);
    journal = run.TakeJournal();
  }
  ASSERT_EQ(3u, journal.size());
  TrainAndSave(replayed, "Subject: four", true);  // the other process
  direct.Write("Bayes.wdb", replayed.Read("Bayes.wdb"));
  direct.Write("Bayes.udb", replayed.Read("Bayes.udb"));

  BayesFilter late(replayed.Folder(), kOptions, log);
  late.Replay(journal);
  ASSERT_TRUE(late.Save(log));
  BayesFilter here(direct.Folder(), kOptions, log);
  here.Learn("Subject: two", Words({"gamma", "alpha"}), true, 45001);
  here.Learn("Subject: one", Words({"alpha", "beta", "Subject: one"}), false, 45002);
  here.Learn("Subject: three", Words({"delta"}), false, 45003);
  ASSERT_TRUE(here.Save(log));
  EXPECT_TRUE(Files(direct) == Files(replayed));
  EXPECT_EQ(4u * 13, Files(replayed).undo.size());  // one, four, two, three
}

}  // namespace
}  // namespace quelta
