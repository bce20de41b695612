#include "message/cMsgParser.h"

#include <algorithm>
#include <array>

#include "common/fMain.h"
#include "message/cDates.h"
#include "message/cMime.h"
#include "message/cReceived.h"
#include "message/cWords.h"
#include "plugin/fPlugin.h"

namespace quelta {

namespace {

// Every derived field (names sharing a value share an id).
enum FieldId : int {
  fRawSubject,
  fSubject,
  fText,
  fTextWord,
  fSubjText,
  fSpamText,
  fSpamSubj,
  fSpamSubjText,
  fSpamPlain,
  fPriority,
  fMailer,
  fMsgId,
  fInReplyTo,
  fReferences,
  fReturnPath,
  fOrganization,
  fReceived,
  fRcvAllIps,
  fRcvAllHosts,
  fRcvAllDomains,
  fRcvFrom,
  fRcvFromIp,
  fRcvFromName,
  fRcvHelo,
  fRcvHost,
  fRcvIp,
  fRcvIpIp,
  fRcvSender,
  fRcvBy,
  fRcvWith,
  fRcvFor,
  fRcvRawDate,
  fParsedContentType,
  fContentType,
  fCharset,
  fBoundary,
  fEncoding,
  fMessageParts,
  fPartRawHeader,
  fPartHeader,
  fPartType,
  fPartBoundary,
  fPartCharset,
  fPartEncode,
  fPartName,
  fPartId,
  fRawDate,
  fRawFrom,
  fFrom,
  fRawFromAddr,
  fRawFromName,
  fFromAddr,
  fFromName,
  fReplyTo,
  fReplyToAddr,
  fRawTo,
  fTo,
  fRecipientList,
  fRawToName,
  fRawToAddr,
  fToName,
  fToAddr,
  fWordList,
  fRawPlainPart,
  fPlainPart,
  fPlainWord,
  fRawHtmlPart,
  fHtmlPart,
  fTextPart,
  fRawTextPart,
  fRawUrlList,
  fRawUrlArgList,
  fUrlList,
  fUrlArgList,
  fUrlDomainList,
  fEmlList,
  fEmlDomainList,
  kDerivedCount,
  // Fields that are not computed on demand.
  fRawMsg = 1000,
  fRawBody,
  fRawHeader,
  fHeader,
  fLowerHeader,
  fRcvIpHosts,
};

struct TFieldName {
  const char* Name;
  FieldId Id;
};

constexpr TFieldName kFieldNames[] = {
    {"RAWMSG", fRawMsg},
    {"RAWBODY", fRawBody},
    {"RAWHEADER", fRawHeader},
    {"HEADER", fHeader},
    {"LOWERHEADER", fLowerHeader},
    {"RAWSUBJECT", fRawSubject},
    {"SUBJ", fSubject},
    {"SUBJECT", fSubject},
    {"TEXT", fText},
    {"TEXTWORD", fTextWord},
    {"SUBJTEXT", fSubjText},
    {"SPAMTEXT", fSpamText},
    {"SPAMSUBJ", fSpamSubj},
    {"SPAMSUBJTEXT", fSpamSubjText},
    {"SPAMPLAIN", fSpamPlain},
    {"PRIORITY", fPriority},
    {"MAILER", fMailer},
    {"MSGID", fMsgId},
    {"INREPLYTO", fInReplyTo},
    {"REFERENCES", fReferences},
    {"RETURNPATH", fReturnPath},
    {"ORGANIZATION", fOrganization},
    {"RECEIVED", fReceived},
    {"RCVALLIPS", fRcvAllIps},
    {"RCVALLHOSTS", fRcvAllHosts},
    {"RCVALLDOMAINS", fRcvAllDomains},
    {"RCVFROM", fRcvFrom},
    {"RCVFROMIP", fRcvFromIp},
    {"RCVFROMNAME", fRcvFromName},
    {"RCVHELO", fRcvHelo},
    {"RCVHOST", fRcvHost},
    {"RCVIP", fRcvIp},
    {"RCVIPIP", fRcvIpIp},
    {"RCVSENDER", fRcvSender},
    {"RCVBY", fRcvBy},
    {"RCVWITH", fRcvWith},
    {"RCVFOR", fRcvFor},
    {"RCVRAWDATE", fRcvRawDate},
    {"PARSEONLY_PARSEDCONTENTTYPE", fParsedContentType},
    {"CONTENTTYPE", fContentType},
    {"CHARSET", fCharset},
    {"BOUNDARY", fBoundary},
    {"ENCODING", fEncoding},
    {"PARSEONLY_MESSAGEPARTS", fMessageParts},
    {"PARTRAWHEADER", fPartRawHeader},
    {"PARTHEADER", fPartHeader},
    {"PARTTYPE", fPartType},
    {"PARTBOUNDARY", fPartBoundary},
    {"PARTCHARSET", fPartCharset},
    {"PARTENCODE", fPartEncode},
    {"PARTNAME", fPartName},
    {"PARTID", fPartId},
    {"RAWDATE", fRawDate},
    {"RAWFROM", fRawFrom},
    {"SENDER", fFrom},
    {"FROM", fFrom},
    {"RAWFROMADDR", fRawFromAddr},
    {"RAWFROMNAME", fRawFromName},
    {"FROMADDR", fFromAddr},
    {"FROMNAME", fFromName},
    {"REPLYTO", fReplyTo},
    {"REPLYTOADDR", fReplyToAddr},
    {"RAWTO", fRawTo},
    {"TO", fTo},
    {"PARSEONLY_RECIPIENTLIST", fRecipientList},
    {"RAWTONAME", fRawToName},
    {"RAWTOADDR", fRawToAddr},
    {"TONAME", fToName},
    {"TOADDR", fToAddr},
    {"PARSEONLY_WORDLIST", fWordList},
    {"RAWPLAINPART", fRawPlainPart},
    {"PLAINPART", fPlainPart},
    {"PLAINWORD", fPlainWord},
    {"RAWHTMLPART", fRawHtmlPart},
    {"HTMLPART", fHtmlPart},
    {"TEXTPART", fTextPart},
    {"RAWTEXTPART", fRawTextPart},
    {"RAWURLLIST", fRawUrlList},
    {"RAWURLARGLIST", fRawUrlArgList},
    {"URLLIST", fUrlList},
    {"URLARGLIST", fUrlArgList},
    {"URLDOMAINLIST", fUrlDomainList},
    {"EMLLIST", fEmlList},
    {"EMLDOMAINLIST", fEmlDomainList},
    {"RCVIPHOSTS", fRcvIpHosts},
};

const std::unordered_map<std::string, FieldId>& FieldIndex() {
  static const std::unordered_map<std::string, FieldId> index = [] {
    std::unordered_map<std::string, FieldId> m;
    for (const auto& f : kFieldNames) m.emplace(f.Name, f.Id);
    return m;
  }();
  return index;
}

// Selector of the Received analysis for each RCV... list field.
const char* RcvSelector(FieldId id) {
  switch (id) {
    case fRcvAllIps: return "IPS";
    case fRcvAllHosts: return "HOSTS";
    case fRcvAllDomains: return "DOMS";
    case fRcvFrom: return "FROM";
    case fRcvFromIp: return "FROMIP";
    case fRcvFromName: return "FROMNAME";
    case fRcvHelo: return "HELO";
    case fRcvHost: return "HOST";
    case fRcvIp: return "IP";
    case fRcvIpIp: return "IPIP";
    case fRcvSender: return "ENVSENDER";
    case fRcvBy: return "RCVBY";
    case fRcvWith: return "RCVWITH";
    case fRcvFor: return "RCVFOR";
    case fRcvRawDate: return "DATE";
    default: return "";
  }
}

std::string NormaliseName(const std::string& name) { return AsciiUpper(Trim(name)); }

std::size_t MaxDataSize() { return Plugin().Settings.MaxDataSize; }

std::string Cut(const std::string& s, std::size_t n) { return s.size() <= n ? s : s.substr(0, n); }

// The low byte of every UTF-16LE code unit; a lone last byte is dropped.
std::string LowBytes(const std::string& utf16) {
  std::string r;
  r.reserve(utf16.size() / 2);
  for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) r.push_back(utf16[i]);
  return r;
}

bool ContainsLower(const std::string& lowerText, const char* word) {
  return lowerText.find(word) != std::string::npos;
}

}  // namespace

