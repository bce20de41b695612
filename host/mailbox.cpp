#include "mailbox.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>

namespace fs = std::filesystem;

namespace quelta_host {

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

bool IsMaildir(const fs::path& dir) {
  std::error_code ec;
  return fs::is_directory(dir / "cur", ec) || fs::is_directory(dir / "new", ec);
}

// The message files directly inside `dir`, sorted by name.
void AddMessagesIn(const fs::path& dir, std::vector<std::string>& files) {
  std::vector<std::string> here;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.' || IsServerFile(name)) continue;
    std::error_code e2;
    if (it->is_directory(e2)) continue;
    here.push_back(it->path().string());
  }
  std::sort(here.begin(), here.end());
  files.insert(files.end(), here.begin(), here.end());
}

void CollectFolder(const fs::path& dir, bool recursive, std::vector<std::string>& files) {
  const bool maildir = IsMaildir(dir);
  if (maildir) {
    AddMessagesIn(dir / "cur", files);
    AddMessagesIn(dir / "new", files);
  } else {
    AddMessagesIn(dir, files);
  }
  if (!recursive) return;
  std::vector<fs::path> subs;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code e2;
    if (it->is_symlink(e2) || !it->is_directory(e2)) continue;
    if (maildir && (name == "cur" || name == "new" || name == "tmp")) continue;
    subs.push_back(it->path());
  }
  std::sort(subs.begin(), subs.end());
  for (const auto& s : subs) CollectFolder(s, true, files);
}

// One line of `data` from `pos`, with its line end.
std::string_view LineAt(const std::string& data, std::size_t pos) {
  std::size_t nl = data.find('\n', pos);
  std::size_t end = nl == std::string::npos ? data.size() : nl + 1;
  return std::string_view(data).substr(pos, end - pos);
}

bool IsBlank(std::string_view line) { return line == "\n" || line == "\r\n" || line.empty(); }

// The empty line before a "From " line belongs to the mbox, not the message.
void DropSeparator(std::string& msg) {
  if (msg.size() >= 3 && msg.compare(msg.size() - 3, 3, "\n\r\n") == 0)
    msg.resize(msg.size() - 2);
  else if (msg.size() >= 2 && msg.compare(msg.size() - 2, 2, "\n\n") == 0)
    msg.resize(msg.size() - 1);
}

}  // namespace

bool IsServerFile(const std::string& name) {
  // Dovecot: dovecot.index*, dovecot.list.index*, dovecot-uidlist,
  // dovecot-keywords, dovecot-uidvalidity*, dovecot.mailbox.log ...
  if (StartsWith(name, "dovecot")) return true;
  static const char* const kNames[] = {"courierimapuiddb", "courierimapkeywords",
                                       "courierimapacl",   "courierpop3dsizelist",
                                       "maildirfolder",    "maildirsize",
                                       "subscriptions"};
  for (const char* n : kNames)
    if (name == n) return true;
  return name.size() > 5 && name.compare(name.size() - 5, 5, ".lock") == 0;
}

bool CollectMessageFiles(const std::string& arg, bool recursive, std::vector<std::string>& files,
                         std::string& error) {
  std::error_code ec;
  const fs::path p(arg);
  if (fs::is_directory(p, ec)) {
    CollectFolder(p, recursive, files);
    return true;
  }
  if (!fs::exists(p, ec)) {
    error = "no such file or directory: " + EscapeName(arg);
    return false;
  }
  files.push_back(arg);
  return true;
}

bool IsMbox(const std::string& data) { return StartsWith(data, "From "); }

std::vector<std::string> SplitMbox(const std::string& data) {
  std::vector<std::string> messages;
  std::string cur;
  bool inMessage = false;
  bool afterBlank = true;
  for (std::size_t pos = 0; pos < data.size();) {
    std::string_view line = LineAt(data, pos);
    pos += line.size();
    if (afterBlank && StartsWith(line, "From ")) {
      if (inMessage) {
        DropSeparator(cur);
        messages.push_back(std::move(cur));
        cur.clear();
      }
      inMessage = true;
      afterBlank = false;
      continue;
    }
    afterBlank = IsBlank(line);
    if (!inMessage) continue;
    std::size_t quotes = 0;
    while (quotes < line.size() && line[quotes] == '>') ++quotes;
    if (quotes > 0 && StartsWith(line.substr(quotes), "From ")) line.remove_prefix(1);
    cur.append(line);
  }
  if (inMessage) {
    DropSeparator(cur);
    messages.push_back(std::move(cur));
  }
  return messages;
}

std::string EscapeName(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
#if !defined(_WIN32)
      case '\\': out += "\\\\"; break;
#endif
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  return out;
}

}  // namespace quelta_host
