// The options dialog on Windows: a tab control with four pages (child
// dialogs), number fields with up-down controls, check boxes, the rich-edit
// statistics report, and Ok, Abbrechen and Hilfe. Every value and rule
// lives in OptionsModel; this file only mirrors it.
#include <windows.h>

#include <commctrl.h>
#include <richedit.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "base/strings.h"
#include "ui/view.h"
#include "ui/win32/controls.h"
#include "ui/win32/dialog_template.h"
#include "ui/win32/editor_views.h"

namespace quelta {

namespace win32ui {

namespace {

constexpr short kPageWidth = 412;
constexpr short kPageHeight = 212;

// A number field: its label (none when a check box names it), its edit
// and the up-down control beside it.
void AddNumber(std::vector<Ctl>& v, const std::string& label, const std::string& edit, short x,
               short y, short labelWidth, short editWidth = 44) {
  if (!label.empty()) v.push_back({Kind::Label, label, x, static_cast<short>(y + 2), labelWidth, 8});
  v.push_back({Kind::Edit, edit, static_cast<short>(x + labelWidth + 4), y, editWidth, 12});
  v.push_back({Kind::UpDown, "ud" + edit.substr(3), 0, 0, 0, 0});
}

struct PageLayout {
  const char* name;  // the page window's name
  const char* tab;   // its tab's caption name
  std::vector<Ctl> controls;
};

std::array<PageLayout, kOptionsPageCount> Pages() {
  std::array<PageLayout, kOptionsPageCount> p{{{"pgStats", "tabStats", {}},
                                               {"pgGeneral", "tabGeneral", {}},
                                               {"pgEasy", "tabEasy", {}},
                                               {"pgBayes", "tabBayes", {}}}};
  // Statistik
  p[0].controls = {{Kind::Report, "reStats", 6, 6, 400, 178},
                   {Kind::Button, "btnStatReset", 292, 190, 114, 14}};
  // Allgemein: two columns of number fields
  auto& g = p[1].controls;
  g = {{Kind::Label, "lblLanguage", 8, 8, 150, 8},
       {Kind::DropList, "cbLanguage", 162, 6, 140, 120},
       {Kind::Group, "grpLogging", 6, 22, 400, 64},
       {Kind::Label, "lblLogExt", 14, 35, 200, 8},
       {Kind::Check, "chkLogExtBayes", 14, 47, 80, 10},
       {Kind::Check, "chkLogExtDnsbl", 100, 47, 90, 10},
       {Kind::Check, "chkLogExtUrlbl", 196, 47, 90, 10},
       {Kind::Check, "chkLogExtMXSAV", 292, 47, 110, 10}};
  AddNumber(g, "lblMaxLogSize", "txtMaxLogSize", 14, 65, 140);
  AddNumber(g, "lblOldLogAge", "txtOldLogAge", 214, 65, 140);
  g.push_back({Kind::Group, "grpLimits", 6, 90, 400, 66});
  AddNumber(g, "lblMaxMsgSize", "txtMaxMsgSize", 14, 102, 140);
  AddNumber(g, "lblBreakAtScore", "txtBreakAtScore", 214, 102, 140);
  AddNumber(g, "lblMaxDataSize", "txtMaxDataSize", 14, 118, 140);
  AddNumber(g, "lblAWLDays", "txtAWLDays", 214, 118, 140);
  AddNumber(g, "lblMaxRegExpSize", "txtMaxRegExpSize", 14, 134, 140);
  g.push_back({Kind::Check, "chkDebugMode", 214, 135, 188, 10});
  g.push_back({Kind::Group, "grpUpdate", 6, 160, 400, 48});
  g.push_back({Kind::Check, "chkUpdate", 14, 173, 280, 10});
  AddNumber(g, "lblUpdateInterval", "txtUpdateInterval", 14, 188, 140);
  g.push_back({Kind::Button, "btnUpdateCheck", 318, 187, 84, 14});
  // Filterung
  auto& e = p[2].controls;
  e = {{Kind::Check, "chkEasyEnabled", 8, 6, 390, 10},
       {Kind::Note, "lblEasyRestart", 20, 18, 384, 16},
       {Kind::Group, "grpEasyFilters", 6, 36, 400, 138},
       {Kind::Check, "chkEasyAutoWL", 14, 49, 290, 10},
       {Kind::Check, "chkEasyAddrBooks", 14, 65, 290, 10},
       {Kind::Button, "btnEasyAddrBooks", 314, 63, 84, 14},
       {Kind::Check, "chkEasyRules", 14, 81, 290, 10},
       {Kind::Check, "chkEasyIntern", 14, 97, 290, 10},
       {Kind::Button, "btnEasyIntern", 314, 95, 84, 14},
       {Kind::Check, "chkEasyBayes", 14, 113, 290, 10}};
  e.push_back({Kind::Check, "chkEasyBayesIsScore", 26, 129, 150, 10});
  AddNumber(e, "", "txtEasyBayesIsScore", 26, 127, 150);
  e.push_back({Kind::Check, "chkEasyDnsbl", 14, 145, 290, 10});
  e.push_back({Kind::Button, "btnEasyDnsbl", 314, 143, 84, 14});
  e.push_back({Kind::Check, "chkEasyUrlbl", 14, 159, 290, 10});
  e.push_back({Kind::Button, "btnEasyUrlbl", 314, 157, 84, 14});
  e.push_back({Kind::Group, "grpEasyLists", 6, 178, 400, 30});
  e.push_back({Kind::Button, "btnEasyWhitelist", 14, 189, 84, 14});
  e.push_back({Kind::Button, "btnEasyBlacklist", 104, 189, 84, 14});
  // Bayes
  auto& b = p[3].controls;
  b = {{Kind::Check, "chkBayesEnabled", 8, 6, 240, 10},
       {Kind::Group, "grpBayesClassify", 6, 20, 400, 60}};
  AddNumber(b, "lblMaxSigWords", "txtMaxSigWords", 14, 32, 200);
  AddNumber(b, "lblMaxWords", "txtMaxWords", 14, 48, 200);
  AddNumber(b, "lblMinWordCount", "txtMinWordCount", 14, 64, 200);
  b.push_back({Kind::Group, "grpBayesLearn", 6, 84, 400, 86});
  b.push_back({Kind::Check, "chkAddMarkSpam", 14, 97, 380, 10});
  b.push_back({Kind::Check, "chkAddMarkHam", 14, 110, 380, 10});
  b.push_back({Kind::Check, "chkAddMaxScore", 14, 123, 380, 10});
  b.push_back({Kind::Check, "chkAddHigher", 14, 138, 200, 10});
  AddNumber(b, "", "txtAddHigherValue", 14, 136, 200);
  b.push_back({Kind::Check, "chkAddLower", 14, 154, 200, 10});
  AddNumber(b, "", "txtAddLowerValue", 14, 152, 200);
  b.push_back({Kind::Group, "grpBayesWords", 6, 174, 276, 34});
  b.push_back({Kind::Check, "chkNoHtmlPart", 14, 185, 260, 10});
  b.push_back({Kind::Check, "chkNoNumbersOnly", 14, 197, 260, 10});
  b.push_back({Kind::Button, "btnBayesDelete", 292, 194, 114, 14});
  return p;
}

class OptionsView {
 public:
  OptionsView(DialogHost& host, DialogServices& services)
      : host_(host), services_(services), model_(host), font_(FontOf(host.Language())) {}

