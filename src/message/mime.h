// The MIME view of a message: splitting a raw message into header
// and body, unfolding headers, header lookup by name, Content-Type
// normalisation and parameters, multipart bodies flattened into leaf parts
// with the choice of the plain-text and HTML part, and the decoders for
// quoted-printable, base64 and encoded words in headers.
//
// Promises: no character-set conversion (bytes stay as sent); nothing
// throws; every function is about linear in its input (multipart splitting
// is linear per nesting level, and nesting is bounded by kMaxMimeDepth).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quelta {

// One leaf MIME part.
struct MimePart {
  std::string header, rawHeader, decodedBody, rawBody, contentType, name, contentId,
      boundary, charset, transferEncoding;
};


// ---- Header and body -----------------------------------------------------

// The header of a message (or of a MIME part) as written: everything up to
// and including the CR LF that precedes the first CR LF CR LF; the whole
// text when there is no blank line.
std::string RawHeaderOf(std::string_view message);
// Everything after the first CR LF CR LF; empty when there is none.
std::string RawBodyOf(std::string_view message);

// Unfolded header: tabs become blanks, every line (text before a CR LF) is
// trimmed; a line whose successor starts with a blank is joined to it by one
// blank, otherwise it ends with CR LF; text after the last CR LF is not
// taken; finally runs of blanks become one blank.
std::string UnfoldHeader(std::string_view rawHeader);

// Header lookup in an unfolded header. `framedLower` is CR LF + the header
// in ASCII lower case (see FrameLowerHeader); `header` is the header itself.
// The value of the first line "<name>:" (name compared in lower case,
// directly followed by the colon), to the end of its line, with leading
// white space removed; empty when absent.
std::string FrameLowerHeader(std::string_view header);
std::string LookupHeader(std::string_view header, std::string_view framedLower,
                         std::string_view name);
// The same for a header that has not been framed yet.
std::string LookupHeader(std::string_view header, std::string_view name);

// The lines of one framed header by name, read once: Lookup gives what
// LookupHeader gives, without searching the header again for each name.
// The index reads framedLower, which must outlive it and stay unchanged.
class HeaderIndex {
 public:
  explicit HeaderIndex(std::string_view framedLower);
  // LookupHeader(header, framedLower, name), for the header that
  // framedLower frames.
  std::string Lookup(std::string_view header, std::string_view name) const;

 private:
  std::string_view framedLower_;
  // The name of each line (lower case, before its first colon) -> where the
  // CR LF before the first line of that name stands in framedLower_.
  std::unordered_map<std::string_view, std::size_t> lines_;
};

// ---- Content-Type ----------------------------------------------------------

// Content-Type value with parameters separated by 0x01, blanks outside
// quoted values removed and every double-quote character removed.
std::string NormaliseContentType(std::string_view value);
// The media type of a normalised Content-Type (text up to the first
// parameter, trimmed, case as written).
std::string ContentTypeMediaType(std::string_view normalised);
// The value of the parameter `name` (matched ignoring ASCII case, directly
// followed by "="), trimmed, case as written; empty when absent.
std::string ContentTypeParameter(std::string_view normalised, std::string_view name);

// ---- Decoders -------------------------------------------------------------

// Quoted-printable: "=" + LF and "=" + CR LF vanish, "=" + two hex digits
// becomes that byte, any other "=" stays; underscores stay.
std::string QuotedPrintableDecode(std::string_view text);
// Base64 with the standard alphabet; other characters are skipped; "=" ends
// the current group (so consecutive blocks decode one after another).
std::string Base64Decode(std::string_view text);
// Body decoding by Content-Transfer-Encoding ("quoted-printable" or
// "base64", any case; the body is cut to maxDataSize bytes first); any other
// encoding returns the body unchanged and uncut.
std::string DecodeBody(std::string_view body, std::string_view encoding,
                       std::size_t maxDataSize);
// Encoded words "=?charset?enc?text?=" replaced by their bytes (enc Q or B;
// any other letter leaves the bare text). The search always restarts at the
// first "=?" of the text; a first "=?" ... "?=" that does not hold exactly two
// "?" between the markers ends decoding, leaving the rest as it is.
std::string DecodeHeaderWords(std::string_view text);

// ---- Multipart -------------------------------------------------------------

// Deepest nesting of multipart containers that is split; a container met
// deeper is kept as one leaf part.
constexpr int kMaxMimeDepth = 50;

// The leaf parts of a message and its plain-text and HTML part (-1: none).
struct MimeParts {
  std::vector<MimePart> parts;
  int plainIndex = -1;
  int htmlIndex = -1;
};

// Splits a multipart body at "--" + boundary lines and appends its leaf
// parts, nested multiparts flattened depth-first; the plain-text and HTML
// parts (the last text/plain resp. text/html leaf; a leaf without type
// becomes the plain-text part, typed "text/plain", when none came before)
// get their decoded body. Appends nothing when the first delimiter line is
// missing.
void ParseMultipart(MimeParts& out, std::string_view body, std::string_view boundary,
                    std::size_t maxDataSize);

}  // namespace quelta
