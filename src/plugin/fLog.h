// fLog: the filter log "Filter.log" in the LogPath folder, its rotation by
// size and the pruning of old rotated copies.
//
// Promises: WriteLog never fails visibly (a line that cannot be written is
// lost silently) and writes each call as one block: text + CR LF, NUL bytes
// turned into blanks. It opens and closes the file per call, takes no lock.
#pragma once

#include <string>

namespace quelta {

void WriteLog(const std::string& text);
void RotateLog();
bool DeleteOldLogs();

}  // namespace quelta
