// The network rule checks against a scripted network: which look-ups they
// make, with which time-outs, what they match and the lines they report.
#include "net/network_checks.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace quelta {
namespace {

using Lines = std::vector<std::string>;

// Answers from a table by the item, address or domain asked; records every
// question with its time-out; each question takes 7 ms.
class FakeNetwork : public NetworkQueries {
 public:
  std::map<std::string, std::string> answers;
  SenderVerification verification{0, "Recipient OK"};
  Lines asked;
  std::int64_t now = 1000;

  std::string BlockListLookup(const std::string& item, const std::string& zone, int ms) override {
    return Ask("BL " + item + " " + zone, ms, item, "NLTO");
  }
  std::string ReverseLookup(const std::string& address, int ms) override { return Ask("PTR " + address, ms, address); }
  std::string MxLookup(const std::string& domain, int ms) override { return Ask("MX " + domain, ms, domain); }
  SenderVerification VerifySender(const std::string& exchanger, int ms, const std::string& address) override {
    Ask("SAV " + exchanger + " " + address, ms, "");
    return verification;
  }
  std::int64_t ClockMs() override { return now; }

 private:
  std::string Ask(const std::string& what, int ms, const std::string& key, const std::string& none = "") {
    asked.push_back(what + " " + std::to_string(ms));
    now += 7;
    return answers.count(key) ? answers[key] : none;
  }
};

TEST(NetworkChecks, BlockLists) {
  using Check = NetworkCheckResult (*)(const std::string&, const std::string&, const NetworkCheckOptions&,
                                       NetworkQueries&);
  const std::string dnsbl = "DNSBL-Check: by bl.example with IP \"";
  const std::string urlbl = "URLBL-Check: by uribl.example with domain \"";
  const std::string notListed = "\" - not listed or timed out. Time: 7 mSec.\r\n";
  const std::string listed = "\" - LISTED. Time: 7 mSec.\r\n";
  const struct {
    Check check;
    std::string value, list;
    bool matched;
    Lines asked;
    std::string text;  // "" = not checked
  } cases[] = {
      {CheckDnsbl, "bl.example", "\"10.0.0.1\"198.51.100.7\"198.51.100.7\"", false, {"BL 198.51.100.7 bl.example 250"},
       dnsbl + "10.0.0.1\" - skipping internal address.\r\n" + dnsbl + "198.51.100.7" + notListed},
      {CheckDnsbl, "bl.example 10", "\"198.51.100.7\"", false, {"BL 198.51.100.7 bl.example 250"}, ""},
      {CheckDnsbl, "bl.example abc", "\"198.51.100.7\"", false, {"BL 198.51.100.7 bl.example 250"}, ""},
      {CheckDnsbl, "bl.example 1500", "\"198.51.100.7\"", false, {"BL 198.51.100.7 bl.example 1500"}, ""},
      {CheckDnsbl, "bl.example", "\"\"203.0.113.1\"203.0.113.2\"203.0.113.3\"", true,
       {"BL 203.0.113.1 bl.example 250", "BL 203.0.113.2 bl.example 250"},
       dnsbl + "203.0.113.1" + notListed + dnsbl + "203.0.113.2" + listed},
      {CheckDnsbl, "bl.example", "", false, {}, ""},
      {CheckDnsbl, "bl.example", "\"203.0.113.1", false, {}, ""},
      {CheckUrlbl, "uribl.example 300", "\"10.0.0.1\"good.example\"203.0.113.2\"other.example\"", true,
       {"BL 10.0.0.1 uribl.example 300", "BL good.example uribl.example 300", "BL 203.0.113.2 uribl.example 300"},
       urlbl + "10.0.0.1" + notListed + urlbl + "good.example" + notListed + urlbl + "203.0.113.2" + listed},
  };
  for (const auto& c : cases) {
    FakeNetwork net;
    net.answers["203.0.113.2"] = "127.0.0.2";
    const NetworkCheckResult r = c.check(c.value, c.list, {}, net);
    EXPECT_EQ(r.matched, c.matched) << c.value << c.list;
    EXPECT_EQ(net.asked, c.asked) << c.value << c.list;
    if (!c.text.empty()) EXPECT_EQ(r.text, c.text) << c.list;
  }
}

TEST(NetworkChecks, LinesOnlyWithTheirSwitch) {
  const NetworkCheckOptions quiet{false, false, false};
  FakeNetwork net;
  net.answers["shop.example"] = "127.0.0.3";
  const FieldReader field = [](const std::string&) { return std::string("a@shop.example"); };
  EXPECT_EQ(CheckDnsbl("bl.example", "\"10.0.0.1\"198.51.100.7\"", quiet, net).text +
                CheckUrlbl("uribl.example", "\"shop.example\"", quiet, net).text +
                CheckMx("FROMADDR", field, quiet, net).text + CheckSenderAddress("FROMADDR", field, quiet, net).text,
            "");
}

TEST(NetworkChecks, MxCheck) {
  const std::map<std::string, std::string> fields = {
      {"FROMADDR", "<anna@Shop.Example >"}, {"NOAT", "anna.shop.example"}, {"REPLYTOADDR", "bert@mail.example"}};
  const FieldReader field = [&](const std::string& n) { return fields.count(n) ? fields.at(n) : std::string(); };
  const std::string found = "MX-Check: MX-Server for \"Shop.Example\" is \"mx.shop.example\".\r\n";
  using Case = std::tuple<std::string, bool, Lines, std::string>;  // value, matched, look-ups, line
  for (const auto& [value, matched, asked, line] : std::initializer_list<Case>{
      {"FROMADDR", false, {"MX Shop.Example 2000"}, found},
      {"FROMADDR|abc", false, {"MX Shop.Example 2000"}, found},
      {"NOAT", true, {}, "MX-Check: MX-Server for \"\" not available.\r\n"},
      {"EMPTY, REPLYTOADDR|3000", true, {"MX mail.example 3000"},
       "MX-Check: MX-Server for \"mail.example\" not available.\r\n"},
      {"EMPTY,NOAT|10", true, {}, "MX-Check: MX-Server for \"\" not available.\r\n"},
       }) {
    FakeNetwork net;
    net.answers["Shop.Example"] = "mx.shop.example";
    const NetworkCheckResult r = CheckMx(value, field, NetworkCheckOptions{true, true, true}, net);
    EXPECT_EQ(r.matched, matched) << value;
    EXPECT_EQ(net.asked, asked) << value;
    EXPECT_EQ(r.text, line) << value;
  }
}

TEST(NetworkChecks, SenderAddressVerification) {
  const FieldReader field = [](const std::string& n) { return n == "FROMADDR" ? "<anna@shop.example>" : "nobody"; };
  const std::string found = "SAV: MX-Server for \"shop.example\" is \"mx.shop.example\".\r\nSAV: Query result is ";
  const std::string none = "SAV: MX-Server for \"shop.example\" is not available.\r\n";
  // The check's value, what the server says, whether the domain has an exchanger, matched, the lines.
  using Case = std::tuple<std::string, SenderVerification, bool, bool, std::string>;
  for (const auto& [value, verification, hasExchanger, matched, text] : std::initializer_list<Case>{
      {"FROMADDR||2,3", {3, "550 5.1.1 unknown"}, true, true, found + "3 (550 5.1.1 unknown).\r\n"},
      {"FROMADDR||2,3", {0, "554 5.7.1 denied "}, true, false, found + "0 (554 5.7.1 denied).\r\n"},
      {"FROMADDR", {3, "550 no"}, true, true, found + "3 (550 no).\r\n"},
      {"FROMADDR", {2, "451 later"}, true, false, found + "2 (451 later).\r\n"},
      {"FROMADDR|| 1 ", {1, "Connection failed"}, true, true, found + "1 (Connection failed).\r\n"},
      {"FROMADDR||3", {3, "x"}, false, false, none},
      {"FROMADDR||3,4", {3, "x"}, false, true, none},
      {"OTHER||4", {3, "x"}, true, true, "SAV: MX-Server for \"\" is not available.\r\n"},  // no domain
       }) {
    FakeNetwork net;
    if (hasExchanger) net.answers["shop.example"] = "mx.shop.example";
    net.verification = verification;
    const NetworkCheckResult r = CheckSenderAddress(value, field, NetworkCheckOptions{true, true, true}, net);
    EXPECT_EQ(r.matched, matched) << value << " " << verification.code;
    EXPECT_EQ(r.text, text) << value;
    if (r.text.find("Query") != std::string::npos)
      EXPECT_EQ(net.asked.back(), "SAV mx.shop.example anna@shop.example 2000") << value;
  }
}

TEST(NetworkChecks, Ranges) {
  EXPECT_TRUE(InRange("192.168.10.20", "192.168.0.0-192.168.255.255") && InRange("10.0.0.1", " 10.0.0.1 - 10.0.0.1 ") &&
              InRange("200.0.0.1", "128.0.0.0-255.255.255.255"));  // unsigned comparison
  EXPECT_FALSE(InRange("192.169.0.1", "192.168.0.0-192.168.255.255") || InRange("9.255.255.255", "10.0.0.0-10.255.255.255") ||
               InRange("1.2.3", "1.0.0.0-2.0.0.0") || InRange("1.2.3.4", "1.2.3.4-5"));
  const std::string list = "\"192.169.0.1\"\"192.168.10.20\"";
  EXPECT_TRUE(CheckIpInRange(" 1.2.3.4-192.168.255.255 ", list));  // the dash at the eighth character
  EXPECT_FALSE(CheckIpInRange("192.168.0.0-192.168.9.255", list));
  EXPECT_FALSE(CheckIpInRange("1.2.3-1.2.3.9", "\"1.2.3.4\""));  // dash before the eighth character
  EXPECT_FALSE(CheckIpInRange("192.168.0.0-192.168.255.255", ""));
}

TEST(NetworkChecks, RcvIpHosts) {
  FakeNetwork net;
  net.answers["198.51.100.7"] = "relay.example";
  net.answers["198.51.100.9"] = "other.example";
  EXPECT_EQ(CollectRcvIpHosts("", "\"198.51.100.7\"10.1.2.3\"\"198.51.100.8\"198.51.100.7\"198.51.100.9\"", net),
            "\"relay.example\"other.example\"");
  EXPECT_EQ(CollectRcvIpHosts("10", "\"198.51.100.1\"", net), "\"");
  EXPECT_EQ(CollectRcvIpHosts("800", "\"198.51.100.1\"", net), "\"");
  EXPECT_EQ(net.asked, (Lines{"PTR 198.51.100.7 500", "PTR 198.51.100.8 500", "PTR 198.51.100.9 500",
                              "PTR 198.51.100.1 500", "PTR 198.51.100.1 800"}));
}

}  // namespace
}  // namespace quelta
