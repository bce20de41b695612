#include "ui/win32/controls.h"

#include "os/env.h"

#include <windows.h>

#include <commctrl.h>
#include <windowsx.h>
#include <commdlg.h>
#include <richedit.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <tuple>

#include "app/language.h"
#include "base/strings.h"
#include "ui/texts.h"

namespace quelta::win32ui {

namespace {

// Every control of every dialog; its identifier is 2000 + its place here
// (clear of the identifiers that combo boxes give their own parts).
constexpr std::string_view kControls[] = {
    // options dialog
    "tabMain", "btnHelp", "pgStats", "pgGeneral", "pgEasy", "pgBayes",
    "reStats", "btnStatReset",
    "lblLanguage", "cbLanguage", "grpLogging", "lblLogExt", "chkLogExtBayes", "chkLogExtDnsbl",
    "chkLogExtUrlbl", "chkLogExtMXSAV", "lblMaxLogSize", "txtMaxLogSize", "udMaxLogSize",
    "lblOldLogAge", "txtOldLogAge", "udOldLogAge", "grpLimits", "lblMaxMsgSize", "txtMaxMsgSize",
    "udMaxMsgSize", "lblMaxDataSize", "txtMaxDataSize", "udMaxDataSize", "lblMaxRegExpSize",
    "txtMaxRegExpSize", "udMaxRegExpSize", "lblBreakAtScore", "txtBreakAtScore", "udBreakAtScore",
    "lblAWLDays", "txtAWLDays", "udAWLDays", "chkDebugMode", "grpUpdate", "chkUpdate",
    "lblUpdateInterval", "txtUpdateInterval", "udUpdateInterval", "btnUpdateCheck",
    "chkEasyEnabled", "lblEasyRestart", "grpEasyFilters", "chkEasyAutoWL", "chkEasyAddrBooks",
    "btnEasyAddrBooks", "chkEasyRules", "chkEasyIntern", "btnEasyIntern", "chkEasyBayes",
    "chkEasyBayesIsScore", "txtEasyBayesIsScore", "udEasyBayesIsScore", "chkEasyDnsbl",
    "btnEasyDnsbl", "chkEasyUrlbl", "btnEasyUrlbl", "grpEasyLists", "btnEasyWhitelist",
    "btnEasyBlacklist",
    "chkBayesEnabled", "grpBayesClassify", "lblMaxSigWords", "txtMaxSigWords", "udMaxSigWords",
    "lblMaxWords", "txtMaxWords", "udMaxWords", "lblMinWordCount", "txtMinWordCount",
    "udMinWordCount", "grpBayesLearn", "chkAddMarkSpam", "chkAddMarkHam", "chkAddMaxScore",
    "chkAddHigher", "txtAddHigherValue", "udAddHigherValue", "chkAddLower", "txtAddLowerValue",
    "udAddLowerValue", "grpBayesWords", "chkNoHtmlPart", "chkNoNumbersOnly", "btnBayesDelete",
    // list editor
    "lblDescription", "txtList",
    // address books
    "tbAB", "lvAB", "btnAdd", "btnRemove",
    // rule list
    "tbRules", "lvRules", "btnNew", "btnEdit", "btnDelete", "btnUp", "btnDown",
    // single rule
    "lblField", "cbField", "lblCompare", "cbCompare", "lblRule", "txtRule", "lblScore",
    "rbScoreSpam", "rbScoreHam", "rbScoreUser", "txtScoreUser", "udScoreUser", "lblComment",
    "txtComment",
};

// Input for EM_STREAMIN: the bytes still to be read.
struct StreamSource {
  const std::string* text;
  std::size_t pos;
};

DWORD CALLBACK ReadStream(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* read) {
  auto* s = reinterpret_cast<StreamSource*>(cookie);
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), s->text->size() - s->pos);
  std::memcpy(buffer, s->text->data() + s->pos, n);
  s->pos += n;
  *read = static_cast<LONG>(n);
  return 0;
}

