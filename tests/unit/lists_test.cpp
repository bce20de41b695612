// White and black lists as rules, and the internal checks on known senders
// (address books and auto-white-list) on real messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/date_time.h"
#include "os/env.h"
#include "app/session.h"
#include "lists/address_book.h"
#include "lists/auto_white_list.h"
#include "rules/address_list_rules.h"
#include "engine/evaluator.h"
#include "rules/rule_store.h"

namespace fs = std::filesystem;
using quelta::Rule;
using quelta::RuleStore;

namespace {

class ListFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("quelta_lists_" + std::to_string(rd()));
    fs::create_directories(dir_);
    savedHost_ = quelta::Plugin().HostDir;
    savedSettings_ = quelta::Plugin().Settings;
    quelta::Plugin().HostDir = Dir();
    quelta::ResetAddressBooks();
  }
  void TearDown() override {
    quelta::ResetAddressBooks();
    quelta::Objects().AutoWL.reset();
    quelta::Plugin().HostDir = savedHost_;
    quelta::Plugin().Settings = savedSettings_;
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Dir() const { return dir_.string() + quelta::os::kPathSep; }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return Dir() + name;
  }

  fs::path dir_;
  std::string savedHost_;
  quelta::PluginSettings savedSettings_;
};

// ---- White and black lists ---------------------------------------------

struct EntryCase {
  const char* line;
  const char* value;  // nullptr: the line adds no rule
};

const EntryCase kEntries[] = {
    {"John Doe <John@Example.org>", "<John@Example.org>"},
    {"*spam*", "spam"},
    {"*@example.org", "@example.org>"},
    {"news@*", "<news@"},
    {"john@example.org", "<john@example.org>"},
    {"  \tpadded@example.org  ", "<padded@example.org>"},
    {"Open <open@example.org", "<open@example.org>"},
    {"Name < *@spam.example > tail", "@spam.example>"},
    {"a <b> <c>", "<b>"},
    {"*", ""},
    {"**", ""},
    {"Nobody <>", "<>"},
    {"# a comment", nullptr},
    {"   # indented comment", nullptr},
    {"", nullptr},
    {"   ", nullptr},
    {"x#y@example.org", "<x#y@example.org>"},
};

TEST_F(ListFiles, EntriesBecomeSearchTexts) {
  std::string text;
  std::vector<std::string> expect;
  for (const EntryCase& c : kEntries) {
    text += std::string(c.line) + "\r\n";
    if (c.value) expect.push_back(c.value);
  }
  Write("Whitelist.txt", text);
  RuleStore rules;
  ASSERT_EQ(quelta::LoadAddressList(rules, Dir(), "Whitelist.txt", true),
            static_cast<int>(expect.size()));
  ASSERT_EQ(rules.Count(), static_cast<int>(expect.size()));
  for (int i = 0; i < rules.Count(); ++i) {
    const Rule r = rules.GetRule(i);
    EXPECT_EQ(r.value, expect[i]) << i;
    EXPECT_EQ(r.link, "");
    EXPECT_EQ(r.field, "FromAddr");
    EXPECT_EQ(r.score, 0);
    EXPECT_EQ(r.flags, "SW");
    EXPECT_EQ(r.comment, "WHITELIST: Whitelisted mail address from \"Whitelist.txt\"");
  }
}

TEST_F(ListFiles, BlackListRulesFollowWhiteListRules) {
  Write("Whitelist.txt", "friend@example.org\n");
  Write("Blacklist.txt", "*spam*\r\n#x\n*@bad.example");  // no final line end
  RuleStore rules;
  EXPECT_EQ(quelta::LoadAddressList(rules, Dir(), "Whitelist.txt", true), 1);
  EXPECT_EQ(quelta::LoadAddressList(rules, Dir(), "Blacklist.txt", false), 2);
  ASSERT_EQ(rules.Count(), 3);
  EXPECT_EQ(rules.GetRule(0).value, "<friend@example.org>");
  const Rule b = rules.GetRule(1);
  EXPECT_EQ(b.value, "spam");
  EXPECT_EQ(b.field, "FromAddr");
  EXPECT_EQ(b.score, 100);
  EXPECT_EQ(b.flags, "SH");
  EXPECT_EQ(b.link, "");
  EXPECT_EQ(b.comment, "BLACKLIST: Blacklisted mail address from \"Blacklist.txt\"");
  EXPECT_EQ(rules.GetRule(2).value, "@bad.example>");
}

TEST_F(ListFiles, MissingAndEmptyLists) {
  RuleStore rules;
  Write("Whitelist.txt", "a@example.org\n");
  EXPECT_EQ(quelta::LoadAddressList(rules, Dir(), "Whitelist.txt", true), 1);
  EXPECT_EQ(quelta::LoadAddressList(rules, Dir(), "Blacklist.txt", false), -1);
  EXPECT_EQ(rules.Count(), 1);  // the white list rule stays
  Write("Blacklist.txt", "");
  EXPECT_EQ(quelta::LoadAddressList(rules, Dir(), "Blacklist.txt", false), 0);
  Write("Blacklist.txt", "# only comments\r\n\r\n");
  EXPECT_EQ(quelta::LoadAddressList(rules, Dir(), "Blacklist.txt", false), 0);
  EXPECT_EQ(rules.Count(), 1);
}

