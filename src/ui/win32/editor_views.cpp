// The sub-dialogs on Windows: list editor, address books, rule list and
// single rule. Each mirrors its model; a failed save leaves it open.
#include "ui/win32/editor_views.h"

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/language.h"
#include "ui/address_books_model.h"
#include "ui/rule_editor_model.h"
#include "ui/texts.h"
#include "ui/win32/controls.h"
#include "ui/win32/dialog_template.h"

namespace quelta::win32ui {

namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_3DLOOK;

// A modal dialog whose messages go to the object's handlers.
class ModalDialog {
 public:
  virtual ~ModalDialog() = default;

  INT_PTR Run(HWND owner, const LanguageTable& language, short cx, short cy,
              const std::vector<Ctl>& controls) {
    InitControls();
    const DialogFont font = FontOf(language);
    DialogTemplate t(kDialogStyle, 0, 0, cx, cy, font.name, font.pointSize);
    AddControls(t, controls);
    return DialogBoxIndirectParamW(ModuleInstance(), t.Data(), owner, &Proc,
                                   reinterpret_cast<LPARAM>(this));
  }

 protected:
  virtual void OnInit() = 0;
  virtual bool OnCommand(int id, int code) = 0;
  virtual bool OnNotify(NMHDR*) { return false; }
  virtual bool OnContextMenu(HWND, LPARAM) { return false; }
  HWND Ctrl(std::string_view name) const { return Item(dlg_, name); }
  void Reply(LRESULT result) const { SetWindowLongPtrW(dlg_, DWLP_MSGRESULT, result); }

  HWND dlg_ = nullptr;

 private:
  static INT_PTR CALLBACK Proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
      SetWindowLongPtrW(dlg, DWLP_USER, lp);
      reinterpret_cast<ModalDialog*>(lp)->dlg_ = dlg;
    }
    auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(dlg, DWLP_USER));
    if (!self) return FALSE;
    switch (msg) {
      case WM_INITDIALOG: self->OnInit(); return TRUE;
      case WM_COMMAND:
        if (self->OnCommand(LOWORD(wp), HIWORD(wp))) return TRUE;
        if (LOWORD(wp) == IDCANCEL) {
          EndDialog(dlg, IDCANCEL);
          return TRUE;
        }
        return FALSE;
      case WM_NOTIFY: return self->OnNotify(reinterpret_cast<NMHDR*>(lp)) ? TRUE : FALSE;
      case WM_CONTEXTMENU: return self->OnContextMenu(reinterpret_cast<HWND>(wp), lp) ? TRUE : FALSE;
      default: return FALSE;
    }
  }
};

