#include "net/network_checks.h"

#include <chrono>
#include <set>
#include <vector>

#include "base/ipv4.h"
#include "base/strings.h"

namespace quelta {

// ---- The real network ---------------------------------------------------------

std::string SystemNetwork::BlockListLookup(const std::string& item, const std::string& zone, int timeoutMs) {
  return quelta::BlockListLookup(item, zone, timeoutMs);
}
std::string SystemNetwork::ReverseLookup(const std::string& address, int timeoutMs) {
  return quelta::ReverseLookup(address, timeoutMs);
}
std::string SystemNetwork::MxLookup(const std::string& domain, int timeoutMs) {
  return quelta::MxLookup(domain, timeoutMs, dns_);
}
SenderVerification SystemNetwork::VerifySender(const std::string& exchanger, int timeoutMs,
                                               const std::string& address) {
  return quelta::VerifySender(exchanger, timeoutMs, address, smtp_);
}
std::int64_t SystemNetwork::ClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

namespace {

const std::string kQ = "\"";

// The items of a quoted list: pieces 2 to n of the list split at '"', n
// being the number of '"' (none when fewer than two).
std::vector<std::string> Items(const std::string& list) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t q = list.find('"', start);
    if (q == std::string::npos) break;
    pieces.push_back(list.substr(start, q - start));
    start = q + 1;
  }
  pieces.push_back(list.substr(start));
  // pieces[0] is before the first '"'; the last piece is after the last one.
  if (pieces.size() < 3) return {};
  return std::vector<std::string>(pieces.begin() + 1, pieces.end() - 1);
}

int TimeoutOf(const std::string& text, int def) {
  const std::int32_t ms = StrToIntDef(Trim(text), def);
  return ms < kMinTimeoutMs ? def : ms;
}

// DNSBL and URLBL: one loop, told apart by their line texts.
NetworkCheckResult CheckBlockList(const std::string& value, const std::string& list, bool skipReserved,
                                  const std::string& prefix, bool logging, NetworkQueries& net) {
  NetworkCheckResult r;
  const std::string zone = GetToken(value, " ", 1);
  const int timeout = TimeoutOf(GetToken(value, " ", 2), kBlockListTimeoutMs);
  const std::string what = skipReserved ? " with IP " : " with domain ";
  std::set<std::string> asked;
  for (const std::string& item : Items(list)) {
    if (item.empty() || asked.count(item) != 0) continue;
    const std::string head = prefix + "-Check: by " + zone + what + kQ + item + kQ + " - ";
    if (skipReserved && IsReservedAddress(item)) {
      if (logging) r.text += head + "skipping internal address.\r\n";
      continue;
    }
    const std::int64_t start = net.ClockMs();
    const std::string answer = net.BlockListLookup(item, zone, timeout);
    const std::string duration = std::to_string(net.ClockMs() - start);
    if (answer == "NLTO") {
      if (logging) r.text += head + "not listed or timed out. Time: " + duration + " mSec.\r\n";
      asked.insert(item);
      continue;
    }
    if (logging) r.text += head + "LISTED. Time: " + duration + " mSec.\r\n";
    r.matched = true;
    return r;
  }
  return r;
}

struct SenderDomain {
  std::string address, domain, exchanger;
  int timeout = kMxTimeoutMs;
};

SenderDomain FindSenderDomain(const std::string& value, const FieldReader& field, NetworkQueries& net) {
  SenderDomain s;
  s.timeout = TimeoutOf(GetToken(value, "|", 2), kMxTimeoutMs);
  const std::string names = GetToken(value, "|", 1);
  const int count = CountOf(names, ",") + 1;
  for (int i = 1; i <= count; ++i) {
    const std::string text = field(Trim(GetToken(names, ",", i)));
    s.address = text.substr(0, text.find('>'));
    if (!s.address.empty() && s.address[0] == '<') s.address.erase(0, 1);
    s.domain = Trim(GetToken(s.address, "@", 2));
    if (!s.domain.empty()) break;
  }
  if (!s.domain.empty()) s.exchanger = net.MxLookup(s.domain, s.timeout);
  return s;
}

}  // namespace