// ---- Internal checks -----------------------------------------------------

void PutLe32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A minimal valid address book with the given addresses.
std::string MakeBook(const std::vector<std::string>& addresses) {
  const std::uint32_t k = static_cast<std::uint32_t>(addresses.size());
  std::string index, records;
  for (const std::string& a : addresses) {
    std::string data = "\x9D\xFF\xFF\xFF";
    PutLe32(data, static_cast<std::uint32_t>(a.size() + 1));
    data += a + '\0';
    PutLe32(index, 0);
    PutLe32(index, 1);
    PutLe32(index, static_cast<std::uint32_t>(records.size()));
    index += '\0';
    records += std::string(16, '\0');
    PutLe32(records, static_cast<std::uint32_t>(data.size()));
    records += std::string(8, '\0') + data;
  }
  std::string book;
  PutLe32(book, 0x19988991u);
  PutLe32(book, 24);
  PutLe32(book, 0);
  PutLe32(book, 0);
  PutLe32(book, k);
  PutLe32(book, k);
  return book + index + records;
}

std::string Message(const std::string& from, const std::string& replyTo = "",
                    const std::string& to = "") {
  std::string m;
  if (!from.empty()) m += "From: " + from + "\r\n";
  if (!replyTo.empty()) m += "Reply-To: " + replyTo + "\r\n";
  if (!to.empty()) m += "To: " + to + "\r\n";
  m += "Subject: test\r\n\r\nbody\r\n";
  return m;
}

Rule Rule(const std::string& field, const std::string& value, const std::string& flags = "IW") {
  Rule r;
  r.field = field;
  r.flags = flags;
  r.value = value;
  r.comment = "c";
  return r;
}

struct Outcome {
  bool handled;
  bool match;
  std::string text;
};

Outcome Check(const std::string& raw, const Rule& rule) {
  quelta::MessageEvaluator mgr(raw);
  Outcome o{};
  std::string upper;
  for (char c : rule.field) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  o.match = quelta::EvaluateListCheck(mgr, upper, rule, o.handled, o.text);
  return o;
}

TEST_F(ListFiles, OtherNamesAreNotHandled) {
  for (const char* name : {"BAYESSCORE", "DNSBL", "FROMADDR", "INAB"}) {
    const Outcome o = Check(Message("a@example.org"), Rule(name, ""));
    EXPECT_FALSE(o.handled) << name;
    EXPECT_FALSE(o.match);
    EXPECT_EQ(o.text, "");
  }
}

TEST_F(ListFiles, FromAddrInBook) {
  Write("TheBat.ABD", MakeBook({"Friend@Example.org", "other@example.net"}));
  Outcome o = Check(Message("Some One <friend@example.ORG>"), Rule("FromAddrInAB", ""));
  EXPECT_TRUE(o.handled);
  EXPECT_TRUE(o.match);
  EXPECT_EQ(o.text, "");
  o = Check(Message("riend@example.org"), Rule("FromAddrInAB", ""));
  EXPECT_FALSE(o.match);  // whole addresses only
  EXPECT_EQ(o.text, "");
}

TEST_F(ListFiles, NoSenderAddressReadsNoBook) {
  // The named book does not exist: reading it would report an error.
  const Outcome o = Check(Message(""), Rule("FROMADDRINAB", "missing.abd"));
  EXPECT_TRUE(o.handled);
  EXPECT_FALSE(o.match);
  EXPECT_EQ(o.text, "");
}

TEST_F(ListFiles, BookProblemsAreReported) {
  Write("bad.abd", "garbage!");
  Write("empty.abd", MakeBook({}));
  Outcome o = Check(Message("a@example.org"), Rule("FromAddrInAB", "bad.abd"));
  EXPECT_FALSE(o.match);
  EXPECT_EQ(o.text, "ERROR: Address book file \"bad.abd\" has a wrong format!\r\n");
  o = Check(Message("a@example.org"), Rule("FromAddrInAB", "empty.abd", "INC"));
  EXPECT_FALSE(o.match);
  EXPECT_EQ(o.text, "WARNING: Address book file \"empty.abd\" is empty!\r\n");
  // One recipient without address: TOADDR is "<>", no book is read.
  o = Check(Message("a@example.org", "", "undisclosed-recipients:;"), Rule("ToAddrInAB", "nope.abd"));
  EXPECT_EQ(o.text, "");
  // No recipients at all still reads the book.
  o = Check(Message("a@example.org"), Rule("ToAddrInAB", "nope.abd"));
  EXPECT_EQ(o.text, "ERROR: Address book file \"nope.abd\" not found!\r\n");
  o = Check(Message("a@example.org", "", "b@example.org"), Rule("ToAddrInAB", "nope.abd"));
  EXPECT_EQ(o.text, "ERROR: Address book file \"nope.abd\" not found!\r\n");
}

