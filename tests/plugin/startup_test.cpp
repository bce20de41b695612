// Start-up and shutdown seen from outside: the log lines and their order,
// locations, the start-up result, statistics written at shutdown, macros
// and the information page.
#include <regex>
#include <thread>

#include "support/plugin_harness.h"

using harness::Join;
using harness::Lines;
using harness::Normalised;
using harness::PluginFolder;

namespace {

TEST(Startup, LogLinesInOrderWithRulesDat) {
  PluginFolder f;
  f.UseRulesDat("SUBJECT 10 S \"x\" [x]\r\nFROM 5 S \"y\"\r\n");
  f.Write("SubDomains.lst", "co.uk\r\n");
  auto& p = f.Load();
  ASSERT_EQ(1, p.Initialize() & 0xFF);
  EXPECT_EQ(1, p.Finalize());
  const std::vector<std::string> expected = {
      "Quelta v1.0.0.1",
      "Quelta: Bayes word exception list not found.",
      "Quelta: Automated whitelist not found.",
      "ERROR: Whitelist not found!",
      "ERROR: Blacklist not found!",
      "Quelta: Rulesets loaded successfully (R=2).",
      "Quelta: Started at <T>.",
      "",
      "Quelta: Bayes databases not saved.",
      "Quelta: Shutdown at <T>.",
      "",
  };
  std::vector<std::string> got;
  for (const auto& l : Normalised(f.Log()))
    if (l.rfind("WARNING: Bayes", 0) != 0) got.push_back(l);  // the Bayes lines of a new database
  EXPECT_EQ(Join(expected), Join(got));
}

TEST(Startup, MissingRulesDatFailsStartUpButEasyModeDoesNot) {
  {
    PluginFolder f;
    f.Write("Quelta.ini", "[EasyMode]\r\nEnabled=0\r\n");
    auto& p = f.Load();
    EXPECT_EQ(0, p.Initialize() & 0xFF);
    p.Finalize();
    EXPECT_NE(std::string::npos, f.Log().find("ERROR: Loading of rulesets failed!\r\n"));
  }
  {
    PluginFolder f;  // easy mode is on by default; Rules.dat is not read at all
    f.Write("Rules.dat", "this is not a rule\r\n");
    auto& p = f.Load();
    EXPECT_EQ(1, p.Initialize() & 0xFF);
    p.Finalize();
    EXPECT_EQ(std::string::npos, f.Log().find("Rule file"));
    EXPECT_NE(std::string::npos, f.Log().find("Quelta: EasyMode rules loaded successfully (R="));
  }
}

TEST(Startup, LocationsFileMovesTheLog) {
  PluginFolder f;
  f.UseRulesDat("");
  fs::create_directories(f.Dir() / "MyLogs");
  f.Write("Quelta.cfg", "[Locations]\r\nLogPath=%QUELTADIR%MyLogs\r\n");
  auto& p = f.Load();
  p.Initialize();
  p.Finalize();
  EXPECT_FALSE(fs::exists(f.Dir() / "Logs" / "Filter.log"));
  const std::string log = harness::ReadBytes(f.Dir() / "MyLogs" / "Filter.log");
  EXPECT_EQ(0u, log.find("Quelta v1.0.0.1\r\n"));
}

TEST(Shutdown, StatisticsAreWrittenAndTheBlockEndsWithAnEmptyLine) {
  PluginFolder f;
  f.UseRulesDat("SUBJECT 120 S \"win\" [win]\r\n");
  auto& p = f.Load();
  p.Initialize();
  EXPECT_EQ(100, f.Score("Subject: win big\r\n\r\nbody\r\n"));
  EXPECT_EQ(0, f.Score("Subject: hello\r\n\r\nbody\r\n"));
  p.Finalize();
  const std::string ini = f.Read("Quelta.ini");
  EXPECT_NE(std::string::npos, ini.find("MessagesFiltered=2\r\n"));
  EXPECT_NE(std::string::npos, ini.find("ClassAsSpam=1\r\n"));
  EXPECT_NE(std::string::npos, ini.find("ClassAsHam=1\r\n"));
  const std::string log = f.Log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ("\r\n\r\n", log.substr(log.size() - 4));
}

TEST(Exports, JunkScoreFromTheHostAndTheDebugMacro) {
  PluginFolder f;
  f.UseRulesDat("");
  harness::WriteBytes(f.HostDir() / "TBPlugin.INI", "[AntiSpam]\r\nJunkScore=42\r\n");
  auto& p = f.Load();
  p.Initialize();
  struct Receiver : quelta_host::MacroReceiver {
    std::string text;
    int refs = 0, calls = 0;
    std::int32_t QUELTA_HOST_STDCALL QueryInterface(const void*, void**) override { return -1; }
    std::uint32_t QUELTA_HOST_STDCALL AddRef() override { return static_cast<std::uint32_t>(++refs); }
    std::uint32_t QUELTA_HOST_STDCALL Release() override { return static_cast<std::uint32_t>(--refs); }
    std::int32_t QUELTA_HOST_STDCALL SetText(std::int32_t zero, const char* t, std::int32_t n) override {
      ++calls;
      EXPECT_EQ(0, zero);
      text.assign(t, static_cast<std::size_t>(n));
      return 0;
    }
  } r, ctx;
  const std::string sep(80, '=');
  std::string host = f.HostDir().string();
  host += (host.find('\\') != std::string::npos || host.find(':') == 1) ? '\\' : '/';
  EXPECT_EQ(0, p.ExecMacro("Quelta_DebugInfo", 16, &r, &ctx));
  EXPECT_EQ("QUELTA DEBUG INFO\r\n" + sep + "\r\nTB! WorkDir:   " + host + "\r\nTB! SpamValue: 42\r\n" +
                sep + "\r\n",
            r.text);
  EXPECT_EQ(0, r.refs);
  EXPECT_EQ(0, ctx.refs);
  r.calls = 0;
  EXPECT_EQ(0, p.ExecMacro("Quelta_Test", 11, &r, &ctx));
  EXPECT_EQ(1, r.calls);
  EXPECT_EQ("", r.text);
  r.calls = 0;
  EXPECT_EQ(-1, p.ExecMacro("quelta_test", 11, &r, &ctx));
  EXPECT_EQ(-1, p.ExecMacro("Quelta_Test", 0, &r, &ctx));
  EXPECT_EQ(0, r.calls);
  EXPECT_EQ(0, r.refs);
  EXPECT_EQ(0, p.ExecMacro("Quelta_PlugName", 15, &r, nullptr));
  EXPECT_EQ("Quelta", r.text);
  EXPECT_EQ(0, p.ExecMacro("Quelta_LoadedRules", 18, &r, nullptr));
  EXPECT_EQ("0", r.text);

  const std::string list = p.Text(p.GetMacroList);
  EXPECT_EQ(0u, list.find("Quelta_DebugInfo\r\nQuelta_PlugPath\r\n"));
  EXPECT_EQ(18u, Lines(list).size());
  EXPECT_EQ("Quelta_Test", Lines(list).back());

  const std::string info = p.Text(p.GetInfo);
  EXPECT_EQ(0u, info.find("<html><body background=\"#f0f0e8\"><font size=5><b>Quelta</b></font><br>"));
  EXPECT_NE(std::string::npos, info.find("<font size=4><b>Version 1.0.0.1</b></font><br>"));
  EXPECT_EQ("</body></html>", info.substr(info.size() - 14));
  p.Finalize();
}

TEST(Exports, TheBusyFlagSerialisesScoring) {
  PluginFolder f;
  f.UseRulesDat("SUBJECT 10 S \"x\"\r\n");
  auto& p = f.Load();
  p.Initialize();
  // A host callback that holds the first call inside the plug-in for a while.
  struct Slow {
    static std::int32_t QUELTA_HOST_STDCALL Request(quelta_host::Cookie c, std::int32_t item,
                                                    void* buf, std::int32_t size) {
      auto* flag = reinterpret_cast<std::atomic<int>*>(c);
      static const std::string raw = "Subject: x\r\n\r\nbody\r\n";
      if (item != 100005) return 0;
      if (!buf) {
        flag->store(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        flag->store(2);
        return static_cast<std::int32_t>(raw.size());
      }
      std::memcpy(buf, raw.data(), raw.size());
      return static_cast<std::int32_t>(raw.size());
    }
  };
  std::atomic<int> first{0};
  std::thread t([&] { p.GetSpamScore(reinterpret_cast<quelta_host::Cookie>(&first), &Slow::Request); });
  while (first.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  int stateSeen = -1;
  struct Probe {
    static std::int32_t QUELTA_HOST_STDCALL Request(quelta_host::Cookie c, std::int32_t item, void*,
                                                    std::int32_t) {
      auto* pair = reinterpret_cast<std::pair<std::atomic<int>*, int*>*>(c);
      if (item == 100005) *pair->second = pair->first->load();
      return 0;
    }
  };
  std::pair<std::atomic<int>*, int*> probe{&first, &stateSeen};
  p.GetSpamScore(reinterpret_cast<quelta_host::Cookie>(&probe), &Probe::Request);
  t.join();
  EXPECT_EQ(2, stateSeen);  // the second call began only after the first was done
  p.Finalize();
}

TEST(Exports, SetupReturnsZero) {
  PluginFolder f;
  f.UseRulesDat("");
  auto& p = f.Load();
  p.Initialize();
  EXPECT_EQ(0, p.Setup());
  EXPECT_EQ(0, p.Setup());
  p.Finalize();
}

}  // namespace