struct TMessageParser::Impl {
  TDataRequestProc Proc = nullptr;
  THostCookie Cookie = 0;
  std::string Raw, RawBody, RawHeader, Header;
  std::string FramedLower;  // CR LF + LOWERHEADER
  std::array<std::optional<std::string>, kDerivedCount> Cache;
  std::unordered_map<std::string, std::string> HeaderCache;
  std::optional<std::string> RcvIpHosts;
  std::string ContentTypeNorm;  // normalised Content-Type of the message

  int Priority = -1, RecipientCount = -1, PartCount = -1, PlainIndex = -1, HtmlIndex = -1;
  std::vector<TRecipient> Recipients;
  std::vector<TMsgPart> Parts;
  double DateSender = 0, DateUtc = 0;
  int ZoneOffset = -1;
  std::unique_ptr<TWordList>* Words = nullptr;

  std::string LowerHeader() const { return FramedLower.substr(2); }
  std::string Lookup(const char* name) const { return LookupHeader(Header, FramedLower, name); }

  // The cached value of a derived field, computed on first use.
  const std::string& Get(FieldId id) {
    auto& slot = Cache[static_cast<std::size_t>(id)];
    if (!slot) slot = Compute(id);
    return *slot;
  }

  std::string QuotedPartList(std::string TMsgPart::*member) {
    Get(fMessageParts);
    std::string r = "\"";
    for (const auto& p : Parts) r.append(p.*member).push_back('"');
    return r;
  }
  std::string LinePartList(std::string TMsgPart::*member) {
    Get(fMessageParts);
    std::string r;
    for (const auto& p : Parts) r.append(p.*member).append("\r\n");
    return r;
  }
  std::string QuotedRecipientList(std::string TRecipient::*member) {
    Get(fRecipientList);
    std::string r = "\"";
    for (const auto& p : Recipients) r.append(p.*member).push_back('"');
    return r;
  }
  std::string AngleRecipientList(std::string TRecipient::*member) {
    Get(fRecipientList);
    std::string r;
    for (const auto& p : Recipients) r.append("<").append(p.*member).append(">");
    return r;
  }
  const TMsgPart* PlainPart() {
    Get(fMessageParts);
    return PlainIndex >= 0 ? &Parts[static_cast<std::size_t>(PlainIndex)] : nullptr;
  }
  const TMsgPart* HtmlPart() {
    Get(fMessageParts);
    return HtmlIndex >= 0 ? &Parts[static_cast<std::size_t>(HtmlIndex)] : nullptr;
  }
  // Plain part cut + CR LF (when there is one), then the HTML part cut.
  std::string TextParts(std::string TMsgPart::*member) {
    const std::size_t max = MaxDataSize();
    std::string r;
    if (const TMsgPart* p = PlainPart()) r.append(Cut(p->*member, max)).append("\r\n");
    if (const TMsgPart* h = HtmlPart()) r.append(Cut(h->*member, max));
    return r;
  }
  TAddressEntry FirstAddress(const std::string& value) {
    std::vector<TAddressEntry> entries = AddressEntries(ParseAddressList(value, ""));
    return entries.empty() ? TAddressEntry{} : entries.front();
  }

