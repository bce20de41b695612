// Automatic learning end to end: verdicts of rules and of the Bayes rule
// train the word file next to the host's own training, with the word
// exception list read at start-up; the statistics and the macros follow.
#include "support/data_files.h"
#include "support/plugin_harness.h"

using harness::PluginFolder;
using harness::TextReceiver;
using testing_support::BayesHeader;
using testing_support::BayesWord;

namespace {

TEST(Learning, VerdictsTrainTheFilterAndTheFiguresFollow) {
  PluginFolder f;
  f.UseRulesDat("SUBJECT 0 SW \"hello\" [w]\r\nBayesScore 0 IP \"\" [b]\r\nSUBJECT 0 SH \"go\" [h]\r\n",
                "[Bayes]\r\nAddLower=0\r\nAddHigher=0\r\n[Main]\r\nMaxMsgSize=1\r\nMaxDataSize=2048\r\n");
  // S = 200, H = 300; of the words below only aaaa and bbbb are significant.
  const std::string sample = BayesWord("aaaa", 30, 0) + BayesWord("bbbb", 2, 30) + BayesWord("cccc", 1, 1);
  f.Write("Bayes.wdb", BayesHeader(200, 300) + sample + BayesWord("dddd", 4, 6));
  f.Write("Bayes.udb", "");
  f.Write("ExceptedWords.txt", "S:FREE\r\nBravo");  // the last line has no line end
  auto& p = f.Load();
  ASSERT_EQ(1, p.Initialize() & 0xFF);
  const std::string hello = "Subject: Hello\r\n\r\nalpha alpha bravo\r\n";
  // Marked spam after the Bayes rule: only the significant words are learned.
  EXPECT_EQ(100, f.Score("Subject: go\r\n\r\ndddd cccc bbbb aaaa eeee\r\n"));
  EXPECT_EQ(0, f.Feed(hello, 1));  // the host trains it as spam ...
  EXPECT_EQ(0, f.Score(hello));  // ... a rule marks it ham: moved over
  EXPECT_EQ(0, f.Score(hello));  // already ham: nothing changes
  // Any indicator but 1 trains as ham; training reads the first MaxMsgSize (1 MB) of a message.
  f.Feed("Subject: q\r\n\r\nxray" + std::string(1 << 20, ' ') + "yankee\r\n", 2);
  f.Feed(hello, 1);  // the host moves it back

  const std::pair<const char*, std::string> expected[] = {
      {"Quelta_BayesWords", "8"},        {"Quelta_BayesMails", "503"},      {"Quelta_BayesSpams", "202"},
      {"Quelta_BayesHams", "301"},       {"Quelta_BayesReclassified", "2"}, {"Quelta_BayesSpam2Ham", "1"},
      {"Quelta_BayesHam2Spam", "1"},     {"Quelta_BayesLearned", "1"},      {"Quelta_BayesLearnSpam", "1"},
      {"Quelta_BayesLearnHam", "0"},     {"Quelta_BayesChecked", "1"},      {"Quelta_MsgFiltered", "3"},
      {"Quelta_LoadedRules", "3"},       {"Quelta_PlugVersion", "1.0.0.1"},
      {"Quelta_PlugPath", (f.Dir() / "").string()},
  };
  for (const auto& e : expected) {
    TextReceiver r;
    EXPECT_EQ(0, p.ExecMacro(e.first, static_cast<std::int32_t>(std::strlen(e.first)), &r, nullptr));
    EXPECT_EQ(e.second, r.text) << e.first;
  }
  EXPECT_EQ(1, p.Finalize());
  EXPECT_EQ(BayesHeader(202, 301) + BayesWord("aaaa", 31, 0) + BayesWord("bbbb", 3, 30) + BayesWord("cccc", 1, 1) +
                BayesWord("dddd", 4, 6) + BayesWord("S:hello", 1, 0) + BayesWord("alpha", 2, 0) + BayesWord("xray", 0, 1),
            f.Read("Bayes.wdb"));
  EXPECT_EQ(3u * 13u, f.Read("Bayes.udb").size());
  const std::string ini = f.Read("Quelta.ini");
  for (const char* line : {"MessagesFiltered=3\r\n", "ClassAsSpam=1\r\n", "ClassAsHam=2\r\n", "BayesMessagesChecked=1\r\n",
                           "BayesReClassAsSpam=1\r\n", "BayesReClassAsHam=1\r\n", "BayesLearnAsSpam=1\r\n", "BayesLearnAsHam=0\r\n"})
    EXPECT_NE(std::string::npos, ini.find(line)) << line;
  EXPECT_NE(std::string::npos, f.Log().find("Quelta: Bayes databases saved successfully (W=8/S=202/H=301).\r\n"));
}

}  // namespace
