#include "app/language.h"

#include "base/strings.h"
#include "os/env.h"

namespace quelta {

int LanguageTable::Load(const std::string& file) {
  lines_.clear();
  std::string text;
  if (!os::FileExists(file) || !os::ReadFile(file, text)) return -1;
  for (const std::string& line : SplitLines(text)) {
    std::string t = Trim(line);
    if (!t.empty() && t[0] != '#') lines_.push_back(std::move(t));
  }
  return static_cast<int>(lines_.size());
}

std::string LanguageTable::Text(const std::string& key, const std::string& builtin,
                             const std::string& params) const {
  std::string result;
  for (const auto& l : lines_) {
    auto eq = l.find('=');
    if (eq == std::string::npos) continue;
    if (os::AnsiCompareText(Trim(l.substr(0, eq)), key) == 0) {
      result = l.substr(eq + 1);
      break;
    }
  }
  if (result.empty()) result = builtin;
  const std::string marker("\x01\x02\x03", 3);  // stands for a literal percent sign
  result = ReplaceEach(result, "$%$", marker);
  if (!params.empty()) {
    const std::vector<std::string> values = SplitAt(params, '\x01');
    for (std::size_t k = 0; k < values.size(); ++k)
      result = ReplaceEach(result, "%s" + std::to_string(k + 1) + "%", values[k]);
  }
  result = ReplaceEach(result, "%r%", "\r");
  result = ReplaceEach(result, "%n%", "\n");
  result = ReplaceEach(result, "%t%", "\t");
  result = ReplaceEach(result, marker, "%");
  return result;
}

std::vector<std::string> ListLanguages(const std::string& folder) {
  std::vector<std::string> names{"Deutsch (intern)"};
  for (const auto& f : os::FindFiles(folder, "*.lng"))
    if (f.size() > 4) names.push_back(f.substr(0, f.size() - 4));
  return names;
}

}  // namespace quelta