  void BuildParts();
  void BuildRecipients();
  void BuildWordList();
  int ComputePriority();
  std::string Compute(FieldId id);
};

void TMessageParser::Impl::BuildParts() {
  Parts.clear();
  PlainIndex = HtmlIndex = -1;
  const std::string& boundary = Get(fBoundary);
  if (!boundary.empty()) {
    TMimeParts mime;
    ParseMultipart(mime, RawBody, boundary, MaxDataSize());
    Parts = std::move(mime.Parts);
    PlainIndex = mime.PlainIndex;
    HtmlIndex = mime.HtmlIndex;
  }
  if (Parts.empty()) {
    TMsgPart part;
    part.Header = Header;
    part.RawHeader = RawHeader;
    part.RawBody = RawBody;
    part.ContentType = Get(fContentType);
    part.Charset = Get(fCharset);
    part.TransferEncoding = Get(fEncoding);
    part.DecodedBody = part.TransferEncoding.empty()
                           ? RawBody
                           : DecodeBody(RawBody, part.TransferEncoding, MaxDataSize());
    if (AsciiLower(part.ContentType) == "text/html") {
      HtmlIndex = 0;
    } else {
      PlainIndex = 0;
    }
    Parts.push_back(std::move(part));
  }
  PartCount = static_cast<int>(Parts.size());
}

