// Easy mode: the generated rule set for the switch combinations that matter,
// its order, the list files, the rule editor's table and the log lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/address_list_rules.h"
#include "rules/easy_mode.h"
#include "rules/rule_store.h"
#include "support/scratch_dir.h"
#include "support/string_log.h"

namespace quelta {
namespace {

// A rule as "field|score|flags|value|comment" (a link would come first).
std::string Show(const Rule& r) {
  return r.link + r.field + "|" + std::to_string(r.score) + "|" + r.flags + "|" + r.value + "|" +
         r.comment;
}

class EasyMode : public ::testing::Test {
 protected:
  EasyMode() {
    o_.folder = dir_.Folder();
    o_.autoWhiteList = o_.addressBooks = o_.ruleFile = o_.ruleTable = o_.bayes = false;
    o_.bayesIsScoreCheck = o_.dnsbl = o_.urlbl = false;
  }
  // Generates into a store holding one rule already; the generated rules.
  std::vector<std::string> Generate() {
    RuleStore rules;
    rules.AddLine("FromAddr 0 SW \"<a@b.c>\" [list]", 100);
    log_.entries.clear();
    const int count = GenerateEasyRules(rules, o_, {dir_.Folder(), dir_.Folder()}, log_);
    EXPECT_EQ(count, rules.Count());
    std::vector<std::string> shown;
    for (int i = 1; i < rules.Count(); ++i) shown.push_back(Show(rules.At(i)));
    return shown;
  }

