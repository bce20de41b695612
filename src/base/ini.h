// Typed reading and writing of INI keys over the system's profile
// functions. Numbers are decimal text; booleans are "1" / "0".
//
// Promises: readers return the default for a missing key or a value that is
// not a whole valid number; writers report success. An IniBatch writes its
// keys as one save of the file (see os::IniWriteAll).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "os/env.h"

namespace quelta {

std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def);
std::int32_t ReadIniInt(const std::string& file, const std::string& section,
                        const std::string& key, std::int32_t def);
std::uint32_t ReadIniCounter(const std::string& file, const std::string& section,
                             const std::string& key, std::uint32_t def);
bool ReadIniBool(const std::string& file, const std::string& section,
                 const std::string& key, bool def);

bool WriteIniString(const std::string& file, const std::string& section,
                    const std::string& key, const std::string& value);
bool WriteIniInt(const std::string& file, const std::string& section,
                 const std::string& key, std::int32_t value);
bool WriteIniCounter(const std::string& file, const std::string& section,
                     const std::string& key, std::uint32_t value);
bool WriteIniBool(const std::string& file, const std::string& section,
                  const std::string& key, bool value);

// Keys collected in order and written together, each as the single writer
// of its type writes it.
class IniBatch {
 public:
  void String(const std::string& section, const std::string& key, const std::string& value);
  void Int(const std::string& section, const std::string& key, std::int32_t value);
  void Counter(const std::string& section, const std::string& key, std::uint32_t value);
  void Bool(const std::string& section, const std::string& key, bool value);
  // False when the file could not be written.
  bool Write(const std::string& file) const { return os::IniWriteAll(file, entries_); }

 private:
  std::vector<os::IniEntry> entries_;
};

}  // namespace quelta
