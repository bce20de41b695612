// The plug-in frame's own pieces: typed INI values and their defaults,
// settings and statistics round trips, the location reader, the log with
// rotation and pruning, and the language table.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "base/date_time.h"
#include "os/env.h"
#include "base/ini.h"
#include "app/language.h"
#include "app/filter_log.h"
#include "app/session.h"

namespace fs = std::filesystem;
using namespace quelta;

namespace {

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void Spit(const fs::path& p, const std::string& s) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << s;
}

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("quelta-frame-" + std::to_string(rd()));
    fs::create_directories(dir_ / "Logs");
    savedConfig_ = Plugin().Config;
    savedSettings_ = Plugin().Settings;
    savedStats_ = Plugin().Stats;
    savedJunk_ = Plugin().JunkScore;
    savedDir_ = Plugin().PluginDir;
    Plugin().Config.IniFile = Path("Quelta.ini");
    Plugin().Config.LogPath = (dir_ / "Logs").string() + os::kPathSep;
  }
  void TearDown() override {
    Plugin().Config = savedConfig_;
    Plugin().Settings = savedSettings_;
    Plugin().Stats = savedStats_;
    Plugin().JunkScore = savedJunk_;
    Plugin().PluginDir = savedDir_;
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
  Locations savedConfig_;
  PluginSettings savedSettings_;
  Statistics savedStats_;
  std::int32_t savedJunk_ = 99;
  std::string savedDir_;
};

TEST_F(Frame, TypedIniValuesFallBackToTheirDefaults) {
  const std::string ini = Path("t.ini");
  Spit(ini,
       "[Main]\r\nBreakAtScore=abc\r\nDebugMode=yes\r\nDebug2=1x\r\nNeg=-42\r\n"
       "Big=4294967295\r\nHuge=99999999999999\r\nSpaced = 17 \r\nLong=123456789012345678\r\n");
  struct IntCase {
    const char* key;
    std::int32_t def, expect;
  } ints[] = {{"BreakAtScore", 300, 300}, {"Neg", 0, -42}, {"Missing", 7, 7},
              {"Spaced", 0, 17},          {"Big", 5, 5},   {"Long", 3, 3}};
  for (const auto& c : ints) EXPECT_EQ(c.expect, ReadIniInt(ini, "main", c.key, c.def)) << c.key;
  EXPECT_FALSE(ReadIniBool(ini, "Main", "DebugMode", false));
  EXPECT_TRUE(ReadIniBool(ini, "Main", "Debug2", false));
  EXPECT_TRUE(ReadIniBool(ini, "Main", "Missing", true));
  EXPECT_EQ(4294967295u, ReadIniCounter(ini, "Main", "Big", 0));
  // A 64-bit value keeps its low 32 bits.
  EXPECT_EQ(static_cast<std::uint32_t>(99999999999999ull & 0xFFFFFFFFu),
            ReadIniCounter(ini, "Main", "Huge", 0));
}

TEST_F(Frame, SettingsLoadWithUnitsAndDefaultsAndSaveBack) {
  Plugin().JunkScore = 77;
  Spit(Path("Quelta.ini"),
       "[Main]\r\nMaxMsgSize=5\r\nMaxDataSize=7\r\nBreakAtScore=abc\r\nDebugMode=yes\r\n"
       "[Update]\r\nInterval=-4\r\nServer=http://updates.example/\r\nLastUpdate=1700000000\r\n");
  ASSERT_TRUE(LoadSettings(Plugin()));
  const PluginSettings& s = Plugin().Settings;
  EXPECT_EQ(5u * 1048576u, s.MaxMsgSize);
  EXPECT_EQ(7u * 1024u, s.MaxDataSize);
  EXPECT_EQ(32u * 1024u, s.MaxRegExpSize);
  EXPECT_EQ(300, s.BreakAtScore);
  EXPECT_FALSE(s.DebugMode);
  EXPECT_EQ(1, s.Update.Interval);
  EXPECT_EQ(77, s.AddHigherValue);     // the host's threshold by default
  EXPECT_EQ(77, s.BayesIsScoreValue);
  EXPECT_EQ(40, s.AddLowerValue);
  EXPECT_TRUE(s.EasyEnabled);
  EXPECT_FALSE(s.EasyIntern);
  EXPECT_EQ(1700000000, DateTimeToUnix(s.Update.LastUpdate));

  ASSERT_TRUE(SaveSettings(Plugin()));
  const std::string ini = Path("Quelta.ini");
  EXPECT_EQ("5", os::IniRead(ini, "Main", "MaxMsgSize", ""));
  EXPECT_EQ("7", os::IniRead(ini, "Main", "MaxDataSize", ""));
  EXPECT_EQ("300", os::IniRead(ini, "Main", "BreakAtScore", ""));
  EXPECT_EQ("0", os::IniRead(ini, "Main", "DebugMode", ""));
  // Server and LastUpdate are never written.
  EXPECT_EQ("http://updates.example/", os::IniRead(ini, "Update", "Server", ""));
  EXPECT_EQ("1700000000", os::IniRead(ini, "Update", "LastUpdate", ""));
}

