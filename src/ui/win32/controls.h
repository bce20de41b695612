// Shared pieces of the Win32 dialogs: control identifiers by name, text
// conversion between Windows-1252 and the controls' UTF-16, the dialog
// font from the language table, the rich-text report, and the platform's
// DialogServices (message boxes, file-open dialog, "hh.exe").
//
// Promises: every control of every dialog has one identifier, found by the
// name the models use ("txtMaxMsgSize", "btnOk" = IDOK, "btnCancel" =
// IDCANCEL); texts keep every 1252 byte whatever the system's code page.
// Threading: the dialog's thread, except ControlId (any thread).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "ui/dialog_host.h"
#include "ui/options_model.h"

namespace quelta::win32ui {

// The identifier of a named control; 0 for an unknown name.
int ControlId(std::string_view name);

// Windows-1252 <-> UTF-16.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
void SetText(HWND window, const std::string& text);
std::string GetText(HWND window);
void SetItemText(HWND dialog, std::string_view control, const std::string& text);
HWND Item(HWND dialog, std::string_view control);

// The module that holds this code (for dialog templates).
HINSTANCE ModuleInstance();
// Registers the common controls and loads the rich-edit library, once.
void InitControls();

// The dialog font of the language table ("Font|Name", "Font|Size"; a size
// that is not a whole number gives 8).
struct DialogFont {
  std::wstring name;
  WORD pointSize;
};
DialogFont FontOf(const LanguageTable& language);

// Fills a read-only rich edit with the report lines in their colours.
void ShowReport(HWND richEdit, const std::vector<ReportLine>& lines, WORD pointSize);

// Report-mode list view helpers.
void AddColumns(HWND list, const std::vector<std::pair<std::string, int>>& columns);
void SetRow(HWND list, int row, const std::vector<std::string>& cells, bool insert);
int SelectedRow(HWND list);
void SelectRow(HWND list, int row);

// A tool bar of text buttons; commands are control names.
void AddToolButtons(HWND toolbar, const std::vector<std::pair<std::string, std::string>>& buttons);
// Shows a context menu of (control name, caption, enabled) at the cursor
// or under the window; the chosen command's identifier, 0 for none.
int ContextMenu(HWND owner, LPARAM position,
                const std::vector<std::tuple<std::string, std::string, bool>>& items);

// A list view (or other control) that wants Enter for itself instead of
// the dialog's default button.
void WantReturnKey(HWND control);

class Win32Services : public DialogServices {
 public:
  bool Ask(const std::string& title, const std::string& text) override;
  void Tell(const std::string& title, const std::string& text, os::MsgIcon icon) override;
  bool ChooseFile(const std::string& title, const std::string& filter, std::string& name) override;
  bool OpenHelp(const std::string& target) override;
};

}  // namespace quelta::win32ui