// Column widths in pixels from shares of the list's client width.
void AddColumnsByShare(HWND list, const std::vector<std::pair<std::string, int>>& shares) {
  RECT r;
  GetClientRect(list, &r);
  const int width = r.right - r.left - GetSystemMetrics(SM_CXVSCROLL);
  int total = 0;
  for (const auto& s : shares) total += s.second;
  std::vector<std::pair<std::string, int>> columns;
  for (const auto& [title, share] : shares) columns.push_back({title, width * share / total});
  AddColumns(list, columns);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

// ---- List editor ----

class ListEditorView : public ModalDialog {
 public:
  ListEditorView(DialogHost& host, DialogServices& services, ListMode mode)
      : host_(host), services_(services), model_(host, mode) {}

  void Run(HWND owner) {
    ModalDialog::Run(owner, host_.Language(), 300, 232,
                     {{Kind::Note, "lblDescription", 7, 7, 286, 42},
                      {Kind::MultiEdit, "txtList", 7, 52, 286, 150},
                      {Kind::DefButton, "btnOk", 189, 210, 50, 14},
                      {Kind::Button, "btnCancel", 243, 210, 50, 14}});
  }

 private:
  void OnInit() override {
    SetText(dlg_, model_.Caption());
    SetText(Ctrl("lblDescription"), model_.Description());
    SendMessageW(Ctrl("txtList"), EM_SETLIMITTEXT, 0, 0);  // no limit: lists can be long
    SetText(Ctrl("txtList"), model_.Text());
    for (const char* b : {"btnOk", "btnCancel"}) SetText(Ctrl(b), model_.ButtonCaption(b));
  }
  bool OnCommand(int id, int code) override {
    if (id == IDOK && code == BN_CLICKED) {
      if (model_.Save(GetText(Ctrl("txtList")), services_)) EndDialog(dlg_, IDOK);
      return true;
    }
    return false;
  }

  DialogHost& host_;
  DialogServices& services_;
  ListEditorModel model_;
};

// ---- Address books ----

class AddressBooksView : public ModalDialog {
 public:
  AddressBooksView(DialogHost& host, DialogServices& services)
      : host_(host), services_(services), model_(host) {}

  void Run(HWND owner) {
    ModalDialog::Run(owner, host_.Language(), 320, 206,
                     {{Kind::ToolBar, "tbAB", 7, 5, 306, 16},
                      {Kind::List, "lvAB", 7, 23, 306, 154},
                      {Kind::DefButton, "btnOk", 209, 185, 50, 14},
                      {Kind::Button, "btnCancel", 263, 185, 50, 14}});
  }

 private:
  void OnInit() override {
    SetText(dlg_, model_.Caption());
    for (const char* b : {"btnOk", "btnCancel"}) SetText(Ctrl(b), model_.ControlCaption(b));
    AddToolButtons(Ctrl("tbAB"), {{"btnAdd", model_.ControlCaption("btnAdd")},
                                  {"btnRemove", model_.ControlCaption("btnRemove")}});
    HWND list = Ctrl("lvAB");
    AddColumnsByShare(list, {{model_.ColumnTitle(0), 3}, {model_.ColumnTitle(1), 1}});
    for (std::size_t i = 0; i < model_.Rows().size(); ++i) ShowRow(static_cast<int>(i), true);
    UpdateCommands();
  }

  void ShowRow(int row, bool insert) {
    const BookRow& r = model_.Rows()[static_cast<std::size_t>(row)];
    SetRow(Ctrl("lvAB"), row, {r.fileName, model_.StateText(r.state)}, insert);
  }

  int SelectedCount() const {
    return static_cast<int>(SendMessageW(Ctrl("lvAB"), LVM_GETSELECTEDCOUNT, 0, 0));
  }

  void UpdateCommands() {
    SendMessageW(Ctrl("tbAB"), TB_ENABLEBUTTON, ControlId("btnRemove"),
                 MAKELPARAM(AddressBooksModel::CanRemove(SelectedCount()) ? TRUE : FALSE, 0));
  }

  void Add() {
    const int row = model_.Add(services_);
    if (row < 0) return;
    ShowRow(row, true);
    SelectRow(Ctrl("lvAB"), row);
    UpdateCommands();
  }

  void Remove() {
    if (!AddressBooksModel::CanRemove(SelectedCount())) return;
    const int row = SelectedRow(Ctrl("lvAB"));
    model_.Remove(row);
    SendMessageW(Ctrl("lvAB"), LVM_DELETEITEM, row, 0);
    UpdateCommands();
  }

  bool OnCommand(int id, int code) override {
    if (id == ControlId("btnAdd")) {
      Add();
    } else if (id == ControlId("btnRemove")) {
      Remove();
    } else if (id == IDOK && code == BN_CLICKED) {
      if (model_.Save(services_)) EndDialog(dlg_, IDOK);
    } else {
      return false;
    }
    return true;
  }

  bool OnNotify(NMHDR* n) override {
    if (n->idFrom != static_cast<UINT_PTR>(ControlId("lvAB"))) return false;
    if (n->code == LVN_ITEMCHANGED) UpdateCommands();
    if (n->code == LVN_KEYDOWN) {
      const WORD key = reinterpret_cast<NMLVKEYDOWN*>(n)->wVKey;
      if (key == VK_INSERT) Add();
      if (key == VK_DELETE) Remove();
    }
    return false;
  }

  bool OnContextMenu(HWND w, LPARAM pos) override {
    if (w != Ctrl("lvAB")) return false;
    const int cmd = ContextMenu(
        w, pos,
        {{"btnAdd", model_.ControlCaption("btnAdd"), true},
         {"btnRemove", model_.ControlCaption("btnRemove"), AddressBooksModel::CanRemove(SelectedCount())}});
    if (cmd) OnCommand(cmd, BN_CLICKED);
    return true;
  }

  DialogHost& host_;
  DialogServices& services_;
  AddressBooksModel model_;
};

// ---- Single rule ----

class RuleEditView : public ModalDialog {
 public:
  RuleEditView(RuleEditModel& model, DialogServices& services, const LanguageTable& language)
      : model_(model), services_(services), language_(language) {}

  // True when the user confirmed a valid row (then in rule).
  bool Run(HWND owner, EasyRule& rule) {
    const INT_PTR r = ModalDialog::Run(owner, language_, 300, 158,
                                       {{Kind::Label, "lblField", 7, 9, 60, 8},
                                        {Kind::DropEdit, "cbField", 70, 7, 223, 160},
                                        {Kind::Label, "lblCompare", 7, 27, 60, 8},
                                        {Kind::DropList, "cbCompare", 70, 25, 223, 120},
                                        {Kind::Label, "lblRule", 7, 45, 60, 8},
                                        {Kind::Edit, "txtRule", 70, 43, 223, 12},
                                        {Kind::Label, "lblScore", 7, 62, 60, 8},
                                        {Kind::FirstRadio, "rbScoreSpam", 70, 61, 223, 10},
                                        {Kind::Radio, "rbScoreHam", 70, 74, 223, 10},
                                        {Kind::Radio, "rbScoreUser", 70, 88, 88, 10},
                                        {Kind::Edit, "txtScoreUser", 160, 86, 50, 12},
                                        {Kind::UpDown, "udScoreUser", 0, 0, 0, 0},
                                        {Kind::Label, "lblComment", 7, 108, 60, 8},
                                        {Kind::Edit, "txtComment", 70, 106, 223, 12},
                                        {Kind::Button, "btnHelp", 7, 136, 50, 14},
                                        {Kind::DefButton, "btnOk", 189, 136, 50, 14},
                                        {Kind::Button, "btnCancel", 243, 136, 50, 14}});
    if (r != IDOK) return false;
    rule = result_;
    return true;
  }

 private:
  void OnInit() override {
    SetText(dlg_, model_.Caption());
    for (const char* c : {"lblField", "lblCompare", "lblRule", "lblScore", "rbScoreSpam", "rbScoreHam",
                          "rbScoreUser", "lblComment", "btnHelp", "btnOk", "btnCancel"})
      SetText(Ctrl(c), model_.ControlCaption(c));
    for (const std::string& f : RuleDataFields())
      SendMessageW(Ctrl("cbField"), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(f).c_str()));
    SetText(Ctrl("cbField"), model_.field);
    for (const std::string& t : model_.ComparisonTexts())
      SendMessageW(Ctrl("cbCompare"), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(t).c_str()));
    SendMessageW(Ctrl("cbCompare"), CB_SETCURSEL, model_.compare, 0);
    SetText(Ctrl("txtRule"), model_.term);
    SetText(Ctrl("txtComment"), model_.comment);
    const char* radio = model_.scoreKind == RuleEditModel::ScoreKind::Spam  ? "rbScoreSpam"
                        : model_.scoreKind == RuleEditModel::ScoreKind::Ham ? "rbScoreHam"
                                                                            : "rbScoreUser";
    SendMessageW(Ctrl(radio), BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(Ctrl("udScoreUser"), UDM_SETRANGE32, RuleEditModel::kUserScoreRange.min,
                 RuleEditModel::kUserScoreRange.max);
    ShowScore();
  }

  void ShowScore() {
    updating_ = true;
    SetText(Ctrl("txtScoreUser"), std::to_string(model_.userScore));
    SendMessageW(Ctrl("udScoreUser"), UDM_SETPOS32, 0, model_.userScore);
    updating_ = false;
    EnableWindow(Ctrl("txtScoreUser"), model_.UserScoreEnabled());
    EnableWindow(Ctrl("udScoreUser"), model_.UserScoreEnabled());
  }

  void ReadControls() {
    model_.field = GetText(Ctrl("cbField"));
    model_.compare = static_cast<int>(SendMessageW(Ctrl("cbCompare"), CB_GETCURSEL, 0, 0));
    model_.term = GetText(Ctrl("txtRule"));
    model_.comment = GetText(Ctrl("txtComment"));
    model_.SetUserScoreText(GetText(Ctrl("txtScoreUser")));
  }

  bool OnCommand(int id, int code) override {
    const std::pair<const char*, RuleEditModel::ScoreKind> radios[] = {
        {"rbScoreSpam", RuleEditModel::ScoreKind::Spam},
        {"rbScoreHam", RuleEditModel::ScoreKind::Ham},
        {"rbScoreUser", RuleEditModel::ScoreKind::User}};
    for (const auto& [name, kind] : radios)
      if (id == ControlId(name) && code == BN_CLICKED) {
        model_.scoreKind = kind;
        ShowScore();
        return true;
      }
    if (id == ControlId("txtScoreUser")) {
      if (code == EN_KILLFOCUS && !updating_) {
        model_.SetUserScoreText(GetText(Ctrl("txtScoreUser")));
        ShowScore();
      }
      return true;
    }
    if (code != BN_CLICKED) return false;
    if (id == IDOK) {
      ReadControls();
      ShowScore();
      if (model_.Confirm(services_, result_)) EndDialog(dlg_, IDOK);
      return true;
    }
    if (id == ControlId("btnHelp")) {
      model_.OpenHelp(services_);
      return true;
    }
    return false;
  }

  bool OnNotify(NMHDR* n) override {
    if (n->code != UDN_DELTAPOS || n->idFrom != static_cast<UINT_PTR>(ControlId("udScoreUser")))
      return false;
    model_.SetUserScoreText(GetText(Ctrl("txtScoreUser")));
    model_.StepUserScore(reinterpret_cast<NMUPDOWN*>(n)->iDelta);
    ShowScore();
    Reply(TRUE);  // the model moved it already
    return true;
  }

  RuleEditModel& model_;
  DialogServices& services_;
  const LanguageTable& language_;
  EasyRule result_;
  bool updating_ = false;
};