TEST_F(ListFiles, SharedReadsTestTheUnionOfBooks) {
  Write("one.abd", MakeBook({"one@example.org"}));
  Write("two.abd", MakeBook({"two@example.org"}));
  const std::string fromTwo = Message("two@example.org");
  // Before the second book was merged, the first rule knows only its own.
  EXPECT_FALSE(Check(fromTwo, Rule("FromAddrInAB", "one.abd")).match);
  EXPECT_TRUE(Check(fromTwo, Rule("FromAddrInAB", "two.abd")).match);
  EXPECT_TRUE(Check(fromTwo, Rule("FromAddrInAB", "one.abd")).match);
  EXPECT_TRUE(Check(Message("one@example.org"), Rule("FromAddrInAB", "two.abd")).match);
  // A private read ("C", any letter case) tests its own book only.
  EXPECT_FALSE(Check(fromTwo, Rule("FromAddrInAB", "one.abd", "IWC")).match);
  EXPECT_FALSE(Check(fromTwo, Rule("FromAddrInAB", "one.abd", "Ic")).match);
  EXPECT_TRUE(Check(fromTwo, Rule("FromAddrInAB", "two.abd", "IC")).match);
}

TEST_F(ListFiles, ReplyToAndSenderInBook) {
  Write("TheBat.ABD", MakeBook({"known@example.org"}));
  const std::string viaReply = Message("stranger@example.net", "known@example.org");
  EXPECT_FALSE(Check(viaReply, Rule("FromAddrInAB", "")).match);
  EXPECT_TRUE(Check(viaReply, Rule("ReplyToAddrInAB", "")).match);
  EXPECT_TRUE(Check(viaReply, Rule("SenderInAB", "")).match);
  EXPECT_TRUE(Check(Message("known@example.org"), Rule("SenderInAB", "")).match);
  EXPECT_FALSE(Check(Message("stranger@example.net"), Rule("SenderInAB", "")).match);
  EXPECT_TRUE(Check(Message("", "known@example.org"), Rule("SenderInAB", "")).match);
  // A missing book ends the sender check at once with the report.
  const Outcome o = Check(viaReply, Rule("SenderInAB", "none.abd"));
  EXPECT_FALSE(o.match);
  EXPECT_EQ(o.text, "ERROR: Address book file \"none.abd\" not found!\r\n");
}

TEST_F(ListFiles, RecipientInBook) {
  Write("TheBat.ABD", MakeBook({"me@example.org"}));
  EXPECT_TRUE(Check(Message("x@example.net", "", "a@example.net, Me <ME@example.org>"),
                    Rule("ToAddrInAB", ""))
                  .match);
  EXPECT_FALSE(
      Check(Message("x@example.net", "", "a@example.net, b@example.net"), Rule("ToAddrInAB", ""))
          .match);
}

std::string Today() {
  int y, m, d;
  quelta::DecodeDate(std::floor(quelta::os::LocalNow()), y, m, d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
  return buf;
}

TEST_F(ListFiles, AutoWhiteListChecks) {
  const std::string awl = Write("AutoWL.lst", "<pal@example.org>|" + Today() +
                                                  "\r\n<two@example.org> <mate@example.org>|" +
                                                  Today() + "\r\n");
  ASSERT_EQ(quelta::LoadAutoWhiteList(awl), 2);
  struct Case {
    const char* check;
    const char* from;
    const char* reply;
    bool match;
  };
  const Case cases[] = {
      {"FromAddrInAutoWL", "PAL@example.org", "", true},
      {"FromAddrInAutoWL", "mate@example.org", "", true},
      {"FromAddrInAutoWL", "al@example.org", "", false},
      {"FromAddrInAutoWL", "x@example.net", "pal@example.org", false},
      {"ReplyToAddrInAutoWL", "x@example.net", "pal@example.org", true},
      {"ReplyToAddrInAutoWL", "pal@example.org", "", false},
      {"SenderInAutoWL", "x@example.net", "pal@example.org", true},
      {"SenderInAutoWL", "pal@example.org", "x@example.net", true},
      {"SenderInAutoWL", "x@example.net", "y@example.net", false},
  };
  for (const Case& c : cases) {
    const Outcome o = Check(Message(c.from, c.reply), Rule(c.check, "ignored", "IW"));
    EXPECT_TRUE(o.handled);
    EXPECT_EQ(o.match, c.match) << c.check << " " << c.from << " " << c.reply;
    EXPECT_EQ(o.text, "");
  }
}

TEST_F(ListFiles, AutoWhiteListChecksWithoutAList) {
  quelta::Objects().AutoWL.reset();
  const Outcome o = Check(Message("a@example.org", "b@example.org"), Rule("SenderInAutoWL", ""));
  EXPECT_TRUE(o.handled);
  EXPECT_FALSE(o.match);
}

}  // namespace
