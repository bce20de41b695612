#include "ui/win32/dialog_template.h"

#include <commctrl.h>
#include <richedit.h>

#include <cstring>

#include "ui/win32/controls.h"

namespace quelta::win32ui {

namespace {

constexpr std::size_t kCountWord = 4;  // cdit, after style and extended style (two DWORDs)

}  // namespace

DialogTemplate::DialogTemplate(DWORD style, short x, short y, short cx, short cy,
                               const std::wstring& font, WORD pointSize, DWORD exStyle) {
  auto dword = [this](DWORD v) {
    words_.push_back(LOWORD(v));
    words_.push_back(HIWORD(v));
  };
  dword(style | DS_SETFONT);
  dword(exStyle);
  words_.push_back(0);      // cdit, filled in by Data()
  for (short v : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(v));
  words_.push_back(0);      // no menu
  words_.push_back(0);      // the standard dialog class
  words_.push_back(0);      // no title: set at run time
  words_.push_back(pointSize);
  PutString(font);
}

void DialogTemplate::Align() {
  if (words_.size() % 2) words_.push_back(0);
}

void DialogTemplate::PutString(const std::wstring& s) {
  for (wchar_t c : s) words_.push_back(static_cast<WORD>(c));
  words_.push_back(0);
}

void DialogTemplate::Add(const wchar_t* className, int id, DWORD style, short x, short y, short cx,
                         short cy, DWORD exStyle) {
  Align();
  words_.push_back(LOWORD(style | WS_CHILD));
  words_.push_back(HIWORD(style | WS_CHILD));
  words_.push_back(LOWORD(exStyle));
  words_.push_back(HIWORD(exStyle));
  for (short v : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(v));
  words_.push_back(static_cast<WORD>(id));
  PutString(className);
  words_.push_back(0);  // no text: set at run time
  words_.push_back(0);  // no creation data
  ++count_;
}

const DLGTEMPLATE* DialogTemplate::Data() {
  words_[kCountWord] = count_;
  aligned_.assign((words_.size() + 1) / 2, 0);
  std::memcpy(aligned_.data(), words_.data(), words_.size() * sizeof(WORD));
  return reinterpret_cast<const DLGTEMPLATE*>(aligned_.data());
}

void AddControls(DialogTemplate& t, const std::vector<Ctl>& controls) {
  for (const Ctl& c : controls) {
    const wchar_t* cls = L"Button";
    DWORD style = WS_VISIBLE;
    DWORD ex = 0;
    switch (c.kind) {
      case Kind::Label: cls = L"Static"; style |= SS_LEFT | SS_NOPREFIX; break;
      case Kind::Note: cls = L"Static"; style |= SS_LEFT | SS_NOPREFIX; break;
      case Kind::Group: style |= BS_GROUPBOX; break;
      case Kind::Check: style |= BS_AUTOCHECKBOX | WS_TABSTOP; break;
      case Kind::Radio: style |= BS_AUTORADIOBUTTON; break;
      case Kind::FirstRadio: style |= BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP; break;
      case Kind::Button: style |= BS_PUSHBUTTON | WS_TABSTOP; break;
      case Kind::DefButton: style |= BS_DEFPUSHBUTTON | WS_TABSTOP; break;
      case Kind::Edit:
        cls = L"Edit";
        style |= ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP;
        ex = WS_EX_CLIENTEDGE;
        break;
      case Kind::UpDown:
        cls = UPDOWN_CLASSW;
        style |= UDS_AUTOBUDDY | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
        break;
      case Kind::DropList:
        cls = L"ComboBox";
        style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP;
        break;
      case Kind::DropEdit:
        cls = L"ComboBox";
        style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP | WS_GROUP;
        break;
      case Kind::Tab: cls = WC_TABCONTROLW; style |= WS_TABSTOP | WS_CLIPSIBLINGS; break;
      case Kind::Report:
        cls = RICHEDIT_CLASSW;
        style |= ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP;
        ex = WS_EX_CLIENTEDGE;
        break;
      case Kind::List:
      case Kind::SingleList:
        cls = WC_LISTVIEWW;
        style |= LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_GROUP |
                 (c.kind == Kind::SingleList ? LVS_SINGLESEL : 0);
        ex = WS_EX_CLIENTEDGE;
        break;
      case Kind::ToolBar:
        cls = TOOLBARCLASSNAMEW;
        style |= TBSTYLE_FLAT | TBSTYLE_LIST | CCS_NORESIZE | CCS_NODIVIDER | CCS_NOPARENTALIGN;
        break;
      case Kind::MultiEdit:
        cls = L"Edit";
        style |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL |
                 WS_HSCROLL | WS_TABSTOP | WS_GROUP;
        ex = WS_EX_CLIENTEDGE;
        break;
    }
    t.Add(cls, ControlId(c.name), style, c.x, c.y, c.cx, c.cy, ex);
  }
}

}  // namespace quelta::win32ui
