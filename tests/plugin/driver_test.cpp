// One table of evaluation runs through the exports: chains, control flags,
// BreakAtScore, clamping, the host's threshold and debug mode, each with its
// exact header and report block in the log and its statistics.
#include "support/plugin_harness.h"

using harness::PluginFolder;

namespace {

const char* kMsg = "Subject: cheap pills now\r\nFrom: a@b.example\r\nDate: Mon, 1 Jan 2007 10:00:00 +0100\r\n"
                   "Message-Id: <1@x>\r\n\r\nbody\r\n";
const char* kHeaderBlock = "Subject:\tcheap pills now\r\nSender:\ta@b.example\r\nDate:\tMon, 1 Jan 2007 10:00:00 +0100\r\n"
                           "Msg-Id:\t<1@x>\r\n";

struct DriverCase {
  const char* name;
  const char* rules;
  const char* ini;  // keys of the [Main] section
  int score;
  const char* report;  // between the header block and the timing line
};

const DriverCase kCases[] = {
    {"negated absent term", "SUBJECT 7 SN \"lottery\" [no lottery]\r\n", "", 7,
     "Match: Simple rule \"SUBJECT\" (no lottery), score: 7.\r\nFinal score is: 7 (7), 1 rules matched >>> HAM.\r\n"},
    {"and-chain with a failing link", "&SUBJECT 1 S \"cheap\"\r\n&SUBJECT 2 S \"absent\"\r\nSUBJECT 3 S \"now\"\r\n", "", 0,
     "Final score is: 0 (0), 0 rules matched >>> HAM.\r\n"},
    {"and-chain scores with its last rule", "&SUBJECT 1 S \"cheap\"\r\n&SUBJECT 2 S \"pills\"\r\nSUBJECT 3 SN \"absent\" [c]\r\n", "", 3,
     "Match: Simple rule \"SUBJECT\" (c), score: 3.\r\nFinal score is: 3 (3), 1 rules matched >>> HAM.\r\n"},
    {"or-chain", "?SUBJECT 1 S \"cheap\" [a]\r\n?SUBJECT 2 S \"absent\" [b]\r\nSUBJECT 3 S \"absent2\" [c]\r\n", "", 3,
     "Match: Simple rule \"SUBJECT\" (c), score: 3.\r\nFinal score is: 3 (3), 1 rules matched >>> HAM.\r\n"},
    {"or-chain of failures", "?SUBJECT 1 S \"absent\"\r\nSUBJECT 3 S \"absent2\"\r\nSUBJECT 4 S \"now\" [n]\r\n", "", 4,
     "Match: Simple rule \"SUBJECT\" (n), score: 4.\r\nFinal score is: 4 (4), 1 rules matched >>> HAM.\r\n"},
    {"F sets the total", "SUBJECT 20 S \"cheap\" [a]\r\nSUBJECT 5 SF \"pills\" [b]\r\n", "", 5,
     "Match: Simple rule \"SUBJECT\" (a), score: 20.\r\nMatch: Simple rule \"SUBJECT\" (b), score: 5.\r\n"
     "Score is changed by last rule from 25 to 5.\r\nFinal score is: 5 (5), 2 rules matched >>> HAM.\r\n"},
    {"W marks ham and stops", "SUBJECT 20 S \"cheap\" [a]\r\nSUBJECT 5 SWH \"pills\" [w]\r\nSUBJECT 50 S \"now\" [never]\r\n", "", 0,
     "Match: Simple rule \"SUBJECT\" (a), score: 20.\r\nMatch: Simple rule \"SUBJECT\" (w), score: 5.\r\n"
     "Message marked as HAM by last rule (score was 25).\r\nFinal score is: 0 (0), 2 rules matched >>> HAM.\r\n"},
    {"H marks spam and stops", "SUBJECT 5 SH \"pills\" [h]\r\nSUBJECT -50 S \"now\" [never]\r\n", "", 100,
     "Match: Simple rule \"SUBJECT\" (h), score: 5.\r\nMessage marked as SPAM by last rule (score was 5).\r\n"
     "Final score is: 100 (100), 1 rules matched >>> SPAM.\r\n"},
    {"A stops before F", "SUBJECT 30 SAF \"pills\" [a]\r\nSUBJECT 50 S \"now\" [never]\r\n", "", 30,
     "Match: Simple rule \"SUBJECT\" (a), score: 30.\r\nProcessing aborted by last rule.\r\n"
     "Final score is: 30 (30), 1 rules matched >>> HAM.\r\n"},
    {"BreakAtScore downwards", "SUBJECT -200 S \"cheap\" [a]\r\nSUBJECT -100 S \"pills\" [b]\r\nSUBJECT 999 S \"now\" [n]\r\n", "", 0,
     "Match: Simple rule \"SUBJECT\" (a), score: -200.\r\nMatch: Simple rule \"SUBJECT\" (b), score: -100.\r\n"
     "Message reached a score of 300, processing aborted.\r\nFinal score is: 0 (-300), 2 rules matched >>> HAM.\r\n"},
    {"BreakAtScore 1 stops at exactly 1", "SUBJECT 0 S \"cheap\" [zero]\r\nSUBJECT 1 S \"pills\" [one]\r\nSUBJECT 5 S \"now\" [n]\r\n",
     "BreakAtScore=1\r\n", 1,
     "Match: Simple rule \"SUBJECT\" (zero), score: 0.\r\nMatch: Simple rule \"SUBJECT\" (one), score: 1.\r\n"
     "Message reached a score of 1, processing aborted.\r\nFinal score is: 1 (1), 2 rules matched >>> HAM.\r\n"},
    {"BreakAtScore 1 stops at exactly -1", "SUBJECT -1 S \"pills\" [m]\r\nSUBJECT 5 S \"now\" [n]\r\n", "BreakAtScore=1\r\n", 0,
     "Match: Simple rule \"SUBJECT\" (m), score: -1.\r\nMessage reached a score of 1, processing aborted.\r\n"
     "Final score is: 0 (-1), 1 rules matched >>> HAM.\r\n"},
    {"BreakAtScore 0 never stops", "SUBJECT 500 S \"pills\" [a]\r\nSUBJECT 500 S \"now\" [b]\r\n", "BreakAtScore=0\r\n", 100,
     "Match: Simple rule \"SUBJECT\" (a), score: 500.\r\nMatch: Simple rule \"SUBJECT\" (b), score: 500.\r\n"
     "Final score is: 100 (1000), 2 rules matched >>> SPAM.\r\n"},
    {"at the host's threshold is ham", "SUBJECT 99 S \"pills\" [a]\r\n", "", 99,
     "Match: Simple rule \"SUBJECT\" (a), score: 99.\r\nFinal score is: 99 (99), 1 rules matched >>> HAM.\r\n"},
    {"unknown kind letters never match", "SUBJECT 10 X \"pills\"\r\nSUBJECT 10 s \"pills\"\r\n", "", 0,
     "Final score is: 0 (0), 0 rules matched >>> HAM.\r\n"},
    {"a failing rule is not negated", "NoSuchCheck 10 IN \"\" [nf]\r\nSUBJECT 1 RN \"a(b\" [re]\r\nRawMsgSize 5 IN \">99999\" [small]\r\n",
     "", 5,
     "ERROR: Internal rule \"NoSuchCheck\" (nf) not found!\r\nERROR: RegExp rule SUBJECT [re] failed.\r\n"
     "Match: Intern rule \"RawMsgSize\" (small), score: 5.\r\nFinal score is: 5 (5), 1 rules matched >>> HAM.\r\n"},
    {"a check's report stands before its match", "DebugOut 50 IN \"From\" [dbg]\r\n", "", 50,
     "Debug output for header \"From\" (dbg):\r\nBEGIN>a@b.example<END.\r\n"
     "Match: Intern rule \"DebugOut\" (dbg), score: 50.\r\nFinal score is: 50 (50), 1 rules matched >>> HAM.\r\n"},
    {"debug mode runs everything", "SUBJECT 10 SA \"pills\" [a]\r\nSUBJECT 500 SH \"cheap\" [h]\r\nSUBJECT 1 SW \"now\" [n]\r\n",
     "DebugMode=1\r\n", 0,
     "Quelta: Debug mode active!\r\nMatch: Simple rule \"SUBJECT\" (a), score: 10.\r\nProcessing aborted by last rule.\r\n"
     "Match: Simple rule \"SUBJECT\" (h), score: 500.\r\nMessage marked as SPAM by last rule (score was 510).\r\n"
     "Match: Simple rule \"SUBJECT\" (n), score: 1.\r\nMessage marked as HAM by last rule (score was 101).\r\n"
     "Final score is: 0 (0), 3 rules matched >>> HAM.\r\nQuelta: Debug mode active! (Result is 0)\r\n"},
};

TEST(Driver, ReportScoreAndStatistics) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    PluginFolder f;
    f.UseRulesDat(c.rules, std::string("[Bayes]\r\nEnabled=0\r\n[Main]\r\n") + c.ini);
    auto& p = f.Load();
    p.Initialize();
    EXPECT_EQ(c.score, f.Score(kMsg));
    p.Finalize();
    const std::string log = f.Log();
    const auto begin = log.find(" ===\r\n", log.find("\r\n=== BEGIN MESSAGE at "));
    ASSERT_NE(std::string::npos, begin);
    const auto end = log.find("Message processed in ", begin);
    EXPECT_EQ(std::string(kHeaderBlock) + c.report, log.substr(begin + 6, end - begin - 6));
    const bool debug = std::string(c.ini) == "DebugMode=1\r\n";
    const std::string stats = std::string("MessagesFiltered=") + (debug ? "0" : "1") + "\r\nClassAsSpam=" +
                              (!debug && c.score > 99 ? "1" : "0") + "\r\nClassAsHam=" + (!debug && c.score <= 99 ? "1" : "0");
    EXPECT_NE(std::string::npos, f.Read("Quelta.ini").find(stats));
  }
}

}  // namespace
