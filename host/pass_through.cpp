#include "pass_through.h"

#include <cctype>
#include <string_view>

namespace quelta_host {

const char* const kVerdictFields[3] = {"X-Quelta-Score", "X-Quelta-Status", "X-Quelta-Rules"};

namespace {

bool IsVerdictField(std::string_view line) {
  for (const char* name : kVerdictFields) {
    const std::string_view n(name);
    if (line.size() <= n.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < n.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(line[i])) ==
             std::tolower(static_cast<unsigned char>(n[i]));
    if (!same) continue;
    std::size_t i = n.size();
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && line[i] == ':') return true;
  }
  return false;
}

std::string Printable(const std::string& s) {
  std::string out(s);
  for (auto& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
  return out;
}

}  // namespace

std::string LineEndOf(const std::string& message) {
  const std::size_t p = message.find_first_of("\r\n");
  if (p == std::string::npos || message[p] == '\n') return "\n";
  return p + 1 < message.size() && message[p + 1] == '\n' ? "\r\n" : "\r";
}

std::string WithFields(const std::string& message, const std::vector<std::string>& fields) {
  const std::string eol = LineEndOf(message);
  std::string added;
  for (const auto& f : fields) added += f + eol;
  const char sep = eol == "\r" ? '\r' : '\n';
  std::string out;
  out.reserve(message.size() + added.size());
  bool dropping = false;
  std::size_t pos = 0;
  while (pos < message.size()) {
    const std::size_t nl = message.find(sep, pos);
    const std::size_t end = nl == std::string::npos ? message.size() : nl + 1;
    std::string_view content = std::string_view(message).substr(pos, end - pos);
    if (!content.empty() && content.back() == sep) content.remove_suffix(1);
    if (sep == '\n' && !content.empty() && content.back() == '\r') content.remove_suffix(1);
    if (content.empty()) {  // the empty line that ends the header
      out += added;
      out.append(message, pos, std::string::npos);
      return out;
    }
    if (content[0] != ' ' && content[0] != '\t') dropping = IsVerdictField(content);
    if (!dropping) out.append(message, pos, end - pos);
    pos = end;
  }
  if (!out.empty() && out.back() != sep) out += eol;
  out += added;
  return out;
}

std::string FoldedField(const std::string& name, const std::vector<std::string>& items,
                        const std::string& eol) {
  std::string out = name + ":";
  std::size_t lineLength = out.size();
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string item = Printable(items[i]);
    const std::string lead = i == 0 ? " " : ", ";
    if (i > 0 && lineLength + lead.size() + item.size() > 78) {
      out += "," + eol + "\t" + item;
      lineLength = 1 + item.size();
    } else {
      out += lead + item;
      lineLength += lead.size() + item.size();
    }
  }
  return out;
}

std::string WithoutEnvelopeLine(const std::string& message) {
  if (message.compare(0, 5, "From ") != 0) return message;
  const std::size_t nl = message.find('\n');
  return nl == std::string::npos ? std::string() : message.substr(nl + 1);
}

}  // namespace quelta_host
