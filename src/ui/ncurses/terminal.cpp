#include "ui/ncurses/terminal.h"

#include <curses.h>
#include <iconv.h>

#include <algorithm>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace quelta {
namespace tui {

namespace {

enum Pair : short { kBlue = 1, kGreen, kOlive, kRed, kTitle, kErrorTitle, kWarningTitle };

attr_t Attr(Style s) {
  switch (s) {
    case Style::Normal: return A_NORMAL;
    case Style::Bold: return A_BOLD;
    case Style::Dim: return A_DIM;
    case Style::Reverse: return A_REVERSE;
    case Style::Title: return COLOR_PAIR(kTitle) | A_BOLD;
    case Style::Blue: return COLOR_PAIR(kBlue);
    case Style::Green: return COLOR_PAIR(kGreen);
    case Style::Olive: return COLOR_PAIR(kOlive);
    case Style::Red: return COLOR_PAIR(kRed);
    case Style::ErrorTitle: return COLOR_PAIR(kErrorTitle) | A_BOLD;
    case Style::WarningTitle: return COLOR_PAIR(kWarningTitle) | A_BOLD;
  }
  return A_NORMAL;
}

// Yes and No in the language of the user's locale, as a system's message
// boxes have them.
bool GermanLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v && *v) return std::strncmp(v, "de", 2) == 0;
  }
  return false;
}

}  // namespace

std::vector<std::string> WrapText(const std::string& text, int width) {
  std::vector<std::string> out;
  if (width < 1) width = 1;
  std::string para;
  auto flush = [&] {
    std::size_t i = 0;
    do {
      std::size_t n = para.size() - i;
      if (n > static_cast<std::size_t>(width)) {
        n = static_cast<std::size_t>(width);
        const std::size_t blank = para.rfind(' ', i + n);
        if (blank != std::string::npos && blank > i) n = blank - i;
      }
      out.push_back(para.substr(i, n));
      i += n;
      while (i < para.size() && para[i] == ' ') ++i;
    } while (i < para.size());
    para.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      flush();
    } else {
      para += c == '\t' ? ' ' : c;
    }
  }
  if (!para.empty() || out.empty()) flush();
  return out;
}

bool LineEdit::Handle(const KeyPress& k) {
  switch (k.key) {
    case Key::Char:
      if (selected) text.clear(), cursor = 0;
      text.insert(cursor++, 1, k.ch);
      break;
    case Key::Backspace:
      if (selected) text.clear(), cursor = 0;
      else if (cursor > 0) text.erase(--cursor, 1);
      break;
    case Key::Delete:
      if (selected) text.clear(), cursor = 0;
      else if (cursor < text.size()) text.erase(cursor, 1);
      break;
    case Key::Left: if (cursor > 0) --cursor; break;
    case Key::Right: if (cursor < text.size()) ++cursor; break;
    case Key::Home: cursor = 0; break;
    case Key::End: cursor = text.size(); break;
    default: return false;
  }
  selected = false;
  return true;
}

// ---- Terminal ----

struct Terminal::State {
  FILE* tty = nullptr;
  SCREEN* screen = nullptr;
  std::string oldLocale;
  wchar_t wide[256] = {};  // the character of every Windows-1252 byte
  int cursorY = -1, cursorX = -1;  // shown by Show(); -1: hidden
};