  testing_support::ScratchDir dir_;
  testing_support::StringLog log_;
  EasyModeOptions o_;
};

using Lines = std::vector<std::string>;
const char kAutoWL[] = "SenderInAutoWL|0|IW||EASYMODE_SENDER_IN_AUTOWL";
const char kBayes[] = "BayesScore|0|IP||EASYMODE_BAYES_FILTER";

TEST_F(EasyMode, EverythingOnInOrder) {
  dir_.Write("EasyAddrBooks.dat",
             "C:\\Mail\\Books\\Friends.ABD\r\n# C:\\old.abd\r\nD:Work.abd\r\n  TheBat.ABD  \r\n");
  dir_.Write("EasyRules.dat", "Subject 10 S \"offer\" [file]\r\nSetSpamScore 150\r\nSubject 10 S \"sale\"\r\n");
  dir_.Write("EasyMode.rdb", "SUBJECT\x01S\x01sale\x01" "20\x01table\n");
  dir_.Write("EasyDNSBL.dat", "# relay block lists\r\n\r\n  bl.example  \r\nzen.example\r\n#off.example\r\n");
  dir_.Write("EasyURLBL.dat", "uri.example 500");
  EXPECT_EQ(Generate(), Lines{});  // every switch off
  o_.autoWhiteList = o_.addressBooks = o_.ruleFile = o_.ruleTable = o_.bayes = true;
  o_.bayesIsScoreCheck = o_.dnsbl = o_.urlbl = true;
  o_.bayesIsScoreValue = 90;
  EXPECT_EQ(Generate(),
            (Lines{kAutoWL,
                   "FromAddrInAB|0|IW|C:\\Mail\\Books\\Friends.ABD|EASYMODE_FROMADDR_IN_ADDRBOOK: Friends.ABD",
                   "FromAddrInAB|0|IW|D:Work.abd|EASYMODE_FROMADDR_IN_ADDRBOOK: Work.abd",
                   "FromAddrInAB|0|IW|TheBat.ABD|EASYMODE_FROMADDR_IN_ADDRBOOK: TheBat.ABD",
                   "Subject|10|S|offer|file",
                   "Subject|15|S|sale|",
                   "SUBJECT|20|S|sale|EASYMODE_RULE: table",
                   kBayes,
                   "IsScore|0|IA|>90|EASYMODE_AFTERBAYES_SCORE",
                   "DNSBL|100|IH|bl.example|EASYMODE_DNSBL: bl.example",
                   "DNSBL|100|IH|zen.example|EASYMODE_DNSBL: zen.example",
                   "URLBL|100|IH|uri.example 500|EASYMODE_URLBL: uri.example 500"}));
  EXPECT_EQ(log_.Text(), "Quelta: EasyMode internal rules loaded successfully (R=1).\r\n");
}

TEST_F(EasyMode, MissingFilesAndBrokenRules) {
  o_.addressBooks = o_.ruleTable = o_.dnsbl = o_.urlbl = o_.bayes = true;
  EXPECT_EQ(Generate(), Lines{kBayes});  // missing list files and table: nothing, silently
  EXPECT_EQ(log_.Text(), "");
  o_.ruleFile = true;
  EXPECT_EQ(Generate(), Lines{kBayes});
  EXPECT_EQ(log_.Text(), "ERROR: Loading \"EasyRules.dat\" failed.\r\n");
  dir_.Write("EasyRules.dat", "Subject 5 S \"x\"\r\nnot a rule\r\nSubject 6 S \"y\"\r\n");
  EXPECT_EQ(Generate(), (Lines{"Subject|5|S|x|", kBayes}));
  EXPECT_EQ(log_.Text(), "ERROR: Rule file \"" + dir_.File("EasyRules.dat") +
                             "\", Line: not a rule\r\nERROR: Loading \"EasyRules.dat\" failed.\r\n");
}

TEST_F(EasyMode, TableRowsBecomeRules) {
  o_.ruleTable = true;
  EXPECT_EQ(Generate(), Lines{});  // no table: nothing added, nothing logged
  EXPECT_EQ(log_.Text(), "");
  dir_.Write("EasyMode.rdb",
             "SUBJECT\x01S\x01offer\x01" "32767\x01test\r\n"
             "FROM\x01RN\x01^a.*\x01-32768\x01ham\n"
             "\r\n"  // an empty row makes no valid line and is skipped
             "TEXT\x01SB\x01hi there\x01" "15\x01plain\r\n"
             "TEXT\x01SE\x01x\r\n"  // no score: the flags become the score, no value part
             "A\x01S\x01v\x01" "1\x01" "c\x01" "extra\r\n"
             "B\x01SN\x01w\x01" "32767 \x01[x]\r\n"
             "RAWBODY\x01S\x01zz\x01many\x01not a number");
  EXPECT_EQ(Generate(), (Lines{"SUBJECT|100|SH|offer|EASYMODE_RULE: test",
                               "FROM|0|RNW|^a.*|EASYMODE_RULE: ham",
                               "TEXT|15|SB|hi there|EASYMODE_RULE: plain",
                               "A|1|S|v|EASYMODE_RULE: c",
                               "B|32767|SN|w\" [EASYMODE_RULE:|x]",
                               "RAWBODY|0|S|zz|EASYMODE_RULE: not a number"}));
  EXPECT_EQ(log_.Text(), "Quelta: EasyMode internal rules loaded successfully (R=6).\r\n");
}

// The profile shipped beside the plug-in loads cleanly: its rule files,
// its easy-mode lists and its (empty) white and black lists.
TEST(ShippedProfile, LoadsWithoutAnError) {
  const std::string data = std::string(QUELTA_SOURCE_DIR) + "/data/";
  testing_support::StringLog log;
  RuleStore rules;
  EXPECT_EQ(LoadAddressList(rules, data, "Whitelist.txt", true), 0);
  EXPECT_EQ(LoadAddressList(rules, data, "Blacklist.txt", false), 0);
  EXPECT_TRUE(rules.LoadFromFile("Rules.dat", {data, data}, log));
  EasyModeOptions easy;
  easy.folder = data;
  const int before = rules.Count();
  EXPECT_GT(GenerateEasyRules(rules, easy, {data, data}, log), before);
  EXPECT_EQ(log.Text(), "");
  for (int i = 0; i < rules.Count(); ++i)
    EXPECT_NE(std::string("IRS").find(rules.At(i).flags.substr(0, 1)), std::string::npos) << Show(rules.At(i));
}

}  // namespace
}  // namespace quelta