NetworkCheckResult CheckDnsbl(const std::string& value, const std::string& rcvIpIp,
                              const NetworkCheckOptions& options, NetworkQueries& net) {
  return CheckBlockList(value, rcvIpIp, true, "DNSBL", options.dnsblExtendedLogging, net);
}

NetworkCheckResult CheckUrlbl(const std::string& value, const std::string& urlDomainList,
                              const NetworkCheckOptions& options, NetworkQueries& net) {
  return CheckBlockList(value, urlDomainList, false, "URLBL", options.urlblExtendedLogging, net);
}

NetworkCheckResult CheckMx(const std::string& value, const FieldReader& field, const NetworkCheckOptions& options,
                           NetworkQueries& net) {
  const SenderDomain s = FindSenderDomain(value, field, net);
  NetworkCheckResult r;
  r.matched = s.exchanger.empty();
  if (options.mxCheckSavExtendedLogging)
    r.text = "MX-Check: MX-Server for " + kQ + s.domain + kQ +
             (r.matched ? " not available.\r\n" : " is " + kQ + s.exchanger + kQ + ".\r\n");
  return r;
}

NetworkCheckResult CheckSenderAddress(const std::string& value, const FieldReader& field,
                                      const NetworkCheckOptions& options, NetworkQueries& net) {
  const SenderDomain s = FindSenderDomain(value, field, net);
  const std::string listed = Trim(GetToken(value, "|", 3));
  const std::string codes = "," + (listed.empty() ? std::string("3") : listed) + ",";
  const bool logging = options.mxCheckSavExtendedLogging;
  NetworkCheckResult r;
  const std::string head = "SAV: MX-Server for " + kQ + s.domain + kQ;
  if (s.exchanger.empty()) {
    if (logging) r.text = head + " is not available.\r\n";
    r.matched = codes.find(",4,") != std::string::npos;
    return r;
  }
  if (logging) r.text = head + " is " + kQ + s.exchanger + kQ + ".\r\n";
  const SenderVerification v = net.VerifySender(s.exchanger, s.timeout, s.address);
  if (logging) r.text += "SAV: Query result is " + std::to_string(v.code) + " (" + Trim(v.text) + ").\r\n";
  r.matched = codes.find("," + std::to_string(v.code) + ",") != std::string::npos;
  return r;
}

namespace {

std::uint32_t AddressValue(const std::string& ipv4) {
  std::uint32_t v = 0;
  for (int i = 1; i <= 4; ++i) v = v << 8 | static_cast<std::uint32_t>(StrToIntDef(GetToken(ipv4, ".", i), 0));
  return v;
}

}  // namespace

bool InRange(const std::string& address, const std::string& range) {
  const std::string low = Trim(GetToken(range, "-", 1)), high = Trim(GetToken(range, "-", 2));
  if (!IsIPv4(address) || !IsIPv4(low) || !IsIPv4(high)) return false;
  const std::uint32_t a = AddressValue(address);
  return AddressValue(low) <= a && a <= AddressValue(high);
}

bool CheckIpInRange(const std::string& value, const std::string& quotedList) {
  const std::string range = Trim(value);
  // A dotted address of at least seven characters before the dash
  // (0-based index 7 is the eighth character).
  const std::size_t dash = range.find('-');
  if (dash == std::string::npos || dash < 7) return false;
  for (const std::string& item : Items(quotedList))
    if (!item.empty() && InRange(item, range)) return true;
  return false;
}

std::string CollectRcvIpHosts(const std::string& value, const std::string& rcvAllIps, NetworkQueries& net) {
  const int timeout = TimeoutOf(value, kReverseTimeoutMs);
  std::string hosts = kQ, asked = kQ;
  for (const std::string& item : Items(rcvAllIps)) {
    if (item.empty() || asked.find(kQ + item + kQ) != std::string::npos || IsReservedAddress(item)) continue;
    const std::string host = net.ReverseLookup(item, timeout);
    if (!host.empty()) hosts += host + kQ;
    asked += item + kQ;
  }
  return hosts;
}

}  // namespace quelta
