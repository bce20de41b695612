#include "session.h"

#include <algorithm>
#include <cstring>

#include "charset.h"
#include "mailbox.h"
#include "rendered_text.h"

namespace quelta_host {

namespace {

// The message handed to the plug-in through the callback. The rendered
// text is made when the plug-in first asks for it (only rules on TEXT and
// the Bayes filter's words do).
struct Message {
  std::string raw;             // CR LF lines (item 100005)
  mutable std::string text16;  // the rendered text as UTF-16LE (item 100008)
  mutable bool rendered = false;

  const std::string& Text16() const {
    if (!rendered) {
      text16 = WidenToUtf16Le(RenderedText(raw));
      rendered = true;
    }
    return text16;
  }
};

std::int32_t QUELTA_HOST_STDCALL DataRequest(Cookie cookie, std::int32_t item, void* buffer,
                                             std::int32_t size) {
  const Message* m = reinterpret_cast<const Message*>(cookie);
  if (!m) return 0;
  const std::string* data = item == 100005 ? &m->raw : item == 100008 ? &m->Text16() : nullptr;
  if (!data) return 0;
  const auto len = static_cast<std::int32_t>(std::min<std::size_t>(data->size(), 0x7FFFFFFF));
  if (!buffer || size <= 0) return len;
  const std::int32_t n = std::min(size, len);
  std::memcpy(buffer, data->data(), static_cast<std::size_t>(n));
  return n;
}

struct Receiver : MacroReceiver {
  std::string text;
  std::int32_t QUELTA_HOST_STDCALL QueryInterface(const void*, void** obj) override {
    if (obj) *obj = nullptr;
    return static_cast<std::int32_t>(0x80004002u);  // no such interface
  }
  std::uint32_t QUELTA_HOST_STDCALL AddRef() override { return 1; }
  std::uint32_t QUELTA_HOST_STDCALL Release() override { return 1; }
  std::int32_t QUELTA_HOST_STDCALL SetText(std::int32_t, const char* t, std::int32_t n) override {
    text.assign(t ? t : "", t && n > 0 ? static_cast<std::size_t>(n) : 0);
    return 0;
  }
};

}  // namespace

std::string ToCrLf(const std::string& in) {
  std::string out;
  out.reserve(in.size() + in.size() / 32 + 16);
  const char* const text = in.data();
  const std::size_t n = in.size();
  for (std::size_t i = 0; i < n;) {
    // The line up to its end (copied at once), then the end as CR LF. A line
    // ends at LF, at CR LF, or at a CR alone.
    const void* lf = std::memchr(text + i, '\n', n - i);
    std::size_t end = lf ? static_cast<const char*>(lf) - text : n;
    if (const void* cr = std::memchr(text + i, '\r', end - i)) end = static_cast<const char*>(cr) - text;
    out.append(text + i, end - i);
    if (end == n) break;
    out += "\r\n";
    i = end + (text[end] == '\r' && end + 1 < n && text[end + 1] == '\n' ? 2 : 1);
  }
  return out;
}

Session::~Session() {
  if (open_) Close();
}

bool Session::Open(const std::string& pluginFile, const std::string& logFile, std::string& error) {
  if (!plugin_.Load(pluginFile, error)) return false;
  log_ = LogWindow(logFile);
  log_.Mark();
  rulesLoaded_ = (plugin_.Initialize() & 0xFF) != 0;
  open_ = true;
  Scan(LogLines(log_.Take()));
  return true;
}

void Session::Scan(const std::vector<std::string>& lines) {
  for (const auto& line : lines) {
    if (line.compare(0, 7, "ERROR: ") != 0) continue;
    if (seen_[line]++ == 0) errors_(line);
  }
}

int Session::Threshold() {
  std::string text;
  if (!Macro("Quelta_DebugInfo", text)) return 99;
  const std::string key = "TB! SpamValue: ";
  const std::size_t p = text.find(key);
  if (p == std::string::npos) return 99;
  return std::atoi(text.c_str() + p + key.size());
}

ScoreResult Session::Score(const std::string& message) {
  Message m;
  m.raw = ToCrLf(message);
  ScoreResult r;
  log_.Mark();
  r.score = plugin_.GetSpamScore(reinterpret_cast<Cookie>(&m), &DataRequest);
  const std::vector<std::string> lines = LogLines(log_.Take());
  Scan(lines);
  r.block = ReportBlock(lines);
  RuleMatch match;
  for (const auto& line : r.block)
    if (ParseMatchLine(line, match)) r.matches.push_back(match);
  return r;
}

void Session::Train(const std::string& message, bool spam) {
  Message m;
  m.raw = ToCrLf(message);
  log_.Mark();
  plugin_.FeedSpam(reinterpret_cast<Cookie>(&m), spam ? 1 : 0, &DataRequest);
  Scan(LogLines(log_.Take()));
}

bool Session::Macro(const std::string& name, std::string& text) {
  Receiver receiver;
  if (plugin_.ExecMacro(name.c_str(), static_cast<std::int32_t>(name.size()), &receiver, nullptr) != 0)
    return false;
  text = receiver.text;
  return true;
}

std::string Session::MacroList() { return plugin_.Text(plugin_.GetMacroList); }
std::string Session::Name() { return plugin_.Text(plugin_.GetName); }
std::string Session::Version() { return plugin_.Text(plugin_.GetVersion); }
std::string Session::InfoPage() { return plugin_.Text(plugin_.GetInfo); }
void Session::Setup() { plugin_.Setup(); }

bool Session::Close() {
  if (!open_) return true;
  open_ = false;
  log_.Mark();
  plugin_.Finalize();
  const std::vector<std::string> lines = LogLines(log_.Take());
  Scan(lines);
  plugin_.Unload();
  int repeats = 0;
  for (const auto& e : seen_) repeats += e.second - 1;
  if (repeats > 0)
    errors_("quelta: (the ERROR lines above came " + std::to_string(repeats) + " more times; see " +
            EscapeName(log_.File()) + ")");
  for (const auto& line : lines)
    if (line.compare(0, 14, "ERROR: Saving ") == 0) return false;
  return true;
}

}  // namespace quelta_host
