// The MX query's wire format and the hostile-input-safe reading of replies.
#include "net/dns_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quelta {
namespace {

using Status = DnsReplyStatus;
constexpr std::uint16_t kId = 0x4A21;
const std::string kQName = "\xC0\x0C";  // a pointer to the question's name

std::string U16(unsigned v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }
std::string Ptr(std::size_t at) { return U16(0xC000 | static_cast<unsigned>(at)); }

std::string Name(const std::string& dotted) {
  std::string out;
  for (std::size_t start = 0, dot; start < dotted.size(); start = dot + 1) {
    dot = std::min(dotted.find('.', start), dotted.size());
    out += static_cast<char>(dot - start) + dotted.substr(start, dot - start);
  }
  return out + '\0';
}

std::string Reply(const std::vector<std::string>& answers, unsigned flags = 0x8180,
                  const std::string& qname = "shop.example", unsigned id = kId, unsigned qtype = 15) {
  std::string r = U16(id) + U16(flags) + U16(1) + U16(static_cast<unsigned>(answers.size())) + U16(0) + U16(0) +
                  Name(qname) + U16(qtype) + U16(1);
  for (const auto& a : answers) r += a;
  return r;
}

std::string Rr(const std::string& owner, unsigned type, const std::string& rdata, unsigned length = 0) {
  return owner + U16(type) + U16(1) + U16(0) + U16(60) + U16(length ? length : static_cast<unsigned>(rdata.size())) +
         rdata;
}

std::string Mx(unsigned pref, const std::string& exchange, const std::string& owner = kQName) {
  return Rr(owner, 15, U16(pref) + exchange);
}

TEST(DnsMessage, MxQueryIsOneQuestionWithRecursionDesired) {
  std::string q;
  ASSERT_TRUE(BuildMxQuery(0x1234, "Shop.Example.", q));
  EXPECT_EQ(q, U16(0x1234) + U16(0x0100) + U16(1) + U16(0) + U16(0) + U16(0) + Name("Shop.Example") + U16(15) + U16(1));
  const std::string label63(63, 'a'), name253 = label63 + "." + label63 + "." + label63 + "." + std::string(61, 'b');
  EXPECT_TRUE(BuildMxQuery(1, name253, q));
  for (const std::string& bad : {std::string(), std::string("."), std::string("a..b"), std::string(".a"),
                                 std::string(64, 'a') + ".example", name253 + "c"}) {
    EXPECT_FALSE(BuildMxQuery(1, bad, q)) << bad;
    EXPECT_TRUE(q.empty());
  }
}

TEST(DnsMessage, RepliesAreReadSafely) {
  const std::string mx1 = Name("mx1.shop.example"), mx2 = "\3mx2" + kQName;
  const std::string answer = Reply({Mx(20, mx1), Mx(10, mx2)});
  const std::size_t firstData = Reply({}).size() + 12;  // where the first record's data begins
  // A run of pointers in a record of unknown type: each points at the one
  // before, the first at the question's name; `jumps(n)` takes n in all.
  std::vector<std::size_t> at{12};
  std::string chain;
  for (int i = 1; i <= 17; ++i, at.push_back(firstData + chain.size() - 2)) chain += Ptr(at.back());
  const auto jumps = [&](int n) { return Reply({Rr(kQName, 99, chain), Mx(1, Ptr(at[n - 1]))}); };
  std::string longName;
  for (int i = 0; i < 5; ++i) longName += "\x3F" + std::string(63, 'x');
  const struct {
    const char* what;
    std::string reply;
    Status status;
    std::string exchange;  // ChooseExchange of the records read
  } cases[] = {
      {"lowest preference wins", answer, Status::kAnswer, "mx2.shop.example"},
      {"ties keep the earlier record", Reply({Mx(20, Name("a.x")), Mx(10, Name("b.x")), Mx(10, Name("c.x"))}),
       Status::kAnswer, "b.x"},
      {"65535 is never chosen", Reply({Mx(65535, mx1)}), Status::kAnswer, ""},
      {"no records", Reply({}), Status::kAnswer, ""},
      {"question in other letter case", Reply({Mx(1, mx1)}, 0x8180, "SHOP.example"), Status::kAnswer, "mx1.shop.example"},
      {"another owner's records are ignored", Reply({Mx(1, Name("evil.x"), Name("other.x")), Mx(7, mx1)}),
       Status::kAnswer, "mx1.shop.example"},
      {"an alias given by CNAME counts", Reply({Rr(kQName, 5, Name("real.x")), Mx(3, mx1, Name("real.x"))}),
       Status::kAnswer, "mx1.shop.example"},
      {"other types are skipped", Reply({Rr(kQName, 1, "\x7F\1\1\1"), Mx(4, mx1)}), Status::kAnswer, "mx1.shop.example"},
      {"other identifier", Reply({Mx(1, mx1)}, 0x8180, "shop.example", kId + 1), Status::kNotOurs, ""},
      {"not a reply", Reply({Mx(1, mx1)}, 0x0100), Status::kNotOurs, ""},
      {"other question", Reply({Mx(1, mx1)}, 0x8180, "shop.example.evil"), Status::kNotOurs, ""},
      {"other question type", Reply({Mx(1, mx1)}, 0x8180, "shop.example", kId, 1), Status::kNotOurs, ""},
      {"short header", answer.substr(0, 11), Status::kNotOurs, ""},
      {"no question", answer.substr(0, 4) + U16(0) + answer.substr(6), Status::kNotOurs, ""},
      {"name error", Reply({}, 0x8183), Status::kError, ""},
      {"server failure", Reply({Mx(1, mx1)}, 0x8182), Status::kError, ""},
      {"answer cut short", answer.substr(0, answer.size() - 3), Status::kMalformed, ""},
      {"cut short, truncation flag", Reply({Mx(20, mx1), Mx(10, mx2)}, 0x8380).substr(0, answer.size() - 3),
       Status::kAnswer, "mx1.shop.example"},
      {"record length past the datagram", Reply({Rr(kQName, 15, U16(1) + mx1, 200)}), Status::kMalformed, ""},
      {"exchange runs past its record", Reply({Rr(kQName, 15, U16(1) + "\4mx1"), Mx(5, mx1)}), Status::kMalformed, ""},
      {"too short for a preference", Reply({Rr(kQName, 15, std::string("\0\1", 2))}), Status::kMalformed, ""},
      {"pointer to its own label run", Reply({Mx(10, "\3mx3" + Ptr(firstData + 2))}), Status::kMalformed, ""},
      {"pointer forwards", Reply({Mx(1, Ptr(Reply({Mx(1, Ptr(0))}).size()))}) + Name("fwd.x"), Status::kMalformed, ""},
      {"pointer past the end", Reply({Mx(1, Ptr(0x3FFF))}), Status::kMalformed, ""},
      {"reserved label type", Reply({Mx(1, std::string("\x41x\0", 3))}), Status::kMalformed, ""},
      {"16 pointer jumps", jumps(16), Status::kAnswer, "shop.example"},
      {"17 pointer jumps", jumps(17), Status::kMalformed, ""},
      {"name over 255 bytes", Reply({Mx(1, longName + '\0')}), Status::kMalformed, ""},
  };
  for (const auto& c : cases) {
    std::vector<MxRecord> records;
    EXPECT_EQ(ParseMxReply(c.reply, kId, "shop.example", records), c.status) << c.what;
    EXPECT_EQ(ChooseExchange(records), c.exchange) << c.what;
  }
  // Every cut of a whole reply is rejected, never read as a partial answer.
  for (std::size_t n = 0; n < answer.size(); ++n) {
    std::vector<MxRecord> records;
    const Status s = ParseMxReply(answer.substr(0, n), kId, "shop.example", records);
    EXPECT_TRUE((s == Status::kNotOurs || s == Status::kMalformed) && records.empty()) << n;
  }
}

}  // namespace
}  // namespace quelta