TEST_F(Frame, MissingLastUpdateIsAMonthAgo) {
  ASSERT_TRUE(LoadSettings(Plugin()));
  EXPECT_NEAR(os::LocalNow() - 30.0, Plugin().Settings.Update.LastUpdate, 1.0 / 1440);
}

TEST_F(Frame, StatisticsRoundTripIncludingTheLargestCounter) {
  Spit(Path("Quelta.ini"), "[Statistics]\r\nMessagesFiltered=4294967295\r\nClassAsSpam=abc\r\n");
  ASSERT_TRUE(LoadStatistics(Plugin()));
  EXPECT_EQ(4294967295u, Plugin().Stats.MessagesFiltered);
  EXPECT_EQ(0u, Plugin().Stats.ClassAsSpam);
  Plugin().Stats.BayesLearnAsHam = 12;
  ASSERT_TRUE(SaveStatistics(Plugin()));
  const std::string text = Slurp(Path("Quelta.ini"));
  EXPECT_NE(std::string::npos, text.find("MessagesFiltered=4294967295\r\n"));
  // The counters stand in their fixed order.
  const char* order[] = {"MessagesFiltered=", "ClassAsSpam=", "ClassAsHam=",
                         "BayesMessagesChecked=", "BayesReClassAsSpam=", "BayesReClassAsHam=",
                         "BayesLearnAsSpam=", "BayesLearnAsHam=12"};
  std::size_t last = 0;
  for (const char* k : order) {
    auto at = text.find(k);
    ASSERT_NE(std::string::npos, at) << k;
    EXPECT_GE(at, last) << k;
    last = at;
  }
}

TEST_F(Frame, LocationReaderExpandsAndAppendsTheSeparator) {
  Plugin().PluginDir = Path("plug") + os::kPathSep;
#if defined(_WIN32)
  _putenv_s("QUELTA_TEST_VAR", "C:\\tmp");
#else
  setenv("QUELTA_TEST_VAR", "/tmp", 1);
#endif
  const std::string cfg = Path("Quelta.cfg");
  Spit(cfg, "[Locations]\r\nLogPath=%QUELTADIR%MyLogs\r\nBayesDB=  %QUELTA_TEST_VAR%x  \r\n"
            "AutoWL=%NO_SUCH_QUELTA_VAR%\r\nEmpty=\r\n");
  const std::string sep(1, os::kPathSep);
  EXPECT_EQ(Plugin().PluginDir + "MyLogs" + sep, ReadIniPath(cfg, "Locations", "LogPath", ""));
#if defined(_WIN32)
  EXPECT_EQ("C:\\tmpx\\", ReadIniPath(cfg, "Locations", "BayesDB", ""));
#else
  EXPECT_EQ("/tmpx/", ReadIniPath(cfg, "Locations", "BayesDB", ""));
#endif
  EXPECT_EQ("%NO_SUCH_QUELTA_VAR%" + sep, ReadIniPath(cfg, "Locations", "AutoWL", ""));
  EXPECT_EQ(sep, ReadIniPath(cfg, "Locations", "Empty", "unused"));
  EXPECT_EQ("def" + sep, ReadIniPath(cfg, "Locations", "Missing", "def"));
}

