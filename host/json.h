// JSON text for the host's machine-readable output. Pure functions.
#pragma once

#include <string>

namespace quelta_host {

enum class TextKind {
  FileName,  // bytes from the file system: UTF-8 when valid, else each
             // byte above 0x7F as the Latin-1 character of that number
  Ansi,      // Windows-1252 text from the plug-in
};

// `text` as a quoted JSON string (UTF-8, control characters escaped).
std::string JsonString(const std::string& text, TextKind kind);

}  // namespace quelta_host