  void Run() {
    InitControls();
    DialogTemplate t(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_3DLOOK, 0, 0,
                     430, 268, font_.name, font_.pointSize);
    AddControls(t, {{Kind::Tab, "tabMain", 6, 6, 418, 234},
                    {Kind::Button, "btnHelp", 6, 248, 56, 14},
                    {Kind::DefButton, "btnOk", 314, 248, 52, 14},
                    {Kind::Button, "btnCancel", 372, 248, 52, 14}});
    DialogBoxIndirectParamW(ModuleInstance(), t.Data(), nullptr, &MainProc,
                            reinterpret_cast<LPARAM>(this));
  }

 private:
  static INT_PTR CALLBACK MainProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) SetWindowLongPtrW(dlg, DWLP_USER, lp);
    auto* self = reinterpret_cast<OptionsView*>(GetWindowLongPtrW(dlg, DWLP_USER));
    if (!self) return FALSE;
    switch (msg) {
      case WM_INITDIALOG:
        self->Init(dlg);
        // The Ok button starts with the focus, so the report is not shown selected.
        SetFocus(self->Find("btnOk"));
        return FALSE;
      case WM_COMMAND: return self->OnCommand(LOWORD(wp), HIWORD(wp));
      case WM_NOTIFY: return self->OnNotify(dlg, reinterpret_cast<NMHDR*>(lp));
      case WM_CLOSE: EndDialog(dlg, IDCANCEL); return TRUE;
      default: return FALSE;
    }
  }

