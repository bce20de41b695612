// Dotted IPv4 address texts and the reserved ranges the relay checks skip.
#include <gtest/gtest.h>

#include "base/ipv4.h"

namespace quelta {
namespace {

TEST(Ipv4, DottedAddresses) {
  for (const char* ok : {"0.0.0.0", "255.255.255.255", "192.0.2.1", "01.2.3.4", "+1.2.3.4"})
    EXPECT_TRUE(IsIPv4(ok)) << ok;
  for (const char* bad : {"1.2.3", "1.2.3.256", "256.1.1.1", "1.2.3.4.", "1..2.3", "a.b.c.d", " 1.2.3.4",
                          "1.2.3.4 ", "", "...", "1.2.3.4.5", "1.2.3.-1", "1.2.3.99999999999"})
    EXPECT_FALSE(IsIPv4(bad)) << bad;
}

TEST(Ipv4, ReservedPrefixes) {
  for (const char* reserved : {"10.0.0.1", "127.0.0.1", "169.254.1.1", "172.31.5.5", "191.255.0.1",
                               "192.0.0.8", "192.168.1.1", "223.255.255.1"})
    EXPECT_TRUE(IsReservedAddress(reserved)) << reserved;
  for (const char* open : {"172.16.0.1", "192.0.2.1", "223.255.254.1", "100.1.1.1", "1.10.0.1", "10", ""})
    EXPECT_FALSE(IsReservedAddress(open)) << open;
}

}  // namespace
}  // namespace quelta
