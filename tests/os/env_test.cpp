// The os layer's files, safe saving, letter case, environment and clock, run
// unchanged against the Windows functions and the POSIX stand-ins. Only
// behaviour both promise is checked (the date format and the locale order of
// mixed-case text differ by design).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
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
    ASSERT_TRUE(ReadFile(file, got));
    EXPECT_EQ(got, data);
  }
  EXPECT_FALSE(ReadFile(dir.File("missing.bin"), got));
  EXPECT_FALSE(WriteFileAtomic(dir.File("absent") + kPathSep + "x.bin", "x"));
  EXPECT_EQ(Listing(dir), Names{"data.bin"});  // no temporary file is left behind
  for (const char* part : {"one\r\n", "", "\xE9\x80\n"}) ASSERT_TRUE(AppendFile(dir.File("log"), part));
  EXPECT_EQ(dir.Read("log"), "one\r\n\xE9\x80\n");
  EXPECT_FALSE(AppendFile(dir.File("absent") + kPathSep + "log", "x"));
  EXPECT_EQ(OpenAppendableFile(dir.File("absent") + kPathSep + "log"), nullptr);
  // Random access reads exactly the asked bytes.
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
  EXPECT_TRUE(f->ReadAt(size - 1, buf, 1) && buf[0] == '\xFF');
}

TEST(OsFiles, ExistenceSizeRenameDelete) {
  ScratchDir dir;
  dir.Write("a.txt", "12345");
  dir.Write("b.txt", "B");
  std::filesystem::create_directories(dir.Path() / "sub");
  EXPECT_TRUE(FileExists(dir.File("a.txt")) && CanWriteFile(dir.File("a.txt")));
  EXPECT_EQ(FileSize(dir.File("a.txt")), 5);
  for (const char* other : {"sub", "none"})
    EXPECT_FALSE(FileExists(dir.File(other)) || CanWriteFile(dir.File(other)) || FileSize(dir.File(other)));
  EXPECT_FALSE(RenameFile(dir.File("a.txt"), dir.File("b.txt")));  // never overwrites
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
  const std::pair<const char*, Names> cases[] = {
      {"Filter_*.log", {"Filter_1.log", "filter_2.LOG"}}, {"?THER.txt", {"other.txt"}}, {"*.none", {}}};
  for (const auto& [mask, want] : cases) {
    Names found = FindFiles(dir.Folder(), mask);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, want) << mask;
  }
  EXPECT_TRUE(FindFiles(dir.File("absent") + kPathSep, "*").empty());
}

TEST(OsFiles, TemporaryFileIsNamedAfterItsFileAndOnlyOwnOnesAreRemoved) {
  ScratchDir d;
  d.Write("Quelta.ini", "old");
  std::string temp;
  ASSERT_TRUE(WriteTemporaryFile(d.File("Quelta.ini"), "new", temp));
  EXPECT_EQ(0u, temp.find(d.File("Quelta.ini") + ".~quelta-"));
  EXPECT_EQ(FindFiles(d.Folder(), kTemporaryFileMask).size(), 1u);
  EXPECT_EQ("old", d.Read("Quelta.ini"));
  ASSERT_TRUE(ReplaceFile(temp, d.File("Quelta.ini")));
  EXPECT_EQ("new", d.Read("Quelta.ini"));
  const Names foreign = {".~Quelta.ini.AbCdEf", "Quelta.ini", "Quelta.ini.tmp", "x.quelta-1.tmp",
                         "x.~quelta-1.tmpx"};
  for (const auto& n : foreign) d.Write(n, "x");
  for (const char* n : {"Quelta.ini.~quelta-Ab12Cd.tmp", "AutoWL.lst.~quelta-1f-3.tmp"}) d.Write(n, "x");
  EXPECT_TRUE(RemoveTemporaryFiles(d.Folder()));
  EXPECT_EQ(foreign, Listing(d));
}

TEST(OsFiles, AFullDiskFailsEveryWriteAndLeavesTheOldFileAlone) {
  ScratchDir d;
  d.Write("f.txt", "old content\r\n");
  for (const std::int64_t room : {0, 5}) {
    std::string temp;
    LimitFileWrites(room);
    EXPECT_FALSE(WriteTemporaryFile(d.File("f.txt"), "new content\r\n", temp) || !temp.empty()) << room;
    LimitFileWrites(room);
    EXPECT_FALSE(WriteFileAtomic(d.File("f.txt"), "new content\r\n")) << room;
    LimitFileWrites(room);
    EXPECT_FALSE(IniWriteAll(d.File("f.txt"), {{"S", "K", "a value longer than the room"}}));
    LimitFileWrites(room);
    EXPECT_FALSE(AppendFile(d.File("g.txt"), "a line longer than the room\r\n")) << room;
  }
  LimitFileWrites(-1);
  EXPECT_EQ("old content\r\n", d.Read("f.txt"));
  EXPECT_TRUE(FindFiles(d.Folder(), kTemporaryFileMask).empty());
}

TEST(OsFiles, AGrowingFileIsReplacedOnlyWithEverythingItGot) {
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
  // A last line that never gets its line end is carried over all the same.
  const std::string part = "<e@f.example>|2026";
  ASSERT_TRUE(WriteTemporaryFile(file, "newest\r\n", temp));
  ASSERT_TRUE(AppendFile(file, c + part));
  EXPECT_EQ(GrowingReplace::kReplaced, ReplaceGrowingFile(temp, file, 7 + 24, true, appended));
  EXPECT_EQ(c + part, appended);
  EXPECT_EQ("newest\r\n" + c + part, d.Read("AutoWL.lst"));
  EXPECT_EQ(Names{"AutoWL.lst"}, Listing(d));
}

