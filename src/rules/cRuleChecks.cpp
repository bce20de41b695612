// The evaluators of single rules (see cRuleChecks.h): simple comparisons,
// regular-expression matches and the internal-check dispatcher with the
// checks that look at the message itself.
#include "rules/cRuleChecks.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <mutex>
#include <string_view>
#include <vector>

#include "bayes/cBayes.h"
#include "common/fMain.h"
#include "message/cDates.h"
#include "message/cMsgParser.h"
#include "message/cWords.h"
#include "platform/Env.h"
#include "plugin/fPlugin.h"
#include "regex/PCRE.h"
#include "rules/cLists.h"
#include "rules/cRuleMgr.h"

namespace quelta {

namespace {

// ---- Shared helpers ------------------------------------------------------------

// Upper-cased texts by the system's rules, remembered for the last few
// distinct texts: a rule set holds many case-insensitive rules on the same
// field, and the field text is then upper-cased once per message instead of
// once per rule. One process-wide cache under a lock (the plug-in runs on
// threads of the host, which may outlive the library, so nothing is kept
// per thread); texts above kMaxCachedText are not remembered.
class TUpperCache {
 public:
  // Whether upperTerm occurs in text upper-cased.
  bool Contains(const std::string& text, const std::string& upperTerm) {
    if (text.size() > kMaxCachedText)
      return env::AnsiUpperCase(text).find(upperTerm) != std::string::npos;
    std::lock_guard<std::mutex> lock(mutex_);
    return Upper(text).find(upperTerm) != std::string::npos;
  }

 private:
  static constexpr std::size_t kEntries = 8;
  static constexpr std::size_t kMaxCachedText = 256 * 1024;
  struct TEntry {
    std::string source, upper;
    bool used = false;
  };

  const std::string& Upper(const std::string& text) {
    for (TEntry& e : entries_) {
      if (e.used && e.source.size() == text.size() &&
          std::memcmp(e.source.data(), text.data(), text.size()) == 0)
        return e.upper;
    }
    TEntry& e = entries_[next_];
    next_ = (next_ + 1) % kEntries;
    e.used = false;
    e.source = text;
    e.upper = env::AnsiUpperCase(text);
    e.used = true;
    return e.upper;
  }

  std::mutex mutex_;
  TEntry entries_[kEntries];
  std::size_t next_ = 0;
};

bool ContainsNoCase(const std::string& text, const std::string& upperTerm) {
  static TUpperCache cache;
  return cache.Contains(text, upperTerm);
}

// An option letter of an internal check: anywhere in the flags, either case.
bool HasOption(const std::string& flags, char upperLetter) {
  const char lower = static_cast<char>(upperLetter + ('a' - 'A'));
  return flags.find(upperLetter) != std::string::npos || flags.find(lower) != std::string::npos;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  std::size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char a = s[i], b = prefix[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
    if (a != b) return false;
  }
  return true;
}

// A space, a control character or the no-break space 0xA0.
bool IsBlankOrControl(unsigned char c) { return c <= 0x20 || c == 0x7F || c == 0xA0; }

std::string StripBlanks(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlankOrControl(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && IsBlankOrControl(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// The items of a line list (each item followed by CR LF; a last item
// without CR LF counts too).
std::vector<std::string> LineListItems(const std::string& text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t p = text.find("\r\n", start);
    if (p == std::string::npos) {
      items.push_back(text.substr(start));
      break;
    }
    items.push_back(text.substr(start, p - start));
    start = p + 2;
  }
  return items;
}

// The pieces of text between delim characters (n delimiters give n + 1
// pieces, empty ones included).
std::vector<std::string> SplitAt(const std::string& text, char delim) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    std::size_t p = text.find(delim, start);
    if (p == std::string::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, p - start));
    start = p + 1;
  }
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

// ---- The internal checks ----------------------------------------------------------

struct TCheckContext {
  TRuleMgr& mgr;
  const TRuleRecord& rule;
  std::int32_t& score;
  std::string& text;

