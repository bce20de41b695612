// The auto-white-list file: both line forms, expiry by age, merging of
// repeated addresses, the rewritten file, Contains against a plain
// case-folded search over random lists, and lines another program appends
// while the plug-in prunes and rewrites the file.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <unordered_set>

#include "base/date_time.h"
#include "base/strings.h"
#include "lists/angle_index.h"
#include "lists/auto_white_list.h"
#include "os/env.h"
#include "support/scratch_dir.h"

namespace quelta {
namespace {

// Noon of 15 June 2026, the "now" of every load.
const double kNow = EncodeDate(2026, 6, 15) + 0.5;

// "yyyymmdd" of the day `daysAgo` days before kNow (negative: ahead).
std::string DaysAgo(int daysAgo) {
  int y, m, d;
  DecodeDate(EncodeDate(2026, 6, 15) - daysAgo, y, m, d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
  return buf;
}

class AutoWhiteListFile : public ::testing::Test {
 protected:
  int Load(const std::string& text, int awlDays = 60) {
    dir_.Write("AutoWL.lst", text);
    return list_.Load(dir_.File("AutoWL.lst"), awlDays, kNow);
  }
  std::string File() const { return dir_.Read("AutoWL.lst"); }
  testing_support::ScratchDir dir_;
  AutoWhiteList list_;
};

TEST_F(AutoWhiteListFile, LinesAreNormalisedAndRewritten) {
  const std::string d = DaysAgo(10), d2 = DaysAgo(59);
  const std::tuple<std::string, int, std::string> cases[] = {
      {"\"Bob <BOB@Example.org>|" + d + "\"\r\n", 1, "<bob@example.org>|" + d + "\r\n"},
      {"\"Ann <ann@example.org>, bob@example.net|x|" + d + "\"\n", 1,
       "<ann@example.org><bob@example.net>|" + d + "\r\n"},
      {"  <Alice@Example.ORG>|" + d + "  \n\n<carl@example.com>|" + d2 + "\n", 2,
       "<alice@example.org>|" + d + "\r\n<carl@example.com>|" + d2 + "\r\n"},
      // Undecodable dates count as today.
      {"<a@x>|\n<b@x>|2024\n<c@x>|20241301\n<d@x>|20230229\n<e@x>|2023-1-1\n<f@x>|yesterday\n", 6,
       "<a@x>|20260615\r\n<b@x>|20260615\r\n<c@x>|20260615\r\n<d@x>|20260615\r\n<e@x>|20260615\r\n"
       "<f@x>|20260615\r\n"},
      // A repeated address keeps its place and takes the later date part as written.
      {"<dup@x>|" + d + "\n<y@x>|" + d + "\n<DUP@x>|" + d2 + "\n\"Dup <dup@x>|soon\"\n", 2,
       "<dup@x>|soon\r\n<y@x>|" + d + "\r\n"},
      {"just text\n\"quoted without bar\"\n", 1, "|\r\n"},
      // A last line without its line end (a file edited by hand) is taken.
      {"<z@x>|" + d + "\r\n<Last@X>|" + d, 2, "<z@x>|" + d + "\r\n<last@x>|" + d + "\r\n"},
      {"<old@x>|20000101\n", 0, ""},
      {"", 0, ""}};
  for (const auto& [text, count, file] : cases) {
    EXPECT_EQ(Load(text), count) << text;
    EXPECT_EQ(File(), file) << text;
    EXPECT_EQ(list_.Count(), count);
  }
  EXPECT_EQ(list_.Load(dir_.File("missing.lst"), 60, kNow), -1);
  EXPECT_TRUE(list_.Count() == 0 && !dir_.Exists("missing.lst"));
}

TEST_F(AutoWhiteListFile, ExpiryAtAwlDays) {
  const std::pair<int, bool> cases[] = {{0, true}, {59, true}, {60, false}, {61, false}, {-60, true}, {-61, false}};
  std::string text, kept;
  for (const auto& [daysAgo, keep] : cases) {
    const std::string line = "<u" + std::to_string(daysAgo) + "@x>|" + DaysAgo(daysAgo) + "\r\n";
    text += line;
    if (keep) kept += line;
  }
  EXPECT_EQ(Load(text), 3);  // whole days from noon: 60 ahead is 59.5 days away
  EXPECT_EQ(File(), kept);
  EXPECT_EQ(Load("<a@x>|" + DaysAgo(0) + "\r\n<b@x>|" + DaysAgo(1) + "\r\n", 1), 1);
}

TEST_F(AutoWhiteListFile, AFileWithNothingToWriteIsLeftAlone) {
  EXPECT_EQ(Load(" \r\n\r\n"), 0);
  EXPECT_EQ(File(), " \r\n\r\n");
  const std::string written = "<a@x>|" + DaysAgo(1) + "\r\n";
  EXPECT_EQ(Load(written + "<b@x>|" + DaysAgo(2) + "\r\n"), 2);
  EXPECT_EQ(Load(written), 1);  // a reload replaces the list
  EXPECT_FALSE(list_.Contains("<b@x>"));
}

// Contains agrees with a case-folded substring search over the entries.
TEST_F(AutoWhiteListFile, ContainsEqualsASubstringSearch) {
  const std::string pieces[] = {"<", ">", "ann", "ANN", "@x.org", "|", " ", "\"", "doe", ",", "b@y"};
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::string text, needles[40];
    for (int line = 0; line < 8; ++line) {
      for (int k = 0; k < 6; ++k) text += pieces[rng() % 11];
      text += "|" + DaysAgo(static_cast<int>(rng() % 3)) + "\r\n";
    }
    ASSERT_GE(Load(text), 0);
    for (std::string& needle : needles) {
      for (int k = 1 + static_cast<int>(rng() % 4); k > 0; --k) needle += pieces[rng() % 11];
      if (rng() % 2) needle = "<" + needle + ">";
      bool found = false;
      for (const std::string& e : list_.Entries())
        found = found || FoldCase(e).find(FoldCase(needle)) != std::string::npos;
      ASSERT_EQ(list_.Contains(needle), found) << needle << " in\n" << File();
    }
  }
  EXPECT_FALSE(list_.Contains(""));
}

// Another program appends lines every few hundred microseconds, so that
// many land while a rewrite (read, write, flush, replace) is under way: every
// appended line must end up in the rewritten file.
TEST_F(AutoWhiteListFile, LinesAppendedDuringRewritesAreKept) {
  const std::string file = dir_.File("AutoWL.lst"), today = DaysAgo(0);
  // An expired line makes the first load rewrite the file; each appended
  // line (upper case, as a mail client may write it) makes the next one do so.
  dir_.Write("AutoWL.lst", "<old@example.org>|20000101\r\n");
  constexpr int kLines = 2000;
  std::atomic<bool> done{false};
  std::thread appender([&] {
    for (int i = 0; i < kLines; ++i) {
      ASSERT_TRUE(os::AppendFile(file, "<User" + std::to_string(i) + "@Example.ORG>|" + today + "\r\n"));
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    done = true;
  });
  while (!done) EXPECT_LE(0, list_.Load(file, 60, kNow));
  appender.join();
  ASSERT_EQ(kLines, list_.Load(file, 60, kNow));
  std::unordered_set<std::string> kept;
  for (const std::string& line : SplitLines(File())) kept.insert(line);
  int missing = 0;
  for (int i = 0; i < kLines; ++i) missing += kept.count("<user" + std::to_string(i) + "@example.org>|" + today) ? 0 : 1;
  EXPECT_EQ(0, missing);
  EXPECT_EQ(0u, kept.count("<old@example.org>|20000101"));
  EXPECT_TRUE(os::FindFiles(dir_.Folder(), os::kTemporaryFileMask).empty());
}

}  // namespace
}  // namespace quelta
