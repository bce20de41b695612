// The binary interface as the mail client uses it: the twelve names (the
// loader binds them all), the text copy rule, the constant answers, the
// macro receiver's references, the host's data and the busy flag.
#include <thread>

#include "support/plugin_harness.h"

using harness::HostMessage;
using harness::PluginFolder;
using harness::TextReceiver;

namespace {

TEST(Exports, CopyRuleAndConstantAnswers) {
  PluginFolder f;
  f.UseRulesDat("");
  auto& p = f.Load();
  ASSERT_EQ(1, p.Initialize() & 0xFF);
  const struct { bool buffer; std::int32_t size, result; const char* copied; } cases[] = {
      {false, 0, 6, ""}, {false, 3, 6, ""}, {true, 3, 3, "Que"}, {true, 0, 0, ""},
      {true, -1, 6, ""}, {true, 16, 6, "Quelta"}};
  for (const auto& c : cases) {
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(c.result, p.GetName(c.buffer ? buf : nullptr, c.size)) << c.size;
    EXPECT_EQ(std::string(c.copied) + std::string(16 - std::strlen(c.copied), '#'), std::string(buf, 16));
  }
  EXPECT_EQ("1.0.0.1", p.Text(p.GetVersion));
  const std::string info = p.Text(p.GetInfo);
  EXPECT_EQ(0u, info.find("<html><body background=\"#f0f0e8\"><font size=5><b>Quelta</b></font><br>"));
  EXPECT_NE(std::string::npos, info.find("<font size=4><b>Version 1.0.0.1</b></font><br>"));
  EXPECT_EQ(0u, p.Text(p.GetMacroList).find("Quelta_DebugInfo\r\nQuelta_PlugPath\r\n"));
  EXPECT_EQ(0, p.GetStatus());
  EXPECT_EQ(1, p.NeedConfig());
  EXPECT_EQ(0, harness::SetupCancelled(p));
  EXPECT_EQ(0, harness::SetupCancelled(p));
  EXPECT_EQ(1, p.Finalize());
}

TEST(Exports, MacroReceiverIsReferencedForTheWholeCall) {
  PluginFolder f;
  f.UseRulesDat("");
  harness::WriteBytes(f.HostDir() / "TBPlugin.INI", "[AntiSpam]\r\nJunkScore=42\r\n");
  auto& p = f.Load();
  p.Initialize();
  TextReceiver r;  // receiver and context at once: both references count
  std::string host = f.HostDir().string();
  host += (host.find('\\') != std::string::npos || host.find(':') == 1) ? '\\' : '/';
  EXPECT_EQ(0, p.ExecMacro("Quelta_DebugInfo", 16, &r, &r));
  const std::string sep(80, '=');
  EXPECT_EQ("QUELTA DEBUG INFO\r\n" + sep + "\r\nTB! WorkDir:   " + host + "\r\nTB! SpamValue: 42\r\n" + sep + "\r\n", r.text);
  EXPECT_EQ(2, r.refsInSetText);
  const struct { const char* name; std::int32_t length, result; int calls; } cases[] = {
      {"Quelta_Test", 11, 0, 1}, {"quelta_test", 11, -1, 0}, {"Quelta_Test", 0, -1, 0}, {nullptr, 11, -1, 0}};
  for (const auto& c : cases) {
    r.calls = 0;
    r.text = "unset";
    EXPECT_EQ(c.result, p.ExecMacro(c.name, c.length, &r, &r));
    EXPECT_EQ(c.calls, r.calls);
    EXPECT_EQ(c.calls ? "" : "unset", r.text);
    EXPECT_EQ(0, r.refs);
  }
  EXPECT_EQ(0, p.ExecMacro("Quelta_PlugName", 15, &r, nullptr));
  EXPECT_EQ("Quelta", r.text);
  EXPECT_EQ(1, r.refsInSetText);
  EXPECT_EQ(0, p.ExecMacro("Quelta_PlugName", 15, nullptr, &r));
  EXPECT_EQ(0, r.refs);
  p.Finalize();
}

TEST(Exports, TheHostsDataIsFetchedInTwoCalls) {
  PluginFolder f;
  f.UseRulesDat("SUBJECT 10 SN \"x\" [no subject]\r\nTEXT 5 S \"buy\" [rendered]\r\n", "[Bayes]\r\nEnabled=0\r\n");
  auto& p = f.Load();
  p.Initialize();
  HostMessage m;
  m.raw = "Subject: x\r\n\r\nbody\r\n";
  m.text16 = std::string("B\0u\0y\0!", 7);  // a lone last byte is dropped
  EXPECT_EQ(5, p.GetSpamScore(reinterpret_cast<quelta_host::Cookie>(&m), &harness::DataRequest));
  HostMessage none;  // the host has nothing: size asked, nothing filled
  EXPECT_EQ(10, p.GetSpamScore(reinterpret_cast<quelta_host::Cookie>(&none), &harness::DataRequest));
  EXPECT_EQ(0, none.fillCalls.load());
  EXPECT_GE(none.sizeCalls.load(), 1);
  p.Finalize();
}

TEST(Exports, TheBusyFlagSerialisesScoringAndTraining) {
  PluginFolder f;
  f.UseRulesDat("SUBJECT 10 S \"x\"\r\n");
  auto& p = f.Load();
  p.Initialize();
  // The host holds the first call (cookie 1) inside the plug-in for a while;
  // the second call (cookie 2) records how far the first had come.
  static std::atomic<int> first{0}, seen{-1};
  struct Host {
    static std::int32_t QUELTA_HOST_STDCALL Request(quelta_host::Cookie c, std::int32_t, void*, std::int32_t) {
      if (c == 2) {
        seen = first.load();
        return 0;
      }
      first = 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      first = 2;
      return 0;
    }
  };
  std::thread t([&] { p.GetSpamScore(1, &Host::Request); });
  while (first.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  p.FeedSpam(2, 1, &Host::Request);
  t.join();
  EXPECT_EQ(2, seen.load());  // the second call began only after the first was done
  p.Finalize();
}

}  // namespace
