// dns_message: the wire format of the one DNS question the plug-in asks
// itself (RFC 1035): an MX query, and the reading of its reply.
//
// Promises: pure functions on byte strings, no I/O, no exceptions, safe on
// any thread. The reply reader treats its input as hostile: it checks every
// length against the datagram and never reads past it, follows compression
// pointers only backwards (each jump lands before the label run it came
// from) and at most kMaxPointerJumps times per name, and rejects names
// longer than 255 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quelta {

struct MxRecord {
  std::uint16_t preference = 0;
  std::string exchange;  // dotted, without the final dot; "" for the root
};

enum class DnsReplyStatus {
  kAnswer,     // the reply to our question; its MX records are in `records`
  kNotOurs,    // another identifier or question, or not a reply: ignore it
  kError,      // the reply to our question with an error code (NXDOMAIN, ...)
  kMalformed,  // the reply to our question, but its records cannot be read
};

constexpr int kMaxPointerJumps = 16;

// The query message for the MX records of `domain` (one trailing dot
// allowed) with identifier `id` and recursion desired, into `out`. False
// (and `out` empty) when the domain is empty or not a valid name: an empty
// label, a label over 63 bytes or more than 255 bytes in all.
bool BuildMxQuery(std::uint16_t id, const std::string& domain, std::string& out);

// Reads `reply` as the answer to BuildMxQuery(id, domain). The question
// must be echoed exactly once with the same name (ASCII case ignored), type
// MX and class IN. The MX records of the answer section whose owner is the
// domain (or an alias a CNAME record of the answer gave it) go to
// `records` in their order. A reply with the truncation flag keeps the
// records read before its data ends. On any other status `records` is
// empty.
DnsReplyStatus ParseMxReply(const std::string& reply, std::uint16_t id, const std::string& domain,
                            std::vector<MxRecord>& records);

// The exchange of the record with the lowest preference; the earlier record
// wins a tie, and a record with preference 65535 is never chosen. "" when
// none qualifies.
std::string ChooseExchange(const std::vector<MxRecord>& records);

}  // namespace quelta
