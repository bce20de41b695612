#include "app/locations.h"

#include "base/ini.h"
#include "base/paths.h"
#include "base/strings.h"
#include "os/env.h"

namespace quelta {

namespace {

// A folder from an INI file: value, environment expanded, trimmed,
// %QUELTADIR% replaced by pluginDir, separator appended.
std::string ReadIniFolder(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def,
                          const std::string& pluginDir) {
  return WithTrailingSeparator(
      Trim(ExpandPathVariables(ReadIniString(file, section, key, def), pluginDir)));
}

}  // namespace

bool LoadLocations(const std::string& pluginDir, Locations& c) {
  try {
    const std::string cfg = pluginDir + "Quelta.cfg";
    const std::string& dir = pluginDir;
    const std::string sep(1, os::kPathSep);
    auto folder = [&](const char* key, const std::string& def) {
      return ReadIniFolder(cfg, "Locations", key, def, pluginDir);
    };
    c.iniDir = folder("QueltaIni", dir);
    c.iniFile = c.iniDir + "Quelta.ini";
    c.bayesDb = folder("BayesDB", dir);
    c.logPath = folder("LogPath", dir + "Logs" + sep);
    c.autoWhiteList = folder("AutoWL", dir);
    c.whitelist = folder("Whitelist", dir);
    c.blacklist = folder("Blacklist", dir);
    c.rulesDat = folder("RulesDat", dir);
    c.scriptPath = folder("ScriptPath", dir + "Scripts" + sep);
    c.easyPath = folder("EasyPath", dir);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace quelta
