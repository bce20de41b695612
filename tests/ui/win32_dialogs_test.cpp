// The Win32 dialogs, driven by window messages from a second thread as a
// user would drive them (set text, type, click, keys, select), while the
// test's main thread runs them modally as the host does. Checks control
// states, enabling, clamping, the real message boxes and the files
// written, and saves a screenshot of every page and sub-dialog as PNG in
// the build folder ("screenshots").
#include <windows.h>

#include <commctrl.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "bayes/word_table.h"
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
using testing_support::AddressBookBytes;
using testing_support::ScratchDir;
using testing_support::TestHost;

namespace {

constexpr int kWaitMs = 15000;

// The real message boxes and file dialog; the help viewer only recorded.
class TestServices : public win32ui::Win32Services {
 public:
  bool OpenHelp(const std::string& target) override {
    std::lock_guard<std::mutex> lock(mutex);
    helpTargets.push_back(target);
    return true;
  }
  std::vector<std::string> HelpTargets() {
    std::lock_guard<std::mutex> lock(mutex);
    return helpTargets;
  }
  std::mutex mutex;
  std::vector<std::string> helpTargets;
};

// Drives the windows of the dialog thread.
class Driver {
 public:
  explicit Driver(DWORD uiThread) : thread_(uiThread) {}

  // A visible top-level window of the dialog thread with this title.
  HWND Wait(const std::string& title) {
    for (int t = 0; t < kWaitMs; t += 20) {
      if (HWND w = TopWindow(title)) {
        SendMessageW(w, WM_NULL, 0, 0);  // its thread is in its message loop
        return w;
      }
      Sleep(20);
    }
    ADD_FAILURE() << "no window \"" << title << "\" appeared";
    return nullptr;
  }

  bool WaitGone(HWND w) {
    for (int t = 0; t < kWaitMs; t += 20) {
      if (!IsWindow(w) || !IsWindowVisible(w)) return true;
      Sleep(20);
    }
    ADD_FAILURE() << "window \"" << Text(w) << "\" stayed open";
    return false;
  }

