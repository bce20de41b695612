// Dotted IPv4 address texts and the reserved ranges the relay checks skip.
#include <gtest/gtest.h>

#include "base/ipv4.h"

namespace quelta {
namespace {

TEST(Ipv4, DottedAddresses) {
  const struct {
    const char* text;
    bool ok;
  } cases[] = {
      {"0.0.0.0", true},      {"255.255.255.255", true}, {"192.0.2.1", true},
      {"01.2.3.4", true},     {"+1.2.3.4", true},        {"1.2.3", false},
      {"1.2.3.256", false},   {"256.1.1.1", false},      {"1.2.3.4.", false},
      {"1..2.3", false},      {"a.b.c.d", false},        {" 1.2.3.4", false},
      {"1.2.3.4 ", false},    {"", false},               {"...", false},
      {"1.2.3.4.5", false},   {"1.2.3.-1", false},       {"1.2.3.99999999999", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsIPv4(c.text), c.ok) << c.text;
}

TEST(Ipv4, ReservedPrefixes) {
  const struct {
    const char* text;
    bool reserved;
  } cases[] = {
      {"10.0.0.1", true},      {"127.0.0.1", true},      {"169.254.1.1", true},
      {"172.31.5.5", true},    {"172.16.0.1", false},    {"191.255.0.1", true},
      {"192.0.0.8", true},     {"192.0.2.1", false},     {"192.168.1.1", true},
      {"223.255.255.1", true}, {"223.255.254.1", false}, {"100.1.1.1", false},
      {"1.10.0.1", false},     {"10", false},            {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsReservedAddress(c.text), c.reserved) << c.text;
}

}  // namespace
}  // namespace quelta