std::unique_ptr<Terminal> Terminal::Open(std::string& whyNot) {
  const char* term = std::getenv("TERM");
  if (!term || !*term) {
    whyNot = "TERM is not set";
    return nullptr;
  }
  if (std::strcmp(term, "dumb") == 0) {
    whyNot = "TERM is \"dumb\"";
    return nullptr;
  }
  auto s = std::make_unique<State>();
  s->tty = std::fopen("/dev/tty", "r+");
  if (!s->tty) {
    whyNot = "no controlling terminal (/dev/tty)";
    return nullptr;
  }
  // The terminal's characters come from the user's locale; the old one is
  // put back when the dialog closes.
  const char* old = std::setlocale(LC_CTYPE, nullptr);
  s->oldLocale = old ? old : "C";
  std::setlocale(LC_CTYPE, "");
  iconv_t cd = iconv_open("WCHAR_T", "WINDOWS-1252");
  for (int b = 0; b < 256; ++b) {
    s->wide[b] = b < 0x80 ? static_cast<wchar_t>(b) : L'?';
    if (b < 0x80 || cd == reinterpret_cast<iconv_t>(-1)) continue;
    char in = static_cast<char>(b);
    wchar_t out = 0;
    char* ip = &in;
    char* op = reinterpret_cast<char*>(&out);
    std::size_t il = 1, ol = sizeof out;
    if (iconv(cd, &ip, &il, &op, &ol) != static_cast<std::size_t>(-1) && ol == 0) s->wide[b] = out;
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  // A character the terminal's code set lacks shows as "?".
  for (wchar_t& w : s->wide) {
    char mb[MB_LEN_MAX];
    std::mbstate_t st{};
    if (std::wcrtomb(mb, w, &st) == static_cast<std::size_t>(-1)) w = L'?';
  }
  s->screen = newterm(term, s->tty, s->tty);
  if (!s->screen) {
    std::setlocale(LC_CTYPE, s->oldLocale.c_str());
    std::fclose(s->tty);
    whyNot = "unknown terminal type \"" + std::string(term) + "\"";
    return nullptr;
  }
  set_term(s->screen);
  raw();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  set_escdelay(40);
  if (has_colors()) {
    start_color();
    use_default_colors();
    init_pair(kBlue, COLOR_BLUE, -1);
    init_pair(kGreen, COLOR_GREEN, -1);
    init_pair(kOlive, COLOR_YELLOW, -1);
    init_pair(kRed, COLOR_RED, -1);
    init_pair(kTitle, COLOR_WHITE, COLOR_BLUE);
    init_pair(kErrorTitle, COLOR_WHITE, COLOR_RED);
    init_pair(kWarningTitle, COLOR_BLACK, COLOR_YELLOW);
  }
  return std::unique_ptr<Terminal>(new Terminal(std::move(s)));
}

Terminal::Terminal(std::unique_ptr<State> state) : s_(std::move(state)) {}

Terminal::~Terminal() {
  endwin();
  delscreen(s_->screen);
  std::fclose(s_->tty);
  std::setlocale(LC_CTYPE, s_->oldLocale.c_str());
}

int Terminal::Rows() const { return LINES; }
int Terminal::Cols() const { return COLS; }

void Terminal::Clear() { erase(); }

void Terminal::Fill(int y, int x, int height, int width) {
  for (int r = 0; r < height; ++r) Put(y + r, x, std::string(), width, Style::Normal);
}

void Terminal::Put(int y, int x, const std::string& text, int width, Style style, bool bold) {
  if (y < 0 || y >= LINES || x >= COLS) return;
  std::wstring w;
  for (unsigned char c : text) w += s_->wide[c] < L' ' ? L' ' : s_->wide[c];
  if (width >= 0) w.resize(static_cast<std::size_t>(width), L' ');
  if (x < 0) {
    if (static_cast<int>(w.size()) <= -x) return;
    w.erase(0, static_cast<std::size_t>(-x));
    x = 0;
  }
  if (static_cast<int>(w.size()) > COLS - x) w.resize(static_cast<std::size_t>(COLS - x));
  attrset(Attr(style) | (bold ? A_BOLD : A_NORMAL));
  mvaddnwstr(y, x, w.c_str(), static_cast<int>(w.size()));
  attrset(A_NORMAL);
}

void Terminal::HLine(int y, int x, int width) {
  if (width > 0) mvhline_set(y, x, WACS_HLINE, width);
}

void Terminal::Frame(int y, int x, int height, int width, const std::string& title, Style titleStyle) {
  Fill(y, x, height, width);
  mvadd_wch(y, x, WACS_ULCORNER);
  mvadd_wch(y, x + width - 1, WACS_URCORNER);
  mvadd_wch(y + height - 1, x, WACS_LLCORNER);
  mvadd_wch(y + height - 1, x + width - 1, WACS_LRCORNER);
  HLine(y, x + 1, width - 2);
  HLine(y + height - 1, x + 1, width - 2);
  mvvline_set(y + 1, x, WACS_VLINE, height - 2);
  mvvline_set(y + 1, x + width - 1, WACS_VLINE, height - 2);
  if (!title.empty()) {
    const int n = std::min(static_cast<int>(title.size()) + 2, width - 4);
    Put(y, x + 2, " " + title + " ", n, titleStyle);
  }
}

void Terminal::PutEdit(int y, int x, int width, const LineEdit& edit, bool focus, Style style) {
  if (width < 1) return;
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t first = edit.cursor >= w ? edit.cursor - w + 1 : 0;
  const std::string shown = edit.text.substr(std::min(first, edit.text.size()), w);
  Put(y, x, std::string(), width, style);
  Put(y, x, shown, -1, focus && edit.selected ? Style::Reverse : style);
  if (focus) PlaceCursor(y, x + static_cast<int>(edit.cursor - first));
}

void Terminal::PlaceCursor(int y, int x) {
  s_->cursorY = y;
  s_->cursorX = x;
}

void Terminal::HideCursor() { s_->cursorY = s_->cursorX = -1; }

void Terminal::Show() {
  curs_set(s_->cursorY >= 0 ? 1 : 0);
  if (s_->cursorY >= 0) move(s_->cursorY, s_->cursorX);
  refresh();
}

KeyPress Terminal::Read() {
  for (;;) {
    wint_t c = 0;
    const int rc = get_wch(&c);
    if (rc == ERR) return {Key::Escape, 0};  // the terminal went away
    if (rc == KEY_CODE_YES) {
      switch (c) {
        case KEY_UP: return {Key::Up, 0};
        case KEY_DOWN: return {Key::Down, 0};
        case KEY_LEFT: return {Key::Left, 0};
        case KEY_RIGHT: return {Key::Right, 0};
        case KEY_HOME: return {Key::Home, 0};
        case KEY_END: return {Key::End, 0};
        case KEY_PPAGE: return {Key::PageUp, 0};
        case KEY_NPAGE: return {Key::PageDown, 0};
        case KEY_BACKSPACE: return {Key::Backspace, 0};
        case KEY_DC: return {Key::Delete, 0};
        case KEY_IC: return {Key::Insert, 0};
        case KEY_BTAB: return {Key::BackTab, 0};
        case KEY_ENTER: return {Key::Enter, 0};
        case KEY_RESIZE: return {Key::Redraw, 0};
        default:
          if (c == static_cast<wint_t>(KEY_F(1))) return {Key::Help, 0};
          continue;
      }
    }
    switch (c) {
      case L'\t': return {Key::Tab, 0};
      case L'\r':
      case L'\n': return {Key::Enter, 0};
      case 27:
      case 3: return {Key::Escape, 0};  // Esc, Ctrl-C
      case 8:
      case 127: return {Key::Backspace, 0};
      case 12: clearok(curscr, TRUE); return {Key::Redraw, 0};  // Ctrl-L
      default: break;
    }
    if (c < L' ') continue;
    for (int b = 0x20; b < 256; ++b)
      if (s_->wide[b] == static_cast<wchar_t>(c) && (b >= 0x7F ? s_->wide[b] != L'?' : true))
        return {Key::Char, static_cast<char>(b)};
  }
}

// ---- Modal boxes ----

int Terminal::Box(const std::string& title, const std::string& text, os::MsgIcon icon,
                  const std::vector<std::string>& buttons, int defaultButton) {
  int focus = defaultButton;
  for (;;) {
    // As wide as the longest line needs (a file name should not break).
    int longest = static_cast<int>(title.size()) + 8;
    for (const std::string& l : WrapText(text, 1 << 16)) longest = std::max(longest, static_cast<int>(l.size()));
    const int width = std::min(Cols() - 2, std::max(40, std::min(longest + 4, 78)));
    const std::vector<std::string> lines = WrapText(text, width - 4);
    const int height = std::min(Rows(), static_cast<int>(lines.size()) + 4);
    const int y = (Rows() - height) / 2, x = (Cols() - width) / 2;
    const Style ts = icon == os::MsgIcon::Error     ? Style::ErrorTitle
                     : icon == os::MsgIcon::Warning ? Style::WarningTitle
                                                    : Style::Title;
    const char* mark = icon == os::MsgIcon::Error ? "(x) " : icon == os::MsgIcon::Warning ? "(!) " : "(i) ";
    Frame(y, x, height, width, mark + title, ts);
    for (std::size_t i = 0; i < lines.size() && static_cast<int>(i) + 3 < height; ++i)
      Put(y + 1 + static_cast<int>(i), x + 2, lines[i], -1, Style::Normal);
    int bx = x + width - 2;
    for (std::size_t i = buttons.size(); i-- > 0;) bx -= static_cast<int>(buttons[i].size()) + 5;
    HideCursor();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      const bool f = static_cast<int>(i) == focus;
      Put(y + height - 2, bx, (f ? "< " : "[ ") + buttons[i] + (f ? " >" : " ]"), -1,
          f ? Style::Reverse : Style::Normal);
      bx += static_cast<int>(buttons[i].size()) + 5;
    }
    Show();
    const KeyPress k = Read();
    const int n = static_cast<int>(buttons.size());
    switch (k.key) {
      case Key::Enter: return focus;
      case Key::Escape: return -1;
      case Key::Tab: case Key::Right: case Key::Down: focus = (focus + 1) % n; break;
      case Key::BackTab: case Key::Left: case Key::Up: focus = (focus + n - 1) % n; break;
      case Key::Char:
        if (k.ch == ' ') return focus;
        for (int i = 0; i < n; ++i)  // the first letter of a button presses it
          if (!buttons[i].empty() && (k.ch | 0x20) == (buttons[i][0] | 0x20)) return i;
        break;
      default: break;
    }
  }
}

