// The Win32 dialogs, run modally on the main thread as the host runs them
// while a second thread drives them by window messages: what each dialog
// shows, that edits reach the settings and files, that the real message
// boxes ask with the right default button. Every page and sub-dialog is
// saved as a screenshot in the build folder ("screenshots/*.bmp", turned into PNG files by
// scripts/run-wine-tests.sh).
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "support/data_files.h"
#include "ui/ui_test_support.h"
#include "ui/view.h"
#include "ui/win32/controls.h"

using namespace quelta;
using win32ui::ControlId;
using win32ui::GetText;
using win32ui::SetText;

namespace {

BOOL CALLBACK FindChild(HWND w, LPARAM p) {
  auto* want = reinterpret_cast<std::pair<int, HWND>*>(p);
  if (GetDlgCtrlID(w) == want->first) want->second = w;
  return want->second == nullptr;
}
// A control of a dialog or of one of its pages, by name.
HWND Ctl(HWND root, std::string_view name) {
  std::pair<int, HWND> want{ControlId(name), nullptr};
  EnumChildWindows(root, &FindChild, reinterpret_cast<LPARAM>(&want));
  EXPECT_TRUE(want.second) << "no control " << name;
  return want.second;
}
// Click returns when the click is handled; ClickLater and Command (a
// dialog's or tool bar's command) are for what opens a modal window.
void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
void ClickLater(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }
void Command(HWND dialog, std::string_view name) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(ControlId(name), BN_CLICKED), 0);
}
// A key through the dialog's message loop.
void Key(HWND w, UINT key) {
  PostMessageW(w, WM_KEYDOWN, key, 1);
  PostMessageW(w, WM_KEYUP, key, 0xC0000001);
}
void Until(const std::function<bool()>& done) {
  for (int t = 0; t < 15000 && !done(); t += 20) Sleep(20);
}
// Focuses a page's tab, which tells the dialog as a click does.
void ChooseTab(HWND dlg, int index) { SendMessageW(Ctl(dlg, "tabMain"), TCM_SETCURFOCUS, index, 0); }
std::string Cell(HWND list, int row, int column) {
  wchar_t buf[512] = {0};
  LVITEMW item{};
  item.iSubItem = column, item.pszText = buf, item.cchTextMax = 512;
  SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return win32ui::Narrow(buf);
}
int Rows(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

// Saves what the screen shows of the window as screenshots/name.bmp.
void Shot(HWND w, const std::string& name) {
  RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(200);
  RECT r;
  GetWindowRect(w, &r);
  BITMAPINFOHEADER bi{sizeof bi, r.right - r.left, -(r.bottom - r.top), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  const DWORD size = static_cast<DWORD>(bi.biWidth * (r.bottom - r.top) * 4);
  void* bits = nullptr;
  HDC screen = GetDC(nullptr), mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, bi.biWidth, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof fh + sizeof bi + size), 0, 0, sizeof fh + sizeof bi};
  std::filesystem::create_directories(QUELTA_SCREENSHOT_DIR);
  std::ofstream f(std::string(QUELTA_SCREENSHOT_DIR) + "/" + name + ".bmp", std::ios::binary);
  f.write(reinterpret_cast<const char*>(&fh), sizeof fh).write(reinterpret_cast<const char*>(&bi), sizeof bi);
  EXPECT_TRUE(f.write(static_cast<const char*>(bits), size)) << name;
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
}

BOOL CALLBACK AddVisible(HWND w, LPARAM p) {
  if (IsWindowVisible(w)) reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
  return TRUE;
}