  static INT_PTR CALLBACK PageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
      SetWindowLongPtrW(page, DWLP_USER, lp);
      return FALSE;
    }
    auto* self = reinterpret_cast<OptionsView*>(GetWindowLongPtrW(page, DWLP_USER));
    if (!self) return FALSE;
    if (msg == WM_COMMAND) return self->OnCommand(LOWORD(wp), HIWORD(wp));
    if (msg == WM_NOTIFY) return self->OnNotify(page, reinterpret_cast<NMHDR*>(lp));
    return FALSE;
  }

  void Init(HWND dlg) {
    dlg_ = dlg;
    tab_ = Item(dlg, "tabMain");
    const auto layouts = Pages();
    for (int i = 0; i < kOptionsPageCount; ++i) {
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      std::wstring empty;
      item.pszText = empty.data();
      SendMessageW(tab_, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    RECT r;
    GetWindowRect(tab_, &r);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
    SendMessageW(tab_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    for (int i = 0; i < kOptionsPageCount; ++i) {
      DialogTemplate t(WS_CHILD | DS_CONTROL, 0, 0, kPageWidth, kPageHeight, font_.name,
                       font_.pointSize, WS_EX_CONTROLPARENT);
      AddControls(t, layouts[i].controls);
      pages_[i] = CreateDialogIndirectParamW(ModuleInstance(), t.Data(), dlg, &PageProc,
                                             reinterpret_cast<LPARAM>(this));
      SetWindowLongPtrW(pages_[i], GWLP_ID, ControlId(layouts[i].name));
      SetWindowPos(pages_[i], HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top, 0);
    }
    // Values.
    HWND lang = Find("cbLanguage");
    for (const std::string& l : model_.Languages())
      SendMessageW(lang, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(l).c_str()));
    SendMessageW(lang, CB_SETCURSEL, model_.LanguageIndex(), 0);
    for (int i = 0; i < kNumberFieldCount; ++i) {
      const auto f = static_cast<NumberField>(i);
      const NumberRange& range = Info(f).range;
      SendMessageW(UpDownOf(f), UDM_SETRANGE32, range.min, range.max);
      ShowNumber(f);
    }
    for (int i = 0; i < kCheckBoxCount; ++i) {
      const auto b = static_cast<CheckBox>(i);
      SendMessageW(Find(Info(b).control), BM_SETCHECK, model_.Checked(b) ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    SendMessageW(Find("reStats"), EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
    ApplyCaptions();
    UpdateEnabling();
    ShowPage(0);
  }

  // A control of the dialog or of one of its pages.
  HWND Find(std::string_view name) const {
    if (HWND w = Item(dlg_, name)) return w;
    for (HWND p : pages_)
      if (HWND w = Item(p, name)) return w;
    return nullptr;
  }
  HWND EditOf(NumberField f) const { return Find(Info(f).control); }
  HWND UpDownOf(NumberField f) const { return Find("ud" + std::string(Info(f).control + 3)); }
  HWND LabelOf(NumberField f) const { return Find("lbl" + std::string(Info(f).control + 3)); }

  void ShowPage(int index) {
    page_ = index;
    SendMessageW(tab_, TCM_SETCURSEL, index, 0);
    for (int i = 0; i < kOptionsPageCount; ++i) ShowWindow(pages_[i], i == index ? SW_SHOW : SW_HIDE);
  }

  void ApplyCaptions() {
    SetText(dlg_, model_.Caption("frmTitle"));
    const auto layouts = Pages();
    for (int i = 0; i < kOptionsPageCount; ++i) {
      std::wstring text = Widen(model_.Caption(layouts[i].tab));
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = text.data();
      SendMessageW(tab_, TCM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
      for (const Ctl& c : layouts[i].controls)
        if (c.kind != Kind::Edit && c.kind != Kind::UpDown && c.kind != Kind::DropList &&
            c.kind != Kind::Report)
          SetText(Find(c.name), model_.Caption(c.name));
    }
    for (const char* name : {"btnHelp", "btnOk", "btnCancel"}) SetText(Find(name), model_.Caption(name));
    FillReport();
  }

  void FillReport() { ShowReport(Find("reStats"), model_.StatisticsReport(), font_.pointSize); }

  void ShowNumber(NumberField f) {
    updating_ = true;
    const std::int32_t v = model_.Number(f);
    SetText(EditOf(f), std::to_string(v));
    SendMessageW(UpDownOf(f), UDM_SETPOS32, 0, v);
    updating_ = false;
  }

  void UpdateEnabling() {
    for (int i = 0; i < kNumberFieldCount; ++i) {
      const auto f = static_cast<NumberField>(i);
      const BOOL on = model_.Enabled(f) ? TRUE : FALSE;
      EnableWindow(EditOf(f), on);
      EnableWindow(UpDownOf(f), on);
      if (HWND label = LabelOf(f)) EnableWindow(label, on);
    }
    for (int i = 0; i < kCheckBoxCount; ++i) {
      const auto b = static_cast<CheckBox>(i);
      EnableWindow(Find(Info(b).control), model_.Enabled(b) ? TRUE : FALSE);
    }
  }

  // The number field whose edit or up-down has this identifier.
  bool NumberOf(int id, NumberField& field, bool upDown) const {
    for (int i = 0; i < kNumberFieldCount; ++i) {
      const auto f = static_cast<NumberField>(i);
      const std::string name = Info(f).control;
      if (ControlId(upDown ? "ud" + name.substr(3) : name) == id) {
        field = f;
        return true;
      }
    }
    return false;
  }

  void ReadAllNumbers() {
    for (int i = 0; i < kNumberFieldCount; ++i) {
      const auto f = static_cast<NumberField>(i);
      model_.SetNumberText(f, GetText(EditOf(f)));
      ShowNumber(f);
    }
  }

  INT_PTR OnCommand(int id, int code) {
    NumberField field;
    if (NumberOf(id, field, false)) {
      if (updating_) return TRUE;
      if (code == EN_KILLFOCUS) {
        model_.SetNumberText(field, GetText(EditOf(field)));
        ShowNumber(field);
      } else if (code == EN_CHANGE && Info(field).readOnChange) {
        // A number is taken (and clamped) at once; other text waits for
        // the field to be left.
        const std::string text = GetText(EditOf(field));
        std::int32_t typed;
        if (TryStrToInt(Trim(text), typed)) {
          const std::int32_t v = model_.SetNumberText(field, text);
          if (std::to_string(v) != text) {
            ShowNumber(field);
            SendMessageW(EditOf(field), EM_SETSEL, 0x7FFF, 0x7FFF);
          }
        }
      }
      return TRUE;
    }
    for (int i = 0; i < kCheckBoxCount; ++i) {
      const auto b = static_cast<CheckBox>(i);
      if (ControlId(Info(b).control) == id) {
        if (code == BN_CLICKED) {
          model_.SetChecked(b, SendMessageW(Find(Info(b).control), BM_GETCHECK, 0, 0) == BST_CHECKED);
          UpdateEnabling();
        }
        return TRUE;
      }
    }
    if (id == ControlId("cbLanguage")) {
      if (code == CBN_SELCHANGE) {
        model_.ChooseLanguage(static_cast<int>(SendMessageW(Find("cbLanguage"), CB_GETCURSEL, 0, 0)));
        ApplyCaptions();
      }
      return TRUE;
    }
    if (code != BN_CLICKED) return FALSE;
    if (id == IDOK) {
      ReadAllNumbers();
      model_.Confirm();
      EndDialog(dlg_, IDOK);
    } else if (id == IDCANCEL) {
      EndDialog(dlg_, IDCANCEL);
    } else if (id == ControlId("btnHelp")) {
      model_.OpenHelp(static_cast<OptionsPage>(page_), services_);
    } else if (id == ControlId("btnStatReset")) {
      if (model_.ResetStatistics(services_)) FillReport();
    } else if (id == ControlId("btnBayesDelete")) {
      if (model_.DeleteBayesDatabases(services_)) FillReport();
    } else if (id == ControlId("btnUpdateCheck")) {
      model_.CheckForUpdate(services_);
    } else if (id == ControlId("btnEasyWhitelist")) {
      SubDialog([&] { RunListEditor(dlg_, host_, services_, ListMode::Whitelist); });
    } else if (id == ControlId("btnEasyBlacklist")) {
      SubDialog([&] { RunListEditor(dlg_, host_, services_, ListMode::Blacklist); });
    } else if (id == ControlId("btnEasyDnsbl")) {
      SubDialog([&] { RunListEditor(dlg_, host_, services_, ListMode::Dnsbl); });
    } else if (id == ControlId("btnEasyUrlbl")) {
      SubDialog([&] { RunListEditor(dlg_, host_, services_, ListMode::Urlbl); });
    } else if (id == ControlId("btnEasyAddrBooks")) {
      SubDialog([&] { RunAddressBooks(dlg_, host_, services_); });
    } else if (id == ControlId("btnEasyIntern")) {
      SubDialog([&] { RunRuleList(dlg_, host_, services_); });
    } else {
      return FALSE;
    }
    return TRUE;
  }

  INT_PTR OnNotify(HWND window, NMHDR* n) {
    if (n->hwndFrom == tab_ && n->code == TCN_SELCHANGE) {
      ShowPage(static_cast<int>(SendMessageW(tab_, TCM_GETCURSEL, 0, 0)));
      return TRUE;
    }
    NumberField field;
    if (n->code == UDN_DELTAPOS && NumberOf(static_cast<int>(n->idFrom), field, true)) {
      const auto* ud = reinterpret_cast<NMUPDOWN*>(n);
      model_.SetNumberText(field, GetText(EditOf(field)));
      model_.StepNumber(field, ud->iDelta);
      ShowNumber(field);
      SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);  // the model moved it already
      return TRUE;
    }
    return FALSE;
  }

  // Hides the dialog while a sub-dialog is open.
  template <class F>
  void SubDialog(F run) {
    ShowWindow(dlg_, SW_HIDE);
    run();
    ShowWindow(dlg_, SW_SHOW);
    SetForegroundWindow(dlg_);
  }

  DialogHost& host_;
  DialogServices& services_;
  OptionsModel model_;
  DialogFont font_;
  HWND dlg_ = nullptr;
  HWND tab_ = nullptr;
  std::array<HWND, kOptionsPageCount> pages_{};
  int page_ = 0;
  bool updating_ = false;
};

}  // namespace

}  // namespace win32ui

void RunOptionsDialog(DialogHost& host, DialogServices& services) {
  win32ui::OptionsView(host, services).Run();
}

std::unique_ptr<DialogServices> MakePlatformServices() {
  return std::make_unique<win32ui::Win32Services>();
}

}  // namespace quelta
