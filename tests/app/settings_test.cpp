// The settings key table and the statistics in "Quelta.ini": defaults,
// units, the host's threshold as a default, and what saving writes.
#include "app/settings.h"

#include <gtest/gtest.h>

#include "base/date_time.h"
#include "base/ini.h"
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
  EXPECT_EQ(5u << 20, s.maxMsgSize);
  EXPECT_EQ(7u << 10, s.message.maxDataSize);
  EXPECT_EQ(3u << 10, s.engine.maxRegExpSize);
  EXPECT_EQ(2u << 10, s.log.maxLogSize);
  EXPECT_EQ(4u, s.log.oldLogAge);
  EXPECT_EQ(300, s.engine.breakAtScore);
  EXPECT_TRUE(s.engine.debugMode);
  EXPECT_EQ(9, s.awlDays);
  EXPECT_EQ("Deutsch", s.language);
  EXPECT_EQ(11, s.bayes.maxWords);
  EXPECT_EQ(-3, s.engine.addLowerValue);
  EXPECT_FALSE(s.engine.tokenizer.noNumbersOnly);
  EXPECT_TRUE(s.easy.ruleTable);
  EXPECT_EQ(77, s.engine.addHigherValue);  // the host's threshold by default
  EXPECT_EQ(77, s.easy.bayesIsScoreValue);
  EXPECT_EQ(1, s.update.interval);
  EXPECT_EQ("http://updates.example/", s.update.server);
  EXPECT_EQ(1700000000, DateTimeToUnix(s.update.lastUpdate));

  s.update.server = "http://other.example/";
  s.update.lastUpdate = kNow;
  s.log.oldLogAge = 6;
  ASSERT_TRUE(SaveSettings(ini, s));
  EXPECT_EQ("5", ReadIniString(ini, "Main", "MaxMsgSize", ""));
  EXPECT_EQ("7", ReadIniString(ini, "Main", "MaxDataSize", ""));
  EXPECT_EQ("6", ReadIniString(ini, "Main", "OldLogAge", ""));
  EXPECT_EQ("300", ReadIniString(ini, "Main", "BreakAtScore", ""));
  EXPECT_EQ("1", ReadIniString(ini, "Update", "Interval", ""));
  // Server and LastUpdate are never written.
  EXPECT_EQ("http://updates.example/", ReadIniString(ini, "Update", "Server", ""));
  EXPECT_EQ("1700000000", ReadIniString(ini, "Update", "LastUpdate", ""));
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
  EXPECT_EQ(4294967295u, s.messagesFiltered);
  EXPECT_EQ(0u, s.classAsSpam);
  s.Add(UsageCounts{2, 3, 4, 5, 6, 7, 8, 9});  // MessagesFiltered wraps
  ASSERT_TRUE(SaveStatistics(ini, s));
  EXPECT_EQ("[Statistics]\r\nMessagesFiltered=1\r\nClassAsSpam=3\r\nClassAsHam=4\r\nBayesMessagesChecked=5\r\n"
            "BayesReClassAsSpam=6\r\nBayesReClassAsHam=7\r\nBayesLearnAsSpam=8\r\nBayesLearnAsHam=9\r\n",
            dir.Read("Quelta.ini"));
  Statistics back;
  ASSERT_TRUE(LoadStatistics(ini, back));
  EXPECT_EQ(9u, back.bayesLearnAsHam);
  EXPECT_EQ(6u, back.bayesReClassAsSpam);
}

}  // namespace
