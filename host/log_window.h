// LogWindow: what the plug-in wrote to its log (Filter.log) during one call,
// found by reading the file's growth around the call. The plug-in rotates
// the log only at start-up and appends otherwise, so the bytes past the
// size seen before a call are that call's lines, as long as no other
// process writes the same log at the same time (the host holds the
// profile lock for that). Also the parsers for what the host takes out of
// those lines: the message's report block and its match lines.
// Not thread-safe; one window per loaded plug-in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quelta_host {

class LogWindow {
 public:
  LogWindow() = default;
  explicit LogWindow(std::string file) : file_(std::move(file)) {}

  const std::string& File() const { return file_; }
  // Remembers the log's current end.
  void Mark();
  // The text appended since the last Mark (all of it when the file shrank),
  // and marks the new end. Empty when the file is missing or unreadable.
  std::string Take();

 private:
  std::string file_;
  std::uint64_t mark_ = 0;
};

// The log text split into lines without their CR LF (or LF) ends.
std::vector<std::string> LogLines(const std::string& text);

// The message's block in the lines one scoring call wrote: from the line
// "=== BEGIN MESSAGE at ..." to the last line (the timing line), trailing
// empty lines dropped. Empty when there is no such line.
std::vector<std::string> ReportBlock(const std::vector<std::string>& lines);

// One line of the report: Match: KIND rule "FIELD" (COMMENT), score: N.
struct RuleMatch {
  std::string kind;  // "Simple", "RegExp", "Intern" or empty
  std::string field;
  std::string comment;
  long score = 0;
};
bool ParseMatchLine(const std::string& line, RuleMatch& match);

}  // namespace quelta_host
