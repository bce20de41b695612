#include "log_window.h"

#include <cstdlib>
#include <memory>

#include "os/env.h"

namespace quelta_host {

// (One look at the directory entry: the host marks the log before every call;
// a missing log counts as empty.)
void LogWindow::Mark() { mark_ = static_cast<std::uint64_t>(quelta::os::FileSize(file_)); }

std::string LogWindow::Take() {
  const std::unique_ptr<quelta::os::RandomAccessFile> f = quelta::os::OpenRandomAccessFile(file_);
  const std::int64_t size = f ? f->Size() : -1;
  if (size < 0) {
    mark_ = 0;
    return {};
  }
  const std::uint64_t end = static_cast<std::uint64_t>(size);
  if (end < mark_) mark_ = 0;
  std::string text(static_cast<std::size_t>(end - mark_), '\0');
  if (!text.empty() && !f->ReadAt(mark_, &text[0], text.size())) return {};  // read again next time
  mark_ = end;
  return text;
}

std::vector<std::string> LogLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    std::size_t end = nl == std::string::npos ? text.size() : nl;
    std::size_t cut = end > pos && text[end - 1] == '\r' ? end - 1 : end;
    lines.emplace_back(text, pos, cut - pos);
    pos = end + 1;
  }
  return lines;
}

std::vector<std::string> ReportBlock(const std::vector<std::string>& lines) {
  std::size_t begin = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i].compare(0, 21, "=== BEGIN MESSAGE at ") == 0) {
      begin = i;
      break;
    }
  std::size_t end = lines.size();
  while (end > begin && lines[end - 1].empty()) --end;
  return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(begin),
                                  lines.begin() + static_cast<std::ptrdiff_t>(end));
}

bool ParseMatchLine(const std::string& line, RuleMatch& match) {
  const std::string head = "Match: ";
  if (line.compare(0, head.size(), head) != 0) return false;
  const std::size_t rule = line.find(" rule \"", head.size() - 1);
  if (rule == std::string::npos) return false;
  const std::size_t fieldBegin = rule + 7;
  const std::size_t fieldEnd = line.find("\" (", fieldBegin);
  const std::string tail = "), score: ";
  const std::size_t scorePos = line.rfind(tail);
  if (fieldEnd == std::string::npos || scorePos == std::string::npos || scorePos < fieldEnd + 3)
    return false;
  std::string number = line.substr(scorePos + tail.size());
  if (!number.empty() && number.back() == '.') number.pop_back();
  char* stop = nullptr;
  const long score = std::strtol(number.c_str(), &stop, 10);
  if (number.empty() || *stop != '\0') return false;
  match.kind = rule >= head.size() ? line.substr(head.size(), rule - head.size()) : std::string();
  match.field = line.substr(fieldBegin, fieldEnd - fieldBegin);
  match.comment = line.substr(fieldEnd + 3, scorePos - fieldEnd - 3);
  match.score = score;
  return true;
}

}  // namespace quelta_host
