// FilterLog: the plug-in's log "Filter.log" in the log folder, with its
// rotation by size and the pruning of old rotated copies
// ("Filter_yymmdd_hhnn.log").
//
// Promises: Write never fails visibly (a line that cannot be written is
// lost) and writes each call as one block: text + CR LF, NUL bytes turned
// into blanks. It opens and closes the file per call and takes no lock, so
// several writers may append to one file.
#pragma once

#include <cstdint>
#include <string>

#include "base/log.h"

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
  // Renames the log to "Filter_yymmdd_hhnn.log" (the local time now) when it
  // is larger than maxLogSize.
  void Rotate(const LogOptions& options, double now);
  // Deletes rotated copies older than oldLogAge months; false when a name of
  // the pattern is malformed or a file could not be deleted.
  bool DeleteOld(const LogOptions& options, double now);

 private:
  std::string folder_;
};

}  // namespace quelta
