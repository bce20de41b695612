// The os layer's files, letter case, environment and clock, run unchanged
// against the Windows functions and the POSIX stand-ins. Only behaviour both
// promise is checked (the date format and the locale order of mixed-case
// text differ by design). Files are set up and inspected with plain streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "base/date_time.h"
#include "os/env.h"
#include "support/scratch_dir.h"

namespace quelta::os {
namespace {

using testing_support::ScratchDir;
using Names = std::vector<std::string>;

std::string AllBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
  return s + "\r\n\n\r\x1A" + s;
}

Names Listing(const ScratchDir& dir) {
  Names names;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(OsFiles, WholeFilesAreWrittenAndReadByteForByte) {
  ScratchDir dir;
  const std::string file = dir.File("data.bin");
  std::string got = "stale";
  // Each write replaces a longer file: nothing of the old one may remain.
  for (const std::string& data : {AllBytes() + std::string(300000, 'b'), AllBytes(), std::string()}) {
    ASSERT_TRUE(WriteFileAtomic(file, data));
    EXPECT_EQ(dir.Read("data.bin"), data);
    ASSERT_TRUE(ReadFile(file, got));
    EXPECT_EQ(got, data);
  }
  EXPECT_FALSE(ReadFile(dir.File("missing.bin"), got));
  EXPECT_FALSE(WriteFileAtomic(dir.File("absent") + kPathSep + "x.bin", "x"));
  EXPECT_EQ(Listing(dir), Names{"data.bin"});  // no temporary file is left behind
  for (const char* part : {"one\r\n", "", "\xE9\x80\n"}) ASSERT_TRUE(AppendFile(dir.File("log"), part));
  EXPECT_EQ(dir.Read("log"), "one\r\n\xE9\x80\n");
  EXPECT_FALSE(AppendFile(dir.File("absent") + kPathSep + "log", "x"));
}

TEST(OsFiles, RandomAccessReadsExactlyTheAskedBytes) {
  ScratchDir dir;
  dir.Write("r.bin", AllBytes());
  EXPECT_EQ(OpenRandomAccessFile(dir.File("missing.bin")), nullptr);
  const auto f = OpenRandomAccessFile(dir.File("r.bin"));
  ASSERT_NE(f, nullptr);
  const std::uint64_t size = AllBytes().size();
  char buf[3] = {};
  ASSERT_TRUE(f->ReadAt(0x41, buf, 3));
  EXPECT_EQ(std::string(buf, 3), "ABC");
  ASSERT_TRUE(f->ReadAt(size - 2, buf, 2));
  EXPECT_EQ(std::string(buf, 2), "\xFE\xFF");
  EXPECT_FALSE(f->ReadAt(size - 1, buf, 2));  // one byte short
  EXPECT_FALSE(f->ReadAt(size + 10, buf, 1));
}

TEST(OsFiles, ExistenceSizeRenameDelete) {
  ScratchDir dir;
  dir.Write("a.txt", "12345");
  dir.Write("b.txt", "B");
  std::filesystem::create_directories(dir.Path() / "sub");
  EXPECT_TRUE(FileExists(dir.File("a.txt")));
  EXPECT_TRUE(CanWriteFile(dir.File("a.txt")));
  for (const char* other : {"sub", "none"}) {
    EXPECT_FALSE(FileExists(dir.File(other))) << other;
    EXPECT_FALSE(CanWriteFile(dir.File(other))) << other;
    EXPECT_EQ(FileSize(dir.File(other)), 0) << other;
  }
  EXPECT_EQ(FileSize(dir.File("a.txt")), 5);
  EXPECT_FALSE(RenameFile(dir.File("a.txt"), dir.File("b.txt")));  // never overwrites
  EXPECT_FALSE(RenameFile(dir.File("none"), dir.File("other")));
  ASSERT_TRUE(RenameFile(dir.File("a.txt"), dir.File("c.txt")));
  EXPECT_TRUE(DeleteFile(dir.File("b.txt")));
  EXPECT_FALSE(DeleteFile(dir.File("b.txt")));
  EXPECT_EQ(Listing(dir), (Names{"c.txt", "sub"}));
  EXPECT_EQ(dir.Read("c.txt"), "12345");
}

TEST(OsFiles, FindFilesMatchesTheMaskIgnoringCaseAndSkipsFolders) {
  ScratchDir dir;
  for (const char* n : {"Filter_1.log", "filter_2.LOG", "Filter.log", "Filter_3.logx", "other.txt"})
    dir.Write(n, "x");
  std::filesystem::create_directories(dir.Path() / "Filter_dir.log");
  const struct {
    const char* mask;
    Names found;
  } cases[] = {{"Filter_*.log", {"Filter_1.log", "filter_2.LOG"}}, {"?THER.txt", {"other.txt"}},
               {"*.log", {"Filter.log", "Filter_1.log", "filter_2.LOG"}}, {"*.none", {}}};
  for (const auto& c : cases) {
    Names found = FindFiles(dir.Folder(), c.mask);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, c.found) << c.mask;
  }
  EXPECT_TRUE(FindFiles(dir.File("absent") + kPathSep, "*").empty());
}

TEST(OsPaths, AbsolutePathsAndFolders) {
  const bool win = kPathSep == '\\';
  const struct {
    const char* name;
    bool absolute;
    const char* folder;
  } cases[] = {
      {"/usr/x", true, "/usr/"}, {"", false, ""}, {"Rules.dat", false, ""}, {"sub/R", false, "sub/"},
      {"sub\\R", false, win ? "sub\\" : ""}, {"C:\\R", win, win ? "C:\\" : ""},
      {"c:R", win, win ? "c:" : ""}, {"\\\\server\\share\\R", win, win ? "\\\\server\\share\\" : ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsAbsolutePath(c.name), c.absolute) << c.name;
    EXPECT_EQ(FolderOf(c.name), c.folder) << c.name;
  }
}

TEST(OsText, WesternLetterCaseAndComparisons) {
  const std::string lower("az\xE0\xE9\xFE\xFF\x9A\x9C\x9E", 9), upper("AZ\xC0\xC9\xDE\x9F\x8A\x8C\x8E", 9);
  EXPECT_EQ(AnsiUpperCase(lower), upper);
  EXPECT_EQ(AnsiLowerCase(upper), lower);
  // No case partner: unchanged both ways (sharp s, micro sign, signs, digits,
  // the neighbours of the letter ranges); length and zero bytes are kept.
  const std::string fixed("\xDF\xB5\xD7\xF7" "09 -_!@[`{\0", 15);
  EXPECT_EQ(AnsiUpperCase(fixed), fixed);
  EXPECT_EQ(AnsiLowerCase(fixed), fixed);
  const struct {
    const char *a, *b;
    int text;
  } cases[] = {{"Quelta", "QUELTA", 0}, {"caf\xE9", "CAF\xC9", 0}, {"", "", 0}, {"a", "B", -1},
               {"b", "A", 1},           {"abc", "ABCD", -1},        {"x", "", 1}};
  for (const auto& c : cases) {
    const int r = AnsiCompareText(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.text) << c.a << " / " << c.b;
  }
  // Byte-exact: letter case counts; the order of plain lower-case words.
  EXPECT_EQ(AnsiCompareStr("same", "same"), 0);
  EXPECT_NE(AnsiCompareStr("same", "SAME"), 0);
  EXPECT_LT(AnsiCompareStr("abc", "abd"), 0);
  EXPECT_GT(AnsiCompareStr("abd", "abc"), 0);
  EXPECT_LT(AnsiCompareStr("ab", "abc"), 0);
}

TEST(OsEnvironment, ExpandsKnownNamesAndKeepsUnknownOnes) {
  const char* path = std::getenv("PATH");
  ASSERT_NE(path, nullptr);
  const std::string p(path);
  if (p.empty() || p.size() > 1000) GTEST_SKIP() << "PATH empty or too long for this test";
  const std::string unset = "%QUELTA_SURELY_UNSET_1%";
  const struct {
    std::string text, result;
  } cases[] = {{"%PATH%", p}, {"a" + unset + "b%PATH%c", "a" + unset + "b" + p + "c"},
               {"100% sure", "100% sure"}, {"%%", "%%"},
               {"", ""}, {"caf\xE9 \x80", "caf\xE9 \x80"}};
  for (const auto& c : cases) EXPECT_EQ(ExpandEnvironment(c.text), c.result) << c.text;
  std::string many, full;  // longer results are cut to 4095 characters
  for (; full.size() < 5000; full += p + ";") many += "%PATH%;";
  EXPECT_EQ(ExpandEnvironment(many), full.substr(0, 4095));
}

TEST(OsClock, LocalNowTicksAndTheFormattedDate) {
  const double before = LocalNow();
  const std::time_t t = std::time(nullptr);
  const std::tm tm = *std::localtime(&t);
  const double after = LocalNow();
  double now = 0;
  ASSERT_TRUE(TryEncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                                tm.tm_sec, 0, now));
  const double slack = 2.0 / 86400.0;  // whole seconds on one side, milliseconds on the other
  EXPECT_GE(now, before - slack);
  EXPECT_LE(now, after + slack);
  const std::uint32_t start = TickCount();
  SleepMs(50);
  EXPECT_GE(TickCount() - start, 30u);  // the system tick may be coarse
  double dt = 0;
  ASSERT_TRUE(TryEncodeDateTime(2023, 3, 15, 18, 7, 9, 0, dt));
  const std::string epoch = FormatDateTime(0.0), later = FormatDateTime(dt);
  for (const char* part : {"1899", "30"}) EXPECT_NE(epoch.find(part), std::string::npos) << epoch;
  for (const char* part : {"2023", "15", "07", "09"}) EXPECT_NE(later.find(part), std::string::npos) << later;
}

}  // namespace
}  // namespace quelta::os
