// FilterLog: the plug-in's log "Filter.log" in the log folder, with its
// rotation by size and the pruning of old rotated copies
// ("Filter_yymmdd_hhnn.log").
//
// Promises: Write never fails visibly (a line that cannot be written is
// lost) and writes each call as one block: text + CR LF, NUL bytes turned
// into blanks, appended at the file's end, so several writers (threads and
// processes) may append to one file. It opens and closes the file per call,
// except while a Held scope lives: then the writes of all threads go through
// one handle, opened at the first of them and closed with the last scope
// (one scoring call opens the log once, not once per line).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/log.h"
#include "os/env.h"

namespace quelta {

struct LogOptions {
  std::uint32_t maxLogSize = 250u * 1024u;  // bytes; a larger log is rotated at start-up
  std::uint32_t oldLogAge = 3;              // months a rotated copy is kept
};

class FilterLog final : public Log {
 public:
  // folder ends with the separator ("" until the folders are known).
  void SetFolder(std::string folder) { folder_ = std::move(folder); }
  std::string FileName() const { return folder_ + "Filter.log"; }

  void Write(const std::string& text) override;

  // While one lives, the log's file stays open between writes. Scopes nest.
  class Held {
   public:
    explicit Held(FilterLog& log);
    ~Held();
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

   private:
    FilterLog& log_;
  };

  // Renames the log to "Filter_yymmdd_hhnn.log" (the local time now) when it
  // is larger than maxLogSize.
  void Rotate(const LogOptions& options, double now);
  // Deletes rotated copies older than oldLogAge months; false when a name of
  // the pattern is malformed or a file could not be deleted.
  bool DeleteOld(const LogOptions& options, double now);

 private:
  std::string folder_;
  std::mutex mutex_;  // guards the two below
  int holds_ = 0;
  std::unique_ptr<os::AppendableFile> held_;
};

}  // namespace quelta
