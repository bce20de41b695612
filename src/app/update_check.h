// The check for a newer plug-in version on the maker's server.
#pragma once

#include <cstdint>
#include <string>

namespace quelta {

// The update check's settings ("Update" section of "Quelta.ini").
struct UpdateSettings {
  bool enabled = false;
  std::string server;
  double lastUpdate = 0;  // date-time value of the last check
  std::int32_t interval = 3;
  bool showMessage = true;
};

// 0: no check made or the check failed; 1: current; 2: newer available.
int CheckForUpdate(UpdateSettings& settings, bool manual);

}  // namespace quelta
