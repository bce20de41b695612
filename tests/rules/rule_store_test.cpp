// Rule lines and rule files: the parts of a line, score scaling, comment
// blocks, includes, names with variables and the rejected-line report.
#include <gtest/gtest.h>

#include <string>

#include "rules/rule_store.h"
#include "support/scratch_dir.h"
#include "support/string_log.h"

namespace quelta {
namespace {

using testing_support::ScratchDir;

TEST(RuleLine, PartsAndScaling) {
  const struct {
    const char* line;
    int scale;
    const char* rule;  // "link|field|score|flags|value|comment"; nullptr: rejected
  } cases[] = {
      {"SUBJECT 10 S \"viagra\" [pills]", 100, "|SUBJECT|10|S|viagra|pills"},
      {"&   FROM 5 SN \"x\"", 100, "&|FROM|5|SN|x|"},
      {"?SUBJECT 1 S \"a\" [ spaced ]", 100, "?|SUBJECT|1|S|a| spaced "},
      {" \tSUBJECT\t10 \t S\t\"tab\"  ", 100, "|SUBJECT|10|S|tab|"},
      {"SUBJECT 10 S \"\"", 100, "|SUBJECT|10|S||"},
      {"SUBJECT 10 S", 100, nullptr},                   // no value part
      {"SUBJECT 10 S \"x\" comment]", 100, nullptr},    // "]" without "["
      {"SUBJECT 1 S \"v\" [a [b]", 100, "|SUBJECT|1|S|v\" [a|b"},  // only the last "[" counts
      {"SUBJECT 1 S two words here", 100, "|SUBJECT|1|S|two words here|"},
      {"SUBJECT 1 S \"only-leading", 100, "|SUBJECT|1|S|only-leading|"},
      {"SUBJECT 1 S a\"b\"c", 100, "|SUBJECT|1|S|a\"b\"c|"},
      {"SUBJECT abc S \"x\"", 100, "|SUBJECT|0|S|x|"},  // not a number: 0
      {"SUBJECT 10 S \"x\"", 150, "|SUBJECT|15|S|x|"},
      {"SUBJECT 5 S \"x\"", 150, "|SUBJECT|8|S|x|"},    // 7.5: halves to even
      {"SUBJECT 5 S \"x\"", 50, "|SUBJECT|2|S|x|"},     // 2.5
      {"SUBJECT -15 S \"x\"", 10, "|SUBJECT|-2|S|x|"},  // -1.5
      {"SUBJECT 2147483647 S \"x\"", 100, "|SUBJECT|2147483647|S|x|"},
      {"SUBJECT 2147483647 S \"x\"", 200, nullptr},     // the scaled score does not fit
      {"SenderInAutoWL 0 IW \"\" [EASYMODE_SENDER_IN_AUTOWL]", 100,
       "|SenderInAutoWL|0|IW||EASYMODE_SENDER_IN_AUTOWL"},
      {"", 100, nullptr}, {"SUBJECT", 100, nullptr}, {"SUBJECT 1", 100, nullptr},
  };
  RuleStore store;
  for (const auto& c : cases) {
    const int before = store.Count();
    ASSERT_EQ(store.AddLine(c.line, c.scale), c.rule != nullptr) << c.line;
    ASSERT_EQ(store.Count(), before + (c.rule != nullptr)) << c.line;
    if (!c.rule) continue;
    const Rule& r = store.At(before);
    EXPECT_EQ(r.link + "|" + r.field + "|" + std::to_string(r.score) + "|" + r.flags + "|" + r.value +
                  "|" + r.comment, c.rule);
  }
}

class RuleFile : public ::testing::Test {
 protected:
  bool Load(const std::string& name) { return store_.LoadFromFile(name, {dir_.Folder(), plugin_.Folder()}, log_); }
  // The fields of the stored rules, one letter each.
  std::string Fields() const {
    std::string fields;
    for (int i = 0; i < store_.Count(); ++i) fields += store_.At(i).field;
    return fields;
  }

  ScratchDir dir_, plugin_;
  testing_support::StringLog log_;
  RuleStore store_;
};

TEST_F(RuleFile, LineKindsAndCommentBlocks) {
  dir_.Write("Rules.dat",
             "# comment\r\n' comment\r\n// comment\r\n\r\n \t \r\nA 1 S \"a\"\r\n"
             "/* block opens and is not closed by this line */\r\nB 1 S \"b\"\r\n"
             "C 1 S \"c\" #RemOFF#\r\nD 1 S \"d\"\n"
             "#remon#\r\nE 1 S \"e\"\r\n#RemOFF# G 1 S \"g\"\r\n"
             "\x01  F 1 S \"f\" \t\r\n"
             "#RemOn\r\nH 1 S \"h\"\r\n"  // not a block marker: a comment line
             "/*\r\nI 1 S \"i\"\r\n*/\r\nJ 1 S \"j\"");
  ASSERT_TRUE(Load("Rules.dat"));
  EXPECT_EQ(Fields(), "ADFHJ");
  EXPECT_EQ(log_.Text(), "");
}

TEST_F(RuleFile, ScaleHoldsPerFileAndIncludesDoNotLeak) {
  dir_.Write("Rules.dat",
             "SETSPAMSCORE  150\r\nA 10 S \"a\"\r\nincluderulefile   inc.dat  \r\nB 10 S \"b\"\r\n"
             "SetSpamScore 0\r\nC 10 S \"c\"\r\nSetSpamScore abc\r\nD 10 S \"d\"\r\n"
             "setspamscore 1000000000\r\nE 1 S \"e\"\r\n"  // seven characters: 1000000
             "SetSpamScore -5\r\nF 10 S \"f\"\r\nSetSpamScore 1\r\nG 100 S \"g\"\r\n");
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
  EXPECT_FALSE(Load("self.dat"));
  EXPECT_EQ(store_.Count(), 1 + RuleStore::kMaxIncludeDepth + 1);
  EXPECT_EQ(log_.Text(), "");  // a missing file names nothing
}

TEST_F(RuleFile, NamesMayBeAbsoluteOrHoldVariables) {
  plugin_.Write("p.dat", "P 1 S \"p\"\r\n");
  dir_.Write("abs.dat", "Z 1 S \"z\"\r\n");
  dir_.Write("Rules.dat", "IncludeRuleFile " + dir_.File("abs.dat") + "\r\nIncludeRuleFile %QUELTADIR%p.dat\r\n");
  ASSERT_TRUE(Load("Rules.dat"));
  ASSERT_TRUE(Load("%QUELTADIR%p.dat"));
  EXPECT_EQ(Fields(), "ZPP");
}

}  // namespace
}  // namespace quelta
