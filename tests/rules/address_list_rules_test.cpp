// White and black lists as rules: one sender-address rule per entry, its
// search text by the entry's stars, and the counts the loader reports. List
// files are opened for reading only.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "rules/address_list_rules.h"
#include "rules/rule_store.h"
#include "support/scratch_dir.h"

namespace quelta {
namespace {

std::string Show(const Rule& r) {
  return r.link + r.field + "|" + std::to_string(r.score) + "|" + r.flags + "|" + r.comment;
}

TEST(AddressListRules, EntriesBecomeSearchTexts) {
  const std::pair<const char*, const char*> entries[] = {  // value nullptr: the line adds no rule
      {"John Doe <John@Example.org>", "<John@Example.org>"}, {"*spam*", "spam"},
      {"*@example.org", "@example.org>"},                    {"news@*", "<news@"},
      {"  \tpadded@example.org  ", "<padded@example.org>"},  {"Open <open@example.org", "<open@example.org>"},
      {"Name < *@spam.example > tail", "@spam.example>"},    {"a <b> <c>", "<b>"},
      {"*", ""}, {"**", ""}, {"Nobody <>", "<>"}, {"x#y@example.org", "<x#y@example.org>"},
      {"# a comment", nullptr}, {"   # indented comment", nullptr}, {"   ", nullptr}};
  std::string text;
  std::vector<std::string> expect;
  for (const auto& [line, value] : entries) {
    text += std::string(line) + "\r\n";
    if (value) expect.push_back(value);
  }
  namespace fs = std::filesystem;
  testing_support::ScratchDir dir;
  dir.Write("Whitelist.txt", text + "\nlast@example.org");  // no final line end
  expect.push_back("<last@example.org>");
  // Its owner made the list read-only.
  fs::permissions(dir.Path() / "Whitelist.txt", fs::perms::owner_write | fs::perms::group_write |
                  fs::perms::others_write, fs::perm_options::remove);
  RuleStore rules;
  ASSERT_EQ(LoadAddressList(rules, dir.Folder(), "Whitelist.txt", true), static_cast<int>(expect.size()));
  ASSERT_EQ(rules.Count(), static_cast<int>(expect.size()));
  for (int i = 0; i < rules.Count(); ++i) {
    EXPECT_EQ(rules.At(i).value, expect[i]) << i;
    EXPECT_EQ(Show(rules.At(i)), "FromAddr|0|SW|WHITELIST: Whitelisted mail address from \"Whitelist.txt\"");
  }
  fs::permissions(dir.Path() / "Whitelist.txt", fs::perms::owner_write, fs::perm_options::add);
}

TEST(AddressListRules, BlackListRulesMarkSpamAndFollowTheStore) {
  testing_support::ScratchDir dir;
  RuleStore rules;
  rules.AddLine("A 1 S \"a\"", 100);
  EXPECT_EQ(LoadAddressList(rules, dir.Folder(), "Blacklist.txt", false), -1);
  dir.Write("Blacklist.txt", "");
  EXPECT_EQ(LoadAddressList(rules, dir.Folder(), "Blacklist.txt", false), 0);
  dir.Write("Blacklist.txt", "# only comments\r\n\r\n*@bad.example\n");
  EXPECT_EQ(LoadAddressList(rules, dir.Folder(), "Blacklist.txt", false), 1);
  ASSERT_EQ(rules.Count(), 2);
  EXPECT_EQ(rules.At(1).value, "@bad.example>");
  EXPECT_EQ(Show(rules.At(1)), "FromAddr|100|SH|BLACKLIST: Blacklisted mail address from \"Blacklist.txt\"");
}

}  // namespace
}  // namespace quelta
