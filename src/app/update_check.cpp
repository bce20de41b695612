#include "app/update_check.h"

namespace quelta {

// The check needs the network layer; until it is built no check is made.
int CheckForUpdate(UpdateSettings& /*settings*/, bool /*manual*/) { return 0; }

}  // namespace quelta
