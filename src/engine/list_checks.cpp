// The internal checks on known senders: the host's address books and the
// auto-white-list.
#include <stdexcept>

#include "base/strings.h"
#include "engine/evaluator.h"
#include "engine/internal_checks.h"
#include "lists/address_book.h"
#include "lists/angle_index.h"
#include "lists/auto_white_list.h"
#include "message/parser.h"
#include "rules/rule_store.h"

namespace quelta {

namespace {

// The address text one address-book check tests: the merged text of every
// book shared so far, or (flag "C") this book alone.
struct BookView {
  const AddressBookSet* shared = nullptr;
  std::string privateFolded;
  bool Contains(const std::string& needle) const {
    if (!shared) return FoldedContains(privateFolded, needle);
    return shared->Contains(needle);
  }
};

// Loads the rule's book; false (with the report handed on) when loading
// reported anything.
bool PrepareBook(CheckContext& c, BookView& view) {
  AddressBookSet* books = c.services.addressBooks;
  if (!books) throw std::logic_error("no address books");
  std::string report;
  if (HasOption(c.rule.flags, 'C')) {
    std::string addr;
    books->ReadPrivate(c.rule.value, addr, report);
    view.privateFolded = FoldCase(addr);
  } else {
    books->Merge(c.rule.value, report);
    view.shared = books;
  }
  if (!report.empty()) {
    c.text += report;
    return false;
  }
  return true;
}

bool AddressInBook(CheckContext& c, const char* field) {
  const std::string addr = c.Field(field);
  if (addr == "<>") return false;
  BookView view;
  if (!PrepareBook(c, view)) return false;
  return view.Contains(addr);
}

// Whether the auto-white-list holds needle (no list holds nothing).
bool InWhiteList(CheckContext& c, const std::string& needle) {
  return c.services.autoWhiteList && c.services.autoWhiteList->Contains(needle);
}

int WhiteListCount(CheckContext& c) {
  return c.services.autoWhiteList ? c.services.autoWhiteList->Count() : 0;
}

}  // namespace

bool CheckFromAddrInAddressBook(CheckContext& c) { return AddressInBook(c, "FROMADDR"); }

bool CheckReplyToAddrInAddressBook(CheckContext& c) { return AddressInBook(c, "REPLYTOADDR"); }

bool CheckSenderInAddressBook(CheckContext& c) {
  const std::string from = c.Field("FROMADDR");
  if (from != "<>") {
    BookView view;
    if (!PrepareBook(c, view)) return false;
    if (view.Contains(from)) return true;
  }
  const std::string reply = c.Field("REPLYTOADDR");
  if (reply.empty()) return false;
  BookView view;
  if (!PrepareBook(c, view)) return false;
  return view.Contains(reply);
}

bool CheckRecipientInAddressBook(CheckContext& c) {
  if (c.Field("TOADDR") == "<>") return false;
  BookView view;
  if (!PrepareBook(c, view)) return false;
  for (const Recipient& r : c.Parser().Recipients())
    if (view.Contains("<" + r.addr + ">")) return true;
  return false;
}

bool CheckFromAddrInAutoWhiteList(CheckContext& c) { return InWhiteList(c, c.Field("FROMADDR")); }

bool CheckReplyToAddrInAutoWhiteList(CheckContext& c) {
  const std::string reply = c.Field("REPLYTOADDR");
  return !reply.empty() && WhiteListCount(c) > 0 && InWhiteList(c, reply);
}

bool CheckSenderInAutoWhiteList(CheckContext& c) {
  const std::string from = c.Field("FROMADDR");
  if (!from.empty() && InWhiteList(c, from)) return true;
  const std::string reply = c.Field("REPLYTOADDR");
  return !reply.empty() && InWhiteList(c, reply);
}

}  // namespace quelta
