// The platform layer's files, letter case, environment and clock, run
// unchanged against the Windows functions and the POSIX stand-ins. Only
// behaviour both promise is checked (the date format and the locale order
// of mixed-case text differ by design).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/date_time.h"
#include "os/env.h"

namespace quelta::os {
namespace {

namespace fs = std::filesystem;

class EnvFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    root_ = fs::temp_directory_path() / ("quelta_env_" + std::to_string(rd()));
    fs::create_directories(root_);
    dir_ = root_.string();
    if (dir_.back() != kPathSep) dir_ += kPathSep;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  static void Put(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  static std::string Bytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path root_;
  std::string dir_;
};

std::string AllBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
  return s + "\r\n\n\r\x1A" + s;
}

TEST_F(EnvFiles, AtomicWriteStoresEveryByteAndLeavesNoTemporaryFile) {
  const std::string file = dir_ + "data.bin";
  ASSERT_TRUE(WriteFileAtomic(file, AllBytes()));
  EXPECT_EQ(Bytes(file), AllBytes());
  // Replacing an existing, longer file leaves exactly the new bytes.
  ASSERT_TRUE(WriteFileAtomic(file, "short\r\n"));
  EXPECT_EQ(Bytes(file), "short\r\n");
  ASSERT_TRUE(WriteFileAtomic(file, ""));
  EXPECT_EQ(Bytes(file), "");
  EXPECT_EQ(Listing(), std::vector<std::string>{"data.bin"});
}

TEST_F(EnvFiles, AtomicWriteIntoAMissingFolderFails) {
  EXPECT_FALSE(WriteFileAtomic(dir_ + "absent" + kPathSep + "x.bin", "x"));
  EXPECT_TRUE(Listing().empty());
}

TEST_F(EnvFiles, ReadFileGivesTheWholeFileOrFalse) {
  const std::string file = dir_ + "in.bin";
  Put(file, AllBytes());
  std::string got = "stale";
  ASSERT_TRUE(ReadFile(file, got));
  EXPECT_EQ(got, AllBytes());
  const std::string big(300000, 'b');
  Put(file, big);
  ASSERT_TRUE(ReadFile(file, got));
  EXPECT_EQ(got, big);
  EXPECT_FALSE(ReadFile(dir_ + "missing.bin", got));
}

TEST_F(EnvFiles, AppendCreatesTheFileAndAddsAtTheEnd) {
  const std::string file = dir_ + "log.txt";
  ASSERT_TRUE(AppendFile(file, "one\r\n"));
  ASSERT_TRUE(AppendFile(file, "two\r\n"));
  ASSERT_TRUE(AppendFile(file, ""));
  ASSERT_TRUE(AppendFile(file, "\xE9\x80\n"));
  EXPECT_EQ(Bytes(file), "one\r\ntwo\r\n\xE9\x80\n");
  EXPECT_FALSE(AppendFile(dir_ + "absent" + kPathSep + "log.txt", "x"));
}

TEST_F(EnvFiles, ExistenceAndSize) {
  const std::string file = dir_ + "f.txt";
  Put(file, "12345");
  fs::create_directories(root_ / "sub");
  const std::string sub = dir_ + "sub";
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_FALSE(FileExists(sub));
  EXPECT_TRUE(DirectoryExists(sub));
  EXPECT_TRUE(DirectoryExists(sub + kPathSep));
  EXPECT_FALSE(FileExists(dir_ + "none"));
  EXPECT_FALSE(DirectoryExists(dir_ + "none"));
  EXPECT_EQ(FileSize(file), 5);
  EXPECT_EQ(FileSize(dir_ + "none"), 0);
  EXPECT_EQ(FileSize(sub), 0);
}

TEST_F(EnvFiles, RenameNeverOverwritesReplaceDoes) {
  const std::string a = dir_ + "a.txt", b = dir_ + "b.txt", c = dir_ + "c.txt";
  Put(a, "A");
  Put(b, "B");
  EXPECT_FALSE(RenameFile(a, b));
  EXPECT_EQ(Bytes(a), "A");
  EXPECT_EQ(Bytes(b), "B");
  ASSERT_TRUE(RenameFile(a, c));
  EXPECT_FALSE(FileExists(a));
  EXPECT_EQ(Bytes(c), "A");
  ASSERT_TRUE(ReplaceFile(c, b));
  EXPECT_FALSE(FileExists(c));
  EXPECT_EQ(Bytes(b), "A");
  ASSERT_TRUE(ReplaceFile(b, a));  // onto a missing name
  EXPECT_EQ(Bytes(a), "A");
  EXPECT_FALSE(RenameFile(dir_ + "none", dir_ + "other"));
}

TEST_F(EnvFiles, DeleteRemovesOnce) {
  const std::string file = dir_ + "gone.txt";
  Put(file, "x");
  EXPECT_TRUE(DeleteFile(file));
  EXPECT_FALSE(FileExists(file));
  EXPECT_FALSE(DeleteFile(file));
}

TEST_F(EnvFiles, FindFilesMatchesTheMaskIgnoringCaseAndSkipsFolders) {
  for (const char* n : {"Filter_1.log", "filter_2.LOG", "Filter.log", "Filter_3.logx", "other.txt"})
    Put(dir_ + n, "x");
  fs::create_directories(root_ / "Filter_dir.log");
  auto found = FindFiles(dir_, "Filter_*.log");
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"Filter_1.log", "filter_2.LOG"}));
  EXPECT_EQ(FindFiles(dir_, "?THER.txt"), std::vector<std::string>{"other.txt"});
  EXPECT_EQ(FindFiles(dir_, "*.log").size(), 3u);
  EXPECT_TRUE(FindFiles(dir_, "*.none").empty());
  EXPECT_TRUE(FindFiles(dir_ + "absent" + kPathSep, "*").empty());
}

