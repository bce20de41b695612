// formOptions: the options dialog (`TfrmOptions`), shown modally without
// owner by the host's setup call.
#pragma once

namespace quelta {

// Shows the options dialog and returns when it is closed. On systems
// without a dialog implementation it returns at once.
void ShowOptionsDialog();

}  // namespace quelta
