// Reading SMTP replies with the bounds that cut off hostile servers, and
// sender verification against scripted SMTP servers on loopback for every
// reply case.
#include "net/smtp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/strings.h"
#include "os/network.h"
#include "peers.h"
#include "support/table.h"

namespace quelta {
namespace {

// What TakeSmtpReply makes of the bytes: "status code [text] | bytes left".
std::string Take(const std::string& bytes) {
  static const char* const kStatus[] = {"complete", "need more", "malformed", "too long"};
  std::string buffer = bytes;
  SmtpReply reply;
  const SmtpReadStatus s = TakeSmtpReply(buffer, reply, SmtpLimits{16, 3});
  return kStatus[static_cast<int>(s)] + (" " + std::to_string(reply.code)) + " [" + reply.Text() + "] | " + buffer;
}

TEST(SmtpReply, RepliesAreTakenFromTheFrontOfTheBuffer) {
  testing_support::ExpectEach(Take, {
      {"220 mx ready\r\n", "complete 220 [mx ready] | "},
      {"250-one\r\n250-two \r\n250 three\r\n354 next", "complete 250 [one\r\ntwo \r\nthree] | 354 next"},
      {"250 lf only\n250 second\n", "complete 250 [lf only] | 250 second\n"},
      {"221\r\n", "complete 221 [] | "},
      {"550-\r\n550   \r\n", "complete 550 [] | "},
      {"250-one\r\n250", "need more 0 [] | 250-one\r\n250"},
      {"", "need more 0 [] | "},
      {"25O ok\r\n", "malformed 0 [] | 25O ok\r\n"},
      {"250xok\r\n", "malformed 0 [] | 250xok\r\n"},
      {"650 ok\r\n", "malformed 0 [] | 650 ok\r\n"},
      {"\r\n", "malformed 0 [] | \r\n"},
      {"250-ok\r\nHello\r\n", "malformed 0 [] | 250-ok\r\nHello\r\n"},
      {"250 456789012345\r\n", "complete 250 [456789012345] | "},  // 16 bytes: at the bound
      {"250 4567890123456\r\n", "too long 0 [] | 250 4567890123456\r\n"},
      {"250 4567890123456", "need more 0 [] | 250 4567890123456"},  // its CR may follow
      {"250 45678901234567", "too long 0 [] | 250 45678901234567"},
      {"250-a\r\n250-b\r\n250 c\r\n", "complete 250 [a\r\nb\r\nc] | "},
      {"250-a\r\n250-b\r\n250-c\r\n", "need more 0 [] | 250-a\r\n250-b\r\n250-c\r\n"},
      {"250-a\r\n250-b\r\n250-c\r\n250 d\r\n", "too long 0 [] | 250-a\r\n250-b\r\n250-c\r\n250 d\r\n"},
  });
}

constexpr int kTimeoutMs = 400;
const std::string kHelo = "client.quelta.test";

// The command lines the scripted server received in the case's last
// session, each followed by "|".
std::string Transcript(const std::string& scenario) {
  os::TcpConnection c;
  std::string got;
  if (c.Connect("127.0.0.1", test::PeerPort("SMTP_TRANSCRIPT"), 2000) != os::IoStatus::kOk) return "?";
  c.SendAll(scenario + "\n", 2000);
  while (got.find("\n.\n") == std::string::npos && c.Receive(got, 65536, 2000) == os::IoStatus::kOk) {
  }
  got = got.substr(0, got.rfind(".\n"));
  for (char& ch : got) ch = ch == '\n' ? '|' : ch;
  return got;
}

SenderVerification Verify(std::uint16_t port, const std::string& address = "anna@shop.test",
                          const std::string& helo = kHelo) {
  SmtpOptions o;
  o.port = port;
  o.heloName = helo;
  return VerifySender("127.0.0.1", kTimeoutMs, address, o);
}

TEST(Smtp, EveryReplyCaseGivesItsCodeAndText) {
  const std::string ehlo = "EHLO " + kHelo, mail = "MAIL FROM: <anna@shop.test>", rcpt = "RCPT TO: <anna@shop.test>";
  const struct {
    const char* scenario;
    int code;
    std::string text, transcript;  // transcript: "" = not checked
  } cases[] = {
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
    const auto start = test::Clock::now();
    const SenderVerification v = Verify(port);
    // Each step waits at most the time-out: a hostile server cannot hold
    // the dialogue longer than the steps it takes part in.
    EXPECT_LT(test::MsSince(start), 5 * kTimeoutMs) << c.scenario;
    EXPECT_EQ(v.code, c.code) << c.scenario;
    EXPECT_EQ(v.text, c.text) << c.scenario;
    if (!c.transcript.empty()) EXPECT_EQ(Transcript(c.scenario), c.transcript) << c.scenario;
  }
}

TEST(Smtp, NoLineBreaksSentAndTheComputerNameGreets) {
  QUELTA_REQUIRE_PEER(port, "SMTP_OK");
  EXPECT_EQ(Verify(port, "anna@shop.test>\r\r\nRSET\n\r\n").code, 0);
  EXPECT_EQ(Transcript("OK"), "EHLO " + kHelo + "|MAIL FROM: <anna@shop.test>RSET>|RCPT TO: <anna@shop.test>RSET>|QUIT|");
  Verify(port, "anna@shop.test", "");
  std::string name = AsciiLower(os::ComputerName());
  if (name.empty()) name = os::LocalHostName();
  EXPECT_EQ(Transcript("OK").substr(0, 5 + name.size() + 1), "EHLO " + name + "|");
  const SenderVerification v = VerifySender("nowhere.invalid", 300, "anna@shop.test");
  EXPECT_EQ(v.code, 1);
  EXPECT_EQ(v.text, "Connection failed");
}

}  // namespace
}  // namespace quelta
