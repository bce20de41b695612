// cMsgParser: `TMessageParser` turns one raw message into named data fields
// ("SUBJECT", "RAWHEADER", "TEXT", "FROMADDR", "RCVALLIPS", ...; a name
// ending in ":" reads a header). Derived fields are computed on first
// request and cached; an empty computed value is cached too.
//
// Promises: no field fails (malformed input gives empty strings or the
// documented defaults); each field costs about linear time in its input;
// a parser is used on one thread only and owns its word table.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "bayes/cWordList.h"
#include "plugin/BatAPI.h"

namespace quelta {

struct TRecipient {
  std::string RawName, RawAddr, Name, Addr;
};

// One leaf MIME part.
struct TMsgPart {
  std::string Header, RawHeader, DecodedBody, RawBody, ContentType, Name, ContentId,
      Boundary, Charset, TransferEncoding;
};

class TMessageParser {
 public:
  TMessageParser(std::string raw, TDataRequestProc proc = nullptr, THostCookie cookie = 0);
  ~TMessageParser();
  TMessageParser(const TMessageParser&) = delete;
  TMessageParser& operator=(const TMessageParser&) = delete;

  // The field accessor: name trimmed and upper-cased; unknown names give "".
  std::string GetField(const std::string& name);
  // As above; with noResult set the field is only computed and cached.
  void GetField(const std::string& name, bool noResult, std::string& out);
  // Raw message length for "RAWMESSAGESIZE", -1 for any other name.
  std::int64_t GetSizeField(const std::string& name) const;
  // "DATESENDER" / "DATEUTC" (computes RAWDATE first); 0 otherwise or when
  // flag is set.
  double GetDateField(const std::string& name, bool flag = false);

  // The word table; null until "PARSEONLY_WORDLIST" was requested.
  TWordList* WordList() { return words_.get(); }
  // The one cache written from outside (by the GETRCVIPHOSTS check).
  void SetRcvIpHosts(const std::string& value);

  const std::vector<TRecipient>& Recipients();  // builds them on demand
  const std::vector<TMsgPart>& Parts();          // builds them on demand
  int PlainPartIndex();                          // -1 when none
  int HtmlPartIndex();                           // -1 when none

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::unique_ptr<TWordList> words_;
};

}  // namespace quelta
