// The network rule checks against a scripted network: which look-ups they
// make, with which time-outs, what they match and the lines they report.
#include "net/network_checks.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace quelta {
namespace {

// Answers from tables, records every question; each question takes 7 ms.
class FakeNetwork : public NetworkQueries {
 public:
  std::map<std::string, std::string> listed, hosts, exchangers;
  SenderVerification verification{0, "Recipient OK"};
  std::vector<std::string> asked;
  std::int64_t now = 1000;

  std::string BlockListLookup(const std::string& item, const std::string& zone, int timeoutMs) override {
    Ask("BL " + item + " " + zone + " " + std::to_string(timeoutMs));
    auto it = listed.find(item);
    return it == listed.end() ? "NLTO" : it->second;
  }
  std::string ReverseLookup(const std::string& address, int timeoutMs) override {
    Ask("PTR " + address + " " + std::to_string(timeoutMs));
    auto it = hosts.find(address);
    return it == hosts.end() ? "" : it->second;
  }
  std::string MxLookup(const std::string& domain, int timeoutMs) override {
    Ask("MX " + domain + " " + std::to_string(timeoutMs));
    auto it = exchangers.find(domain);
    return it == exchangers.end() ? "" : it->second;
  }
  SenderVerification VerifySender(const std::string& exchanger, int timeoutMs, const std::string& address) override {
    Ask("SAV " + exchanger + " " + std::to_string(timeoutMs) + " " + address);
    return verification;
  }
  std::int64_t ClockMs() override { return now; }

