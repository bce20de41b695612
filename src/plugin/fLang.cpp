#include "plugin/fLang.h"

#include "common/fMain.h"
#include "platform/Env.h"
#include "plugin/fPlugin.h"

namespace quelta {

namespace {

void ReplaceEvery(std::string& s, const std::string& find, const std::string& repl) {
  if (find.empty()) return;
  std::string out;
  std::size_t pos = 0;
  for (;;) {
    std::size_t hit = s.find(find, pos);
    if (hit == std::string::npos) break;
    out.append(s, pos, hit - pos);
    out += repl;
    pos = hit + find.size();
  }
  out.append(s, pos, std::string::npos);
  s.swap(out);
}

}  // namespace

int TLangTable::Load(const std::string& file) {
  lines_.clear();
  std::string text;
  if (!env::FileExists(file) || !env::ReadFile(file, text)) return -1;
  std::string line;
  auto take = [&] {
    std::string t = Trim(line);
    if (!t.empty() && t[0] != '#') lines_.push_back(t);
    line.clear();
  };
  for (char c : text) {
    if (c == '\n') take();
    else if (c != '\r') line += c;
  }
  if (!line.empty()) take();
  return static_cast<int>(lines_.size());
}

std::string TLangTable::Text(const std::string& key, const std::string& builtin,
                             const std::string& params) const {
  std::string result;
  for (const auto& l : lines_) {
    auto eq = l.find('=');
    if (eq == std::string::npos) continue;
    if (env::AnsiCompareText(Trim(l.substr(0, eq)), key) == 0) {
      result = l.substr(eq + 1);
      break;
    }
  }
  if (result.empty()) result = builtin;
  const std::string marker("\x01\x02\x03", 3);  // stands for a literal percent sign
  ReplaceEvery(result, "$%$", marker);
  if (!params.empty()) {
    std::vector<std::string> values;
    std::size_t start = 0;
    for (;;) {
      auto sep = params.find('\x01', start);
      values.push_back(params.substr(start, sep == std::string::npos ? std::string::npos : sep - start));
      if (sep == std::string::npos) break;
      start = sep + 1;
    }
    for (std::size_t k = 0; k < values.size(); ++k)
      ReplaceEvery(result, "%s" + std::to_string(k + 1) + "%", values[k]);
  }
  ReplaceEvery(result, "%r%", "\r");
  ReplaceEvery(result, "%n%", "\n");
  ReplaceEvery(result, "%t%", "\t");
  ReplaceEvery(result, marker, "%");
  return result;
}

std::string GetLangText(const std::string& key, const std::string& builtin,
                        const std::string& params) {
  static const TLangTable empty;
  const TLangTable* t = Objects().Lang ? Objects().Lang.get() : &empty;
  return t->Text(key, builtin, params);
}

std::vector<std::string> ListLanguages(const std::string& folder) {
  std::vector<std::string> names{"Deutsch (intern)"};
  for (const auto& f : env::FindFiles(folder, "*.lng"))
    if (f.size() > 4) names.push_back(f.substr(0, f.size() - 4));
  return names;
}

}  // namespace quelta
