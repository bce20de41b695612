// The single-rule evaluators: simple comparisons, regular expressions and
// every internal check, driven directly with a MessageContext and the
// engine's options and services.
#include "engine/checks.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/date_time.h"
#include "bayes/classifier.h"
#include "engine/evaluator.h"
#include "engine/internal_checks.h"
#include "engine/message_context.h"
#include "lists/address_book.h"
#include "lists/auto_white_list.h"
#include "os/env.h"
#include "rules/rule_store.h"
#include "support/data_files.h"
#include "support/scratch_dir.h"

using namespace quelta;
using namespace testing_support;

namespace {

Rule MakeRule(const std::string& field, const std::string& flags, const std::string& value) {
  return Rule{"", field, 7, flags, value, "c"};
}
std::string Msg(const std::string& headers, const std::string& body = "Hello.\r\n") { return headers + "\r\n\r\n" + body; }
std::string Repeat(const std::string& s, int n) { return n > 0 ? s + Repeat(s, n - 1) : ""; }
std::string Mail(const std::string& from, const std::string& reply = "", const std::string& to = "") {
  return Msg("Subject: s" + (from.empty() ? "" : "\r\nFrom: <" + from + ">") +
             (reply.empty() ? "" : "\r\nReply-To: <" + reply + ">") + (to.empty() ? "" : "\r\nTo: " + to));
}

struct Rendered final : RenderedTextSource {
  std::string text;
  std::string RenderedText(std::size_t) override { return text; }
};

struct Outcome { bool match = false; std::int32_t score = 0; std::string text; };

// The checks with the host's default book (known@example.org,
// me@example.org), a second book "two.abd" and an auto-white-list.
class Checks : public ::testing::Test {
 protected:
  void SetUp() override {
    int y, m, d;
    DecodeDate(std::floor(os::LocalNow()), y, m, d);
    today_ = std::to_string(y * 10000 + m * 100 + d);
    dir_.Write("AutoWL.lst", "<pal@example.org>|" + today_ + "\r\n<two@example.org> <mate@example.org>|" + today_ + "\r\n");
    ASSERT_EQ(2, whiteList_.Load(dir_.File("AutoWL.lst"), 60, os::LocalNow()));
    dir_.Write("TheBat.ABD", AddressBookFile({"Known@Example.org", "", "me@example.org"}));
    dir_.Write("two.abd", AddressBookFile({"two@example.org"}));
    services_.addressBooks = &books_;
    services_.autoWhiteList = &whiteList_;
  }
  Outcome Run(const std::string& raw, const Rule& rule, std::int32_t total = 0, const std::string& rendered = "") {
    Rendered source;
    source.text = rendered;
    MessageContext message(raw, {}, &source);
    Outcome o;
    CheckContext c{rule, message, options_, services_, total, o.score, o.text, counts_};
    o.match = EvaluateInternal(c);
    return o;
  }
  ScratchDir dir_;
  std::string today_;  // as the auto-white-list writes dates
  AddressBookSet books_{dir_.Folder()};
  AutoWhiteList whiteList_;
  NullLog log_;
  EngineOptions options_;
  EngineServices services_;
  UsageCounts counts_;
};

// One message and what a check answers for each (flags, value) on it: the
// match, the report (null: none) for a total score so far.
struct Probe { const char* flags; const char* value; bool match; const char* text; std::int32_t total; };
struct CheckCase { const char* field; std::string raw; std::vector<Probe> probes; };

// A Received line; host is the name in the comment (default: from).
std::string Hop(const std::string& from, const std::string& by, std::string host = "",
                const std::string& date = "Mon, 1 Jan 2007 10:00:00 +0000") {
  if (host.empty()) host = from;
  return "Received: from " + from + " (" + host + " [192.0.2.2]) by " + by + " with ESMTP id 2; " + date + "\r\n";
}
const std::string kChain = Hop("relay.example.org", "mx.example.net") + Hop("client.example.com", "relay.example.org");
const std::string kBelow = Hop("pc.example.com", "client.example.com");
const std::string kForged = Hop("relay.other.org", "mx.example.net") + Hop("client.example.com", "relay.example.org");
const std::string kWed = Hop("a.example.org", "mx.example.net", "", "Wed, 3 Jan 2007 10:00:00 +0000");
const std::string kFirstReadable = Hop("a", "b", "", "sometime") + Hop("b", "c", "", "Tue, 2 Jan 2007 12:00:00 +0200");
std::string Attached(const std::string& name) {
  return Msg("Content-Type: multipart/mixed; boundary=\"XX\"", "--XX\r\n\r\nSee.\r\n--XX\r\nContent-Type: "
             "application/octet-stream; name=\"" + name + "\"\r\n\r\nAAAA\r\n--XX--\r\n");
}
std::string Html(const std::string& cell, int n) { return Msg("Content-Type: text/html", Repeat("<td>" + cell + "</td>", n)); }
std::string Subj(const std::string& s) { return Msg("Subject: " + s); }
std::string Spaces(const std::string& q) { return Subj("=?iso-8859-1?Q?" + q + "?="); }
std::string Dated(const std::string& date, const std::string& rcv = kWed) { return Msg(rcv + "Date: " + date); }
const std::string kHeaders = Msg("Subject: \xA0\r\nX-Mailer: m\r\nX-Mailer-Info: i\r\nx-lower: y\r\nX-Blank: \t");
const std::string kSized = Msg("Subject: x", std::string(985, 'a'));  // 999 bytes
const char* kSizeBad = "ERROR: Size value in rule \"RawMsgSize\" (c) is invalid!\r\n";
const char* kWarn = "WARING: Hours value in rule \"DateDeviate\" (c) is out of range! New value is 3.\r\n";

TEST_F(Checks, EveryInternalCheckOnMessages) {
  const CheckCase cases[] = {
      {"NoSuchCheck", Subj("x"), {{"IN", "", 0, "ERROR: Internal rule \"NoSuchCheck\" (c) not found!\r\n"}}},
      {"BetwBrackCnt", Html("a", 10), {{"I", "", 1}}},  // 1|4|10
      {"BetwBrackCnt", Html("abcde", 10), {{"I", "", 0}, {"I", "1|5|1", 1}}},
      {"BetwBrackCnt", Html("ab", 9), {{"I", "", 0}, {"I", "x|y|9", 1}, {"I", "3|4|1", 0}}},
      {"BetwBrackCnt", Msg("Content-Type: TEXT/HTML", "<B>AB</B><I>CD</I>"), {{"I", "1|4|2", 1}}},
      {"BetwBrackCnt", Subj("<td>ab</td>"), {{"I", "1|4|0", 0}}},
      {"BulkForm", Msg("X-Mailer: %rnd_mailer"), {{"I", "", 1}}}, {"BulkForm", Subj("Hello %FIRSTNAME"), {{"I", "", 0}}},
      {"BulkForm", Msg("Subject: x", "Click %rnd_link\r\n"), {{"I", "", 0}, {"Ib", "", 1}}},
      {"BulkForm", Msg("Subject: x", "Dear %SUBJECT\r\n"), {{"IB", "", 0}}},
      {"DateDeviate", Dated("Tue, 2 Jan 2007 04:00:00 +0000"), {{"I", "30", 1}, {"I", "31", 0}}},
      {"DateDeviate", Dated("Wed, 3 Jan 2007 14:00:00 +0000"), {{"I", "4", 1}}},
      {"DateDeviate", Dated("2 Jan 07 04:00:00 +0000"), {{"I", "0", 0}}},
      {"DateDeviate", Dated("Tue, 2 Jan 2007 08:00:00 +0000", kFirstReadable), {{"I", "2", 1}, {"I", "3", 0}}},
      {"DateDeviate", Msg("Date: Mon, 1 Jan 2007 10:00:00 +0000"), {{"I", "24", 1}}},  // against now
      {"DateDeviate", Dated("Wed, 3 Jan 2007 07:00:00 +0000"), {{"I", "", 1, kWarn}, {"I", " 3 ", 1}}},
      {"DateDeviate", Dated("Wed, 3 Jan 2007 07:00:01 +0000"), {{"I", "-1", 0, kWarn}}},
      {"DateInvalid", Subj("x"), {{"I", "", 1}}}, {"DateInvalid", Msg("Date: Fri, 30 Feb 2007 10:00:00 +0000"), {{"I", "", 1}}},
      {"DateInvalid", Msg("Date: Mon, 1 Jan 2007 10:00:00 +0100"), {{"I", "", 0}}},
      {"DoubleFileExt", Attached("invoice.pdf.exe"), {{"I", "", 1}}}, {"DoubleFileExt", Attached("a..b"), {{"I", "", 1}}},
      {"DoubleFileExt", Attached("invoice.pdf"), {{"I", "", 0}}},
      {"FieldEmpty", kHeaders, {{"I", "X-Mailer:", 0}, {"I", "x-missing:", 1}, {"I", "SUBJECT", 0}, {"It", "SUBJECT", 1}}},
      {"HdrExist", kHeaders, {{"I", "X-Mailer&X-Priority", 0}, {"I", "X-Priority|X-Mailer", 1}, {"I", " X-Mailer & Subject ", 1}}},
      {"hdrexist", kHeaders, {{"I", "X-Mailer-Inf", 0}, {"Ic", "x-mailer", 0}, {"I", "x-mailer", 1}, {"IC", "x-lower", 1}}},
      {"HdrExist", Msg("Subject: x", "X-Priority: 1\r\n"), {{"I", "X-Priority", 0}}},
      {"IsRcvPosFaked", Msg(kChain + kBelow), {{"I", "", 0}}}, {"IsRcvPosFaked", Msg(kForged), {{"I", "", 1}}},
      {"IsRcvPosFaked", Msg(kForged + kBelow), {{"I", "", 1}}},
      {"IsRcvPosFaked", Msg(Hop("mail2.example.org", "x") + Hop("c", "relay.example.org")), {{"I", "", 0}}},
      {"IsRcvPosFaked", Msg(Hop("unknown", "x", "relay.example.org") + Hop("c", "relay.example.org")), {{"I", "", 0}}},
      {"IsRcvPosFaked", Msg(Hop("unknown", "x", "unknown.other.org") + Hop("c", "relay.example.org")), {{"I", "", 1}}},
      {"IsRcvPosFaked", Msg(Hop("192.0.2.7", "x", "relay.example.org") + Hop("c", "relay.example.org")), {{"I", "", 0}}},
      {"IsRcvPosFaked", Msg(Hop("relay.other.org", "x") + "Received: (qmail 1)\r\n" + kChain), {{"I", "", 0}}},
      {"IsScore", Subj("x"), {{"I", "= 0", 1}, {"I", ">40", 1, nullptr, 41}, {"I", ">40", 0, nullptr, 40}, {"I", "<-5", 1, nullptr, -6}}},
      {"IsScore", Subj("x"), {{"I", ">x", 0, "ERROR: Score value in rule \"IsScore\" (c) is invalid!\r\n"},
                              {"I", "x0", 0, "ERROR: Operator in rule \"IsScore\" (c) is invalid!\r\n"}}},
      {"RawMsgSize", kSized, {{"I", "<1000", 1}, {"I", "<999", 0}, {"I", ">998", 1}, {"I", "= 999", 1}}},
      {"RawMsgSize", kSized, {{"I", "x100", 0, "ERROR: Operator in rule \"RawMsgSize\" (c) is invalid!\r\n"},
                              {"I", "<-1", 0, kSizeBad}, {"I", "", 0, kSizeBad}}},
      {"SubjCrippled", Subj("Cheap v1agra and m0ney"), {{"I", "", 1}, {"I", "2", 1}, {"I", "3", 0}}},
      {"SubjCrippled", Subj("Cheap v*a#gra"), {{"I", "1 *", 1}, {"I", "1 #*", 0}}},
      {"SubjMultiSpace", Spaces("Hello___world"), {{"I", "", 1}, {"I", "4", 0}, {"I", "0", 1}}},
      {"SubjMultiSpace", Spaces("Hello__world"), {{"I", "", 0}, {"I", "2", 1}}},
      {"SubjMultiSpace", Spaces("Hello___"), {{"I", "3", 0}}}, {"SubjMultiSpace", Spaces("Hello_=A0__world"), {{"I", "3", 0}}},
      {"SubjMultiSpace", Subj("a"), {{"I", "999999999", 0}}},
      {"DebugOut", Subj("Hi there"), {{"I", "subject", 0, "Debug output for header \"subject\" (c):\r\nBEGIN>Hi there<END.\r\n"}}},
      {"FromAddrInAB", Mail("known@example.ORG"), {{"I", "", 1}}}, {"FromAddrInAB", Mail("nown@example.org"), {{"I", "", 0}}},
      // Once merged, a book is seen by every shared read; a private read sees its own book alone.
      {"FromAddrInAB", Mail("two@example.org"), {{"I", "", 0}, {"I", "two.abd", 1}, {"I", "", 1}, {"Ic", "", 0}, {"IC", "two.abd", 1}}},
      {"FromAddrInAB", Mail(""), {{"I", "none.abd", 0}}},  // no sender: no book is read
      {"ReplyToAddrInAB", Mail("x@example.net", "known@example.org"), {{"I", "", 1}}},
      {"ReplyToAddrInAB", Mail("known@example.org"), {{"I", "", 0}}},
      {"SenderInAB", Mail("x@example.net", "known@example.org"), {{"I", "", 1}}},
      {"SenderInAB", Mail("known@example.org", "x@example.net"), {{"I", "", 1}}},
      {"SenderInAB", Mail("", "known@example.org"), {{"I", "", 1}}}, {"SenderInAB", Mail("x@y.net", "y@y.net"), {{"I", "", 0}}},
      {"ToAddrInAB", Mail("x@example.net", "", "a@example.net, Me <ME@example.org>"), {{"I", "", 1}}},
      {"ToAddrInAB", Mail("x@example.net", "", "a@example.net, b@example.net"), {{"I", "", 0}}},
      {"ToAddrInAB", Mail("x@example.net", "", "undisclosed-recipients:;"), {{"I", "none.abd", 0}}},
      {"FromAddrInAutoWL", Mail("PAL@example.org"), {{"I", "", 1}}},
      {"FromAddrInAutoWL", Mail("al@example.org"), {{"I", "", 0}}},
      {"FromAddrInAutoWL", Mail("x@example.net", "pal@example.org"), {{"I", "", 0}}},
      {"ReplyToAddrInAutoWL", Mail("x@example.net", "pal@example.org"), {{"I", "", 1}}},
      {"ReplyToAddrInAutoWL", Mail("pal@example.org"), {{"I", "", 0}}},
      {"SenderInAutoWL", Mail("x@example.net", "pal@example.org"), {{"I", "", 1}}},
      {"SenderInAutoWL", Mail("pal@example.org", "x@example.net"), {{"I", "", 1}}},
      {"SenderInAutoWL", Mail("", "pal@example.org"), {{"I", "", 1}}}, {"SenderInAutoWL", Mail("x@y.net", "y@y.net"), {{"I", "", 0}}},
  };
  for (const CheckCase& c : cases)
    for (const Probe& p : c.probes) {
      const Outcome o = Run(c.raw, MakeRule(c.field, p.flags, p.value), p.total);
      EXPECT_EQ(p.match, o.match) << c.field << " " << p.flags << " '" << p.value << "' " << c.raw;
      EXPECT_EQ(p.text ? p.text : "", o.text) << c.field << " '" << p.value << "'";
      EXPECT_EQ(7, o.score) << c.field;  // the rule's own score, match or not
    }
  EXPECT_FALSE(InternalCheckNames().empty());
  for (const std::string& n : InternalCheckNames())  // every listed name is dispatched
    EXPECT_EQ(std::string::npos, Run(Subj("x"), MakeRule(n, "I", "")).text.find("not found")) << n;
}

TEST_F(Checks, ChecksOnTheRenderedText) {
  const struct { const char* field; const char* value; const char* rendered; bool match; } cases[] = {
      {"TextPartsDiv", "", "hello, world", false}, {"TextPartsDiv", "", "Buy pills", true},
      {"TextPartsDiv", "", "12345 !!", false},     {"IsEnglish", "", "the cat and you", true},
      {"IsEnglish", "", "the cat and", false},     {"IsEnglish", "4", "the cat and you", false},
      {"IsEnglish", "1", "the cat", true},         {"IsEnglish", "33", "the cat and you", true},
      {"IsEnglish", "0", "the cat and", false},    {"IsGerman", "", "ich bin hier und du", true},
      {"IsGerman", "", "the cat and you", false},
  };
  const std::string raw = Msg("Content-Type: text/plain", "Hello World!\r\n");
  for (const auto& c : cases)
    EXPECT_EQ(c.match, Run(raw, MakeRule(c.field, "I", c.value), 0, c.rendered).match) << c.field << " " << c.rendered;
  EXPECT_FALSE(Run(Msg("Subject: x", "123\r\n"), MakeRule("TextPartsDiv", "I", ""), 0, "Buy").match);
}

// ---- The Bayes score ---------------------------------------------------------------

TEST(BayesRuleScore, OptionLettersShapeTheScore) {
  const struct { std::int32_t r; const char* flags; std::int32_t score; } rows[] = {
      {73, "IP", 73},  {73, "I", 46},   {50, "I", 0},      {80, "ID", 120}, {50, "IC", 0},
      {51, "IC", 100}, {80, "ic", 100}, {80, "ipd", 160}, {80, "ICD", 100}, {0, "ID", -200}};
  for (const auto& row : rows) EXPECT_EQ(row.score, BayesRuleScore(row.r, row.flags)) << row.r << row.flags;
}

TEST_F(Checks, BayesScoreReportsAndCountsTheVerdict) {
  // S = 200, H = 300; the message's significant words aaaa and bbbb give 54.
  dir_.Write("Bayes.wdb", BayesHeader(200, 300) + BayesWord("aaaa", 30, 0) + BayesWord("bbbb", 2, 30) +
                              BayesWord("cccc", 1, 1) + BayesWord("dddd", 4, 6));
  dir_.Write("Bayes.udb", "");
  BayesOptions bayesOptions;
  BayesFilter bayes(dir_.Folder(), bayesOptions, log_);
  const char* spammy = "dddd cccc bbbb aaaa eeee\r\n";
  const struct { BayesFilter* filter; bool enabled, extended; const char* body; bool match; const char* text; } rows[] = {
      {nullptr, true, false, spammy, false, "ERROR: Intern rule BayesScore [c] failed.\r\n"},
      {&bayes, true, true, spammy, true,
       "Bayes words:\r\n aaaa (V=100/P=100)\r\n bbbb (V=9/P=82)\r\nBayes result: 54% spam probability.\r\n"},
      {&bayes, true, false, "ab\r\n", false, "Bayes: No words available, skipping bayes check.\r\n"},
      {&bayes, true, false, "cccc dddd unknown\r\n", false, "Bayes: No significant words available, abborting bayes check.\r\n"},
      {&bayes, false, false, spammy, false, ""}};
  for (const auto& row : rows) {
    services_.bayes = row.filter;
    options_.bayesEnabled = row.enabled;
    options_.bayesExtendedLogging = row.extended;
    const Outcome o = Run(Msg("X-A: 1", row.body), MakeRule("BayesScore", "IP", ""));
    EXPECT_EQ(row.match, o.match) << row.text;
    EXPECT_EQ(row.match ? 54 : 7, o.score) << row.text;
    EXPECT_EQ(row.text, o.text);
  }
  EXPECT_EQ(1u, counts_.bayesMessagesChecked);
}

TEST_F(Checks, ABookThatFailsToLoadNeverMatches) {
  // Every address of the message is in the merged books: a check that
  // ignored the failure would white-list the message.
  dir_.Write("bad.abd", "garbage!");
  dir_.Write("empty.abd", AddressBookFile({}));
  const std::string known = "known@example.org";
  const std::string raw = Mail(known, known, "<" + known + ">");
  ASSERT_TRUE(Run(raw, MakeRule("ToAddrInAB", "I", "")).match);
  const struct { const char* book; std::string text; } books2[] = {
      {"none.abd", "ERROR: Address book file \"none.abd\" not found!\r\n"},
      {"bad.abd", "ERROR: Address book file \"bad.abd\" has a wrong format!\r\n"},
      {"empty.abd", "WARNING: Address book file \"empty.abd\" is empty!\r\n"}};
  for (const auto& b : books2)
    for (const char* check : {"FromAddrInAB", "ReplyToAddrInAB", "SenderInAB", "ToAddrInAB"})
      for (const char* flags : {"I", "IC"}) {
        const Outcome o = Run(raw, MakeRule(check, flags, b.book));
        EXPECT_FALSE(o.match) << check << " " << flags << " " << b.book;
        EXPECT_EQ(b.text, o.text) << check << " " << flags;
      }
  services_.addressBooks = nullptr;
  EXPECT_EQ("ERROR: Intern rule FromAddrInAB [c] failed.\r\n", Run(raw, MakeRule("FromAddrInAB", "I", "")).text);
}

TEST_F(Checks, WithoutAnAutoWhiteListNothingMatches) {
  services_.autoWhiteList = nullptr;
  for (const char* check : {"FromAddrInAutoWL", "ReplyToAddrInAutoWL", "SenderInAutoWL"})
    EXPECT_FALSE(Run(Mail("pal@example.org", "pal@example.org"), MakeRule(check, "I", "")).match) << check;
}

// ---- Simple and regular-expression rules --------------------------------------------

TEST(SimpleRule, ComparisonsByFlagsCaseAndFolding) {
  const struct { const char* flags; std::string term, text; bool match; const char* field = "SUBJECT"; } cases[] = {
      {"S", "viagra", "Buy VIAGRA now", true}, {"SC", "viagra", "Buy VIAGRA now", false},
      {"SC", "VIAGRA", "Buy VIAGRA now", true}, {"S", "cialis", "Buy VIAGRA", false}, {"SM", "hello", "HELLO", true},
      {"SM", "hello", "HELLO there", false}, {"SMC", "hello", "HELLO", false}, {"SMC", "HELLO", "HELLO", true},
      {"SB", "re:", "RE: your mail", true}, {"SB", "your", "RE: your mail", false},
      {"SBC", "re:", "RE: your mail", false}, {"SBC", "RE:", "RE: your mail", true}, {"SEC", "mail", "RE: your mail", true},
      {"SB", "re: your mail!", "RE: your mail", false},
      {"SE", "MAIL", "RE: your mail", true}, {"SE", "your", "RE: your mail", false},
      {"SEC", "MAIL", "RE: your mail", false}, {"SE", "x RE: your mail", "RE: your mail", false},
      {"SNBA", "re:", "RE: x", true}, {"SBM", "RE:", "RE: x", false}, {"SEB", "RE:", "RE: x", true},
      {"SEB", "x", "RE: x", false}, {"Sm", "RE", "RE: x", true}, {"Sc", "re", "RE: x", true},
      {"S", "", "anything", false}, {"SC", "", "anything", false}, {"SB", "", "anything", true},
      {"SE", "", "anything", true}, {"SM", "", "", true}, {"SM", "", "x", false},
      {"S", "gr\xE4" "fin", "GR\xC4" "FIN", true}, {"SC", "gr\xE4" "fin", "GR\xC4" "FIN", false},
      {"SE", "\xFF", "x\x9F", true}, {"S", "\xD7", "\xF7", false}, {"S", "v1agra", " viagra ", true, "SPAMSUBJ"},
      {"S", "\\/iagra", " buy viagra now ", true, "spamtext"}, {"S", "v1agra", " viagra ", false},
      {"SC", "\x8A", " x\x9Ay ", true, "SPAMTEXT"}, {"SC", "\x8A", " x\x9Ay ", false, "TEXT"},
      {"SCC", "\x8A", " x\x9Ay ", false, "SPAMTEXT"}, {"S", "v1agra", " viagra ", false, "XSPAM"},
      {"S", "needle", std::string(300 * 1024, 'x') + "NEEDLE", true},
  };
  UpperCaseCache upper;
  for (const auto& c : cases) {
    std::string text;
    EXPECT_EQ(c.match, EvaluateSimple(MakeRule(c.field, c.flags, c.term), c.text, upper, text))
        << c.field << " " << c.flags << " '" << c.term << "' in '" << c.text.substr(0, 40) << "'";
    EXPECT_EQ("", text);
  }
  // Many texts of one length, each seen again between others: every answer
  // belongs to its own text.
  std::string text;
  for (int round = 0; round < 3; ++round)
    for (int i = 10; i < 30; ++i)
      for (int k : {i, i + 1})
        EXPECT_EQ(k == i, EvaluateSimple(MakeRule("RAWHEADER", "S", "marker" + std::to_string(k)),
                                         "Header " + std::to_string(i) + " MARKER" + std::to_string(i), upper, text));
}

// The pattern language itself is the regex layer's; here: the search window
// and the report of a pattern that fails to compile or to run.
TEST(RegExpRule, MatchesLimitsAndFailures) {
  const char* kFailed = "ERROR: RegExp rule SUBJECT [c] failed.\r\n";
  const std::string tail = std::string(1018, 'x') + "needle-tail";
  const struct { std::string pattern, text; bool match; const char* report; std::size_t max = 32 * 1024; } cases[] = {
      {"viagra", "Buy VIAGRA now", true, ""}, {"\\bcheap\\b", "cheaper", false, ""}, {"a(b", "a(b", false, kFailed},
      {"(a+)+$", std::string(64, 'a') + "!", false, kFailed},  // runs out of its match budget
      {"b.c", std::string("ab\0cd", 5), true, ""}, {"needle", tail, true, "", 1024},  // ends at byte 1024
      {"needle-", tail, false, "", 1024}, {"x$", std::string(1024, 'x') + "y", true, "", 1024},
      {"x$", std::string(1024, 'x') + "y", false, ""},
  };
  for (const auto& row : cases) {
    std::string text;
    EXPECT_EQ(row.match, EvaluateRegExp(MakeRule("SUBJECT", "R", row.pattern), row.text, row.max, text)) << row.pattern;
    EXPECT_EQ(row.report, text) << row.pattern;
  }
}

}  // namespace