void TMessageParser::Impl::BuildRecipients() {
  Recipients.clear();
  for (auto& e : AddressEntries(ParseAddressList(Get(fRawTo), ""))) {
    TRecipient r;
    r.Name = DecodeHeaderWords(e.Name);
    r.Addr = DecodeHeaderWords(e.Addr);
    r.RawName = std::move(e.Name);
    r.RawAddr = std::move(e.Addr);
    Recipients.push_back(std::move(r));
  }
  RecipientCount = static_cast<int>(Recipients.size());
}

void TMessageParser::Impl::BuildWordList() {
  if (*Words) return;
  // Every source is prepared before the table exists, so that the table
  // is never seen half-built.
  const std::string& subject = Get(fSubject);
  const std::string& from = Get(fFrom);
  const std::string& mailer = Get(fMailer);
  const std::string& received = Get(fReceived);
  const std::size_t max = MaxDataSize();
  const bool noHtml = Plugin().Settings.NoHtmlPart;
  const std::string* text = noHtml ? &Get(fText) : nullptr;
  const TMsgPart* plain = noHtml ? nullptr : PlainPart();
  const TMsgPart* html = noHtml ? nullptr : HtmlPart();

  auto list = std::make_unique<TWordList>();
  AddWords(*list, subject, "S:", true, kBayesDelimSubject);
  AddWords(*list, from, "F:", true, kBayesDelimFrom);
  AddWords(*list, mailer, "M:", true, kBayesDelimMailer);
  AddWords(*list, received, "R:", true, kBayesDelimReceived);
  if (text) {
    AddWords(*list, Cut(*text, max), "", true, kBayesDelimSubject);
  } else {
    if (plain) AddWords(*list, Cut(plain->DecodedBody, max), "", true, kBayesDelimSubject);
    if (html) AddWords(*list, Cut(html->DecodedBody, max), "", true, kBayesDelimSubject);
  }
  *Words = std::move(list);
}

int TMessageParser::Impl::ComputePriority() {
  int priority = 3;
  const std::string xPriority = Lookup("X-Priority");
  int first = (!xPriority.empty() && xPriority[0] >= '0' && xPriority[0] <= '9') ? xPriority[0] - '0' : 0;
  if (first != 0) {
    priority = first;
  } else {
    const std::string all =
        AsciiLower(xPriority + "#" + Lookup("Importance") + "#" + Lookup("X-MSMail-Priority"));
    if (ContainsLower(all, "high")) priority = 2;
    if (ContainsLower(all, "low")) priority = 4;
    if (ContainsLower(all, "very high")) priority = 1;
    if (ContainsLower(all, "very low")) priority = 5;
  }
  if (priority < 1 || priority > 5) priority = 3;
  return priority;
}