// ---- Rule list ----

class RuleListView : public ModalDialog {
 public:
  RuleListView(DialogHost& host, DialogServices& services)
      : host_(host), services_(services), model_(host) {}

  void Run(HWND owner) {
    ModalDialog::Run(owner, host_.Language(), 430, 236,
                     {{Kind::ToolBar, "tbRules", 7, 5, 416, 16},
                      {Kind::SingleList, "lvRules", 7, 23, 416, 184},
                      {Kind::DefButton, "btnOk", 319, 215, 50, 14},
                      {Kind::Button, "btnCancel", 373, 215, 50, 14}});
  }

 private:
  static constexpr const char* kCommands[] = {"btnNew", "btnEdit", "btnDelete", "btnUp", "btnDown"};

  void OnInit() override {
    SetText(dlg_, model_.Caption());
    for (const char* b : {"btnOk", "btnCancel"}) SetText(Ctrl(b), UiText(host_.Language(), std::string("Opt|") + b));
    std::vector<std::pair<std::string, std::string>> buttons;
    for (const char* c : kCommands) buttons.push_back({c, model_.CommandCaption(c)});
    AddToolButtons(Ctrl("tbRules"), buttons);
    AddColumnsByShare(Ctrl("lvRules"), {{model_.ColumnTitle(0), 16},
                                        {model_.ColumnTitle(1), 20},
                                        {model_.ColumnTitle(2), 28},
                                        {model_.ColumnTitle(3), 10},
                                        {model_.ColumnTitle(4), 26}});
    for (int i = 0; i < model_.Count(); ++i) ShowRow(i, true);
    WantReturnKey(Ctrl("lvRules"));
    if (model_.Count() > 0) SelectRow(Ctrl("lvRules"), 0);
    UpdateCommands();
  }