void Terminal::Message(const std::string& title, const std::string& text, os::MsgIcon icon) {
  Box(title, text, icon, {"OK"}, 0);
}

bool Terminal::Question(const std::string& title, const std::string& text) {
  const bool de = GermanLocale();
  return Box(title, text, os::MsgIcon::Warning, {de ? "Ja" : "Yes", de ? "Nein" : "No"}, 1) == 0;
}

bool Terminal::Input(const std::string& title, const std::string& note, std::string& value) {
  LineEdit edit;
  edit.Start(value);
  edit.selected = false;
  for (;;) {
    const int width = std::min(Cols() - 2, 72);
    const std::vector<std::string> lines = WrapText(note, width - 4);
    const int height = static_cast<int>(lines.size()) + 5;
    const int y = (Rows() - height) / 2, x = (Cols() - width) / 2;
    Frame(y, x, height, width, title, Style::Title);
    for (std::size_t i = 0; i < lines.size(); ++i)
      Put(y + 3 + static_cast<int>(i), x + 2, lines[i], -1, Style::Dim);
    Put(y + 2, x + 1, "[", -1, Style::Normal);
    Put(y + 2, x + width - 2, "]", -1, Style::Normal);
    PutEdit(y + 2, x + 2, width - 4, edit, true, Style::Normal);
    Show();
    const KeyPress k = Read();
    if (k.key == Key::Escape) return false;
    if (k.key == Key::Enter && !edit.text.empty()) {
      value = edit.text;
      return true;
    }
    edit.Handle(k);
  }
}

