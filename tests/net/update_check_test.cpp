// The update check: its pure parts by table, the whole check against the
// loopback HTTP server's version files.
#include "net/update_check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/date_time.h"
#include "net/lookup.h"
#include "os/network.h"
#include "peers.h"

namespace quelta {
namespace {

TEST(UpdateCheck, AddressesAndHost) {
  EXPECT_EQ(UpdateBaseAddress(""), kDefaultUpdateServer);
  EXPECT_EQ(UpdateBaseAddress("  http://h.example/u  "), "http://h.example/u/");
  EXPECT_EQ(UpdateBaseAddress("http://h.example/u/"), "http://h.example/u/");
  EXPECT_EQ(UpdateHostName("HTTP://Updates.Example/x/y/"), "updates.example");
  EXPECT_EQ(UpdateHostName("https://127.0.0.1:8080/"), "127.0.0.1");
  EXPECT_EQ(UpdateHostName("h.example/"), "h.example");
}

TEST(UpdateCheck, VersionComparison) {
  struct {
    const char* running;
    const char* newest;
    bool newer;
  } const cases[] = {
      {"1.5.0.0", "1.10.0.0", true},  {"1.5.0.0", "1.5.0.0", false}, {"1.5.0.1", "1.5.0.0", false},
      {"1.5.0.0", "1.4.9.9", false},  {"1.5.0.0", "1.5.1", true},    {"1.5.0", "1.0.0.0", true},
      {"1.5.0.0", "1.5.0.0.1", true}, {"1.5.0.0", "1.5.x.0", false}, {"1.5.x.0", "1.5.0.1", true},
      {"1.5.0.0", "2.0.0.0 ", true},  {"1.0.0.9", "1.0.0.10", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsNewerVersion(c.running, c.newest), c.newer) << c.running << " " << c.newest;
}

TEST(UpdateCheck, ReleaseDateAndFirstLine) {
  double dt;
  ASSERT_TRUE(TryEncodeDateTime(2026, 2, 3, 14, 5, 0, 0, dt));
  EXPECT_EQ(ReleaseDateTime("2026-02-03 14:05", 1.0), dt);
  EXPECT_EQ(ReleaseDateTime("2026/02/03T14h05 and more", 1.0), dt);
  EXPECT_EQ(ReleaseDateTime("2026-02-30 14:05", 1.0), 1.0);
  EXPECT_EQ(ReleaseDateTime("2026-02-03 14:0", 1.0), 1.0);
  EXPECT_EQ(ReleaseDateTime("soon", 1.0), 1.0);

  struct {
    std::string body;
    bool has;
    std::string line;
  } const cases[] = {
      {"a|b\r\nc\n", true, "a|b"}, {"\n", true, ""},   {"  a|b  ", true, "a|b"},
      {"   ", false, ""},          {"", false, ""},     {"\r\r\n", true, "\r"},
  };
  for (const auto& c : cases) {
    std::string line;
    EXPECT_EQ(FirstVersionLine(c.body, line), c.has) << c.body;
    if (c.has) EXPECT_EQ(line, c.line) << c.body;
  }
}

// Records what the check does with its application.
class RecordingHost : public UpdateCheckHost {
 public:
  std::vector<std::string> log, boxes;
  double now = 46000.5;  // a fixed "now"
  double saved = -1;
  bool saveWorks = true;

  void Log(const std::string& line) override { log.push_back(line); }
  double Now() override { return now; }
  bool SaveLastUpdate(double when) override {
    saved = when;
    return saveWorks;
  }
  std::string LangText(const std::string& key, const std::string&, const std::string& params) override {
    std::string p = params;
    for (char& c : p)
      if (c == '\x01') c = ',';
    return key + "(" + p + ")";
  }
  void ShowMessage(const std::string& title, const std::string& text, bool error) override {
    boxes.push_back(title + ": " + text + (error ? " [error]" : ""));
  }
  std::string FormatDateTime(double when) override { return "DT" + std::to_string(when); }
};

UpdateCheckOptions Options(std::uint16_t port, const std::string& variant) {
  UpdateCheckOptions o;
  o.manual = true;
  o.server = "http://127.0.0.1:" + std::to_string(port) + "/" + variant;
  o.productName = "Quelta";
  o.fileVersion = "1.0.0.1";
  o.agent = "quelta-test";
  o.echoTimeoutMs = 1000;
  o.downloadTimeoutMs = 3000;
  return o;
}

// The whole check needs an echo reply from 127.0.0.1.
#define QUELTA_REQUIRE_ECHO()                                                              \
  do {                                                                                     \
    std::string h = "127.0.0.1";                                                           \
    EchoResult r;                                                                          \
    if (EchoRequest(h, 32, 1000, r) != os::kEchoSuccess)                                   \
      GTEST_SKIP() << "no ICMP echo to 127.0.0.1 is possible here (needs root or a ping group)"; \
  } while (0)

TEST(UpdateCheck, VersionFileVariants) {
  QUELTA_REQUIRE_PEER(port, "HTTP");
  QUELTA_REQUIRE_ECHO();
  double released;
  ASSERT_TRUE(TryEncodeDateTime(2026, 2, 3, 14, 5, 0, 0, released));
  RecordingHost probe;
  const std::string newer = "Quelta: A new version is available (V=1.0.0.12/D=" + probe.FormatDateTime(released) + ")";
  const std::string failed = "ERROR: Download of version information file failed!";
  struct {
    const char* variant;
    int result;
    std::vector<std::string> log;
    bool saved;
    std::vector<std::string> boxes;
  } const cases[] = {
      {"current", 1, {"Quelta: Current version is up to date."}, true, {}},
      {"newer", 2, {newer}, true, {"Quelta: Plugin|MsgUpdateText(1.0.0.12,1.0.0.1)"}},
      {"three", 2, {"Quelta: A new version is available (V=1.0.1/D=" + probe.FormatDateTime(released) + ")"}, true,
       {"Quelta: Plugin|MsgUpdateText(1.0.1,1.0.0.1)"}},
      {"baddate", 2, {"Quelta: A new version is available (V=1.0.0.2/D=" + probe.FormatDateTime(probe.now) + ")"},
       true, {"Quelta: Plugin|MsgUpdateText(1.0.0.2,1.0.0.1)"}},
      {"nopipe", 0, {"ERROR: Version information file has wrong format!"}, true, {}},
      {"lastline", 1, {"Quelta: Current version is up to date."}, true, {}},
      {"limit", 1, {"Quelta: Current version is up to date."}, true, {}},
      {"empty", 0, {failed}, false, {}},
      {"blank", 0, {failed}, false, {}},
      {"oversized", 0, {failed}, false, {}},
      {"missing", 0, {failed}, false, {}},
  };
  for (const auto& c : cases) {
    RecordingHost host;
    EXPECT_EQ(CheckForUpdate(Options(port, c.variant), host), c.result) << c.variant;
    EXPECT_EQ(host.log, c.log) << c.variant;
    EXPECT_EQ(host.saved, c.saved ? host.now : -1) << c.variant;
    EXPECT_EQ(host.boxes, c.boxes) << c.variant;
  }
}

TEST(UpdateCheck, NoBoxWithoutShowMessageAndSaveFailureGoesOn) {
  QUELTA_REQUIRE_PEER(port, "HTTP");
  QUELTA_REQUIRE_ECHO();
  RecordingHost host;
  host.saveWorks = false;
  UpdateCheckOptions o = Options(port, "newer");
  o.showMessage = false;
  EXPECT_EQ(CheckForUpdate(o, host), 2);
  ASSERT_EQ(host.log.size(), 2u);
  EXPECT_EQ(host.log[0], "ERROR: Saving of version information failed!");
  EXPECT_TRUE(host.boxes.empty());
}

TEST(UpdateCheck, IntervalOnlyHoldsTheAutomaticCheck) {
  QUELTA_REQUIRE_PEER(port, "HTTP");
  QUELTA_REQUIRE_ECHO();
  UpdateCheckOptions o = Options(port, "current");
  o.intervalDays = 3;
  RecordingHost host;
  o.lastUpdate = host.now - 2.9;
  o.manual = false;
  EXPECT_EQ(CheckForUpdate(o, host), 0);
  EXPECT_TRUE(host.log.empty());
  EXPECT_EQ(host.saved, -1);
  o.lastUpdate = host.now - 3.0;
  EXPECT_EQ(CheckForUpdate(o, host), 1);
  o.lastUpdate = host.now - 2.9;
  o.manual = true;
  EXPECT_EQ(CheckForUpdate(o, host), 1);
}

TEST(UpdateCheck, SilentServerAndUnreachableHost) {
  QUELTA_REQUIRE_PEER(silent, "HTTP_SILENT");
  QUELTA_REQUIRE_ECHO();
  RecordingHost host;
  UpdateCheckOptions o = Options(silent, "x");
  o.downloadTimeoutMs = 500;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CheckForUpdate(o, host), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(host.log, std::vector<std::string>{"ERROR: Download of version information file failed!"});

  host.log.clear();
  o.server = "http://nowhere.invalid/";
  EXPECT_EQ(CheckForUpdate(o, host), 0);
  EXPECT_EQ(host.log, std::vector<std::string>{"ERROR: Connection to version information server timed out."});
}

TEST(UpdateCheck, ManualOutcomeBoxes) {
  RecordingHost host;
  UpdateCheckOptions o;
  o.productName = "Quelta";
  o.fileVersion = "1.0.0.1";
  EXPECT_TRUE(ShowManualCheckOutcome(kUpdateCurrent, o, host));
  EXPECT_TRUE(ShowManualCheckOutcome(kUpdateNotChecked, o, host));
  EXPECT_FALSE(ShowManualCheckOutcome(kUpdateNewer, o, host));
  EXPECT_EQ(host.boxes, (std::vector<std::string>{"Quelta: Plugin|MsgCurrentText(1.0.0.1)",
                                                  "Quelta: Plugin|MsgErrorText() [error]"}));
}

}  // namespace
}  // namespace quelta