std::string TMessageParser::Impl::Compute(FieldId id) {
  switch (id) {
    case fRawSubject: return Lookup("Subject");
    case fSubject: return DecodeHeaderWords(Get(fRawSubject));
    case fText:
      return LowBytes(FetchItem(Proc, Cookie, kItemRenderedText,
                                static_cast<std::int32_t>(std::min<std::size_t>(MaxDataSize(), 0x7FFFFFFF))));
    case fTextWord: return quelta::WordList(Get(fText));
    case fSubjText: return Get(fSubject) + "\r\n" + Get(fText);
    case fSpamText: return " " + FoldText(Get(fText)) + " ";
    case fSpamSubj: return " " + FoldText(Get(fSubject)) + " ";
    case fSpamSubjText: return Get(fSpamSubj) + " " + Get(fSpamText);
    case fSpamPlain: return " " + FoldText(Get(fPlainPart)) + " ";
    case fPriority:
      Priority = ComputePriority();
      return std::to_string(Priority);
    case fMailer: {
      std::string m = Lookup("X-Mailer");
      return m.empty() ? Lookup("User-Agent") : m;
    }
    case fMsgId: return Lookup("Message-Id");
    case fInReplyTo: return Lookup("In-Reply-To");
    case fReferences: return Lookup("References");
    case fReturnPath: return Lookup("Return-Path");
    case fOrganization: return Lookup("Organization");
    case fReceived: return CollectReceived(Header);
    case fRcvAllIps: case fRcvAllHosts: case fRcvAllDomains: case fRcvFrom:
    case fRcvFromIp: case fRcvFromName: case fRcvHelo: case fRcvHost: case fRcvIp:
    case fRcvIpIp: case fRcvSender: case fRcvBy: case fRcvWith: case fRcvFor:
    case fRcvRawDate:
      return SelectFromHops(Get(fReceived), RcvSelector(id), "\"");
    case fParsedContentType:
      ContentTypeNorm = NormaliseContentType(Lookup("Content-Type"));
      return std::string();
    case fContentType: Get(fParsedContentType); return ContentTypeMediaType(ContentTypeNorm);
    case fCharset: Get(fParsedContentType); return ContentTypeParameter(ContentTypeNorm, "Charset");
    case fBoundary: Get(fParsedContentType); return ContentTypeParameter(ContentTypeNorm, "Boundary");
    case fEncoding: return Lookup("Content-Transfer-Encoding");
    case fMessageParts:
      if (PartCount < 1) BuildParts();
      return std::string();
    case fPartRawHeader: return LinePartList(&TMsgPart::RawHeader);
    case fPartHeader: return LinePartList(&TMsgPart::Header);
    case fPartType: return QuotedPartList(&TMsgPart::ContentType);
    case fPartBoundary: return QuotedPartList(&TMsgPart::Boundary);
    case fPartCharset: return QuotedPartList(&TMsgPart::Charset);
    case fPartEncode: return QuotedPartList(&TMsgPart::TransferEncoding);
    case fPartName: return QuotedPartList(&TMsgPart::Name);
    case fPartId: return QuotedPartList(&TMsgPart::ContentId);
    case fRawDate: {
      std::string value = Lookup("Date");
      DateSender = ParseDate(value, ZoneOffset);
      DateUtc = DateSender - ZoneOffset / 1440.0;
      return value;
    }
    case fRawFrom: return Lookup("From");
    case fFrom: return DecodeHeaderWords(Get(fRawFrom));
    case fRawFromAddr: return "<" + FirstAddress(Get(fRawFrom)).Addr + ">";
    case fRawFromName: return "\"" + FirstAddress(Get(fRawFrom)).Name + "\"";
    case fFromAddr: return "<" + DecodeHeaderWords(FirstAddress(Get(fRawFrom)).Addr) + ">";
    case fFromName: return "\"" + DecodeHeaderWords(FirstAddress(Get(fRawFrom)).Name) + "\"";
    case fReplyTo: return Lookup("Reply-To");
    case fReplyToAddr: return "<" + FirstAddress(Get(fReplyTo)).Addr + ">";
    case fRawTo: {
      std::string to = Trim(Lookup("To") + ", " + Lookup("CC"));
      if (!to.empty() && to.back() == ',') to.pop_back();
      if (!to.empty() && to.front() == ',') to.erase(0, 1);
      return to;
    }
    case fTo: return DecodeHeaderWords(Get(fRawTo));
    case fRecipientList:
      BuildRecipients();
      return std::string();
    case fRawToName: return QuotedRecipientList(&TRecipient::RawName);
    case fRawToAddr: return AngleRecipientList(&TRecipient::RawAddr);
    case fToName: return QuotedRecipientList(&TRecipient::Name);
    case fToAddr: return AngleRecipientList(&TRecipient::Addr);
    case fWordList:
      BuildWordList();
      return std::string();
    case fRawPlainPart: {
      const TMsgPart* p = PlainPart();
      return p ? Cut(p->RawBody, MaxDataSize()) : std::string();
    }
    case fPlainPart: {
      const TMsgPart* p = PlainPart();
      return p ? p->DecodedBody : std::string();
    }
    case fPlainWord: return quelta::WordList(Get(fPlainPart));
    case fRawHtmlPart: {
      const TMsgPart* p = HtmlPart();
      return p ? Cut(p->RawBody, MaxDataSize()) : std::string();
    }
    case fHtmlPart: {
      const TMsgPart* p = HtmlPart();
      return p ? Cut(p->DecodedBody, MaxDataSize()) : std::string();
    }
    case fTextPart: return TextParts(&TMsgPart::DecodedBody);
    case fRawTextPart: return TextParts(&TMsgPart::RawBody);
    case fRawUrlList: return RawUrlList(Get(fTextPart), false);
    case fRawUrlArgList: return RawUrlList(Get(fTextPart), true);
    case fUrlList: return UrlListFromRaw(Get(fRawUrlList));
    case fUrlArgList: return UrlListFromRaw(Get(fRawUrlArgList));
    case fUrlDomainList: return UrlDomainList(Get(fUrlList));
    case fEmlList: return FindEmails(Get(fTextPart));
    case fEmlDomainList: return EmlDomainList(Get(fEmlList));
    default: return std::string();
  }
}

