// The check for a newer plug-in version on the maker's server: the
// application's side of it (settings, log, settings file, language texts,
// message boxes) around the network layer's check.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quelta {

class Session;

// The update check's settings ("Update" section of "Quelta.ini").
struct UpdateSettings {
  bool enabled = false;
  std::string server;
  double lastUpdate = 0;  // date-time value of the last check
  std::int32_t interval = 3;
  bool showMessage = true;
};

// Shows a message of the check: title, text, and whether it is an error.
using UpdateMessageFn =
    std::function<void(const std::string& title, const std::string& text, bool error)>;

// One check for the session's plug-in: 0 when no check was made or it
// failed, 1 when the running version is current, 2 when a newer one exists.
// In manual mode (the options dialog's button) the interval is not waited
// for and the outcome is shown. Messages go to show, or (when it is empty)
// to the system's message box.
int CheckForUpdate(Session& session, bool manual, const UpdateMessageFn& show = {});

}  // namespace quelta
