// The update check: its pure parts by table, the whole check against the
// loopback HTTP server's version files.
#include "net/update_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "base/date_time.h"
#include "net/lookup.h"
#include "os/network.h"
#include "peers.h"
#include "support/table.h"

namespace quelta {
namespace {

using Lines = std::vector<std::string>;

TEST(UpdateCheck, AddressesVersionsDatesAndTheFirstLine) {
  testing_support::ExpectEach(UpdateBaseAddress, {{"", kDefaultUpdateServer},
                                                  {"  http://h.example/u  ", "http://h.example/u/"},
                                                  {"http://h.example/u/", "http://h.example/u/"}});
  testing_support::ExpectEach(UpdateHostName, {{"HTTP://Updates.Example/x/y/", "updates.example"},
                                               {"https://127.0.0.1:8080/", "127.0.0.1"},
                                               {"h.example/", "h.example"}});
  // "running newest" -> whether the newest is newer.
  testing_support::ExpectEach(
      [](const std::string& two) {
        const std::size_t gap = two.find(' ');
        return IsNewerVersion(two.substr(0, gap), two.substr(gap + 1)) ? "newer" : "not newer";
      },
      {{"1.5.0.0 1.10.0.0", "newer"}, {"1.5.0.0 1.5.0.0", "not newer"}, {"1.5.0.1 1.5.0.0", "not newer"},
       {"1.5.0.0 1.4.9.9", "not newer"}, {"1.5.0.0 1.5.1", "newer"}, {"1.5.0 1.0.0.0", "newer"},
       {"1.5.0.0 1.5.0.0.1", "newer"}, {"1.5.0.0 1.5.x.0", "not newer"}, {"1.5.x.0 1.5.0.1", "newer"},
       {"1.5.0.0 2.0.0.0 ", "newer"}, {"1.0.0.9 1.0.0.10", "newer"}});
  double dt;
  ASSERT_TRUE(TryEncodeDateTime(2026, 2, 3, 14, 5, 0, 0, dt));
  EXPECT_EQ(ReleaseDateTime("2026-02-03 14:05", 1.0), dt);
  EXPECT_EQ(ReleaseDateTime("2026/02/03T14h05 and more", 1.0), dt);
  for (const char* bad : {"2026-02-30 14:05", "2026-02-03 14:0", "soon"}) EXPECT_EQ(ReleaseDateTime(bad, 1.0), 1.0);

  testing_support::ExpectEach(
      [](const std::string& body) {
        std::string line;
        return FirstVersionLine(body, line) ? "[" + line + "]" : std::string("none");
      },
      {{"a|b\r\nc\n", "[a|b]"}, {"\n", "[]"}, {"  a|b  ", "[a|b]"}, {"   ", "none"}, {"", "none"}, {"\r\r\n", "[\r]"}});
}

// Records what the check does with its application.
class RecordingHost : public UpdateCheckHost {
 public:
  Lines log, boxes;
  double now = 46000.5, saved = -1;
  bool saveWorks = true;

