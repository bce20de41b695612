#include "message/parser.h"

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_map>

#include "base/strings.h"
#include "message/dates.h"
#include "message/mime.h"
#include "message/received.h"
#include "message/text_analysis.h"
#include "message/urls.h"

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

struct FieldName {
  const char* name;
  FieldId id;
};

constexpr FieldName kFieldNames[] = {
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

}  // namespace

const std::vector<std::string>& DataFieldNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const auto& f : kFieldNames) v.emplace_back(f.name);
    return v;
  }();
  return names;
}

namespace {

const std::unordered_map<std::string, FieldId>& FieldIndex() {
  static const std::unordered_map<std::string, FieldId> index = [] {
    std::unordered_map<std::string, FieldId> m;
    for (const auto& f : kFieldNames) m.emplace(f.name, f.id);
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

std::string Cut(const std::string& s, std::size_t n) { return s.size() <= n ? s : s.substr(0, n); }

bool ContainsLower(const std::string& lowerText, const char* word) {
  return lowerText.find(word) != std::string::npos;
}

}  // namespace

struct MessageParser::Impl {
  MessageOptions options;
  RenderedTextSource* rendered = nullptr;
  std::string raw, rawBody, rawHeader, header;
  std::string framedLower;  // CR LF + LOWERHEADER
  std::optional<HeaderIndex> headerIndex;  // over framedLower, see Lookup
  int headerSearches = 0;
  std::array<std::optional<std::string>, kDerivedCount> cache;
  std::unordered_map<std::string, std::string> headerCache;
  std::optional<std::string> rcvIpHosts;
  std::optional<std::string> lowerHeader;
  const std::string empty;  // the text of unknown fields
  std::string contentTypeNorm;  // normalised Content-Type of the message

  int priority = -1, recipientCount = -1, partCount = -1, plainIndex = -1, htmlIndex = -1;
  std::vector<Recipient> recipients;
  std::vector<MimePart> parts;
  double dateSender = 0, dateUtc = 0;
  int zoneOffset = -1;

  std::string LowerHeader() const { return framedLower.substr(2); }
  // A header line by name: the first few by a search of the header, then
  // through an index of its lines (worth making only for many names).
  std::string Lookup(std::string_view name) {
    constexpr int kSearchesBeforeIndex = 8;
    if (!headerIndex && ++headerSearches <= kSearchesBeforeIndex) return LookupHeader(header, framedLower, name);
    if (!headerIndex) headerIndex.emplace(framedLower);
    return headerIndex->Lookup(header, name);
  }

  // The cached value of a derived field, computed on first use.
  const std::string& Get(FieldId id) {
    auto& slot = cache[static_cast<std::size_t>(id)];
    if (!slot) slot = Compute(id);
    return *slot;
  }

  std::string QuotedPartList(std::string MimePart::*member) {
    Get(fMessageParts);
    std::string r = "\"";
    for (const auto& p : parts) r.append(p.*member).push_back('"');
    return r;
  }
  std::string LinePartList(std::string MimePart::*member) {
    Get(fMessageParts);
    std::string r;
    for (const auto& p : parts) r.append(p.*member).append("\r\n");
    return r;
  }
  std::string QuotedRecipientList(std::string Recipient::*member) {
    Get(fRecipientList);
    std::string r = "\"";
    for (const auto& p : recipients) r.append(p.*member).push_back('"');
    return r;
  }
  std::string AngleRecipientList(std::string Recipient::*member) {
    Get(fRecipientList);
    std::string r;
    for (const auto& p : recipients) r.append("<").append(p.*member).append(">");
    return r;
  }
  const MimePart* PlainPart() {
    Get(fMessageParts);
    return plainIndex >= 0 ? &parts[static_cast<std::size_t>(plainIndex)] : nullptr;
  }
  const MimePart* HtmlPart() {
    Get(fMessageParts);
    return htmlIndex >= 0 ? &parts[static_cast<std::size_t>(htmlIndex)] : nullptr;
  }
  // Plain part cut + CR LF (when there is one), then the HTML part cut.
  std::string TextParts(std::string MimePart::*member) {
    const std::size_t max = options.maxDataSize;
    std::string r;
    if (const MimePart* p = PlainPart()) r.append(Cut(p->*member, max)).append("\r\n");
    if (const MimePart* h = HtmlPart()) r.append(Cut(h->*member, max));
    return r;
  }
  AddressEntry FirstAddress(const std::string& value) {
    std::vector<AddressEntry> entries = AddressEntries(ParseAddressList(value, ""));
    return entries.empty() ? AddressEntry{} : entries.front();
  }

  void BuildParts();
  void BuildRecipients();
  int ComputePriority();
  std::string Compute(FieldId id);
};

void MessageParser::Impl::BuildParts() {
  parts.clear();
  plainIndex = htmlIndex = -1;
  const std::string& boundary = Get(fBoundary);
  if (!boundary.empty()) {
    MimeParts mime;
    ParseMultipart(mime, rawBody, boundary, options.maxDataSize);
    parts = std::move(mime.parts);
    plainIndex = mime.plainIndex;
    htmlIndex = mime.htmlIndex;
  }
  if (parts.empty()) {
    MimePart part;
    part.header = header;
    part.rawHeader = rawHeader;
    part.rawBody = rawBody;
    part.contentType = Get(fContentType);
    part.charset = Get(fCharset);
    part.transferEncoding = Get(fEncoding);
    part.decodedBody = part.transferEncoding.empty()
                           ? rawBody
                           : DecodeBody(rawBody, part.transferEncoding, options.maxDataSize);
    if (AsciiLower(part.contentType) == "text/html") {
      htmlIndex = 0;
    } else {
      plainIndex = 0;
    }
    parts.push_back(std::move(part));
  }
  partCount = static_cast<int>(parts.size());
}

void MessageParser::Impl::BuildRecipients() {
  recipients.clear();
  for (auto& e : AddressEntries(ParseAddressList(Get(fRawTo), ""))) {
    Recipient r;
    r.name = DecodeHeaderWords(e.name);
    r.addr = DecodeHeaderWords(e.addr);
    r.rawName = std::move(e.name);
    r.rawAddr = std::move(e.addr);
    recipients.push_back(std::move(r));
  }
  recipientCount = static_cast<int>(recipients.size());
}

int MessageParser::Impl::ComputePriority() {
  int priority = 3;
  const std::string xPriority = Lookup("X-priority");
  int first = (!xPriority.empty() && xPriority[0] >= '0' && xPriority[0] <= '9') ? xPriority[0] - '0' : 0;
  if (first != 0) {
    priority = first;
  } else {
    const std::string all =
        AsciiLower(xPriority + "#" + Lookup("Importance") + "#" + Lookup("X-MSMail-priority"));
    if (ContainsLower(all, "high")) priority = 2;
    if (ContainsLower(all, "low")) priority = 4;
    if (ContainsLower(all, "very high")) priority = 1;
    if (ContainsLower(all, "very low")) priority = 5;
  }
  if (priority < 1 || priority > 5) priority = 3;
  return priority;
}

std::string MessageParser::Impl::Compute(FieldId id) {
  switch (id) {
    case fRawSubject: return Lookup("Subject");
    case fSubject: return DecodeHeaderWords(Get(fRawSubject));
    case fText: return rendered ? rendered->RenderedText(options.maxDataSize) : std::string();
    case fTextWord: return quelta::WordList(Get(fText));
    case fSubjText: return Get(fSubject) + "\r\n" + Get(fText);
    case fSpamText: return " " + FoldText(Get(fText)) + " ";
    case fSpamSubj: return " " + FoldText(Get(fSubject)) + " ";
    case fSpamSubjText: return Get(fSpamSubj) + " " + Get(fSpamText);
    case fSpamPlain: return " " + FoldText(Get(fPlainPart)) + " ";
    case fPriority:
      priority = ComputePriority();
      return std::to_string(priority);
    case fMailer: {
      std::string m = Lookup("X-Mailer");
      return m.empty() ? Lookup("User-Agent") : m;
    }
    case fMsgId: return Lookup("Message-id");
    case fInReplyTo: return Lookup("In-Reply-To");
    case fReferences: return Lookup("References");
    case fReturnPath: return Lookup("Return-Path");
    case fOrganization: return Lookup("Organization");
    case fReceived: return CollectReceived(header);
    case fRcvAllIps: case fRcvAllHosts: case fRcvAllDomains: case fRcvFrom:
    case fRcvFromIp: case fRcvFromName: case fRcvHelo: case fRcvHost: case fRcvIp:
    case fRcvIpIp: case fRcvSender: case fRcvBy: case fRcvWith: case fRcvFor:
    case fRcvRawDate:
      return SelectFromHops(Get(fReceived), RcvSelector(id), "\"", options.twoLevelDomains);
    case fParsedContentType:
      contentTypeNorm = NormaliseContentType(Lookup("Content-Type"));
      return std::string();
    case fContentType: Get(fParsedContentType); return ContentTypeMediaType(contentTypeNorm);
    case fCharset: Get(fParsedContentType); return ContentTypeParameter(contentTypeNorm, "Charset");
    case fBoundary: Get(fParsedContentType); return ContentTypeParameter(contentTypeNorm, "Boundary");
    case fEncoding: return Lookup("Content-Transfer-Encoding");
    case fMessageParts:
      if (partCount < 1) BuildParts();
      return std::string();
    case fPartRawHeader: return LinePartList(&MimePart::rawHeader);
    case fPartHeader: return LinePartList(&MimePart::header);
    case fPartType: return QuotedPartList(&MimePart::contentType);
    case fPartBoundary: return QuotedPartList(&MimePart::boundary);
    case fPartCharset: return QuotedPartList(&MimePart::charset);
    case fPartEncode: return QuotedPartList(&MimePart::transferEncoding);
    case fPartName: return QuotedPartList(&MimePart::name);
    case fPartId: return QuotedPartList(&MimePart::contentId);
    case fRawDate: {
      std::string value = Lookup("Date");
      dateSender = ParseDate(value, zoneOffset);
      dateUtc = dateSender - zoneOffset / 1440.0;
      return value;
    }
    case fRawFrom: return Lookup("From");
    case fFrom: return DecodeHeaderWords(Get(fRawFrom));
    case fRawFromAddr: return "<" + FirstAddress(Get(fRawFrom)).addr + ">";
    case fRawFromName: return "\"" + FirstAddress(Get(fRawFrom)).name + "\"";
    case fFromAddr: return "<" + DecodeHeaderWords(FirstAddress(Get(fRawFrom)).addr) + ">";
    case fFromName: return "\"" + DecodeHeaderWords(FirstAddress(Get(fRawFrom)).name) + "\"";
    case fReplyTo: return Lookup("Reply-To");
    case fReplyToAddr: return "<" + FirstAddress(Get(fReplyTo)).addr + ">";
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
    case fRawToName: return QuotedRecipientList(&Recipient::rawName);
    case fRawToAddr: return AngleRecipientList(&Recipient::rawAddr);
    case fToName: return QuotedRecipientList(&Recipient::name);
    case fToAddr: return AngleRecipientList(&Recipient::addr);
    case fRawPlainPart: {
      const MimePart* p = PlainPart();
      return p ? Cut(p->rawBody, options.maxDataSize) : std::string();
    }
    case fPlainPart: {
      const MimePart* p = PlainPart();
      return p ? p->decodedBody : std::string();
    }
    case fPlainWord: return quelta::WordList(Get(fPlainPart));
    case fRawHtmlPart: {
      const MimePart* p = HtmlPart();
      return p ? Cut(p->rawBody, options.maxDataSize) : std::string();
    }
    case fHtmlPart: {
      const MimePart* p = HtmlPart();
      return p ? Cut(p->decodedBody, options.maxDataSize) : std::string();
    }
    case fTextPart: return TextParts(&MimePart::decodedBody);
    case fRawTextPart: return TextParts(&MimePart::rawBody);
    case fRawUrlList: return RawUrlList(Get(fTextPart), false);
    case fRawUrlArgList: return RawUrlList(Get(fTextPart), true);
    case fUrlList: return UrlListFromRaw(Get(fRawUrlList));
    case fUrlArgList: return UrlListFromRaw(Get(fRawUrlArgList));
    case fUrlDomainList: return UrlDomainList(Get(fUrlList), options.twoLevelDomains);
    case fEmlList: return FindEmails(Get(fTextPart));
    case fEmlDomainList: return EmlDomainList(Get(fEmlList));
    default: return std::string();
  }
}

MessageParser::MessageParser(std::string raw, const MessageOptions& options,
                             RenderedTextSource* rendered)
    : impl_(std::make_unique<Impl>()) {
  Impl& m = *impl_;
  m.options = options;
  m.rendered = rendered;
  m.raw = std::move(raw);
  m.rawHeader = RawHeaderOf(m.raw);
  m.rawBody = RawBodyOf(m.raw);
  m.header = UnfoldHeader(m.rawHeader);
  m.framedLower = FrameLowerHeader(m.header);
}

MessageParser::~MessageParser() = default;

namespace {

// Handle ids beside the parser's own fields.
constexpr int kUnknownField = -1;
constexpr int kHeaderField = -2;

}  // namespace

FieldHandle MessageParser::ResolveField(const std::string& name) {
  FieldHandle h;
  const std::string key = NormaliseName(name);
  if (!key.empty() && key.back() == ':') {
    h.id = kHeaderField;
    h.header = key.substr(0, key.size() - 1);
    return h;
  }
  const auto& index = FieldIndex();
  const auto f = index.find(key);
  h.id = f == index.end() ? kUnknownField : f->second;
  return h;
}

const std::string& MessageParser::FieldText(const FieldHandle& field) {
  Impl& m = *impl_;
  try {
    switch (field.id) {
      case kUnknownField: return m.empty;
      case kHeaderField: {
        auto it = m.headerCache.find(field.header);
        if (it == m.headerCache.end())
          it = m.headerCache
                   .emplace(field.header, m.Lookup(field.header))
                   .first;
        return it->second;
      }
      case fRawMsg: return m.raw;
      case fRawBody: return m.rawBody;
      case fRawHeader: return m.rawHeader;
      case fHeader: return m.header;
      case fLowerHeader:
        if (!m.lowerHeader) m.lowerHeader = m.LowerHeader();
        return *m.lowerHeader;
      case fRcvIpHosts:
        if (!m.rcvIpHosts) m.rcvIpHosts.emplace();
        return *m.rcvIpHosts;
      default: return m.Get(static_cast<FieldId>(field.id));
    }
  } catch (...) {
    // Analysis never fails towards its caller (only memory exhaustion can
    // get here); the field reads as empty.
    return m.empty;
  }
}

std::string MessageParser::GetField(const std::string& name) { return FieldText(ResolveField(name)); }

std::int64_t MessageParser::GetSizeField(const std::string& name) const {
  if (NormaliseName(name) == "RAWMESSAGESIZE") return static_cast<std::int64_t>(impl_->raw.size());
  return -1;
}

double MessageParser::GetDateField(const std::string& name, bool flag) {
  if (flag) return 0;
  const std::string key = NormaliseName(name);
  if (key != "DATESENDER" && key != "DATEUTC") return 0;
  try {
    impl_->Get(fRawDate);
  } catch (...) {
    return 0;
  }
  return key == "DATESENDER" ? impl_->dateSender : impl_->dateUtc;
}

void MessageParser::SetRcvIpHosts(const std::string& value) { impl_->rcvIpHosts = value; }

const MessageOptions& MessageParser::Options() const { return impl_->options; }

const std::vector<Recipient>& MessageParser::Recipients() {
  try {
    impl_->Get(fRecipientList);
  } catch (...) {
  }
  return impl_->recipients;
}

const std::vector<MimePart>& MessageParser::Parts() {
  try {
    impl_->Get(fMessageParts);
  } catch (...) {
  }
  return impl_->parts;
}

int MessageParser::PlainPartIndex() {
  Parts();
  return impl_->plainIndex;
}

int MessageParser::HtmlPartIndex() {
  Parts();
  return impl_->htmlIndex;
}

}  // namespace quelta