TEST_F(Frame, LogLinesAreWrittenWhole) {
  WriteLog(std::string("a\0b", 3));
  WriteLog("");
  WriteLog("x\r\ny");
  EXPECT_EQ(std::string("a b\r\n\r\nx\r\ny\r\n"), Slurp(dir_ / "Logs" / "Filter.log"));
  Plugin().Config.LogPath = Path("missing") + os::kPathSep;
  WriteLog("lost");  // a missing folder is a silent no-op
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(Frame, RotationHappensOnlyAboveTheLimit) {
  Plugin().Settings.MaxLogSize = 10;
  Spit(dir_ / "Logs" / "Filter.log", std::string(10, 'x'));
  RotateLog();
  EXPECT_TRUE(fs::exists(dir_ / "Logs" / "Filter.log"));
  Spit(dir_ / "Logs" / "Filter.log", std::string(11, 'x'));
  RotateLog();
  EXPECT_FALSE(fs::exists(dir_ / "Logs" / "Filter.log"));
  int rotated = 0;
  for (const auto& e : fs::directory_iterator(dir_ / "Logs")) {
    const std::string name = e.path().filename().string();
    EXPECT_EQ(22u, name.size()) << name;
    EXPECT_EQ(0u, name.rfind("Filter_", 0));
    ++rotated;
  }
  EXPECT_EQ(1, rotated);
}

std::string StampName(double dt) {
  int y, m, d, h, n, s, ms;
  DecodeDate(dt, y, m, d);
  DecodeTime(dt, h, n, s, ms);
  char buf[32];
  std::snprintf(buf, sizeof buf, "Filter_%02d%02d%02d_%02d%02d.log", y % 100, m, d, h, n);
  return buf;
}

TEST_F(Frame, PruningByAgeInMonths) {
  Plugin().Settings.OldLogAge = 3;
  const double now = os::LocalNow();
  const fs::path logs = dir_ / "Logs";
  const std::string old92 = StampName(now - 92), young91 = StampName(now - 91);
  Spit(logs / old92, "x");
  Spit(logs / young91, "x");
  Spit(logs / "Filter_old.log", "x");  // not 22 characters: never touched
  EXPECT_TRUE(DeleteOldLogs());
  EXPECT_FALSE(fs::exists(logs / old92));
  EXPECT_TRUE(fs::exists(logs / young91));
  EXPECT_TRUE(fs::exists(logs / "Filter_old.log"));
  // A month of 13 is no date: the scan stops with a failure.
  Spit(logs / "Filter_261306_1200.log", "x");
  EXPECT_FALSE(DeleteOldLogs());
}

TEST_F(Frame, LanguageTableLookUpAndMarkers) {
  const std::string file = Path("English.lng");
  Spit(file, "# comment\r\n  Opt|btnOk = OK  \r\nOpt|Empty=\r\nno equals sign\r\nA|b=x=y\r\n");
  LanguageTable t;
  EXPECT_EQ(4, t.Load(file));
  EXPECT_EQ(" OK", t.Text("opt|BTNOK", "Ok (de)"));
  EXPECT_EQ("built-in", t.Text("Opt|Empty", "built-in"));
  EXPECT_EQ("x=y", t.Text("A|b", ""));
  EXPECT_EQ("Version %s1%", t.Text("Missing", "Version %s1%"));
  EXPECT_EQ("12%", t.Text("Missing", "%s1%$%$", "12"));
  EXPECT_EQ("a 1\r\n\t2 1", t.Text("Missing", "a %s1%%r%%n%%t%%s2% %s1%", std::string("1\x01" "2")));
  EXPECT_EQ(-1, t.Load(Path("none.lng")));
  EXPECT_TRUE(t.Lines().empty());
}

TEST_F(Frame, LanguageListStartsWithTheBuiltInGerman) {
  const auto none = ListLanguages(Path("nolang") + os::kPathSep);
  ASSERT_EQ(1u, none.size());
  EXPECT_EQ("Deutsch (intern)", none[0]);
  fs::create_directories(dir_ / "Language");
  Spit(dir_ / "Language" / "English.lng", "");
  const auto some = ListLanguages((dir_ / "Language").string() + os::kPathSep);
  ASSERT_EQ(2u, some.size());
  EXPECT_EQ("English", some[1]);
}

}  // namespace
