#include "net/dns_message.h"

#include <cstddef>

#include "base/ipv4.h"
#include "base/strings.h"

namespace quelta {

namespace {

constexpr std::uint16_t kTypeCname = 5;
constexpr std::uint16_t kTypeMx = 15;
constexpr std::uint16_t kClassIn = 1;
constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kMaxNameBytes = 255;  // encoded, with length bytes and the final zero

std::string WithoutFinalDot(const std::string& name) {
  if (!name.empty() && name.back() == '.') return name.substr(0, name.size() - 1);
  return name;
}

void PutU16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v >> 8));
  out.push_back(static_cast<char>(v & 0xFF));
}

// A bounds-checked view of the datagram.
class Reader {
 public:
  explicit Reader(const std::string& msg)
      : p_(reinterpret_cast<const unsigned char*>(msg.data())), n_(msg.size()) {}

  std::size_t size() const { return n_; }
  bool U8(std::size_t at, unsigned& v) const {
    if (at >= n_) return false;
    v = p_[at];
    return true;
  }
  bool U16(std::size_t at, std::uint16_t& v) const {
    if (at > n_ || n_ - at < 2) return false;
    v = static_cast<std::uint16_t>(p_[at] << 8 | p_[at + 1]);
    return true;
  }

  // Reads the name at `pos`, whose own bytes (before any pointer) must end
  // by `limit`. `next` is the position after those bytes.
  bool Name(std::size_t pos, std::size_t limit, std::string& name, std::size_t& next) const {
    name.clear();
    if (limit > n_) limit = n_;
    std::size_t runStart = pos;  // start of the label run being read
    std::size_t encoded = 0;
    int jumps = 0;
    bool jumped = false;
    for (;;) {
      if (pos >= limit) return false;
      const unsigned len = p_[pos];
      if ((len & 0xC0) == 0xC0) {
        if (limit - pos < 2) return false;
        const std::size_t target = (static_cast<std::size_t>(len & 0x3F) << 8) | p_[pos + 1];
        // Only backwards, before the run that holds the pointer: every jump
        // lands strictly lower, so no sequence of jumps can loop.
        if (target >= runStart || ++jumps > kMaxPointerJumps) return false;
        if (!jumped) next = pos + 2;
        jumped = true;
        pos = runStart = target;
        limit = n_;
        continue;
      }
      if ((len & 0xC0) != 0) return false;  // the reserved label types
      encoded += 1 + len;
      if (encoded + 1 > kMaxNameBytes) return false;
      if (len == 0) {
        if (!jumped) next = pos + 1;
        return true;
      }
      if (limit - pos - 1 < len) return false;
      if (!name.empty()) name.push_back('.');
      name.append(reinterpret_cast<const char*>(p_ + pos + 1), len);
      pos += 1 + len;
    }
  }

 private:
  const unsigned char* p_;
  std::size_t n_;
};

bool SameName(const std::string& a, const std::string& b) { return AsciiLower(a) == AsciiLower(b); }

}  // namespace

bool BuildMxQuery(std::uint16_t id, const std::string& domain, std::string& out) {
  out.clear();
  const std::string name = WithoutFinalDot(domain);
  if (name.empty()) return false;
  std::string qname;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = name.find('.', start);
    const std::size_t len = (dot == std::string::npos ? name.size() : dot) - start;
    if (len == 0 || len > 63) return false;
    qname.push_back(static_cast<char>(len));
    qname.append(name, start, len);
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  qname.push_back('\0');
  if (qname.size() > kMaxNameBytes) return false;
  PutU16(out, id);
  PutU16(out, 0x0100);  // standard query, recursion desired
  PutU16(out, 1);       // one question
  PutU16(out, 0);
  PutU16(out, 0);
  PutU16(out, 0);
  out += qname;
  PutU16(out, kTypeMx);
  PutU16(out, kClassIn);
  return true;
}

namespace {

DnsReplyStatus ReadMxReply(const std::string& reply, std::uint16_t id, const std::string& domain,
                           std::vector<MxRecord>& records) {
  const Reader r(reply);
  std::uint16_t gotId, flags, qdCount, anCount;
  if (!r.U16(0, gotId) || !r.U16(2, flags) || !r.U16(4, qdCount) || !r.U16(6, anCount) ||
      r.size() < kHeaderSize)
    return DnsReplyStatus::kNotOurs;
  const bool isReply = (flags & 0x8000) != 0;
  const unsigned opcode = (flags >> 11) & 0x0F;
  if (gotId != id || !isReply || opcode != 0 || qdCount != 1) return DnsReplyStatus::kNotOurs;

  const std::string asked = WithoutFinalDot(domain);
  std::string qname;
  std::size_t pos = kHeaderSize;
  std::uint16_t qtype, qclass;
  if (!r.Name(pos, r.size(), qname, pos) || !r.U16(pos, qtype) || !r.U16(pos + 2, qclass) ||
      !SameName(qname, asked) || qtype != kTypeMx || qclass != kClassIn)
    return DnsReplyStatus::kNotOurs;
  pos += 4;

  if ((flags & 0x000F) != 0) return DnsReplyStatus::kError;
  const bool truncated = (flags & 0x0200) != 0;
  const auto cut = [&] { return truncated ? DnsReplyStatus::kAnswer : DnsReplyStatus::kMalformed; };

  std::vector<std::string> owners{AsciiLower(asked)};  // the domain and its aliases
  for (unsigned i = 0; i < anCount; ++i) {
    std::string owner;
    std::uint16_t type, cls, rdLength;
    if (!r.Name(pos, r.size(), owner, pos) || !r.U16(pos, type) || !r.U16(pos + 2, cls) ||
        !r.U16(pos + 8, rdLength))
      return cut();
    const std::size_t rdata = pos + 10;
    if (rdata > r.size() || r.size() - rdata < rdLength) return cut();
    const std::size_t rdEnd = rdata + rdLength;
    pos = rdEnd;
    if (cls != kClassIn) continue;
    bool ours = false;
    for (const auto& o : owners) ours = ours || o == AsciiLower(owner);
    if (!ours) continue;
    std::size_t after;
    if (type == kTypeCname) {
      std::string alias;
      if (!r.Name(rdata, rdEnd, alias, after)) return DnsReplyStatus::kMalformed;
      if (owners.size() < 16) owners.push_back(AsciiLower(alias));
    } else if (type == kTypeMx) {
      MxRecord mx;
      if (rdLength < 3 || !r.U16(rdata, mx.preference) || !r.Name(rdata + 2, rdEnd, mx.exchange, after))
        return DnsReplyStatus::kMalformed;
      records.push_back(std::move(mx));
    }
  }
  return DnsReplyStatus::kAnswer;
}

}  // namespace

DnsReplyStatus ParseMxReply(const std::string& reply, std::uint16_t id, const std::string& domain,
                            std::vector<MxRecord>& records) {
  records.clear();
  const DnsReplyStatus status = ReadMxReply(reply, id, domain, records);
  if (status != DnsReplyStatus::kAnswer) records.clear();
  return status;
}

std::string ChooseExchange(const std::vector<MxRecord>& records) {
  std::uint16_t best = 65535;
  std::string exchange;
  for (const auto& mx : records) {
    if (mx.preference < best) {
      best = mx.preference;
      exchange = mx.exchange;
    }
  }
  return exchange;
}

}  // namespace quelta
