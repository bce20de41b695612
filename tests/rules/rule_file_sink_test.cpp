// What the rule-file reader tells a sink: where each rule came from, and
// every problem at its file and line, reading on where start-up stops.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/log.h"
#include "rules/rule_store.h"
#include "support/scratch_dir.h"

using quelta::RuleFileProblem;
using quelta::RuleStore;

namespace {

struct Heard final : quelta::RuleFileSink {
  void RuleRead(int index, const std::string& file, int line) override {
    rules[index] = Where(file, line);
  }
  void Problem(RuleFileProblem p, const std::string& file, int line,
               const std::string& detail) override {
    problems.push_back({p, Where(file, line), detail});
  }
  // "name:line" with the folder left out.
  std::string Where(const std::string& file, int line) const {
    return file.substr(folder.size()) + ":" + std::to_string(line);
  }
  struct Item {
    RuleFileProblem problem;
    std::string where, detail;
  };
  std::string folder;
  std::map<int, std::string> rules;
  std::vector<Item> problems;
};

TEST(RuleFileSink, PlacesOfRulesAndOfEveryProblem) {
  testing_support::ScratchDir dir;
  dir.Write("Rules.dat",
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
  dir.Write("inc.dat", "I 1 S \"i\"\nIncludeRuleFile Rules.dat\nJ 1 S \"j\"\n");
  quelta::NullLog log;
  Heard heard;
  heard.folder = dir.Folder();
  RuleStore rules;
  EXPECT_FALSE(rules.LoadFromFile("Rules.dat", {dir.Folder(), dir.Folder()}, log, &heard));

  const std::map<int, std::string> expectedRules = {{0, "Rules.dat:2"},
                                                    {1, "inc.dat:1"},
                                                    {2, "inc.dat:3"},
                                                    {3, "Rules.dat:6"},
                                                    {4, "Rules.dat:11"}};
  EXPECT_EQ(expectedRules, heard.rules);
  const std::vector<std::pair<RuleFileProblem, std::string>> expected = {
      {RuleFileProblem::kIncludeLoop, "inc.dat:2"},
      {RuleFileProblem::kRejectedLine, "Rules.dat:5"},
      {RuleFileProblem::kFileNotFound, "Rules.dat:7"},
      {RuleFileProblem::kSameLineBlock, "Rules.dat:8"},
      {RuleFileProblem::kOpenCommentBlock, "Rules.dat:12"},
  };
  ASSERT_EQ(expected.size(), heard.problems.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].first, heard.problems[i].problem) << i;
    EXPECT_EQ(expected[i].second, heard.problems[i].where) << i;
  }
  EXPECT_EQ(dir.File("Rules.dat"), heard.problems[0].detail);
  EXPECT_EQ("broken", heard.problems[1].detail);
  EXPECT_EQ(dir.File("missing.dat"), heard.problems[2].detail);

  // Without a sink the same file loads as at start-up: up to the bad line.
  RuleStore plain;
  EXPECT_FALSE(plain.LoadFromFile("Rules.dat", {dir.Folder(), dir.Folder()}, log));
  EXPECT_EQ(RuleStore::kMaxIncludeDepth + 1, plain.Count());  // A or I per nesting level
}

TEST(RuleFileSink, MissingTopFileAndTooDeepIncludes) {
  testing_support::ScratchDir dir;
  quelta::NullLog log;
  Heard heard;
  heard.folder = dir.Folder();
  RuleStore rules;
  EXPECT_FALSE(rules.LoadFromFile("Rules.dat", {dir.Folder(), dir.Folder()}, log, &heard));
  ASSERT_EQ(1u, heard.problems.size());
  EXPECT_EQ(RuleFileProblem::kFileNotFound, heard.problems[0].problem);
  EXPECT_EQ("Rules.dat:0", heard.problems[0].where);

  // A chain of distinct files one longer than the bound.
  const int n = RuleStore::kMaxIncludeDepth + 1;
  for (int i = 0; i < n; ++i)
    dir.Write("f" + std::to_string(i) + ".dat",
              "IncludeRuleFile f" + std::to_string(i + 1) + ".dat\r\n");
  dir.Write("f" + std::to_string(n) + ".dat", "X 1 S \"x\"\r\n");
  Heard deep;
  deep.folder = dir.Folder();
  EXPECT_FALSE(rules.LoadFromFile("f0.dat", {dir.Folder(), dir.Folder()}, log, &deep));
  ASSERT_EQ(1u, deep.problems.size());
  EXPECT_EQ(RuleFileProblem::kIncludeTooDeep, deep.problems[0].problem);
  EXPECT_EQ("f" + std::to_string(n - 1) + ".dat:1", deep.problems[0].where);

  // A loop alone fails the load as well.
  dir.Write("self.dat", "X 1 S \"x\"\r\nIncludeRuleFile self.dat\r\n");
  Heard loop;
  loop.folder = dir.Folder();
  EXPECT_FALSE(rules.LoadFromFile("self.dat", {dir.Folder(), dir.Folder()}, log, &loop));
  ASSERT_EQ(1u, loop.problems.size());
  EXPECT_EQ(RuleFileProblem::kIncludeLoop, loop.problems[0].problem);
}

}  // namespace
