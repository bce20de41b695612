// fUpdate: the check for a newer plug-in version on the maker's server.
#pragma once

namespace quelta {

// 0: no check made or the check failed; 1: current; 2: newer available.
int CheckForUpdate(bool manual);

}  // namespace quelta
