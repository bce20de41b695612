// Log: where every layer reports what it did. The application's filter log
// ("Filter.log", rotated and pruned) implements it; tools and tests pass
// their own. Lower layers receive a Log& and never reach a global log.
//
// Promises of every implementation: Write never throws and never fails
// visibly (a line that cannot be written is lost); each call is one entry,
// written as one block.
#pragma once

#include <string>

namespace quelta {

class Log {
 public:
  virtual ~Log() = default;
  // Appends one entry: text followed by a line end. text may span lines.
  virtual void Write(const std::string& text) = 0;
};

// A log that drops every entry.
class NullLog final : public Log {
 public:
  void Write(const std::string&) override {}
};

}  // namespace quelta
