// The Win32 dialogs, driven from a second thread by window messages (set
// text, type, click, keys, select) while the main thread runs them modally
// as the host does. Checks what the view shows and does - control states,
// enabling, clamping, the real message boxes, hiding the options dialog
// under a sub-dialog, the files written - and saves a PNG screenshot of
// every page and sub-dialog in the build folder ("screenshots").
#include <windows.h>

#include <commctrl.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "support/plugin_harness.h"
#include "ui/png_writer.h"
#include "ui/texts.h"
#include "ui/ui_test_support.h"
#include "ui/view.h"
#include "ui/win32/controls.h"

using namespace quelta;
using quelta::win32ui::ControlId;
using quelta::win32ui::Narrow;
using quelta::win32ui::Widen;

namespace {

const char* const kTitle = "Quelta - Einstellungen";

// The real message boxes and file dialog; the help viewer is only recorded.
class TestServices : public win32ui::Win32Services {
 public:
  bool OpenHelp(const std::string& target) override {
    std::lock_guard<std::mutex> lock(mutex_);
    targets_.push_back(target);
    return true;
  }
  std::vector<std::string> HelpTargets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return targets_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> targets_;
};

// ---- Reading and driving controls of the dialog thread ----

BOOL CALLBACK FindChild(HWND w, LPARAM p) {
  auto* want = reinterpret_cast<std::pair<int, HWND>*>(p);
  if (GetDlgCtrlID(w) != want->first) return TRUE;
  want->second = w;
  return FALSE;
}

// A control of a dialog or of one of its pages, by name.
HWND Ctl(HWND root, std::string_view name) {
  std::pair<int, HWND> want{ControlId(name), nullptr};
  EnumChildWindows(root, &FindChild, reinterpret_cast<LPARAM>(&want));
  EXPECT_TRUE(want.second) << "no control " << name;
  return want.second;
}

std::string Text(HWND w) {
  std::wstring buf(static_cast<std::size_t>(SendMessageW(w, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  buf.resize(static_cast<std::size_t>(SendMessageW(w, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()))));
  return Narrow(buf);
}
void SetText(HWND w, const std::string& text) {
  SendMessageW(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
}
// Replaces the field's text by typing it.
void Type(HWND edit, const std::string& text) {
  SendMessageW(edit, EM_SETSEL, 0, -1);
  for (wchar_t c : Widen(text)) SendMessageW(edit, WM_CHAR, c, 1);
}
// Puts the focus into the control and moves it on, as Tab would.
void Leave(HWND dialog, HWND control) {
  SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  SendMessageW(dialog, WM_NEXTDLGCTL, 0, FALSE);
}
// Click returns when the click is handled; ClickLater is for a button
// that opens a modal window, as is Command (a tool bar's command).
void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
void ClickLater(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }
void Command(HWND dialog, std::string_view name) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(ControlId(name), BN_CLICKED), 0);
}
// A key through the dialog's message loop (and so through its key handling).
void Key(HWND w, UINT key) {
  PostMessageW(w, WM_KEYDOWN, key, 1);
  PostMessageW(w, WM_KEYUP, key, 0xC0000001);
}
bool Checked(HWND w) { return SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void Until(const std::function<bool()>& done) {
  for (int t = 0; t < 15000 && !done(); t += 20) Sleep(20);
}

// Clicks a tab of the options dialog as the mouse does.
void ChooseTab(HWND dlg, int index) {
  HWND tab = Ctl(dlg, "tabMain");
  RECT r{};
  SendMessageW(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  SendMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(tab, WM_LBUTTONUP, 0, at);
}

// Saves what the screen shows of the window as screenshots/name.png.
void Shot(HWND w, const std::string& name) {
  RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  SendMessageW(w, WM_NULL, 0, 0);
  Sleep(200);
  RECT r;
  GetWindowRect(w, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  std::vector<std::uint8_t> rgb;
  for (int i = 0; i < width * height; ++i)
    for (int c : {2, 1, 0}) rgb.push_back(static_cast<const std::uint8_t*>(bits)[i * 4 + c]);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  std::filesystem::create_directories(QUELTA_SCREENSHOT_DIR);
  EXPECT_TRUE(testing_support::WritePng(std::string(QUELTA_SCREENSHOT_DIR) + "/" + name + ".png",
                                        width, height, rgb));
}

BOOL CALLBACK AddVisible(HWND w, LPARAM p) {
  if (IsWindowVisible(w)) reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
  return TRUE;
}

// The top-level windows of the dialog thread, seen from the driver.
class Driver {
 public:
  explicit Driver(DWORD uiThread) : thread_(uiThread) {}

  // The visible window with this title, once it is there.
  HWND Wait(const std::string& title) {
    HWND found = nullptr;
    Until([&] {
      for (HWND w : Windows())
        if (Text(w) == title) found = w;
      return found != nullptr;
    });
    EXPECT_TRUE(found) << "no window \"" << title << "\"";
    return found;
  }
  void WaitGone(HWND w) {
    Until([&] { return !IsWindowVisible(w); });
    EXPECT_FALSE(IsWindowVisible(w)) << Text(w);
  }

  // Answers a message box after checking its text and its default button
  // (default style and focus).
  void Answer(const std::string& title, int button, int defaultButton, const std::string& text = "",
              const char* shot = nullptr) {
    HWND box = Wait(title);
    if (!box) return;
    if (!text.empty()) EXPECT_EQ(Text(GetDlgItem(box, 0xFFFF)), text);
    for (int id : {IDOK, IDYES, IDNO})
      if (HWND b = GetDlgItem(box, id))
        EXPECT_EQ((GetWindowLongW(b, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON, id == defaultButton)
            << title << " button " << id;
    GUITHREADINFO gui{sizeof gui};
    GetGUIThreadInfo(thread_, &gui);
    EXPECT_EQ(gui.hwndFocus, GetDlgItem(box, defaultButton)) << title;
    if (shot) Shot(box, shot);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    WaitGone(box);
  }

  // Closes what a failed script left open, so that the test ends.
  void CloseAll() {
    for (int round = 0; round < 100 && !Windows().empty(); ++round) {
      for (HWND w : Windows())
        for (WPARAM id : {IDCANCEL, IDNO, IDOK}) PostMessageW(w, WM_COMMAND, id, 0);
      Sleep(100);
    }
  }

 private:
  std::vector<HWND> Windows() const {
    std::vector<HWND> v;
    EnumThreadWindows(thread_, &AddVisible, reinterpret_cast<LPARAM>(&v));
    return v;
  }
  DWORD thread_;
};

// Runs script on a second thread while open() shows a dialog on this one.
void Drive(const std::function<void(Driver&)>& script, const std::function<void()>& open) {
  std::thread driver([&, ui = GetCurrentThreadId()] {
    Driver d(ui);
    script(d);
    d.CloseAll();
  });
  open();
  driver.join();
}

// The rich edit's lines with the colour (0xRRGGBB) and weight of each.
struct ShownLine {
  std::string text;
  std::uint32_t rgb;
  bool bold;
};
std::vector<ShownLine> ReportShown(HWND rich) {
  std::vector<ShownLine> lines;
  const int count = static_cast<int>(SendMessageW(rich, EM_GETLINECOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const LONG start = static_cast<LONG>(SendMessageW(rich, EM_LINEINDEX, i, 0));
    const LONG length = static_cast<LONG>(SendMessageW(rich, EM_LINELENGTH, start, 0));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    TEXTRANGEW range{{start, start + length}, text.data()};
    SendMessageW(rich, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    text.resize(static_cast<std::size_t>(length));
    CHARRANGE first{start, start + 1};
    SendMessageW(rich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&first));
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_COLOR | CFM_BOLD;
    SendMessageW(rich, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    const COLORREF c = cf.crTextColor;
    lines.push_back({Narrow(text), static_cast<std::uint32_t>((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c)),
                     (cf.dwEffects & CFE_BOLD) != 0});
  }
  CHARRANGE none{0, 0};
  SendMessageW(rich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
  while (!lines.empty() && lines.back().text.empty()) lines.pop_back();
  return lines;
}

std::string Cell(HWND list, int row, int column) {
  wchar_t buf[512] = {0};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buf;
  item.cchTextMax = 512;
  SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return Narrow(buf);
}
int Rows(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }
void Select(HWND list, std::initializer_list<int> rows) {
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  for (int r : rows) SendMessageW(list, LVM_SETITEMSTATE, r, reinterpret_cast<LPARAM>(&state));
}
bool ToolEnabled(HWND toolbar, const char* name) {
  return SendMessageW(toolbar, TB_ISBUTTONENABLED, ControlId(name), 0) != 0;
}

class Win32Dialogs : public ::testing::Test {
 protected:
  // Shows the options dialog while script drives it; script gets the dialog.
  void Open(const std::function<void(Driver&, HWND)>& script) {
    Drive(
        [&](Driver& d) {
          if (HWND dlg = d.Wait(kTitle)) script(d, dlg);
        },
        [&] { RunOptionsDialog(host, services); });
  }
  // Opens a sub-dialog from the easy-mode page; the options dialog hides.
  HWND SubDialog(Driver& d, HWND dlg, const char* button, const std::string& title) {
    ChooseTab(dlg, 2);
    ClickLater(Ctl(dlg, button));
    HWND sub = d.Wait(title);
    EXPECT_FALSE(IsWindowVisible(dlg)) << title;
    return sub;
  }
  // Closes a sub-dialog; the options dialog shows again.
  void CloseSub(Driver& d, HWND dlg, HWND sub, const char* button) {
    Command(sub, button);
    d.WaitGone(sub);
    Until([&] { return IsWindowVisible(dlg) != FALSE; });
    EXPECT_TRUE(IsWindowVisible(dlg));
  }

  testing_support::ScratchDir dir;
  testing_support::TestHost host{dir};
  TestServices services;
};

TEST_F(Win32Dialogs, NumberFieldsClampAndKeepThePreviousValueForText) {
  Open([&](Driver& d, HWND dlg) {
    ChooseTab(dlg, 1);
    HWND msg = Ctl(dlg, "txtMaxMsgSize");
    Type(msg, "50");  // read on every change
    EXPECT_EQ(Text(msg), "30");
    EXPECT_EQ(SendMessageW(Ctl(dlg, "udMaxMsgSize"), UDM_GETPOS32, 0, 0), 30);
    Type(msg, "abc");
    Leave(dlg, msg);
    EXPECT_EQ(Text(msg), "30");
    SendMessageW(msg, WM_KEYDOWN, VK_DOWN, 1);  // the up-down's arrow keys
    EXPECT_EQ(Text(msg), "29");
    HWND log = Ctl(dlg, "txtMaxLogSize");
    SetText(log, "5");
    EXPECT_EQ(Text(log), "5");  // read when the field is left
    Leave(dlg, log);
    EXPECT_EQ(Text(log), "10");
    SetText(Ctl(dlg, "txtBreakAtScore"), "40000");
    Shot(dlg, "options-2-general");
    Click(Ctl(dlg, "btnOk"));  // Ok also reads a field that was never left
  });
  EXPECT_EQ(host.settings.maxMsgSize, 29u << 20);
  EXPECT_EQ(host.settings.engine.breakAtScore, -25536);
  EXPECT_NE(dir.Read("Quelta.ini").find("MaxLogSize=10\r\n"), std::string::npos);
}

TEST_F(Win32Dialogs, PagesShowTheirControlsAndCheckBoxesEnableTheirDependents) {
  host.settings.easy.bayesIsScoreCheck = true;
  Open([&](Driver&, HWND dlg) {
    const char* shots[] = {"options-1-statistics", nullptr, "options-3-filtering", "options-4-bayes"};
    for (int i = 0; i < 4; ++i) {
      ChooseTab(dlg, i);
      EXPECT_EQ(IsWindowVisible(Ctl(dlg, "txtMaxWords")) != FALSE, i == 3);
      if (shots[i]) Shot(dlg, shots[i]);
    }
    Click(Ctl(dlg, "chkBayesEnabled"));
    for (const char* name : {"txtMaxWords", "udMaxWords", "lblMaxWords", "chkAddHigher", "txtAddLowerValue"})
      EXPECT_FALSE(IsWindowEnabled(Ctl(dlg, name))) << name;
    Click(Ctl(dlg, "chkBayesEnabled"));
    Click(Ctl(dlg, "chkAddHigher"));
    EXPECT_FALSE(IsWindowEnabled(Ctl(dlg, "txtAddHigherValue")));
    EXPECT_TRUE(IsWindowEnabled(Ctl(dlg, "txtAddLowerValue")));
    ChooseTab(dlg, 2);
    Click(Ctl(dlg, "chkEasyEnabled"));
    EXPECT_FALSE(IsWindowEnabled(Ctl(dlg, "chkEasyDnsbl")));
    EXPECT_FALSE(IsWindowEnabled(Ctl(dlg, "txtEasyBayesIsScore")));
    Click(Ctl(dlg, "btnCancel"));
  });
  EXPECT_TRUE(host.settings.engine.addHigher);
  EXPECT_FALSE(dir.Exists("Quelta.ini"));
}

TEST_F(Win32Dialogs, StatisticsReportShowsItsLinesInTheirColoursAndResets) {
  host.stats.classAsSpam = 4;
  host.stats.classAsHam = 6;
  host.stats.bayesMessagesChecked = 100;
  host.stats.bayesReClassAsSpam = 20;
  host.bayesCounts = {3000, 2000};
  const auto full = BuildStatisticsReport(host.stats, host.bayesCounts, host.junkScore, host.language);
  const auto empty = BuildStatisticsReport(Statistics(), host.bayesCounts, host.junkScore, host.language);
  Open([&](Driver& d, HWND dlg) {
    HWND rich = Ctl(dlg, "reStats");
    Shot(dlg, "options-1-statistics-full");
    for (const auto* expected : {&full, &empty}) {
      const auto shown = ReportShown(rich);
      ASSERT_EQ(shown.size(), expected->size());
      for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].text, (*expected)[i].text);
        if (shown[i].text.empty()) continue;
        EXPECT_EQ(shown[i].rgb, ReportColourRgb((*expected)[i].colour)) << shown[i].text;
        EXPECT_EQ(shown[i].bold, (*expected)[i].bold) << shown[i].text;
      }
      ClickLater(Ctl(dlg, "btnStatReset"));
      d.Answer("Statistik zur\xFC" "cksetzen", IDYES, IDNO, "Soll die Statistik zur\xFC" "ckgesetzt werden?");
    }
    EXPECT_EQ(full[3].colour, ReportColour::Olive);  // efficiency 80%
    Click(Ctl(dlg, "btnCancel"));
  });
}

TEST_F(Win32Dialogs, AnotherLanguageRelabelsTheDialogAtOnce) {
  dir.Write("Language/English.lng",
            testing_support::ReadBytes(std::string(QUELTA_SOURCE_DIR) + "/data/Language/English.lng"));
  host.settings.language = "Deutsch (intern)";
  auto tabText = [](HWND tab, int i) {
    wchar_t buf[128] = {0};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buf;
    item.cchTextMax = 128;
    SendMessageW(tab, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
    return Narrow(buf);
  };
  Open([&](Driver&, HWND dlg) {
    const std::vector<std::pair<const char*, const char*>> shown = {
        {"btnCancel", "Abbrechen"}, {"lblLanguage", "Sprache: / Language:"}, {"chkBayesEnabled", "Bayes-Filter aktivieren"}};
    for (const auto& [name, german] : shown) EXPECT_EQ(Text(Ctl(dlg, name)), german);
    EXPECT_EQ(tabText(Ctl(dlg, "tabMain"), 2), "Filterung");
    HWND combo = Ctl(dlg, "cbLanguage");
    SendMessageW(combo, CB_SETCURSEL, 1, 0);
    SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(ControlId("cbLanguage"), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    for (const auto& [name, german] : shown)
      EXPECT_EQ(Text(Ctl(dlg, name)), UiText(host.language, std::string("Opt|") + name)) << name;
    EXPECT_EQ(Text(Ctl(dlg, "lblLanguage")), "Language:");
    EXPECT_EQ(Text(dlg), "Quelta - Settings");
    EXPECT_EQ(tabText(Ctl(dlg, "tabMain"), 2), "Filtering");
    EXPECT_EQ(ReportShown(Ctl(dlg, "reStats"))[0].text, "General");
    ChooseTab(dlg, 1);
    Shot(dlg, "options-2-general-english");
    Click(Ctl(dlg, "btnCancel"));
  });
  EXPECT_EQ(host.settings.language, "English");  // in memory, not written
  EXPECT_FALSE(dir.Exists("Quelta.ini"));
}

TEST_F(Win32Dialogs, HelpOpensThePageOfTheTabAndTheUpdateButtonChecks) {
  Open([&](Driver& d, HWND dlg) {
    for (int i : {1, 2, 3, 0}) {
      ChooseTab(dlg, i);
      Click(Ctl(dlg, "btnHelp"));
    }
    ChooseTab(dlg, 1);
    Click(Ctl(dlg, "btnUpdateCheck"));
    EXPECT_EQ(host.updateChecks, 1);
    Click(Ctl(dlg, "btnCancel"));
  });
  const std::string chm = dir.Folder() + "Quelta.chm::/installdialog.html";
  EXPECT_EQ(services.HelpTargets(), (std::vector<std::string>{chm + "#general", chm + "#easy", chm + "#bayes", chm}));
}

TEST_F(Win32Dialogs, ListEditorsShowAndReplaceTheirFilesAndStayOpenWhenSavingFails) {
  dir.Write("EasyDNSBL.dat", "zen.example\n");
  std::string longList;  // beyond an edit control's default limit
  for (int i = 0; i < 3000; ++i) longList += "sender-" + std::to_string(i) + "@example.org\r\n";
  dir.Write("Whitelist.txt", longList);
  const std::vector<std::tuple<const char*, const char*, const char*, const char*>> modes = {
      {"btnEasyWhitelist", "Whitelist.txt bearbeiten", "Whitelist.txt", "list-1-whitelist"},
      {"btnEasyDnsbl", "DNSBL-Server bearbeiten", "EasyDNSBL.dat", "list-3-dnsbl"},
      {"btnEasyUrlbl", "URLBL-Server bearbeiten", "EasyURLBL.dat", "list-4-urlbl"},
      {"btnEasyBlacklist", "Blacklist.txt bearbeiten", "Blacklist.txt", "list-5-blacklist"}};
  Open([&](Driver& d, HWND dlg) {
    for (const auto& [button, title, file, shot] : modes) {
      HWND ed = SubDialog(d, dlg, button, title);
      ASSERT_TRUE(ed);
      HWND text = Ctl(ed, "txtList");
      const bool dnsbl = std::string(file) == "EasyDNSBL.dat";
      const std::string before = dnsbl ? "zen.example\r\n" : dir.Exists(file) ? dir.Read(file) : "";
      EXPECT_EQ(Text(text), before);
      SetText(text, before + "one\r\n#two");
      Shot(ed, shot);
      if (!dnsbl) {
        CloseSub(d, dlg, ed, "btnOk");
        EXPECT_EQ(dir.Read(file), before + "one\r\n#two\r\n");
        continue;
      }
      host.failWrites = true;
      Command(ed, "btnOk");
      d.Answer("Fehler beim Speichern", IDOK, IDOK);
      EXPECT_TRUE(IsWindowVisible(ed));
      EXPECT_EQ(Text(text), before + "one\r\n#two");
      host.failWrites = false;
      CloseSub(d, dlg, ed, "btnCancel");
      EXPECT_EQ(dir.Read(file), "zen.example\n");
    }
    Click(Ctl(dlg, "btnCancel"));
  });
}

TEST_F(Win32Dialogs, AddressBookDialogShowsTheFourStatesAndAddsThroughTheFileDialog) {
  dir.Write("full.abd", testing_support::AddressBookBytes({"friend@example.org"}));
  dir.Write("empty.abd", testing_support::AddressBookBytes({}));
  dir.Write("host/inhost.abd", testing_support::AddressBookBytes({"a@example.org"}));
  dir.Write("broken.abd", "not a book at all, not at all");
  const std::string kept = dir.File("broken.abd") + "\r\n" + dir.File("empty.abd") + "\r\ninhost.abd\r\n";
  dir.Write("EasyAddrBooks.dat", "missing.abd\r\n" + kept);
  Open([&](Driver& d, HWND dlg) {
    HWND ab = SubDialog(d, dlg, "btnEasyAddrBooks", "Adressb\xFC" "cher verwalten");
    ASSERT_TRUE(ab);
    HWND list = Ctl(ab, "lvAB");
    HWND tools = Ctl(ab, "tbAB");
    ASSERT_EQ(Rows(list), 4);
    const char* states[] = {"Nicht gefunden", "Falsches Format", "Leer", "OK"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Cell(list, i, 1), states[i]) << Cell(list, i, 0);
    EXPECT_FALSE(ToolEnabled(tools, "btnRemove"));
    Select(list, {0, 1});
    EXPECT_FALSE(ToolEnabled(tools, "btnRemove"));
    Select(list, {0});
    EXPECT_TRUE(ToolEnabled(tools, "btnRemove"));
    Key(list, VK_DELETE);
    Until([&] { return Rows(list) == 3; });
    Command(ab, "btnAdd");
    HWND open = d.Wait("Addressbuchdatei ausw\xE4hlen");
    ASSERT_TRUE(open);
    Shot(open, "address-books-open-file");
    HWND name = GetDlgItem(open, 0x47C);  // the file name box
    SetText(name ? name : GetDlgItem(open, 0x480), dir.File("full.abd"));
    PostMessageW(open, WM_COMMAND, IDOK, 0);
    d.WaitGone(open);
    Until([&] { return Rows(list) == 4; });
    EXPECT_EQ(Cell(list, 3, 1), "OK");
    Shot(ab, "address-books");
    CloseSub(d, dlg, ab, "btnOk");
    Click(Ctl(dlg, "btnCancel"));
  });
  EXPECT_EQ(dir.Read("EasyAddrBooks.dat"), kept + dir.File("full.abd") + "\r\n");
}

TEST_F(Win32Dialogs, RuleEditorRoundTripsRowsThroughItsKeysAndDialogs) {
  dir.Write("EasyMode.rdb", "Subject\x01sbn\x01" "cheap\x01" "32767\x01" "first\r\nFrom\x01R\x01x\x01-32768\x01second\r\n");
  Open([&](Driver& d, HWND dlg) {
    HWND rl = SubDialog(d, dlg, "btnEasyIntern", "Regeln bearbeiten");
    ASSERT_TRUE(rl);
    HWND list = Ctl(rl, "lvRules");
    ASSERT_EQ(Rows(list), 2);
    EXPECT_EQ(Cell(list, 0, 1), "beginnt nicht mit");
    EXPECT_EQ(Cell(list, 0, 3), "Spam");
    EXPECT_EQ(Cell(list, 1, 3), "Ham");
    Shot(rl, "rule-list");

    Key(list, VK_INSERT);  // a new rule, refused while unsafe
    HWND ne = d.Wait("Neue Regel erstellen");
    ASSERT_TRUE(ne);
    SetText(Ctl(ne, "cbField"), "Subject");
    SendMessageW(Ctl(ne, "cbCompare"), CB_SETCURSEL, 2, 0);
    SetText(Ctl(ne, "txtRule"), "win");
    SetText(Ctl(ne, "txtComment"), "see [1]");
    Shot(ne, "rule-new");
    Command(ne, "btnOk");
    d.Answer("Falscher Wert", IDOK, IDOK, "Im Feld \"Kommentar\" sind keine eckigen Klammern erlaubt!");
    SetText(Ctl(ne, "txtComment"), "third");
    Click(Ctl(ne, "rbScoreHam"));
    EXPECT_FALSE(IsWindowEnabled(Ctl(ne, "txtScoreUser")));
    Click(Ctl(ne, "btnHelp"));
    Command(ne, "btnOk");
    d.WaitGone(ne);
    Until([&] { return Rows(list) == 3; });
    EXPECT_EQ(Cell(list, 2, 3), "Ham");

    Select(list, {0});
    Key(list, VK_RETURN);  // edit; the user score steps by 5
    HWND ed = d.Wait("Regel bearbeiten");
    ASSERT_TRUE(ed);
    EXPECT_TRUE(Checked(Ctl(ed, "rbScoreSpam")));
    EXPECT_EQ(SendMessageW(Ctl(ed, "cbCompare"), CB_GETCURSEL, 0, 0), 3);
    Shot(ed, "rule-edit");
    Click(Ctl(ed, "rbScoreUser"));
    SetText(Ctl(ed, "txtScoreUser"), "12");
    SendMessageW(Ctl(ed, "txtScoreUser"), WM_KEYDOWN, VK_UP, 1);
    EXPECT_EQ(Text(Ctl(ed, "txtScoreUser")), "17");
    Command(ed, "btnOk");
    d.WaitGone(ed);

    RECT r{LVIR_BOUNDS};  // double-click edits too
    SendMessageW(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM(r.left + 20, (r.top + r.bottom) / 2);
    for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
      PostMessageW(list, m, m == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
    HWND dbl = d.Wait("Regel bearbeiten");
    ASSERT_TRUE(dbl);
    EXPECT_EQ(Text(Ctl(dbl, "txtRule")), "x");
    Command(dbl, "btnCancel");
    d.WaitGone(dbl);

    Key(list, VK_DELETE);  // asks; No keeps the row
    d.Answer("Regel l\xF6schen", IDNO, IDNO, "Soll die ausgew\xE4hlte Regel gel\xF6scht werden?");
    Select(list, {2});
    EXPECT_FALSE(ToolEnabled(Ctl(rl, "tbRules"), "btnDown"));
    Command(rl, "btnUp");
    Until([&] { return Cell(list, 1, 2) == "win"; });
    CloseSub(d, dlg, rl, "btnOk");
    Click(Ctl(dlg, "btnCancel"));
  });
  EXPECT_EQ(dir.Read("EasyMode.rdb"), "Subject\x01SBN\x01" "cheap\x01" "17\x01" "first\r\n"
                                      "Subject\x01SB\x01win\x01-32768\x01third\r\n"
                                      "From\x01R\x01x\x01-32768\x01second\r\n");
  EXPECT_EQ(services.HelpTargets(), std::vector<std::string>{dir.Folder() + "Quelta.chm::/rulepredef.html"});
}

// The host's setup call: the plug-in shows the dialog without owner and
// saves through its session; deleting the Bayes databases keeps shutdown
// from writing them although the filter learnt in this run.
TEST(PluginSetup, ShowsTheOptionsWithoutOwnerAndDeletedDatabasesStayDeleted) {
  harness::PluginFolder folder;
  folder.Write("Quelta.ini", "[Main]\r\nMaxMsgSize=10\r\n");
  auto& plugin = folder.Load();
  ASSERT_TRUE(plugin.Initialize);
  plugin.Initialize();
  folder.Feed("Subject: cheap pills\r\nFrom: a@example.org\r\n\r\nbuy cheap pills now\r\n", 1);
  Drive(
      [&](Driver& d) {
        HWND dlg = d.Wait(kTitle);
        ASSERT_TRUE(dlg);
        EXPECT_EQ(GetWindow(dlg, GW_OWNER), nullptr);
        ChooseTab(dlg, 3);
        ClickLater(Ctl(dlg, "btnBayesDelete"));
        d.Answer("Bayes-Datenbanken l\xF6schen", IDYES, IDNO, "Sollen die Bayes-Datenbanken gel\xF6scht werden?",
                 "question-bayes-delete");
        d.Answer("Bayes-Datenbanken wurden gel\xF6scht", IDOK, IDOK, "Bitte beenden Sie The Bat! sofort.");
        Type(Ctl(dlg, "txtMaxMsgSize"), "12");
        Click(Ctl(dlg, "btnOk"));
      },
      [&] { plugin.Setup(); });
  plugin.Finalize();
  EXPECT_NE(folder.Read("Quelta.ini").find("MaxMsgSize=12\r\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder.Dir() / "Bayes.wdb"));
  EXPECT_NE(folder.Log().find("Bayes databases not saved"), std::string::npos) << folder.Log();
}

}  // namespace
