// The evaluation driver through the exports: match lines, chains, control
// flags in their order, the threshold, debug mode, the final line and the
// verdict, with the exact report text in the log.
#include "support/plugin_harness.h"

using harness::PluginFolder;
using harness::Report;

namespace {

const char* kMsg = "Subject: cheap pills now\r\nFrom: a@b.example\r\n\r\nbody\r\n";

struct DriverCase {
  const char* name;
  const char* rules;
  const char* ini;  // extra keys of the [Bayes] section
  int score;
  const char* report;
};

const DriverCase kCases[] = {
    {"single simple rule", "SUBJECT 10 S \"pills\" [pill spam]\r\n", "", 10,
     "Match: Simple rule \"SUBJECT\" (pill spam), score: 10.\r\n"
     "Final score is: 10 (10), 1 rules matched >>> HAM.\r\n"},
    {"negated absent term matches", "SUBJECT 7 SN \"lottery\" [no lottery]\r\n", "", 7,
     "Match: Simple rule \"SUBJECT\" (no lottery), score: 7.\r\n"
     "Final score is: 7 (7), 1 rules matched >>> HAM.\r\n"},
    {"and-chain with a failing middle rule", "&SUBJECT 1 S \"cheap\"\r\n&SUBJECT 2 S \"absent\"\r\nSUBJECT 3 S \"now\"\r\n",
     "", 0, "Final score is: 0 (0), 0 rules matched >>> HAM.\r\n"},
    {"or-chain scores with its last rule", "?SUBJECT 1 S \"cheap\" [a]\r\n?SUBJECT 2 S \"absent\" [b]\r\nSUBJECT 3 S \"absent2\" [c]\r\n",
     "", 3,
     "Match: Simple rule \"SUBJECT\" (c), score: 3.\r\n"
     "Final score is: 3 (3), 1 rules matched >>> HAM.\r\n"},
    {"F sets the total", "SUBJECT 20 S \"cheap\" [a]\r\nSUBJECT 5 SF \"pills\" [b]\r\n", "", 5,
     "Match: Simple rule \"SUBJECT\" (a), score: 20.\r\n"
     "Match: Simple rule \"SUBJECT\" (b), score: 5.\r\n"
     "Score is changed by last rule from 25 to 5.\r\n"
     "Final score is: 5 (5), 2 rules matched >>> HAM.\r\n"},
    {"W marks ham and stops", "SUBJECT 20 S \"cheap\" [a]\r\nSUBJECT 5 SW \"pills\" [w]\r\nSUBJECT 50 S \"now\" [never]\r\n",
     "Enabled=0\r\n", 0,
     "Match: Simple rule \"SUBJECT\" (a), score: 20.\r\n"
     "Match: Simple rule \"SUBJECT\" (w), score: 5.\r\n"
     "Message marked as HAM by last rule (score was 25).\r\n"
     "Final score is: 0 (0), 2 rules matched >>> HAM.\r\n"},
    {"H marks spam and stops", "SUBJECT 5 SH \"pills\" [h]\r\nSUBJECT -50 S \"now\" [never]\r\n",
     "Enabled=0\r\n", 100,
     "Match: Simple rule \"SUBJECT\" (h), score: 5.\r\n"
     "Message marked as SPAM by last rule (score was 5).\r\n"
     "Final score is: 100 (100), 1 rules matched >>> SPAM.\r\n"},
    {"A stops before F", "SUBJECT 30 SAF \"pills\" [a]\r\nSUBJECT 50 S \"now\" [never]\r\n", "", 30,
     "Match: Simple rule \"SUBJECT\" (a), score: 30.\r\n"
     "Processing aborted by last rule.\r\n"
     "Final score is: 30 (30), 1 rules matched >>> HAM.\r\n"},
    {"threshold reached downwards", "SUBJECT -200 S \"cheap\" [a]\r\nSUBJECT -100 S \"pills\" [b]\r\nSUBJECT 999 S \"now\" [never]\r\n",
     "Enabled=0\r\n", 0,
     "Match: Simple rule \"SUBJECT\" (a), score: -200.\r\n"
     "Match: Simple rule \"SUBJECT\" (b), score: -100.\r\n"
     "Message reached a score of 300, processing aborted.\r\n"
     "Final score is: 0 (-300), 2 rules matched >>> HAM.\r\n"},
    {"clamped to 100 and judged against JunkScore", "SUBJECT 150 S \"pills\" [a]\r\n",
     "Enabled=0\r\n", 100,
     "Match: Simple rule \"SUBJECT\" (a), score: 150.\r\n"
     "Final score is: 100 (150), 1 rules matched >>> SPAM.\r\n"},
    {"unknown kind letter never matches", "SUBJECT 10 X \"pills\" [x]\r\nSUBJECT 10 s \"pills\" [lower]\r\n", "", 0,
     "Final score is: 0 (0), 0 rules matched >>> HAM.\r\n"},
    {"invalid auto-learn control rule", "BayesAutoLearn 0 S \"maybe\"\r\nSUBJECT 1 S \"pills\" [a]\r\n", "", 1,
     "ERROR: Rule \"BayesAutoLearn\" is not valid!\r\n"
     "Match: Simple rule \"SUBJECT\" (a), score: 1.\r\n"
     "Final score is: 1 (1), 1 rules matched >>> HAM.\r\n"},
    {"auto-learn switched off, learning lines stay away", "BayesAutoLearn 0 S \"off\"\r\nSUBJECT 100 S \"pills\" [a]\r\n",
     "ExtendedLogging=1\r\n", 100,
     "Bayes auto-learning is disabled.\r\n"
     "Match: Simple rule \"SUBJECT\" (a), score: 100.\r\n"
     "Final score is: 100 (100), 1 rules matched >>> SPAM.\r\n"},
};

TEST(Driver, ReportLinesScoresAndFlags) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    PluginFolder f;
    f.UseRulesDat(c.rules, std::string("[Bayes]\r\nAddLower=0\r\nAddHigher=0\r\n") + c.ini);
    auto& p = f.Load();
    p.Initialize();
    EXPECT_EQ(c.score, f.Score(kMsg));
    p.Finalize();
    EXPECT_EQ(c.report, Report(f.Log()));
  }
}

