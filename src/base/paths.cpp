#include "base/paths.h"

#include "os/env.h"

namespace quelta {

std::string WithTrailingSeparator(std::string s) {
  if (s.empty() || s.back() != os::kPathSep) s += os::kPathSep;
  return s;
}

std::string ExpandPathVariables(const std::string& text, const std::string& pluginDir) {
  std::string v = os::ExpandEnvironment(text);
  const std::string token = "%QUELTADIR%";
  std::size_t pos = 0;
  while ((pos = v.find(token, pos)) != std::string::npos) {
    v.replace(pos, token.size(), pluginDir);
    pos += pluginDir.size();
  }
  return v;
}

}  // namespace quelta
