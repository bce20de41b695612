// The sub-dialogs the options dialog opens from its easy-mode page: the
// list editor, the address-book dialog and the rule list (which opens the
// single-rule dialog). Each runs modally over owner and returns when it is
// closed; Ok keeps the dialog open when saving failed.
#pragma once

#include <windows.h>

#include "ui/dialog_host.h"
#include "ui/list_editor_model.h"

namespace quelta::win32ui {

void RunListEditor(HWND owner, DialogHost& host, DialogServices& services, ListMode mode);
void RunAddressBooks(HWND owner, DialogHost& host, DialogServices& services);
void RunRuleList(HWND owner, DialogHost& host, DialogServices& services);

}  // namespace quelta::win32ui
