// The internal checks on the message itself, through the dispatcher: each
// check with its arguments, defaults and option letters over real messages,
// and the dispatcher's name handling and error texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "plugin/host_abi.h"
#include "app/session.h"
#include "engine/checks.h"
#include "engine/evaluator.h"
#include "rules/rule_store.h"

using namespace quelta;

namespace {

Rule Rule(const std::string& field, const std::string& flags, const std::string& value,
                 const std::string& comment = "cmt", std::int32_t score = 7) {
  Rule r;
  r.field = field;
  r.score = score;
  r.flags = flags;
  r.value = value;
  r.comment = comment;
  return r;
}

// A message from header lines (without line ends) and a body.
std::string Msg(const std::string& headers, const std::string& body = "Hello.\r\n") {
  return headers + "\r\n\r\n" + body;
}

struct Result {
  bool match = false;
  std::int32_t score = 0;
  std::string text;
};

Result Check(MessageEvaluator& mgr, const Rule& rule) {
  Result r;
  r.score = -12345;
  r.match = EvaluateInternal(mgr, rule, r.score, r.text);
  return r;
}

Result Check(const std::string& raw, const Rule& rule) {
  MessageEvaluator mgr(raw);
  return Check(mgr, rule);
}

// A host that serves one message and its rendered text (UTF-16LE).
struct FakeHost {
  std::string raw;
  std::string rendered;  // Windows-1252; served as UTF-16LE

  static std::int32_t TBP_STDCALL Request(HostCookie cookie, std::int32_t item, void* buffer,
                                          std::int32_t size) {
    const FakeHost* host = reinterpret_cast<const FakeHost*>(cookie);
    std::string data;
    if (item == kItemRawMessage) {
      data = host->raw;
    } else if (item == kItemRenderedText) {
      for (char c : host->rendered) {
        data += c;
        data += '\0';
      }
    } else {
      return 0;
    }
    if (!buffer) return static_cast<std::int32_t>(data.size());
    const std::size_t n = std::min(data.size(), static_cast<std::size_t>(size < 0 ? 0 : size));
    std::memcpy(buffer, data.data(), n);
    return static_cast<std::int32_t>(n);
  }
};

Result CheckWithText(const std::string& raw, const std::string& rendered,
                      const Rule& rule) {
  FakeHost host{raw, rendered};
  MessageEvaluator mgr(reinterpret_cast<HostCookie>(&host), &FakeHost::Request);
  return Check(mgr, rule);
}

const std::string kReceivedTop =
    "Received: from relay.example.org (relay.example.org [192.0.2.2]) by mx.example.net "
    "(Postfix) with ESMTP id 2 for <u@example.net>; Mon, 1 Jan 2007 10:00:00 +0000";
const std::string kReceivedBottom =
    "Received: from client.example.com (client.example.com [192.0.2.1]) by relay.example.org "
    "(Postfix) with ESMTP id 1 for <u@example.net>; Mon, 1 Jan 2007 09:59:00 +0000";

}  // namespace

// ---- Dispatcher ------------------------------------------------------------------

TEST(InternalCheck, UnknownNameReportsNotFound) {
  const Result r = Check(Msg("Subject: x"), Rule("NoSuchCheck", "IN", "", "my comment"));
  EXPECT_FALSE(r.match);
  EXPECT_EQ(r.text, "ERROR: Internal rule \"NoSuchCheck\" (my comment) not found!\r\n");
}

TEST(InternalCheck, NetworkChecksAreNotAvailable) {
  for (const char* name : {"DNSBL", "urlbl", "MXCheck", "SENDERADDRVERIFY", "GetRcvIpHosts",
                           "RCVALLIPSINRANGE", "RCVFROMIPINRANGE", "RCVIPINRANGE"}) {
    const Result r = Check(Msg("Subject: x"), Rule(name, "I", "x", "c"));
    EXPECT_FALSE(r.match) << name;
    EXPECT_EQ(r.text, std::string("ERROR: Internal rule \"") + name + "\" (c) not found!\r\n");
  }
}

