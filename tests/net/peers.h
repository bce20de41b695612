// The loopback peers that tests/net/peers.py starts around the network
// tests: their ports come in QUELTA_PEER_* environment variables. A test
// whose peer is missing skips with one line saying which.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace quelta::test {
using Clock = std::chrono::steady_clock;
inline long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}
inline std::uint16_t PeerPort(const std::string& name) {
  const char* v = std::getenv(("QUELTA_PEER_" + name).c_str());
  return v != nullptr ? static_cast<std::uint16_t>(std::atoi(v)) : 0;
}
}  // namespace quelta::test

#define QUELTA_REQUIRE_PEER(var, name)                                                \
  const std::uint16_t var = ::quelta::test::PeerPort(name);                           \
  if (var == 0) GTEST_SKIP() << "no loopback peer " << (name) << " (run through ctest, which starts tests/net/peers.py)"

// Inside tests/net/netns.sh's namespace the system resolver asks the
// loopback dnsmasq.
#define QUELTA_REQUIRE_PRIVATE_NETWORK()  \
  if (std::getenv("QUELTA_NETNS") == nullptr) \
  GTEST_SKIP() << "runs only in the private network namespace (ctest net_resolver)"
