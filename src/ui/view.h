// The platform's dialogs over the models. Exactly one view is linked:
// src/ui/win32 (Windows: real dialogs with common controls) or src/ui/posix
// (no dialogs yet; a terminal view can take its place).
//
// A view shows each model's state, feeds every user edit into it and calls
// its commands; it keeps no settings of its own. The options dialog opens
// the sub-dialogs from its easy-mode page: it hides itself, shows the
// sub-dialog modally and shows itself again when that is closed.
//
// Threading: call from the thread that owns the dialogs (the host's thread
// on Windows); the calls return when the dialog is closed.
#pragma once

#include <memory>

#include "ui/dialog_host.h"

namespace quelta {

// Shows the options dialog modally, without owner, until it is closed.
void RunOptionsDialog(DialogHost& host, DialogServices& services);

// The platform's message boxes, file-open dialog and help viewer.
std::unique_ptr<DialogServices> MakePlatformServices();

}  // namespace quelta