TEST(InternalCheck, NamesIgnoreLetterCaseAndScoreIsTheRulesOwn) {
  const std::string raw = Msg("Subject: x\r\nX-Mailer: m");
  for (const char* name : {"HDREXIST", "HdrExist", "hdrexist"}) {
    const Result r = Check(raw, Rule(name, "I", "X-Mailer", "c", 23));
    EXPECT_TRUE(r.match) << name;
    EXPECT_EQ(r.score, 23);
    EXPECT_EQ(r.text, "");
  }
  // A check that does not match hands the score back unchanged too.
  const Result r = Check(raw, Rule("HDREXIST", "I", "X-Other", "c", -5));
  EXPECT_FALSE(r.match);
  EXPECT_EQ(r.score, -5);
}

TEST(InternalCheck, BayesScoreWithBayesDisabledNeverMatchesAndWritesNothing) {
  const bool saved = Plugin().Settings.BayesEnabled;
  Plugin().Settings.BayesEnabled = false;
  for (const char* flags : {"I", "IP", "IC", "ID"}) {
    const Result r = Check(Msg("Subject: cheap pills"), Rule("BayesScore", flags, ""));
    EXPECT_FALSE(r.match) << flags;
    EXPECT_EQ(r.text, "") << flags;
  }
  Plugin().Settings.BayesEnabled = saved;
}

// ---- Structure of HTML, subject and parts --------------------------------------------

TEST(InternalCheck, BetwBrackCnt) {
  std::string html;
  for (int i = 0; i < 10; ++i) html += "<td>ab</td>";  // ten short texts "ab"
  const std::string htmlMsg = Msg("Subject: x\r\nContent-Type: text/html", html);
  std::string nine;
  for (int i = 0; i < 9; ++i) nine += "<td>ab</td>";
  const std::string nineMsg = Msg("Subject: x\r\nContent-Type: text/html", nine);

  EXPECT_TRUE(Check(htmlMsg, Rule("BETWBRACKCNT", "I", "")).match);  // defaults 1, 4, 10
  EXPECT_FALSE(Check(nineMsg, Rule("BETWBRACKCNT", "I", "")).match);
  EXPECT_TRUE(Check(nineMsg, Rule("BETWBRACKCNT", "I", "1|4|9")).match);
  EXPECT_TRUE(Check(nineMsg, Rule("BETWBRACKCNT", "I", "x|y|9")).match);  // defaults for x, y
  EXPECT_FALSE(Check(nineMsg, Rule("BETWBRACKCNT", "I", "3|4|1")).match);  // "ab" is too short
  EXPECT_TRUE(Check(nineMsg, Rule("BETWBRACKCNT", "I", "2|2|1")).match);
  // Upper-case tags and texts count the same (the HTML is lowered first).
  EXPECT_TRUE(Check(Msg("Content-Type: TEXT/HTML", "<B>AB</B><I>CD</I>"),
                    Rule("BETWBRACKCNT", "I", "1|4|2"))
                  .match);
  // No HTML part: no match, whatever the limit.
  EXPECT_FALSE(Check(Msg("Subject: x", "<td>ab</td>"), Rule("BETWBRACKCNT", "I", "1|4|0")).match);
}

TEST(InternalCheck, SubjCrippled) {
  const struct {
    const char* subject;
    const char* value;
    bool expected;
  } cases[] = {
      {"Cheap v1agra", "", true},          // default count 1
      {"Cheap v1agra", "1", true},
      {"Cheap v1agra and m0ney", "2", true},
      {"Cheap v1agra and m0ney", "3", false},
      {"Your e-mail account", "", false},  // the hyphen counts as a letter
      {"Cheap v*agra", "1", true},
      {"Cheap v*agra", "1 *", false},      // '*' made a letter by the rule
      {"Cheap v*a#gra", "1 *#", false},
      {"Cheap v*a#gra", "1 *", true},
      {"Cheap v1agra", "x", true},         // not a number: count 1
  };
  for (const auto& c : cases)
    EXPECT_EQ(Check(Msg(std::string("Subject: ") + c.subject), Rule("SUBJCRIPPLED", "I", c.value))
                  .match,
              c.expected)
        << c.subject << " / " << c.value;
}

