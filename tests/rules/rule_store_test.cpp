// Rule lines and rule files: the parts of a line, score scaling, comment
// blocks, includes, names with variables, the rejected-line report, and what
// the reader tells a sink: where each rule came from and every problem at its
// file and line, reading on where start-up stops. White and black lists as
// rules: one sender-address rule per entry, its search text by the entry's
// stars, and the counts the loader reports; list files are opened for
// reading only.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "rules/address_list_rules.h"
#include "rules/rule_store.h"
#include "support/scratch_dir.h"
#include "support/string_log.h"

namespace quelta {
namespace {

using testing_support::ScratchDir;

// A rule as "link|field|score|flags|value|comment".
std::string Show(const Rule& r) {
  return r.link + "|" + r.field + "|" + std::to_string(r.score) + "|" + r.flags + "|" + r.value + "|" + r.comment;
}

TEST(RuleLine, PartsAndScaling) {
  const std::tuple<const char*, int, const char*> cases[] = {  // rule: "link|field|score|flags|value|comment"
      {"&   FROM 5 SN \"x\"", 100, "&|FROM|5|SN|x|"},
      {"?SUBJECT 1 S \"a\" [ spaced ]", 100, "?|SUBJECT|1|S|a| spaced "},
      {" \tSUBJECT\t10 \t S\t\"tab\"  ", 100, "|SUBJECT|10|S|tab|"},
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
      {"", 100, nullptr}, {"SUBJECT 1", 100, nullptr}};  // nullptr: rejected
  RuleStore store;
  for (const auto& [line, scale, want] : cases) {
    const int before = store.Count();
    ASSERT_EQ(store.AddLine(line, scale), want != nullptr) << line;
    ASSERT_EQ(store.Count(), before + (want != nullptr)) << line;
    if (!want) continue;
    EXPECT_EQ(Show(store.At(before)), want);
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

// Heard from the reader: "problem where detail" lines and rule places, the
// folder left out of each "name:line".
struct Heard final : RuleFileSink {
  explicit Heard(const ScratchDir& dir) : folder(dir.Folder()) {}
  void RuleRead(int index, const std::string& file, int line) override { rules[index] = Where(file, line); }
  void Problem(RuleFileProblem p, const std::string& file, int line, const std::string& detail) override {
    problems.push_back(std::to_string(static_cast<int>(p)) + " " + Where(file, line) + " " + detail);
  }
  std::string Where(const std::string& file, int line) const {
    return file.substr(folder.size()) + ":" + std::to_string(line);
  }
  std::string folder;
  std::map<int, std::string> rules;
  std::vector<std::string> problems;
};
std::string Problem(RuleFileProblem p, const std::string& rest) {
  return std::to_string(static_cast<int>(p)) + " " + rest;
}

TEST_F(RuleFile, TheSinkHearsThePlacesOfRulesAndOfEveryProblem) {
  dir_.Write("Rules.dat",
             "# comment\r\n"
             "A 1 S \"a\"\r\n"  // 2
             "\r\n"
             "IncludeRuleFile inc.dat\r\n"      // 4
             "broken\r\n"                       // 5: start-up stops here
             "B 1 S \"b\"\r\n"                  // 6
             "IncludeRuleFile missing.dat\r\n"  // 7
             "/* one line */\r\n"               // 8: opens a block
             "C 1 S \"c\"\r\n"                  // 9: inside it
             "#RemOFF#\r\n"
             "D 1 S \"d\"\r\n"  // 11
             "#RemON#\r\n");    // 12: never closed
  dir_.Write("inc.dat", "I 1 S \"i\"\nIncludeRuleFile Rules.dat\nJ 1 S \"j\"\n");
  Heard heard(dir_);
  EXPECT_FALSE(store_.LoadFromFile("Rules.dat", {dir_.Folder(), dir_.Folder()}, log_, &heard));
  EXPECT_EQ(heard.rules, (std::map<int, std::string>{
                             {0, "Rules.dat:2"}, {1, "inc.dat:1"}, {2, "inc.dat:3"}, {3, "Rules.dat:6"},
                             {4, "Rules.dat:11"}}));
  EXPECT_EQ(heard.problems,
            (std::vector<std::string>{Problem(RuleFileProblem::kIncludeLoop, "inc.dat:2 " + dir_.File("Rules.dat")),
                                      Problem(RuleFileProblem::kRejectedLine, "Rules.dat:5 broken"),
                                      Problem(RuleFileProblem::kFileNotFound, "Rules.dat:7 " + dir_.File("missing.dat")),
                                      Problem(RuleFileProblem::kSameLineBlock, "Rules.dat:8 /* one line */"),
                                      Problem(RuleFileProblem::kOpenCommentBlock, "Rules.dat:12 ")}));
}

TEST_F(RuleFile, TheSinkHearsAMissingTopFileAndTooDeepIncludes) {
  Heard missing(dir_);
  EXPECT_FALSE(store_.LoadFromFile("Rules.dat", {dir_.Folder(), dir_.Folder()}, log_, &missing));
  EXPECT_EQ(missing.problems, std::vector<std::string>{Problem(RuleFileProblem::kFileNotFound,
                                                                "Rules.dat:0 " + dir_.File("Rules.dat"))});
  // A chain of distinct files one longer than the bound.
  const int n = RuleStore::kMaxIncludeDepth + 1;
  for (int i = 0; i < n; ++i)
    dir_.Write("f" + std::to_string(i) + ".dat", "IncludeRuleFile f" + std::to_string(i + 1) + ".dat\r\n");
  dir_.Write("f" + std::to_string(n) + ".dat", "X 1 S \"x\"\r\n");
  Heard deep(dir_);
  EXPECT_FALSE(store_.LoadFromFile("f0.dat", {dir_.Folder(), dir_.Folder()}, log_, &deep));
  ASSERT_EQ(1u, deep.problems.size());
  EXPECT_EQ(0u, deep.problems[0].find(Problem(RuleFileProblem::kIncludeTooDeep, "f" + std::to_string(n - 1) + ".dat:1 ")));
}

TEST_F(RuleFile, WhiteListEntriesBecomeSearchTexts) {
  const std::pair<const char*, const char*> entries[] = {  // value nullptr: the line adds no rule
      {"John Doe <John@Example.org>", "<John@Example.org>"}, {"*spam*", "spam"},
      {"*@example.org", "@example.org>"},                    {"news@*", "<news@"},
      {"  \tpadded@example.org  ", "<padded@example.org>"},  {"Open <open@example.org", "<open@example.org>"},
      {"Name < *@spam.example > tail", "@spam.example>"},    {"a <b> <c>", "<b>"},
      {"*", ""}, {"**", ""}, {"Nobody <>", "<>"}, {"x#y@example.org", "<x#y@example.org>"},
      {"# a comment", nullptr}, {"   # indented comment", nullptr}, {"   ", nullptr}};
  std::string text;
  std::vector<std::string> want;
  for (const auto& [line, value] : entries) {
    text += std::string(line) + "\r\n";
    if (value) want.push_back(std::string("|FromAddr|0|SW|") + value + "|WHITELIST: Whitelisted mail address from \"Whitelist.txt\"");
  }
  want.push_back("|FromAddr|0|SW|<last@example.org>|WHITELIST: Whitelisted mail address from \"Whitelist.txt\"");
  namespace fs = std::filesystem;
  dir_.Write("Whitelist.txt", text + "\nlast@example.org");  // no final line end
  // Its owner made the list read-only.
  fs::permissions(dir_.Path() / "Whitelist.txt", fs::perms::owner_write | fs::perms::group_write |
                  fs::perms::others_write, fs::perm_options::remove);
  ASSERT_EQ(LoadAddressList(store_, dir_.Folder(), "Whitelist.txt", true), static_cast<int>(want.size()));
  std::vector<std::string> got;
  for (int i = 0; i < store_.Count(); ++i) got.push_back(Show(store_.At(i)));
  EXPECT_EQ(got, want);
  fs::permissions(dir_.Path() / "Whitelist.txt", fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(RuleFile, BlackListRulesMarkSpamAndFollowTheStore) {
  store_.AddLine("A 1 S \"a\"", 100);
  EXPECT_EQ(LoadAddressList(store_, dir_.Folder(), "Blacklist.txt", false), -1);
  dir_.Write("Blacklist.txt", "");
  EXPECT_EQ(LoadAddressList(store_, dir_.Folder(), "Blacklist.txt", false), 0);
  dir_.Write("Blacklist.txt", "# only comments\r\n\r\n*@bad.example\n");
  EXPECT_EQ(LoadAddressList(store_, dir_.Folder(), "Blacklist.txt", false), 1);
  ASSERT_EQ(store_.Count(), 2);
  EXPECT_EQ(Show(store_.At(1)), "|FromAddr|100|SH|@bad.example>|BLACKLIST: Blacklisted mail address from \"Blacklist.txt\"");
}

}  // namespace
}  // namespace quelta
