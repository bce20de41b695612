// White and black lists as list rules, and the internal checks on known
// senders (address books and auto-white-list).
#include "rules/cLists.h"

#include <fstream>

#include "message/cMsgParser.h"
#include "platform/Env.h"
#include "plugin/fPlugin.h"
#include "rules/cAddrBook.h"
#include "rules/cAutoWL.h"
#include "rules/cListText.h"
#include "rules/cRuleMgr.h"
#include "rules/cRules.h"

namespace quelta {

namespace {

using listtext::Trim;

// The search text of a list entry: "*x*" anywhere, "x*" address begins
// with, "*x" address ends with, else the whole address.
std::string SearchText(const std::string& e) {
  const bool starFirst = !e.empty() && e.front() == '*';
  const bool starLast = !e.empty() && e.back() == '*';
  if (starFirst && starLast) return e.size() >= 2 ? e.substr(1, e.size() - 2) : std::string();
  if (starLast) return "<" + e.substr(0, e.size() - 1);
  if (starFirst) return e.substr(1) + ">";
  return "<" + e + ">";
}

bool HasOption(const std::string& flags, char upper) {
  for (char c : flags)
    if (c == upper || c == upper + ('a' - 'A')) return true;
  return false;
}

// The address text one address-book check tests: the merged text of every
// book shared so far, or (flag "C") this book alone.
struct TBookView {
  bool isPrivate = false;
  std::string privateFolded;
  bool Contains(const std::string& needle) const {
    if (isPrivate) return listtext::FoldedContains(privateFolded, needle);
    return AddrBooks().Index.Contains(needle);
  }
};

// Loads the rule's book; false (with the report handed on) when loading
// reported anything.
bool PrepareBook(const TRuleRecord& rule, TBookView& view, std::string& text) {
  view.isPrivate = HasOption(rule.flags, 'C');
  std::string addr = view.isPrivate ? std::string() : AddrBookWrongFormat();
  std::string report;
  LoadAddressBook(rule.value, addr, report);
  if (!report.empty()) {
    text += report;
    return false;
  }
  if (view.isPrivate) view.privateFolded = listtext::Fold(addr);
  return true;
}

bool AddressInBook(TRuleMgr& mgr, const TRuleRecord& rule, const char* field,
                   std::string& text) {
  const std::string addr = mgr.Parser().GetField(field);
  if (addr == "<>") return false;
  TBookView view;
  if (!PrepareBook(rule, view, text)) return false;
  return view.Contains(addr);
}

bool SenderInBook(TRuleMgr& mgr, const TRuleRecord& rule, std::string& text) {
  const std::string from = mgr.Parser().GetField("FROMADDR");
  if (from != "<>") {
    TBookView view;
    if (!PrepareBook(rule, view, text)) return false;
    if (view.Contains(from)) return true;
  }
  const std::string reply = mgr.Parser().GetField("REPLYTOADDR");
  if (reply.empty()) return false;
  TBookView view;
  if (!PrepareBook(rule, view, text)) return false;
  return view.Contains(reply);
}

bool RecipientInBook(TRuleMgr& mgr, const TRuleRecord& rule, std::string& text) {
  if (mgr.Parser().GetField("TOADDR") == "<>") return false;
  TBookView view;
  if (!PrepareBook(rule, view, text)) return false;
  for (const TRecipient& r : mgr.Parser().Recipients())
    if (view.Contains("<" + r.Addr + ">")) return true;
  return false;
}

bool InAutoWL(const std::string& needle) {
  const TAutoWhiteList* list = Objects().AutoWL.get();
  return list && list->Contains(needle);
}

int AutoWLCount() {
  const TAutoWhiteList* list = Objects().AutoWL.get();
  return list ? list->Count() : 0;
}

}  // namespace

int LoadAddressList(TRules& rules, const std::string& folder, const std::string& file,
                    bool asWhiteList) {
  const std::string path = folder + file;
  if (!env::FileExists(path)) return -1;
  try {
    {
      // The list is opened for reading and writing: a file that does not
      // allow writing (read-only, or held by another program) is a read
      // failure, as the list editor could not save it either.
      std::fstream probe(path, std::ios::in | std::ios::out | std::ios::binary);
      if (!probe.is_open()) return -2;
    }
    std::string data;
    if (!env::ReadFile(path, data)) return -2;
    TRuleRecord rec;
    rec.field = "FromAddr";
    rec.score = asWhiteList ? 0 : 100;
    rec.flags = asWhiteList ? "SW" : "SH";
    rec.comment = asWhiteList ? "WHITELIST: Whitelisted mail address from \"" + file + "\""
                              : "BLACKLIST: Blacklisted mail address from \"" + file + "\"";
    int count = 0;
    for (const std::string& line : listtext::SplitLines(data)) {
      std::string e = Trim(line);
      if (e.empty() || e[0] == '#') continue;
      const std::size_t lt = e.find('<');
      if (lt != std::string::npos) {
        const std::size_t gt = e.find('>', lt + 1);
        e = Trim(gt == std::string::npos ? e.substr(lt + 1) : e.substr(lt + 1, gt - lt - 1));
      }
      rec.value = SearchText(e);
      rules.AddRecord(rec);
      ++count;
    }
    return count;
  } catch (...) {
    return -2;
  }
}

bool EvaluateListCheck(TRuleMgr& mgr, const std::string& upperName, const TRuleRecord& rule,
                       bool& handled, std::string& text) {
  handled = true;
  try {
    if (upperName == "FROMADDRINAB") return AddressInBook(mgr, rule, "FROMADDR", text);
    if (upperName == "REPLYTOADDRINAB") return AddressInBook(mgr, rule, "REPLYTOADDR", text);
    if (upperName == "SENDERINAB") return SenderInBook(mgr, rule, text);
    if (upperName == "TOADDRINAB") return RecipientInBook(mgr, rule, text);
    if (upperName == "FROMADDRINAUTOWL") return InAutoWL(mgr.Parser().GetField("FROMADDR"));
    if (upperName == "REPLYTOADDRINAUTOWL") {
      const std::string reply = mgr.Parser().GetField("REPLYTOADDR");
      return !reply.empty() && AutoWLCount() > 0 && InAutoWL(reply);
    }
    if (upperName == "SENDERINAUTOWL") {
      const std::string from = mgr.Parser().GetField("FROMADDR");
      if (!from.empty() && InAutoWL(from)) return true;
      const std::string reply = mgr.Parser().GetField("REPLYTOADDR");
      return !reply.empty() && InAutoWL(reply);
    }
  } catch (...) {
    text += "ERROR: Intern rule " + rule.field + " [" + rule.comment + "] failed.\r\n";
    return false;
  }
  handled = false;
  return false;
}

}  // namespace quelta
