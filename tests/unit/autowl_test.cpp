// The auto-white-list: both line forms, expiry by age, merging of repeated
// addresses, the rewritten file and the recorded size.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "base/date_time.h"
#include "os/env.h"
#include "app/session.h"
#include "lists/auto_white_list.h"
#include "rules/address_list_rules.h"

namespace fs = std::filesystem;

namespace {

// "yyyymmdd" of the date `daysAgo` days before today (negative: ahead).
std::string DaysAgo(int daysAgo) {
  int y, m, d;
  quelta::DecodeDate(std::floor(quelta::os::LocalNow()) - daysAgo, y, m, d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
  return buf;
}

class AutoWLFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("quelta_awl_" + std::to_string(rd()));
    fs::create_directories(dir_);
    saved_ = quelta::Plugin().Settings;
    quelta::Plugin().Settings.AWLDays = 60;
    quelta::Plugin().Settings.AutoWLSize = 12345;
    path_ = dir_.string() + quelta::os::kPathSep + "AutoWL.lst";
  }
  void TearDown() override {
    quelta::Plugin().Settings = saved_;
    quelta::Objects().AutoWL.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void Put(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string File() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  const quelta::AutoWhiteList& List() const { return *quelta::Objects().AutoWL; }

  fs::path dir_;
  std::string path_;
  quelta::PluginSettings saved_;
};

TEST_F(AutoWLFile, MissingFile) {
  EXPECT_EQ(quelta::LoadAutoWhiteList(path_), -1);
  EXPECT_EQ(quelta::Plugin().Settings.AutoWLSize, 12345);  // not updated
  EXPECT_EQ(List().Count(), 0);
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(AutoWLFile, QuotedLineIsNormalisedAndRewritten) {
  const std::string d = DaysAgo(10);
  Put("\"Bob <BOB@Example.org>|" + d + "\"\r\n");
  ASSERT_EQ(quelta::LoadAutoWhiteList(path_), 1);
  EXPECT_EQ(List().Entries()[0], "<bob@example.org>|" + d);
  EXPECT_EQ(File(), "<bob@example.org>|" + d + "\r\n");
  EXPECT_EQ(quelta::Plugin().Settings.AutoWLSize, static_cast<std::int64_t>(File().size()));
}

TEST_F(AutoWLFile, QuotedLineWithSeveralAddressesAndBars) {
  const std::string d = DaysAgo(1);
  Put("\"Ann <ann@example.org>, bob@example.net|x|" + d + "\"\n");
  ASSERT_EQ(quelta::LoadAutoWhiteList(path_), 1);
  // The address part is made of every address of the text before the last
  // bar, joined without line breaks.
  const std::string e = List().Entries()[0];
  EXPECT_EQ(e.substr(e.find('|')), "|" + d);
  EXPECT_NE(e.find("<ann@example.org>"), std::string::npos);
  EXPECT_EQ(e.find('\r'), std::string::npos);
  EXPECT_EQ(e.find('\n'), std::string::npos);
}

TEST_F(AutoWLFile, PlainLinesAreLowerCasedAndKept) {
  const std::string d1 = DaysAgo(0), d2 = DaysAgo(59);
  Put("  <Alice@Example.ORG>|" + d1 + "  \n\n<carl@example.com>|" + d2 + "\n");
  ASSERT_EQ(quelta::LoadAutoWhiteList(path_), 2);
  EXPECT_EQ(List().Entries()[0], "<alice@example.org>|" + d1);
  EXPECT_EQ(List().Entries()[1], "<carl@example.com>|" + d2);
  EXPECT_EQ(File(), "<alice@example.org>|" + d1 + "\r\n<carl@example.com>|" + d2 + "\r\n");
}

TEST_F(AutoWLFile, ExpiryAtAWLDays) {
  struct Case {
    int daysAgo;
    bool kept;
  };
  const Case cases[] = {{0, true}, {59, true}, {60, false}, {61, false}, {400, false},
                        {-59, true}, {-61, false}};
  std::string text, expect;
  int n = 0;
  for (const Case& c : cases) {
    const std::string line = "<u" + std::to_string(n++) + "@example.org>|" + DaysAgo(c.daysAgo);
    text += line + "\r\n";
    if (c.kept) expect += line + "\r\n";
  }
  Put(text);
  EXPECT_EQ(quelta::LoadAutoWhiteList(path_), 3);
  EXPECT_EQ(File(), expect);

  quelta::Plugin().Settings.AWLDays = 1;
  Put("<a@example.org>|" + DaysAgo(0) + "\r\n<b@example.org>|" + DaysAgo(1) + "\r\n");
  EXPECT_EQ(quelta::LoadAutoWhiteList(path_), 1);
  EXPECT_EQ(File(), "<a@example.org>|" + DaysAgo(0) + "\r\n");
}

TEST_F(AutoWLFile, UndecodableDatesCountAsToday) {
  const std::string today = DaysAgo(0);
  const char* bad[] = {"", "2024", "20241301", "20230229", "2023ab01", "yesterday", "2023-1-1"};
  std::string text, expect;
  int n = 0;
  for (const char* d : bad) {
    const std::string addr = "<b" + std::to_string(n++) + "@example.org>";
    text += addr + "|" + d + "\n";
    expect += addr + "|" + today + "\r\n";
  }
  Put(text);
  EXPECT_EQ(quelta::LoadAutoWhiteList(path_), n);
  EXPECT_EQ(File(), expect);
}

TEST_F(AutoWLFile, DuplicatesKeepOneEntryWithTheLaterDatePart) {
  const std::string d1 = DaysAgo(3), d2 = DaysAgo(20);
  Put("<dup@example.org>|" + d1 + "\n<x@example.org>|" + d1 + "\n<DUP@example.org>|" + d2 +
      "\n\"Dup <dup@example.org>|" + d1 + "\"\n");
  ASSERT_EQ(quelta::LoadAutoWhiteList(path_), 2);
  EXPECT_EQ(File(), "<dup@example.org>|" + d1 + "\r\n<x@example.org>|" + d1 + "\r\n");

  // The later line's date part is taken as written, even when undecodable.
  Put("<dup@example.org>|" + d1 + "\n<dup@example.org>|soon\n");
  ASSERT_EQ(quelta::LoadAutoWhiteList(path_), 1);
  EXPECT_EQ(List().Entries()[0], "<dup@example.org>|soon");
}

TEST_F(AutoWLFile, LinesWithoutBarShareOneEmptyAddress) {
  Put("just text\n");
  ASSERT_EQ(quelta::LoadAutoWhiteList(path_), 1);
  EXPECT_EQ(List().Entries()[0], "|" + DaysAgo(0));
  // A second such line merges into it and brings its (empty) date part.
  Put("just text\n\"quoted without bar\"\n");
  ASSERT_EQ(quelta::LoadAutoWhiteList(path_), 1);
  EXPECT_EQ(List().Entries()[0], "|");
}

TEST_F(AutoWLFile, EmptyFileIsNotRewrittenAndRecordsItsSize) {
  Put("");
  EXPECT_EQ(quelta::LoadAutoWhiteList(path_), 0);
  EXPECT_EQ(quelta::Plugin().Settings.AutoWLSize, 0);
  Put(" \r\n\r\n");
  EXPECT_EQ(quelta::LoadAutoWhiteList(path_), 0);
  EXPECT_EQ(File(), " \r\n\r\n");  // nothing to write: left as it was
  EXPECT_EQ(quelta::Plugin().Settings.AutoWLSize, 5);
}

TEST_F(AutoWLFile, AllExpiredEmptiesTheFile) {
  Put("<old@example.org>|20000101\n");
  EXPECT_EQ(quelta::LoadAutoWhiteList(path_), 0);
  EXPECT_EQ(File(), "");
  EXPECT_EQ(quelta::Plugin().Settings.AutoWLSize, 0);
}

TEST_F(AutoWLFile, ReloadReplacesTheList) {
  Put("<a@example.org>|" + DaysAgo(1) + "\n");
  ASSERT_EQ(quelta::LoadAutoWhiteList(path_), 1);
  Put("<b@example.org>|" + DaysAgo(1) + "\n<c@example.org>|" + DaysAgo(2) + "\n");
  ASSERT_EQ(quelta::LoadAutoWhiteList(path_), 2);
  EXPECT_FALSE(List().Contains("<a@example.org>"));
  EXPECT_TRUE(List().Contains("<c@example.org>"));
}

// Contains must agree with a plain case-folded substring search over the
// entries for every kind of needle.
TEST_F(AutoWLFile, ContainsEqualsSubstringSearch) {
  const std::string d = DaysAgo(1);
  Put("<ann@example.org>|" + d + "\n" + "ann doe <ann2@example.org> more|" + d + "\n" +
      "<a><b@x.org>|" + d + "\n" + "<<odd>>|" + d + "\n" + "\"Zoe <ZOE@Example.org>|" + d +
      "\"\n");
  ASSERT_EQ(quelta::LoadAutoWhiteList(path_), 5);
  const char* needles[] = {"<ann@example.org>", "<ANN@EXAMPLE.ORG>", "<ann2@example.org>",
                           "<nn@example.org>",  "ann@",              "<b@x.org>",
                           "<a><b@x.org>",      "<odd>",             "<<odd>",
                           "<>",                "<zoe@example.org>", "",
                           "|",                 "doe <ann2",         "<a>"};
  for (const char* n : needles) {
    bool expect = false;
    std::string fn = quelta::os::AnsiUpperCase(n);
    for (const std::string& e : List().Entries())
      if (!fn.empty() && quelta::os::AnsiUpperCase(e).find(fn) != std::string::npos)
        expect = true;
    EXPECT_EQ(List().Contains(n), expect) << n;
  }
}

}  // namespace
