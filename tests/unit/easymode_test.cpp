// Easy mode: the generated rule set for the switch combinations that matter,
// its order, the list files, the rule editor's table and the log lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "os/env.h"
#include "app/session.h"
#include "rules/easy_mode.h"
#include "rules/address_list_rules.h"
#include "rules/rule_store.h"

namespace fs = std::filesystem;
using quelta::Rule;
using quelta::RuleStore;

namespace {

struct Expected {
  std::string field;
  int score;
  std::string flags;
  std::string value;
  std::string comment;
};

class EasyMode : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("quelta_easy_" + std::to_string(rd()));
    fs::create_directories(dir_);
    savedConfig_ = quelta::Plugin().Config;
    savedSettings_ = quelta::Plugin().Settings;
    quelta::Locations& c = quelta::Plugin().Config;
    c.EasyPath = c.LogPath = c.RulesDat = Dir();
    AllOff();
  }
  void TearDown() override {
    quelta::Plugin().Config = savedConfig_;
    quelta::Plugin().Settings = savedSettings_;
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  static void AllOff() {
    quelta::PluginSettings& s = quelta::Plugin().Settings;
    s.EasyAutoWL = s.EasyAddrBooks = s.EasyRules = s.EasyIntern = s.EasyBayes = false;
    s.BayesIsScoreCheck = s.EasyDNSBL = s.EasyURLBL = false;
    s.BayesIsScoreValue = 99;
  }
  std::string Dir() const { return dir_.string() + quelta::os::kPathSep; }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  std::string Log() const {
    std::ifstream in(dir_ / "Filter.log", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // Generates into a store that already holds one white and one black list
  // rule, checks the result and the generated rules after them.
  void ExpectGenerated(const std::vector<Expected>& expect) {
    RuleStore rules;
    Write("Whitelist.txt", "friend@example.org\r\n");
    Write("Blacklist.txt", "*@spam.example\r\n");
    ASSERT_EQ(quelta::LoadAddressList(rules, Dir(), "Whitelist.txt", true), 1);
    ASSERT_EQ(quelta::LoadAddressList(rules, Dir(), "Blacklist.txt", false), 1);
    const int n = quelta::GenerateEasyRules(rules);
    EXPECT_EQ(n, rules.Count());
    ASSERT_EQ(rules.Count(), 2 + static_cast<int>(expect.size()));
    EXPECT_EQ(rules.GetRule(0).comment, "WHITELIST: Whitelisted mail address from \"Whitelist.txt\"");
    EXPECT_EQ(rules.GetRule(1).comment, "BLACKLIST: Blacklisted mail address from \"Blacklist.txt\"");
    for (std::size_t i = 0; i < expect.size(); ++i) {
      const Rule r = rules.GetRule(static_cast<int>(i) + 2);
      const Expected& e = expect[i];
      EXPECT_EQ(r.link, "") << i;
      EXPECT_EQ(r.field, e.field) << i;
      EXPECT_EQ(r.score, e.score) << i;
      EXPECT_EQ(r.flags, e.flags) << i;
      EXPECT_EQ(r.value, e.value) << i;
      EXPECT_EQ(r.comment, e.comment) << i;
    }
  }

  fs::path dir_;
  quelta::Locations savedConfig_;
  quelta::PluginSettings savedSettings_;
};

const Expected kAutoWL{"SenderInAutoWL", 0, "IW", "", "EASYMODE_SENDER_IN_AUTOWL"};
const Expected kBayes{"BayesScore", 0, "IP", "", "EASYMODE_BAYES_FILTER"};

TEST_F(EasyMode, EverythingOff) { ExpectGenerated({}); }

TEST_F(EasyMode, OnlyBayes) {
  quelta::Plugin().Settings.EasyBayes = true;
  ExpectGenerated({kBayes});
  EXPECT_EQ(Log(), "");
}

TEST_F(EasyMode, OnlyAutoWL) {
  quelta::Plugin().Settings.EasyAutoWL = true;
  ExpectGenerated({kAutoWL});
}

TEST_F(EasyMode, ScoreThreshold) {
  quelta::PluginSettings& s = quelta::Plugin().Settings;
  s.BayesIsScoreCheck = true;
  s.BayesIsScoreValue = 80;
  ExpectGenerated({{"IsScore", 0, "IA", ">80", "EASYMODE_AFTERBAYES_SCORE"}});
  s.BayesIsScoreValue = -5;
  ExpectGenerated({{"IsScore", 0, "IA", ">-5", "EASYMODE_AFTERBAYES_SCORE"}});
}

TEST_F(EasyMode, BlockListFiles) {
  quelta::PluginSettings& s = quelta::Plugin().Settings;
  s.EasyDNSBL = true;
  Write("EasyDNSBL.dat", "# relay block lists\r\n\r\n  bl.example  \r\nzen.example\r\n#off.example\r\n");
  ExpectGenerated({{"DNSBL", 100, "IH", "bl.example", "EASYMODE_DNSBL: bl.example"},
                   {"DNSBL", 100, "IH", "zen.example", "EASYMODE_DNSBL: zen.example"}});
  s.EasyURLBL = true;
  Write("EasyURLBL.dat", "uri.example 500\n");
  ExpectGenerated({{"DNSBL", 100, "IH", "bl.example", "EASYMODE_DNSBL: bl.example"},
                   {"DNSBL", 100, "IH", "zen.example", "EASYMODE_DNSBL: zen.example"},
                   {"URLBL", 100, "IH", "uri.example 500", "EASYMODE_URLBL: uri.example 500"}});
  // A switch without its file adds nothing and logs nothing.
  fs::remove(dir_ / "EasyDNSBL.dat");
  ExpectGenerated({{"URLBL", 100, "IH", "uri.example 500", "EASYMODE_URLBL: uri.example 500"}});
  s.EasyURLBL = false;
  ExpectGenerated({});
  EXPECT_EQ(Log(), "");
}

TEST_F(EasyMode, AddressBookList) {
  quelta::Plugin().Settings.EasyAddrBooks = true;
  Write("EasyAddrBooks.dat",
        "C:\\Mail\\Books\\Friends.ABD\r\n# C:\\old.abd\r\nD:Work.abd\r\nTheBat.ABD\r\n");
  ExpectGenerated(
      {{"FromAddrInAB", 0, "IW", "C:\\Mail\\Books\\Friends.ABD",
        "EASYMODE_FROMADDR_IN_ADDRBOOK: Friends.ABD"},
       {"FromAddrInAB", 0, "IW", "D:Work.abd", "EASYMODE_FROMADDR_IN_ADDRBOOK: Work.abd"},
       {"FromAddrInAB", 0, "IW", "TheBat.ABD", "EASYMODE_FROMADDR_IN_ADDRBOOK: TheBat.ABD"}});
}

TEST_F(EasyMode, RuleFile) {
  quelta::Plugin().Settings.EasyRules = true;
  Write("EasyRules.dat", "# mine\r\nSubject 10 S \"offer\" [a]\r\nSetSpamScore 150\r\nSubject 10 S \"sale\" [b]\r\n");
  ExpectGenerated({{"Subject", 10, "S", "offer", "a"}, {"Subject", 15, "S", "sale", "b"}});
  EXPECT_EQ(Log(), "");
}

TEST_F(EasyMode, MissingRuleFileIsLogged) {
  quelta::Plugin().Settings.EasyRules = true;
  quelta::Plugin().Settings.EasyBayes = true;
  ExpectGenerated({kBayes});
  EXPECT_EQ(Log(), "ERROR: Loading \"EasyRules.dat\" failed.\r\n");
}

TEST_F(EasyMode, BrokenRuleFileKeepsEarlierRules) {
  quelta::Plugin().Settings.EasyRules = true;
  quelta::Plugin().Settings.EasyBayes = true;
  Write("EasyRules.dat", "Subject 5 S \"x\"\r\nnot a rule\r\nSubject 6 S \"y\"\r\n");
  ExpectGenerated({{"Subject", 5, "S", "x", ""}, kBayes});
  EXPECT_NE(Log().find("ERROR: Loading \"EasyRules.dat\" failed.\r\n"), std::string::npos);
}

TEST_F(EasyMode, TableRows) {
  struct Row {
    const char* row;
    const char* line;
  };
  const Row rows[] = {
      {"SUBJECT\x01S\x01offer\x01" "32767\x01test", "SUBJECT 100 SH \"offer\" [EASYMODE_RULE: test]"},
      {"FROM\x01RN\x01^a.*\x01-32768\x01ham", "FROM 0 RNW \"^a.*\" [EASYMODE_RULE: ham]"},
      {"TEXT\x01SB\x01hi there\x01" "15\x01plain", "TEXT 15 SB \"hi there\" [EASYMODE_RULE: plain]"},
      {"TEXT\x01SE\x01x", "TEXT  SE \"x\" [EASYMODE_RULE: ]"},
      {"", "   \"\" [EASYMODE_RULE: ]"},
      {"A\x01S\x01v\x01" "1\x01" "c\x01" "extra", "A 1 S \"v\" [EASYMODE_RULE: c]"},
  };
  for (const Row& r : rows) EXPECT_EQ(quelta::EasyTableRowToLine(r.row), r.line) << r.row;
}

TEST_F(EasyMode, TableFile) {
  quelta::Plugin().Settings.EasyIntern = true;
  Write("EasyMode.rdb",
        "SUBJECT\x01S\x01offer\x01" "32767\x01test\r\n"
        "FROM\x01RN\x01^a.*\x01-32768\x01ham\r\n"
        "\r\n"
        "TEXT\x01SEN\x01" "bye\x01" "15\x01plain\r\n"
        "RAWBODY\x01S\x01zz\x01many\x01not a number\r\n");
  ExpectGenerated({{"SUBJECT", 100, "SH", "offer", "EASYMODE_RULE: test"},
                   {"FROM", 0, "RNW", "^a.*", "EASYMODE_RULE: ham"},
                   {"TEXT", 15, "SEN", "bye", "EASYMODE_RULE: plain"},
                   {"RAWBODY", 0, "S", "zz", "EASYMODE_RULE: not a number"}});
  EXPECT_EQ(Log(), "Quelta: EasyMode internal rules loaded successfully (R=4).\r\n");
}

TEST_F(EasyMode, MissingTableLogsNothing) {
  quelta::Plugin().Settings.EasyIntern = true;
  ExpectGenerated({});
  EXPECT_EQ(Log(), "");
  RuleStore empty;
  EXPECT_EQ(quelta::LoadEasyModeTable(empty), 0);
}

TEST_F(EasyMode, EverythingOnInOrder) {
  quelta::PluginSettings& s = quelta::Plugin().Settings;
  s.EasyAutoWL = s.EasyAddrBooks = s.EasyRules = s.EasyIntern = s.EasyBayes = true;
  s.BayesIsScoreCheck = s.EasyDNSBL = s.EasyURLBL = true;
  s.BayesIsScoreValue = 90;
  Write("EasyAddrBooks.dat", "Friends.abd\n");
  Write("EasyRules.dat", "Subject 10 S \"offer\" [file]\n");
  Write("EasyMode.rdb", "SUBJECT\x01S\x01sale\x01" "20\x01table\n");
  Write("EasyDNSBL.dat", "bl.example\n");
  Write("EasyURLBL.dat", "uri.example\n");
  ExpectGenerated({kAutoWL,
                   {"FromAddrInAB", 0, "IW", "Friends.abd", "EASYMODE_FROMADDR_IN_ADDRBOOK: Friends.abd"},
                   {"Subject", 10, "S", "offer", "file"},
                   {"SUBJECT", 20, "S", "sale", "EASYMODE_RULE: table"},
                   kBayes,
                   {"IsScore", 0, "IA", ">90", "EASYMODE_AFTERBAYES_SCORE"},
                   {"DNSBL", 100, "IH", "bl.example", "EASYMODE_DNSBL: bl.example"},
                   {"URLBL", 100, "IH", "uri.example", "EASYMODE_URLBL: uri.example"}});
  EXPECT_EQ(Log(), "Quelta: EasyMode internal rules loaded successfully (R=1).\r\n");
}

// The default profile shipped beside the plug-in must generate cleanly.
TEST_F(EasyMode, ShippedProfileLoads) {
  const fs::path data = fs::path(QUELTA_TEST_DATA).parent_path().parent_path() / "data";
  if (!fs::exists(data / "EasyRules.dat")) GTEST_SKIP() << "no default profile";
  for (const char* f : {"EasyRules.dat", "EasyDNSBL.dat", "EasyURLBL.dat", "Whitelist.txt",
                        "Blacklist.txt"})
    fs::copy_file(data / f, dir_ / f, fs::copy_options::overwrite_existing);
  quelta::PluginSettings& s = quelta::Plugin().Settings;
  s.EasyRules = s.EasyDNSBL = s.EasyURLBL = true;
  RuleStore rules;
  EXPECT_EQ(quelta::LoadAddressList(rules, Dir(), "Whitelist.txt", true), 0);
  EXPECT_EQ(quelta::LoadAddressList(rules, Dir(), "Blacklist.txt", false), 0);
  EXPECT_GT(quelta::GenerateEasyRules(rules), 0);
  EXPECT_EQ(Log(), "");
  for (int i = 0; i < rules.Count(); ++i) {
    const Rule r = rules.GetRule(i);
    EXPECT_FALSE(r.field.empty());
    EXPECT_FALSE(r.comment.empty()) << r.field;
  }
}

}  // namespace
