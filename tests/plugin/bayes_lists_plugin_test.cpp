// The Bayes filter and the known-sender lists seen from outside: the word
// and undo files byte by byte after training and re-training, the start-up
// and shutdown lines of the filter, the statistics it counts, the Bayes
// score rule and its report, the white/black list rules, the auto-white-list
// file and its refresh while scoring, and the rules easy mode generates.
#include <cmath>
#include <ctime>
#include <regex>

#include "support/plugin_harness.h"

using harness::Join;
using harness::Lines;
using harness::Normalised;
using harness::PluginFolder;
using harness::Report;

namespace {

std::uint32_t Crc(const std::string& s) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : s) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

std::string LE32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::uint32_t GetLE32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
  return v;
}

std::string Rec(std::uint32_t hash, std::uint32_t spam, std::uint32_t ham) {
  return LE32(hash) + LE32(spam) + LE32(ham);
}
std::string Word(const std::string& w, std::uint32_t spam, std::uint32_t ham) {
  return Rec(Crc(w), spam, ham);
}
std::string Header(std::uint32_t spam, std::uint32_t ham) { return Rec(0x804F, spam, ham); }

// Days since 1899-12-30 of the present moment (local time, a day's slack
// covers any zone).
double NowDays() { return static_cast<double>(std::time(nullptr)) / 86400.0 + 25569.0; }

double TrainedAt(const std::string& udb, std::size_t record) {
  double d = 0;
  std::memcpy(&d, udb.data() + record * 13 + 5, 8);
  return d;
}

// A date some days back, as eight digits of the local calendar.
std::string DaysAgo(int days) {
  std::time_t t = std::time(nullptr) - static_cast<std::time_t>(days) * 86400;
  std::tm tm{};
#if defined(_WIN32)
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y%m%d", &tm);
  return buf;
}

// The lines of the log that start with one of the given beginnings, in order.
std::string Pick(const std::string& log, const std::vector<std::string>& starts) {
  std::vector<std::string> got;
  for (const auto& l : Normalised(log))
    for (const auto& s : starts)
      if (l.rfind(s, 0) == 0) {
        got.push_back(l);
        break;
      }
  return Join(got);
}

const char* kNoLearning = "[Bayes]\r\nAddLower=0\r\nAddHigher=0\r\nAddMarkHam=0\r\nAddMarkSpam=0\r\n";

// Subject word "S:hello", body words alpha (twice) and bravo.
const std::string kMsgA = "Subject: Hello\r\n\r\nalpha alpha bravo\r\n";
// Body words alpha and charlie.
const std::string kMsgB = "Subject: x\r\n\r\nalpha charlie\r\n";

std::string IniValue(const std::string& ini, const std::string& key) {
  const auto at = ini.find("\r\n" + key + "=");
  if (at == std::string::npos) return "<none>";
  const auto b = at + 3 + key.size();
  return ini.substr(b, ini.find("\r\n", b) - b);
}

// ---- word and undo files --------------------------------------------------

TEST(BayesFiles, TrainingWritesHeaderWordAndUndoRecords) {
  PluginFolder f;
  f.UseRulesDat("");
  auto& p = f.Load();
  p.Initialize();
  f.Feed(kMsgA, 1);
  p.Finalize();

  EXPECT_EQ(Header(1, 0) + Word("S:hello", 1, 0) + Word("alpha", 2, 0) + Word("bravo", 1, 0),
            f.Read("Bayes.wdb"));
  const std::string udb = f.Read("Bayes.udb");
  ASSERT_EQ(13u, udb.size());
  EXPECT_EQ(LE32(Crc("Subject: Hello\r\n")) + std::string(1, '\x01'), udb.substr(0, 5));
  EXPECT_NEAR(NowDays(), TrainedAt(udb, 0), 1.0);

  const std::string log = f.Log();
  EXPECT_NE(std::string::npos, log.find("WARNING: Bayes databases not found!\r\n"
                                        "WARNING: Bayes database not trained (S=0, H=0)!\r\n"));
  EXPECT_NE(std::string::npos,
            log.find("\r\n\r\nQuelta: Bayes databases saved successfully (W=4/S=1/H=0).\r\nQuelta: Shutdown at "));

  // A training call of the host is not automatic learning.
  const std::string ini = f.Read("Quelta.ini");
  EXPECT_EQ("0", IniValue(ini, "BayesLearnAsSpam"));
  EXPECT_EQ("0", IniValue(ini, "BayesLearnAsHam"));
  EXPECT_EQ("0", IniValue(ini, "BayesReClassAsSpam"));
}

TEST(BayesFiles, ExceptedAndAllDigitWordsAreNotTrained) {
  PluginFolder f;
  f.UseRulesDat("");
  f.Write("ExceptedWords.txt", "S:FREE\r\nAlpha\r\n");
  auto& p = f.Load();
  p.Initialize();
  f.Feed("Subject: Free!!! offer\r\n\r\nalpha bravo 2007 12345 b2007\r\n", 1);
  p.Finalize();
  EXPECT_EQ(Header(1, 0) + Word("S:offer", 1, 0) + Word("bravo", 1, 0) + Word("b2007", 1, 0), f.Read("Bayes.wdb"));
}

TEST(BayesFiles, RetrainingMovesCountsAndKeepsOneUndoRecord) {
  PluginFolder f;
  f.UseRulesDat("");
  auto& p = f.Load();
  p.Initialize();
  f.Feed(kMsgA, 1);
  p.Finalize();
  const std::string firstUdb = f.Read("Bayes.udb");

  p.Initialize();
  f.Feed(kMsgA, 1);  // the same message as the same class: only the time changes
  p.Finalize();
  EXPECT_EQ(Header(1, 0) + Word("S:hello", 1, 0) + Word("alpha", 2, 0) + Word("bravo", 1, 0),
            f.Read("Bayes.wdb"));
  EXPECT_EQ(firstUdb.substr(0, 5), f.Read("Bayes.udb").substr(0, 5));

  p.Initialize();
  f.Feed(kMsgA, 2);  // any indicator but 1 trains as ham
  f.Feed(kMsgB, 0);
  p.Finalize();
  EXPECT_EQ(Header(0, 2) + Word("S:hello", 0, 1) + Word("alpha", 0, 3) + Word("bravo", 0, 1) +
                Word("charlie", 0, 1),
            f.Read("Bayes.wdb"));
  const std::string udb = f.Read("Bayes.udb");
  ASSERT_EQ(26u, udb.size());
  EXPECT_EQ(LE32(Crc("Subject: Hello\r\n")) + std::string(1, '\0'), udb.substr(0, 5));
  EXPECT_EQ(LE32(Crc("Subject: x\r\n")) + std::string(1, '\0'), udb.substr(13, 5));

  const std::string log = f.Log();
  EXPECT_NE(std::string::npos,
            log.find("Quelta: Bayes databases loaded successfully (W=4/S=1/H=0).\r\n"
                     "WARNING: Bayes database not trained (S=1, H=0)!\r\n"));
  EXPECT_NE(std::string::npos, log.find("Quelta: Bayes databases saved successfully (W=5/S=0/H=2).\r\n"));
  // Training the same message again as the same class still counts as a change.
  const std::string saved = "Quelta: Bayes databases saved successfully (W=4/S=1/H=0).\r\n";
  EXPECT_NE(log.find(saved), log.rfind(saved));
  const std::string ini = f.Read("Quelta.ini");
  EXPECT_EQ("1", IniValue(ini, "BayesReClassAsHam"));
  EXPECT_EQ("0", IniValue(ini, "BayesReClassAsSpam"));
  EXPECT_EQ("0", IniValue(ini, "BayesLearnAsHam"));
}

