// Another program appends to "AutoWL.lst" while the plug-in prunes and
// rewrites it: every appended line must end up in the rewritten file.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <unordered_set>

#include "base/date_time.h"
#include "base/strings.h"
#include "lists/auto_white_list.h"
#include "os/env.h"
#include "support/scratch_dir.h"

namespace quelta {
namespace {

using testing_support::ScratchDir;

std::string Ymd(double date) {
  int y = 0, m = 0, d = 0;
  DecodeDate(date, y, m, d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
  return buf;
}

TEST(AutoWhiteListAppend, LinesAppendedDuringRewritesAreKept) {
  ScratchDir d;
  const std::string file = d.File("AutoWL.lst");
  const double now = os::LocalNow();
  const std::string today = Ymd(now);
  // An expired line makes the first load rewrite the file; each appended
  // line (upper case, as a mail client may write it) makes the next one do so.
  d.Write("AutoWL.lst", "<old@example.org>|20000101\r\n");
  // Lines arrive every few hundred microseconds, so that many land while a
  // rewrite (read, write, flush, replace) is under way.
  constexpr int kLines = 2000;
  std::atomic<bool> done{false};
  std::thread appender([&] {
    for (int i = 0; i < kLines; ++i) {
      ASSERT_TRUE(os::AppendFile(file, "<User" + std::to_string(i) + "@Example.ORG>|" + today + "\r\n"));
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    done = true;
  });
  AutoWhiteList list;
  int loads = 0;
  while (!done) {
    EXPECT_LE(0, list.Load(file, 60, now));
    ++loads;
  }
  appender.join();
  ASSERT_EQ(kLines, list.Load(file, 60, now));
  std::unordered_set<std::string> kept;
  for (const std::string& line : SplitLines(d.Read("AutoWL.lst"))) kept.insert(line);
  int missing = 0;
  for (int i = 0; i < kLines; ++i)
    missing += kept.count("<user" + std::to_string(i) + "@example.org>|" + today) == 0 ? 1 : 0;
  EXPECT_EQ(0, missing) << "lines lost over " << loads << " rewrites";
  EXPECT_EQ(0u, kept.count("<old@example.org>|20000101"));
  EXPECT_TRUE(os::FindFiles(d.Folder(), os::kTemporaryFileMask).empty());
}

}  // namespace
}  // namespace quelta
