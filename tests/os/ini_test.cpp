// Private-profile INI semantics of the os layer, run unchanged against the
// Windows functions and against the POSIX stand-ins so both behave alike:
// case-insensitive names, trimmed and unquoted values, defaults, in-place
// replacement that keeps every other line, CR LF lines, batches.
//
// Each case writes a new file (none is rewritten behind the profile
// functions' back), and written contents use the canonical "key=value" form
// without blank lines or blanks at the value's edges: the Windows profile
// writer of some systems normalises such lines when it rewrites a file.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

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
  const std::tuple<std::string, const char*, const char*, const char*> cases[] = {
      {file, "oPtIoNs", "LaNgUaGe", "English"}, {file, "UPDATE", "enabled", "1"},
      {file, "Update", "Language", "  dflt "},  {file, "Options", "B", "  dflt "},
      {file, "Three", "B", "  dflt "},          {dir_.File("missing.ini"), "Options", "Language", "  dflt "}};
  for (const auto& [f, section, key, want] : cases)
    EXPECT_EQ(IniRead(f, section, key, "  dflt "), want) << section << "/" << key;
}

TEST_F(IniFiles, ValuesAreTrimmedAndLoseOnePairOfQuotes) {
  const std::pair<const char*, const char*> cases[] = {
      {"K=\t both sides \t", "both sides"}, {"   K   =  key blanks", "key blanks"}, {"K='single'", "single"},
      {"K=  \"after blanks\"  ", "after blanks"}, {"K=\" kept inside \"", " kept inside "},
      {"K=\"\"", ""}, {"K=\"a\"b\"", "a\"b"}, {"K=\"mixed'", "\"mixed'"}, {"K='mixed\"", "'mixed\""},
      {"K=\"", "\""}, {"K=a=b=c", "a=b=c"}, {"K=   ", ""},  // empty is not the default
      {"K=caf\xE9 \x80 \xFF", "caf\xE9 \x80 \xFF"}};
  for (const auto& [line, want] : cases) {
    const std::string file = Put(std::string("[S]\r\nBefore=x\r\n") + line + "\r\nAfter=y\r\n");
    EXPECT_EQ(IniRead(file, "S", "K", "<default>"), want) << line;
  }
}

TEST_F(IniFiles, ResultIsCutToOneLessThanTheBufferSize) {
  const std::string file = Put("[S]\r\nK=abcdef\r\nQ=\"12\"\r\n");
  const std::tuple<const char*, const char*, std::size_t, const char*> cases[] = {
      {"K", "", 2, "a"}, {"K", "", 7, "abcdef"}, {"Q", "", 15, "12"}, {"Missing", "99999", 3, "99"}};
  for (const auto& [key, def, size, want] : cases) EXPECT_EQ(IniRead(file, "S", key, def, size), want) << size;
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
  ASSERT_TRUE(IniWrite(dir_.File("new.ini"), "Section", "Key", "Value"));  // a missing file, but no folder
  EXPECT_EQ(dir_.Read("new.ini"), "[Section]\r\nKey=Value\r\n");
  EXPECT_FALSE(IniWrite(dir_.File("absent") + kPathSep + "x.ini", "S", "K", "v"));
}

// The batch gives byte for byte what writing its keys one by one gives.
TEST_F(IniFiles, BatchWritesWhatKeyByKeyWritesWrite) {
  const std::vector<IniEntry> entries = {
      {"Statistics", "MessagesFiltered", "12"}, {"statistics", "CLASSASSPAM", "3"},
      {"Main", "Language", "Deutsch"}, {"New", "Key", "v"}, {"New", "Key", "w"}};
  for (const char* start : {"", "[Statistics]\r\nMessagesFiltered=1\r\nClassAsSpam=0\r\n\r\n[Main]\r\n",
                            "; comment\nA=1\n[Main]\n  Language = x \n[Other]\nK=\"q\"\n"}) {
    const std::string one = Put(start), all = Put(start);
    for (const IniEntry& e : entries) ASSERT_TRUE(IniWrite(one, e.section, e.key, e.value));
    ASSERT_TRUE(IniWriteAll(all, entries));
    EXPECT_EQ(testing_support::ReadBytes(one), testing_support::ReadBytes(all)) << start;
  }
#if !defined(_WIN32)
  // POSIX: one batch is one replace of the file, so a failed save changes no key.
  const std::string before = "[Statistics]\r\nMessagesFiltered=1\r\n", file = Put(before);
  LimitFileWrites(static_cast<std::int64_t>(before.size()));
  EXPECT_FALSE(IniWriteAll(file, {{"Statistics", "MessagesFiltered", "2"}, {"Statistics", "ClassAsSpam", "1"}}));
  LimitFileWrites(-1);
  EXPECT_EQ(before, testing_support::ReadBytes(file));
#endif
}

#if !defined(_WIN32)
// POSIX reads a profile's file once for many keys; a change behind the
// reader's back is still seen: at once after a write of the same size in
// place (file times are coarse), and after the file has aged.
TEST_F(IniFiles, AChangeInPlaceIsSeenByTheNextRead) {
  const std::string file = Put("[S]\r\nK=1111\r\n");
  EXPECT_EQ(IniRead(file, "S", "K", ""), "1111");
  dir_.Write("t1.ini", "[S]\r\nK=2222\r\n");
  EXPECT_EQ(IniRead(file, "S", "K", ""), "2222");
  std::this_thread::sleep_for(std::chrono::milliseconds(150));  // no longer just changed
  EXPECT_EQ(IniRead(file, "S", "K", ""), "2222");
  EXPECT_EQ(IniRead(file, "S", "K", ""), "2222");
  dir_.Write("t1.ini", "[S]\r\nK=3333\r\n");
  EXPECT_EQ(IniRead(file, "S", "K", ""), "3333");
  ASSERT_TRUE(IniWrite(file, "S", "K", "4444"));
  EXPECT_EQ(IniRead(file, "S", "K", ""), "4444");
  EXPECT_EQ(IniRead(Put("[S]\r\nK=5555\r\n"), "S", "K", ""), "5555");
}
#endif

}  // namespace
}  // namespace quelta::os
