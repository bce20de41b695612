// DialogHost: what the dialogs read and change of the running plug-in. The
// product passes its session (ShowOptionsDialog); tests pass objects of
// their own in a scratch folder.
//
// Promises of every implementation: the references stay valid while a
// dialog is open; the write operations report failure as false and never
// throw. All of the dialogs' writes go through SaveConfig, ReplaceDataFile
// and DeleteDataFile, so one place can guard them (a lock on the profile).
// Threading: called from the dialog's thread only.
#pragma once

#include <cstdint>
#include <string>

#include "os/env.h"

namespace quelta {

class LanguageTable;
struct Locations;
struct Settings;
struct Statistics;

// The message counts of the Bayes word database (its header record).
struct BayesMessageCounts {
  std::uint32_t spam = 0;
  std::uint32_t ham = 0;
};

class DialogServices;

class DialogHost {
 public:
  virtual ~DialogHost() = default;

  // ---- State shown and changed in memory ----
  virtual Settings& Config() = 0;
  // The statistics as they are now, and all of them back to 0.
  virtual Statistics Stats() const = 0;
  virtual void ResetStats() = 0;
  virtual LanguageTable& Language() = 0;
  virtual const Locations& Folders() const = 0;
  // The plug-in's folder and the host's working folder, each ending with
  // the separator.
  virtual std::string PluginDir() const = 0;
  virtual std::string HostDir() const = 0;
  virtual std::string ProductName() const = 0;
  virtual std::string FileVersion() const = 0;
  virtual std::int32_t JunkScore() const = 0;
  virtual BayesMessageCounts BayesMessages() const = 0;
  // From now on the Bayes databases count as unchanged, so shutdown does
  // not write them back (after their files were deleted).
  virtual void MarkBayesUnchanged() = 0;

  // ---- Writes ----
  // Writes the settings to "Quelta.ini".
  virtual bool SaveConfig() = 0;
  // Replaces the file path by data in one step (temporary file + rename);
  // on failure the old file is untouched.
  virtual bool ReplaceDataFile(const std::string& path, const std::string& data) = 0;
  virtual bool DeleteDataFile(const std::string& path) = 0;

  // ---- Other services of the plug-in ----
  // The update check in manual mode; it tells the user its outcome through
  // services. 0 failed, 1 current, 2 newer.
  virtual int CheckForUpdate(DialogServices& services) = 0;
  virtual void Log(const std::string& line) = 0;
};

// What the dialogs ask of the user beyond their own window. The platform's
// view implements it with its own message boxes, file dialog and help
// viewer; tests record and answer.
class DialogServices {
 public:
  virtual ~DialogServices() = default;
  // A Yes/No question whose second button (No) is the default; true on Yes.
  virtual bool Ask(const std::string& title, const std::string& text) = 0;
  // A message with an OK button and the icon.
  virtual void Tell(const std::string& title, const std::string& text, os::MsgIcon icon) = 0;
  // The file-open dialog with a filter of "description|pattern|..." pairs;
  // false when the user cancelled, else the chosen full name in name.
  virtual bool ChooseFile(const std::string& title, const std::string& filter, std::string& name) = 0;
  // Starts the help viewer on target (plug-in folder + "Quelta.chm::/" +
  // page); false when it could not be started.
  virtual bool OpenHelp(const std::string& target) = 0;
};

}  // namespace quelta
