// The single-rule evaluators: simple comparisons, regular expressions and
// every internal check, driven directly with a MessageContext and the
// engine's options and services.
#include "engine/checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "base/date_time.h"
#include "bayes/classifier.h"
#include "engine/evaluator.h"
#include "engine/internal_checks.h"
#include "engine/message_context.h"
#include "lists/address_book.h"
#include "lists/auto_white_list.h"
#include "os/env.h"
#include "regex/regex.h"
#include "rules/rule_store.h"
#include "support/data_files.h"
#include "support/scratch_dir.h"

using namespace quelta;
using namespace testing_support;

namespace {

Rule MakeRule(const std::string& field, const std::string& flags, const std::string& value) {
  Rule r;
  r.field = field;
  r.score = 7;
  r.flags = flags;
  r.value = value;
  r.comment = "c";
  return r;
}

std::string Msg(const std::string& headers, const std::string& body = "Hello.\r\n") {
  return headers + "\r\n\r\n" + body;
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  while (n-- > 0) out += s;
  return out;
}

struct Rendered final : RenderedTextSource {
  std::string text;
  std::string RenderedText(std::size_t) override { return text; }
};

struct Outcome {
  bool match = false;
  std::int32_t score = 0;
  std::string text;
};

class Checks : public ::testing::Test {
 protected:
  Outcome Run(const std::string& raw, const Rule& rule, std::int32_t total = 0,
              const std::string& rendered = "") {
    Rendered source;
    source.text = rendered;
    MessageContext message(raw, {}, &source);
    Outcome o;
    CheckContext c{rule, message, options_, services_, total, o.score, o.text, counts_};
    o.match = EvaluateInternal(c);
    return o;
  }
  ScratchDir dir_;
  NullLog log_;
  EngineOptions options_;
  EngineServices services_;
  UsageCounts counts_;
};

struct CheckCase {
  const char* field;
  const char* flags;
  const char* value;
  std::string raw;
  bool match;
  const char* text;  // the report; null: none
  std::int32_t total;
};

const std::string kRcvTop =
    "Received: from relay.example.org (relay.example.org [192.0.2.2]) by mx.example.net with ESMTP id 2; Mon, 1 Jan 2007 10:00:00 +0000";
const std::string kRcvBottom =
    "Received: from client.example.com (client.example.com [192.0.2.1]) by relay.example.org with ESMTP id 1; Mon, 1 Jan 2007 09:59:00 +0000";
const std::string kRcvBottom2 =
    "Received: from pc.example.com (pc.example.com [192.0.2.5]) by client.example.com with SMTP id 0; Mon, 1 Jan 2007 09:58:00 +0000";
std::string Hop(const std::string& from, const std::string& host) {
  return "Received: from " + from + " (" + host + " [192.0.2.2]) by mx.example.net with ESMTP id 2; Mon, 1 Jan 2007 10:00:00 +0000\r\n";
}
const std::string kRcvUnreadable = "Received: from a.example.org (a.example.org [192.0.2.1]) by mx.example.net with ESMTP id 1; sometime yesterday\r\n";
const std::string kRcvWed = "Received: from a.example.org (a.example.org [192.0.2.1]) by mx.example.net with ESMTP id 1; Wed, 3 Jan 2007 10:00:00 +0000\r\n";
std::string Attached(const std::string& name) {
  return Msg("MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"XX\"",
             "--XX\r\nContent-Type: text/plain\r\n\r\nSee.\r\n--XX\r\nContent-Type: application/octet-stream; name=\"" +
                 name + "\"\r\n\r\nAAAA\r\n--XX--\r\n");
}
std::string Html(const std::string& body) { return Msg("Content-Type: text/html", body); }
std::string Subject(const std::string& s) { return Msg("Subject: " + s); }
const std::string kHeaders = Msg("Subject: \xA0\r\nX-Mailer: m\r\nX-Mailer-Info: i\r\nx-lower: y\r\nX-Blank: \t");
const std::string kSized = Msg("Subject: x", std::string(985, 'a'));  // 999 bytes
const char* kSizeInvalid = "ERROR: Size value in rule \"RawMsgSize\" (c) is invalid!\r\n";
const char* kScoreInvalid = "ERROR: Score value in rule \"IsScore\" (c) is invalid!\r\n";
const char* kWarnHours = "WARING: Hours value in rule \"DateDeviate\" (c) is out of range! New value is 3.\r\n";

TEST_F(Checks, EveryInternalCheckOnMessages) {
  const CheckCase cases[] = {
      {"NoSuchCheck", "IN", "", Subject("x"), false, "ERROR: Internal rule \"NoSuchCheck\" (c) not found!\r\n"},
      {"DNSBL", "I", "zen.example", Subject("x"), false, "ERROR: Internal rule \"DNSBL\" (c) not found!\r\n"},
      {"hdrexist", "I", "Subject", kHeaders, true},
      {"BetwBrackCnt", "I", "", Html(Repeat("<td>a</td>", 10)), true},  // defaults 1|4|10
      {"BetwBrackCnt", "I", "", Html(Repeat("<td>ab</td>", 9)), false},
      {"BetwBrackCnt", "I", "", Html(Repeat("<td>abcde</td>", 10)), false},
      {"BetwBrackCnt", "I", "x|y|9", Html(Repeat("<td>ab</td>", 9)), true},
      {"BetwBrackCnt", "I", "3|4|1", Html(Repeat("<td>ab</td>", 9)), false},
      {"BetwBrackCnt", "I", "2|2|1", Html(Repeat("<td>ab</td>", 9)), true},
      {"BetwBrackCnt", "I", "1|4|2", Msg("Content-Type: TEXT/HTML", "<B>AB</B><I>CD</I>"), true},
      {"BetwBrackCnt", "I", "1|4|0", Subject("<td>ab</td>"), false},
      {"BulkForm", "I", "", Msg("X-Mailer: %rnd_mailer"), true},
      {"BulkForm", "I", "", Msg("Subject: Hello %FIRSTNAME"), false},
      {"BulkForm", "I", "", Msg("Subject: Hello $firstname"), true},
      {"BulkForm", "I", "", Msg("Subject: x", "Click %RND_LINK\r\n"), false},
      {"BulkForm", "Ib", "", Msg("Subject: x", "Click %rnd_link\r\n"), true},
      {"BulkForm", "IB", "", Msg("Subject: x", "Dear %SUBJECT\r\n"), false},
      {"BulkForm", "IB", "", Msg("Subject: x", "img $BASE64_IMAGE$\r\n"), true},
      {"DateDeviate", "I", "24", Msg(kRcvWed + "Date: Tue, 2 Jan 2007 04:00:00 +0000"), true},
      {"DateDeviate", "I", "30", Msg(kRcvWed + "Date: Tue, 2 Jan 2007 04:00:00 +0000"), true},
      {"DateDeviate", "I", "31", Msg(kRcvWed + "Date: Tue, 2 Jan 2007 04:00:00 +0000"), false},
      {"DateDeviate", "I", "30", Msg(kRcvWed + "Date: Tue, 2 Jan 2007 06:00:00 +0200"), true},
      {"DateDeviate", "I", "30", Msg(kRcvWed + "Date: Tue, 2 Jan 2007 04:00:00 -0200"), false},
      {"DateDeviate", "I", "4", Msg(kRcvWed + "Date: Wed, 3 Jan 2007 14:00:00 +0000"), true},
      {"DateDeviate", "I", "0", Msg(kRcvWed + "Date: 2 Jan 07 04:00:00 +0000"), false},
      {"DateDeviate", "I", "2", Msg(kRcvUnreadable + "Received: from b (b [192.0.2.9]) by a with ESMTP id 2; Tue, 2 Jan 2007 12:00:00 +0200\r\nDate: Tue, 2 Jan 2007 08:00:00 +0000"), true},
      {"DateDeviate", "I", "3", Msg(kRcvUnreadable + "Received: from b (b [192.0.2.9]) by a with ESMTP id 2; Tue, 2 Jan 2007 12:00:00 +0200\r\nDate: Tue, 2 Jan 2007 08:00:00 +0000"), false},
      {"DateDeviate", "I", "24", Msg("Date: Mon, 1 Jan 2007 10:00:00 +0000"), true},  // against now
      {"DateDeviate", "I", "", Msg(kRcvWed + "Date: Wed, 3 Jan 2007 07:00:00 +0000"), true, kWarnHours},
      {"DateDeviate", "I", "-1", Msg(kRcvWed + "Date: Wed, 3 Jan 2007 07:00:01 +0000"), false, kWarnHours},
      {"DateDeviate", "I", " 5 ", Msg(kRcvWed + "Date: Wed, 3 Jan 2007 05:00:00 +0000"), true},
      {"DateInvalid", "I", "", Subject("x"), true},
      {"DateInvalid", "I", "", Msg("Date: Fri, 30 Feb 2007 10:00:00 +0000"), true},
      {"DateInvalid", "I", "", Msg("Date: Mon, 1 Jan 2007 10:00:00 +0100"), false},
      {"DoubleFileExt", "I", "", Attached("invoice.pdf.exe"), true},
      {"DoubleFileExt", "I", "", Attached("a..b"), true},
      {"DoubleFileExt", "I", "", Attached("invoice.pdf"), false},
      {"DoubleFileExt", "I", "", Subject("a.b.c"), false},
      {"FieldEmpty", "I", "X-Mailer:", kHeaders, false},
      {"FieldEmpty", "I", "x-missing:", kHeaders, true},
      {"FieldEmpty", "I", "X-Blank:", kHeaders, true},
      {"FieldEmpty", "I", "SUBJECT", kHeaders, false},  // a no-break space is text ...
      {"FieldEmpty", "It", "SUBJECT", kHeaders, true},  // ... unless stripped
      {"HdrExist", "I", "X-Mailer&X-Priority", kHeaders, false},
      {"HdrExist", "I", "X-Priority|X-Mailer", kHeaders, true},
      {"HdrExist", "I", " X-Mailer & Subject ", kHeaders, true},
      {"HdrExist", "I", "X-Mailer-Inf", kHeaders, false},
      {"HdrExist", "I", "X-Priority|X-Mailer&Subject", kHeaders, false},
      {"HdrExist", "I", "x-mailer", kHeaders, true},
      {"HdrExist", "Ic", "x-mailer", kHeaders, false},
      {"HdrExist", "IC", "x-lower", kHeaders, true},
      {"HdrExist", "I", "X-Priority", Msg("Subject: x", "X-Priority: 1\r\n"), false},
      {"IsRcvPosFaked", "I", "", Msg(kRcvTop + "\r\n" + kRcvBottom), false},
      {"IsRcvPosFaked", "I", "", Msg(kRcvTop), false},
      {"IsRcvPosFaked", "I", "", Msg(Hop("relay.other.org", "relay.other.org") + kRcvBottom), true},
      {"IsRcvPosFaked", "I", "", Msg(Hop("mail2.example.org", "mail2.example.org") + kRcvBottom), false},
      {"IsRcvPosFaked", "I", "", Msg(Hop("192.0.2.2", "relay.example.org") + kRcvBottom), false},
      {"IsRcvPosFaked", "I", "", Msg(Hop("unknown", "relay.example.org") + kRcvBottom), false},
      {"IsRcvPosFaked", "I", "", Msg(Hop("unknown", "unknown.other.org") + kRcvBottom), true},
      {"IsRcvPosFaked", "I", "", Msg(Hop("relay.other.org", "x") + "Received: (qmail 1 invoked from network)\r\n" + kRcvBottom), false},
      {"IsRcvPosFaked", "I", "", Msg(kRcvTop + "\r\n" + kRcvBottom + "\r\n" + kRcvBottom2), false},
      {"IsRcvPosFaked", "I", "", Msg(Hop("relay.other.org", "x") + kRcvBottom + "\r\n" + kRcvBottom2), true},
      {"IsScore", "I", ">-1", Subject("x"), true},
      {"IsScore", "I", ">0", Subject("x"), false},
      {"IsScore", "I", "= 0", Subject("x"), true},
      {"IsScore", "I", ">40", Subject("x"), true, nullptr, 41},
      {"IsScore", "I", ">40", Subject("x"), false, nullptr, 40},
      {"IsScore", "I", "<-5", Subject("x"), true, nullptr, -6},
      {"IsScore", "I", ">", Subject("x"), false, kScoreInvalid},
      {"IsScore", "I", "!=0", Subject("x"), false, kScoreInvalid},
      {"IsScore", "I", "x0", Subject("x"), false, "ERROR: Operator in rule \"IsScore\" (c) is invalid!\r\n"},
      {"RawMsgSize", "I", "<1000", kSized, true},
      {"RawMsgSize", "I", "<999", kSized, false},
      {"RawMsgSize", "I", ">998", kSized, true},
      {"RawMsgSize", "I", "= 999", kSized, true},
      {"RawMsgSize", "I", "x100", kSized, false, "ERROR: Operator in rule \"RawMsgSize\" (c) is invalid!\r\n"},
      {"RawMsgSize", "I", "<abc", kSized, false, kSizeInvalid},
      {"RawMsgSize", "I", "<-1", kSized, false, kSizeInvalid},
      {"RawMsgSize", "I", "", kSized, false, kSizeInvalid},
      {"SubjCrippled", "I", "", Subject("Cheap v1agra"), true},
      {"SubjCrippled", "I", "2", Subject("Cheap v1agra and m0ney"), true},
      {"SubjCrippled", "I", "3", Subject("Cheap v1agra and m0ney"), false},
      {"SubjCrippled", "I", "", Subject("Your e-mail account"), false},
      {"SubjCrippled", "I", "1 *", Subject("Cheap v*agra"), false},
      {"SubjCrippled", "I", "1 *", Subject("Cheap v*a#gra"), true},
      {"SubjMultiSpace", "I", "", Subject("=?iso-8859-1?Q?Hello___world?="), true},
      {"SubjMultiSpace", "I", "", Subject("=?iso-8859-1?Q?Hello__world?="), false},
      {"SubjMultiSpace", "I", "2", Subject("=?iso-8859-1?Q?Hello__world?="), true},
      {"SubjMultiSpace", "I", "4", Subject("=?iso-8859-1?Q?Hello___world?="), false},
      {"SubjMultiSpace", "I", "0", Subject("=?iso-8859-1?Q?Hello___world?="), true},
      {"SubjMultiSpace", "I", "3", Subject("=?iso-8859-1?Q?___Hello?="), false},
      {"SubjMultiSpace", "I", "3", Subject("=?iso-8859-1?Q?Hello_=A0__world?="), false},
      {"SubjMultiSpace", "I", "999999999", Subject("a"), false},
      {"DebugOut", "I", "subject", Subject("Hello there"), false, "Debug output for header \"subject\" (c):\r\nBEGIN>Hello there<END.\r\n"},
  };
  for (const CheckCase& c : cases) {
    const Outcome o = Run(c.raw, MakeRule(c.field, c.flags, c.value), c.total);
    EXPECT_EQ(c.match, o.match) << c.field << " " << c.flags << " '" << c.value << "' " << c.raw;
    EXPECT_EQ(c.text ? c.text : "", o.text) << c.field << " '" << c.value << "'";
    EXPECT_EQ(7, o.score) << c.field;  // the rule's own score, match or not
  }
}

TEST_F(Checks, ChecksOnTheRenderedText) {
  const struct {
    const char* field;
    const char* value;
    const char* rendered;
    bool match;
  } cases[] = {
      {"TextPartsDiv", "", "hello, world", false}, {"TextPartsDiv", "", "Buy pills", true},
      {"TextPartsDiv", "", "12345 !!", false},     {"IsEnglish", "", "the cat and you", true},
      {"IsEnglish", "", "the the the", false},     {"IsEnglish", "4", "the cat and you", false},
      {"IsEnglish", "1", "the cat", true},         {"IsEnglish", "33", "the cat and", false},
      {"IsEnglish", "0", "THE CAT AND YOU", true}, {"IsGerman", "", "ich bin hier und du", true},
      {"IsGerman", "", "the cat and you", false},  {"IsGerman", "3", "das ist f\xFCr dich", true},
  };
  const std::string raw = Msg("Content-Type: text/plain", "Hello World!\r\n");
  for (const auto& c : cases)
    EXPECT_EQ(c.match, Run(raw, MakeRule(c.field, "I", c.value), 0, c.rendered).match)
        << c.field << " '" << c.rendered << "' " << c.value;
  EXPECT_FALSE(Run(Msg("Subject: x", "123\r\n"), MakeRule("TextPartsDiv", "I", ""), 0, "Buy").match);
}

// ---- The Bayes score ---------------------------------------------------------------

TEST(BayesRuleScore, OptionLettersShapeTheScore) {
  const struct {
    std::int32_t r;
    const char* flags;
    std::int32_t score;
  } rows[] = {{73, "IP", 73},  {73, "I", 46},   {50, "I", 0},      {80, "ID", 120}, {50, "IC", 0},
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
  const Rule rule = MakeRule("BayesScore", "IP", "");
  const std::string spammy = Msg("X-A: 1", "dddd cccc bbbb aaaa eeee\r\n");

  Outcome o = Run(spammy, rule);  // no filter
  EXPECT_EQ("ERROR: Intern rule BayesScore [c] failed.\r\n", o.text);
  services_.bayes = &bayes;
  options_.bayesExtendedLogging = true;
  o = Run(spammy, rule);
  EXPECT_TRUE(o.match);
  EXPECT_EQ(54, o.score);
  EXPECT_EQ("Bayes words:\r\n aaaa (V=100/P=100)\r\n bbbb (V=9/P=82)\r\nBayes result: 54% spam probability.\r\n", o.text);
  EXPECT_EQ(1u, counts_.bayesMessagesChecked);

  options_.bayesExtendedLogging = false;
  o = Run(Msg("X-A: 1", "ab\r\n"), rule);
  EXPECT_FALSE(o.match);
  EXPECT_EQ("Bayes: No words available, skipping bayes check.\r\n", o.text);
  o = Run(Msg("X-A: 1", "cccc dddd unknown\r\n"), rule);
  EXPECT_FALSE(o.match);
  EXPECT_EQ("Bayes: No significant words available, abborting bayes check.\r\n", o.text);
  options_.bayesEnabled = false;
  o = Run(spammy, rule);
  EXPECT_FALSE(o.match);
  EXPECT_EQ("", o.text);
  EXPECT_EQ(1u, counts_.bayesMessagesChecked);
}

// ---- Known senders ------------------------------------------------------------------

std::string Mail(const std::string& from, const std::string& reply = "", const std::string& to = "") {
  std::string h = "Subject: s";
  if (!from.empty()) h += "\r\nFrom: <" + from + ">";
  if (!reply.empty()) h += "\r\nReply-To: <" + reply + ">";
  if (!to.empty()) h += "\r\nTo: " + to;
  return Msg(h);
}

TEST_F(Checks, AddressBooksSharedAndPrivate) {
  dir_.Write("TheBat.ABD", AddressBookFile({"Known@Example.org", "", "me@example.org"}));
  dir_.Write("two.abd", AddressBookFile({"two@example.org"}));
  AddressBookSet books(dir_.Folder());
  services_.addressBooks = &books;
  const CheckCase cases[] = {
      {"FromAddrInAB", "I", "", Mail("known@example.ORG"), true},
      {"FromAddrInAB", "I", "", Mail("nown@example.org"), false},
      {"FromAddrInAB", "I", "two.abd", Mail("two@example.org"), true},
      {"FromAddrInAB", "I", "", Mail("two@example.org"), true},  // merged: every shared rule sees it
      {"FromAddrInAB", "Ic", "", Mail("two@example.org"), false},  // a private read: this book alone
      {"FromAddrInAB", "IC", "two.abd", Mail("two@example.org"), true},
      {"FromAddrInAB", "I", "none.abd", Mail(""), false},  // no sender: no book is read
      {"ReplyToAddrInAB", "I", "", Mail("x@example.net", "known@example.org"), true},
      {"ReplyToAddrInAB", "I", "", Mail("known@example.org"), false},
      {"SenderInAB", "I", "", Mail("x@example.net", "known@example.org"), true},
      {"SenderInAB", "I", "", Mail("known@example.org", "x@example.net"), true},
      {"SenderInAB", "I", "", Mail("", "known@example.org"), true},
      {"SenderInAB", "I", "", Mail("x@example.net", "y@example.net"), false},
      {"ToAddrInAB", "I", "", Mail("x@example.net", "", "a@example.net, Me <ME@example.org>"), true},
      {"ToAddrInAB", "I", "", Mail("x@example.net", "", "a@example.net, b@example.net"), false},
      {"ToAddrInAB", "I", "none.abd", Mail("x@example.net", "", "undisclosed-recipients:;"), false},
  };
  for (const CheckCase& c : cases) {
    const Outcome o = Run(c.raw, MakeRule(c.field, c.flags, c.value));
    EXPECT_EQ(c.match, o.match) << c.field << " " << c.flags << " " << c.value << " " << c.raw;
    EXPECT_EQ("", o.text) << c.field;
  }
}

TEST_F(Checks, ABookThatFailsToLoadNeverMatches) {
  // Every address of the message is in the merged books: a check that
  // ignored the failure would white-list the message.
  dir_.Write("TheBat.ABD", AddressBookFile({"known@example.org"}));
  dir_.Write("bad.abd", "garbage!");
  dir_.Write("empty.abd", AddressBookFile({}));
  AddressBookSet books(dir_.Folder());
  services_.addressBooks = &books;
  const std::string known = "known@example.org";
  const std::string raw = Mail(known, known, "<" + known + ">");
  ASSERT_TRUE(Run(raw, MakeRule("ToAddrInAB", "I", "")).match);
  const struct {
    const char* book;
    std::string text;
  } books2[] = {{"none.abd", "ERROR: Address book file \"none.abd\" not found!\r\n"},
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

TEST_F(Checks, AutoWhiteList) {
  int y, m, d;
  DecodeDate(std::floor(os::LocalNow()), y, m, d);
  char today[16];
  std::snprintf(today, sizeof today, "%04d%02d%02d", y, m, d);
  dir_.Write("AutoWL.lst", "<pal@example.org>|" + std::string(today) + "\r\n<two@example.org> <mate@example.org>|" + today + "\r\n");
  AutoWhiteList list;
  ASSERT_EQ(2, list.Load(dir_.File("AutoWL.lst"), 60, os::LocalNow()));
  const CheckCase cases[] = {
      {"FromAddrInAutoWL", "I", "", Mail("PAL@example.org"), true},
      {"FromAddrInAutoWL", "I", "", Mail("mate@example.org"), true},
      {"FromAddrInAutoWL", "I", "", Mail("al@example.org"), false},
      {"FromAddrInAutoWL", "I", "", Mail("x@example.net", "pal@example.org"), false},
      {"ReplyToAddrInAutoWL", "I", "", Mail("x@example.net", "pal@example.org"), true},
      {"ReplyToAddrInAutoWL", "I", "", Mail("pal@example.org"), false},
      {"SenderInAutoWL", "I", "", Mail("x@example.net", "pal@example.org"), true},
      {"SenderInAutoWL", "I", "", Mail("pal@example.org", "x@example.net"), true},
      {"SenderInAutoWL", "I", "", Mail("", "pal@example.org"), true},
      {"SenderInAutoWL", "I", "", Mail("x@example.net", "y@example.net"), false},
  };
  for (const bool withList : {true, false}) {
    services_.autoWhiteList = withList ? &list : nullptr;
    for (const CheckCase& c : cases)
      EXPECT_EQ(withList && c.match, Run(c.raw, MakeRule(c.field, c.flags, c.value)).match) << c.field << " " << c.raw;
  }
}

// ---- Simple and regular-expression rules --------------------------------------------

TEST(SimpleRule, ComparisonsByFlagsCaseAndFolding) {
  const struct {
    const char* field;
    const char* flags;
    std::string term, text;
    bool match;
  } cases[] = {
      {"SUBJECT", "S", "viagra", "Buy VIAGRA now", true},   {"SUBJECT", "SC", "viagra", "Buy VIAGRA now", false},
      {"SUBJECT", "SC", "VIAGRA", "Buy VIAGRA now", true},  {"SUBJECT", "S", "cialis", "Buy VIAGRA", false},
      {"SUBJECT", "SM", "hello", "HELLO", true},            {"SUBJECT", "SM", "hello", "HELLO there", false},
      {"SUBJECT", "SMC", "hello", "HELLO", false},          {"SUBJECT", "SB", "re:", "RE: your mail", true},
      {"SUBJECT", "SB", "your", "RE: your mail", false},    {"SUBJECT", "SBC", "re:", "RE: your mail", false},
      {"SUBJECT", "SB", "re: your mail!", "RE: your mail", false}, {"SUBJECT", "SE", "MAIL", "RE: your mail", true},
      {"SUBJECT", "SE", "your", "RE: your mail", false},    {"SUBJECT", "SEC", "MAIL", "RE: your mail", false},
      {"SUBJECT", "SE", "x RE: your mail", "RE: your mail", false}, {"SUBJECT", "SNBA", "re:", "RE: x", true},
      {"SUBJECT", "SBM", "RE:", "RE: x", false},            {"SUBJECT", "SEB", "RE:", "RE: x", true},
      {"SUBJECT", "SEB", "x", "RE: x", false},              {"SUBJECT", "Sm", "RE", "RE: x", true},
      {"SUBJECT", "Sc", "re", "RE: x", true},               {"SUBJECT", "S", "", "anything", false},
      {"SUBJECT", "SC", "", "anything", false},             {"SUBJECT", "SB", "", "anything", true},
      {"SUBJECT", "SE", "", "anything", true},              {"SUBJECT", "SM", "", "", true},
      {"SUBJECT", "SM", "", "x", false},                    {"SUBJECT", "S", "gr\xE4" "fin", "GR\xC4" "FIN", true},
      {"SUBJECT", "SC", "gr\xE4" "fin", "GR\xC4" "FIN", false}, {"SUBJECT", "SE", "\xFF", "x\x9F", true},
      {"SUBJECT", "S", "\xD7", "\xF7", false},              {"SPAMSUBJ", "S", "v1agra", " viagra ", true},
      {"spamtext", "S", "\\/iagra", " buy viagra now ", true}, {"SUBJECT", "S", "v1agra", " viagra ", false},
      {"SPAMTEXT", "SC", "\x8A", " x\x9Ay ", true},         {"TEXT", "SC", "\x8A", " x\x9Ay ", false},
      {"SPAMTEXT", "SCC", "\x8A", " x\x9Ay ", false},       {"XSPAM", "S", "v1agra", " viagra ", false},
      {"SUBJECT", "S", "needle", std::string(300 * 1024, 'x') + "NEEDLE", true},
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
  for (int round = 0; round < 3; ++round)
    for (int i = 10; i < 30; ++i) {
      const std::string field = "Header " + std::to_string(i) + " MARKER" + std::to_string(i);
      std::string text;
      EXPECT_TRUE(EvaluateSimple(MakeRule("RAWHEADER", "S", "marker" + std::to_string(i)), field, upper, text));
      EXPECT_FALSE(EvaluateSimple(MakeRule("RAWHEADER", "S", "marker" + std::to_string(i + 1)), field, upper, text));
    }
}

TEST(RegExpRule, MatchesLimitsAndFailures) {
  const std::string longText = std::string(1024, 'x') + "foo" + std::string(2000, 'y');
  const char* kFailed = "ERROR: RegExp rule SUBJECT [c] failed.\r\n";
  const struct {
    std::string pattern, text;
    bool match;
    const char* text2;  // the report; null: none
    std::size_t max = 32 * 1024;
  } cases[] = {
      {"viagra", "Buy VIAGRA now", true},  {"^buy", "x\r\nbuy", false},       {"buy.*now", "BUY\r\nit NOW", true},
      {"\\bcheap\\b", "cheaper", false},   {"", "anything", true},            {"a(b", "a(b", false, kFailed},
      {"(a+)+$", std::string(64, 'a') + "!", false, kFailed},  // runs out of its match budget
      {"v\\iagra", "Buy VIAGRA", true},    {"\\y", "x\\", false},             {"[\\B]", "b", true},
      {"\\d\\m", "1M", true},              {"\\\\\\y", "\\Y", true},          {"\\ya(b", "ya(b", false, kFailed},
      {"\\L", "L", false, kFailed},        {"a\\", "a", false, kFailed},      {"x\\Gfoo|\\Gfoo", longText, false},
      {"a|\\Gx", longText, true},          {"(?m)^foo", longText, false},     {"(?<!x)foo", longText, false},
      {"\\bfoo", longText, false},         {"(?<=x{1024})foo", longText, true}, {"(?=ab\\K)", "1 XAB Y", true},
      {"x(?=y\\K)y", "--XY--", true},      {std::string("abc\0(", 5), "xxABCxx", true},
      {"b.c", std::string("ab\0cd", 5), true},
      {"needle", std::string(1018, 'x') + "needle-tail", true, nullptr, 1024},  // ends at byte 1024
      {"needle-", std::string(1018, 'x') + "needle-tail", false, nullptr, 1024},
      {"x$", std::string(1024, 'x') + "y", true, nullptr, 1024},  {"x$", std::string(1024, 'x') + "y", false},
  };
  RegexCache cache;
  for (RegexCache* c : {static_cast<RegexCache*>(nullptr), &cache, &cache})
    for (const auto& row : cases) {
      std::string text;
      EXPECT_EQ(row.match, EvaluateRegExp(MakeRule("SUBJECT", "R", row.pattern), row.text, row.max, c, text)) << row.pattern;
      EXPECT_EQ(row.text2 ? row.text2 : "", text) << row.pattern;
    }
}

}  // namespace
