#include "rendered_text.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

#include "base/strings.h"
#include "charset.h"
#include "html_text.h"
#include "message/mime.h"
#include "message/parser.h"

namespace quelta_host {

namespace {

using quelta::AsciiLower;
using quelta::MimePart;
using quelta::Trim;

bool IsAttachment(const MimePart& part) {
  const std::string d = AsciiLower(Trim(quelta::LookupHeader(part.header, "content-disposition")));
  if (d.compare(0, 10, "attachment") == 0) return true;
  return d.empty() && !part.name.empty();
}

// The charset a part's text is read in.
Charset CharsetOf(std::string declared, std::string_view bytes) {
  if (!Trim(declared).empty()) return CharsetByName(declared);
  const bool high = std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
  return high && IsUtf8(bytes) ? Charset::kUtf8 : Charset::kWindows1252;
}

std::string WithLfLines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// format=flowed: a line ending in a blank goes on in the next line (the
// blank removed with delsp=yes); one leading blank is stuffing. The
// signature separator "-- " stays a line of its own.
std::string Unflow(const std::string& text, bool delsp) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const bool last = end == std::string::npos;
    if (last) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    const bool signature = line == "-- ";
    if (!signature && !line.empty() && line[0] == ' ') line.erase(0, 1);
    const bool soft = !signature && !line.empty() && line.back() == ' ';
    if (soft && delsp) line.pop_back();
    out += line;
    if (!soft && !last) out += '\n';
  }
  return out;
}

// Code points a client does not show.
bool IsInvisible(char32_t cp) {
  return cp == 0x00AD || cp == 0x034F || (cp >= 0x200B && cp <= 0x200F) || cp == 0x2060 ||
         cp == 0xFEFF;
}

// The characters as a reader sees them: invisible ones left out, no-break
// spaces as blanks.
std::string AsShown(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const std::size_t n = std::max<std::size_t>(DecodeUtf8At(utf8, i, cp), 1);
    if (n > 1 && cp == 0xA0)
      out += ' ';
    else if (n == 1 || !IsInvisible(cp))
      out.append(utf8.data() + i, n);
    i += n;
  }
  return out;
}

std::string WithCrLfLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

std::string RenderedText(const std::string& message) {
  quelta::MessageOptions options;
  options.maxDataSize = static_cast<std::uint32_t>(
      std::min<std::size_t>(message.size() + 1, std::numeric_limits<std::uint32_t>::max()));
  quelta::MessageParser parser(message, options);
  const std::vector<MimePart>& parts = parser.Parts();
  const bool single = parts.size() == 1;
  const MimePart* chosen = nullptr;
  bool html = false;
  for (const char* type : {"text/plain", "text/html"}) {
    for (const MimePart& p : parts) {
      std::string media = AsciiLower(Trim(p.contentType));
      if (media.empty()) media = "text/plain";  // the default of MIME
      if (media != type || (!single && IsAttachment(p))) continue;
      chosen = &p;
      html = type[5] == 'h';
      break;
    }
    if (chosen) break;
  }
  if (!chosen) return std::string();

  const std::string body =
      chosen->transferEncoding.empty()
          ? chosen->rawBody
          : quelta::DecodeBody(chosen->rawBody, chosen->transferEncoding, options.maxDataSize);
  std::string declared = chosen->charset;
  if (html && Trim(declared).empty()) declared = HtmlMetaCharset(body);
  std::string text = ToUtf8(body, CharsetOf(declared, body));
  if (html) {
    text = HtmlToText(text);
  } else {
    text = WithLfLines(text);
    const std::string type =
        quelta::NormaliseContentType(quelta::LookupHeader(chosen->header, "content-type"));
    if (AsciiLower(quelta::ContentTypeParameter(type, "format")) == "flowed")
      text = Unflow(text, AsciiLower(quelta::ContentTypeParameter(type, "delsp")) == "yes");
  }
  return Utf8ToCp1252(WithCrLfLines(AsShown(text)));
}

}  // namespace quelta_host
