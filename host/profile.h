// Where things are: the plug-in file the host loads, the profile (the
// plug-in's data folder: settings, rules, lists, Bayes databases, Logs/),
// the host folder holding TBPlugin.INI (the junk threshold), the log file;
// and the file work around them: creating a profile from the installed
// default one, scratch folders, and the lock that keeps two host processes
// from running one profile at the same time.
//
// Contracts with the plug-in (environment variables the host sets before
// TBP_Initialize, read by the plug-in at start-up):
//   QUELTA_PROFILE       the profile folder (POSIX builds of the plug-in)
//   QUELTA_HOST_WORKDIR  the folder of TBPlugin.INI
//   QUELTA_NO_LEARN=1    score without changing any file but the log
// Functions report failures through their results; none throws. Not
// thread-safe (they set process environment variables).
#pragma once

#include <string>
#include <vector>

namespace quelta_host {

struct PlaceOptions {
  std::string pluginDir;  // --plugin-dir, may be empty
  std::string profile;    // --profile, may be empty
  std::string hostDir;    // --host-dir, may be empty
};

struct Places {
  std::string pluginFile;  // the Quelta.tbp to load
  std::string profile;     // absolute, without trailing separator
  std::string hostDir;     // folder of TBPlugin.INI
  std::string logFile;     // Filter.log in the profile's log folder
};

// Folder of the running program.
std::string ExecutableDir();

// Resolves the places, in this order of precedence:
// - plug-in: --plugin-dir; else the program's own folder when Quelta.tbp
//   lies there (a build tree); else the installed plug-in folder.
// - profile: --profile; else $QUELTA_PROFILE; else the plug-in's folder when
//   the plug-in was found by --plugin-dir or beside the program; else the
//   user's profile (DefaultUserProfile). Windows: always the plug-in's folder.
// - host folder: --host-dir; else $QUELTA_HOST_WORKDIR; else the profile.
// False with `error` when the profile folder does not exist.
bool ResolvePlaces(const PlaceOptions& options, Places& places, std::string& error);

// Sets QUELTA_PROFILE (POSIX) and QUELTA_HOST_WORKDIR for the plug-in.
void ExportPlaces(const Places& places);

// ${XDG_DATA_HOME:-$HOME/.local/share}/quelta
std::string DefaultUserProfile();

// The default profile that `init` copies: the installed one, or the
// source tree's data/ when the program runs from its build tree. Empty when
// neither exists.
std::string DefaultProfileSource();

// The log file of `profile`: LogPath of Quelta.cfg's [Locations] (with
// %NAME% from the environment and %QUELTADIR% expanded as the plug-in does)
// + "Filter.log"; by default profile/Logs/Filter.log.
std::string LogFileOf(const std::string& profile);

// True when every location Quelta.cfg names lies in the profile (begins
// with %QUELTADIR% and never goes up with ".."), so a copy of the folder is
// a complete copy of the profile. False with `error` naming the key.
bool LocationsInside(const std::string& profile, std::string& error);

// Copies the tree `from` into `to` (created as needed), never replacing an
// existing file; names for which `skip(relativeName)` is true are left out.
// Counts the files copied and those kept. False with `error` on failure.
struct CopyCounts {
  int copied = 0;
  int kept = 0;
};
bool CopyTreeKeeping(const std::string& from, const std::string& to,
                     bool (*skip)(const std::string& relative), CopyCounts& counts,
                     std::string& error);

// A new empty folder under the system's temporary folder, removed with
// everything in it when the object goes.
class ScratchFolder {
 public:
  ScratchFolder() = default;
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  bool Create(std::string& error);
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// A host folder whose TBPlugin.INI says [AntiSpam] JunkScore=`threshold`,
// with every other entry of `hostDir` linked in (address books), so that a
// threshold from the command line reaches the plug-in (POSIX).
bool MakeThresholdFolder(const std::string& hostDir, int threshold, const std::string& folder,
                         std::string& error);

// An exclusive lock on the profile for the life of the object, so that two
// host processes never load, change and save one profile's databases at the
// same time, and each reads only its own lines from the log. Waits for the
// lock. POSIX (flock on the folder); a no-op on Windows.
class ProfileLock {
 public:
  ProfileLock() = default;
  ~ProfileLock();
  ProfileLock(const ProfileLock&) = delete;
  ProfileLock& operator=(const ProfileLock&) = delete;
  bool Acquire(const std::string& folder, std::string& error);

 private:
  int fd_ = -1;
};

}  // namespace quelta_host