  void Log(const std::string& line) override { log.push_back(line); }
  double Now() override { return now; }
  bool SaveLastUpdate(double when) override {
    saved = when;
    return saveWorks;
  }
  std::string LangText(const std::string& key, const std::string&, const std::string& params) override {
    std::string p = params;
    std::replace(p.begin(), p.end(), '\x01', ',');
    return key + "(" + p + ")";
  }
  void ShowMessage(const std::string& title, const std::string& text, bool error) override {
    boxes.push_back(title + ": " + text + (error ? " [error]" : ""));
  }
  std::string FormatDateTime(double when) override { return "DT" + std::to_string(when); }
};

// A manual check of http://127.0.0.1:PORT/VARIANT/ for version 1.0.0.1 of
// "Quelta", waiting 1 s for the echo and 3 s for the download.
UpdateCheckOptions Options(std::uint16_t port, const std::string& variant) {
  return {true, "http://127.0.0.1:" + std::to_string(port) + "/" + variant, 0, 3, true, "Quelta", "1.0.0.1",
          "quelta-test", 1000, 3000};
}

// The whole check needs an echo reply from 127.0.0.1.
bool EchoPossible() {
  std::string h = "127.0.0.1";
  EchoResult r;
  return EchoRequest(h, 32, 1000, r) == os::kEchoSuccess;
}
#define QUELTA_REQUIRE_ECHO() \
  if (!EchoPossible()) GTEST_SKIP() << "no ICMP echo to 127.0.0.1 is possible here (needs root or a ping group)"

TEST(UpdateCheck, VersionFileVariants) {
  QUELTA_REQUIRE_PEER(port, "HTTP");
  QUELTA_REQUIRE_ECHO();
  double released;
  ASSERT_TRUE(TryEncodeDateTime(2026, 2, 3, 14, 5, 0, 0, released));
  RecordingHost probe;
  const std::string newer = "Quelta: A new version is available (V=1.0.0.12/D=" + probe.FormatDateTime(released) + ")";
  const std::string current = "Quelta: Current version is up to date.";
  const std::string failed = "ERROR: Download of version information file failed!";
  const struct {
    const char* variant;
    bool quiet;  // no box wanted, and saving fails
    int result;
    Lines log;
    bool saved;
    Lines boxes;
  } cases[] = {
      {"current", false, 1, {current}, true, {}},
      {"newer", false, 2, {newer}, true, {"Quelta: Plugin|MsgUpdateText(1.0.0.12,1.0.0.1)"}},
      {"newer", true, 2, {"ERROR: Saving of version information failed!", newer}, true, {}},
      {"baddate", false, 2, {"Quelta: A new version is available (V=1.0.0.2/D=" + probe.FormatDateTime(probe.now) + ")"},
       true, {"Quelta: Plugin|MsgUpdateText(1.0.0.2,1.0.0.1)"}},
      {"nopipe", false, 0, {"ERROR: Version information file has wrong format!"}, true, {}},
      {"limit", false, 1, {current}, true, {}},
      {"empty", false, 0, {failed}, false, {}},
      {"oversized", false, 0, {failed}, false, {}},
      {"missing", false, 0, {failed}, false, {}},
  };
  for (const auto& c : cases) {
    RecordingHost host;
    host.saveWorks = !c.quiet;
    UpdateCheckOptions o = Options(port, c.variant);
    o.showMessage = !c.quiet;
    EXPECT_EQ(CheckForUpdate(o, host), c.result) << c.variant;
    EXPECT_EQ(host.log, c.log) << c.variant;
    EXPECT_EQ(host.saved, c.saved ? host.now : -1) << c.variant;
    EXPECT_EQ(host.boxes, c.boxes) << c.variant;
  }
}

TEST(UpdateCheck, TheIntervalHoldsOnlyTheAutomaticCheck) {
  QUELTA_REQUIRE_PEER(port, "HTTP");
  QUELTA_REQUIRE_ECHO();
  using Case = std::tuple<bool, double, int>;  // manual, days since the last check, result
  for (const auto& [manual, daysAgo, result] : {Case{false, 2.9, 0}, Case{false, 3.0, 1}, Case{true, 2.9, 1}}) {
    RecordingHost host;
    UpdateCheckOptions o = Options(port, "current");
    o.manual = manual;
    o.lastUpdate = host.now - daysAgo;
    EXPECT_EQ(CheckForUpdate(o, host), result) << manual << daysAgo;
    EXPECT_EQ(host.saved, result ? host.now : -1) << manual << daysAgo;
  }
}

TEST(UpdateCheck, SilentServerAndUnreachableHost) {
  QUELTA_REQUIRE_PEER(silent, "SMTP_SILENT");
  QUELTA_REQUIRE_ECHO();
  RecordingHost host;
  UpdateCheckOptions o = Options(silent, "x");
  o.downloadTimeoutMs = 500;
  const auto start = test::Clock::now();
  EXPECT_EQ(CheckForUpdate(o, host), 0);
  EXPECT_LT(test::MsSince(start), 3000);
  o.server = "http://nowhere.invalid/";
  EXPECT_EQ(CheckForUpdate(o, host), 0);
  EXPECT_EQ(host.log, (Lines{"ERROR: Download of version information file failed!",
                             "ERROR: Connection to version information server timed out."}));
}

TEST(UpdateCheck, ManualOutcomeBoxes) {
  RecordingHost host;
  const UpdateCheckOptions o = Options(0, "");
  EXPECT_TRUE(ShowManualCheckOutcome(kUpdateCurrent, o, host) && ShowManualCheckOutcome(kUpdateNotChecked, o, host) &&
              !ShowManualCheckOutcome(kUpdateNewer, o, host));
  EXPECT_EQ(host.boxes, (Lines{"Quelta: Plugin|MsgCurrentText(1.0.0.1)", "Quelta: Plugin|MsgErrorText() [error]"}));
}

}  // namespace
}  // namespace quelta
