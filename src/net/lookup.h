// lookup: the DNS and ICMP questions asked while a message is scored or an
// update is checked, each bounded by the caller's time-out in milliseconds.
//
// Forward and reverse look-ups go through the system resolver on a worker
// thread of their own; the caller waits at most its time-out and then
// abandons the worker. The request and the result of one look-up live in a
// block shared by the caller and that worker alone (shared ownership): a
// late worker writes only into its own block, which is freed when the last
// of the two lets go, so nothing it produces can reach this or any later
// look-up. At most kMaxLookupWorkers workers exist at once; a look-up that
// would need one more fails at once (an empty result).
//
// MX look-ups send their own query (RFC 1035) over UDP and wait in the
// caller's thread; replies from another address, or with another
// identifier or question, are ignored while the time-out runs.
//
// Promises: nothing throws or logs; every failure is the empty result
// ("NLTO" for BlockListLookup, a status for EchoRequest), and a time-out
// looks the same as a negative answer. Safe to call from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace quelta {

constexpr int kMaxLookupWorkers = 64;

// The first IPv4 address of `name` in dotted form, trimmed, or "".
std::string ForwardLookup(const std::string& name, int timeoutMs);

// The host name the resolver gives for the dotted IPv4 `address`, trimmed,
// or "".
std::string ReverseLookup(const std::string& address, int timeoutMs);

// The name a block-list look-up asks for: for an IPv4 address its four
// pieces in reverse order, then "." and the zone ("192.0.2.10", "bl.example"
// -> "10.2.0.192.bl.example"); for anything else item + "." + zone.
std::string BlockListName(const std::string& item, const std::string& zone);

// ForwardLookup(BlockListName(item, zone)); any address counts as listed and
// is returned as is, "NLTO" (not listed or timed out) otherwise.
std::string BlockListLookup(const std::string& item, const std::string& zone, int timeoutMs);

// Waits up to timeoutMs until no abandoned look-up worker runs any more (to
// be called before the code is unloaded). True when none is left.
bool WaitForLookupWorkers(int timeoutMs);

// Where MxLookup sends its query; an empty address means the machine's
// first configured DNS server (os::FirstDnsServer).
struct DnsServer {
  std::string address;
  std::uint16_t port = 53;
};

// The exchange host of the lowest-preference MX record of `domain` (see
// ChooseExchange), or "" when there is none, the domain is empty or
// invalid, no server is configured, the reply does not come in time, or it
// is an error or malformed. One datagram, no retry, no second server.
std::string MxLookup(const std::string& domain, int timeoutMs, const DnsServer& server = {});

// What came back from an echo request.
struct EchoResult {
  std::string replyAddress;
  int replyTimeToLive = 0;
  int replyDataSize = 0;
  std::uint32_t roundTripMs = 0;
  // 0, or -1 when the reply's data size differs from the request's, -2 when
  // its bytes differ.
  int error = 0;
};

constexpr int kEchoMaxDataSize = 65500;
constexpr int kEchoResolveTimeoutMs = 2000;

// Sends one ICMP echo request with dataSize (capped at kEchoMaxDataSize)
// bytes of 'A' to `host` and waits at most timeoutMs. A host that is not a
// dotted IPv4 address is first replaced by ForwardLookup(host,
// kEchoResolveTimeoutMs) (an empty answer makes the request fail). Returns
// the status of os::SendEcho: 0 for a reply (then `result` is filled),
// os::kEchoNoHandle (-1) when no ICMP is possible, else the system's
// non-zero status.
std::int32_t EchoRequest(std::string& host, int dataSize, int timeoutMs, EchoResult& result);

}  // namespace quelta