  // The control of a dialog (or of one of its pages) by name.
  static HWND Ctl(HWND root, std::string_view name) {
    struct Search {
      int id;
      HWND found;
    } s{ControlId(name), nullptr};
    EnumChildWindows(
        root,
        [](HWND w, LPARAM p) -> BOOL {
          auto* s = reinterpret_cast<Search*>(p);
          if (GetDlgCtrlID(w) != s->id) return TRUE;
          s->found = w;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    EXPECT_TRUE(s.found) << "no control " << name;
    return s.found;
  }

  static std::string Text(HWND w) {
    wchar_t buf[8192] = {0};
    SendMessageW(w, WM_GETTEXT, std::size(buf), reinterpret_cast<LPARAM>(buf));
    return Narrow(buf);
  }
  static void SetText(HWND w, const std::string& text) {
    SendMessageW(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
  }
  // Replaces the field's text by typing it.
  static void Type(HWND edit, const std::string& text) {
    SendMessageW(edit, EM_SETSEL, 0, -1);
    for (wchar_t c : Widen(text)) SendMessageW(edit, WM_CHAR, c, 1);
  }
  // Puts the focus into the control and moves it on, as Tab would.
  static void Leave(HWND dialog, HWND control) {
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    SendMessageW(dialog, WM_NEXTDLGCTL, 0, FALSE);
  }
  // A click that returns when handled; ClickLater for one that opens a
  // modal window.
  static void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
  static void ClickLater(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }
  static void Command(HWND dialog, std::string_view name) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(ControlId(name), BN_CLICKED), 0);
  }
  static void Key(HWND w, UINT key) {
    PostMessageW(w, WM_KEYDOWN, key, 1);
    PostMessageW(w, WM_KEYUP, key, 0xC0000001);
  }
  static bool Checked(HWND w) { return SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED; }

  // Answers a message box, after checking its text and default button.
  void Answer(const std::string& title, int button, int defaultButton, const std::string& text = "",
              const char* shot = nullptr) {
    HWND box = Wait(title);
    if (!box) return;
    if (!text.empty()) EXPECT_EQ(Text(GetDlgItem(box, 0xFFFF)), text);
    // The default button has the default style and the focus.
    for (int id : {IDOK, IDYES, IDNO})
      if (HWND b = GetDlgItem(box, id))
        EXPECT_EQ((GetWindowLongW(b, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON, id == defaultButton)
            << title << " button " << id;
    GUITHREADINFO gui{sizeof gui};
    GetGUIThreadInfo(thread_, &gui);
    EXPECT_EQ(gui.hwndFocus, GetDlgItem(box, defaultButton)) << title;
    if (shot) Shot(box, shot);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    WaitGone(box);
  }

  // Saves what the screen shows of the window as build/.../screenshots/name.png.
  static void Shot(HWND w, const std::string& name) {
    SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    SendMessageW(w, WM_NULL, 0, 0);
    Sleep(250);
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
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    const auto* px = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
      rgb[i * 3] = px[i * 4 + 2];
      rgb[i * 3 + 1] = px[i * 4 + 1];
      rgb[i * 3 + 2] = px[i * 4];
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    std::filesystem::create_directories(QUELTA_SCREENSHOT_DIR);
    EXPECT_TRUE(testing_support::WritePng(std::string(QUELTA_SCREENSHOT_DIR) + "/" + name + ".png", width,
                                          height, rgb));
  }

  // Closes whatever a failed script left open, so the test ends.
  void CloseEverything() {
    for (int round = 0; round < 100; ++round) {
      std::vector<HWND> open = TopWindows();
      if (open.empty()) return;
      for (HWND w : open) {
        PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
        PostMessageW(w, WM_COMMAND, IDNO, 0);
        PostMessageW(w, WM_COMMAND, IDOK, 0);
      }
      Sleep(100);
    }
  }

 private:
  std::vector<HWND> TopWindows() const {
    std::vector<HWND> v;
    EnumThreadWindows(
        thread_,
        [](HWND w, LPARAM p) -> BOOL {
          if (IsWindowVisible(w)) reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&v));
    return v;
  }
  HWND TopWindow(const std::string& title) const {
    for (HWND w : TopWindows())
      if (Text(w) == title) return w;
    return nullptr;
  }

  DWORD thread_;
};

// Runs script on a second thread while open() shows a dialog on this one.
void Drive(const std::function<void(Driver&)>& script, const std::function<void()>& open) {
  const DWORD ui = GetCurrentThreadId();
  std::thread driver([&] {
    Driver d(ui);
    script(d);
    d.CloseEverything();
  });
  open();
  driver.join();
}

// The rich edit's lines and, per line, its colour (0xRRGGBB) and boldness.
struct ShownLine {
  std::string text;
  std::uint32_t rgb;
  bool bold;
};
std::vector<ShownLine> ReportShown(HWND rich) {
  std::vector<ShownLine> lines;
  const int count = static_cast<int>(SendMessageW(rich, EM_GETLINECOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const LRESULT start = SendMessageW(rich, EM_LINEINDEX, i, 0);
    const LRESULT length = SendMessageW(rich, EM_LINELENGTH, start, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    TEXTRANGEW range{{static_cast<LONG>(start), static_cast<LONG>(start + length)}, text.data()};
    SendMessageW(rich, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    text.resize(static_cast<std::size_t>(length));
    CHARRANGE sel{static_cast<LONG>(start), static_cast<LONG>(start + 1)};
    SendMessageW(rich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&sel));
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

const char* const kTitle = "Quelta - Einstellungen";

// Clicks a tab of the options dialog as the mouse would.
void ChooseTab(HWND dlg, int index) {
  HWND tab = Driver::Ctl(dlg, "tabMain");
  RECT r{};
  SendMessageW(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  SendMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(tab, WM_LBUTTONUP, 0, at);
}

class Win32Dialogs : public ::testing::Test {
 protected:
  void Open(const std::function<void(Driver&)>& script) {
    Drive(script, [&] { RunOptionsDialog(host, services); });
  }

  ScratchDir dir;
  TestHost host{dir};
  TestServices services;
};

TEST_F(Win32Dialogs, NumberFieldsClampReadOnLeavingAndFollowTheArrows) {
  host.settings.maxMsgSize = 10u << 20;
  Open([&](Driver& d) {
    HWND dlg = d.Wait(kTitle);
    ASSERT_TRUE(dlg);
    ChooseTab(dlg, 1);
    HWND msg = d.Ctl(dlg, "txtMaxMsgSize");
    EXPECT_EQ(d.Text(msg), "10");
    d.Type(msg, "50");
    EXPECT_EQ(d.Text(msg), "30");
    EXPECT_EQ(SendMessageW(d.Ctl(dlg, "udMaxMsgSize"), UDM_GETPOS32, 0, 0), 30);
    d.Type(msg, "abc");
    EXPECT_EQ(d.Text(msg), "abc");
    d.Leave(dlg, msg);
    EXPECT_EQ(d.Text(msg), "30");
    SendMessageW(msg, WM_KEYDOWN, VK_UP, 1);  // the up-down's arrow keys
    EXPECT_EQ(d.Text(msg), "30");
    SendMessageW(msg, WM_KEYDOWN, VK_DOWN, 1);
    EXPECT_EQ(d.Text(msg), "29");
    HWND log = d.Ctl(dlg, "txtMaxLogSize");
    d.SetText(log, "5");
    EXPECT_EQ(d.Text(log), "5");  // read when the field is left
    d.Leave(dlg, log);
    EXPECT_EQ(d.Text(log), "10");
    HWND score = d.Ctl(dlg, "txtBreakAtScore");
    d.SetText(score, "40000");
    d.Leave(dlg, score);
    EXPECT_EQ(d.Text(score), "-25536");
    d.Shot(dlg, "options-2-general");
    d.Click(d.Ctl(dlg, "btnOk"));
    d.WaitGone(dlg);
  });
  EXPECT_EQ(host.settings.maxMsgSize, 29u << 20);
  EXPECT_EQ(host.settings.log.maxLogSize, 10u << 10);
  EXPECT_EQ(host.settings.engine.breakAtScore, -25536);
  EXPECT_NE(dir.Read("Quelta.ini").find("MaxMsgSize=29\r\n"), std::string::npos);
}

TEST_F(Win32Dialogs, CheckBoxesEnableWhatDependsOnThemAndPagesShowTheirControls) {
  host.settings.easy.bayesIsScoreCheck = true;
  Open([&](Driver& d) {
    HWND dlg = d.Wait(kTitle);
    ASSERT_TRUE(dlg);
    const char* pages[] = {"options-1-statistics", "options-2-general", "options-3-filtering",
                           "options-4-bayes"};
    for (int i = 0; i < 4; ++i) {
      ChooseTab(dlg, i);
      EXPECT_EQ(SendMessageW(d.Ctl(dlg, "tabMain"), TCM_GETCURSEL, 0, 0), i);
      if (i != 1) d.Shot(dlg, pages[i]);  // the general page is shot with its edits
    }
    HWND words = d.Ctl(dlg, "txtMaxWords");
    EXPECT_TRUE(IsWindowVisible(words));
    EXPECT_TRUE(IsWindowEnabled(words));
    d.Click(d.Ctl(dlg, "chkBayesEnabled"));
    for (const char* name : {"txtMaxWords", "udMaxWords", "lblMaxWords", "chkAddHigher", "txtAddLowerValue",
                             "chkNoNumbersOnly"})
      EXPECT_FALSE(IsWindowEnabled(d.Ctl(dlg, name))) << name;
    EXPECT_TRUE(IsWindowEnabled(d.Ctl(dlg, "btnBayesDelete")));
    d.Click(d.Ctl(dlg, "chkBayesEnabled"));
    d.Click(d.Ctl(dlg, "chkAddHigher"));
    EXPECT_FALSE(IsWindowEnabled(d.Ctl(dlg, "txtAddHigherValue")));
    EXPECT_TRUE(IsWindowEnabled(d.Ctl(dlg, "txtAddLowerValue")));
    ChooseTab(dlg, 2);
    EXPECT_FALSE(IsWindowVisible(words));
    EXPECT_TRUE(IsWindowEnabled(d.Ctl(dlg, "txtEasyBayesIsScore")));
    d.Click(d.Ctl(dlg, "chkEasyEnabled"));
    EXPECT_FALSE(IsWindowEnabled(d.Ctl(dlg, "chkEasyDnsbl")));
    EXPECT_FALSE(IsWindowEnabled(d.Ctl(dlg, "txtEasyBayesIsScore")));
    d.Click(d.Ctl(dlg, "btnCancel"));
    d.WaitGone(dlg);
  });
  EXPECT_TRUE(host.settings.engine.addHigher);  // cancelled
  EXPECT_FALSE(dir.Exists("Quelta.ini"));
}

TEST_F(Win32Dialogs, StatisticsReportShowsItsLinesInTheirColours) {
  host.stats.messagesFiltered = 10;
  host.stats.classAsSpam = 4;
  host.stats.classAsHam = 6;
  host.stats.bayesMessagesChecked = 100;
  host.stats.bayesReClassAsSpam = 20;
  host.bayesCounts = {3000, 2000};
  const auto expected = BuildStatisticsReport(host.stats, host.bayesCounts, host.junkScore, host.language);
  Open([&](Driver& d) {
    HWND dlg = d.Wait(kTitle);
    ASSERT_TRUE(dlg);
    const auto shown = ReportShown(d.Ctl(dlg, "reStats"));
    ASSERT_EQ(shown.size(), expected.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
      EXPECT_EQ(shown[i].text, expected[i].text) << i;
      if (expected[i].text.empty()) continue;
      EXPECT_EQ(shown[i].rgb, ReportColourRgb(expected[i].colour)) << expected[i].text;
      EXPECT_EQ(shown[i].bold, expected[i].bold) << expected[i].text;
    }
    EXPECT_EQ(shown[3].rgb, 0x808000u);  // efficiency 80%: olive
    d.Shot(dlg, "options-statistics-full");
    // Reset: No keeps the counters, Yes clears them and the report.
    d.ClickLater(d.Ctl(dlg, "btnStatReset"));
    d.Answer("Statistik zur\xFC" "cksetzen", IDNO, IDNO, "Soll die Statistik zur\xFC" "ckgesetzt werden?");
    EXPECT_EQ(ReportShown(d.Ctl(dlg, "reStats")).size(), expected.size());
    d.ClickLater(d.Ctl(dlg, "btnStatReset"));
    d.Answer("Statistik zur\xFC" "cksetzen", IDYES, IDNO);
    d.Wait(kTitle);
    const auto empty = ReportShown(d.Ctl(dlg, "reStats"));
    EXPECT_EQ(empty.size(), expected.size() - 2);  // neither density nor efficiency
    if (empty.size() > 1) EXPECT_EQ(empty[1].text, "  Gefilterte Nachrichten: 0 (0 Spam, 0 Ham)");
    d.Click(d.Ctl(dlg, "btnCancel"));
  });
  EXPECT_EQ(host.stats.messagesFiltered, 0u);
}

TEST_F(Win32Dialogs, ChoosingALanguageRelabelsAndCancelKeepsItInMemoryOnly) {
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
  Open([&](Driver& d) {
    HWND dlg = d.Wait(kTitle);
    ASSERT_TRUE(dlg);
    HWND tab = d.Ctl(dlg, "tabMain");
    EXPECT_EQ(tabText(tab, 2), "Filterung");
    EXPECT_EQ(d.Text(d.Ctl(dlg, "btnCancel")), "Abbrechen");
    EXPECT_EQ(d.Text(d.Ctl(dlg, "lblLanguage")), "Sprache: / Language:");
    HWND combo = d.Ctl(dlg, "cbLanguage");
    ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
    SendMessageW(combo, CB_SETCURSEL, 1, 0);
    SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(ControlId("cbLanguage"), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    EXPECT_EQ(d.Text(dlg), "Quelta - Settings");
    EXPECT_EQ(tabText(tab, 2), "Filtering");
    EXPECT_EQ(d.Text(d.Ctl(dlg, "btnCancel")), "Cancel");
    EXPECT_EQ(d.Text(d.Ctl(dlg, "lblLanguage")), "Language:");
    EXPECT_EQ(d.Text(d.Ctl(dlg, "chkBayesEnabled")), "Enable the Bayes filter");
    const auto report = ReportShown(d.Ctl(dlg, "reStats"));
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report[0].text, "General");
    ChooseTab(dlg, 1);
    d.Shot(dlg, "options-2-general-english");
    d.Click(d.Ctl(dlg, "btnCancel"));
  });
  EXPECT_EQ(host.settings.language, "English");
  EXPECT_EQ(UiText(host.language, "Opt|btnOk"), "OK");
  EXPECT_FALSE(dir.Exists("Quelta.ini"));
}

TEST_F(Win32Dialogs, HelpOpensThePageOfTheTabShown) {
  Open([&](Driver& d) {
    HWND dlg = d.Wait(kTitle);
    ASSERT_TRUE(dlg);
    for (int i : {1, 2, 3, 0}) {
      ChooseTab(dlg, i);
      d.Click(d.Ctl(dlg, "btnHelp"));
    }
    d.Click(d.Ctl(dlg, "btnCancel"));
  });
  const std::string chm = dir.Folder() + "Quelta.chm::/installdialog.html";
  EXPECT_EQ(services.HelpTargets(),
            (std::vector<std::string>{chm + "#general", chm + "#easy", chm + "#bayes", chm}));
}

TEST_F(Win32Dialogs, DeletingTheBayesDatabasesAsksFirstAndKeepsShutdownFromWritingThem) {
  WordTable words;
  words.Add("cheap");
  host.Filter().Learn("Subject: x\r\n", words, true, 45000.0);
  ASSERT_TRUE(host.Filter().Save(host.log));
  host.Filter().Learn("Subject: y\r\n", words, false, 45000.0);
  Open([&](Driver& d) {
    HWND dlg = d.Wait(kTitle);
    ASSERT_TRUE(dlg);
    ChooseTab(dlg, 3);
    d.ClickLater(d.Ctl(dlg, "btnBayesDelete"));
    d.Answer("Bayes-Datenbanken l\xF6schen", IDNO, IDNO, "Sollen die Bayes-Datenbanken gel\xF6scht werden?",
             "question-bayes-delete");
    EXPECT_TRUE(dir.Exists("Bayes.wdb"));
    d.ClickLater(d.Ctl(dlg, "btnBayesDelete"));
    d.Answer("Bayes-Datenbanken l\xF6schen", IDYES, IDNO);
    d.Answer("Bayes-Datenbanken wurden gel\xF6scht", IDOK, IDOK, "Bitte beenden Sie The Bat! sofort.");
    EXPECT_FALSE(dir.Exists("Bayes.wdb"));
    EXPECT_FALSE(dir.Exists("Bayes.udb"));
    d.Click(d.Ctl(dlg, "btnCancel"));
  });
  host.Filter().Save(host.log);  // what shutdown does
  EXPECT_FALSE(dir.Exists("Bayes.wdb"));
}

TEST_F(Win32Dialogs, ListEditorsHideTheOptionsAndReplaceTheirFiles) {
  dir.Write("EasyDNSBL.dat", "zen.example\n");
  struct Case {
    const char* button;
    const char* title;
    const char* file;
    const char* shot;
    const char* before;
  };
  const Case cases[] = {
      {"btnEasyWhitelist", "Whitelist.txt bearbeiten", "Whitelist.txt", "list-1-whitelist", ""},
      {"btnEasyDnsbl", "DNSBL-Server bearbeiten", "EasyDNSBL.dat", "list-3-dnsbl", "zen.example\r\n"},
      {"btnEasyUrlbl", "URLBL-Server bearbeiten", "EasyURLBL.dat", "list-4-urlbl", ""},
      {"btnEasyBlacklist", "Blacklist.txt bearbeiten", "Blacklist.txt", "list-5-blacklist", ""},
  };
  Open([&](Driver& d) {
    HWND dlg = d.Wait(kTitle);
    ASSERT_TRUE(dlg);
    ChooseTab(dlg, 2);
    for (const Case& c : cases) {
      d.ClickLater(d.Ctl(dlg, c.button));
      HWND ed = d.Wait(c.title);
      ASSERT_TRUE(ed);
      EXPECT_FALSE(IsWindowVisible(dlg)) << c.title;
      HWND text = d.Ctl(ed, "txtList");
      EXPECT_EQ(d.Text(text), c.before);
      d.SetText(text, std::string(c.before) + "one\r\n#two");
      d.Shot(ed, c.shot);
      if (std::string(c.file) == "EasyDNSBL.dat") {
        EXPECT_EQ(d.Text(d.Ctl(ed, "lblDescription")).substr(0, 30), "Tragen Sie hier jene DNSBL-Ser");
        host.failWrites = true;
        d.Command(ed, "btnOk");
        d.Answer("Fehler beim Speichern", IDOK, IDOK);
        EXPECT_TRUE(IsWindowVisible(ed));
        EXPECT_EQ(d.Text(text), std::string(c.before) + "one\r\n#two");
        EXPECT_EQ(dir.Read(c.file), "zen.example\n");
        host.failWrites = false;
      }
      if (std::string(c.file) == "Blacklist.txt") {
        d.Command(ed, "btnCancel");
        d.WaitGone(ed);
        EXPECT_FALSE(dir.Exists(c.file));
      } else {
        d.Command(ed, "btnOk");
        d.WaitGone(ed);
        EXPECT_EQ(dir.Read(c.file), std::string(c.before) + "one\r\n#two\r\n");
      }
      d.Wait(kTitle);
      EXPECT_TRUE(IsWindowVisible(dlg)) << c.title;
    }
    d.Click(d.Ctl(dlg, "btnCancel"));
  });
}

// The cell texts of a list view.
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
  LVITEMW clear{};
  clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
  for (int r : rows) {
    LVITEMW set{};
    set.stateMask = set.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, r, reinterpret_cast<LPARAM>(&set));
  }
}
bool ToolEnabled(HWND toolbar, const char* name) {
  return SendMessageW(toolbar, TB_ISBUTTONENABLED, ControlId(name), 0) != 0;
}

TEST_F(Win32Dialogs, AddressBookDialogShowsTheStatesAndAddsThroughTheFileDialog) {
  dir.Write("full.abd", AddressBookBytes({"friend@example.org"}));
  dir.Write("empty.abd", AddressBookBytes({}));
  dir.Write("host/inhost.abd", AddressBookBytes({"a@example.org"}));
  dir.Write("broken.abd", "not a book at all, not at all");
  dir.Write("EasyAddrBooks.dat", "missing.abd\r\n" + dir.File("broken.abd") + "\r\n" + dir.File("empty.abd") +
                                     "\r\ninhost.abd\r\n");
  Open([&](Driver& d) {
    HWND dlg = d.Wait(kTitle);
    ASSERT_TRUE(dlg);
    ChooseTab(dlg, 2);
    d.ClickLater(d.Ctl(dlg, "btnEasyAddrBooks"));
    HWND ab = d.Wait("Adressb\xFC" "cher verwalten");
    ASSERT_TRUE(ab);
    EXPECT_FALSE(IsWindowVisible(dlg));
    HWND list = d.Ctl(ab, "lvAB");
    HWND tools = d.Ctl(ab, "tbAB");
    ASSERT_EQ(Rows(list), 4);
    const char* states[] = {"Nicht gefunden", "Falsches Format", "Leer", "OK"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Cell(list, i, 1), states[i]) << Cell(list, i, 0);
    EXPECT_FALSE(ToolEnabled(tools, "btnRemove"));
    Select(list, {0, 1});
    EXPECT_FALSE(ToolEnabled(tools, "btnRemove"));
    Select(list, {0});
    EXPECT_TRUE(ToolEnabled(tools, "btnRemove"));
    d.Key(list, VK_DELETE);
    for (int t = 0; t < 100 && Rows(list) != 3; ++t) Sleep(20);
    EXPECT_EQ(Rows(list), 3);
    d.Command(ab, "btnAdd");
    HWND open = d.Wait("Addressbuchdatei ausw\xE4hlen");
    ASSERT_TRUE(open);
    d.Shot(open, "address-books-open-file");
    HWND name = GetDlgItem(open, 0x47C);  // the file name box
    if (!name) name = GetDlgItem(open, 0x480);
    ASSERT_TRUE(name);
    d.SetText(name, dir.File("full.abd"));
    PostMessageW(open, WM_COMMAND, IDOK, 0);
    d.WaitGone(open);
    for (int t = 0; t < 100 && Rows(list) != 4; ++t) Sleep(20);
    ASSERT_EQ(Rows(list), 4);
    EXPECT_EQ(Cell(list, 3, 0), dir.File("full.abd"));
    EXPECT_EQ(Cell(list, 3, 1), "OK");
    d.Shot(ab, "address-books");
    d.Command(ab, "btnOk");
    d.WaitGone(ab);
    d.Wait(kTitle);
    d.Click(d.Ctl(dlg, "btnCancel"));
  });
  EXPECT_EQ(dir.Read("EasyAddrBooks.dat"), dir.File("broken.abd") + "\r\n" + dir.File("empty.abd") +
                                               "\r\ninhost.abd\r\n" + dir.File("full.abd") + "\r\n");
}

TEST_F(Win32Dialogs, RuleEditorRoundTripsRowsAndRefusesUnsafeOnes) {
  dir.Write("EasyMode.rdb",
            "Subject\x01sbn\x01" "cheap\x01" "32767\x01" "first\r\nFrom\x01R\x01x\x01-32768\x01second\r\n");
  Open([&](Driver& d) {
    HWND dlg = d.Wait(kTitle);
    ASSERT_TRUE(dlg);
    ChooseTab(dlg, 2);
    d.ClickLater(d.Ctl(dlg, "btnEasyIntern"));
    HWND rl = d.Wait("Regeln bearbeiten");
    ASSERT_TRUE(rl);
    EXPECT_FALSE(IsWindowVisible(dlg));
    HWND list = d.Ctl(rl, "lvRules");
    ASSERT_EQ(Rows(list), 2);
    EXPECT_EQ(Cell(list, 0, 1), "beginnt nicht mit");
    EXPECT_EQ(Cell(list, 0, 3), "Spam");
    EXPECT_EQ(Cell(list, 1, 3), "Ham");
    d.Shot(rl, "rule-list");

    // Insert: a new rule, refused until it is safe.
    d.Key(list, VK_INSERT);
    HWND ne = d.Wait("Neue Regel erstellen");
    ASSERT_TRUE(ne);
    d.SetText(d.Ctl(ne, "cbField"), "Subject");
    SendMessageW(d.Ctl(ne, "cbCompare"), CB_SETCURSEL, 2, 0);
    d.SetText(d.Ctl(ne, "txtRule"), "win");
    d.SetText(d.Ctl(ne, "txtComment"), "see [1]");
    d.Shot(ne, "rule-new");
    d.Command(ne, "btnOk");
    d.Answer("Falscher Wert", IDOK, IDOK, "Im Feld \"Kommentar\" sind keine eckigen Klammern erlaubt!");
    d.SetText(d.Ctl(ne, "txtComment"), "a\x01" "b");
    d.Command(ne, "btnOk");
    d.Answer("Ung\xFCltiges Zeichen", IDOK, IDOK);
    d.SetText(d.Ctl(ne, "txtComment"), "third");
    d.Click(d.Ctl(ne, "rbScoreHam"));
    EXPECT_FALSE(IsWindowEnabled(d.Ctl(ne, "txtScoreUser")));
    d.Click(d.Ctl(ne, "btnHelp"));
    d.Command(ne, "btnOk");
    d.WaitGone(ne);
    for (int t = 0; t < 100 && Rows(list) != 3; ++t) Sleep(20);
    ASSERT_EQ(Rows(list), 3);
    EXPECT_EQ(Cell(list, 2, 1), "beginnt mit");
    EXPECT_EQ(Cell(list, 2, 3), "Ham");

    // Enter: edit the first rule; the user score steps by 5.
    Select(list, {0});
    d.Key(list, VK_RETURN);
    HWND ed = d.Wait("Regel bearbeiten");
    ASSERT_TRUE(ed);
    EXPECT_TRUE(d.Checked(d.Ctl(ed, "rbScoreSpam")));
    EXPECT_EQ(SendMessageW(d.Ctl(ed, "cbCompare"), CB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(d.Text(d.Ctl(ed, "txtRule")), "cheap");
    d.Shot(ed, "rule-edit");
    d.Click(d.Ctl(ed, "rbScoreUser"));
    EXPECT_TRUE(IsWindowEnabled(d.Ctl(ed, "txtScoreUser")));
    d.SetText(d.Ctl(ed, "txtScoreUser"), "12");
    SendMessageW(d.Ctl(ed, "txtScoreUser"), WM_KEYDOWN, VK_UP, 1);
    EXPECT_EQ(d.Text(d.Ctl(ed, "txtScoreUser")), "17");
    d.Command(ed, "btnOk");
    d.WaitGone(ed);
    EXPECT_EQ(Cell(list, 0, 3), "17");

    // Double-click: edit the second rule, then cancel.
    RECT r{LVIR_BOUNDS};
    SendMessageW(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM(r.left + 20, (r.top + r.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    HWND dbl = d.Wait("Regel bearbeiten");
    ASSERT_TRUE(dbl);
    EXPECT_EQ(d.Text(d.Ctl(dbl, "txtRule")), "x");
    d.Command(dbl, "btnCancel");
    d.WaitGone(dbl);

    // Delete asks; No keeps the row. Then the new rule moves up.
    Select(list, {1});
    d.Key(list, VK_DELETE);
    d.Answer("Regel l\xF6schen", IDNO, IDNO, "Soll die ausgew\xE4hlte Regel gel\xF6scht werden?");
    EXPECT_EQ(Rows(list), 3);
    Select(list, {2});
    EXPECT_TRUE(ToolEnabled(d.Ctl(rl, "tbRules"), "btnUp"));
    EXPECT_FALSE(ToolEnabled(d.Ctl(rl, "tbRules"), "btnDown"));
    d.Command(rl, "btnUp");
    for (int t = 0; t < 100 && Cell(list, 1, 2) != "win"; ++t) Sleep(20);
    EXPECT_EQ(Cell(list, 1, 2), "win");
    d.Command(rl, "btnOk");
    d.WaitGone(rl);
    d.Wait(kTitle);
    d.Click(d.Ctl(dlg, "btnCancel"));
  });
  EXPECT_EQ(dir.Read("EasyMode.rdb"),
            "Subject\x01SBN\x01" "cheap\x01" "17\x01" "first\r\n"
            "Subject\x01SB\x01win\x01-32768\x01third\r\n"
            "From\x01R\x01x\x01-32768\x01second\r\n");
  EXPECT_EQ(services.HelpTargets(), std::vector<std::string>{dir.Folder() + "Quelta.chm::/rulepredef.html"});
}

// The host's setup call: the plug-in shows the dialog without owner and
// saves through its session; deleting the Bayes databases keeps shutdown
// from writing them although the filter learnt in this run.
TEST(PluginSetup, ShowsTheOptionsWithoutOwnerAndSavesThroughTheSession) {
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
        EXPECT_EQ(GetParent(dlg), nullptr);
        ChooseTab(dlg, 3);
        d.ClickLater(d.Ctl(dlg, "btnBayesDelete"));
        d.Answer("Bayes-Datenbanken l\xF6schen", IDYES, IDNO);
        d.Answer("Bayes-Datenbanken wurden gel\xF6scht", IDOK, IDOK);
        d.Type(d.Ctl(dlg, "txtMaxMsgSize"), "12");
        d.Click(d.Ctl(dlg, "btnOk"));
        d.WaitGone(dlg);
      },
      [&] { plugin.Setup(); });
  plugin.Finalize();
  EXPECT_NE(folder.Read("Quelta.ini").find("MaxMsgSize=12\r\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder.Dir() / "Bayes.wdb"));
  EXPECT_NE(folder.Log().find("Bayes databases not saved"), std::string::npos) << folder.Log();
}

}  // namespace
