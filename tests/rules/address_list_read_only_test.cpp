// A white or black list its owner made read-only still loads: list files
// are opened for reading only.
#include <gtest/gtest.h>

#include <filesystem>

#include "rules/address_list_rules.h"
#include "rules/rule_store.h"
#include "support/scratch_dir.h"

namespace quelta {
namespace {

namespace fs = std::filesystem;

TEST(AddressListReadOnly, AReadOnlyListLoads) {
  testing_support::ScratchDir d;
  d.Write("Whitelist.txt", "John <john@example.org>\r\n*@friends.example\r\n");
  fs::permissions(d.Path() / "Whitelist.txt", fs::perms::owner_read | fs::perms::group_read |
                                                  fs::perms::others_read);
  RuleStore rules;
  EXPECT_EQ(2, LoadAddressList(rules, d.Folder(), "Whitelist.txt", true));
  EXPECT_EQ("@friends.example>", rules.At(1).value);
  fs::permissions(d.Path() / "Whitelist.txt", fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace
}  // namespace quelta