int Terminal::Pick(const std::string& title, const std::vector<std::string>& items, int current) {
  if (items.empty()) return -1;
  int sel = current >= 0 && current < static_cast<int>(items.size()) ? current : 0;
  for (;;) {
    int width = static_cast<int>(title.size()) + 6;
    for (const std::string& i : items) width = std::max(width, static_cast<int>(i.size()) + 4);
    width = std::min(width, Cols() - 2);
    const int height = std::min(static_cast<int>(items.size()) + 2, Rows() - 2);
    const int visible = height - 2;
    const int top = std::max(0, std::min(sel - visible / 2, static_cast<int>(items.size()) - visible));
    const int y = (Rows() - height) / 2, x = (Cols() - width) / 2;
    Frame(y, x, height, width, title, Style::Title);
    for (int r = 0; r < visible && top + r < static_cast<int>(items.size()); ++r)
      Put(y + 1 + r, x + 1, " " + items[static_cast<std::size_t>(top + r)], width - 2,
          top + r == sel ? Style::Reverse : Style::Normal);
    HideCursor();
    Show();
    const int n = static_cast<int>(items.size());
    switch (Read().key) {
      case Key::Up: sel = std::max(0, sel - 1); break;
      case Key::Down: sel = std::min(n - 1, sel + 1); break;
      case Key::PageUp: sel = std::max(0, sel - visible); break;
      case Key::PageDown: sel = std::min(n - 1, sel + visible); break;
      case Key::Home: sel = 0; break;
      case Key::End: sel = n - 1; break;
      case Key::Enter: return sel;
      case Key::Escape: return -1;
      default: break;
    }
  }
}

}  // namespace tui
}  // namespace quelta
