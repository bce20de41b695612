// Locations: the folders of every data file, read from "Quelta.cfg"
// ([Locations]) in the plug-in folder. Each value may hold environment
// variables and %QUELTADIR% (the plug-in folder); every folder ends with
// the separator. A missing key means the plug-in folder (or its "Logs" and
// "Scripts" sub-folders).
#pragma once

#include <string>

namespace quelta {

struct Locations {
  std::string iniDir, iniFile, bayesDb, logPath, autoWhiteList, whitelist, blacklist, rulesDat,
      scriptPath, easyPath;
};

// The folders for the plug-in folder pluginDir (ending with the separator).
// False when reading "Quelta.cfg" failed.
bool LoadLocations(const std::string& pluginDir, Locations& out);

}  // namespace quelta
