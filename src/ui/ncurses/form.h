// A dialog on the terminal: a list of controls (labels, check boxes, option
// buttons, number and text fields, choice lists, buttons, the coloured
// report, a multi-line text, a table) bound to a model through callbacks,
// and the keyboard loop that moves the focus between them.
//
// Keys: Tab / Shift-Tab and Down / Up move the focus over the enabled
// controls of the current page; Left / Right on the page tabs turn the page;
// Space switches check boxes and option buttons and presses buttons; Enter
// presses the focused button, opens a choice list, edits a table's row, and
// elsewhere presses the default button; PgUp / PgDn step a number field;
// Insert / Delete act on a table's rows; Esc cancels; F1 asks for help.
//
// A number field hands its text to the model when the focus leaves it (or
// on every change, readOnChange) and then shows the model's value; a text
// field writes every change through. Nothing here keeps settings of its
// own. One thread: the dialog's.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/ncurses/terminal.h"

namespace quelta {
namespace tui {

enum class Outcome { Stay, Ok, Cancel };

// The smallest screen the dialogs are laid out for; on a smaller one a form
// says so until the terminal grows (or Esc).
constexpr int kMinRows = 24;
constexpr int kMinCols = 80;

struct Column {
  std::function<std::string()> title;
  int share;  // of the table's width
};

struct ColouredLine {
  std::string text;
  Style style;
  bool bold;
};

// One control. Positions are relative to the form's inside; a negative y
// counts from the bottom (-1: the last row), a negative x from the right;
// a height or width of 0 or less fills the inside up to that many rows or
// columns from its end.
struct Widget {
  enum class Kind { Label, Heading, Tabs, Check, Radio, Number, Edit, Choice, Button, Report, Memo, Table };
  Kind kind = Kind::Label;
  int page = -1;  // -1: shown on every page
  int y = 0, x = 0, height = 1, width = 0;
  int labelWidth = 0;  // Number, Edit, Choice: columns of the caption before the field
  std::function<std::string()> caption;
  std::function<bool()> enabled;  // null: always enabled

  std::function<bool()> checked;  // Check, Radio
  std::function<void()> toggle;   // Check: switch; Radio: choose this one
  std::function<std::int32_t()> number;               // Number
  std::function<void(const std::string&)> setText;    // Number: the text typed
  std::function<void(int)> step;                      // Number: arrow clicks
  bool readOnChange = false;
  std::string* text = nullptr;                        // Edit
  std::vector<std::string> options;                   // Edit: an editable list's choices
  std::function<std::vector<std::string>()> items;    // Choice, Tabs
  std::function<int()> index;                         // Choice
  std::function<void(int)> choose;                    // Choice
  std::function<Outcome()> press;                     // Button
  bool isDefault = false;                             // Button: pressed by Enter
  std::function<std::vector<ColouredLine>()> lines;   // Report
  std::vector<std::string>* memo = nullptr;           // Memo: the lines
  std::vector<Column> columns;                        // Table
  std::function<int()> rows;
  std::function<std::string(int, int)> cell;
  int* selected = nullptr;
  std::function<Outcome()> onInsert, onEnter, onDelete;

  bool Focusable() const;
};

class Form {
 public:
  // A form filling the screen (height 0) or a box of that size, centred.
  Form(Terminal& term, std::function<std::string()> title, int height = 0, int width = 0);

  Widget& Add(Widget w);
  int Page() const { return page_; }
  void SetPage(int page) { page_ = page; }
  std::function<void()> help;           // F1
  std::function<std::string()> hint;    // the last screen row

  // Runs until a button, Enter or Esc closes the form.
  Outcome Run();

 private:
  struct Box {
    int y, x, h, w;
  };
  Box Inside() const;
  Box Place(const Widget& w) const;
  bool Visible(const Widget& w) const { return w.page < 0 || w.page == page_; }
  bool Usable(const Widget& w) const { return Visible(w) && w.Focusable() && (!w.enabled || w.enabled()); }
  void Draw();
  void DrawWidget(const Widget& w, bool focus);
  void Focus(int index);
  void Move(int direction);
  void Commit();
  void TypedNumber(Widget& w);
  Outcome Key(const KeyPress& k);
  // A key for the focused control; false when it is not one of its keys.
  bool KeyIn(Widget& w, const KeyPress& k, Outcome& o);
  bool KeyInMemo(Widget& w, const KeyPress& k);
  bool KeyInTable(Widget& w, const KeyPress& k, Outcome& o);

  Terminal& term_;
  std::function<std::string()> title_;
  int height_, width_;
  std::deque<Widget> widgets_;
  int page_ = 0;
  int focus_ = -1;
  LineEdit edit_;                    // the focused Number or Edit
  std::size_t memoRow_ = 0, memoCol_ = 0, memoTop_ = 0;
  int tableTop_ = 0;
};

}  // namespace tui
}  // namespace quelta