std::string RtfEscape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\\' || c == '{' || c == '}') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x80 || c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\'%02x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

const wchar_t kOldProc[] = L"QueltaOldProc";

LRESULT CALLBACK WantReturnProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  auto old = reinterpret_cast<WNDPROC>(GetPropW(w, kOldProc));
  if (msg == WM_GETDLGCODE && lp) {
    const MSG* m = reinterpret_cast<const MSG*>(lp);
    if (m->message == WM_KEYDOWN && m->wParam == VK_RETURN) return DLGC_WANTALLKEYS;
  }
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    RemovePropW(w, kOldProc);
  }
  return CallWindowProcW(old, w, msg, wp, lp);
}

}  // namespace

int ControlId(std::string_view name) {
  if (name == "btnOk") return IDOK;
  if (name == "btnCancel") return IDCANCEL;
  for (std::size_t i = 0; i < std::size(kControls); ++i)
    if (kControls[i] == name) return 2000 + static_cast<int>(i);
  return 0;
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
  return w;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(1252, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(1252, 0, text.data(), static_cast<int>(text.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

void SetText(HWND window, const std::string& text) { SetWindowTextW(window, Widen(text).c_str()); }

std::string GetText(HWND window) {
  const int n = GetWindowTextLengthW(window);
  std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(window, w.data(), n + 1);
  w.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return Narrow(w);
}

HWND Item(HWND dialog, std::string_view control) { return GetDlgItem(dialog, ControlId(control)); }

void SetItemText(HWND dialog, std::string_view control, const std::string& text) {
  if (HWND w = Item(dialog, control)) SetText(w, text);
}

HINSTANCE ModuleInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModuleInstance), &module);
  return module;
}

void InitControls() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                             ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    LoadLibraryW(L"riched20.dll");  // stays loaded: its window class is needed until unload
    return true;
  }();
  (void)done;
}

DialogFont FontOf(const LanguageTable& language) {
  DialogFont f{Widen(UiText(language, "Font|Name")), 8};
  std::int32_t size = 0;
  if (TryStrToInt(UiText(language, "Font|Size"), size) && size > 0 && size < 100)
    f.pointSize = static_cast<WORD>(size);
  if (f.name.empty()) f.name = L"Tahoma";
  return f;
}

void ShowReport(HWND richEdit, const std::vector<ReportLine>& lines, WORD pointSize) {
  // Colour table entries 1..5 follow ReportColour's order.
  std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fmodern Courier New;}}{\\colortbl ;";
  for (ReportColour c : {ReportColour::Normal, ReportColour::Blue, ReportColour::Green,
                         ReportColour::Olive, ReportColour::Red}) {
    const std::uint32_t rgb = ReportColourRgb(c);
    char buf[64];
    std::snprintf(buf, sizeof buf, "\\red%u\\green%u\\blue%u;", (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF,
                  rgb & 0xFF);
    rtf += buf;
  }
  rtf += "}\\f0\\fs" + std::to_string(pointSize * 2) + " ";
  for (const ReportLine& l : lines) {
    rtf += "\\cf" + std::to_string(static_cast<int>(l.colour) + 1) + (l.bold ? "\\b " : "\\b0 ");
    rtf += RtfEscape(l.text) + "\\par\n";
  }
  rtf += "}";
  StreamSource src{&rtf, 0};
  EDITSTREAM es{reinterpret_cast<DWORD_PTR>(&src), 0, &ReadStream};
  SendMessageW(richEdit, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&es));
  SendMessageW(richEdit, EM_SETSEL, 0, 0);
}

void AddColumns(HWND list, const std::vector<std::pair<std::string, int>>& columns) {
  int i = 0;
  for (const auto& [title, width] : columns) {
    std::wstring w = Widen(title);
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.pszText = w.data();
    col.cx = width;
    col.iSubItem = i;
    if (SendMessageW(list, LVM_SETCOLUMNW, i, reinterpret_cast<LPARAM>(&col)) == 0)
      SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
    ++i;
  }
}

