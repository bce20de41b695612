// Rule lines and rule files: the parts of a line, score scaling, comment
// blocks, includes and the rejected-line report.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "os/env.h"
#include "app/session.h"
#include "rules/rule_store.h"

namespace fs = std::filesystem;
using quelta::ParseRuleLine;
using quelta::Rule;
using quelta::RuleStore;

namespace {

struct LineCase {
  const char* line;
  int scale;
  bool ok;
  const char* link;
  const char* field;
  int score;
  const char* flags;
  const char* value;
  const char* comment;
};

const LineCase kLines[] = {
    {"SUBJECT 10 S \"viagra\" [pills]", 100, true, "", "SUBJECT", 10, "S", "viagra", "pills"},
    {"&   FROM 5 SN \"x\"", 100, true, "&", "FROM", 5, "SN", "x", ""},
    {"?SUBJECT 1 S \"a\"", 100, true, "?", "SUBJECT", 1, "S", "a", ""},
    {"SUBJECT\t10\tS\t\"tab\"", 100, true, "", "SUBJECT", 10, "S", "tab", ""},
    {"SUBJECT 10 S", 100, false, "", "", 0, "", "", ""},          // no value part
    {"SUBJECT 10 S \"\"", 100, true, "", "SUBJECT", 10, "S", "", ""},
    {"SUBJECT 10 S \"x\" comment]", 100, false, "", "", 0, "", "", ""},  // "]" without "["
    // Only the last "[" starts the comment; the value keeps a trailing part.
    {"SUBJECT 1 S \"v\" [a [b]", 100, true, "", "SUBJECT", 1, "S", "v\" [a", "b"},
    {"SUBJECT 1 S two words here", 100, true, "", "SUBJECT", 1, "S", "two words here", ""},
    {"SUBJECT abc S \"x\"", 100, true, "", "SUBJECT", 0, "S", "x", ""},  // not a number -> 0
    {"SUBJECT 10 S \"x\"", 150, true, "", "SUBJECT", 15, "S", "x", ""},
    {"SUBJECT 5 S \"x\"", 150, true, "", "SUBJECT", 8, "S", "x", ""},    // 7.5 -> 8
    {"SUBJECT 5 S \"x\"", 50, true, "", "SUBJECT", 2, "S", "x", ""},     // 2.5 -> 2
    {"SUBJECT -15 S \"x\"", 10, true, "", "SUBJECT", -2, "S", "x", ""},  // -1.5 -> -2
    {"SenderInAutoWL 0 IW \"\" [EASYMODE_SENDER_IN_AUTOWL]", 100, true, "", "SenderInAutoWL", 0,
     "IW", "", "EASYMODE_SENDER_IN_AUTOWL"},
    {"SUBJECT 1 S \"only-leading", 100, true, "", "SUBJECT", 1, "S", "only-leading", ""},
    {"SUBJECT 1 S a\"b\"c", 100, true, "", "SUBJECT", 1, "S", "a\"b\"c", ""},
    {"", 100, false, "", "", 0, "", "", ""},
    {"SUBJECT", 100, false, "", "", 0, "", "", ""},
};

TEST(RuleLine, PartsAndScaling) {
  for (const auto& c : kLines) {
    SCOPED_TRACE(c.line);
    Rule r;
    ASSERT_EQ(c.ok, ParseRuleLine(c.line, c.scale, r));
    if (!c.ok) continue;
    EXPECT_EQ(c.link, r.link);
    EXPECT_EQ(c.field, r.field);
    EXPECT_EQ(c.score, r.score);
    EXPECT_EQ(c.flags, r.flags);
    EXPECT_EQ(c.value, r.value);
    EXPECT_EQ(c.comment, r.comment);
  }
}

class RuleFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("quelta-rules-" + std::to_string(rd()));
    fs::create_directories(dir_ / "Logs");
    auto& c = quelta::Plugin().Config;
    saved_ = c;
    c.RulesDat = dir_.string() + quelta::os::kPathSep;
    c.LogPath = (dir_ / "Logs").string() + quelta::os::kPathSep;
  }
  void TearDown() override {
    quelta::Plugin().Config = saved_;
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  std::string Log() {
    std::ifstream f(dir_ / "Logs" / "Filter.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  fs::path dir_;
  quelta::Locations saved_;
};

TEST_F(RuleFile, LineKindsAndCommentBlocks) {
  Write("Rules.dat",
        "# comment\r\n"
        "' comment\r\n"
        "// comment\r\n"
        "\r\n"
        "A 1 S \"a\"\r\n"
        "/* block opens and is not closed by this line */\r\n"
        "B 1 S \"b\"\r\n"
        "C 1 S \"c\" #RemOFF#\r\n"
        "D 1 S \"d\"\n"
        "#remon#\r\n"
        "E 1 S \"e\"\r\n"
        "#RemOFF#\r\n"
        "   F 1 S \"f\"   \r\n");
  RuleStore rules;
  ASSERT_TRUE(rules.LoadFromFile("Rules.dat"));
  std::string fields;
  for (int i = 0; i < rules.Count(); ++i) fields += rules.At(i).field;
  EXPECT_EQ("ADF", fields);
}

TEST_F(RuleFile, ScaleHoldsPerFileAndIncludesDoNotLeak) {
  Write("Rules.dat",
        "SetSpamScore 150\r\n"
        "A 10 S \"a\"\r\n"
        "IncludeRuleFile inc.dat\r\n"
        "B 10 S \"b\"\r\n"
        "SetSpamScore 0\r\n"
        "C 10 S \"c\"\r\n"
        "SetSpamScore abc\r\n"
        "D 10 S \"d\"\r\n");
  Write("inc.dat", "I 10 S \"i\"\r\nSetSpamScore 50\r\nJ 10 S \"j\"\r\n");
  RuleStore rules;
  ASSERT_TRUE(rules.LoadFromFile("Rules.dat"));
  ASSERT_EQ(6, rules.Count());
  const int expect[] = {15, 10, 5, 15, 10, 10};
  const char* names[] = {"A", "I", "J", "B", "C", "D"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(names[i], rules.At(i).field);
    EXPECT_EQ(expect[i], rules.At(i).score) << names[i];
  }
}

TEST_F(RuleFile, BadLineIsLoggedOnceAndStopsEveryIncludingFile) {
  Write("Rules.dat", "A 1 S \"a\"\r\nIncludeRuleFile inc.dat\r\nB 1 S \"b\"\r\n");
  Write("inc.dat", "I 1 S \"i\"\r\nbroken\r\nJ 1 S \"j\"\r\n");
  RuleStore rules;
  EXPECT_FALSE(rules.LoadFromFile("Rules.dat"));
  ASSERT_EQ(2, rules.Count());  // rules before the failure stay
  EXPECT_EQ("I", rules.At(1).field);
  const std::string expected = "ERROR: Rule file \"" + (dir_ / "inc.dat").string() + "\", Line: broken\r\n";
  EXPECT_EQ(expected, Log());
}

TEST_F(RuleFile, MissingFilesAndSelfIncludeFailWithoutEndlessRecursion) {
  RuleStore rules;
  EXPECT_FALSE(rules.LoadFromFile("Rules.dat"));
  Write("Rules.dat", "A 1 S \"a\"\r\nIncludeRuleFile missing.dat\r\n");
  EXPECT_FALSE(rules.LoadFromFile("Rules.dat"));
  EXPECT_EQ("", Log());  // a missing include names nothing
  Write("self.dat", "X 1 S \"x\"\r\nIncludeRuleFile self.dat\r\n");
  RuleStore loop;
  EXPECT_FALSE(loop.LoadFromFile("self.dat"));
  EXPECT_EQ(RuleStore::kMaxIncludeDepth + 1, loop.Count());
}

TEST_F(RuleFile, AbsoluteIncludeAndEnvironmentNames) {
  Write("abs.dat", "Z 1 S \"z\"\r\n");
  Write("Rules.dat", "IncludeRuleFile " + (dir_ / "abs.dat").string() + "\r\n");
  RuleStore rules;
  ASSERT_TRUE(rules.LoadFromFile("Rules.dat"));
  ASSERT_EQ(1, rules.Count());
  EXPECT_EQ("Z", rules.At(0).field);
}

}  // namespace