TEST(BayesFiles, UnchangedDatabasesAreNotWrittenBack) {
  PluginFolder f;
  f.UseRulesDat("");
  // 30 bytes: two whole records and a 6-byte rest that is never read.
  const std::string wdb = Header(60, 70) + Word("alpha", 5, 5) + "\x01\x02\x03\x04\x05\x06";
  f.Write("Bayes.wdb", wdb);
  f.Write("Bayes.udb", "");
  auto& p = f.Load();
  p.Initialize();
  p.Finalize();
  EXPECT_EQ(wdb, f.Read("Bayes.wdb"));
  const std::string log = f.Log();
  EXPECT_NE(std::string::npos, log.find("Quelta: Bayes databases loaded successfully (W=2/S=60/H=70).\r\n"));
  EXPECT_EQ(std::string::npos, log.find("WARNING: Bayes"));
  EXPECT_NE(std::string::npos, log.find("\r\n\r\nQuelta: Bayes databases not saved.\r\nQuelta: Shutdown at "));
}

TEST(BayesFiles, LargeCountsAreScaledOnSavingOnly) {
  PluginFolder f;
  f.UseRulesDat("");
  f.Write("Bayes.wdb", Header(5, 2000000001u) + Word("zulu", 2000000001u, 7) + Word("yankee", 2000000000u, 9));
  f.Write("Bayes.udb", "");
  auto& p = f.Load();
  p.Initialize();
  f.Feed("Subject: q\r\n\r\nxray\r\n", 1);
  p.Finalize();
  EXPECT_EQ(Header(0, 200000000u) + Word("zulu", 200000000u, 0) + Word("yankee", 2000000000u, 9) +
                Word("xray", 1, 0),
            f.Read("Bayes.wdb"));
  // The line counts what is in memory, unscaled.
  EXPECT_NE(std::string::npos, f.Log().find("Quelta: Bayes databases saved successfully (W=4/S=6/H=2000000001).\r\n"));
}

TEST(BayesFiles, OneFileMissingReportsNoLoadErrorButItsCounts) {
  PluginFolder f;
  f.UseRulesDat("");
  f.Write("Bayes.wdb", Header(7, 60));
  auto& p = f.Load();
  p.Initialize();
  p.Finalize();
  EXPECT_EQ(
      "WARNING: Bayes databases not found!\n"
      "WARNING: Bayes database not trained (S=7, H=60)!\n"
      "Quelta: Bayes databases not saved.\n",
      Pick(f.Log(), {"WARNING: Bayes", "ERROR: Loading Bayes", "Quelta: Bayes databases"}));
}

TEST(BayesFiles, EmptyWordTableStillAppendsItsUndoRecord) {
  PluginFolder f;
  f.UseRulesDat("");
  auto& p = f.Load();
  p.Initialize();
  f.Feed("Subject: no\r\n\r\nab cd\r\n", 1);
  p.Finalize();
  EXPECT_EQ(Header(0, 0), f.Read("Bayes.wdb"));
  const std::string udb = f.Read("Bayes.udb");
  ASSERT_EQ(13u, udb.size());
  EXPECT_EQ(LE32(Crc("Subject: no\r\n")) + std::string(1, '\x01'), udb.substr(0, 5));
}

TEST(BayesFiles, SavingFailureIsLoggedPerFile) {
  PluginFolder f;
  f.UseRulesDat("");
  fs::create_directories(f.Dir() / "Bayes.wdb");  // no file can be written there
  auto& p = f.Load();
  p.Initialize();
  f.Feed(kMsgA, 1);
  p.Finalize();
  EXPECT_EQ(
      "WARNING: Bayes databases not found!\n"
      "WARNING: Bayes database not trained (S=0, H=0)!\n"
      "ERROR: Saving Bayes datafile failed!\n",
      Pick(f.Log(), {"WARNING: Bayes", "ERROR: Loading Bayes", "Quelta: Bayes databases", "ERROR: Saving"}));
  EXPECT_EQ(13u, f.Read("Bayes.udb").size());
}

TEST(BayesFiles, StartUpLinesStandInTheirPlace) {
  PluginFolder f;
  f.UseRulesDat("");
  f.Write("Bayes.wdb", Header(3000000000u, 49) + Word("alpha", 1, 1));
  f.Write("Bayes.udb", LE32(7) + std::string(1, '\x01') + std::string(8, '\0'));
  f.Write("ExceptedWords.txt", "S:free\r\n");
  f.Write("AutoWL.lst", "<a@b.example>|" + std::string("20000101") + "\r\n");
  f.Write("Whitelist.txt", "a@b.example\r\n");
  f.Write("Blacklist.txt", "");
  auto& p = f.Load();
  p.Initialize();
  p.Finalize();
  const std::vector<std::string> lines = Normalised(f.Log());
  const std::vector<std::string> expected = {
      "Quelta v1.0.0.1",
      "Quelta: Bayes databases loaded successfully (W=2/S=3000000000/H=49).",
      "WARNING: Bayes database not trained (S=3000000000, H=49)!",
      "Quelta: Bayes word exception list loaded successfully (R=1).",
      "Quelta: Automated whitelist loaded successfully (R=0).",
      "Quelta: Whitelist loaded successfully (R=1).",
      "Quelta: Blacklist loaded successfully (R=0).",
      "Quelta: Rulesets loaded successfully (R=1).",
  };
  std::vector<std::string> got;
  for (const auto& l : lines) {
    if (l.rfind("ERROR: Subdomain", 0) == 0) continue;
    if (l.rfind("Quelta: Started", 0) == 0) break;
    got.push_back(l);
  }
  EXPECT_EQ(Join(expected), Join(got));
  EXPECT_EQ("", f.Read("AutoWL.lst"));  // the one line had expired
}

struct TextReceiver : quelta_host::MacroReceiver {
  std::string text;
  std::int32_t QUELTA_HOST_STDCALL QueryInterface(const void*, void**) override { return -1; }
  std::uint32_t QUELTA_HOST_STDCALL AddRef() override { return 1; }
  std::uint32_t QUELTA_HOST_STDCALL Release() override { return 1; }
  std::int32_t QUELTA_HOST_STDCALL SetText(std::int32_t, const char* t, std::int32_t n) override {
    text.assign(t, static_cast<std::size_t>(n));
    return 0;
  }
};