// The top-level windows of the dialog thread, seen from the driver.
class Driver {
 public:
  explicit Driver(DWORD uiThread) : thread_(uiThread) {}
  HWND Wait(const std::string& title) {  // the visible window with this title
    HWND found = nullptr;
    Until([&] {
      for (HWND w : Windows())
        if (GetText(w) == title) found = w;
      return found != nullptr;
    });
    EXPECT_TRUE(found) << "no window \"" << title << "\"";
    return found;
  }
  void WaitGone(HWND w) {
    Until([&] { return !IsWindowVisible(w); });
    EXPECT_FALSE(IsWindowVisible(w)) << GetText(w);
  }
  // Answers a message box after checking its text and that the focus is on its default button.
  void Answer(const std::string& title, int button, int defaultButton, const std::string& text) {
    HWND box = Wait(title);
    if (!box) return;
    EXPECT_EQ(GetText(GetDlgItem(box, 0xFFFF)), text);
    GUITHREADINFO gui{sizeof gui};
    GetGUIThreadInfo(thread_, &gui);
    EXPECT_EQ(gui.hwndFocus, GetDlgItem(box, defaultButton)) << title;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    WaitGone(box);
  }
  void CloseAll() {  // what a failed script left open, so that the test ends
    for (int round = 0; round < 100 && !Windows().empty(); ++round, Sleep(100))
      for (HWND w : Windows())
        for (WPARAM id : {IDCANCEL, IDNO, IDOK}) PostMessageW(w, WM_COMMAND, id, 0);
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
void Drive(const std::function<void(Driver&, HWND)>& script, const std::function<void()>& open) {
  std::thread driver([&, ui = GetCurrentThreadId()] {
    Driver d(ui);
    if (HWND dlg = d.Wait("Quelta - Einstellungen")) script(d, dlg);
    d.CloseAll();
  });
  open();
  driver.join();
}

class Win32Dialogs : public testing_support::HostTest {
 protected:
  void Open(const std::function<void(Driver&, HWND)>& script) {
    Drive(script, [&] { RunOptionsDialog(host, services); });
  }
  // Opens a sub-dialog from the filtering page; the options dialog hides
  // until it is closed.
  HWND SubDialog(Driver& d, HWND dlg, const char* button, const std::string& title) {
    ChooseTab(dlg, 2);
    ClickLater(Ctl(dlg, button));
    HWND sub = d.Wait(title);
    EXPECT_FALSE(IsWindowVisible(dlg)) << title;
    Shot(sub, button);
    return sub;
  }
  void CloseSub(Driver& d, HWND dlg, HWND sub, const char* button) {
    Command(sub, button);
    d.WaitGone(sub);
    Until([&] { return IsWindowVisible(dlg) != FALSE; });
  }

  win32ui::Win32Services services;
};

TEST_F(Win32Dialogs, OptionsShowTheModelAndOkSavesTheEdits) {
  host.stats.messagesFiltered = 10, host.stats.classAsSpam = 4, host.stats.classAsHam = 6;
  Open([&](Driver& d, HWND dlg) {
    HWND rich = Ctl(dlg, "reStats");
    EXPECT_EQ(GetWindow(dlg, GW_OWNER), nullptr);
    EXPECT_NE(GetText(rich).find("Gefilterte Nachrichten: 10 (4 Spam, 6 Ham)"), std::string::npos);
    ClickLater(Ctl(dlg, "btnStatReset"));
    d.Answer("Statistik zur\xFC" "cksetzen", IDYES, IDNO, "Soll die Statistik zur\xFC" "ckgesetzt werden?");
    Until([&] { return GetText(rich).find("Gefilterte Nachrichten: 0 (0") != std::string::npos; });
    for (int i = 0; i < 4; ++i) {
      ChooseTab(dlg, i);
      EXPECT_EQ(IsWindowVisible(Ctl(dlg, "txtMaxWords")) != FALSE, i == 3);
      Shot(dlg, "options-" + std::to_string(i + 1));
    }
    Click(Ctl(dlg, "chkBayesEnabled"));
    EXPECT_FALSE(IsWindowEnabled(Ctl(dlg, "txtMaxWords")));
    ChooseTab(dlg, 1);
    HWND msg = Ctl(dlg, "txtMaxMsgSize");
    SendMessageW(msg, EM_SETSEL, 0, -1);
    for (wchar_t c : std::wstring(L"50")) SendMessageW(msg, WM_CHAR, c, 1);  // read on every change
    EXPECT_EQ(GetText(msg), "30");
    SendMessageW(msg, WM_KEYDOWN, VK_DOWN, 1);  // the up-down's arrow keys
    EXPECT_EQ(GetText(msg), "29");
    SetText(Ctl(dlg, "txtBreakAtScore"), "40000");  // never left: Ok reads it
    Click(Ctl(dlg, "btnOk"));
  });
  const std::string ini = dir.Read("Quelta.ini");
  for (const char* line : {"MaxMsgSize=29\r\n", "BreakAtScore=-25536\r\n"})
    EXPECT_NE(ini.find(line), std::string::npos) << line;
  EXPECT_FALSE(host.settings.engine.bayesEnabled);
  EXPECT_EQ(host.stats.classAsSpam, 0u);
}

TEST_F(Win32Dialogs, EditorsShowTheirFilesAndOkWritesThem) {
  std::string longList;  // beyond an edit control's default limit
  for (int i = 0; i < 3000; ++i) longList += "server-" + std::to_string(i) + ".example\r\n";
  dir.Write("EasyDNSBL.dat", longList);
  dir.Write("empty.abd", testing_support::AddressBookFile({}));
  dir.Write("EasyAddrBooks.dat", "missing.abd\r\n" + dir.File("empty.abd") + "\r\n");
  dir.Write("EasyMode.rdb", "Subject\x01sbn\x01" "cheap\x01" "32767\x01" "first\r\n");
  Open([&](Driver& d, HWND dlg) {
    HWND ed = SubDialog(d, dlg, "btnEasyDnsbl", "DNSBL-Server bearbeiten");
    HWND text = Ctl(ed, "txtList");
    EXPECT_EQ(GetText(text), longList);
    SetText(text, "zen.example\r\n#off");
    CloseSub(d, dlg, ed, "btnOk");

    HWND ab = SubDialog(d, dlg, "btnEasyAddrBooks", "Adressb\xFC" "cher verwalten");
    HWND list = Ctl(ab, "lvAB");
    EXPECT_EQ(Cell(list, 0, 1), "Nicht gefunden");
    EXPECT_EQ(Cell(list, 1, 1), "Leer");
    win32ui::SelectRow(list, 0);
    Key(list, VK_DELETE);
    Until([&] { return Rows(list) == 1; });
    CloseSub(d, dlg, ab, "btnOk");

    HWND rl = SubDialog(d, dlg, "btnEasyIntern", "Regeln bearbeiten");
    list = Ctl(rl, "lvRules");
    EXPECT_EQ(Cell(list, 0, 1), "beginnt nicht mit");
    Key(list, VK_INSERT);  // a new rule
    HWND ne = d.Wait("Neue Regel erstellen");
    SetText(Ctl(ne, "cbField"), "From");
    SendMessageW(Ctl(ne, "cbCompare"), CB_SETCURSEL, 2, 0);
    SetText(Ctl(ne, "txtRule"), "win");
    SetText(Ctl(ne, "txtComment"), "second");
    Shot(ne, "rule-new");
    Click(Ctl(ne, "rbScoreHam"));
    EXPECT_FALSE(IsWindowEnabled(Ctl(ne, "txtScoreUser")));
    Command(ne, "btnOk");
    Until([&] { return Rows(list) == 2; });
    win32ui::SelectRow(list, 0);
    Key(list, VK_RETURN);  // edits; the user score steps by 5
    HWND ed2 = d.Wait("Regel bearbeiten");
    Click(Ctl(ed2, "rbScoreUser"));
    SetText(Ctl(ed2, "txtScoreUser"), "12");
    SendMessageW(Ctl(ed2, "txtScoreUser"), WM_KEYDOWN, VK_UP, 1);
    EXPECT_EQ(GetText(Ctl(ed2, "txtScoreUser")), "17");
    Shot(ed2, "rule-edit");
    Command(ed2, "btnOk");
    d.WaitGone(ed2);
    CloseSub(d, dlg, rl, "btnOk");
    Click(Ctl(dlg, "btnCancel"));
  });
  EXPECT_EQ(dir.Read("EasyDNSBL.dat"), "zen.example\r\n#off\r\n");
  EXPECT_EQ(dir.Read("EasyAddrBooks.dat"), dir.File("empty.abd") + "\r\n");
  EXPECT_EQ(dir.Read("EasyMode.rdb"), "Subject\x01SBN\x01" "cheap\x01" "17\x01" "first\r\n"
                                      "From\x01SB\x01win\x01-32768\x01second\r\n");
}

}  // namespace
