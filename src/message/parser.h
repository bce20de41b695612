// MessageParser turns one raw message into named data fields
// ("SUBJECT", "RAWHEADER", "TEXT", "FROMADDR", "RCVALLIPS", ...; a name
// ending in ":" reads a header). Derived fields are computed on first
// request and cached; an empty computed value is cached too.
//
// Promises: no field fails (malformed input gives empty strings or the
// documented defaults); each field costs about linear time in its input;
// a parser is used on one thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "message/mime.h"

namespace quelta {

struct Recipient {
  std::string rawName, rawAddr, name, addr;
};

class SubDomainList;

// What the parser needs from the settings.
struct MessageOptions {
  // Decoded parts and the rendered text are cut to this many bytes.
  std::uint32_t maxDataSize = 100u * 1024u;
  // The two-level domain list for URLDOMAINLIST; null: none.
  const SubDomainList* twoLevelDomains = nullptr;
};

// The text the host shows for the message (field "TEXT"), fetched only when
// a rule asks for it.
class RenderedTextSource {
 public:
  virtual ~RenderedTextSource() = default;
  // The rendered text, fetched with at most maxBytes bytes of the host's
  // UTF-16 form and reduced to single bytes; "" when the host has none.
  virtual std::string RenderedText(std::size_t maxBytes) = 0;
};

// Every name GetField answers with a data field, upper case, in a fixed
// order; names ending in ":" (headers) come on top of these.
const std::vector<std::string>& DataFieldNames();

// A data field named once: a rule resolves its field's name when the rules
// are loaded and reads the text through the handle for every message,
// without looking the name up again.
struct FieldHandle {
  int id = -1;         // the parser's field, or one of the two kinds below
  std::string header;  // for a header field: its name without the ":"
};

class MessageParser {
 public:
  // The handle of a field name (trimmed, any case; "Name:" reads a header;
  // an unknown name gives a handle whose text is always empty).
  static FieldHandle ResolveField(const std::string& name);

  explicit MessageParser(std::string raw, const MessageOptions& options = {},
                         RenderedTextSource* rendered = nullptr);
  ~MessageParser();
  MessageParser(const MessageParser&) = delete;
  MessageParser& operator=(const MessageParser&) = delete;

  // The text of a field, computed on first use; the reference stays valid
  // (its text may change only for RCVIPHOSTS) as long as the parser lives.
  const std::string& FieldText(const FieldHandle& field);
  // The field accessor: name trimmed and upper-cased; unknown names give "".
  std::string GetField(const std::string& name);
  // Raw message length for "RAWMESSAGESIZE", -1 for any other name.
  std::int64_t GetSizeField(const std::string& name) const;
  // "DATESENDER" / "DATEUTC" (computes RAWDATE first); 0 otherwise or when
  // flag is set.
  double GetDateField(const std::string& name, bool flag = false);

  const MessageOptions& Options() const;
  // The one cache written from outside (by the GETRCVIPHOSTS check).
  void SetRcvIpHosts(const std::string& value);

  const std::vector<Recipient>& Recipients();  // builds them on demand
  const std::vector<MimePart>& Parts();          // builds them on demand
  int PlainPartIndex();                          // -1 when none
  int HtmlPartIndex();                           // -1 when none

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quelta
