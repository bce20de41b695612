// The MX query's wire format and the hostile-input-safe reading of replies.
#include "net/dns_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quelta {
namespace {

std::string U16(unsigned v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }

std::string Name(const std::string& dotted) {
  std::string out;
  std::size_t start = 0;
  while (start < dotted.size()) {
    std::size_t dot = dotted.find('.', start);
    if (dot == std::string::npos) dot = dotted.size();
    out += static_cast<char>(dot - start);
    out += dotted.substr(start, dot - start);
    start = dot + 1;
  }
  return out + '\0';
}

constexpr std::uint16_t kId = 0x4A21;
const std::string kPtrToQuestion = "\xC0\x0C";  // the question's name

// A reply to the MX query for `qname` with the given answer records.
std::string Reply(const std::vector<std::string>& answers, unsigned flags = 0x8180,
                  const std::string& qname = "shop.example", std::uint16_t id = kId,
                  unsigned qtype = 15) {
  std::string r = U16(id) + U16(flags) + U16(1) + U16(static_cast<unsigned>(answers.size())) + U16(0) +
                  U16(0) + Name(qname) + U16(qtype) + U16(1);
  for (const auto& a : answers) r += a;
  return r;
}

std::string Rr(const std::string& owner, unsigned type, const std::string& rdata) {
  return owner + U16(type) + U16(1) + std::string("\0\0\0\x3C", 4) + U16(static_cast<unsigned>(rdata.size())) +
         rdata;
}

std::string Mx(unsigned pref, const std::string& exchangeWire, const std::string& owner = kPtrToQuestion) {
  return Rr(owner, 15, U16(pref) + exchangeWire);
}

TEST(DnsMessage, MxQueryIsOneQuestionWithRecursionDesired) {
  std::string q;
  ASSERT_TRUE(BuildMxQuery(0x1234, "Shop.Example.", q));
  EXPECT_EQ(q, U16(0x1234) + U16(0x0100) + U16(1) + U16(0) + U16(0) + U16(0) + Name("Shop.Example") +
                   U16(15) + U16(1));
}

TEST(DnsMessage, MxQueryRejectsNamesThatCannotBeEncoded) {
  const std::string label63(63, 'a');
  const std::string name253 = label63 + "." + label63 + "." + label63 + "." + std::string(61, 'b');
  std::string q;
  EXPECT_TRUE(BuildMxQuery(1, label63 + ".example", q));
  EXPECT_TRUE(BuildMxQuery(1, name253, q));
  for (const std::string& bad : std::vector<std::string>{"", ".", "a..b", ".a", std::string(64, 'a') + ".example", name253 + "c"}) {
    EXPECT_FALSE(BuildMxQuery(1, bad, q)) << bad;
    EXPECT_TRUE(q.empty());
  }
}

struct ReplyCase {
  const char* what;
  std::string reply;
  DnsReplyStatus status;
  std::string exchange;  // ChooseExchange of the records read
};

std::string Ptr(std::size_t target) {
  return {static_cast<char>(0xC0 | (target >> 8)), static_cast<char>(target & 0xFF)};
}

std::vector<ReplyCase> ReplyCases() {
  const std::string mx1 = Name("mx1.shop.example");
  // The exchange "mx2" + the question's name, through a pointer.
  const std::string mx2 = std::string("\3mx2") + kPtrToQuestion;
  const std::string answer = Reply({Mx(20, mx1), Mx(10, mx2)});
  // Where the data of the first answer record begins.
  const std::size_t firstData = Reply({}).size() + 12;
  const std::string selfPointer = Reply({Mx(10, "\3mx3" + Ptr(firstData + 2))});
  const std::string forward =
      Reply({Mx(1, Ptr(Reply({Mx(1, Ptr(0))}).size()))}) + Name("fwd.example");
  // A run of pointers kept in the data of a record of unknown type: pointer
  // i (from 1) points at pointer i - 1, pointer 1 at the question's name.
  std::vector<std::size_t> at{12};
  std::string chain;
  for (int i = 1; i <= 17; ++i) {
    chain += Ptr(at.back());
    at.push_back(firstData + chain.size() - 2);
  }
  const auto jumps = [&](int n) {  // n jumps in all: the exchange's own and n - 1 in the chain
    return Reply({Rr(kPtrToQuestion, 99, chain), Mx(1, Ptr(at[static_cast<std::size_t>(n - 1)]))});
  };
  std::string longName;
  for (int i = 0; i < 5; ++i) longName += "\x3F" + std::string(63, 'x');
  const std::string ttl("\0\0\0\x3C", 4);

  return {
      {"lowest preference wins", answer, DnsReplyStatus::kAnswer, "mx2.shop.example"},
      {"ties keep the earlier record",
       Reply({Mx(20, Name("a.example")), Mx(10, Name("b.example")), Mx(10, Name("c.example"))}),
       DnsReplyStatus::kAnswer, "b.example"},
      {"65535 is never chosen", Reply({Mx(65535, mx1)}), DnsReplyStatus::kAnswer, ""},
      {"no records", Reply({}), DnsReplyStatus::kAnswer, ""},
      {"question in other letter case", Reply({Mx(1, mx1)}, 0x8180, "SHOP.example"), DnsReplyStatus::kAnswer,
       "mx1.shop.example"},
      {"records of another owner are ignored",
       Reply({Mx(1, Name("evil.example"), Name("other.example")), Mx(7, mx1)}), DnsReplyStatus::kAnswer,
       "mx1.shop.example"},
      {"an alias given by CNAME counts",
       Reply({Rr(kPtrToQuestion, 5, Name("real.example")), Mx(3, mx1, Name("real.example"))}),
       DnsReplyStatus::kAnswer, "mx1.shop.example"},
      {"other record types are skipped", Reply({Rr(kPtrToQuestion, 1, std::string("\x7F\0\0\1", 4)), Mx(4, mx1)}),
       DnsReplyStatus::kAnswer, "mx1.shop.example"},
      {"other identifier", Reply({Mx(1, mx1)}, 0x8180, "shop.example", kId + 1), DnsReplyStatus::kNotOurs, ""},
      {"not a reply", Reply({Mx(1, mx1)}, 0x0100), DnsReplyStatus::kNotOurs, ""},
      {"other question", Reply({Mx(1, mx1)}, 0x8180, "shop.example.evil"), DnsReplyStatus::kNotOurs, ""},
      {"other question type", Reply({Mx(1, mx1)}, 0x8180, "shop.example", kId, 1), DnsReplyStatus::kNotOurs, ""},
      {"short header", answer.substr(0, 11), DnsReplyStatus::kNotOurs, ""},
      {"no question", answer.substr(0, 4) + U16(0) + answer.substr(6), DnsReplyStatus::kNotOurs, ""},
      {"name error", Reply({}, 0x8183), DnsReplyStatus::kError, ""},
      {"server failure", Reply({Mx(1, mx1)}, 0x8182), DnsReplyStatus::kError, ""},
      {"answer cut short", answer.substr(0, answer.size() - 3), DnsReplyStatus::kMalformed, ""},
      {"answer cut short, truncation flag", Reply({Mx(20, mx1), Mx(10, mx2)}, 0x8380).substr(0, answer.size() - 3),
       DnsReplyStatus::kAnswer, "mx1.shop.example"},
      {"record length past the datagram", Reply({kPtrToQuestion + U16(15) + U16(1) + ttl + U16(200) + U16(1) + mx1}),
       DnsReplyStatus::kMalformed, ""},
      {"exchange runs past its record", Reply({Rr(kPtrToQuestion, 15, U16(1) + "\4mx1"), Mx(5, mx1)}),
       DnsReplyStatus::kMalformed, ""},
      {"record too short for a preference", Reply({Rr(kPtrToQuestion, 15, std::string("\0\1", 2))}),
       DnsReplyStatus::kMalformed, ""},
      {"pointer to its own label run", selfPointer, DnsReplyStatus::kMalformed, ""},
      {"pointer forwards", forward, DnsReplyStatus::kMalformed, ""},
      {"pointer past the end", Reply({Mx(1, Ptr(0x3FFF))}), DnsReplyStatus::kMalformed, ""},
      {"reserved label type", Reply({Mx(1, std::string("\x41x\0", 3))}), DnsReplyStatus::kMalformed, ""},
      {"16 pointer jumps", jumps(16), DnsReplyStatus::kAnswer, "shop.example"},
      {"17 pointer jumps", jumps(17), DnsReplyStatus::kMalformed, ""},
      {"name over 255 bytes", Reply({Mx(1, longName + '\0')}), DnsReplyStatus::kMalformed, ""},
  };
}

TEST(DnsMessage, RepliesAreReadSafely) {
  for (const auto& c : ReplyCases()) {
    std::vector<MxRecord> records;
    EXPECT_EQ(ParseMxReply(c.reply, kId, "shop.example", records), c.status) << c.what;
    EXPECT_EQ(ChooseExchange(records), c.exchange) << c.what;
  }
}

TEST(DnsMessage, EveryCutOfAReplyIsRejectedOrKeepsWholeRecords) {
  const std::string reply = Reply({Mx(20, Name("mx1.shop.example")), Mx(10, std::string("\3mx2") + kPtrToQuestion)});
  for (std::size_t n = 0; n < reply.size(); ++n) {
    std::vector<MxRecord> records;
    const DnsReplyStatus s = ParseMxReply(reply.substr(0, n), kId, "shop.example", records);
    EXPECT_TRUE(s == DnsReplyStatus::kNotOurs || s == DnsReplyStatus::kMalformed) << n;
    EXPECT_TRUE(records.empty() || s == DnsReplyStatus::kAnswer) << n;
  }
}

}  // namespace
}  // namespace quelta
