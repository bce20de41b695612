#include "base/ini.h"

#include "base/strings.h"
#include "os/env.h"

namespace quelta {

std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def) {
  return os::IniRead(file, section, key, def, 10240);
}

std::int32_t ReadIniInt(const std::string& file, const std::string& section,
                        const std::string& key, std::int32_t def) {
  std::string text = os::IniRead(file, section, key, std::to_string(def), 15);
  std::int64_t v = 0;
  if (!TryStrToInt64(text, v) || v < INT32_MIN || v > INT32_MAX) return def;
  return static_cast<std::int32_t>(v);
}

std::uint32_t ReadIniCounter(const std::string& file, const std::string& section,
                             const std::string& key, std::uint32_t def) {
  std::string text = os::IniRead(file, section, key, std::to_string(def), 15);
  std::int64_t v = 0;
  if (!TryStrToInt64(text, v)) return def;
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) & 0xFFFFFFFFu);
}

bool ReadIniBool(const std::string& file, const std::string& section, const std::string& key,
                 bool def) {
  // Only the first character counts: "1x" is true, "yes" is false.
  std::string text = os::IniRead(file, section, key, def ? "1" : "0", 2);
  return !text.empty() && text[0] == '1';
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  return os::IniWrite(file, section, key, value);
}

bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key,
                 std::int32_t value) {
  return os::IniWrite(file, section, key, std::to_string(value));
}

bool WriteIniCounter(const std::string& file, const std::string& section,
                     const std::string& key, std::uint32_t value) {
  return os::IniWrite(file, section, key, std::to_string(value));
}

bool WriteIniBool(const std::string& file, const std::string& section, const std::string& key,
                  bool value) {
  return os::IniWrite(file, section, key, value ? "1" : "0");
}

void IniBatch::String(const std::string& section, const std::string& key,
                      const std::string& value) {
  entries_.push_back(os::IniEntry{section, key, value});
}

void IniBatch::Int(const std::string& section, const std::string& key, std::int32_t value) {
  String(section, key, std::to_string(value));
}

void IniBatch::Counter(const std::string& section, const std::string& key, std::uint32_t value) {
  String(section, key, std::to_string(value));
}

void IniBatch::Bool(const std::string& section, const std::string& key, bool value) {
  String(section, key, value ? "1" : "0");
}

}  // namespace quelta
