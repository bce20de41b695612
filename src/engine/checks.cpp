// The evaluators of single rules and the internal-check dispatcher with the
// checks that look at the message itself.
#include "engine/checks.h"

#include <cmath>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "base/ipv4.h"
#include "base/strings.h"
#include "engine/evaluator.h"
#include "engine/internal_checks.h"
#include "engine/message_context.h"
#include "message/dates.h"
#include "message/parser.h"
#include "message/text_analysis.h"
#include "message/urls.h"
#include "os/env.h"
#include "regex/regex.h"
#include "rules/rule_store.h"

namespace quelta {

namespace {

// A space, a control character or the no-break space 0xA0.
bool IsBlankOrControl(unsigned char c) { return c <= 0x20 || c == 0x7F || c == 0xA0; }

std::string StripBlanks(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlankOrControl(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && IsBlankOrControl(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// "<", ">" or "=" followed by a number: compares value with the number.
// Returns false and sets ok = false for another operator.
bool CompareByOperator(char op, std::int64_t value, std::int64_t number, bool& ok) {
  ok = true;
  switch (op) {
    case '<': return value < number;
    case '>': return value > number;
    case '=': return value == number;
    default: ok = false; return false;
  }
}

// ---- The checks on the message itself -----------------------------------------------

// Short texts between HTML tags.
bool CheckBetwBrackCnt(CheckContext& c) {
  const std::string& v = c.rule.value;
  int minimum = StrToIntDef(Trim(GetToken(v, "|", 1)), 1);
  int maximum = StrToIntDef(Trim(GetToken(v, "|", 2)), 4);
  int limit = StrToIntDef(Trim(GetToken(v, "|", 3)), 10);
  const std::string html = AsciiLower(c.Field("HTMLPART"));
  if (html.empty()) return false;
  return CountShortTagTexts(html, minimum, maximum, limit) >= limit;
}

const char* const kBulkHeaderMarkers[] = {
    "%ANYDOMAIN", "%BOUNDARY", "{BOUNDARY_RELATED}", "%CHARSET", "%CONTENT_", "%CURRENT_",
    "%CUSTOM_", "%DOMAIN_", "%DOMAINS_", "%EHLO", "%FROM_", "$FIRSTNAME", "%F_NAME", "%HDR_",
    "%HEAD_", "%HEADER_", "%HELO", "$LASTNAME", "%LICENCE", "%MAKE_TXT", "%MAIL_", "@MAIL_",
    "%MESSAGEID", "%NAME_", "%OE_VERSION", "%OE_SUBVERSION", "%ONE_DNS_NAME", "%OLMSGID",
    "%PRIORITY", "%PROXY", "%PUNCTUATION", "[RANDOM]", "%RANDOM_", "#RANDOM", "%REC_",
    "%RECEIVED", "%RND_", "@RND_", "%RNDDIGIT", "%RNDDOMAINWORD", "%RNDLCCHAR", "%RNDUCCHAR",
    "{%ROT", "%SOME_", "{SPUR_", "%STRING_", "$STRIPPEDUSER", "%SUBJECT", "{SUBJECTS}",
    "%SYMBOL", "%TO%", "%TWO_DNS_NAME", "%X_MAILER"};
static_assert(sizeof(kBulkHeaderMarkers) / sizeof(kBulkHeaderMarkers[0]) == 53,
              "53 header markers");

const char* const kBulkBodyMarkers[] = {
    "$BASE64_IMAGE$", "%CONTENT_", "%CUSTOM_", "%MAKE_TXT", "%OE_VERSION", "%OE_SUBVERSION",
    "%PUNCTUATION", "[RANDOM]", "%RANDOM_", "#RANDOM", "%RNDDIGIT", "%RNDDOMAINWORD",
    "%RNDLCCHAR", "%RNDUCCHAR", "%RND_", "@RND_", "{%ROT", "%SOME_", "{SPUR_", "%STRING_"};
static_assert(sizeof(kBulkBodyMarkers) / sizeof(kBulkBodyMarkers[0]) == 20, "20 body markers");

template <std::size_t N>
int CountMarkers(const std::string& text, const char* const (&markers)[N]) {
  const std::string upper = AsciiUpper(text);
  int count = 0;
  for (const char* m : markers)
    if (upper.find(m) != std::string::npos) ++count;
  return count;
}

// Unexpanded markers of bulk-mail templates.
bool CheckBulkForm(CheckContext& c) {
  int count = CountMarkers(c.Field("RAWHEADER"), kBulkHeaderMarkers);
  if (count == 0 && HasOption(c.rule.flags, 'B'))
    count = CountMarkers(c.Field("RAWBODY"), kBulkBodyMarkers);
  return count > 0;
}

// Date header far from the delivery time.
bool CheckDateDeviate(CheckContext& c) {
  std::int32_t hours = StrToIntDef(Trim(c.rule.value), -1);
  if (hours < 0) {
    hours = 3;
    c.text += "WARING: Hours value in rule \"" + c.rule.field + "\" (" + c.rule.comment +
              ") is out of range! New value is 3.\r\n";
  }
  const double sent = c.Parser().GetDateField("DATEUTC", false);
  if (sent < 1.0) return false;

  double reference = 0;
  bool found = false;
  for (const std::string& item : QuotedListItems(c.Field("RCVRAWDATE"))) {
    int zone = 0;
    const double d = ParseDate(item, zone);
    if (d != 0) {
      reference = d - zone / 1440.0;
      found = true;
      break;
    }
  }
  if (!found) reference = os::LocalNow();
  // Whole hours between the two, counted from whole seconds: the values are
  // fractions of days, and 30 hours must not come out as 29.999... hours.
  const double seconds = std::floor(std::fabs(sent - reference) * 86400.0 + 0.5);
  return std::floor(seconds / 3600.0) >= static_cast<double>(hours);
}

bool CheckDateInvalid(CheckContext& c) { return c.Parser().GetDateField("DATEUTC", false) < 1.0; }

// Attachment names with two extensions.
bool CheckDoubleFileExt(CheckContext& c) {
  for (const std::string& name : QuotedListItems(c.Field("PARTNAME"))) {
    std::size_t p = name.find('.');
    if (p != std::string::npos && name.find('.', p + 1) != std::string::npos) return true;
  }
  return false;
}

bool CheckFieldEmpty(CheckContext& c) {
  std::string v = c.Field(c.rule.value);
  if (HasOption(c.rule.flags, 'T')) v = StripBlanks(v);
  return v.empty();
}

// Headers present: "a&b" all of them, "a|b" one of them.
bool CheckHdrExist(CheckContext& c) {
  const bool withCase = HasOption(c.rule.flags, 'C');
  const std::string header = "\r\n" + c.Field("RAWHEADER");
  auto present = [&](const std::string& piece) {
    const std::string key = "\r\n" + Trim(piece) + ":";
    if (withCase) return header.find(key) != std::string::npos;
    return c.message.UpperCase().Contains(header, os::AnsiUpperCase(key));
  };
  const std::string& v = c.rule.value;
  if (v.find('&') != std::string::npos) {
    for (const std::string& piece : SplitAt(v, '&'))
      if (!present(piece)) return false;
    return true;
  }
  for (const std::string& piece : SplitAt(v, '|'))
    if (present(piece)) return true;
  return false;
}

bool CheckLanguage(CheckContext& c, StopWordLanguage lang) {
  std::int32_t threshold = StrToIntDef(Trim(c.rule.value), 3);
  if (threshold < 1 || threshold > 32) threshold = 3;
  return HasStopWords(c.Field("TEXTWORD"), lang, threshold);
}

// The sender name of a hop: from, else host, else HELO, each only when it
// is not empty, not an address and not "unknown".
std::string HopSenderName(const std::string& hop) {
  for (int item : {1, 3, 2}) {
    std::string s = GetToken(hop, "\x02", item);
    if (!s.empty() && !IsIPv4(s) && s != "unknown") return s;
  }
  return std::string();
}

// A Received chain whose hops do not hand over to each other.
bool CheckRcvPosFaked(CheckContext& c) {
  const std::vector<std::string> hops = LineListItems(c.Field("RECEIVED"));
  static const std::string kUnparsed(6, '\x02');
  // hops[0] is the top (most recent) line; walk from the oldest pair up.
  for (std::size_t i = hops.size(); i >= 2; --i) {
    const std::string& older = hops[i - 1];
    const std::string& newer = hops[i - 2];
    if (older.compare(0, 6, kUnparsed) == 0 || newer.compare(0, 6, kUnparsed) == 0) continue;
    const SubDomainList* twoLevel = c.Parser().Options().twoLevelDomains;
    const std::string receiving = UrlDomain(GetToken(older, "\x02", 6), twoLevel);
    const std::string sending = UrlDomain(HopSenderName(newer), twoLevel);
    if (receiving != sending) return true;
  }
  return false;
}

bool CheckIsScore(CheckContext& c) {
  constexpr std::int32_t kSentinel = -2147483647;  // 0x80000001
  const std::string v = Trim(c.rule.value);
  const char op = v.empty() ? '\0' : v[0];
  const std::int32_t number = StrToIntDef(Trim(v.size() > 1 ? v.substr(1) : std::string()),
                                          kSentinel);
  if (number == kSentinel) {
    c.text = "ERROR: Score value in rule \"" + c.rule.field + "\" (" + c.rule.comment +
             ") is invalid!\r\n";
    return false;
  }
  bool ok = true;
  const bool r = CompareByOperator(op, c.total, number, ok);
  if (!ok) {
    c.text = "ERROR: Operator in rule \"" + c.rule.field + "\" (" + c.rule.comment +
             ") is invalid!\r\n";
    return false;
  }
  return r;
}

bool CheckRawMsgSize(CheckContext& c) {
  const std::int64_t size = c.Parser().GetSizeField("RAWMESSAGESIZE");
  if (size < 0) return false;
  const std::string v = Trim(c.rule.value);
  const char op = v.empty() ? '\0' : v[0];
  const std::int32_t number = StrToIntDef(Trim(v.size() > 1 ? v.substr(1) : std::string()), -1);
  if (number == -1) {
    c.text = "ERROR: Size value in rule \"" + c.rule.field + "\" (" + c.rule.comment +
             ") is invalid!\r\n";
    return false;
  }
  bool ok = true;
  const bool r = CompareByOperator(op, size, number, ok);
  if (!ok) {
    c.text = "ERROR: Operator in rule \"" + c.rule.field + "\" (" + c.rule.comment +
             ") is invalid!\r\n";
    return false;
  }
  return r;
}

// Words broken up by non-letters in the subject.
bool CheckSubjCrippled(CheckContext& c) {
  const std::string& v = c.rule.value;
  const std::size_t blank = v.find(' ');
  const std::int32_t count = StrToIntDef(Trim(v.substr(0, blank)), 1);
  const std::string extra = blank == std::string::npos ? std::string() : v.substr(blank + 1);
  return CountBrokenWords(c.Field("SUBJECT"), extra) >= count;
}

bool CheckSubjMultiSpace(CheckContext& c) {
  std::int32_t n = StrToIntDef(Trim(c.rule.value), 3);
  if (n < 1) n = 3;
  const std::string subj = StripBlanks(c.Field("SUBJ"));
  if (static_cast<std::size_t>(n) > subj.size()) return false;
  return subj.find(std::string(static_cast<std::size_t>(n), ' ')) != std::string::npos;
}

// The rendered text and the plain part disagree.
bool CheckTextPartsDiv(CheckContext& c) {
  const std::string a = Trim(LettersOnly(c.Field("TEXT")));
  const std::string b = Trim(LettersOnly(c.Field("PLAINPART")));
  if (a.empty() || b.empty()) return false;
  return a != b;
}

bool CheckDebugOut(CheckContext& c) {
  c.text = "Debug output for header \"" + c.rule.value + "\" (" + c.rule.comment +
           "):\r\nBEGIN>" + c.Field(c.rule.value) + "<END.\r\n";
  return false;
}

bool CheckIsEnglish(CheckContext& c) { return CheckLanguage(c, StopWordLanguage::English); }
bool CheckIsGerman(CheckContext& c) { return CheckLanguage(c, StopWordLanguage::German); }

using CheckFunction = bool (*)(CheckContext&);
struct CheckEntry {
  const char* name;  // upper case
  CheckFunction run;
};

// Every internal check by its name.
const CheckEntry kChecks[] = {
    {"BAYESSCORE", CheckBayesScore},
    {"BETWBRACKCNT", CheckBetwBrackCnt},
    {"BULKFORM", CheckBulkForm},
    {"DATEDEVIATE", CheckDateDeviate},
    {"DATEINVALID", CheckDateInvalid},
    {"DOUBLEFILEEXT", CheckDoubleFileExt},
    {"FIELDEMPTY", CheckFieldEmpty},
    {"HDREXIST", CheckHdrExist},
    {"ISENGLISH", CheckIsEnglish},
    {"ISGERMAN", CheckIsGerman},
    {"ISRCVPOSFAKED", CheckRcvPosFaked},
    {"ISSCORE", CheckIsScore},
    {"RAWMSGSIZE", CheckRawMsgSize},
    {"SUBJCRIPPLED", CheckSubjCrippled},
    {"SUBJMULTISPACE", CheckSubjMultiSpace},
    {"TEXTPARTSDIV", CheckTextPartsDiv},
    {"DEBUGOUT", CheckDebugOut},
    {"FROMADDRINAB", CheckFromAddrInAddressBook},
    {"REPLYTOADDRINAB", CheckReplyToAddrInAddressBook},
    {"SENDERINAB", CheckSenderInAddressBook},
    {"TOADDRINAB", CheckRecipientInAddressBook},
    {"FROMADDRINAUTOWL", CheckFromAddrInAutoWhiteList},
    {"REPLYTOADDRINAUTOWL", CheckReplyToAddrInAutoWhiteList},
    {"SENDERINAUTOWL", CheckSenderInAutoWhiteList},
    {"DNSBL", CheckDnsblRule},
    {"URLBL", CheckUrlblRule},
    {"MXCHECK", CheckMxRule},
    {"SENDERADDRVERIFY", CheckSenderAddressRule},
    {"GETRCVIPHOSTS", CheckGetRcvIpHosts},
    {"RCVALLIPSINRANGE", CheckRcvAllIpsInRange},
    {"RCVFROMIPINRANGE", CheckRcvFromIpInRange},
    {"RCVIPINRANGE", CheckRcvIpInRange},
};

}  // namespace

std::vector<std::string> InternalCheckNames() {
  std::vector<std::string> names;
  for (const CheckEntry& check : kChecks) names.emplace_back(check.name);
  return names;
}

MessageParser& CheckContext::Parser() { return message.Parser(); }
std::string CheckContext::Field(const std::string& name) { return message.Parser().GetField(name); }

// ---- Simple rules ------------------------------------------------------------------

SimpleTerm PrepareSimpleTerm(const Rule& rule) {
  SimpleTerm t;
  try {
    t.term = rule.value;
    std::string flags = rule.flags;
    if (StartsWithNoCase(rule.field, "SPAM")) {
      // Folded fields: fold the term the same way and compare without case.
      t.term = FoldText(t.term);
      const std::size_t p = flags.find('C');
      if (p != std::string::npos) flags.erase(p, 1);
    }
    t.withCase = flags.find('C') != std::string::npos;
    if (flags.find('M') != std::string::npos) t.mode = SimpleMode::kWhole;
    else if (flags.find('B') != std::string::npos) t.mode = SimpleMode::kBegins;
    else if (flags.find('E') != std::string::npos) t.mode = SimpleMode::kEnds;
    if (!t.withCase && t.mode == SimpleMode::kContains) t.upperTerm = os::AnsiUpperCase(t.term);
  } catch (...) {
    t.valid = false;
  }
  return t;
}

bool EvaluateSimple(const Rule& rule, const SimpleTerm& t, const std::string& fieldText,
                    UpperText& upper, std::string& text) {
  try {
    if (!t.valid) throw std::runtime_error("term");
    const std::string& term = t.term;
    const std::size_t n = term.size();
    switch (t.mode) {
      case SimpleMode::kWhole:
        return t.withCase ? os::AnsiCompareStr(fieldText, term) == 0
                          : os::AnsiCompareText(fieldText, term) == 0;
      case SimpleMode::kBegins: {
        if (fieldText.size() < n) return false;
        const std::string head = fieldText.substr(0, n);
        return t.withCase ? os::AnsiCompareStr(head, term) == 0
                          : os::AnsiCompareText(head, term) == 0;
      }
      case SimpleMode::kEnds: {
        if (fieldText.size() < n) return false;
        const std::string tail = fieldText.substr(fieldText.size() - n);
        return t.withCase ? os::AnsiCompareStr(tail, term) == 0
                          : os::AnsiCompareText(tail, term) == 0;
      }
      case SimpleMode::kContains:
        break;
    }
    if (term.empty()) return false;  // an empty term is contained nowhere
    if (t.withCase) return fieldText.find(term) != std::string::npos;
    return upper.Contains(t.upperTerm);
  } catch (...) {
    text = "ERROR: Simple rule " + rule.field + " [" + rule.comment + "] failed.\r\n";
    return false;
  }
}

namespace {

// The upper-cased text of one field through the message's cache.
class CachedUpper : public UpperText {
 public:
  CachedUpper(UpperCaseCache& cache, const std::string& text) : cache_(cache), text_(text) {}
  bool Contains(const std::string& upperTerm) override { return cache_.Contains(text_, upperTerm); }

 private:
  UpperCaseCache& cache_;
  const std::string& text_;
};

}  // namespace

bool EvaluateSimple(const Rule& rule, const std::string& fieldText, UpperCaseCache& upper,
                    std::string& text) {
  CachedUpper cached(upper, fieldText);
  return EvaluateSimple(rule, PrepareSimpleTerm(rule), fieldText, cached, text);
}

// ---- Regular-expression rules ---------------------------------------------------------

bool EvaluateRegExp(const Rule& rule, const Regex* re, const std::string& fieldText,
                    std::size_t maxSize, std::string& text, const StartOffsets& starts) {
  try {
    if (!re) throw RegexError("not compiled");
    std::string_view subject(fieldText);
    if (subject.size() > maxSize) subject = subject.substr(0, maxSize);
    return IsMatchFrom(*re, subject, starts);
  } catch (...) {
    text = "ERROR: RegExp rule " + rule.field + " [" + rule.comment + "] failed.\r\n";
    return false;
  }
}

bool EvaluateRegExp(const Rule& rule, const std::string& fieldText, std::size_t maxSize,
                    std::string& text) {
  RegexRef re;
  try {
    re = CreateRegex(rule.value);
  } catch (...) {
  }
  return EvaluateRegExp(rule, re.get(), fieldText, maxSize, text);
}

// ---- Internal rules ---------------------------------------------------------------------

int FindInternalCheck(const std::string& field) {
  const std::string name = AsciiUpper(field);
  for (std::size_t i = 0; i < sizeof(kChecks) / sizeof(kChecks[0]); ++i)
    if (name == kChecks[i].name) return static_cast<int>(i);
  return -1;
}

bool EvaluateInternal(CheckContext& c, int check) {
  c.score = c.rule.score;
  c.text.clear();
  try {
    if (check >= 0) return kChecks[check].run(c);
    c.text = "ERROR: Internal rule \"" + c.rule.field + "\" (" + c.rule.comment + ") not found!\r\n";
    return false;
  } catch (...) {
    c.text += "ERROR: Intern rule " + c.rule.field + " [" + c.rule.comment + "] failed.\r\n";
    return false;
  }
}

bool EvaluateInternal(CheckContext& c) {
  int check = -1;
  try {
    check = FindInternalCheck(c.rule.field);
  } catch (...) {
    c.score = c.rule.score;
    c.text = "ERROR: Intern rule " + c.rule.field + " [" + c.rule.comment + "] failed.\r\n";
    return false;
  }
  return EvaluateInternal(c, check);
}

}  // namespace quelta
