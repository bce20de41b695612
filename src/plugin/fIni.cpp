#include "plugin/fIni.h"

#include <cerrno>
#include <cstdlib>

#include "platform/Env.h"

namespace quelta {

namespace {

// A whole valid decimal number (optional sign, digits only, no blanks).
bool ParseInt64(const std::string& s, std::int64_t& out) {
  if (s.empty()) return false;
  std::size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
  if (i == s.size()) return false;
  for (std::size_t j = i; j < s.size(); ++j)
    if (s[j] < '0' || s[j] > '9') return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno == ERANGE || *end != '\0') return false;
  out = v;
  return true;
}

}  // namespace

std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def) {
  return env::IniRead(file, section, key, def, 10240);
}

std::int32_t ReadIniInt(const std::string& file, const std::string& section,
                        const std::string& key, std::int32_t def) {
  std::string text = env::IniRead(file, section, key, std::to_string(def), 15);
  std::int64_t v = 0;
  if (!ParseInt64(text, v) || v < INT32_MIN || v > INT32_MAX) return def;
  return static_cast<std::int32_t>(v);
}

std::uint32_t ReadIniCounter(const std::string& file, const std::string& section,
                             const std::string& key, std::uint32_t def) {
  std::string text = env::IniRead(file, section, key, std::to_string(def), 15);
  std::int64_t v = 0;
  if (!ParseInt64(text, v)) return def;
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) & 0xFFFFFFFFu);
}

bool ReadIniBool(const std::string& file, const std::string& section, const std::string& key,
                 bool def) {
  // Only the first character counts: "1x" is true, "yes" is false.
  std::string text = env::IniRead(file, section, key, def ? "1" : "0", 2);
  return !text.empty() && text[0] == '1';
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  return env::IniWrite(file, section, key, value);
}

bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key,
                 std::int32_t value) {
  return env::IniWrite(file, section, key, std::to_string(value));
}

bool WriteIniCounter(const std::string& file, const std::string& section,
                     const std::string& key, std::uint32_t value) {
  return env::IniWrite(file, section, key, std::to_string(value));
}

bool WriteIniBool(const std::string& file, const std::string& section, const std::string& key,
                  bool value) {
  return env::IniWrite(file, section, key, value ? "1" : "0");
}

}  // namespace quelta