TEST(BayesFiles, MacrosFollowTheDatabaseInMemory) {
  PluginFolder f;
  f.UseRulesDat("SUBJECT 0 SH \"go\" [h]\r\n", "[Bayes]\r\nAddLower=0\r\nAddHigher=0\r\n");
  f.Write("Bayes.wdb", Header(3, 4) + Word("alpha", 1, 1));
  f.Write("Bayes.udb", "");
  auto& p = f.Load();
  p.Initialize();
  f.Feed(kMsgA, 1);                                  // new: S:hello and bravo are new words
  f.Feed(kMsgA, 0);                                  // moved to ham
  f.Score("Subject: go\r\n\r\ndelta\r\n");           // learned automatically as spam
  const std::pair<const char*, const char*> expected[] = {
      {"Quelta_BayesWords", "5"},      {"Quelta_BayesMails", "9"},    {"Quelta_BayesSpams", "4"},
      {"Quelta_BayesHams", "5"},       {"Quelta_BayesReclassified", "1"}, {"Quelta_BayesSpam2Ham", "1"},
      {"Quelta_BayesHam2Spam", "0"},   {"Quelta_BayesLearned", "1"},   {"Quelta_BayesLearnSpam", "1"},
      {"Quelta_BayesLearnHam", "0"},   {"Quelta_BayesChecked", "0"},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.first);
    TextReceiver r;
    EXPECT_EQ(0, p.ExecMacro(e.first, static_cast<std::int32_t>(std::strlen(e.first)), &r, nullptr));
    EXPECT_EQ(e.second, r.text);
  }
  p.Finalize();
  EXPECT_EQ(Header(4, 5) + Word("alpha", 1, 3) + Word("S:hello", 0, 1) + Word("bravo", 0, 1) + Word("delta", 1, 0),
            f.Read("Bayes.wdb"));
}

TEST(BayesFiles, AutomaticLearningOfAMessageTrainedTheOtherWayCountsAsReclassified) {
  PluginFolder f;
  f.UseRulesDat("SUBJECT 0 SW \"hello\" [w]\r\n", "[Bayes]\r\nAddLower=0\r\nAddHigher=0\r\n");
  auto& p = f.Load();
  p.Initialize();
  f.Feed(kMsgA, 1);
  f.Score(kMsgA);  // marked ham: learned automatically as ham
  f.Score(kMsgA);  // already ham: nothing changes, nothing counts
  p.Finalize();
  const std::string ini = f.Read("Quelta.ini");
  EXPECT_EQ("1", IniValue(ini, "BayesReClassAsHam"));
  EXPECT_EQ("0", IniValue(ini, "BayesLearnAsHam"));
  EXPECT_EQ("0", IniValue(ini, "BayesLearnAsSpam"));
  EXPECT_EQ(Header(0, 1) + Word("S:hello", 0, 1) + Word("alpha", 0, 2) + Word("bravo", 0, 1), f.Read("Bayes.wdb"));
}

// ---- the Bayes score rule -------------------------------------------------

// S = 200, H = 300; aaaa 30/0, bbbb 2/30, cccc 1/1, dddd 4/6: the result is 54.
std::string SampleDatabase() {
  return Header(200, 300) + Word("aaaa", 30, 0) + Word("bbbb", 2, 30) + Word("cccc", 1, 1) +
         Word("dddd", 4, 6);
}
const char* kSampleMsg = "X-A: 1\r\n\r\ndddd cccc bbbb aaaa eeee\r\n";

struct ScoreCase {
  const char* flags;
  int score;
};

TEST(BayesScore, FlagsTurnThePercentageIntoTheRuleScore) {
  const ScoreCase cases[] = {{"IP", 54}, {"I", 8}, {"ID", 16}, {"IPD", 108}, {"IC", 100}, {"ICD", 100}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    PluginFolder f;
    f.UseRulesDat(std::string("BayesScore 0 ") + c.flags + " \"\" [bayes]\r\n",
                  std::string(kNoLearning) + "ExtendedLogging=1\r\n");
    f.Write("Bayes.wdb", SampleDatabase());
    f.Write("Bayes.udb", "");
    auto& p = f.Load();
    p.Initialize();
    f.Score(kSampleMsg);
    p.Finalize();
    const int clamped = c.score > 100 ? 100 : c.score;
    EXPECT_EQ("Bayes words:\r\n aaaa (V=100/P=100)\r\n bbbb (V=9/P=82)\r\n"
              "Bayes result: 54% spam probability.\r\n"
              "Match: Intern rule \"BayesScore\" (bayes), score: " +
                  std::to_string(c.score) + ".\r\n" + "Final score is: " + std::to_string(clamped) +
                  " (" + std::to_string(c.score) + "), 1 rules matched >>> " +
                  (clamped > 99 ? "SPAM" : "HAM") + ".\r\n",
              Report(f.Log()));
    EXPECT_EQ("1", IniValue(f.Read("Quelta.ini"), "BayesMessagesChecked"));
    EXPECT_EQ(SampleDatabase(), f.Read("Bayes.wdb"));  // scoring trains nothing here
  }
}

TEST(BayesScore, NoWordsAndNoSignificantWords) {
  PluginFolder f;
  f.UseRulesDat("BayesScore 0 IP \"\" [b]\r\n", kNoLearning);
  f.Write("Bayes.wdb", SampleDatabase());
  f.Write("Bayes.udb", "");
  auto& p = f.Load();
  p.Initialize();
  f.Score("X-A: 1\r\n\r\nab\r\n");
  EXPECT_EQ("Bayes: No words available, skipping bayes check.\r\n"
            "Final score is: 0 (0), 0 rules matched >>> HAM.\r\n",
            Report(f.Log()));
  f.Score("X-A: 1\r\n\r\ncccc dddd unknown\r\n");
  EXPECT_EQ("Bayes: No significant words available, abborting bayes check.\r\n"
            "Final score is: 0 (0), 0 rules matched >>> HAM.\r\n",
            Report(f.Log()));
  p.Finalize();
  EXPECT_EQ("0", IniValue(f.Read("Quelta.ini"), "BayesMessagesChecked"));
}

TEST(BayesScore, DisabledFilterWritesNothingButHostTrainingStillTrains) {
  PluginFolder f;
  f.UseRulesDat("BayesScore 0 IP \"\" [b]\r\n", std::string(kNoLearning) + "Enabled=0\r\n");
  f.Write("Bayes.wdb", SampleDatabase());
  f.Write("Bayes.udb", "");
  auto& p = f.Load();
  p.Initialize();
  f.Score(kSampleMsg);
  EXPECT_EQ("Final score is: 0 (0), 0 rules matched >>> HAM.\r\n", Report(f.Log()));
  f.Feed("Subject: q\r\n\r\naaaa\r\n", 1);
  p.Finalize();
  EXPECT_EQ(Header(201, 300) + Word("aaaa", 31, 0) + Word("bbbb", 2, 30) + Word("cccc", 1, 1) +
                Word("dddd", 4, 6),
            f.Read("Bayes.wdb"));
}

