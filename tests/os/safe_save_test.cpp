// Saving safely, as both platform layers promise it: temporary files of
// the plug-in's own pattern, replaces that leave the old or the new file,
// INI batches equal to key-by-key writes, the profile lock, the replace of
// a file another program appends to, and a full disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "os/env.h"
#include "support/scratch_dir.h"

namespace quelta::os {
namespace {

using testing_support::ScratchDir;

// Lifts the simulated full disk when a test ends, however it ends.
struct WriteLimit {
  explicit WriteLimit(std::int64_t bytes) { LimitFileWrites(bytes); }
  ~WriteLimit() { LimitFileWrites(-1); }
};

std::vector<std::string> Names(const ScratchDir& d) {
  std::vector<std::string> names = FindFiles(d.Folder(), "*");
  std::sort(names.begin(), names.end());
  return names;
}

TEST(SafeSave, TemporaryFileIsNamedAfterItsFileAndReplacesItInOneStep) {
  ScratchDir d;
  d.Write("Quelta.ini", "old");
  std::string temp;
  ASSERT_TRUE(WriteTemporaryFile(d.File("Quelta.ini"), "new", temp));
  EXPECT_EQ(0u, temp.find(d.File("Quelta.ini") + ".~quelta-"));
  EXPECT_EQ(FindFiles(d.Folder(), kTemporaryFileMask).size(), 1u);
  EXPECT_EQ("old", d.Read("Quelta.ini"));
  ASSERT_TRUE(ReplaceFile(temp, d.File("Quelta.ini")));
  EXPECT_EQ("new", d.Read("Quelta.ini"));
  EXPECT_EQ(std::vector<std::string>{"Quelta.ini"}, Names(d));
}

TEST(SafeSave, AFullDiskFailsEveryWriteAndLeavesTheOldFileAlone) {
  ScratchDir d;
  d.Write("f.txt", "old content\r\n");
  for (const std::int64_t room : {0, 5}) {
    WriteLimit limit(room);
    std::string temp;
    EXPECT_FALSE(WriteTemporaryFile(d.File("f.txt"), "new content\r\n", temp)) << room;
    EXPECT_TRUE(temp.empty());
    LimitFileWrites(room);
    EXPECT_FALSE(WriteFileAtomic(d.File("f.txt"), "new content\r\n")) << room;
    LimitFileWrites(room);
    EXPECT_FALSE(IniWriteAll(d.File("f.txt"), {{"S", "K", "a value longer than the room"}}));
    LimitFileWrites(room);
    EXPECT_FALSE(AppendFile(d.File("g.txt"), "a line longer than the room\r\n")) << room;
  }
  EXPECT_EQ("old content\r\n", d.Read("f.txt"));
  EXPECT_TRUE(FindFiles(d.Folder(), kTemporaryFileMask).empty());
  ASSERT_TRUE(WriteFileAtomic(d.File("f.txt"), "new"));  // the limit is lifted
}

TEST(SafeSave, OnlyThePluginsOwnTemporaryFilesAreRemoved) {
  ScratchDir d;
  const std::vector<std::string> own = {"Quelta.ini.~quelta-Ab12Cd.tmp",
                                        "Bayes.wdb.~quelta-ready.tmp", "AutoWL.lst.~quelta-1f-3.tmp"};
  const std::vector<std::string> foreign = {"Quelta.ini",       "Quelta.ini.tmp",
                                            "~Quelta.ini",      ".~Quelta.ini.AbCdEf",
                                            "x.~quelta-1.tmpx", "x.quelta-1.tmp"};
  for (const auto& n : own) d.Write(n, "x");
  for (const auto& n : foreign) d.Write(n, "x");
  EXPECT_TRUE(RemoveTemporaryFiles(d.Folder()));
  std::vector<std::string> left = foreign;
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, Names(d));
}

// The batch gives byte for byte what writing its keys one by one gives.
TEST(SafeSave, IniBatchWritesWhatKeyByKeyWritesWrite) {
  const std::vector<IniEntry> entries = {
      {"Statistics", "MessagesFiltered", "12"}, {"statistics", "CLASSASSPAM", "3"},
      {"Main", "Language", "Deutsch"},          {"New", "Key", "v"},
      {"Statistics", "BayesLearnAsHam", "4294967295"}, {"New", "Key", "w"}};
  const char* const starts[] = {
      "",
      "[Statistics]\r\nMessagesFiltered=1\r\nClassAsSpam=0\r\n\r\n[Main]\r\nLanguage=English\r\n",
      "; comment\nA=1\n[Main]\n  Language = x \n[Other]\nK=\"q\"\n"};
  for (const char* start : starts) {
    ScratchDir d;
    d.Write("one.ini", start);
    d.Write("all.ini", start);
    for (const IniEntry& e : entries) ASSERT_TRUE(IniWrite(d.File("one.ini"), e.section, e.key, e.value));
    ASSERT_TRUE(IniWriteAll(d.File("all.ini"), entries));
    EXPECT_EQ(d.Read("one.ini"), d.Read("all.ini")) << start;
  }
}

#if !defined(_WIN32)
// POSIX: one batch is one replace of the file, so a failed save changes no key.
TEST(SafeSave, IniBatchThatCannotBeWrittenChangesNothing) {
  ScratchDir d;
  const std::string before = "[Statistics]\r\nMessagesFiltered=1\r\nClassAsSpam=0\r\n";
  d.Write("Quelta.ini", before);
  WriteLimit limit(static_cast<std::int64_t>(before.size()));
  EXPECT_FALSE(IniWriteAll(d.File("Quelta.ini"), {{"Statistics", "MessagesFiltered", "2"},
                                                   {"Statistics", "ClassAsSpam", "1000"}}));
  EXPECT_EQ(before, d.Read("Quelta.ini"));
}
#endif

TEST(SafeSave, ASecondLockWaitsUntilTheFirstIsReleased) {
  ScratchDir d;
  const std::string file = d.File("Quelta.lock");
  std::unique_ptr<FileLock> first = LockFile(file, kWaitForever);
  ASSERT_TRUE(first);
  EXPECT_FALSE(LockFile(file, 0));
  EXPECT_FALSE(LockFile(file, 30));
  std::atomic<bool> taken{false};
  std::thread waiter([&] {
    std::unique_ptr<FileLock> second = LockFile(file, kWaitForever);
    taken = second != nullptr;
  });
  SleepMs(100);
  EXPECT_FALSE(taken);
  first.reset();
  waiter.join();
  EXPECT_TRUE(taken);
  EXPECT_TRUE(LockFile(file, 0));
  EXPECT_FALSE(LockFile(d.File("absent") + kPathSep + "Quelta.lock", 0));
}

TEST(SafeSave, AGrowingFileIsReplacedOnlyWithEverythingItGot) {
  ScratchDir d;
  const std::string file = d.File("AutoWL.lst");
  const std::string a = "<a@b.example>|20260101\r\n", c = "<c@d.example>|20260102\r\n";
  d.Write("AutoWL.lst", a);
  std::string temp, appended;
  ASSERT_TRUE(WriteTemporaryFile(file, "new\r\n", temp));
  ASSERT_TRUE(AppendFile(file, c));
  EXPECT_EQ(GrowingReplace::kGrew, ReplaceGrowingFile(temp, file, 24, false, appended));
  EXPECT_EQ(c, appended);
  EXPECT_EQ(GrowingReplace::kChanged, ReplaceGrowingFile(temp, file, 60, true, appended));
  EXPECT_EQ(a + c, d.Read("AutoWL.lst"));
  EXPECT_EQ(GrowingReplace::kReplaced, ReplaceGrowingFile(temp, file, 48, false, appended));
  EXPECT_EQ("", appended);
  EXPECT_EQ("new\r\n", d.Read("AutoWL.lst"));
  // Carried over as written when asked to.
  ASSERT_TRUE(WriteTemporaryFile(file, "newer\r\n", temp));
  ASSERT_TRUE(AppendFile(file, c));
  EXPECT_EQ(GrowingReplace::kReplaced, ReplaceGrowingFile(temp, file, 5, true, appended));
  EXPECT_EQ(c, appended);
  EXPECT_EQ("newer\r\n" + c, d.Read("AutoWL.lst"));
  EXPECT_EQ(std::vector<std::string>{"AutoWL.lst"}, Names(d));
}

}  // namespace
}  // namespace quelta::os
