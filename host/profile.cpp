#include "profile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "PluginLoader.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#ifndef QUELTA_PLUGIN_REL
#define QUELTA_PLUGIN_REL "../lib/quelta"
#endif
#ifndef QUELTA_PROFILE_REL
#define QUELTA_PROFILE_REL "../share/quelta/profile"
#endif
#ifndef QUELTA_SOURCE_PROFILE
#define QUELTA_SOURCE_PROFILE ""
#endif

namespace fs = std::filesystem;

namespace quelta_host {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

// Absolute, normal form, without a trailing separator.
std::string Absolute(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(path), ec).lexically_normal();
  std::string s = p.string();
  while (s.size() > 1 && (s.back() == '/' || s.back() == '\\')) s.pop_back();
  return s;
}

bool IsDir(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

std::string Trim(const std::string& s) {
  const std::size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

bool SameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// `key` of `section` in an INI file (names without regard to case, value
// trimmed); `found` tells whether it was there.
std::string IniValue(const std::string& file, const std::string& section, const std::string& key,
                     bool& found) {
  found = false;
  std::ifstream f(file, std::ios::binary);
  std::string line;
  bool inSection = false;
  while (std::getline(f, line)) {
    const std::string t = Trim(line);
    if (!t.empty() && t[0] == '[') {
      const std::size_t close = t.find(']');
      inSection = close != std::string::npos && SameNoCase(Trim(t.substr(1, close - 1)), section);
      continue;
    }
    const std::size_t eq = t.find('=');
    if (inSection && eq != std::string::npos && SameNoCase(Trim(t.substr(0, eq)), key)) {
      found = true;
      std::string v = Trim(t.substr(eq + 1));
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      return v;
    }
  }
  return {};
}

// %NAME% from the environment; unknown names stay as written.
std::string ExpandPercent(const std::string& text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
    if (close != std::string::npos && close > i + 1) {
      const char* v = std::getenv(text.substr(i + 1, close - i - 1).c_str());
      if (v) {
        out += v;
        i = close + 1;
        continue;
      }
      out.append(text, i, close - i);
      i = close;
      continue;
    }
    out += text[i++];
  }
  return out;
}

}  // namespace

std::string ExecutableDir() {
  fs::path self = ExecutablePath();
  return self.parent_path().string();
}

std::string DefaultUserProfile() {
  std::string base = Env("XDG_DATA_HOME");
  if (base.empty()) base = Env("HOME") + "/.local/share";
  return base + "/quelta";
}

std::string DefaultProfileSource() {
  const std::string installed = Absolute(ExecutableDir() + "/" + QUELTA_PROFILE_REL);
  if (IsDir(installed)) return installed;
  const std::string source = QUELTA_SOURCE_PROFILE;
  return !source.empty() && IsDir(source) ? source : std::string();
}

bool ResolvePlaces(const PlaceOptions& options, Places& places, std::string& error) {
  std::string pluginDir;
  bool ownFolder = true;  // the plug-in's folder doubles as the profile
  std::error_code ec;
  if (!options.pluginDir.empty()) {
    pluginDir = options.pluginDir;
  } else if (fs::exists(fs::path(ExecutableDir()) / "Quelta.tbp", ec)) {
    pluginDir = ExecutableDir();
  } else {
    pluginDir = ExecutableDir() + "/" + QUELTA_PLUGIN_REL;
    ownFolder = false;
  }
  pluginDir = Absolute(pluginDir);
  places.pluginFile = (fs::path(pluginDir) / "Quelta.tbp").string();
#if defined(_WIN32)
  (void)ownFolder;
  if (!options.profile.empty()) {
    error = "--profile needs a POSIX build; the plug-in's data lives in its own folder";
    return false;
  }
  places.profile = pluginDir;
#else
  std::string profile = options.profile;
  if (profile.empty()) profile = Env("QUELTA_PROFILE");
  if (profile.empty()) profile = ownFolder ? pluginDir : DefaultUserProfile();
  places.profile = Absolute(profile);
  if (!IsDir(places.profile)) {
    error = "no profile folder " + places.profile +
            (options.profile.empty() && Env("QUELTA_PROFILE").empty()
                 ? " (create it with 'quelta init')"
                 : "");
    return false;
  }
#endif
  std::string host = options.hostDir;
  if (host.empty()) host = Env("QUELTA_HOST_WORKDIR");
  places.hostDir = host.empty() ? places.profile : Absolute(host);
  places.logFile = LogFileOf(places.profile);
  return true;
}

