// The settings key table and the statistics in "Quelta.ini": defaults,
// units, the host's threshold as a default, and what saving writes. The data
// folders from "Quelta.cfg": defaults in the plug-in folder, %QUELTADIR% and
// environment variables, the separator appended. The language table: keys
// without letter case, the built-in text as the default, parameters and
// markers; the list of language choices. The filter log: whole blocks per
// entry, rotation by size to a name from the time given, and pruning of
// rotated copies by age in months.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/filter_log.h"
#include "app/language.h"
#include "app/locations.h"
#include "base/date_time.h"
#include "base/ini.h"
#include "os/env.h"
#include "support/scratch_dir.h"

using namespace quelta;
using testing_support::ScratchDir;

namespace {

constexpr double kNow = 39000.5;  // a date-time value in 2006

TEST(Settings, AnEmptyFileGivesTheDefaultsOfTheStruct) {
  ScratchDir dir;
  Settings loaded;
  loaded.engine.junkScore = 1;  // not a key: stays
  loaded.maxMsgSize = loaded.awlDays = 1;
  loaded.engine.debugMode = loaded.easyEnabled = !loaded.easyEnabled;
  ASSERT_TRUE(LoadSettings(dir.File("none.ini"), 99, kNow, loaded));
  ASSERT_TRUE(SaveSettings(dir.File("loaded.ini"), loaded));
  ASSERT_TRUE(SaveSettings(dir.File("struct.ini"), Settings{}));
  EXPECT_EQ(dir.Read("struct.ini"), dir.Read("loaded.ini"));
  EXPECT_NE("", dir.Read("struct.ini"));
  EXPECT_EQ(1, loaded.engine.junkScore);
  EXPECT_NEAR(kNow - 30.0, loaded.update.lastUpdate, 1.0 / 86400);
}

TEST(Settings, UnitsThresholdDefaultsAndWhatSavingWrites) {
  ScratchDir dir;
  const std::string ini = dir.File("Quelta.ini");
  dir.Write("Quelta.ini",
            "[Main]\r\nMaxMsgSize=5\r\nMaxDataSize=7\r\nMaxRegExpSize=3\r\nMaxLogSize=2\r\nOldLogAge=4\r\n"
            "BreakAtScore=abc\r\nDebugMode=1\r\nAWLDays=9\r\nLanguage=Deutsch\r\n[Bayes]\r\nMaxWords=11\r\n"
            "AddLowerValue=-3\r\nNoNumbersOnly=0\r\n[EasyMode]\r\nIntern=1\r\n"
            "[Update]\r\nInterval=-4\r\nServer=http://updates.example/\r\nLastUpdate=1700000000\r\n");
  Settings s;
  ASSERT_TRUE(LoadSettings(ini, 77, kNow, s));
  EXPECT_EQ(std::make_tuple(s.maxMsgSize, s.message.maxDataSize, s.engine.maxRegExpSize, s.log.maxLogSize),
            std::make_tuple(5u << 20, 7u << 10, 3u << 10, 2u << 10));
  EXPECT_EQ(std::make_tuple(s.log.oldLogAge, s.engine.breakAtScore, s.awlDays, s.bayes.maxWords, s.engine.addLowerValue),
            std::make_tuple(4u, 300, 9, 11, -3));
  EXPECT_TRUE(s.engine.debugMode && !s.engine.tokenizer.noNumbersOnly && s.easy.ruleTable);
  EXPECT_EQ(77, s.engine.addHigherValue);  // the host's threshold by default
  EXPECT_EQ(77, s.easy.bayesIsScoreValue);
  EXPECT_EQ(s.language + " " + std::to_string(s.update.interval) + " " + s.update.server, "Deutsch 1 http://updates.example/");
  EXPECT_EQ(1700000000, DateTimeToUnix(s.update.lastUpdate));

  s.update.server = "http://other.example/";
  s.update.lastUpdate = kNow;
  s.log.oldLogAge = 6;
  ASSERT_TRUE(SaveSettings(ini, s));
  // Server and LastUpdate are never written.
  const std::tuple<const char*, const char*, const char*> written[] = {
      {"Main", "MaxMsgSize", "5"}, {"Main", "MaxDataSize", "7"}, {"Main", "OldLogAge", "6"},
      {"Main", "BreakAtScore", "300"}, {"Update", "Interval", "1"}, {"Update", "Server", "http://updates.example/"},
      {"Update", "LastUpdate", "1700000000"}};
  for (const auto& [section, key, value] : written) EXPECT_EQ(value, ReadIniString(ini, section, key, "")) << key;
  // What was saved loads back to the same file.
  Settings again;
  ASSERT_TRUE(LoadSettings(ini, 77, kNow, again));
  const std::string saved = dir.Read("Quelta.ini");
  ASSERT_TRUE(SaveSettings(ini, again));
  EXPECT_EQ(saved, dir.Read("Quelta.ini"));
}

TEST(Statistics, CountersAddUpAndRoundTripInTheirOrder) {
  ScratchDir dir;
  const std::string ini = dir.File("Quelta.ini");
  dir.Write("Quelta.ini", "[Statistics]\r\nMessagesFiltered=4294967295\r\nClassAsSpam=abc\r\n");
  Statistics s;
  s.classAsSpam = 5;
  ASSERT_TRUE(LoadStatistics(ini, s));
  EXPECT_TRUE(s.messagesFiltered == 4294967295u && s.classAsSpam == 0u);
  s.Add(UsageCounts{2, 3, 4, 5, 6, 7, 8, 9});  // MessagesFiltered wraps
  ASSERT_TRUE(SaveStatistics(ini, s));
  EXPECT_EQ("[Statistics]\r\nMessagesFiltered=1\r\nClassAsSpam=3\r\nClassAsHam=4\r\nBayesMessagesChecked=5\r\n"
            "BayesReClassAsSpam=6\r\nBayesReClassAsHam=7\r\nBayesLearnAsSpam=8\r\nBayesLearnAsHam=9\r\n",
            dir.Read("Quelta.ini"));
  Statistics back;
  ASSERT_TRUE(LoadStatistics(ini, back));
  EXPECT_TRUE(back.bayesLearnAsHam == 9u && back.bayesReClassAsSpam == 6u);
}

TEST(Locations, DefaultsAndConfiguredFolders) {
  ScratchDir dir;
  const std::string plug = dir.Folder(), sep(1, os::kPathSep);
  Locations l;
  ASSERT_TRUE(LoadLocations(plug, l));
  EXPECT_EQ(plug + "Quelta.ini", l.iniFile);
  EXPECT_EQ(plug + "Logs" + sep, l.logPath);
  EXPECT_EQ(plug + "Scripts" + sep, l.scriptPath);
  for (const std::string* f : {&l.iniDir, &l.bayesDb, &l.autoWhiteList, &l.whitelist, &l.blacklist, &l.rulesDat, &l.easyPath})
    EXPECT_EQ(plug, *f);

#if defined(_WIN32)
  _putenv_s("QUELTA_TEST_VAR", "v");
#else
  setenv("QUELTA_TEST_VAR", "v", 1);
#endif
  dir.Write("Quelta.cfg",
            "[Locations]\r\nQueltaIni=%QUELTADIR%i\r\nBayesDB=%QUELTADIR%b\r\nLogPath=  %QUELTA_TEST_VAR%x  \r\n"
            "AutoWL=%NO_SUCH_QUELTA_VAR%\r\nWhitelist=%QUELTADIR%w\r\nBlacklist=%QUELTADIR%k\r\nRulesDat=%QUELTADIR%r\r\n"
            "ScriptPath=%QUELTADIR%s\r\nEasyPath=%QUELTADIR%e" + sep + "\r\n");
  ASSERT_TRUE(LoadLocations(plug, l));
  EXPECT_EQ(plug + "i" + sep + "Quelta.ini", l.iniFile);
  EXPECT_EQ("vx" + sep, l.logPath);
  EXPECT_EQ("%NO_SUCH_QUELTA_VAR%" + sep, l.autoWhiteList);
  const std::pair<const std::string*, const char*> folders[] = {
      {&l.iniDir, "i"}, {&l.bayesDb, "b"}, {&l.whitelist, "w"}, {&l.blacklist, "k"}, {&l.rulesDat, "r"},
      {&l.scriptPath, "s"}, {&l.easyPath, "e"}};
  for (const auto& [folder, name] : folders) EXPECT_EQ(plug + name + sep, *folder);
}

TEST(LanguageTable, LookUpParametersMarkersAndChoices) {
  ScratchDir dir;
  dir.Write("English.lng", "# comment\r\n  Opt|btnOk = OK  \r\nOpt|Empty=\r\nno equals sign\r\nA|b=x=y\nlast=1");
  LanguageTable t;
  EXPECT_EQ(5, t.Load(dir.File("English.lng")));
  EXPECT_EQ(" OK", t.Text("opt|BTNOK", "Ok (de)"));
  EXPECT_EQ("built-in", t.Text("Opt|Empty", "built-in"));
  EXPECT_EQ("x=y", t.Text("A|b", ""));
  EXPECT_EQ("1", t.Text("last", ""));
  EXPECT_EQ("Version %s1%", t.Text("Missing", "Version %s1%"));
  EXPECT_EQ("12%", t.Text("Missing", "%s1%$%$", "12"));
  EXPECT_EQ("a 1\r\n\t2 1", t.Text("Missing", "a %s1%%r%%n%%t%%s2% %s1%", std::string("1\x01" "2")));
  EXPECT_EQ(-1, t.Load(dir.File("none.lng")));
  EXPECT_EQ("Ok (de)", t.Text("Opt|btnOk", "Ok (de)"));  // the table was emptied
  // The choices start with the built-in German.
  dir.Write("Readme.txt", "");
  EXPECT_EQ((std::vector<std::string>{"Deutsch (intern)"}), ListLanguages(dir.File("none") + "/"));
  EXPECT_EQ((std::vector<std::string>{"Deutsch (intern)", "English"}), ListLanguages(dir.Folder()));
}

class FilterLogTest : public ::testing::Test {
 protected:
  FilterLogTest() { log.SetFolder(dir.Folder()); }
  ScratchDir dir;
  FilterLog log;
  LogOptions options;
};

TEST_F(FilterLogTest, EntriesAreWrittenAsWholeBlocks) {
  log.Write(std::string("a\0b", 3));
  log.Write("");
  log.Write("x\r\ny");
  EXPECT_EQ("a b\r\n\r\nx\r\ny\r\n", dir.Read("Filter.log"));
  log.SetFolder(dir.File("missing") + "/");
  log.Write("lost");  // a missing folder loses the entry quietly
  {
    const FilterLog::Held held(log);
    log.Write("lost too");
  }
  EXPECT_FALSE(dir.Exists("missing"));
}

// While held, the writes go through the handle opened at the first of them
// (it follows the file when renamed); once the last scope ends, a write
// opens the file of the name again.
TEST_F(FilterLogTest, AHeldLogKeepsItsFileOpenUntilTheLastScopeEnds) {
  {
    const FilterLog::Held outer(log);
    log.Write("a");
    {
      const FilterLog::Held inner(log);
      log.Write("b");
    }
    ASSERT_TRUE(os::RenameFile(dir.File("Filter.log"), dir.File("Filter_old.log")));
    log.Write("c");
  }
  log.Write("d");
  EXPECT_EQ("a\r\nb\r\nc\r\n", dir.Read("Filter_old.log"));
  EXPECT_EQ("d\r\n", dir.Read("Filter.log"));
}

TEST_F(FilterLogTest, RotationAboveTheLimitToTheTimeOfNow) {
  options.maxLogSize = 10;
  const double now = EncodeDate(2007, 3, 6) + (9 * 3600 + 14 * 60 + 59) / 86400.0;
  dir.Write("Filter.log", std::string(10, 'x'));
  log.Rotate(options, now);
  EXPECT_TRUE(dir.Exists("Filter.log"));
  dir.Write("Filter.log", std::string(11, 'y'));
  log.Rotate(options, now);
  EXPECT_FALSE(dir.Exists("Filter.log"));
  EXPECT_EQ(std::string(11, 'y'), dir.Read("Filter_070306_0914.log"));
}

TEST_F(FilterLogTest, PruningByAgeInMonths) {
  options.oldLogAge = 3;
  const double now = EncodeDate(2007, 6, 1) + 0.5;
  // 92 days are more than three months of 30.4375 days, 91 are not; a
  // stamp in the future counts by its distance too.
  for (const char* name : {"Filter_070301_1200.log", "Filter_070302_1200.log", "Filter_070910_1200.log",
                           "Filter_old.log", "Filter_070301_1200.log.bak"})
    dir.Write(name, "x");
  EXPECT_TRUE(log.DeleteOld(options, now));
  EXPECT_FALSE(dir.Exists("Filter_070301_1200.log") || dir.Exists("Filter_070910_1200.log"));
  EXPECT_TRUE(dir.Exists("Filter_070302_1200.log") && dir.Exists("Filter_old.log"));
  options.oldLogAge = 2;
  EXPECT_TRUE(log.DeleteOld(options, now));
  EXPECT_FALSE(dir.Exists("Filter_070302_1200.log"));
  for (const char* bad : {"Filter_071306_1200.log", "Filter_07x306_1200.log", "Filter_070306_12x0.log"}) {
    ScratchDir other;
    other.Write(bad, "x");
    log.SetFolder(other.Folder());
    EXPECT_FALSE(log.DeleteOld(options, now)) << bad;
    EXPECT_TRUE(other.Exists(bad));
  }
}

}  // namespace
