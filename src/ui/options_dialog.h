// The options dialog, shown modally without owner by the host's setup call.
#pragma once

namespace quelta {

class Session;

// Shows the options dialog for the session's settings and returns when it
// is closed. Where the platform has no dialogs it returns at once.
void ShowOptionsDialog(Session& session);

}  // namespace quelta
