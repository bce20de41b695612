// The start-up and shutdown blocks of the log, line by line in their order,
// and the start-up result, for a bare plug-in folder and for one with every
// data file present.
#include "support/data_files.h"
#include "support/plugin_harness.h"

using harness::Normalised;
using harness::PluginFolder;
using testing_support::BayesHeader;
using testing_support::BayesWord;

namespace {

using Lines = std::vector<std::string>;
struct StartupCase { const char* name; void (*prepare)(PluginFolder&); int result; Lines lines; };

// The lines every start-up without Bayes files begins with, and the lines
// that end every run.
const Lines kNoBayes = {"Quelta v1.0.0.1", "WARNING: Bayes databases not found!",
                        "WARNING: Bayes database not trained (S=0, H=0)!",
                        "Quelta: Bayes word exception list not found.", "Quelta: Automated whitelist not found."};
const Lines kEnd = {"Quelta: Started at <T>.", "", "Quelta: Bayes databases not saved.", "Quelta: Shutdown at <T>.", ""};

const StartupCase kCases[] = {
    {"a bare folder with a rule file",
     [](PluginFolder& f) { f.UseRulesDat("SUBJECT 10 S \"x\" [x]\r\nFROM 5 S \"y\"\r\n"); },
     1,
     {"ERROR: Whitelist not found!", "ERROR: Blacklist not found!", "Quelta: Rulesets loaded successfully (R=2).",
      "ERROR: Subdomain list not found!"}},
    {"no rule file",
     [](PluginFolder& f) {
       f.Write("Quelta.ini", "[EasyMode]\r\nEnabled=0\r\n");
       f.Write("SubDomains.lst", "co.uk\r\n");
       f.Write("Whitelist.txt", "# nobody yet\r\n");
     },
     0,
     {"Quelta: Whitelist loaded successfully (R=0).", "ERROR: Blacklist not found!", "ERROR: Loading of rulesets failed!"}},
    {"easy mode with every part off: no rule file is read",
     [](PluginFolder& f) {
       f.Write("Rules.dat", "not a rule\r\n");
       f.Write("Quelta.ini", "[EasyMode]\r\nAutoWL=0\r\nAddrBooks=0\r\nRules=0\r\nBayes=0\r\nDNSBL=0\r\nURLBL=0\r\n");
     },
     1,
     {"ERROR: Whitelist not found!", "ERROR: Blacklist not found!", "Quelta: EasyMode rules loaded successfully (R=0).",
      "ERROR: Subdomain list not found!"}},
    {"every file present",
     [](PluginFolder& f) {
       f.UseRulesDat("SUBJECT 10 S \"x\"\r\n");
       f.Write("SubDomains.lst", "co.uk\r\n");
       f.Write("Bayes.wdb", BayesHeader(3000000000u, 49) + BayesWord("alpha", 1, 1));
       f.Write("Bayes.udb", std::string(13, '\x01'));
       f.Write("ExceptedWords.txt", "S:free\r\nalpha\r\n\r\nbravo");  // the last line has no line end
       f.Write("AutoWL.lst", "<a@b.example>|20000101\r\n");         // expired long ago
       f.Write("Whitelist.txt", "a@b.example\r\n# c\r\nc@d.example\r\n");
       f.Write("Blacklist.txt", "");
       f.Write("Logs/Filter.log", std::string(251 * 1024, 'x'));  // above MaxLogSize: rotated
       f.Write("Logs/Filter_991399_0000.log", "");              // not a date: pruning fails
     },
     1,
     {"Quelta v1.0.0.1", "ERROR: Deleting of old logfiles failed!",
      "Quelta: Bayes databases loaded successfully (W=2/S=3000000000/H=49).",
      "WARNING: Bayes database not trained (S=3000000000, H=49)!",
      "Quelta: Bayes word exception list loaded successfully (R=4).",
      "Quelta: Automated whitelist loaded successfully (R=0).", "Quelta: Whitelist loaded successfully (R=2).",
      "Quelta: Blacklist loaded successfully (R=0).", "Quelta: Rulesets loaded successfully (R=3)."}},
};

TEST(Startup, LogBlocksInOrder) {
  for (const StartupCase& c : kCases) {
    SCOPED_TRACE(c.name);
    PluginFolder f;
    c.prepare(f);
    auto& p = f.Load();
    EXPECT_EQ(c.result, p.Initialize() & 0xFF);
    EXPECT_EQ(1, p.Finalize());
    Lines want = c.lines;  // every case but the one with Bayes files starts like a bare folder
    if (want[0] != "Quelta v1.0.0.1") want.insert(want.begin(), kNoBayes.begin(), kNoBayes.end());
    want.insert(want.end(), kEnd.begin(), kEnd.end());
    EXPECT_EQ(want, Normalised(f.Log()));
  }
}

// What start-up reads reaches the evaluation: the easy-mode folder from
// "Quelta.cfg", the two-level domains, the host's threshold, and the
// auto-white-list re-read while scoring when its size changed.
TEST(Startup, WhatStartUpReadsReachesScoring) {
  PluginFolder f;
  f.Write("Quelta.cfg", "[Locations]\r\nEasyPath=%QUELTADIR%easy\r\n");
  f.Write("Quelta.ini", "[EasyMode]\r\nAutoWL=1\r\nAddrBooks=0\r\nRules=1\r\nBayes=0\r\nDNSBL=0\r\nURLBL=0\r\n"
                        "[Bayes]\r\nEnabled=0\r\n");
  f.Write("easy/EasyRules.dat", "URLDOMAINLIST 5 S \"example.co.uk\" [two-level]\r\n");
  f.Write("SubDomains.lst", "co.uk\r\n");
  harness::WriteBytes(f.HostDir() / "TBPlugin.INI", "[AntiSpam]\r\nJunkScore=4\r\n");
  f.Write("AutoWL.lst", "<old@example.org>|?\r\n");  // no date: seen today, rewritten with the date
  auto& p = f.Load();
  ASSERT_EQ(1, p.Initialize() & 0xFF);
  const std::string today = f.Read("AutoWL.lst").substr(18, 8);
  const std::string msg = "From: <pal@example.org>\r\n\r\nsee http://www.shop.example.co.uk/x\r\n";
  EXPECT_EQ(5, f.Score(msg));
  EXPECT_EQ("Match: Simple rule \"URLDOMAINLIST\" (two-level), score: 5.\r\n"
            "Final score is: 5 (5), 1 rules matched >>> SPAM.\r\n", harness::Report(f.Log()));
  f.Write("AutoWL.lst", "<pal@example.org><x@example.org>|" + today + "\r\n");
  EXPECT_EQ(0, f.Score(msg));
  f.Write("AutoWL.lst", "<abc@example.org><x@example.org>|" + today + "\r\n");  // the same size: not re-read
  EXPECT_EQ(0, f.Score(msg));
  p.Finalize();
  const std::string log = f.Log();
  EXPECT_NE(std::string::npos, log.find("Quelta: 1 lines reloaded from \"AutoWL.lst\".\r\n\r\n=== BEGIN MESSAGE at "));
  EXPECT_EQ(log.find(" lines reloaded"), log.rfind(" lines reloaded"));
}

}  // namespace
