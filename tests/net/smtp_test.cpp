// Sender verification against scripted SMTP servers for every reply case
// and against a real Exim, all on loopback.
#include "net/smtp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/ipv4.h"
#include "base/strings.h"
#include "os/network.h"
#include "peers.h"

namespace quelta {
namespace {

constexpr int kTimeoutMs = 400;
const std::string kHelo = "client.quelta.test";

// The command lines the scripted server received in the scenario's last
// session, joined by "|".
std::string Transcript(const std::string& scenario) {
  os::TcpConnection c;
  if (c.Connect("127.0.0.1", test::PeerPort("SMTP_TRANSCRIPT"), 2000) != os::IoStatus::kOk) return "?";
  c.SendAll(scenario + "\n", 2000);
  std::string got;
  while (got.find("\n.\n") == std::string::npos && got != ".\n" &&
         c.Receive(got, 65536, 2000) == os::IoStatus::kOk) {
  }
  got = got.substr(0, got.rfind(".\n"));
  std::string joined;
  for (char ch : got) joined += ch == '\n' ? '|' : ch;
  return joined;
}

SenderVerification Verify(std::uint16_t port, const std::string& address = "anna@shop.test") {
  SmtpOptions o;
  o.port = port;
  o.heloName = kHelo;
  return VerifySender("127.0.0.1", kTimeoutMs, address, o);
}

struct Case {
  const char* scenario;
  int code;
  std::string text;
  std::string transcript;  // "" = not checked
};

TEST(Smtp, EveryReplyCaseGivesItsCodeAndText) {
  const std::string ehlo = "EHLO " + kHelo, mail = "MAIL FROM: <anna@shop.test>", rcpt = "RCPT TO: <anna@shop.test>";
  const std::vector<Case> cases = {
      {"OK", 0, "Recipient OK", ehlo + "|" + mail + "|" + rcpt + "|QUIT|"},
      {"GREET554", 1, "554 mx.quelta.test no service here", ""},
      {"EHLO502", 0, "Recipient OK", ehlo + "|HELO " + kHelo + "|" + mail + "|" + rcpt + "|QUIT|"},
      {"HELO_FAILS", 1, "501 5.5.4 go away", ehlo + "|HELO " + kHelo + "|"},
      {"MAIL451", 2, "451 4.3.0 try again later", ehlo + "|" + mail + "|QUIT|"},
      {"RCPT550", 3, "550 5.1.1 <x> user unknown", ""},
      {"RCPT554", 0, "554 5.7.1 relay access denied", ""},
      {"MULTILINE", 3, "550 5.1.1 first line of the refusal \r\nsecond line\r\n5.1.1 last", ""},
      {"BARE_LF", 3, "550 no such user", ""},
      {"SILENT", 1, "", ""},
      {"SILENT_MAIL", 2, "", ehlo + "|" + mail + "|"},
      {"CLOSE_RCPT", 3, "", ehlo + "|" + mail + "|" + rcpt + "|"},
      {"ENDLESS", 1, "", ""},
      {"HUGE_LINE", 1, "", ""},
      {"REFUSED", 1, "Connection failed", ""},
  };
  for (const auto& c : cases) {
    QUELTA_REQUIRE_PEER(port, std::string("SMTP_") + c.scenario);
    const auto start = std::chrono::steady_clock::now();
    const SenderVerification v = Verify(port);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(v.code, c.code) << c.scenario;
    EXPECT_EQ(v.text, c.text) << c.scenario;
    // Each step waits at most the time-out: a hostile server cannot hold
    // the dialogue longer than the steps it takes part in.
    EXPECT_LT(ms, 5 * kTimeoutMs) << c.scenario;
    if (!c.transcript.empty()) EXPECT_EQ(Transcript(c.scenario), c.transcript) << c.scenario;
  }
}

TEST(Smtp, LineBreaksInTheAddressAreNotSent) {
  QUELTA_REQUIRE_PEER(port, "SMTP_OK");
  EXPECT_EQ(Verify(port, "anna@shop.test>\r\r\nRSET\n\r\n").code, 0);
  EXPECT_EQ(Transcript("OK"), "EHLO " + kHelo + "|MAIL FROM: <anna@shop.test>RSET>|RCPT TO: <anna@shop.test>RSET>|QUIT|");
}

TEST(Smtp, GreetsWithTheComputerNameInLowerCase) {
  QUELTA_REQUIRE_PEER(port, "SMTP_OK");
  SmtpOptions o;
  o.port = port;
  VerifySender("127.0.0.1", kTimeoutMs, "anna@shop.test", o);
  std::string name = AsciiLower(os::ComputerName());
  if (name.empty()) name = os::LocalHostName();
  EXPECT_EQ(Transcript("OK").substr(0, 5 + name.size() + 1), "EHLO " + name + "|");
}

TEST(Smtp, UnresolvableExchangerIsNoSession) {
  const SenderVerification v = VerifySender("nowhere.invalid", 300, "anna@shop.test");
  EXPECT_EQ(v.code, 1);
  EXPECT_EQ(v.text, "Connection failed");
}

TEST(Smtp, RealExim) {
  QUELTA_REQUIRE_PEER(port, "EXIM");
  SmtpOptions o;
  o.port = port;
  o.heloName = kHelo;
  struct {
    const char* address;
    int code;
    const char* text;
  } const cases[] = {
      {"known@quelta.test", 0, "Recipient OK"},
      {"nobody@quelta.test", 3, "550 5.1.1 unknown user"},
      {"spam@blocked.quelta.test", 2, "550 5.7.1 sender blocked"},
  };
  for (const auto& c : cases) {
    const SenderVerification v = VerifySender("127.0.0.1", 3000, c.address, o);
    EXPECT_EQ(v.code, c.code) << c.address;
    EXPECT_EQ(v.text, c.text) << c.address;
  }
}

}  // namespace
}  // namespace quelta
