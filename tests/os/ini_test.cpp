// Private-profile INI semantics of the os layer, run unchanged against the
// Windows functions and against the POSIX stand-ins so both behave alike:
// case-insensitive names, trimmed and unquoted values, defaults, in-place
// replacement that keeps every other line, CR LF lines.
//
// Files are set up and inspected with plain streams. Each case writes a new
// file (none is rewritten behind the profile functions' back), and written
// contents use the canonical "key=value" form without blank lines or blanks
// at the value's edges: the Windows profile writer of some systems
// normalises such lines when it rewrites a file.
#include <gtest/gtest.h>

#include <string>

#include "os/env.h"
#include "support/scratch_dir.h"

namespace quelta::os {
namespace {

class IniFiles : public ::testing::Test {
 protected:
  // A new file holding bytes; its full name.
  std::string Put(const std::string& bytes) {
    const std::string name = "t" + std::to_string(++files_) + ".ini";
    dir_.Write(name, bytes);
    return dir_.File(name);
  }

  testing_support::ScratchDir dir_;
  int files_ = 0;
};

TEST_F(IniFiles, NamesIgnoreLetterCaseAndMissingPartsGiveTheDefaultAsGiven) {
  const std::string file = Put("[Options]\r\nLanguage=English\r\n[Update]\r\nEnabled=1\r\nB=2\r\n");
  const struct {
    std::string file;
    const char *section, *key, *want;
  } cases[] = {
      {file, "Options", "Language", "English"}, {file, "oPtIoNs", "LaNgUaGe", "English"},
      {file, "UPDATE", "enabled", "1"},         {file, "Update", "Language", "  dflt "},
      {file, "Options", "B", "  dflt "},        {file, "Three", "B", "  dflt "},
      {dir_.File("missing.ini"), "Options", "Language", "  dflt "},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IniRead(c.file, c.section, c.key, "  dflt "), c.want) << c.section << "/" << c.key;
  EXPECT_EQ(IniRead(file, "Options", "Nope", ""), "");
}

TEST_F(IniFiles, ValuesAreTrimmedAndLoseOnePairOfQuotes) {
  const struct {
    const char *line, *want;
  } cases[] = {
      {"K=plain", "plain"}, {"K=   both sides   ", "both sides"}, {"K=\t tabbed \t", "tabbed"},
      {"   K   =  key blanks", "key blanks"}, {"K=\"double\"", "double"}, {"K='single'", "single"},
      {"K=  \"after blanks\"  ", "after blanks"}, {"K=\" kept inside \"", " kept inside "},
      {"K=\"\"", ""}, {"K=\"a\"b\"", "a\"b"}, {"K=\"mixed'", "\"mixed'"}, {"K='mixed\"", "'mixed\""},
      {"K=\"", "\""}, {"K=a=b=c", "a=b=c"}, {"K=", ""}, {"K=   ", ""},  // empty is not the default
      {"K=caf\xE9 \x80 \xFF", "caf\xE9 \x80 \xFF"},
  };
  for (const auto& c : cases) {
    const std::string file = Put(std::string("[S]\r\nBefore=x\r\n") + c.line + "\r\nAfter=y\r\n");
    EXPECT_EQ(IniRead(file, "S", "K", "<default>"), c.want) << c.line;
  }
}

TEST_F(IniFiles, ResultIsCutToOneLessThanTheBufferSize) {
  const std::string file = Put("[S]\r\nK=abcdef\r\nQ=\"12\"\r\n");
  const struct {
    const char *key, *def;
    std::size_t size;
    const char* want;
  } cases[] = {{"K", "", 2, "a"}, {"K", "", 6, "abcde"}, {"K", "", 7, "abcdef"}, {"K", "", 8, "abcdef"},
               {"Q", "", 15, "12"}, {"Missing", "99999", 3, "99"}, {"Missing", "0", 2, "0"}};
  for (const auto& c : cases)
    EXPECT_EQ(IniRead(file, "S", c.key, c.def, c.size), c.want) << c.key << " " << c.size;
}

TEST_F(IniFiles, LinesMayEndInLineFeedOnlyAndValuesMayBeLong) {
  const std::string value(5000, 'v');
  const std::string file = Put("[One]\nA=1\n[Not a section\nB = two \nLong=" + value + "\n[Two]\nA=3");
  EXPECT_EQ(IniRead(file, "one", "b", "d"), "two");
  EXPECT_EQ(IniRead(file, "One", "Long", "d"), value);
  EXPECT_EQ(IniRead(file, "One", "A", "d") + IniRead(file, "Two", "A", "d"), "13");  // no final line end
}

TEST_F(IniFiles, WriteChangesItsKeyInPlaceOrAppendsItAndKeepsEveryOtherLine) {
  const std::string file =
      Put("; settings of the test\r\n[Empty]\r\n[One]\r\nA=1\r\nB=2\r\nC=\"3\"\r\n[Two]\r\nB=9\r\nD=caf\xE9\r\n");
  ASSERT_TRUE(IniWrite(file, "ONE", "b", "two"));  // the names keep their spelling
  ASSERT_TRUE(IniWrite(file, "Empty", "E", "e"));
  ASSERT_TRUE(IniWrite(file, "one", "New", "n"));
  ASSERT_TRUE(IniWrite(file, "Two", "Y", "2"));
  ASSERT_TRUE(IniWrite(file, "Three", "K", "v"));
  EXPECT_EQ(testing_support::ReadBytes(file),
            "; settings of the test\r\n[Empty]\r\nE=e\r\n[One]\r\nA=1\r\nB=two\r\nC=\"3\"\r\nNew=n\r\n"
            "[Two]\r\nB=9\r\nD=caf\xE9\r\nY=2\r\n[Three]\r\nK=v\r\n");
}

TEST_F(IniFiles, WriteCreatesAMissingFileButNoFolder) {
  ASSERT_TRUE(IniWrite(dir_.File("new.ini"), "Section", "Key", "Value"));
  ASSERT_TRUE(IniWrite(dir_.File("new.ini"), "Section", "Second", "2"));
  EXPECT_EQ(dir_.Read("new.ini"), "[Section]\r\nKey=Value\r\nSecond=2\r\n");
  EXPECT_FALSE(IniWrite(dir_.File("absent") + kPathSep + "x.ini", "S", "K", "v"));
  EXPECT_FALSE(dir_.Exists("absent"));
}

TEST_F(IniFiles, WrittenValuesReadBackExactly) {
  const std::string file = dir_.File("roundtrip.ini");
  const std::string values[] = {"a=b=c", "hello world", "C:\\Program Files\\The Bat!\\", "",
                                "Gr\xFC\xDF" "e \x80 \xE9t\xE9", "-2147483648", std::string(3000, 'x')};
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(IniWrite(file, "RoundTrip", "K" + std::to_string(i), values[i]));
  ASSERT_TRUE(IniWrite(file, "RoundTrip", "K0", "x"));  // again, shorter
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(IniRead(file, "roundtrip", "K" + std::to_string(i), "<d>"), i == 0 ? "x" : values[i]);
}

}  // namespace
}  // namespace quelta::os