TEST(InternalCheck, SubjMultiSpace) {
  // The unfolded header keeps no runs of spaces; runs come from encoded
  // words ("_" is a space in Q encoding).
  const struct {
    const char* subject;
    const char* value;
    bool expected;
  } cases[] = {
      {"=?iso-8859-1?Q?Hello___world?=", "", true},  // default 3
      {"=?iso-8859-1?Q?Hello__world?=", "", false},
      {"=?iso-8859-1?Q?Hello__world?=", "2", true},
      {"=?iso-8859-1?Q?Hello___world?=", "4", false},
      {"=?iso-8859-1?Q?Hello___world?=", "0", true},  // below 1: 3
      {"=?iso-8859-1?Q?Hello___world?=", "-2", true},
      {"=?iso-8859-1?Q?Hello___world?=", "abc", true},
      {"=?iso-8859-1?Q?Hello___?=", "3", false},      // runs at the ends do not count
      {"=?iso-8859-1?Q?___Hello?=", "3", false},
      {"=?iso-8859-1?Q?Hello_=A0__world?=", "3", false},  // a no-break space is no space
      {"Hello   world", "", false},                   // collapsed by unfolding
      {"a", "999999999", false},                      // longer than the subject
      {"", "1", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Check(Msg(std::string("Subject: ") + c.subject), Rule("SUBJMULTISPACE", "I", c.value))
                  .match,
              c.expected)
        << c.subject << " / " << c.value;
}

TEST(InternalCheck, DoubleFileExt) {
  auto multipart = [](const std::string& name) {
    return Msg("Subject: x\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"XX\"",
               "--XX\r\nContent-Type: text/plain\r\n\r\nSee attachment.\r\n"
               "--XX\r\nContent-Type: application/octet-stream; name=\"" + name +
                   "\"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAAA\r\n--XX--\r\n");
  };
  EXPECT_TRUE(Check(multipart("invoice.pdf.exe"), Rule("DOUBLEFILEEXT", "I", "")).match);
  EXPECT_TRUE(Check(multipart("a..b"), Rule("DOUBLEFILEEXT", "I", "")).match);
  EXPECT_FALSE(Check(multipart("invoice.pdf"), Rule("DOUBLEFILEEXT", "I", "")).match);
  EXPECT_FALSE(Check(multipart("invoice"), Rule("DOUBLEFILEEXT", "I", "")).match);
  EXPECT_FALSE(Check(Msg("Subject: a.b.c"), Rule("DOUBLEFILEEXT", "I", "")).match);
}

TEST(InternalCheck, TextPartsDiv) {
  const std::string raw = Msg("Subject: x\r\nContent-Type: text/plain", "Hello World!\r\n");
  EXPECT_FALSE(CheckWithText(raw, "hello, world", Rule("TEXTPARTSDIV", "I", "")).match);
  EXPECT_TRUE(CheckWithText(raw, "Buy pills", Rule("TEXTPARTSDIV", "I", "")).match);
  // Either side without letters: no match.
  EXPECT_FALSE(CheckWithText(raw, "", Rule("TEXTPARTSDIV", "I", "")).match);
  EXPECT_FALSE(CheckWithText(raw, "12345 !!", Rule("TEXTPARTSDIV", "I", "")).match);
  EXPECT_FALSE(CheckWithText(Msg("Subject: x", "123\r\n"), "Buy pills",
                             Rule("TEXTPARTSDIV", "I", ""))
                   .match);
  // Without a host the rendered text is empty.
  EXPECT_FALSE(Check(raw, Rule("TEXTPARTSDIV", "I", "")).match);
}

// ---- Bulk-mailer markers -------------------------------------------------------------

TEST(InternalCheck, BulkForm) {
  const struct {
    const char* headers;
    const char* body;
    const char* flags;
    bool expected;
  } cases[] = {
      {"Subject: x\r\nX-Mailer: %rnd_mailer", "Hi\r\n", "I", true},  // any letter case
      {"Subject: Hello %FIRSTNAME", "Hi\r\n", "I", false},            // "$FIRSTNAME" only
      {"Subject: Hello $firstname", "Hi\r\n", "I", true},
      {"Subject: x", "Click %RND_LINK\r\n", "I", false},              // body only with "B"
      {"Subject: x", "Click %RND_LINK\r\n", "IB", true},
      {"Subject: x", "Click %rnd_link\r\n", "Ib", true},              // option letter, any case
      {"Subject: x", "Dear %SUBJECT\r\n", "IB", false},               // a header-only marker
      {"Subject: x", "img $BASE64_IMAGE$\r\n", "IB", true},
      {"Subject: x", "Plain text\r\n", "IB", false},
      {"To: %TO%", "x\r\n", "I", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Check(Msg(c.headers, c.body), Rule("BULKFORM", c.flags, "")).match, c.expected)
        << c.headers << " / " << c.body << " / " << c.flags;
}

// ---- Dates -------------------------------------------------------------------------

TEST(InternalCheck, DateInvalid) {
  EXPECT_TRUE(Check(Msg("Subject: x"), Rule("DATEINVALID", "I", "")).match);
  EXPECT_TRUE(Check(Msg("Date: Mon, 1 Jan 07 10:00:00 +0100"), Rule("DATEINVALID", "I", "")).match);
  EXPECT_TRUE(Check(Msg("Date: Fri, 30 Feb 2007 10:00:00 +0000"), Rule("DATEINVALID", "I", "")).match);
  EXPECT_FALSE(Check(Msg("Date: Mon, 1 Jan 2007 10:00:00 +0100"), Rule("DATEINVALID", "I", "")).match);
}

TEST(InternalCheck, DateDeviate) {
  const std::string received =
      "Received: from a.example.org (a.example.org [192.0.2.1]) by mx.example.net (Postfix) with "
      "ESMTP id 1 for <u@example.net>; Wed, 3 Jan 2007 10:00:00 +0000";
  const std::string date30hBefore = "Date: Tue, 2 Jan 2007 04:00:00 +0000";
  EXPECT_TRUE(Check(Msg(received + "\r\n" + date30hBefore), Rule("DATEDEVIATE", "I", "24")).match);
  EXPECT_TRUE(Check(Msg(received + "\r\n" + date30hBefore), Rule("DATEDEVIATE", "I", "30")).match);
  EXPECT_FALSE(Check(Msg(received + "\r\n" + date30hBefore), Rule("DATEDEVIATE", "I", "31")).match);
  // 30 hours apart once both are moved to UTC
  EXPECT_TRUE(Check(Msg(received + "\r\nDate: Tue, 2 Jan 2007 06:00:00 +0200"),
                    Rule("DATEDEVIATE", "I", "30"))
                  .match);
  // 30 hours by the clock, 28 hours in UTC
  EXPECT_FALSE(Check(Msg(received + "\r\nDate: Tue, 2 Jan 2007 04:00:00 -0200"),
                     Rule("DATEDEVIATE", "I", "30"))
                   .match);
  // A Date after the delivery counts as well (absolute difference).
  EXPECT_TRUE(Check(Msg(received + "\r\nDate: Wed, 3 Jan 2007 14:00:00 +0000"),
                    Rule("DATEDEVIATE", "I", "4"))
                  .match);
  // An unreadable Date never matches.
  EXPECT_FALSE(Check(Msg(received + "\r\nDate: 2 Jan 07 04:00:00 +0000"), Rule("DATEDEVIATE", "I", "0"))
                   .match);
}

TEST(InternalCheck, DateDeviateTakesTheFirstReadableReceivedDate) {
  const std::string unreadable =
      "Received: from a.example.org (a.example.org [192.0.2.1]) by mx.example.net with ESMTP "
      "id 1 for <u@example.net>; sometime yesterday";
  const std::string readable =
      "Received: from b.example.org (b.example.org [192.0.2.9]) by a.example.org with ESMTP "
      "id 2 for <u@example.net>; Tue, 2 Jan 2007 12:00:00 +0200";  // 10:00 UTC
  const std::string date = "Date: Tue, 2 Jan 2007 08:00:00 +0000";
  const std::string raw = Msg(unreadable + "\r\n" + readable + "\r\n" + date);
  EXPECT_TRUE(Check(raw, Rule("DATEDEVIATE", "I", "2")).match);
  EXPECT_FALSE(Check(raw, Rule("DATEDEVIATE", "I", "3")).match);
}

TEST(InternalCheck, DateDeviateWithoutReceivedDatesUsesTheCurrentTime) {
  // A message dated 2007 is years away from now.
  EXPECT_TRUE(Check(Msg("Date: Mon, 1 Jan 2007 10:00:00 +0000"), Rule("DATEDEVIATE", "I", "24")).match);
}

TEST(InternalCheck, DateDeviateWarnsAboutAMissingOrNegativeHourValue) {
  const std::string received =
      "Received: from a.example.org (a.example.org [192.0.2.1]) by mx.example.net with ESMTP "
      "id 1 for <u@example.net>; Wed, 3 Jan 2007 10:00:00 +0000";
  for (const char* value : {"", "-1", "abc"}) {
    // 3 hours apart: matches with the substitute value 3
    Result r = Check(Msg(received + "\r\nDate: Wed, 3 Jan 2007 07:00:00 +0000"),
                      Rule("DateDeviate", "I", value, "dd"));
    EXPECT_TRUE(r.match) << value;
    EXPECT_EQ(r.text,
              "WARING: Hours value in rule \"DateDeviate\" (dd) is out of range! New value is 3.\r\n");
    r = Check(Msg(received + "\r\nDate: Wed, 3 Jan 2007 07:00:01 +0000"),
              Rule("DateDeviate", "I", value, "dd"));
    EXPECT_FALSE(r.match) << value;
  }
  EXPECT_EQ(Check(Msg(received), Rule("DATEDEVIATE", "I", " 5 ")).text, "");
}

// ---- Fields and headers ---------------------------------------------------------------

TEST(InternalCheck, FieldEmpty) {
  const std::string raw = Msg("Subject: \xA0\r\nX-Mailer: m\r\nX-Blank: \t");
  const struct {
    const char* flags;
    const char* value;
    bool expected;
  } cases[] = {
      {"I", "X-Mailer:", false},
      {"I", "X-Missing:", true},
      {"I", "x-missing:", true},
      {"I", "X-Blank:", true},       // the header lookup strips leading white space
      {"I", "SUBJECT", false},       // a no-break space is text ...
      {"IT", "SUBJECT", true},       // ... unless stripped with "T"
      {"It", "SUBJECT", true},
      {"I", "NOSUCHFIELD", true},    // an unknown field is empty
      {"IT", "RAWHEADER", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Check(raw, Rule("FIELDEMPTY", c.flags, c.value)).match, c.expected)
        << c.flags << " " << c.value;
}

TEST(InternalCheck, HdrExist) {
  const std::string raw = Msg("Subject: x\r\nX-Mailer: m\r\nX-Mailer-Info: i\r\nx-lower: y");
  const struct {
    const char* flags;
    const char* value;
    bool expected;
  } cases[] = {
      {"I", "X-Mailer&X-Priority", false},
      {"I", "X-Mailer|X-Priority", true},
      {"I", "X-Priority|X-Mailer", true},
      {"I", "X-Priority", false},
      {"I", "X-Mailer&Subject", true},
      {"I", "Subject", true},                 // the first header line counts
      {"I", " X-Mailer & Subject ", true},    // names are trimmed
      {"I", "X-Mailer-Inf", false},           // a name is followed by ":"
      {"I", "X-Priority|X-Mailer&Subject", false},  // "&" first: "X-Priority|X-Mailer" is one name
      {"I", "x-mailer", true},
      {"IC", "x-mailer", false},
      {"Ic", "x-mailer", false},
      {"IC", "x-lower", true},
      {"IC", "X-Lower", false},
      {"I", "", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Check(raw, Rule("HDREXIST", c.flags, c.value)).match, c.expected)
        << c.flags << " " << c.value;
  // A header named only inside the body does not count.
  EXPECT_FALSE(Check(Msg("Subject: x", "X-Priority: 1\r\n"), Rule("HDREXIST", "I", "X-Priority"))
                   .match);
}

TEST(InternalCheck, RawMsgSize) {
  std::string raw = Msg("Subject: x", "");
  raw += std::string(999 - raw.size(), 'a');
  ASSERT_EQ(raw.size(), 999u);
  const struct {
    const char* value;
    bool expected;
    const char* text;
  } cases[] = {
      {"<1000", true, ""},
      {"<999", false, ""},
      {">998", true, ""},
      {"=999", true, ""},
      {"= 999", true, ""},
      {"x100", false, "ERROR: Operator in rule \"RawMsgSize\" (sz) is invalid!\r\n"},
      {"<abc", false, "ERROR: Size value in rule \"RawMsgSize\" (sz) is invalid!\r\n"},
      {"<-1", false, "ERROR: Size value in rule \"RawMsgSize\" (sz) is invalid!\r\n"},
      {"", false, "ERROR: Size value in rule \"RawMsgSize\" (sz) is invalid!\r\n"},
      {"<", false, "ERROR: Size value in rule \"RawMsgSize\" (sz) is invalid!\r\n"},
  };
  for (const auto& c : cases) {
    const Result r = Check(raw, Rule("RawMsgSize", "I", c.value, "sz"));
    EXPECT_EQ(r.match, c.expected) << c.value;
    EXPECT_EQ(r.text, c.text) << c.value;
  }
}

TEST(InternalCheck, IsScoreArgumentsAgainstATotalOfZero) {
  const struct {
    const char* value;
    bool expected;
    const char* text;
  } cases[] = {
      {">-1", true, ""},
      {">0", false, ""},
      {"<1", true, ""},
      {"=0", true, ""},
      {"= 0", true, ""},
      {">", false, "ERROR: Score value in rule \"IsScore\" (s) is invalid!\r\n"},
      {"", false, "ERROR: Score value in rule \"IsScore\" (s) is invalid!\r\n"},
      {">x", false, "ERROR: Score value in rule \"IsScore\" (s) is invalid!\r\n"},
      {"x0", false, "ERROR: Operator in rule \"IsScore\" (s) is invalid!\r\n"},
      {"!=0", false, "ERROR: Score value in rule \"IsScore\" (s) is invalid!\r\n"},
  };
  for (const auto& c : cases) {
    const Result r = Check(Msg("Subject: x"), Rule("IsScore", "I", c.value, "s"));
    EXPECT_EQ(r.match, c.expected) << c.value;
    EXPECT_EQ(r.text, c.text) << c.value;
  }
}

namespace {

// Runs the rule driver over a rule store of the given lines; returns the
// result. The log goes to a scratch folder.
std::int32_t ScoreWithRules(const std::string& raw, const std::vector<std::string>& lines) {
  PluginObjects& o = Objects();
  std::unique_ptr<RuleStore> saved = std::move(o.Rules);
  const std::string savedLog = Plugin().Config.LogPath;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / "quelta_checks_test_log";
  std::filesystem::create_directories(dir);
  Plugin().Config.LogPath = dir.string() + "/";
  o.Rules = std::make_unique<RuleStore>();
  for (const std::string& l : lines) EXPECT_TRUE(o.Rules->AddLine(l)) << l;
  MessageEvaluator mgr(raw);
  const std::int32_t result = mgr.Evaluate();
  o.Rules = std::move(saved);
  Plugin().Config.LogPath = savedLog;
  std::filesystem::remove_all(dir);
  return result;
}

}  // namespace

TEST(InternalCheck, IsScoreComparesTheTotalSoFar) {
  const bool savedBayes = Plugin().Settings.BayesEnabled;
  Plugin().Settings.BayesEnabled = false;
  const std::string raw = Msg("Subject: x");
  EXPECT_EQ(ScoreWithRules(raw, {"SUBJECT 41 SB \"\" [base]", "IsScore 10 I \">40\" [over]"}), 51);
  EXPECT_EQ(ScoreWithRules(raw, {"SUBJECT 40 SB \"\" [base]", "IsScore 10 I \">40\" [over]"}), 40);
  // the rule's own score is not part of the total it compares
  EXPECT_EQ(ScoreWithRules(raw, {"SUBJECT 40 SB \"\" [base]", "IsScore 10 I \"=40\" [eq]",
                                 "IsScore 5 I \"=50\" [eq2]"}),
            55);
  Plugin().Settings.BayesEnabled = savedBayes;
}

// ---- Language and the Received chain --------------------------------------------------

TEST(InternalCheck, IsEnglishAndIsGerman) {
  const std::string raw = Msg("Subject: x");
  const struct {
    const char* check;
    const char* rendered;
    const char* value;
    bool expected;
  } cases[] = {
      {"ISENGLISH", "the cat and you", "", true},      // default 3
      {"ISENGLISH", "the the the", "", false},         // one stop word three times
      {"ISENGLISH", "the cat and you", "4", false},
      {"ISENGLISH", "the cat", "1", true},
      {"ISENGLISH", "the cat and you", "0", true},     // outside 1..32: 3
      {"ISENGLISH", "the cat and you", "33", true},
      {"ISENGLISH", "the cat and", "33", false},
      {"ISENGLISH", "THE CAT AND YOU", "", true},      // the word list is lower case
      {"ISGERMAN", "ich bin hier und du", "", true},
      {"ISGERMAN", "the cat and you", "", false},
      {"ISGERMAN", "das ist f\xFCr dich", "3", true},  // "fuer" with u-umlaut
      {"ISENGLISH", "", "1", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CheckWithText(raw, c.rendered, Rule(c.check, "I", c.value)).match, c.expected)
        << c.check << " '" << c.rendered << "' " << c.value;
}

TEST(InternalCheck, IsRcvPosFaked) {
  const Rule rule = Rule("ISRCVPOSFAKED", "I", "");
  // An unbroken chain: relay.example.org receives, then hands on as itself.
  EXPECT_FALSE(Check(Msg(kReceivedTop + "\r\n" + kReceivedBottom), rule).match);
  // A single hop never matches.
  EXPECT_FALSE(Check(Msg(kReceivedTop), rule).match);
  EXPECT_FALSE(Check(Msg("Subject: x"), rule).match);
  // The next hop claims to come from another domain.
  const std::string forged =
      "Received: from relay.other.org (relay.other.org [192.0.2.2]) by mx.example.net "
      "(Postfix) with ESMTP id 2; Mon, 1 Jan 2007 10:00:00 +0000";
  EXPECT_TRUE(Check(Msg(forged + "\r\n" + kReceivedBottom), rule).match);
  // Another host of the same registered domain is fine.
  const std::string sameDomain =
      "Received: from mail2.example.org (mail2.example.org [192.0.2.2]) by mx.example.net "
      "with ESMTP id 2; Mon, 1 Jan 2007 10:00:00 +0000";
  EXPECT_FALSE(Check(Msg(sameDomain + "\r\n" + kReceivedBottom), rule).match);
  // A from word that is an address or "unknown" gives way to the host comment.
  const std::string byAddress =
      "Received: from 192.0.2.2 (relay.example.org [192.0.2.2]) by mx.example.net with ESMTP "
      "id 2; Mon, 1 Jan 2007 10:00:00 +0000";
  EXPECT_FALSE(Check(Msg(byAddress + "\r\n" + kReceivedBottom), rule).match);
  const std::string unknownFrom =
      "Received: from unknown (relay.example.org [192.0.2.2]) by mx.example.net with ESMTP "
      "id 2; Mon, 1 Jan 2007 10:00:00 +0000";
  EXPECT_FALSE(Check(Msg(unknownFrom + "\r\n" + kReceivedBottom), rule).match);
  const std::string unknownHost =
      "Received: from unknown (unknown.other.org [192.0.2.2]) by mx.example.net with ESMTP "
      "id 2; Mon, 1 Jan 2007 10:00:00 +0000";
  EXPECT_TRUE(Check(Msg(unknownHost + "\r\n" + kReceivedBottom), rule).match);
  // A line that cannot be taken apart is skipped with its neighbours.
  const std::string garbage = "Received: (qmail 1234 invoked from network)";
  EXPECT_FALSE(Check(Msg(forged + "\r\n" + garbage + "\r\n" + kReceivedBottom), rule).match);
  // Every pair is compared: a broken upper pair above an intact lower one.
  const std::string bottom2 =
      "Received: from pc.example.com (pc.example.com [192.0.2.5]) by client.example.com with "
      "SMTP id 0; Mon, 1 Jan 2007 09:58:00 +0000";
  EXPECT_FALSE(Check(Msg(kReceivedTop + "\r\n" + kReceivedBottom + "\r\n" + bottom2), rule).match);
  EXPECT_TRUE(Check(Msg(forged + "\r\n" + kReceivedBottom + "\r\n" + bottom2), rule).match);
}

// ---- Debug output -----------------------------------------------------------------------

TEST(InternalCheck, DebugOutWritesTheFieldAndNeverMatches) {
  const Result r = Check(Msg("Subject: Hello there\r\nX-Mailer: m"),
                          Rule("DebugOut", "I", "subject", "dbg", 50));
  EXPECT_FALSE(r.match);
  EXPECT_EQ(r.score, 50);
  EXPECT_EQ(r.text, "Debug output for header \"subject\" (dbg):\r\nBEGIN>Hello there<END.\r\n");
  EXPECT_EQ(Check(Msg("Subject: x"), Rule("DEBUGOUT", "I", "X-None:", "d")).text,
            "Debug output for header \"X-None:\" (d):\r\nBEGIN><END.\r\n");
}