void SetRow(HWND list, int row, const std::vector<std::string>& cells, bool insert) {
  for (std::size_t c = 0; c < cells.size(); ++c) {
    std::wstring w = Widen(cells[c]);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = static_cast<int>(c);
    item.pszText = w.data();
    if (c == 0 && insert)
      SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    else
      SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  }
}

int SelectedRow(HWND list) {
  return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void SelectRow(HWND list, int row) {
  LVITEMW clear{};
  clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
  if (row < 0) return;
  LVITEMW set{};
  set.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  set.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&set));
  SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
}

void AddToolButtons(HWND toolbar, const std::vector<std::pair<std::string, std::string>>& buttons) {
  SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageW(toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
  for (const auto& [control, caption] : buttons) {
    std::wstring text = Widen(caption);
    text.push_back(L'\0');  // the string list ends with two zeros
    const LRESULT index = SendMessageW(toolbar, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    TBBUTTON b{};
    b.iBitmap = I_IMAGENONE;
    b.idCommand = ControlId(control);
    b.fsState = TBSTATE_ENABLED;
    b.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
    b.iString = index;
    SendMessageW(toolbar, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&b));
  }
  SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
}

int ContextMenu(HWND owner, LPARAM position,
                const std::vector<std::tuple<std::string, std::string, bool>>& items) {
  HMENU menu = CreatePopupMenu();
  for (const auto& [control, caption, enabled] : items)
    AppendMenuW(menu, MF_STRING | (enabled ? 0 : MF_GRAYED), ControlId(control), Widen(caption).c_str());
  POINT pt{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  if (position == -1) {  // from the keyboard: under the window's top-left corner
    RECT r;
    GetWindowRect(owner, &r);
    pt = {r.left + 8, r.top + 8};
  }
  const int cmd = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, owner, nullptr);
  DestroyMenu(menu);
  return cmd;
}

void WantReturnKey(HWND control) {
  const LONG_PTR old = SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WantReturnProc));
  SetPropW(control, kOldProc, reinterpret_cast<HANDLE>(old));
}

// ---- Win32Services ----

bool Win32Services::Ask(const std::string& title, const std::string& text) {
  return MessageBoxW(GetActiveWindow(), Widen(text).c_str(), Widen(title).c_str(),
                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void Win32Services::Tell(const std::string& title, const std::string& text, os::MsgIcon icon) {
  UINT flags = MB_OK;
  switch (icon) {
    case os::MsgIcon::Information: flags |= MB_ICONINFORMATION; break;
    case os::MsgIcon::Error: flags |= MB_ICONERROR; break;
    case os::MsgIcon::Warning: flags |= MB_ICONWARNING; break;
  }
  MessageBoxW(GetActiveWindow(), Widen(text).c_str(), Widen(title).c_str(), flags);
}

bool Win32Services::ChooseFile(const std::string& title, const std::string& filter, std::string& name) {
  std::wstring f = Widen(filter);
  for (wchar_t& c : f)
    if (c == L'|') c = L'\0';
  f.append(2, L'\0');
  std::wstring t = Widen(title);
  wchar_t file[MAX_PATH * 4] = {0};
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFilter = f.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = static_cast<DWORD>(std::size(file));
  ofn.lpstrTitle = t.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&ofn)) return false;
  name = Narrow(file);
  return true;
}

bool Win32Services::OpenHelp(const std::string& target) {
  // target is chm + "::/" + page.
  const std::size_t sep = target.find("::/");
  std::string unused;
  return os::OpenHelp(target.substr(0, sep),
                      sep == std::string::npos ? std::string() : target.substr(sep + 3), unused);
}

}  // namespace quelta::win32ui