void ExportPlaces(const Places& places) {
#if !defined(_WIN32)
  SetEnv("QUELTA_PROFILE", places.profile);
#endif
  SetEnv("QUELTA_HOST_WORKDIR", places.hostDir);
}

std::string LogFileOf(const std::string& profile) {
  bool found = false;
  std::string dir = IniValue(profile + "/Quelta.cfg", "Locations", "LogPath", found);
  if (!found) return profile + "/Logs/Filter.log";
  dir = Trim(ExpandPercent(dir));
  const std::string token = "%QUELTADIR%";
  for (std::size_t p = 0; (p = dir.find(token, p)) != std::string::npos; p += profile.size() + 1)
    dir.replace(p, token.size(), profile + "/");
  if (dir.empty() || (dir.back() != '/' && dir.back() != '\\')) dir += '/';
  return dir + "Filter.log";
}

bool LocationsInside(const std::string& profile, std::string& error) {
  static const char* const kKeys[] = {"QueltaIni", "BayesDB",  "LogPath",    "AutoWL",  "Whitelist",
                                      "Blacklist", "RulesDat", "ScriptPath", "EasyPath"};
  for (const char* key : kKeys) {
    bool found = false;
    const std::string v = IniValue(profile + "/Quelta.cfg", "Locations", key, found);
    if (found && (v.compare(0, 11, "%QUELTADIR%") != 0 || v.find("..") != std::string::npos)) {
      error = std::string("Quelta.cfg keeps ") + key + " outside the profile (" + v + ")";
      return false;
    }
  }
  return true;
}

bool CopyTreeKeeping(const std::string& from, const std::string& to,
                     bool (*skip)(const std::string& relative), CopyCounts& counts,
                     std::string& error) {
  std::error_code ec;
  fs::create_directories(to, ec);
  if (ec) {
    error = "cannot create " + to + ": " + ec.message();
    return false;
  }
  for (fs::recursive_directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path rel = it->path().lexically_relative(from);
    if (skip && skip(rel.generic_string())) {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    const fs::path dest = fs::path(to) / rel;
    std::error_code e2;
    if (it->is_directory(e2)) {
      fs::create_directories(dest, e2);
    } else if (fs::exists(fs::symlink_status(dest, e2))) {
      ++counts.kept;
      continue;
    } else {
      fs::copy_file(it->path(), dest, fs::copy_options::none, e2);
      if (!e2) ++counts.copied;
    }
    if (e2) {
      error = "cannot create " + dest.string() + ": " + e2.message();
      return false;
    }
  }
  if (ec) {
    error = "cannot read " + from + ": " + ec.message();
    return false;
  }
  return true;
}

ScratchFolder::~ScratchFolder() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(path_, ec);
}

bool ScratchFolder::Create(std::string& error) {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) {
    error = "no temporary folder: " + ec.message();
    return false;
  }
#if defined(_WIN32)
  std::random_device rd;
  for (int i = 0; i < 100; ++i) {
    const fs::path p = base / ("quelta-" + std::to_string(rd()));
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      return true;
    }
  }
  error = "cannot create a folder in " + base.string();
  return false;
#else
  std::string tmpl = (base / "quelta-XXXXXX").string();
  if (!::mkdtemp(&tmpl[0])) {
    error = "cannot create a folder in " + base.string();
    return false;
  }
  path_ = tmpl;
  return true;
#endif
}

bool MakeThresholdFolder(const std::string& hostDir, int threshold, const std::string& folder,
                         std::string& error) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  for (fs::directory_iterator it(hostDir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (SameNoCase(name, "TBPlugin.INI")) continue;
    std::error_code e2;
    fs::create_symlink(it->path(), fs::path(folder) / name, e2);
  }
  std::ofstream ini(fs::path(folder) / "TBPlugin.INI", std::ios::binary);
  ini << "[AntiSpam]\r\nJunkScore=" << threshold << "\r\n";
  if (!ini.flush()) {
    error = "cannot write " + folder + "/TBPlugin.INI";
    return false;
  }
  return true;
}

ProfileLock::~ProfileLock() {
#if !defined(_WIN32)
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
#endif
}

bool ProfileLock::Acquire(const std::string& folder, std::string& error) {
#if defined(_WIN32)
  (void)folder;
  (void)error;
  return true;
#else
  fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) {
    error = "cannot open " + folder;
    return false;
  }
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      error = "cannot lock " + folder;
      return false;
    }
  }
  return true;
#endif
}

}  // namespace quelta_host
