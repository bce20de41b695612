#include "plugin/fUpdate.h"

namespace quelta {

// The download of the version-information file is not part of this build
// yet: no check is made.
int CheckForUpdate(bool /*manual*/) { return 0; }

}  // namespace quelta