TMessageParser::TMessageParser(std::string raw, TDataRequestProc proc, THostCookie cookie)
    : impl_(std::make_unique<Impl>()) {
  Impl& m = *impl_;
  m.Proc = proc;
  m.Cookie = cookie;
  m.Raw = std::move(raw);
  m.RawHeader = RawHeaderOf(m.Raw);
  m.RawBody = RawBodyOf(m.Raw);
  m.Header = UnfoldHeader(m.RawHeader);
  m.FramedLower = FrameLowerHeader(m.Header);
  m.Words = &words_;
}

TMessageParser::~TMessageParser() = default;

std::string TMessageParser::GetField(const std::string& name) {
  std::string out;
  GetField(name, false, out);
  return out;
}

void TMessageParser::GetField(const std::string& name, bool noResult, std::string& out) {
  Impl& m = *impl_;
  try {
    const std::string key = NormaliseName(name);
    if (!key.empty() && key.back() == ':') {
      std::string headerName = key.substr(0, key.size() - 1);
      auto it = m.HeaderCache.find(headerName);
      if (it == m.HeaderCache.end())
        it = m.HeaderCache.emplace(headerName, LookupHeader(m.Header, m.FramedLower, headerName))
                 .first;
      if (!noResult) out = it->second;
      return;
    }
    const auto& index = FieldIndex();
    auto f = index.find(key);
    if (f == index.end()) {
      if (!noResult) out.clear();
      return;
    }
    const std::string* value = nullptr;
    std::string lower;
    switch (f->second) {
      case fRawMsg: value = &m.Raw; break;
      case fRawBody: value = &m.RawBody; break;
      case fRawHeader: value = &m.RawHeader; break;
      case fHeader: value = &m.Header; break;
      case fLowerHeader:
        lower = m.LowerHeader();
        value = &lower;
        break;
      case fRcvIpHosts:
        lower = m.RcvIpHosts.value_or(std::string());
        value = &lower;
        break;
      default: value = &m.Get(f->second); break;
    }
    if (!noResult) out = *value;
  } catch (...) {
    // Analysis never fails towards its caller (only memory exhaustion can
    // get here); the field reads as empty.
    if (!noResult) out.clear();
  }
}

std::int64_t TMessageParser::GetSizeField(const std::string& name) const {
  if (NormaliseName(name) == "RAWMESSAGESIZE") return static_cast<std::int64_t>(impl_->Raw.size());
  return -1;
}

double TMessageParser::GetDateField(const std::string& name, bool flag) {
  if (flag) return 0;
  const std::string key = NormaliseName(name);
  if (key != "DATESENDER" && key != "DATEUTC") return 0;
  try {
    impl_->Get(fRawDate);
  } catch (...) {
    return 0;
  }
  return key == "DATESENDER" ? impl_->DateSender : impl_->DateUtc;
}

void TMessageParser::SetRcvIpHosts(const std::string& value) { impl_->RcvIpHosts = value; }

const std::vector<TRecipient>& TMessageParser::Recipients() {
  try {
    impl_->Get(fRecipientList);
  } catch (...) {
  }
  return impl_->Recipients;
}

const std::vector<TMsgPart>& TMessageParser::Parts() {
  try {
    impl_->Get(fMessageParts);
  } catch (...) {
  }
  return impl_->Parts;
}

int TMessageParser::PlainPartIndex() {
  Parts();
  return impl_->PlainIndex;
}

int TMessageParser::HtmlPartIndex() {
  Parts();
  return impl_->HtmlIndex;
}

}  // namespace quelta
