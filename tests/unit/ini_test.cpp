// Private-profile INI semantics of the platform layer, run unchanged against
// the Windows functions and against the POSIX stand-ins so both behave alike:
// case-insensitive names, trimmed and unquoted values, defaults, in-place
// replacement that keeps every other line, CR LF lines.
//
// Files are set up and inspected with plain binary streams, independent of
// the layer under test. Written contents use the canonical "key=value" form
// without blank lines or blanks at the value's edges: the Windows profile
// writer of some systems normalises such lines when it rewrites a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "os/env.h"

namespace quelta::os {
namespace {

namespace fs = std::filesystem;

class IniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = fs::temp_directory_path() /
            ("quelta_ini_" + std::string(info->name()) + "_" + std::to_string(rd()));
    fs::create_directories(root_);
    dir_ = root_.string();
    if (dir_.empty() || dir_.back() != kPathSep) dir_ += kPathSep;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // A fresh file name in the test's folder (one per case: no file is
  // rewritten behind the profile functions' back).
  std::string NewName() { return dir_ + "t" + std::to_string(++files_) + ".ini"; }

  std::string Put(const std::string& bytes) {
    std::string name = NewName();
    std::ofstream out(name, std::ios::binary);
    out << bytes;
    out.close();
    EXPECT_TRUE(out) << name;
    return name;
  }