  void ShowRow(int row, bool insert) {
    std::vector<std::string> cells;
    for (int c = 0; c < RuleListModel::kColumnCount; ++c) cells.push_back(model_.Cell(row, c));
    SetRow(Ctrl("lvRules"), row, cells, insert);
  }

  int Selected() const { return SelectedRow(Ctrl("lvRules")); }

  bool Enabled(const std::string& command) const {
    const int row = Selected();
    if (command == "btnNew") return true;
    if (command == "btnUp") return model_.CanMoveUp(row);
    if (command == "btnDown") return model_.CanMoveDown(row);
    return row >= 0;
  }

  void UpdateCommands() {
    for (const char* c : kCommands)
      SendMessageW(Ctrl("tbRules"), TB_ENABLEBUTTON, ControlId(c), MAKELPARAM(Enabled(c) ? TRUE : FALSE, 0));
  }

  void NewRule() {
    RuleEditModel edit(host_, nullptr);
    EasyRule rule;
    if (!RuleEditView(edit, services_, host_.Language()).Run(dlg_, rule)) return;
    const int row = model_.Add(rule);
    ShowRow(row, true);
    SelectRow(Ctrl("lvRules"), row);
  }

  void EditRule() {
    const int row = Selected();
    if (row < 0) return;
    const EasyRule current = model_.Rules()[static_cast<std::size_t>(row)];
    RuleEditModel edit(host_, &current);
    EasyRule rule;
    if (!RuleEditView(edit, services_, host_.Language()).Run(dlg_, rule)) return;
    model_.Replace(row, rule);
    ShowRow(row, false);
  }