TEST(EnvPaths, AbsolutePaths) {
  EXPECT_TRUE(IsAbsolutePath("/usr/x"));
  EXPECT_FALSE(IsAbsolutePath(""));
  EXPECT_FALSE(IsAbsolutePath("Rules.dat"));
  EXPECT_FALSE(IsAbsolutePath("sub/Rules.dat"));
  EXPECT_FALSE(IsAbsolutePath("sub\\Rules.dat"));
  if (kPathSep == '\\') {
    EXPECT_TRUE(IsAbsolutePath("C:\\Rules.dat"));
    EXPECT_TRUE(IsAbsolutePath("c:Rules.dat"));
    EXPECT_TRUE(IsAbsolutePath("\\\\server\\share\\Rules.dat"));
  } else {
    EXPECT_FALSE(IsAbsolutePath("C:\\Rules.dat"));
  }
}

TEST(EnvText, WesternLetterCase) {
  const std::string lower("az\xE0\xE9\xFE\xFF\x9A\x9C\x9E", 9);
  const std::string upper("AZ\xC0\xC9\xDE\x9F\x8A\x8C\x8E", 9);
  EXPECT_EQ(AnsiUpperCase(lower), upper);
  EXPECT_EQ(AnsiLowerCase(upper), lower);
  // No case partner: unchanged both ways (sharp s, micro sign, signs, digits).
  const std::string fixed("\xDF\xB5\xD7\xF7" "09 -_!", 10);
  EXPECT_EQ(AnsiUpperCase(fixed), fixed);
  EXPECT_EQ(AnsiLowerCase(fixed), fixed);
  // Length and embedded zero bytes are kept.
  const std::string withZero("a\0b", 3);
  EXPECT_EQ(AnsiUpperCase(withZero), std::string("A\0B", 3));
  EXPECT_EQ(AnsiUpperCase(""), "");
}

TEST(EnvText, ComparisonIgnoringCase) {
  EXPECT_EQ(AnsiCompareText("Quelta", "QUELTA"), 0);
  EXPECT_EQ(AnsiCompareText("caf\xE9", "CAF\xC9"), 0);
  EXPECT_EQ(AnsiCompareText("", ""), 0);
  EXPECT_LT(AnsiCompareText("a", "B"), 0);
  EXPECT_GT(AnsiCompareText("b", "A"), 0);
  EXPECT_LT(AnsiCompareText("abc", "ABCD"), 0);
  EXPECT_GT(AnsiCompareText("x", ""), 0);
  EXPECT_EQ(AnsiCompareStr("same", "same"), 0);
  EXPECT_NE(AnsiCompareStr("same", "SAME"), 0);
  EXPECT_LT(AnsiCompareStr("abc", "abd"), 0);
  EXPECT_GT(AnsiCompareStr("abd", "abc"), 0);
}

TEST(EnvEnvironment, ExpandsKnownNamesAndKeepsUnknownOnes) {
  const char* path = std::getenv("PATH");
  ASSERT_NE(path, nullptr);
  const std::string p(path);
  if (p.empty() || p.size() > 1000) GTEST_SKIP() << "PATH empty or too long for this test";
  EXPECT_EQ(ExpandEnvironment("%PATH%"), p);
  EXPECT_EQ(ExpandEnvironment("a%QUELTA_SURELY_UNSET_1%b%PATH%c"),
            "a%QUELTA_SURELY_UNSET_1%b" + p + "c");
  EXPECT_EQ(ExpandEnvironment("100% sure"), "100% sure");
  EXPECT_EQ(ExpandEnvironment("%%"), "%%");
  EXPECT_EQ(ExpandEnvironment(""), "");
  EXPECT_EQ(ExpandEnvironment("caf\xE9 \x80"), "caf\xE9 \x80");
  // Longer results are cut to 4095 characters.
  std::string many, full;
  while (full.size() < 5000) {
    many += "%PATH%;";
    full += p + ";";
  }
  EXPECT_EQ(ExpandEnvironment(many), full.substr(0, 4095));
}

TEST(EnvClock, LocalNowIsTheLocalDateTimeValue) {
  const double before = LocalNow();
  const std::time_t t = std::time(nullptr);
  const std::tm tm = *std::localtime(&t);
  const double after = LocalNow();
  const double value = EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) +
                       (tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec) / 86400.0;
  const double slack = 2.0 / 86400.0;  // whole seconds on one side, milliseconds on the other
  EXPECT_GE(value, before - slack);
  EXPECT_LE(value, after + slack);
}

TEST(EnvClock, FormattedDateShowsTheCalendarDate) {
  const std::string epoch = FormatDateTime(0.0);
  EXPECT_NE(epoch.find("1899"), std::string::npos) << epoch;
  EXPECT_NE(epoch.find("30"), std::string::npos) << epoch;
  const std::string later = FormatDateTime(EncodeDate(2023, 3, 15) + 0.75);
  EXPECT_NE(later.find("2023"), std::string::npos) << later;
  EXPECT_NE(later.find("15"), std::string::npos) << later;
}

}  // namespace
}  // namespace quelta::os
