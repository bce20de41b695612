// Rule lines and rule files: the parts of a line, score scaling, comment
// blocks, includes, names with variables and the rejected-line report.
#include <gtest/gtest.h>

#include <string>

#include "os/env.h"
#include "rules/rule_store.h"
#include "support/scratch_dir.h"
#include "support/string_log.h"

namespace quelta {
namespace {

using testing_support::ScratchDir;
using testing_support::StringLog;

TEST(RuleLine, PartsAndScaling) {
  const struct {
    const char* line;
    int scale;
    bool ok;
    const char *link, *field;
    int score;
    const char *flags, *value, *comment;
  } cases[] = {
      {"SUBJECT 10 S \"viagra\" [pills]", 100, true, "", "SUBJECT", 10, "S", "viagra", "pills"},
      {"&   FROM 5 SN \"x\"", 100, true, "&", "FROM", 5, "SN", "x", ""},
      {"?SUBJECT 1 S \"a\" [ spaced ]", 100, true, "?", "SUBJECT", 1, "S", "a", " spaced "},
      {" \tSUBJECT\t10 \t S\t\"tab\"  ", 100, true, "", "SUBJECT", 10, "S", "tab", ""},
      {"SUBJECT 10 S", 100, false},  // no value part
      {"SUBJECT 10 S \"\"", 100, true, "", "SUBJECT", 10, "S", "", ""},
      {"SUBJECT 10 S \"x\" comment]", 100, false},  // "]" without "["
      // Only the last "[" starts the comment; the value keeps a trailing part.
      {"SUBJECT 1 S \"v\" [a [b]", 100, true, "", "SUBJECT", 1, "S", "v\" [a", "b"},
      {"SUBJECT 1 S two words here", 100, true, "", "SUBJECT", 1, "S", "two words here", ""},
      {"SUBJECT 1 S \"only-leading", 100, true, "", "SUBJECT", 1, "S", "only-leading", ""},
      {"SUBJECT 1 S a\"b\"c", 100, true, "", "SUBJECT", 1, "S", "a\"b\"c", ""},
      {"SUBJECT abc S \"x\"", 100, true, "", "SUBJECT", 0, "S", "x", ""},  // not a number: 0
      {"SUBJECT 10 S \"x\"", 150, true, "", "SUBJECT", 15, "S", "x", ""},
      {"SUBJECT 5 S \"x\"", 150, true, "", "SUBJECT", 8, "S", "x", ""},    // 7.5 -> 8
      {"SUBJECT 5 S \"x\"", 50, true, "", "SUBJECT", 2, "S", "x", ""},     // 2.5 -> 2
      {"SUBJECT -15 S \"x\"", 10, true, "", "SUBJECT", -2, "S", "x", ""},  // -1.5 -> -2
      {"SUBJECT 2147483647 S \"x\"", 100, true, "", "SUBJECT", 2147483647, "S", "x", ""},
      {"SUBJECT 2147483647 S \"x\"", 200, false},  // the scaled score does not fit
      {"SenderInAutoWL 0 IW \"\" [EASYMODE_SENDER_IN_AUTOWL]", 100, true, "", "SenderInAutoWL", 0,
       "IW", "", "EASYMODE_SENDER_IN_AUTOWL"},
      {"", 100, false},
      {"SUBJECT", 100, false},
      {"SUBJECT 1", 100, false},
  };
  RuleStore store;
  int stored = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ASSERT_EQ(store.AddLine(c.line, c.scale), c.ok);
    ASSERT_EQ(store.Count(), stored += c.ok);
    if (!c.ok) continue;
    const Rule& r = store.At(stored - 1);
    EXPECT_EQ(r.link + "|" + r.field + "|" + std::to_string(r.score) + "|" + r.flags + "|" + r.value +
                  "|" + r.comment,
              std::string(c.link) + "|" + c.field + "|" + std::to_string(c.score) + "|" + c.flags +
                  "|" + c.value + "|" + c.comment);
  }
}

class RuleFile : public ::testing::Test {
 protected:
  // Loads name into store_ from the scratch folder; the fields of the rules, one letter each.
  bool Load(const std::string& name) { return store_.LoadFromFile(name, {dir_.Folder(), "/plugin/"}, log_); }
  std::string Fields() const {
    std::string fields;
    for (int i = 0; i < store_.Count(); ++i) fields += store_.At(i).field;
    return fields;
  }

