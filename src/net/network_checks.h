// network_checks: the internal rule checks that look at the network side of
// a message: DNS block lists for the relay addresses (DNSBL) and for the
// domains of the URLs (URLBL), the sender domain's mail exchanger
// (MXCHECK), the verification of the sender address there
// (SENDERADDRVERIFY), address ranges over the relay addresses
// (RCVALLIPSINRANGE, RCVFROMIPINRANGE, RCVIPINRANGE) and the reverse
// look-ups that fill RCVIPHOSTS (GETRCVIPHOSTS).
//
// Each check is a function of the rule's value, the message's field texts,
// the logging switches and a NetworkQueries object: it returns whether it
// matched and the lines it adds to the rule's report text. Negation, chains
// and the score stay with the rule driver; no check changes the score.
//
// Promises: nothing throws; a look-up that fails or times out counts as
// "not listed", "no exchanger" or "no host" and is never reported as an
// error. Each look-up blocks for at most its time-out. Lists of addresses
// already asked live for one call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/lookup.h"
#include "net/smtp.h"

namespace quelta {

// What the checks ask the network, and the clock their durations come from.
class NetworkQueries {
 public:
  virtual ~NetworkQueries() = default;
  virtual std::string BlockListLookup(const std::string& item, const std::string& zone, int timeoutMs) = 0;
  virtual std::string ReverseLookup(const std::string& address, int timeoutMs) = 0;
  virtual std::string MxLookup(const std::string& domain, int timeoutMs) = 0;
  virtual SenderVerification VerifySender(const std::string& exchanger, int timeoutMs,
                                          const std::string& address) = 0;
  // Milliseconds on a clock that does not jump.
  virtual std::int64_t ClockMs() = 0;
};

// The real network: lookup.h and smtp.h, MX queries to `dnsServer` (by
// default the first configured one), SMTP with `smtp`.
class SystemNetwork : public NetworkQueries {
 public:
  SystemNetwork() = default;
  SystemNetwork(DnsServer dnsServer, SmtpOptions smtp) : dns_(std::move(dnsServer)), smtp_(std::move(smtp)) {}
  std::string BlockListLookup(const std::string& item, const std::string& zone, int timeoutMs) override;
  std::string ReverseLookup(const std::string& address, int timeoutMs) override;
  std::string MxLookup(const std::string& domain, int timeoutMs) override;
  SenderVerification VerifySender(const std::string& exchanger, int timeoutMs,
                                  const std::string& address) override;
  std::int64_t ClockMs() override;

 private:
  DnsServer dns_;
  SmtpOptions smtp_;
};

// The settings "DnsblExtendedLogging", "UrlblExtendedLogging" and
// "MXCheckSavExtendedLogging": without its switch a check adds no lines.
struct NetworkCheckOptions {
  bool dnsblExtendedLogging = true;
  bool urlblExtendedLogging = true;
  bool mxCheckSavExtendedLogging = false;
};

struct NetworkCheckResult {
  bool matched = false;
  std::string text;  // lines for the rule's report text, each ending in CR LF
};

// The message field of a name, as the parser's GetField gives it.
using FieldReader = std::function<std::string(const std::string& name)>;

// Default time-outs and the lower limit below which the default applies.
constexpr int kBlockListTimeoutMs = 250;
constexpr int kMxTimeoutMs = 2000;
constexpr int kReverseTimeoutMs = 500;
constexpr int kMinTimeoutMs = 25;

// DNSBL: value "zone [time-out]"; rcvIpIp is the field "RCVIPIP" (a quoted
// list). Reserved addresses are skipped, each address is asked once;
// matches at the first listed one.
NetworkCheckResult CheckDnsbl(const std::string& value, const std::string& rcvIpIp,
                              const NetworkCheckOptions& options, NetworkQueries& net);

// URLBL: as DNSBL over urlDomainList, the field "URLDOMAINLIST".
NetworkCheckResult CheckUrlbl(const std::string& value, const std::string& urlDomainList,
                              const NetworkCheckOptions& options, NetworkQueries& net);

// MXCHECK: value "FIELD[,FIELD...][|time-out]"; matches when the first
// field with a domain (after "@") has no mail exchanger.
NetworkCheckResult CheckMx(const std::string& value, const FieldReader& field, const NetworkCheckOptions& options,
                           NetworkQueries& net);

// SENDERADDRVERIFY: value "FIELD[,FIELD...][|time-out[|code,code...]]";
// matches when the verification's code (0-3, or 4 for no exchanger) is in
// the code list (default: 3).
NetworkCheckResult CheckSenderAddress(const std::string& value, const FieldReader& field,
                                      const NetworkCheckOptions& options, NetworkQueries& net);

// True when `address` is a dotted IPv4 address within `range`, "low-high"
// (blanks around either side allowed), both sides dotted IPv4 addresses.
bool InRange(const std::string& address, const std::string& range);

// RCVALLIPSINRANGE, RCVFROMIPINRANGE and RCVIPINRANGE: whether an item of
// the quoted list (RCVALLIPS, RCVFROMIP or RCVIP) is within the range in
// `value`. A value whose first "-" comes before its eighth character never
// matches.
bool CheckIpInRange(const std::string& value, const std::string& quotedList);

// GETRCVIPHOSTS: value "time-out"; returns the new value of the field
// "RCVIPHOSTS": a quoted list of the host names the reverse look-ups of the
// non-reserved addresses of rcvAllIps (the field "RCVALLIPS") gave, each
// address asked once ("\"" when none). The check itself never matches.
std::string CollectRcvIpHosts(const std::string& value, const std::string& rcvAllIps, NetworkQueries& net);

}  // namespace quelta
