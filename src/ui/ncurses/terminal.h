// The controlling terminal as a full-screen text display for the dialogs:
// ncurses (wide characters) on /dev/tty, so the dialogs work whatever the
// program's standard streams are. Text in and out is Windows-1252, converted
// to the terminal's characters and back. Besides drawing and reading keys it
// offers the modal boxes every dialog shares: a message, a Yes/No question,
// a one-line input and a pick list.
//
// Promises: Open fails with a reason, and touches nothing, when there is no
// terminal to use (no /dev/tty, TERM unset, "dumb" or unknown); the
// destructor restores the terminal and the process's character-type locale.
// Keys arrive raw (Ctrl-C is a key, not a signal), so the terminal is always
// restored. One thread: the dialog's.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "os/env.h"

namespace quelta {
namespace tui {

enum class Key {
  None, Char, Tab, BackTab, Enter, Escape, Up, Down, Left, Right, Home, End, PageUp, PageDown,
  Backspace, Delete, Insert, Help, Redraw,
};

struct KeyPress {
  Key key = Key::None;
  char ch = 0;  // Key::Char: the character as a Windows-1252 byte
};

enum class Style {
  Normal, Bold, Dim, Reverse, Title, Blue, Green, Olive, Red, ErrorTitle, WarningTitle,
};

// Lines of text (CR LF, LF or CR break it) wrapped at blanks to width
// columns; a word longer than a line is cut.
std::vector<std::string> WrapText(const std::string& text, int width);

// One line of editable text: the cursor, and the selection that a field
// has when it gets the focus (typing then replaces the whole text).
struct LineEdit {
  std::string text;
  std::size_t cursor = 0;
  bool selected = false;

  void Start(const std::string& t) {
    text = t;
    cursor = t.size();
    selected = true;
  }
  // Applies a character, Backspace, Delete, Left, Right, Home or End; false
  // for any other key.
  bool Handle(const KeyPress& k);
};

class Terminal {
 public:
  // Null, with the reason in whyNot, when there is no terminal to use.
  static std::unique_ptr<Terminal> Open(std::string& whyNot);
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  int Rows() const;
  int Cols() const;

  void Clear();
  // Blanks a rectangle.
  void Fill(int y, int x, int height, int width);
  // Text at (y, x) in a style, cut or padded with blanks to width columns
  // (width < 0: as long as it is).
  void Put(int y, int x, const std::string& text, int width, Style style, bool bold = false);
  void HLine(int y, int x, int width);
  // A box with a title in its top line.
  void Frame(int y, int x, int height, int width, const std::string& title, Style titleStyle);
  // A line editor's text in a field of width columns, scrolled so that the
  // cursor shows; with focus, the cursor is placed in it.
  void PutEdit(int y, int x, int width, const LineEdit& edit, bool focus, Style style);
  // Where the cursor shows at the next Show (hidden after HideCursor).
  void PlaceCursor(int y, int x);
  void HideCursor();
  // Brings the screen up to date.
  void Show();
  KeyPress Read();

  // ---- Modal boxes (drawn over the screen; the caller redraws after) ----
  void Message(const std::string& title, const std::string& text, os::MsgIcon icon);
  // Yes/No, No being the default (Enter on it, Esc); true on Yes.
  bool Question(const std::string& title, const std::string& text);
  // A one-line input with a note under it; false when cancelled.
  bool Input(const std::string& title, const std::string& note, std::string& value);
  // The index chosen from items (current is selected first), -1 on Esc.
  int Pick(const std::string& title, const std::vector<std::string>& items, int current);

 private:
  struct State;
  explicit Terminal(std::unique_ptr<State> state);
  // The buttons of a box; the index pressed, or -1 on Esc.
  int Box(const std::string& title, const std::string& text, os::MsgIcon icon,
          const std::vector<std::string>& buttons, int defaultButton);

  std::unique_ptr<State> s_;
};

}  // namespace tui
}  // namespace quelta
