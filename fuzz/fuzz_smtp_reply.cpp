// Arbitrary bytes as what an SMTP server sends, arriving in pieces whose
// sizes the first byte chooses: taking replies must end without a crash,
// keep every bound, and never lose or invent bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/smtp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 64;
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const quelta::SmtpLimits limits{80, 6};
  std::string buffer;
  std::size_t fed = 0, taken = 0;
  while (fed < bytes.size()) {
    buffer += bytes.substr(fed, piece);
    fed = std::min(bytes.size(), fed + piece);
    for (;;) {
      const std::size_t before = buffer.size();
      quelta::SmtpReply reply;
      const quelta::SmtpReadStatus s = quelta::TakeSmtpReply(buffer, reply, limits);
      if (s != quelta::SmtpReadStatus::kComplete) {
        if (buffer.size() != before) std::abort();  // left as it was
        if (s != quelta::SmtpReadStatus::kNeedMore) return 0;  // the session would end here
        break;
      }
      if (reply.code < 100 || reply.code > 599 || reply.lines.empty() || reply.lines.size() > limits.maxReplyLines)
        std::abort();
      for (const auto& line : reply.lines)
        if (line.size() + 4 > limits.maxLineLength) std::abort();
      if (buffer.size() >= before) std::abort();
      taken += before - buffer.size();
    }
  }
  if (taken + buffer.size() != bytes.size()) std::abort();
  return 0;
}