  void DeleteRule() {
    const int row = Selected();
    if (row < 0 || !model_.Delete(row, services_)) return;
    SendMessageW(Ctrl("lvRules"), LVM_DELETEITEM, row, 0);
    SelectRow(Ctrl("lvRules"), row < model_.Count() ? row : model_.Count() - 1);
  }

  void Move(bool up) {
    const int row = Selected();
    if (row < 0) return;
    const int to = up ? model_.MoveUp(row) : model_.MoveDown(row);
    ShowRow(row, false);
    ShowRow(to, false);
    SelectRow(Ctrl("lvRules"), to);
  }

  bool OnCommand(int id, int code) override {
    if (id == ControlId("btnNew")) NewRule();
    else if (id == ControlId("btnEdit")) EditRule();
    else if (id == ControlId("btnDelete")) DeleteRule();
    else if (id == ControlId("btnUp")) Move(true);
    else if (id == ControlId("btnDown")) Move(false);
    else if (id == IDOK && code == BN_CLICKED) {
      if (model_.Save(services_)) EndDialog(dlg_, IDOK);
    } else {
      return false;
    }
    UpdateCommands();
    return true;
  }

  bool OnNotify(NMHDR* n) override {
    if (n->idFrom != static_cast<UINT_PTR>(ControlId("lvRules"))) return false;
    switch (n->code) {
      case LVN_ITEMCHANGED: UpdateCommands(); break;
      case NM_DBLCLK: EditRule(); break;
      case LVN_KEYDOWN: {
        const WORD key = reinterpret_cast<NMLVKEYDOWN*>(n)->wVKey;
        if (key == VK_INSERT) NewRule();
        if (key == VK_RETURN) EditRule();
        if (key == VK_DELETE) DeleteRule();
        UpdateCommands();
        break;
      }
      default: return false;
    }
    return true;
  }

  bool OnContextMenu(HWND w, LPARAM pos) override {
    if (w != Ctrl("lvRules")) return false;
    std::vector<std::tuple<std::string, std::string, bool>> items;
    for (const char* c : kCommands) items.emplace_back(c, model_.CommandCaption(c), Enabled(c));
    if (const int cmd = ContextMenu(w, pos, items)) OnCommand(cmd, BN_CLICKED);
    return true;
  }

  DialogHost& host_;
  DialogServices& services_;
  RuleListModel model_;
};

}  // namespace

void RunListEditor(HWND owner, DialogHost& host, DialogServices& services, ListMode mode) {
  ListEditorView(host, services, mode).Run(owner);
}

void RunAddressBooks(HWND owner, DialogHost& host, DialogServices& services) {
  AddressBooksView(host, services).Run(owner);
}

void RunRuleList(HWND owner, DialogHost& host, DialogServices& services) {
  RuleListView(host, services).Run(owner);
}

}  // namespace quelta::win32ui