  TMessageParser& Parser() { return mgr.Parser(); }
  std::string Field(const std::string& name) { return mgr.Parser().GetField(name); }
};

// Short texts between HTML tags.
bool CheckBetwBrackCnt(TCheckContext& c) {
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
bool CheckBulkForm(TCheckContext& c) {
  int count = CountMarkers(c.Field("RAWHEADER"), kBulkHeaderMarkers);
  if (count == 0 && HasOption(c.rule.flags, 'B'))
    count = CountMarkers(c.Field("RAWBODY"), kBulkBodyMarkers);
  return count > 0;
}

// Date header far from the delivery time.
bool CheckDateDeviate(TCheckContext& c) {
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
  if (!found) reference = env::LocalNow();
  // Whole hours between the two, counted from whole seconds: the values are
  // fractions of days, and 30 hours must not come out as 29.999... hours.
  const double seconds = std::floor(std::fabs(sent - reference) * 86400.0 + 0.5);
  return std::floor(seconds / 3600.0) >= static_cast<double>(hours);
}

bool CheckDateInvalid(TCheckContext& c) { return c.Parser().GetDateField("DATEUTC", false) < 1.0; }

// Attachment names with two extensions.
bool CheckDoubleFileExt(TCheckContext& c) {
  for (const std::string& name : QuotedListItems(c.Field("PARTNAME"))) {
    std::size_t p = name.find('.');
    if (p != std::string::npos && name.find('.', p + 1) != std::string::npos) return true;
  }
  return false;
}

bool CheckFieldEmpty(TCheckContext& c) {
  std::string v = c.Field(c.rule.value);
  if (HasOption(c.rule.flags, 'T')) v = StripBlanks(v);
  return v.empty();
}

// Headers present: "a&b" all of them, "a|b" one of them.
bool CheckHdrExist(TCheckContext& c) {
  const bool withCase = HasOption(c.rule.flags, 'C');
  const std::string header = "\r\n" + c.Field("RAWHEADER");
  auto present = [&](const std::string& piece) {
    const std::string key = "\r\n" + Trim(piece) + ":";
    if (withCase) return header.find(key) != std::string::npos;
    return ContainsNoCase(header, env::AnsiUpperCase(key));
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

bool CheckLanguage(TCheckContext& c, TStopLanguage lang) {
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
bool CheckRcvPosFaked(TCheckContext& c) {
  const std::vector<std::string> hops = LineListItems(c.Field("RECEIVED"));
  static const std::string kUnparsed(6, '\x02');
  // hops[0] is the top (most recent) line; walk from the oldest pair up.
  for (std::size_t i = hops.size(); i >= 2; --i) {
    const std::string& older = hops[i - 1];
    const std::string& newer = hops[i - 2];
    if (older.compare(0, 6, kUnparsed) == 0 || newer.compare(0, 6, kUnparsed) == 0) continue;
    const std::string receiving = UrlDomain(GetToken(older, "\x02", 6));
    const std::string sending = UrlDomain(HopSenderName(newer));
    if (receiving != sending) return true;
  }
  return false;
}

bool CheckIsScore(TCheckContext& c) {
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
  const bool r = CompareByOperator(op, c.mgr.Total(), number, ok);
  if (!ok) {
    c.text = "ERROR: Operator in rule \"" + c.rule.field + "\" (" + c.rule.comment +
             ") is invalid!\r\n";
    return false;
  }
  return r;
}

bool CheckRawMsgSize(TCheckContext& c) {
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
bool CheckSubjCrippled(TCheckContext& c) {
  const std::string& v = c.rule.value;
  const std::size_t blank = v.find(' ');
  const std::int32_t count = StrToIntDef(Trim(v.substr(0, blank)), 1);
  const std::string extra = blank == std::string::npos ? std::string() : v.substr(blank + 1);
  return CountBrokenWords(c.Field("SUBJECT"), extra) >= count;
}

bool CheckSubjMultiSpace(TCheckContext& c) {
  std::int32_t n = StrToIntDef(Trim(c.rule.value), 3);
  if (n < 1) n = 3;
  const std::string subj = StripBlanks(c.Field("SUBJ"));
  if (static_cast<std::size_t>(n) > subj.size()) return false;
  return subj.find(std::string(static_cast<std::size_t>(n), ' ')) != std::string::npos;
}

// The rendered text and the plain part disagree.
bool CheckTextPartsDiv(TCheckContext& c) {
  const std::string a = Trim(LettersOnly(c.Field("TEXT")));
  const std::string b = Trim(LettersOnly(c.Field("PLAINPART")));
  if (a.empty() || b.empty()) return false;
  return a != b;
}

bool CheckDebugOut(TCheckContext& c) {
  c.text = "Debug output for header \"" + c.rule.value + "\" (" + c.rule.comment +
           "):\r\nBEGIN>" + c.Field(c.rule.value) + "<END.\r\n";
  return false;
}

bool IsNetworkCheck(const std::string& upperName) {
  static const char* const kNames[] = {"DNSBL",           "URLBL",           "MXCHECK",
                                       "SENDERADDRVERIFY", "GETRCVIPHOSTS",   "RCVALLIPSINRANGE",
                                       "RCVFROMIPINRANGE", "RCVIPINRANGE"};
  for (const char* n : kNames)
    if (upperName == n) return true;
  return false;
}

std::string NotFoundText(const TRuleRecord& rule) {
  return "ERROR: Internal rule \"" + rule.field + "\" (" + rule.comment + ") not found!\r\n";
}

}  // namespace

// ---- Simple rules ------------------------------------------------------------------

bool EvaluateSimple(const TRuleRecord& rule, const std::string& fieldText, std::string& text) {
  try {
    std::string term = rule.value;
    std::string flags = rule.flags;
    if (StartsWithNoCase(rule.field, "SPAM")) {
      // Folded fields: fold the term the same way and compare without case.
      term = FoldText(term);
      const std::size_t p = flags.find('C');
      if (p != std::string::npos) flags.erase(p, 1);
    }
    const bool withCase = flags.find('C') != std::string::npos;
    const std::size_t n = term.size();

    if (flags.find('M') != std::string::npos)
      return withCase ? env::AnsiCompareStr(fieldText, term) == 0
                      : env::AnsiCompareText(fieldText, term) == 0;
    if (flags.find('B') != std::string::npos) {
      if (fieldText.size() < n) return false;
      const std::string head = fieldText.substr(0, n);
      return withCase ? env::AnsiCompareStr(head, term) == 0
                      : env::AnsiCompareText(head, term) == 0;
    }
    if (flags.find('E') != std::string::npos) {
      if (fieldText.size() < n) return false;
      const std::string tail = fieldText.substr(fieldText.size() - n);
      return withCase ? env::AnsiCompareStr(tail, term) == 0
                      : env::AnsiCompareText(tail, term) == 0;
    }
    if (term.empty()) return false;  // an empty term is contained nowhere
    if (withCase) return fieldText.find(term) != std::string::npos;
    return ContainsNoCase(fieldText, env::AnsiUpperCase(term));
  } catch (...) {
    text = "ERROR: Simple rule " + rule.field + " [" + rule.comment + "] failed.\r\n";
    return false;
  }
}

// ---- Regular-expression rules ---------------------------------------------------------

bool EvaluateRegExp(const TRuleRecord& rule, const std::string& fieldText, std::string& text) {
  try {
    // Compiled patterns come from the layer's cache: the outcome (and any
    // error) is the same as compiling the term for this evaluation.
    const TRegexRef re = AcquireRegex(rule.value, kRuleRegexOptions, "C", 0);
    std::string_view subject(fieldText);
    const std::size_t limit = Plugin().Settings.MaxRegExpSize;
    if (subject.size() > limit) subject = subject.substr(0, limit);
    return IsMatch(re, subject);
  } catch (...) {
    text = "ERROR: RegExp rule " + rule.field + " [" + rule.comment + "] failed.\r\n";
    return false;
  }
}

// ---- Internal rules ---------------------------------------------------------------------

bool EvaluateInternal(TRuleMgr& mgr, const TRuleRecord& rule, std::int32_t& score,
                      std::string& text) {
  score = rule.score;
  text.clear();
  TCheckContext c{mgr, rule, score, text};
  try {
    const std::string name = AsciiUpper(rule.field);
    if (name == "BAYESSCORE") return CheckBayesScore(mgr, rule, score, text);
    if (name == "BETWBRACKCNT") return CheckBetwBrackCnt(c);
    if (name == "BULKFORM") return CheckBulkForm(c);
    if (name == "DATEDEVIATE") return CheckDateDeviate(c);
    if (name == "DATEINVALID") return CheckDateInvalid(c);
    if (name == "DOUBLEFILEEXT") return CheckDoubleFileExt(c);
    if (name == "FIELDEMPTY") return CheckFieldEmpty(c);
    if (name == "HDREXIST") return CheckHdrExist(c);
    if (name == "ISENGLISH") return CheckLanguage(c, TStopLanguage::English);
    if (name == "ISGERMAN") return CheckLanguage(c, TStopLanguage::German);
    if (name == "ISRCVPOSFAKED") return CheckRcvPosFaked(c);
    if (name == "ISSCORE") return CheckIsScore(c);
    if (name == "RAWMSGSIZE") return CheckRawMsgSize(c);
    if (name == "SUBJCRIPPLED") return CheckSubjCrippled(c);
    if (name == "SUBJMULTISPACE") return CheckSubjMultiSpace(c);
    if (name == "TEXTPARTSDIV") return CheckTextPartsDiv(c);
    if (name == "DEBUGOUT") return CheckDebugOut(c);
    // The network and IP-range checks are not available in this build.
    if (IsNetworkCheck(name)) {
      text = NotFoundText(rule);
      return false;
    }
    // Address-book and auto-white-list checks.
    bool handled = false;
    const bool r = EvaluateListCheck(mgr, name, rule, handled, text);
    if (handled) return r;
    text = NotFoundText(rule);
    return false;
  } catch (...) {
    text += "ERROR: Intern rule " + rule.field + " [" + rule.comment + "] failed.\r\n";
    return false;
  }
}

}  // namespace quelta