TEST(Driver, HeaderBlockAndTimingLine) {
  PluginFolder f;
  f.UseRulesDat("");
  auto& p = f.Load();
  p.Initialize();
  f.Score("Subject: Hello\r\nFrom: Ann <ann@example.org>\r\nDate: Mon, 1 Jan 2007 10:00:00 +0100\r\n"
          "Message-Id: <1@x>\r\n\r\nbody\r\n");
  p.Finalize();
  const std::string log = f.Log();
  const auto at = log.find("\r\n=== BEGIN MESSAGE at ");
  ASSERT_NE(std::string::npos, at);
  const std::string block = log.substr(log.find(" ===\r\n", at) + 6);
  EXPECT_EQ(0u, block.find("Subject:\tHello\r\nSender:\tAnn <ann@example.org>\r\n"
                           "Date:\tMon, 1 Jan 2007 10:00:00 +0100\r\nMsg-Id:\t<1@x>\r\n"
                           "Bayes learned this mail as HAM.\r\n"  // a total below AddLowerValue
                           "Final score is: 0 (0), 0 rules matched >>> HAM.\r\n"
                           "Message processed in "));
}

TEST(Driver, DebugModeRunsEverythingAndCountsNothing) {
  PluginFolder f;
  f.UseRulesDat("SUBJECT 10 SA \"pills\" [a]\r\nSUBJECT 500 SH \"cheap\" [h]\r\nSUBJECT 1 S \"now\" [n]\r\n",
                "[Main]\r\nDebugMode=1\r\n[Bayes]\r\nAddHigher=0\r\nAddLower=0\r\n");
  auto& p = f.Load();
  p.Initialize();
  EXPECT_EQ(0, f.Score(kMsg));
  p.Finalize();
  const std::string log = f.Log();
  EXPECT_NE(std::string::npos, log.find("Quelta: Debug mode active!\r\n"));
  EXPECT_NE(std::string::npos,
            log.find("Match: Simple rule \"SUBJECT\" (a), score: 10.\r\n"
                     "Processing aborted by last rule.\r\n"
                     "Match: Simple rule \"SUBJECT\" (h), score: 500.\r\n"
                     "Message marked as SPAM by last rule (score was 510).\r\n"
                     "Bayes learned this mail as SPAM.\r\n"
                     "Match: Simple rule \"SUBJECT\" (n), score: 1.\r\n"
                     "Final score is: 100 (101), 3 rules matched >>> SPAM.\r\n"
                     "Quelta: Debug mode active! (Result is 0)\r\n"));
  EXPECT_NE(std::string::npos, f.Read("Quelta.ini").find("MessagesFiltered=0\r\n"));
  EXPECT_EQ(std::string::npos, f.Log().find("Bayes databases saved"));  // nothing was learned
}

TEST(Driver, EmptyMessageAndMissingCallbackDataScoreZero) {
  PluginFolder f;
  f.UseRulesDat("SUBJECT 10 SN \"x\" [empty subject]\r\n");
  auto& p = f.Load();
  p.Initialize();
  EXPECT_EQ(10, f.Score(""));
  p.Finalize();
}

}  // namespace
