// DialogTemplate: a dialog box template built in memory (DLGTEMPLATE with
// its items), so the dialogs need no resource script and take the font of
// the language table.
//
// Promises: Data() is a DWORD-aligned template valid until the object
// changes or dies; coordinates are dialog units. One thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quelta::win32ui {

class DialogTemplate {
 public:
  DialogTemplate(DWORD style, short x, short y, short cx, short cy, const std::wstring& font,
                 WORD pointSize, DWORD exStyle = 0);
  // A control of the window class className (a system class name such as
  // L"Button" or L"SysListView32") with the identifier id.
  void Add(const wchar_t* className, int id, DWORD style, short x, short y, short cx, short cy,
           DWORD exStyle = 0);
  const DLGTEMPLATE* Data();

 private:
  void Align();
  void PutString(const std::wstring& s);

  std::vector<WORD> words_;
  std::vector<DWORD> aligned_;
  WORD count_ = 0;
};

// The kinds of control the dialogs use, each with its window class and
// styles.
enum class Kind {
  Label,      // static text
  Note,       // static text over several lines
  Group,      // group box
  Check,      // check box
  Radio,      // radio button (FirstRadio starts a group)
  FirstRadio,
  Button,
  DefButton,  // the default push button
  Edit,
  UpDown,     // attaches itself to the control added just before it
  DropList,   // combo box with a fixed list
  DropEdit,   // combo box with an editable field
  Tab,
  Report,     // read-only rich edit
  List,       // report-mode list view, several rows selectable
  SingleList, // report-mode list view, one row selectable
  ToolBar,
  MultiEdit,  // multi-line edit
};

// One control of a layout: its kind, name (see ControlId) and place in
// dialog units.
struct Ctl {
  Kind kind;
  std::string name;
  short x, y, cx, cy;
};

void AddControls(DialogTemplate& t, const std::vector<Ctl>& controls);

}  // namespace quelta::win32ui