 private:
  void Ask(const std::string& what) {
    asked.push_back(what);
    now += 7;
  }
};

using Lines = std::vector<std::string>;

Lines Split(const std::string& text) {
  Lines out;
  std::size_t start = 0;
  for (std::size_t p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2)
    out.push_back(text.substr(start, p - start));
  if (start != text.size()) out.push_back("unterminated: " + text.substr(start));
  return out;
}

TEST(NetworkChecks, Dnsbl) {
  struct {
    std::string value, list;
    std::map<std::string, std::string> listed;
    bool matched;
    Lines asked, text;
  } const cases[] = {
      {"bl.example",
       "\"10.0.0.1\"198.51.100.7\"198.51.100.7\"",
       {},
       false,
       {"BL 198.51.100.7 bl.example 250"},
       {"DNSBL-Check: by bl.example with IP \"10.0.0.1\" - skipping internal address.",
        "DNSBL-Check: by bl.example with IP \"198.51.100.7\" - not listed or timed out. Time: 7 mSec."}},
      {"bl.example 10", "\"198.51.100.7\"", {}, false, {"BL 198.51.100.7 bl.example 250"}, {}},
      {"bl.example abc", "\"198.51.100.7\"", {}, false, {"BL 198.51.100.7 bl.example 250"}, {}},
      {"bl.example 1500", "\"198.51.100.7\"", {}, false, {"BL 198.51.100.7 bl.example 1500"}, {}},
      {"bl.example",
       "\"\"203.0.113.1\"203.0.113.2\"203.0.113.3\"",
       {{"203.0.113.2", "127.0.0.2"}},
       true,
       {"BL 203.0.113.1 bl.example 250", "BL 203.0.113.2 bl.example 250"},
       {"DNSBL-Check: by bl.example with IP \"203.0.113.1\" - not listed or timed out. Time: 7 mSec.",
        "DNSBL-Check: by bl.example with IP \"203.0.113.2\" - LISTED. Time: 7 mSec."}},
      {"bl.example", "", {}, false, {}, {}},
      {"bl.example", "\"203.0.113.1", {}, false, {}, {}},
  };
  for (const auto& c : cases) {
    FakeNetwork net;
    net.listed = c.listed;
    const NetworkCheckResult r = CheckDnsbl(c.value, c.list, {}, net);
    EXPECT_EQ(r.matched, c.matched) << c.value << c.list;
    EXPECT_EQ(net.asked, c.asked) << c.value << c.list;
    if (c.value == "bl.example") EXPECT_EQ(Split(r.text), c.text) << c.list;
  }
}

TEST(NetworkChecks, LinesOnlyWithTheirSwitch) {
  NetworkCheckOptions quiet;
  quiet.dnsblExtendedLogging = quiet.urlblExtendedLogging = false;
  quiet.mxCheckSavExtendedLogging = false;
  FakeNetwork net;
  net.listed["shop.example"] = "127.0.0.3";
  EXPECT_TRUE(CheckDnsbl("bl.example", "\"10.0.0.1\"198.51.100.7\"", quiet, net).text.empty());
  EXPECT_TRUE(CheckUrlbl("uribl.example", "\"shop.example\"", quiet, net).text.empty());
  const FieldReader field = [](const std::string&) { return std::string("a@shop.example"); };
  EXPECT_TRUE(CheckMx("FROMADDR", field, quiet, net).text.empty());
  EXPECT_TRUE(CheckSenderAddress("FROMADDR", field, quiet, net).text.empty());
}

TEST(NetworkChecks, Urlbl) {
  FakeNetwork net;
  net.listed["bad.example"] = "127.0.0.2";
  const NetworkCheckResult r =
      CheckUrlbl("uribl.example 300", "\"10.0.0.1\"good.example\"bad.example\"other.example\"", {}, net);
  EXPECT_TRUE(r.matched);
  EXPECT_EQ(net.asked, (Lines{"BL 10.0.0.1 uribl.example 300", "BL good.example uribl.example 300",
                              "BL bad.example uribl.example 300"}));
  EXPECT_EQ(Split(r.text)[2], "URLBL-Check: by uribl.example with domain \"bad.example\" - LISTED. Time: 7 mSec.");
  EXPECT_EQ(Split(r.text)[1],
            "URLBL-Check: by uribl.example with domain \"good.example\" - not listed or timed out. Time: 7 mSec.");

  FakeNetwork none;
  EXPECT_FALSE(CheckUrlbl("uribl.example", "", {}, none).matched);
  EXPECT_TRUE(none.asked.empty());
}

NetworkCheckOptions Logging() {
  NetworkCheckOptions o;
  o.mxCheckSavExtendedLogging = true;
  return o;
}

TEST(NetworkChecks, MxCheck) {
  const std::map<std::string, std::string> fields = {
      {"FROMADDR", "<anna@Shop.Example >"}, {"NOAT", "anna.shop.example"}, {"EMPTY", ""},
      {"REPLYTOADDR", "bert@mail.example"}};
  const FieldReader field = [&](const std::string& n) {
    auto it = fields.find(n);
    return it == fields.end() ? std::string() : it->second;
  };
  struct {
    std::string value;
    bool matched;
    Lines asked;
    std::string line;
  } const cases[] = {
      {"FROMADDR", false, {"MX Shop.Example 2000"}, "MX-Check: MX-Server for \"Shop.Example\" is \"mx.shop.example\"."},
      {"NOAT", true, {}, "MX-Check: MX-Server for \"\" not available."},
      {"EMPTY, REPLYTOADDR|3000", true, {"MX mail.example 3000"}, "MX-Check: MX-Server for \"mail.example\" not available."},
      {"EMPTY,NOAT|10", true, {}, "MX-Check: MX-Server for \"\" not available."},
      {"FROMADDR|abc", false, {"MX Shop.Example 2000"}, "MX-Check: MX-Server for \"Shop.Example\" is \"mx.shop.example\"."},
  };
  for (const auto& c : cases) {
    FakeNetwork net;
    net.exchangers["Shop.Example"] = "mx.shop.example";
    const NetworkCheckResult r = CheckMx(c.value, field, Logging(), net);
    EXPECT_EQ(r.matched, c.matched) << c.value;
    EXPECT_EQ(net.asked, c.asked) << c.value;
    EXPECT_EQ(Split(r.text), Lines{c.line}) << c.value;
  }
}

TEST(NetworkChecks, SenderAddressVerification) {
  const FieldReader field = [](const std::string& n) {
    return n == "FROMADDR" ? std::string("<anna@shop.example>") : std::string("nobody");
  };
  struct {
    std::string value;
    SenderVerification verification;
    bool hasExchanger;
    bool matched;
  } const cases[] = {
      {"FROMADDR||2,3", {3, "550 5.1.1 unknown"}, true, true},
      {"FROMADDR||2,3", {0, "554 5.7.1 denied"}, true, false},
      {"FROMADDR", {3, "550 no"}, true, true},
      {"FROMADDR", {2, "451 later"}, true, false},
      {"FROMADDR|| 1 ", {1, "Connection failed"}, true, true},
      {"FROMADDR||3", {3, "x"}, false, false},
      {"FROMADDR||3,4", {3, "x"}, false, true},
      {"OTHER||4", {3, "x"}, true, true},  // no domain: no exchanger
  };
  for (const auto& c : cases) {
    FakeNetwork net;
    if (c.hasExchanger) net.exchangers["shop.example"] = "mx.shop.example";
    net.verification = c.verification;
    const NetworkCheckResult r = CheckSenderAddress(c.value, field, Logging(), net);
    EXPECT_EQ(r.matched, c.matched) << c.value << " " << c.verification.code;
    const bool asksExchanger = c.hasExchanger && c.value.rfind("FROMADDR", 0) == 0;
    if (asksExchanger) {
      EXPECT_EQ(net.asked.back(), "SAV mx.shop.example 2000 anna@shop.example") << c.value;
      EXPECT_EQ(Split(r.text), (Lines{"SAV: MX-Server for \"shop.example\" is \"mx.shop.example\".",
                                      "SAV: Query result is " + std::to_string(c.verification.code) + " (" +
                                          c.verification.text + ")."}))
          << c.value;
    } else {
      EXPECT_EQ(r.text.substr(0, 19), "SAV: MX-Server for ") << c.value;
      EXPECT_NE(r.text.find(" is not available.\r\n"), std::string::npos) << c.value;
    }
  }
}

TEST(NetworkChecks, Ranges) {
  EXPECT_TRUE(InRange("192.168.10.20", "192.168.0.0-192.168.255.255"));
  EXPECT_TRUE(InRange("10.0.0.1", " 10.0.0.1 - 10.0.0.1 "));
  EXPECT_FALSE(InRange("192.169.0.1", "192.168.0.0-192.168.255.255"));
  EXPECT_FALSE(InRange("9.255.255.255", "10.0.0.0-10.255.255.255"));
  EXPECT_TRUE(InRange("200.0.0.1", "128.0.0.0-255.255.255.255"));  // unsigned comparison
  EXPECT_FALSE(InRange("1.2.3", "1.0.0.0-2.0.0.0"));
  EXPECT_FALSE(InRange("1.2.3.4", "1.2.3.4-5"));

  const std::string list = "\"192.169.0.1\"\"192.168.10.20\"";
  EXPECT_TRUE(CheckIpInRange("192.168.0.0-192.168.255.255", list));
  EXPECT_TRUE(CheckIpInRange("  1.2.3.4 - 192.168.255.255 ", list));
  EXPECT_FALSE(CheckIpInRange("192.168.0.0-192.168.9.255", list));
  EXPECT_FALSE(CheckIpInRange("1.2.3.4-5", "\"1.2.3.4\""));
  EXPECT_FALSE(CheckIpInRange("1.2.3-1.2.3.9", "\"1.2.3.4\""));  // dash before the eighth character
  EXPECT_FALSE(CheckIpInRange("192.168.0.0-192.168.255.255", ""));
}

TEST(NetworkChecks, RcvIpHosts) {
  FakeNetwork net;
  net.hosts["198.51.100.7"] = "relay.example";
  net.hosts["198.51.100.9"] = "other.example";
  EXPECT_EQ(CollectRcvIpHosts("", "\"198.51.100.7\"10.1.2.3\"\"198.51.100.8\"198.51.100.7\"198.51.100.9\"", net),
            "\"relay.example\"other.example\"");
  EXPECT_EQ(net.asked, (Lines{"PTR 198.51.100.7 500", "PTR 198.51.100.8 500", "PTR 198.51.100.9 500"}));

  FakeNetwork silent;
  EXPECT_EQ(CollectRcvIpHosts("10", "\"198.51.100.1\"198.51.100.2\"", silent), "\"");
  EXPECT_EQ(CollectRcvIpHosts("800", "\"198.51.100.1\"", silent), "\"");
  EXPECT_EQ(silent.asked, (Lines{"PTR 198.51.100.1 500", "PTR 198.51.100.2 500", "PTR 198.51.100.1 800"}));
}

}  // namespace
}  // namespace quelta
