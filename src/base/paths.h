// Folder names as the plug-in writes them: every folder ends with the
// system's separator and file names are joined by plain concatenation;
// configured names may hold environment variables and %QUELTADIR%.
#pragma once

#include <string>

namespace quelta {

// s with the system's separator appended unless it already ends with one.
std::string WithTrailingSeparator(std::string s);
// Environment variables expanded, then every "%QUELTADIR%" (exact case)
// replaced by pluginDir.
std::string ExpandPathVariables(const std::string& text, const std::string& pluginDir);

}  // namespace quelta