  ScratchDir dir_;
  StringLog log_;
  RuleStore store_;
};

TEST_F(RuleFile, LineKindsAndCommentBlocks) {
  dir_.Write("Rules.dat",
             "# comment\r\n' comment\r\n// comment\r\n\r\n \t \r\n"
             "A 1 S \"a\"\r\n"
             "/* block opens and is not closed by this line */\r\n"
             "B 1 S \"b\"\r\n"
             "C 1 S \"c\" #RemOFF#\r\n"
             "D 1 S \"d\"\n"
             "#remon#\r\n"
             "E 1 S \"e\"\r\n"
             "#RemOFF# G 1 S \"g\"\r\n"
             "\x01  F 1 S \"f\" \t\r\n"
             "#RemOn\r\n"  // not a block marker: a comment line
             "H 1 S \"h\"\r\n"
             "/*\r\nI 1 S \"i\"\r\nend */\r\n"
             "J 1 S \"j\"");
  ASSERT_TRUE(Load("Rules.dat"));
  EXPECT_EQ(Fields(), "ADFHJ");
  EXPECT_EQ(log_.Text(), "");
}

TEST_F(RuleFile, ScaleHoldsPerFileAndIncludesDoNotLeak) {
  dir_.Write("Rules.dat",
             "SETSPAMSCORE  150\r\nA 10 S \"a\"\r\n"
             "includerulefile   inc.dat  \r\n"
             "B 10 S \"b\"\r\n"
             "SetSpamScore 0\r\nC 10 S \"c\"\r\n"
             "SetSpamScore abc\r\nD 10 S \"d\"\r\n"
             "setspamscore 1000000000\r\nE 1 S \"e\"\r\n"  // seven characters: 1000000
             "SetSpamScore -5\r\nF 10 S \"f\"\r\n"
             "SetSpamScore 1\r\nG 100 S \"g\"\r\n");
  dir_.Write("inc.dat", "I 10 S \"i\"\r\nSetSpamScore 50\r\nJ 10 S \"j\"\r\n");
  ASSERT_TRUE(Load("Rules.dat"));
  EXPECT_EQ(Fields(), "AIJBCDEFG");
  std::string scores;
  for (int i = 0; i < store_.Count(); ++i) scores += std::to_string(store_.At(i).score) + " ";
  EXPECT_EQ(scores, "15 10 5 15 10 10 10000 10 1 ");
}

TEST_F(RuleFile, BadLineIsLoggedOnceAndStopsEveryIncludingFile) {
  dir_.Write("Rules.dat", "A 1 S \"a\"\r\nIncludeRuleFile inc.dat\r\nB 1 S \"b\"\r\n");
  dir_.Write("inc.dat", "I 1 S \"i\"\r\n  broken \r\nJ 1 S \"j\"\r\n");
  EXPECT_FALSE(Load("Rules.dat"));
  EXPECT_EQ(Fields(), "AI");  // rules before the failure stay
  EXPECT_EQ(log_.Text(), "ERROR: Rule file \"" + dir_.File("inc.dat") + "\", Line: broken\r\n");
}

TEST_F(RuleFile, MissingFilesFailSilentlyAndSelfIncludesEnd) {
  EXPECT_FALSE(Load("Rules.dat"));
  dir_.Write("Rules.dat", "A 1 S \"a\"\r\nIncludeRuleFile missing.dat\r\nB 1 S \"b\"\r\n");
  EXPECT_FALSE(Load("Rules.dat"));
  EXPECT_EQ(Fields(), "A");
  dir_.Write("self.dat", "X 1 S \"x\"\r\nIncludeRuleFile self.dat\r\n");
  store_ = RuleStore();
  EXPECT_FALSE(Load("self.dat"));
  EXPECT_EQ(store_.Count(), RuleStore::kMaxIncludeDepth + 1);
  EXPECT_EQ(log_.Text(), "");  // a missing file names nothing
}

TEST_F(RuleFile, IncludeNamesMayBeAbsoluteOrHoldVariables) {
  ScratchDir plugin;
  plugin.Write("p.dat", "P 1 S \"p\"\r\n");
  dir_.Write("abs.dat", "Z 1 S \"z\"\r\n");
  dir_.Write("Rules.dat", "IncludeRuleFile " + dir_.File("abs.dat") +
                              "\r\nIncludeRuleFile %QUELTADIR%p.dat\r\n");
  ASSERT_TRUE(store_.LoadFromFile("Rules.dat", {dir_.Folder(), plugin.Folder()}, log_));
  EXPECT_EQ(Fields(), "ZP");
  ASSERT_TRUE(store_.LoadFromFile("%QUELTADIR%p.dat", {dir_.Folder(), plugin.Folder()}, log_));
  EXPECT_EQ(Fields(), "ZPP");
}

// The rule files shipped beside the plug-in load cleanly.
TEST_F(RuleFile, ShippedRuleFilesLoad) {
  const std::string data = std::string(QUELTA_SOURCE_DIR) + "/data/";
  for (const char* name : {"Rules.dat", "EasyRules.dat"}) {
    RuleStore rules;
    EXPECT_TRUE(rules.LoadFromFile(name, {data, data}, log_)) << name;
    for (int i = 0; i < rules.Count(); ++i)
      EXPECT_TRUE(std::string("IRS").find(rules.At(i).flags.substr(0, 1)) != std::string::npos)
          << name << ": " << rules.At(i).field;
  }
  EXPECT_EQ(log_.Text(), "");
}

}  // namespace
}  // namespace quelta