TEST(BayesScore, AutomaticLearningCountsAndUsesThePrunedTable) {
  PluginFolder f;
  f.UseRulesDat("BayesScore 0 IP \"\" [b]\r\nSUBJECT 0 SH \"go\" [h]\r\n",
                "[Bayes]\r\nAddLower=0\r\nAddHigher=0\r\n");
  f.Write("Bayes.wdb", SampleDatabase());
  f.Write("Bayes.udb", "");
  auto& p = f.Load();
  p.Initialize();
  f.Score("Subject: go\r\n\r\ndddd cccc bbbb aaaa eeee\r\n");
  p.Finalize();
  // Only the two significant words are trained.
  EXPECT_EQ(Header(201, 300) + Word("aaaa", 31, 0) + Word("bbbb", 3, 30) + Word("cccc", 1, 1) +
                Word("dddd", 4, 6),
            f.Read("Bayes.wdb"));
  const std::string ini = f.Read("Quelta.ini");
  EXPECT_EQ("1", IniValue(ini, "BayesLearnAsSpam"));
  EXPECT_EQ("1", IniValue(ini, "BayesMessagesChecked"));
}

struct LimitCase {
  const char* name;
  const char* ini;
  const char* body;
  const char* report;
  const char* checked;
};

TEST(BayesScore, WordLimitsAndTheMean) {
  const LimitCase cases[] = {
      {"one significant word: a mean above 0.999 counts as 1", "MaxSigWords=1\r\n", "bbbb aaaa",
       "Bayes words:\r\n aaaa (V=100/P=100)\r\n"
       "Bayes result: 100% spam probability.\r\nMatch: Intern rule \"BayesScore\" (b), score: 100.\r\n"
       "Final score is: 100 (100), 1 rules matched >>> SPAM.\r\n",
       "1"},
      {"only the first MaxWords words are looked at", "MaxWords=10\r\n",
       "w001 w002 w003 w004 w005 w006 w007 w008 w009 w010 aaaa",
       "Bayes: No significant words available, abborting bayes check.\r\n"
       "Final score is: 0 (0), 0 rules matched >>> HAM.\r\n",
       "0"},
      {"the tenth word still counts", "MaxWords=10\r\n", "w001 w002 w003 w004 w005 w006 w007 w008 w009 bbbb aaaa",
       "Bayes words:\r\n bbbb (V=9/P=82)\r\n"
       "Bayes result: 9% spam probability.\r\nMatch: Intern rule \"BayesScore\" (b), score: 9.\r\n"
       "Final score is: 9 (9), 1 rules matched >>> HAM.\r\n",
       "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PluginFolder f;
    f.UseRulesDat("BayesScore 0 IP \"\" [b]\r\n", std::string(kNoLearning) + "ExtendedLogging=1\r\n" + c.ini);
    f.Write("Bayes.wdb", SampleDatabase());
    f.Write("Bayes.udb", "");
    auto& p = f.Load();
    p.Initialize();
    f.Score(std::string("X-A: 1\r\n\r\n") + c.body + "\r\n");
    p.Finalize();
    EXPECT_EQ(c.report, Report(f.Log()));
    EXPECT_EQ(c.checked, IniValue(f.Read("Quelta.ini"), "BayesMessagesChecked"));
  }
}

struct BoundCase {
  std::uint32_t spamMsgs;
  const char* result;
};

TEST(BayesScore, UpperBoundFollowsTheSpamCountAtStartUp) {
  // One word seen only in spam: its probability is the upper bound, and a
  // mean of exactly 0.999 is not above 0.999.
  const BoundCase cases[] = {{99, "99"}, {100, "100"}, {9999, "100"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.spamMsgs);
    PluginFolder f;
    f.UseRulesDat("BayesScore 0 IP \"\" [b]\r\n", kNoLearning);
    f.Write("Bayes.wdb", Header(c.spamMsgs, 60) + Word("aaaa", 30, 0));
    f.Write("Bayes.udb", "");
    auto& p = f.Load();
    p.Initialize();
    f.Score("X-A: 1\r\n\r\naaaa\r\n");
    p.Finalize();
    EXPECT_EQ(0u, Report(f.Log()).find(std::string("Bayes result: ") + c.result + "% spam probability.\r\n"));
  }
}

TEST(BayesScore, ListingRoundsHalvesToEven) {
  PluginFolder f;
  f.UseRulesDat("BayesScore 0 IP \"\" [b]\r\n", std::string(kNoLearning) + "ExtendedLogging=1\r\n");
  f.Write("Bayes.wdb", Header(1, 1) + Word("ffff", 3, 5) + Word("eeee", 1, 7));
  f.Write("Bayes.udb", "");
  auto& p = f.Load();
  p.Initialize();
  f.Score("X-A: 1\r\n\r\nffff eeee\r\n");
  p.Finalize();
  // 1/8 and 3/8: 12.5 gives 12, 37.5 gives 38; distances 0.375 and 0.125.
  EXPECT_EQ("Bayes words:\r\n eeee (V=12/P=75)\r\n ffff (V=38/P=25)\r\n"
            "Bayes result: 25% spam probability.\r\n"
            "Match: Intern rule \"BayesScore\" (b), score: 25.\r\n"
            "Final score is: 25 (25), 1 rules matched >>> HAM.\r\n",
            Report(f.Log()));
}

TEST(BayesScore, BoundsStayZeroForTheRunWhenTheWordFileWasMissing) {
  PluginFolder f;
  f.UseRulesDat("BayesScore 0 I \"\" [b]\r\n", std::string(kNoLearning) + "ExtendedLogging=1\r\n");
  auto& p = f.Load();
  p.Initialize();
  f.Feed("Subject: q\r\n\r\nalpha alpha alpha alpha\r\n", 1);
  f.Score("X-A: 1\r\n\r\nalpha\r\n");
  p.Finalize();
  EXPECT_EQ("Bayes words:\r\n alpha (V=0/P=100)\r\n"
            "Bayes result: 0% spam probability.\r\nMatch: Intern rule \"BayesScore\" (b), score: -100.\r\n"
            "Final score is: 0 (-100), 1 rules matched >>> HAM.\r\n",
            Report(f.Log()));
  EXPECT_EQ("1", IniValue(f.Read("Quelta.ini"), "BayesMessagesChecked"));
}

// ---- white and black lists ------------------------------------------------

struct ListCase {
  const char* from;
  const char* expect;  // "W", "H" or "" (no list rule matches)
};

TEST(Lists, FourSearchTextFormsCommentsAndCounts) {
  PluginFolder f;
  f.UseRulesDat("", kNoLearning);
  f.Write("Whitelist.txt",
          "# friends\r\n\r\n  John Doe <John@Example.org>  \r\n*@friends.example\nnews@*\r\n");
  f.Write("Blacklist.txt", "*spam*\r\n#*@friends.example\r\n<bad@x.example\r\n");
  auto& p = f.Load();
  p.Initialize();
  const ListCase cases[] = {
      {"john@example.org", "W"},      {"xjohn@example.org", ""},     {"ann@friends.example", "W"},
      {"ann@friends.example.net", ""}, {"news@any.example", "W"},    {"anews@any.example", ""},
      {"bigspammer@x.example", "H"},  {"bad@x.example", "H"},        {"bad@x.example.org", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.from);
    f.Score(std::string("From: <") + c.from + ">\r\nSubject: s\r\n\r\nb\r\n");
    const std::string r = Report(f.Log());
    if (std::string(c.expect) == "W")
      EXPECT_EQ(0u, r.find("Match: Simple rule \"FromAddr\" (WHITELIST: Whitelisted mail address from "
                           "\"Whitelist.txt\"), score: 0.\r\nMessage marked as HAM by last rule (score was 0).\r\n"));
    else if (std::string(c.expect) == "H")
      EXPECT_EQ(0u, r.find("Match: Simple rule \"FromAddr\" (BLACKLIST: Blacklisted mail address from "
                           "\"Blacklist.txt\"), score: 100.\r\nMessage marked as SPAM by last rule (score was 100).\r\n"));
    else
      EXPECT_EQ("Final score is: 0 (0), 0 rules matched >>> HAM.\r\n", r);
  }
  p.Finalize();
  EXPECT_EQ("Quelta: Whitelist loaded successfully (R=3).\nQuelta: Blacklist loaded successfully (R=2).\n",
            Pick(f.Log(), {"Quelta: Whitelist", "Quelta: Blacklist", "ERROR: White", "ERROR: Black"}));
}

TEST(Lists, MissingBlacklistKeepsTheWhitelist) {
  PluginFolder f;
  f.UseRulesDat("", kNoLearning);
  f.Write("Whitelist.txt", "");
  auto& p = f.Load();
  p.Initialize();
  p.Finalize();
  EXPECT_EQ("Quelta: Whitelist loaded successfully (R=0).\nERROR: Blacklist not found!\n"
            "Quelta: Rulesets loaded successfully (R=0).\n",
            Pick(f.Log(), {"Quelta: Whitelist", "Quelta: Blacklist", "ERROR: White", "ERROR: Black",
                           "Quelta: Rulesets"}));
}

// ---- address books ----------------------------------------------------------

// An address-book file with one record per address (an empty address gives a
// record without the address field).
std::string Book(const std::vector<std::string>& addresses) {
  const std::uint32_t k = static_cast<std::uint32_t>(addresses.size());
  std::string head = LE32(0x19988991u) + LE32(24) + LE32(0) + LE32(0) + LE32(k) + LE32(k);
  std::string index, data;
  for (const auto& a : addresses) {
    std::string rec = "ab";
    if (!a.empty()) rec += std::string("\x9D\xFF\xFF\xFF", 4) + LE32(static_cast<std::uint32_t>(a.size() + 3)) + " " + a + std::string(1, '\0') + "z";
    rec += "tail";
    const std::string record = std::string(16, 'h') + LE32(static_cast<std::uint32_t>(rec.size())) + std::string(8, 'h') + rec;
    index += LE32(0) + LE32(static_cast<std::uint32_t>(record.size())) + LE32(static_cast<std::uint32_t>(data.size())) + "x";
    data += record;
  }
  return head + index + data;
}

TEST(AddrBooks, SharedReadsMergePrivateReadsDoNotAndProblemsAreReported) {
  PluginFolder f;
  const std::string b1 = (f.Dir() / "one.abd").string(), b2 = (f.Dir() / "two.abd").string();
  f.Write("one.abd", Book({"ann@one.example", "", "bob@one.example"}));
  f.Write("two.abd", Book({"cid@two.example"}));
  f.Write("bad.abd", "not a book");
  f.Write("empty.abd", Book({""}));
  f.UseRulesDat("FromAddrInAB 1 I \"" + b1 + "\" [shared one]\r\n"
                "FromAddrInAB 2 I \"" + b2 + "\" [shared two]\r\n"
                "FromAddrInAB 4 IC \"" + b1 + "\" [private one]\r\n"
                "FromAddrInAB 8 IN \"" + (f.Dir() / "bad.abd").string() + "\" [bad]\r\n"
                "FromAddrInAB 16 IN \"" + (f.Dir() / "empty.abd").string() + "\" [empty]\r\n"
                "FromAddrInAB 32 I \"nowhere.abd\" [missing]\r\n"
                "FromAddrInAB 64 I \"\" [default]\r\n",
                kNoLearning);
  auto& p = f.Load();
  p.Initialize();
  const std::string problems =
      "ERROR: Address book file \"" + (f.Dir() / "bad.abd").string() + "\" has a wrong format!\r\n" +
      "WARNING: Address book file \"" + (f.Dir() / "empty.abd").string() + "\" is empty!\r\n" +
      "Match: Intern rule \"FromAddrInAB\" (empty), score: 16.\r\n"
      "ERROR: Address book file \"nowhere.abd\" not found!\r\n"
      "ERROR: Address book file \"\" not found!\r\n";
  f.Score("From: <CID@two.example>\r\n\r\nb\r\n");
  EXPECT_EQ("Match: Intern rule \"FromAddrInAB\" (shared two), score: 2.\r\n" + problems +
                "Final score is: 18 (18), 2 rules matched >>> HAM.\r\n",
            Report(f.Log()));
  // Both books are merged now: the first rule sees the second book too.
  f.Score("From: <cid@two.example>\r\n\r\nb\r\n");
  EXPECT_EQ("Match: Intern rule \"FromAddrInAB\" (shared one), score: 1.\r\n"
            "Match: Intern rule \"FromAddrInAB\" (shared two), score: 2.\r\n" + problems +
                "Final score is: 19 (19), 3 rules matched >>> HAM.\r\n",
            Report(f.Log()));
  f.Score("From: <bob@one.example>\r\n\r\nb\r\n");
  EXPECT_EQ("Match: Intern rule \"FromAddrInAB\" (shared one), score: 1.\r\n"
            "Match: Intern rule \"FromAddrInAB\" (shared two), score: 2.\r\n"
            "Match: Intern rule \"FromAddrInAB\" (private one), score: 4.\r\n" + problems +
                "Final score is: 23 (23), 4 rules matched >>> HAM.\r\n",
            Report(f.Log()));
  // No sender address: nothing is read, nothing reported; only the negated rules match.
  f.Score("Subject: s\r\n\r\nb\r\n");
  EXPECT_EQ("Match: Intern rule \"FromAddrInAB\" (bad), score: 8.\r\n"
            "Match: Intern rule \"FromAddrInAB\" (empty), score: 16.\r\n"
            "Final score is: 24 (24), 2 rules matched >>> HAM.\r\n",
            Report(f.Log()));
  p.Finalize();
}

TEST(AddrBooks, ReplyToSenderAndRecipientChecks) {
  PluginFolder f;
  const std::string book = (f.Dir() / "one.abd").string();
  f.Write("one.abd", Book({"ann@one.example"}));
  f.Write("AutoWL.lst", "<ann@one.example>|" + DaysAgo(1) + "\r\n");
  f.UseRulesDat("ReplyToAddrInAB 1 I \"" + book + "\" [r]\r\n"
                "SenderInAB 2 IC \"" + book + "\" [s]\r\n"
                "ToAddrInAB 4 I \"" + book + "\" [t]\r\n"
                "ReplyToAddrInAutoWL 8 I \"\" [ra]\r\n"
                "FromAddrInAutoWL 16 I \"\" [fa]\r\n",
                kNoLearning);
  auto& p = f.Load();
  p.Initialize();
  EXPECT_EQ(15, f.Score("From: <x@y.example>\r\nReply-To: <Ann@one.example>\r\nTo: <z@q.example>, <ANN@one.example>\r\n\r\nb\r\n"));
  EXPECT_EQ(0, f.Score("From: <x@y.example>\r\nTo: <z@q.example>\r\n\r\nb\r\n"));
  EXPECT_EQ(18, f.Score("From: <ann@one.example>\r\n\r\nb\r\n"));
  p.Finalize();
}

TEST(AddrBooks, EasyModeBookRuleNamesTheBareFile) {
  PluginFolder f;
  f.Write("Friends.ABD", Book({"ann@one.example"}));
  f.Write("Quelta.ini", "[EasyMode]\r\nEnabled=1\r\nAutoWL=0\r\nAddrBooks=1\r\nRules=0\r\nIntern=0\r\n"
                        "Bayes=0\r\nBayesIsScoreCheck=0\r\nDNSBL=0\r\nURLBL=0\r\n" + std::string(kNoLearning));
  f.Write("EasyAddrBooks.dat", "# books\r\n" + (f.Dir() / "Friends.ABD").string() + "\r\n");
  auto& p = f.Load();
  p.Initialize();
  f.Score("From: Ann <ann@ONE.example>\r\n\r\nb\r\n");
  p.Finalize();
  EXPECT_EQ("Match: Intern rule \"FromAddrInAB\" (EASYMODE_FROMADDR_IN_ADDRBOOK: Friends.ABD), score: 0.\r\n"
            "Message marked as HAM by last rule (score was 0).\r\n"
            "Final score is: 0 (0), 1 rules matched >>> HAM.\r\n",
            Report(f.Log()));
}

TEST(Lists, ListThatCannotBeOpenedForWritingFailsToLoad) {
  PluginFolder f;
  f.UseRulesDat("", kNoLearning);
  f.Write("Whitelist.txt", "a@b.example\r\n");
  f.Write("Blacklist.txt", "c@d.example\r\n");
  fs::permissions(f.Dir() / "Blacklist.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  {
    std::ofstream probe(f.Dir() / "Blacklist.txt", std::ios::app);
    if (probe.is_open()) GTEST_SKIP() << "this account may write to read-only files";
  }
  auto& p = f.Load();
  p.Initialize();
  p.Finalize();
  EXPECT_EQ("Quelta: Whitelist loaded successfully (R=1).\nERROR: Loading of blacklist failed!\n",
            Pick(f.Log(), {"Quelta: Whitelist", "Quelta: Blacklist", "ERROR: White", "ERROR: Black",
                           "ERROR: Loading of"}));
  fs::permissions(f.Dir() / "Blacklist.txt", fs::perms::owner_write, fs::perm_options::add);
}

// ---- auto-white-list ------------------------------------------------------


TEST(AutoWL, LinesAreNormalisedMergedExpiredAndTheFileRewritten) {
  PluginFolder f;
  f.UseRulesDat("SenderInAutoWL 5 I \"\" [awl]\r\n", "[Main]\r\nAWLDays=60\r\n" + std::string(kNoLearning));
  const std::string d10 = DaysAgo(10), d61 = DaysAgo(61), d3 = DaysAgo(3), today = DaysAgo(0);
  f.Write("AutoWL.lst",
          "\"Bob <BOB@Example.org>|" + d10 + "\"\r\n" +  // quoted: lower-cased, quotes removed
              "<old@example.org>|" + d61 + "\r\n" +       // expired
              "<Carol@Example.org>|" + d10 + "\r\n" +
              "<carol@example.org>|" + d3 + "\r\n" +      // same address: the later date part wins
              "<dave@example.org>|2026x\r\n" +            // undecodable date: seen today
              "\r\n");
  auto& p = f.Load();
  p.Initialize();
  EXPECT_EQ("<bob@example.org>|" + d10 + "\r\n<carol@example.org>|" + d3 + "\r\n<dave@example.org>|" +
                today + "\r\n",
            f.Read("AutoWL.lst"));
  EXPECT_EQ(5, f.Score("From: <Carol@example.org>\r\nSubject: s\r\n\r\nb\r\n"));
  EXPECT_EQ(0, f.Score("From: <old@example.org>\r\nSubject: s\r\n\r\nb\r\n"));
  EXPECT_EQ(5, f.Score("From: <x@y.example>\r\nReply-To: <dave@example.org>\r\nSubject: s\r\n\r\nb\r\n"));
  p.Finalize();
  EXPECT_EQ("Quelta: Automated whitelist loaded successfully (R=3).\n",
            Pick(f.Log(), {"Quelta: Automated", "ERROR: Loading of automated", " lines reloaded"}));
}

TEST(AutoWL, QuotedLineWithTwoAddressesAndLinesWithoutBar) {
  PluginFolder f;
  f.UseRulesDat("FromAddrInAutoWL 5 I \"\" [awl]\r\n", kNoLearning);
  const std::string d5 = DaysAgo(5), today = DaysAgo(0);
  f.Write("AutoWL.lst", "\"Bob <Bob@x.example>, ann@y.example|" + d5 + "\"\n" +
                            "<Eve@z.example>|" + d5 + "\n" +
                            "no bar at all\n");
  auto& p = f.Load();
  p.Initialize();
  EXPECT_EQ("<bob@x.example><ann@y.example>|" + d5 + "\r\n<eve@z.example>|" + d5 + "\r\n|" + today + "\r\n",
            f.Read("AutoWL.lst"));
  EXPECT_EQ(5, f.Score("From: <ann@y.example>\r\n\r\nb\r\n"));
  EXPECT_EQ(5, f.Score("From: <EVE@z.example>\r\n\r\nb\r\n"));
  EXPECT_EQ(0, f.Score("From: <bar@z.example>\r\n\r\nb\r\n"));
  p.Finalize();
}

TEST(AutoWL, ReloadedOnlyWhenTheSizeChangedAndIsAboveZero) {
  PluginFolder f;
  f.UseRulesDat("FromAddrInAutoWL 5 I \"\" [awl]\r\n", kNoLearning);
  const std::string today = DaysAgo(0);
  f.Write("AutoWL.lst", "<a@x.example>|" + today + "\r\n");
  auto& p = f.Load();
  p.Initialize();
  EXPECT_EQ(0, f.Score("From: <b@x.example>\r\n\r\nb\r\n"));
  // Same size, other address: not re-read.
  f.Write("AutoWL.lst", "<b@x.example>|" + today + "\r\n");
  EXPECT_EQ(0, f.Score("From: <b@x.example>\r\n\r\nb\r\n"));
  // Larger: re-read, and the line is logged before the message.
  f.Write("AutoWL.lst", "<b@x.example>|" + today + "\r\n<cc@x.example>|" + today + "\r\n");
  EXPECT_EQ(5, f.Score("From: <b@x.example>\r\n\r\nb\r\n"));
  // Emptied: not re-read, the old list stays.
  f.Write("AutoWL.lst", "");
  EXPECT_EQ(5, f.Score("From: <cc@x.example>\r\n\r\nb\r\n"));
  p.Finalize();
  const std::string log = f.Log();
  const auto at = log.find("Quelta: 2 lines reloaded from \"AutoWL.lst\".\r\n\r\n=== BEGIN MESSAGE at ");
  EXPECT_NE(std::string::npos, at);
  EXPECT_EQ(at, log.rfind(" lines reloaded from") - 9);
  EXPECT_EQ("", f.Read("AutoWL.lst"));
}

TEST(AutoWL, FileThatCannotBeRewrittenFailsToLoad) {
  PluginFolder f;
  f.UseRulesDat("", kNoLearning);
  f.Write("AutoWL.lst", "<a@b.example>|" + DaysAgo(1) + "\r\n");  // already in its written form
  fs::permissions(f.Dir() / "AutoWL.lst", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  {
    std::ofstream probe(f.Dir() / "AutoWL.lst", std::ios::app);
    if (probe.is_open()) GTEST_SKIP() << "this account may write to read-only files";
  }
  auto& p = f.Load();
  p.Initialize();
  p.Finalize();
  EXPECT_NE(std::string::npos, f.Log().find("ERROR: Loading of automated whitelist failed!\r\n"));
  fs::permissions(f.Dir() / "AutoWL.lst", fs::perms::owner_write, fs::perm_options::add);
}

TEST(AutoWL, MissingFileIsReportedAndNotCreated) {
  PluginFolder f;
  f.UseRulesDat("", kNoLearning);
  auto& p = f.Load();
  p.Initialize();
  f.Score("From: <b@x.example>\r\n\r\nb\r\n");
  p.Finalize();
  EXPECT_NE(std::string::npos, f.Log().find("Quelta: Automated whitelist not found.\r\n"));
  EXPECT_FALSE(fs::exists(f.Dir() / "AutoWL.lst"));
}

// ---- easy mode ------------------------------------------------------------

// Every easy-mode switch off except those named ("AutoWL=1\r\n" ...).
std::string EasyIni(const std::string& switches) {
  std::string ini = "[EasyMode]\r\nEnabled=1\r\n" + switches;
  for (const char* key : {"AutoWL", "AddrBooks", "Rules", "Intern", "Bayes", "BayesIsScoreCheck", "DNSBL", "URLBL"})
    if (switches.find(std::string(key) + "=") == std::string::npos) ini += std::string(key) + "=0\r\n";
  return ini + kNoLearning;
}

TEST(EasyMode, GeneratedRulesShowInTheirMatchLines) {
  PluginFolder f;
  f.Write("Quelta.ini", EasyIni("AutoWL=1\r\nIntern=1\r\nBayes=1\r\nBayesIsScoreCheck=1\r\nBayesIsScoreValue=80\r\n"));
  f.Write("EasyMode.rdb",
          "SUBJECT\x01S\x01offer\x01" "15\x01" "cheap\r\n"
          "SUBJECT\x01SN\x01zzzz\x01-32768\x01" "friends\r\n"
          "SUBJECT\x01S\x01" "deal\x01" "32767\x01spam\r\n");
  f.Write("Bayes.wdb", SampleDatabase());
  f.Write("Bayes.udb", "");
  f.Write("AutoWL.lst", "<friend@x.example>|" + DaysAgo(0) + "\r\n");
  auto& p = f.Load();
  ASSERT_EQ(1, p.Initialize() & 0xFF);

  // Score 15 from the table row, 54 from Bayes: 69 is not above 80.
  f.Score("Subject: offer zzzz\r\nFrom: <a@b.example>\r\n\r\ndddd cccc bbbb aaaa\r\n");
  EXPECT_EQ("Match: Simple rule \"SUBJECT\" (EASYMODE_RULE: cheap), score: 15.\r\n"
            "Bayes result: 54% spam probability.\r\n"
            "Match: Intern rule \"BayesScore\" (EASYMODE_BAYES_FILTER), score: 54.\r\n"
            "Final score is: 69 (69), 2 rules matched >>> HAM.\r\n",
            Report(f.Log()));
  f.Score("Subject: deal zzzz\r\nFrom: <a@b.example>\r\n\r\nb\r\n");
  EXPECT_EQ("Match: Simple rule \"SUBJECT\" (EASYMODE_RULE: spam), score: 100.\r\n"
            "Message marked as SPAM by last rule (score was 100).\r\n"
            "Final score is: 100 (100), 1 rules matched >>> SPAM.\r\n",
            Report(f.Log()));
  f.Score("Subject: hi\r\nFrom: <Friend@x.example>\r\n\r\nb\r\n");
  EXPECT_EQ("Match: Intern rule \"SenderInAutoWL\" (EASYMODE_SENDER_IN_AUTOWL), score: 0.\r\n"
            "Message marked as HAM by last rule (score was 0).\r\n"
            "Final score is: 0 (0), 1 rules matched >>> HAM.\r\n",
            Report(f.Log()));
  // The table row marking ham: score 0, code "SNW".
  f.Score("Subject: hi\r\nFrom: <a@b.example>\r\n\r\nb\r\n");
  EXPECT_EQ("Match: Simple rule \"SUBJECT\" (EASYMODE_RULE: friends), score: 0.\r\n"
            "Message marked as HAM by last rule (score was 0).\r\n"
            "Final score is: 0 (0), 1 rules matched >>> HAM.\r\n",
            Report(f.Log()));
  p.Finalize();
  EXPECT_EQ("Quelta: EasyMode internal rules loaded successfully (R=3).\n"
            "Quelta: EasyMode rules loaded successfully (R=6).\n",
            Pick(f.Log(), {"Quelta: EasyMode", "ERROR: Loading", "ERROR: Adding"}));
}

TEST(EasyMode, TableRowsWithMissingFieldsAndRejectedRows) {
  PluginFolder f;
  f.Write("Quelta.ini", EasyIni("Intern=1\r\n"));
  f.Write("Whitelist.txt", "a@b.example\r\n");
  f.Write("EasyMode.rdb",
          "SUBJECT\x01RN\x01^zz\x01-32768\x01regex ham\n"
          "\r\n"                                 // an empty row: rejected, nothing logged
          "SUBJECT\x01S\x01" "two\x01" "7");  // last field missing, no line end
  auto& p = f.Load();
  p.Initialize();
  f.Score("Subject: zz two\r\n\r\nb\r\n");
  EXPECT_EQ("Match: Simple rule \"SUBJECT\" (EASYMODE_RULE: ), score: 7.\r\n"
            "Final score is: 7 (7), 1 rules matched >>> HAM.\r\n",
            Report(f.Log()));
  f.Score("Subject: two\r\n\r\nb\r\n");
  EXPECT_EQ("Match: RegExp rule \"SUBJECT\" (EASYMODE_RULE: regex ham), score: 0.\r\n"
            "Message marked as HAM by last rule (score was 0).\r\n"
            "Final score is: 0 (0), 1 rules matched >>> HAM.\r\n",
            Report(f.Log()));
  p.Finalize();
  EXPECT_EQ("Quelta: EasyMode internal rules loaded successfully (R=2).\n"
            "Quelta: EasyMode rules loaded successfully (R=3).\n",
            Pick(f.Log(), {"Quelta: EasyMode", "ERROR: Adding", "ERROR: Loading"}));
}

TEST(EasyMode, ThresholdRuleStopsAfterBayes) {
  PluginFolder f;
  f.Write("Quelta.ini", EasyIni("Bayes=1\r\nBayesIsScoreCheck=1\r\nBayesIsScoreValue=50\r\n"));
  f.Write("Bayes.wdb", SampleDatabase());
  f.Write("Bayes.udb", "");
  f.Write("EasyRules.dat", "SUBJECT 1 S \"x\" [never reached]\r\n");
  auto& p = f.Load();
  p.Initialize();
  f.Score("Subject: x\r\n\r\ndddd cccc bbbb aaaa\r\n");
  p.Finalize();
  EXPECT_EQ("Bayes result: 54% spam probability.\r\n"
            "Match: Intern rule \"BayesScore\" (EASYMODE_BAYES_FILTER), score: 54.\r\n"
            "Match: Intern rule \"IsScore\" (EASYMODE_AFTERBAYES_SCORE), score: 0.\r\n"
            "Processing aborted by last rule.\r\n"
            "Final score is: 54 (54), 2 rules matched >>> HAM.\r\n",
            Report(f.Log()));
}

struct EasyCase {
  const char* name;
  const char* switches;
  const char* lines;  // the easy-mode lines of the log, in order
};

TEST(EasyMode, SwitchCombinationsAndTheirLogLines) {
  const EasyCase cases[] = {
      {"everything off", "", "Quelta: EasyMode rules loaded successfully (R=1).\n"},
      {"only Bayes", "Bayes=1\r\n", "Quelta: EasyMode rules loaded successfully (R=2).\n"},
      {"external rules missing", "Rules=1\r\n",
       "ERROR: Loading \"EasyRules.dat\" failed.\nQuelta: EasyMode rules loaded successfully (R=1).\n"},
      {"missing table logs nothing", "Intern=1\r\n", "Quelta: EasyMode rules loaded successfully (R=1).\n"},
      {"block lists from files", "DNSBL=1\r\nURLBL=1\r\n",
       "Quelta: EasyMode rules loaded successfully (R=4).\n"},
      {"books from a file", "AddrBooks=1\r\n", "Quelta: EasyMode rules loaded successfully (R=3).\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PluginFolder f;
    f.Write("Quelta.ini", EasyIni(c.switches));
    f.Write("Whitelist.txt", "a@b.example\r\n");
    f.Write("EasyDNSBL.dat", "# zones\r\n\r\n  zen.example  \r\nbl.example\r\n");
    f.Write("EasyURLBL.dat", "uri.example\r\n");
    f.Write("EasyAddrBooks.dat", "C:\\Mail\\Friends.ABD\r\nD:Other.abd\r\n");
    auto& p = f.Load();
    EXPECT_EQ(1, p.Initialize() & 0xFF);
    p.Finalize();
    EXPECT_EQ(c.lines, Pick(f.Log(), {"Quelta: EasyMode", "ERROR: Loading \"Easy", "ERROR: Adding",
                                      "ERROR: Loading of EasyMode"}));
  }
}

// ---- hostile files ----------------------------------------------------------

TEST(HostileFiles, RandomBytesInEveryFileNeverBreakTheExports) {
  std::mt19937 rng(20061);
  auto noise = [&](std::size_t n, const std::string& alphabet) {
    std::string out(n, '\0');
    for (auto& c : out)
      c = alphabet.empty() ? static_cast<char>(rng() & 0xFF) : alphabet[rng() % alphabet.size()];
    return out;
  };
  const std::string textish = "<>|\"*#@ab09\r\n\x01\x9D\xFF ";
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    PluginFolder f;
    const std::string book = (f.Dir() / "b.abd").string();
    f.UseRulesDat("FromAddrInAB 1 I \"" + book + "\" [b]\r\nSenderInAutoWL 1 I \"\" [a]\r\nBayesScore 0 IP \"\" [s]\r\n"
                  "ToAddrInAB 1 IC \"" + book + "\" [t]\r\n");
    f.Write("Bayes.wdb", noise(rng() % 400, ""));
    f.Write("Bayes.udb", noise(rng() % 400, ""));
    f.Write("AutoWL.lst", noise(rng() % 2000, textish));
    f.Write("Whitelist.txt", noise(rng() % 2000, textish));
    f.Write("Blacklist.txt", noise(rng() % 2000, textish));
    std::string abd = LE32(0x19988991u) + noise(20 + rng() % 300, "");
    if (round % 2) abd = Book({"a@b.example", noise(40, textish), ""}) + noise(rng() % 50, "");
    f.Write("b.abd", abd);
    auto& p = f.Load();
    p.Initialize();
    const std::string msg = "From: <a@b.example>\r\nTo: <a@b.example>, <x@y>\r\nSubject: " + noise(30, textish) +
                            "\r\n\r\n" + noise(500, textish) + "\r\n";
    f.Score(msg);
    f.Feed(msg, round % 3);
    f.Score(msg);
    EXPECT_EQ(1, p.Finalize());
    EXPECT_EQ(0u, f.Read("Bayes.wdb").size() % 12);
    EXPECT_EQ(0u, f.Read("Bayes.udb").size() % 13);
    EXPECT_EQ(std::string::npos, f.Log().find("failed!\r\n"));
  }
}

}  // namespace