  static std::string Bytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path root_;
  std::string dir_;
  int files_ = 0;
};

TEST_F(IniTest, SectionAndKeyNamesIgnoreLetterCase) {
  const std::string file = Put("[Options]\r\nLanguage=English\r\n[Update]\r\nEnabled=1\r\n");
  const struct {
    const char* section;
    const char* key;
    const char* want;
  } cases[] = {
      {"Options", "Language", "English"}, {"OPTIONS", "language", "English"},
      {"options", "LANGUAGE", "English"}, {"oPtIoNs", "LaNgUaGe", "English"},
      {"UPDATE", "enabled", "1"},         {"Update", "Language", "<none>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IniRead(file, c.section, c.key, "<none>"), c.want) << c.section << "/" << c.key;
}

TEST_F(IniTest, ValuesAreTrimmedAndLoseOnePairOfQuotes) {
  const struct {
    const char* line;
    const char* want;
  } cases[] = {
      {"K=plain", "plain"},
      {"K=   both sides   ", "both sides"},
      {"K=\t tabbed \t", "tabbed"},
      {"   K   =  key blanks", "key blanks"},
      {"K=\"double\"", "double"},
      {"K='single'", "single"},
      {"K=  \"quoted after blanks\"  ", "quoted after blanks"},
      {"K=\" kept inside \"", " kept inside "},
      {"K=\"\"", ""},
      {"K=\"a\"b\"", "a\"b"},
      {"K=\"mixed'", "\"mixed'"},
      {"K='mixed\"", "'mixed\""},
      {"K=\"", "\""},
      {"K=a=b=c", "a=b=c"},
      {"K=", ""},
      {"K=caf\xE9 \x80 \xFF", "caf\xE9 \x80 \xFF"},
  };
  for (const auto& c : cases) {
    const std::string file = Put(std::string("[S]\r\nBefore=x\r\n") + c.line + "\r\nAfter=y\r\n");
    EXPECT_EQ(IniRead(file, "S", "K", "<default>"), c.want) << c.line;
  }
}

TEST_F(IniTest, MissingFileSectionOrKeyGivesTheDefaultAsGiven) {
  const std::string file = Put("[One]\r\nA=1\r\n[Two]\r\nB=2\r\n");
  EXPECT_EQ(IniRead(dir_ + "missing.ini", "One", "A", "dflt"), "dflt");
  EXPECT_EQ(IniRead(file, "Three", "A", "dflt"), "dflt");
  EXPECT_EQ(IniRead(file, "One", "B", "dflt"), "dflt");  // B exists only in [Two]
  EXPECT_EQ(IniRead(file, "Two", "A", "dflt"), "dflt");
  EXPECT_EQ(IniRead(file, "One", "A", "dflt"), "1");
  // The default comes back untouched, blanks and all; an empty one stays empty.
  EXPECT_EQ(IniRead(file, "One", "Nope", "  spaced default  "), "  spaced default  ");
  EXPECT_EQ(IniRead(file, "One", "Nope", ""), "");
}

TEST_F(IniTest, AnEmptyValueIsNotTheDefault) {
  const std::string file = Put("[S]\r\nEmpty=\r\nBlank=   \r\n");
  EXPECT_EQ(IniRead(file, "S", "Empty", "dflt"), "");
  EXPECT_EQ(IniRead(file, "S", "Blank", "dflt"), "");
}

TEST_F(IniTest, ResultIsCutToOneLessThanTheBufferSize) {
  const std::string file = Put("[S]\r\nK=abcdef\r\nQ=\"12\"\r\n");
  EXPECT_EQ(IniRead(file, "S", "K", "", 4), "abc");
  EXPECT_EQ(IniRead(file, "S", "K", "", 2), "a");
  EXPECT_EQ(IniRead(file, "S", "K", "", 7), "abcdef");
  EXPECT_EQ(IniRead(file, "S", "K", "", 8), "abcdef");
  EXPECT_EQ(IniRead(file, "S", "Q", "", 15), "12");
  // The default is cut the same way.
  EXPECT_EQ(IniRead(file, "S", "Missing", "99999", 3), "99");
  EXPECT_EQ(IniRead(file, "S", "Missing", "0", 2), "0");
}

TEST_F(IniTest, LinesMayEndInLineFeedOnly) {
  const std::string file = Put("[One]\nA=1\nB = two \n[Two]\nA=3");
  EXPECT_EQ(IniRead(file, "One", "A", "d"), "1");
  EXPECT_EQ(IniRead(file, "one", "b", "d"), "two");
  EXPECT_EQ(IniRead(file, "Two", "A", "d"), "3");  // last line without line end
}

TEST_F(IniTest, ALongValueIsReadWhole) {
  const std::string value(5000, 'v');
  const std::string file = Put("[S]\r\nLong=" + value + "\r\nNext=1\r\n");
  EXPECT_EQ(IniRead(file, "S", "Long", "d"), value);
  EXPECT_EQ(IniRead(file, "S", "Next", "d"), "1");
}

TEST_F(IniTest, WriteReplacesTheKeyInPlaceAndKeepsEveryOtherLine) {
  const std::string before =
      "; settings of the test\r\n"
      "[One]\r\n"
      "A=1\r\n"
      "B=2\r\n"
      "C=\"3\"\r\n"
      "[Two]\r\n"
      "B=9\r\n"
      "D=caf\xE9\r\n";
  const std::string file = Put(before);
  ASSERT_TRUE(IniWrite(file, "One", "B", "two"));
  EXPECT_EQ(Bytes(file),
            "; settings of the test\r\n"
            "[One]\r\n"
            "A=1\r\n"
            "B=two\r\n"
            "C=\"3\"\r\n"
            "[Two]\r\n"
            "B=9\r\n"
            "D=caf\xE9\r\n");
  EXPECT_EQ(IniRead(file, "Two", "B", "d"), "9");
  EXPECT_EQ(IniRead(file, "One", "B", "d"), "two");
}

TEST_F(IniTest, WriteFindsSectionAndKeyIgnoringCaseAndKeepsTheirSpelling) {
  const std::string file = Put("[Statistics]\r\nMessagesFiltered=10\r\nBayesChecked=4\r\n");
  ASSERT_TRUE(IniWrite(file, "STATISTICS", "messagesfiltered", "11"));
  EXPECT_EQ(Bytes(file), "[Statistics]\r\nMessagesFiltered=11\r\nBayesChecked=4\r\n");
}

TEST_F(IniTest, WriteAppendsAMissingKeyToTheEndOfItsSection) {
  const std::string file = Put("[One]\r\nA=1\r\n[Two]\r\nX=1\r\n");
  ASSERT_TRUE(IniWrite(file, "one", "New", "n"));
  EXPECT_EQ(Bytes(file), "[One]\r\nA=1\r\nNew=n\r\n[Two]\r\nX=1\r\n");
  ASSERT_TRUE(IniWrite(file, "Two", "Y", "2"));
  EXPECT_EQ(Bytes(file), "[One]\r\nA=1\r\nNew=n\r\n[Two]\r\nX=1\r\nY=2\r\n");
}

TEST_F(IniTest, WriteAppendsAMissingSection) {
  const std::string file = Put("[One]\r\nA=1\r\n");
  ASSERT_TRUE(IniWrite(file, "Three", "K", "v"));
  EXPECT_EQ(Bytes(file), "[One]\r\nA=1\r\n[Three]\r\nK=v\r\n");
}

TEST_F(IniTest, WriteCreatesAMissingFileWithCrLfLines) {
  const std::string file = dir_ + "created.ini";
  ASSERT_FALSE(FileExists(file));
  ASSERT_TRUE(IniWrite(file, "Section", "Key", "Value"));
  EXPECT_EQ(Bytes(file), "[Section]\r\nKey=Value\r\n");
  ASSERT_TRUE(IniWrite(file, "Section", "Second", "2"));
  EXPECT_EQ(Bytes(file), "[Section]\r\nKey=Value\r\nSecond=2\r\n");
}

TEST_F(IniTest, WriteIntoAMissingFolderFailsAndCreatesNothing) {
  const std::string folder = dir_ + "absent";
  EXPECT_FALSE(IniWrite(folder + kPathSep + "x.ini", "S", "K", "v"));
  EXPECT_FALSE(DirectoryExists(folder));
}

TEST_F(IniTest, WrittenValuesReadBackExactly) {
  const std::string file = dir_ + "roundtrip.ini";
  const struct {
    const char* key;
    std::string value;
  } cases[] = {
      {"Plain", "hello world"},
      {"Equals", "a=b=c"},
      {"Path", "C:\\Program Files\\The Bat!\\"},
      {"Western", "Gr\xFC\xDF" "e \x80 \xE9t\xE9"},
      {"Empty", ""},
      {"Number", "-2147483648"},
      {"Long", std::string(3000, 'x')},
  };
  for (const auto& c : cases) ASSERT_TRUE(IniWrite(file, "RoundTrip", c.key, c.value)) << c.key;
  for (const auto& c : cases) EXPECT_EQ(IniRead(file, "roundtrip", c.key, "<d>"), c.value) << c.key;
  // A second write of the same key changes only that key.
  ASSERT_TRUE(IniWrite(file, "RoundTrip", "Equals", "x"));
  EXPECT_EQ(IniRead(file, "RoundTrip", "Equals", "<d>"), "x");
  EXPECT_EQ(IniRead(file, "RoundTrip", "Western", "<d>"), "Gr\xFC\xDF" "e \x80 \xE9t\xE9");
}

}  // namespace
}  // namespace quelta::os