// Two writers appending at once, one a call at a time, the other through
// a file it holds open: every line arrives whole, none over another.
TEST(OsFiles, AppendsAtTheSameTimeLandOneAfterTheOther) {
  ScratchDir d;
  const std::string file = d.File("AutoWL.lst");
  constexpr int kLines = 1500;
  auto writer = [&](char name) {
    const std::unique_ptr<AppendableFile> held = name == 'b' ? OpenAppendableFile(file) : nullptr;
    ASSERT_TRUE(name != 'b' || held);
    for (int i = 0; i < kLines; ++i) {
      const std::string line = std::string(1, name) + std::to_string(10000 + i) + "\r\n";
      ASSERT_TRUE(held ? held->Append(line) : AppendFile(file, line));
    }
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  std::vector<std::string> expected;
  for (char name : {'a', 'b'})
    for (int i = 0; i < kLines; ++i) expected.push_back(std::string(1, name) + std::to_string(10000 + i) + "\r\n");
  const std::string all = d.Read("AutoWL.lst");
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < all.size(); at += 8) lines.push_back(all.substr(at, 8));
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(expected, lines);
}

TEST(OsFiles, ASecondLockWaitsUntilTheFirstIsReleased) {
  ScratchDir d;
  const std::string file = d.File("Quelta.lock");
  std::unique_ptr<FileLock> first = LockFile(file, kWaitForever);
  ASSERT_TRUE(first);
  EXPECT_FALSE(LockFile(file, 30));
  std::atomic<bool> taken{false};
  std::thread waiter([&] { taken = LockFile(file, kWaitForever) != nullptr; });
  SleepMs(100);
  EXPECT_FALSE(taken);
  first.reset();
  waiter.join();
  EXPECT_TRUE(taken);
  EXPECT_TRUE(LockFile(file, 0));
  EXPECT_FALSE(LockFile(d.File("absent") + kPathSep + "Quelta.lock", 0));
}

TEST(OsPaths, AbsolutePathsAndFolders) {
  const bool win = kPathSep == '\\';
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"/usr/x", true, "/usr/"}, {"Rules.dat", false, ""}, {"sub/R", false, "sub/"},
      {"sub\\R", false, win ? "sub\\" : ""}, {"C:\\R", win, win ? "C:\\" : ""},
      {"c:R", win, win ? "c:" : ""}, {"\\\\server\\share\\R", win, win ? "\\\\server\\share\\" : ""}};
  for (const auto& [name, absolute, folder] : cases)
    EXPECT_TRUE(IsAbsolutePath(name) == absolute && FolderOf(name) == folder) << name;
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
  const std::tuple<const char*, const char*, int> cases[] = {
      {"caf\xE9", "CAF\xC9", 0}, {"", "", 0}, {"a", "B", -1}, {"b", "A", 1}, {"abc", "ABCD", -1}, {"x", "", 1}};
  for (const auto& [a, b, want] : cases) {
    const int r = AnsiCompareText(a, b);
    EXPECT_EQ((r > 0) - (r < 0), want) << a << " / " << b;
  }
  // Byte-exact: letter case counts; the order of plain lower-case words.
  EXPECT_EQ(AnsiCompareStr("same", "same"), 0);
  EXPECT_NE(AnsiCompareStr("same", "SAME"), 0);
  EXPECT_TRUE(AnsiCompareStr("abc", "abd") < 0 && AnsiCompareStr("abd", "abc") > 0);
  EXPECT_LT(AnsiCompareStr("ab", "abc"), 0);
}

TEST(OsEnvironment, ExpandsKnownNamesAndKeepsUnknownOnes) {
  const char* path = std::getenv("PATH");
  const std::string p(path ? path : "");
  if (p.empty() || p.size() > 1000) GTEST_SKIP() << "PATH empty or too long for this test";
  const std::string unset = "%QUELTA_SURELY_UNSET_1%";
  const std::pair<std::string, std::string> cases[] = {
      {"a" + unset + "b%PATH%c", "a" + unset + "b" + p + "c"}, {"100% sure", "100% sure"}, {"%%", "%%"}};
  for (const auto& [text, want] : cases) EXPECT_EQ(ExpandEnvironment(text), want) << text;
  std::string many, full;  // longer results are cut to 4095 characters
  for (; full.size() < 5000; full += p + ";") many += "%PATH%;";
  EXPECT_EQ(ExpandEnvironment(many), full.substr(0, 4095));
}

TEST(OsClock, LocalNowTicksAndTheFormattedDate) {
  const double before = LocalNow();
  const std::time_t t = std::time(nullptr);
  const std::tm tm = *std::localtime(&t);
  const double after = LocalNow(), slack = 2.0 / 86400.0;  // whole seconds against milliseconds
  double now = 0, dt = 0;
  ASSERT_TRUE(TryEncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                                tm.tm_sec, 0, now));
  EXPECT_TRUE(now >= before - slack && now <= after + slack);
  const std::uint32_t start = TickCount();
  SleepMs(50);
  EXPECT_GE(TickCount() - start, 30u);  // the system tick may be coarse
  ASSERT_TRUE(TryEncodeDateTime(2023, 3, 15, 18, 7, 9, 0, dt));
  const std::string later = FormatDateTime(dt);
  for (const char* part : {"2023", "15", "07", "09"}) EXPECT_NE(later.find(part), std::string::npos) << later;
}

}  // namespace
}  // namespace quelta::os
