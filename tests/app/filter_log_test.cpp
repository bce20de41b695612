// The filter log: whole blocks per entry, rotation by size to a name from
// the time given, and pruning of rotated copies by age in months.
#include "app/filter_log.h"

#include <gtest/gtest.h>

#include "base/date_time.h"
#include "support/scratch_dir.h"

using namespace quelta;
using testing_support::ScratchDir;

namespace {

double At(int y, int mo, int d, int h, int mi) {
  double v = 0;
  EXPECT_TRUE(TryEncodeDateTime(y, mo, d, h, mi, 0, 0, v));
  return v;
}

TEST(FilterLog, EntriesAreWrittenAsWholeBlocks) {
  ScratchDir dir;
  FilterLog log;
  log.SetFolder(dir.Folder());
  log.Write(std::string("a\0b", 3));
  log.Write("");
  log.Write("x\r\ny");
  EXPECT_EQ("a b\r\n\r\nx\r\ny\r\n", dir.Read("Filter.log"));
  log.SetFolder(dir.File("missing") + "/");
  log.Write("lost");  // a missing folder loses the entry quietly
  EXPECT_FALSE(dir.Exists("missing"));
}

TEST(FilterLog, RotationAboveTheLimitToTheTimeOfNow) {
  ScratchDir dir;
  FilterLog log;
  log.SetFolder(dir.Folder());
  LogOptions options;
  options.maxLogSize = 10;
  const double now = At(2007, 3, 6, 9, 14) + 59.0 / 86400;
  dir.Write("Filter.log", std::string(10, 'x'));
  log.Rotate(options, now);
  EXPECT_TRUE(dir.Exists("Filter.log"));
  dir.Write("Filter.log", std::string(11, 'y'));
  log.Rotate(options, now);
  EXPECT_FALSE(dir.Exists("Filter.log"));
  EXPECT_EQ(std::string(11, 'y'), dir.Read("Filter_070306_0914.log"));
}

TEST(FilterLog, PruningByAgeInMonths) {
  ScratchDir dir;
  FilterLog log;
  log.SetFolder(dir.Folder());
  LogOptions options;
  options.oldLogAge = 3;
  const double now = At(2007, 6, 1, 12, 0);
  // 92 days are more than three months of 30.4375 days, 91 are not; a
  // stamp in the future counts by its distance too.
  for (const char* name : {"Filter_070301_1200.log", "Filter_070302_1200.log", "Filter_070910_1200.log",
                           "Filter_old.log", "Filter_070301_1200.log.bak"})
    dir.Write(name, "x");
  EXPECT_TRUE(log.DeleteOld(options, now));
  EXPECT_FALSE(dir.Exists("Filter_070301_1200.log"));
  EXPECT_TRUE(dir.Exists("Filter_070302_1200.log"));
  EXPECT_FALSE(dir.Exists("Filter_070910_1200.log"));
  EXPECT_TRUE(dir.Exists("Filter_old.log"));
  options.oldLogAge = 2;
  EXPECT_TRUE(log.DeleteOld(options, now));
  EXPECT_FALSE(dir.Exists("Filter_070302_1200.log"));
  for (const char* bad : {"Filter_071306_1200.log", "Filter_07x306_1200.log", "Filter_070306_12x0.log"}) {
    ScratchDir other;
    other.Write(bad, "x");
    log.SetFolder(other.Folder());
    EXPECT_FALSE(log.DeleteOld(options, now)) << bad;
    EXPECT_TRUE(other.Exists(bad));
  }
}

}  // namespace
