// Look-ups against loopback peers: the MX query against a scripted
// responder and dnsmasq; the system-resolver look-ups (suites Resolver and
// Echo) only inside the private network namespace, where the resolver asks
// the loopback dnsmasq.
#include "net/lookup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "os/network.h"
#include "peers.h"

namespace quelta {
namespace {

using test::Clock;
using test::MsSince;

TEST(Lookup, BlockListNames) {
  EXPECT_EQ(BlockListName("192.0.2.10", "bl.example"), "10.2.0.192.bl.example");
  EXPECT_EQ(BlockListName("1.2.3", "bl.example"), "1.2.3.bl.example");
}

TEST(Lookup, MxFromAHostileResponderAndDnsmasq) {
  QUELTA_REQUIRE_PEER(port, "DNS");
  QUELTA_REQUIRE_PEER(masq, "DNSMASQ");
  const struct {
    std::uint16_t port;
    const char *domain, *exchange;
  } cases[] = {
      {port, "mx.quelta.test", "mx1.mx.quelta.test"},
      {port, "wrongid.test", "mx.wrongid.test"},  // a reply with another identifier came first
      {port, "wrongq.test", "mx.wrongq.test"},    // ... with another question
      {port, "spoof.test", "mx.spoof.test"},      // ... from another port
      {port, "tc.test", "mx1.tc.test"},           // truncated: the whole records count
      {port, "servfail.test", ""},
      {port, "garbage.test", ""},
      {port, "bad..name", ""},
      {masq, "MAIL.test.", "mx1.mail.test"},
      {masq, "pref65535.test", ""},
      {masq, "unknown.test", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(MxLookup(c.domain, 1000, {"127.0.0.1", c.port}), c.exchange) << c.domain;
}

TEST(Lookup, SilentAndLateMxServers) {
  QUELTA_REQUIRE_PEER(port, "DNS");
  const auto start = Clock::now();
  EXPECT_EQ(MxLookup("silent.test", 250, {"127.0.0.1", port}), "");
  EXPECT_LT(MsSince(start), 900);
  // The late answer goes to whoever asks next, before that one's own.
  EXPECT_EQ(MxLookup("late.test", 250, {"127.0.0.1", port}), "");
  EXPECT_EQ(MxLookup("mx.after.test", 1000, {"127.0.0.1", port}), "mx1.mx.after.test");
}

// ---- The system resolver, in the private namespace ---------------------------

// A look-up that must answer, asked again (up to three times) where it gave
// nothing within its time-out: under Wine on a busy machine a resolver call
// now and then never returns, which is what the time-out is for, and the
// next one, on a worker of its own, answers.
template <typename Lookup>
std::string Answer(Lookup lookup) {
  std::string result;
  for (int attempt = 0; attempt < 3; ++attempt) {
    result = lookup();
    if (!result.empty() && result != "NLTO") break;
  }
  return result;
}

TEST(Resolver, LookupsThroughTheConfiguredServer) {
  QUELTA_REQUIRE_PRIVATE_NETWORK();
  EXPECT_EQ(os::FirstDnsServer(), "127.0.0.1");
  EXPECT_EQ(MxLookup("mail.test", 3000), "mx1.mail.test");
  EXPECT_EQ(Answer([] { return BlockListLookup("127.0.0.2", "bl.test", 3000); }), "127.0.0.2");
  EXPECT_EQ(Answer([] { return BlockListLookup("192.0.2.10", "bl.test", 3000); }), "127.0.0.10");
  EXPECT_EQ(Answer([] { return BlockListLookup("shop.test", "uribl.test", 3000); }), "127.0.0.3");
  EXPECT_EQ(BlockListLookup("127.0.0.9", "bl.test", 3000), "NLTO");
  EXPECT_EQ(Answer([] { return ForwardLookup("relay.quelta.test", 3000); }), "127.0.0.5");
  EXPECT_EQ(ForwardLookup("", 3000), "");
  EXPECT_EQ(Answer([] { return ReverseLookup("127.0.0.5", 3000); }), "relay.quelta.test");
  EXPECT_EQ(ReverseLookup("127.0.0.9", 3000), "");
  EXPECT_EQ(ReverseLookup("not an address", 3000), "");
}

TEST(Resolver, SilentAndLateServersGiveNltoWithinTheTimeOut) {
  QUELTA_REQUIRE_PRIVATE_NETWORK();
  const auto start = Clock::now();
  EXPECT_EQ(BlockListLookup("silent", "slow.test", 250), "NLTO");
  EXPECT_LT(MsSince(start), 900);
  // The answer 127.0.0.66 comes after 700 ms, long after the caller left,
  // while the next look-up (whose server never answers) still waits.
  EXPECT_EQ(BlockListLookup("late", "slow.test", 250), "NLTO");
  EXPECT_EQ(BlockListLookup("silent", "slow.test", 800), "NLTO");
  EXPECT_EQ(Answer([] { return BlockListLookup("127.0.0.2", "bl.test", 3000); }), "127.0.0.2");
}

TEST(Resolver, AbandonedWorkersAreCapped) {
  QUELTA_REQUIRE_PRIVATE_NETWORK();
  // The resolver waits 5 s for the silent server (netns.sh's resolv.conf):
  // time enough to start every worker even on a slow, busy machine.
  if (!WaitForLookupWorkers(15000)) GTEST_SKIP() << "earlier look-ups still wait in the system resolver";
  for (int i = 0; i < kMaxLookupWorkers; ++i) EXPECT_EQ(ForwardLookup("silent.slow.test", 0), "");
  const auto start = Clock::now();
  EXPECT_EQ(ForwardLookup("relay.quelta.test", 1000), "");  // no worker left: fails at once
  EXPECT_LT(MsSince(start), 500);
  ASSERT_TRUE(WaitForLookupWorkers(15000));
  EXPECT_LT(MsSince(start), 10000);  // woken when the last worker ends, not at the time-out
  EXPECT_EQ(Answer([] { return ForwardLookup("relay.quelta.test", 3000); }), "127.0.0.5");
}

// ---- ICMP echo, in the private namespace --------------------------------------
// QUELTA_ECHO_EXPECT says what the namespace allows: "reply" (default),
// "timeout" (echo replies are switched off) or "none" (no ICMP socket of
// either kind may be opened). Under Wine the ICMP handle comes from Wine's
// network driver process, which some machines never give: the machine, not
// the code, refuses it, and the cases are skipped.
TEST(Echo, LoopbackWithCappedDataAndResolvedNames) {
  QUELTA_REQUIRE_PRIVATE_NETWORK();
#ifdef _WIN32
  os::EchoReply probe;
  if (os::SendEcho("127.0.0.1", "x", 200, probe) == os::kEchoNoHandle)
    GTEST_SKIP() << "this Wine gives no ICMP handle here (IcmpCreateFile failed)";
#endif
  const char* env = std::getenv("QUELTA_ECHO_EXPECT");
  const std::string expect = env ? env : "reply";
  std::string host = "127.0.0.1";
  EchoResult r;
  const auto start = Clock::now();
  const std::int32_t status = EchoRequest(host, 32, 500, r);
  if (expect != "reply") {
    EXPECT_EQ(status, expect == "none" ? os::kEchoNoHandle : os::kEchoTimedOut);
    if (expect == "timeout") EXPECT_GE(MsSince(start), 450);
    return;
  }
  const auto shown = [&](std::int32_t st) {  // "status address size error"
    return std::to_string(st) + " " + r.replyAddress + " " + std::to_string(r.replyDataSize) + " " + std::to_string(r.error);
  };
  const std::string ok = std::to_string(os::kEchoSuccess) + " 127.0.0.1 ";
  EXPECT_EQ(shown(status), ok + "32 0");
  EXPECT_GT(r.replyTimeToLive, 0);
  host = "localhost";
  EXPECT_EQ(shown(EchoRequest(host, 70000, 1000, r)), ok + std::to_string(kEchoMaxDataSize) + " 0");
  EXPECT_EQ(host, "127.0.0.1");
  host = "nowhere.invalid";
  EXPECT_NE(EchoRequest(host, 32, 500, r), os::kEchoSuccess);
  EXPECT_EQ(host, "");
}

}  // namespace
}  // namespace quelta
