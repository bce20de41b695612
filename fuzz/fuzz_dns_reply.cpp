// Arbitrary bytes as the reply to an MX query for "shop.example" whose
// identifier is the reply's own first two bytes (so that the reader gets
// past the identifier test): reading must end without a crash or a read
// outside the bytes, and every record it keeps must hold a name a DNS
// message can carry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/dns_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);
  const std::uint16_t id = size >= 2 ? static_cast<std::uint16_t>(data[0] << 8 | data[1]) : 0;
  std::vector<quelta::MxRecord> records;
  const quelta::DnsReplyStatus status = quelta::ParseMxReply(reply, id, "shop.example", records);
  if (status != quelta::DnsReplyStatus::kAnswer && !records.empty()) std::abort();
  for (const auto& mx : records)
    if (mx.exchange.size() > 253) std::abort();
  const std::string chosen = quelta::ChooseExchange(records);
  if (!chosen.empty() && records.empty()) std::abort();
  return 0;
}
