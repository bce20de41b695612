#include "ui/ncurses/form.h"

#include <algorithm>

#include "base/strings.h"

namespace quelta {
namespace tui {

namespace {

using Kind = Widget::Kind;

std::string Caption(const Widget& w) { return w.caption ? w.caption() : std::string(); }

bool IsNumber(const std::string& text) {
  std::int32_t v = 0;
  return TryStrToInt(Trim(text), v);
}

}  // namespace

bool Widget::Focusable() const {
  return kind != Kind::Label && kind != Kind::Heading && kind != Kind::Report;
}

Form::Form(Terminal& term, std::function<std::string()> title, int height, int width)
    : term_(term), title_(std::move(title)), height_(height), width_(width) {}

Widget& Form::Add(Widget w) {
  widgets_.push_back(std::move(w));
  return widgets_.back();
}

Form::Box Form::Inside() const {
  if (height_ <= 0) return {1, 1, term_.Rows() - 2, term_.Cols() - 2};  // title row, hint row
  const int h = std::min(height_, term_.Rows()), w = std::min(width_, term_.Cols());
  return {(term_.Rows() - h) / 2 + 1, (term_.Cols() - w) / 2 + 2, h - 2, w - 4};
}

Form::Box Form::Place(const Widget& w) const {
  const Box in = Inside();
  Box b{w.y < 0 ? in.h + w.y : w.y, w.x < 0 ? in.w + w.x : w.x, w.height, w.width};
  if (b.h <= 0) b.h = in.h - b.y + b.h;
  if (b.w <= 0) b.w = in.w - b.x + b.w;
  b.y += in.y;
  b.x += in.x;
  return b;
}

// ---- Focus ----

void Form::Focus(int index) {
  focus_ = index;
  if (index < 0) return;
  Widget& w = widgets_[static_cast<std::size_t>(index)];
  if (w.kind == Kind::Number) edit_.Start(std::to_string(w.number()));
  if (w.kind == Kind::Edit) edit_.Start(*w.text);
  if (w.kind == Kind::Memo) memoRow_ = memoCol_ = memoTop_ = 0;
}

void Form::Move(int direction) {
  Commit();
  const int n = static_cast<int>(widgets_.size());
  for (int i = 1; i <= n; ++i) {
    const int next = ((focus_ < 0 ? (direction > 0 ? -1 : 0) : focus_) + direction * i + n * 2) % n;
    if (Usable(widgets_[static_cast<std::size_t>(next)])) {
      Focus(next);
      return;
    }
  }
  focus_ = -1;
}

// A number field hands its text to the model when the focus leaves it.
void Form::Commit() {
  if (focus_ < 0) return;
  Widget& w = widgets_[static_cast<std::size_t>(focus_)];
  if (w.kind == Kind::Number) {
    w.setText(edit_.text);
    edit_.Start(std::to_string(w.number()));
  }
}

void Form::TypedNumber(Widget& w) {
  if (!w.readOnChange || !IsNumber(edit_.text)) return;
  w.setText(edit_.text);
  const std::string shown = std::to_string(w.number());
  if (shown != edit_.text) {
    edit_.text = shown;
    edit_.cursor = shown.size();
  }
}

// ---- Keys ----

Outcome Form::Run() {
  if (focus_ < 0 || !Usable(widgets_[static_cast<std::size_t>(focus_)])) Move(1);
  for (;;) {
    if (term_.Rows() < kMinRows || term_.Cols() < kMinCols) {
      // Too small for the layout: only resizing or Esc helps.
      term_.Clear();
      term_.HideCursor();
      term_.Put(term_.Rows() / 2, 1, "Terminal: " + std::to_string(term_.Cols()) + " x " +
                std::to_string(term_.Rows()) + " < " + std::to_string(kMinCols) + " x " +
                std::to_string(kMinRows), -1, Style::Bold);
      term_.Show();
      if (term_.Read().key == tui::Key::Escape) return Outcome::Cancel;
      continue;
    }
    Draw();
    const Outcome o = Key(term_.Read());
    if (o != Outcome::Stay) return o;
    // A command may have disabled the focused control.
    if (focus_ >= 0 && !Usable(widgets_[static_cast<std::size_t>(focus_)])) Move(1);
  }
}

Outcome Form::Key(const KeyPress& k) {
  if (k.key == tui::Key::Escape) return Outcome::Cancel;
  if (k.key == tui::Key::Help) {
    if (help) help();
    return Outcome::Stay;
  }
  Outcome o = Outcome::Stay;
  if (focus_ >= 0 && KeyIn(widgets_[static_cast<std::size_t>(focus_)], k, o)) return o;
  switch (k.key) {
    case tui::Key::Tab:
    case tui::Key::Down: Move(1); break;
    case tui::Key::BackTab:
    case tui::Key::Up: Move(-1); break;
    case tui::Key::Enter:
      Commit();
      for (Widget& b : widgets_)
        if (b.kind == Kind::Button && b.isDefault && Usable(b)) return b.press();
      break;
    default: break;
  }
  return Outcome::Stay;
}

bool Form::KeyIn(Widget& w, const KeyPress& k, Outcome& o) {
  const bool space = k.key == tui::Key::Char && k.ch == ' ';
  switch (w.kind) {
    case Kind::Tabs: {
      const int n = static_cast<int>(w.items().size());
      if (k.key == tui::Key::Left) page_ = (page_ + n - 1) % n;
      else if (k.key == tui::Key::Right || space) page_ = (page_ + 1) % n;
      else return false;
      return true;
    }
    case Kind::Check:
    case Kind::Radio:
      if (!space) return false;
      w.toggle();
      return true;
    case Kind::Button:
      if (!space && k.key != tui::Key::Enter) return false;
      o = w.press();
      return true;
    case Kind::Number:
      if (k.key == tui::Key::PageUp || k.key == tui::Key::PageDown) {
        w.setText(edit_.text);
        w.step(k.key == tui::Key::PageUp ? 1 : -1);
        edit_.Start(std::to_string(w.number()));
        edit_.selected = false;
        return true;
      }
      if (!edit_.Handle(k)) return false;
      TypedNumber(w);
      return true;
    case Kind::Edit:
      if (k.key == tui::Key::Enter && !w.options.empty()) {
        auto it = std::find(w.options.begin(), w.options.end(), *w.text);
        const int i = term_.Pick(Caption(w), w.options,
                                 it == w.options.end() ? 0 : static_cast<int>(it - w.options.begin()));
        if (i >= 0) edit_.Start(*w.text = w.options[static_cast<std::size_t>(i)]);
        return true;
      }
      if (!edit_.Handle(k)) return false;
      *w.text = edit_.text;
      return true;
    case Kind::Choice: {
      const int n = static_cast<int>(w.items().size());
      int i = w.index();
      if (k.key == tui::Key::Enter || space) i = term_.Pick(Caption(w), w.items(), i);
      else if (k.key == tui::Key::Left) i = std::max(0, i - 1);
      else if (k.key == tui::Key::Right) i = std::min(n - 1, i + 1);
      else return false;
      if (i >= 0 && i != w.index()) w.choose(i);
      return true;
    }
    case Kind::Memo: return KeyInMemo(w, k);
    case Kind::Table: return KeyInTable(w, k, o);
    default: return false;
  }
}

bool Form::KeyInTable(Widget& w, const KeyPress& k, Outcome& o) {
  const int n = w.rows();
  int& sel = *w.selected;
  const int page = std::max(1, Place(w).h - 3);
  switch (k.key) {
    case tui::Key::Up: sel = std::max(0, sel - 1); break;
    case tui::Key::Down: sel = std::min(n - 1, sel + 1); break;
    case tui::Key::PageUp: sel = std::max(0, sel - page); break;
    case tui::Key::PageDown: sel = std::min(n - 1, sel + page); break;
    case tui::Key::Home: sel = 0; break;
    case tui::Key::End: sel = n - 1; break;
    case tui::Key::Insert:
      if (w.onInsert) o = w.onInsert();
      return true;
    case tui::Key::Delete:
      if (w.onDelete && sel >= 0 && sel < n) o = w.onDelete();
      return true;
    case tui::Key::Enter:
      if (!w.onEnter) return false;  // the default button
      if (sel >= 0 && sel < n) o = w.onEnter();
      return true;
    default: return false;
  }
  if (n == 0) sel = -1;
  return true;
}

bool Form::KeyInMemo(Widget& w, const KeyPress& k) {
  std::vector<std::string>& lines = *w.memo;
  if (lines.empty()) lines.emplace_back();
  memoRow_ = std::min(memoRow_, lines.size() - 1);
  memoCol_ = std::min(memoCol_, lines[memoRow_].size());
  std::string& line = lines[memoRow_];
  const std::size_t page = static_cast<std::size_t>(std::max(1, Place(w).h - 2));
  switch (k.key) {
    case tui::Key::Char: line.insert(memoCol_++, 1, k.ch); break;
    case tui::Key::Enter:
      lines.insert(lines.begin() + static_cast<long>(memoRow_) + 1, line.substr(memoCol_));
      lines[memoRow_].erase(memoCol_);
      ++memoRow_;
      memoCol_ = 0;
      break;
    case tui::Key::Backspace:
      if (memoCol_ > 0) {
        line.erase(--memoCol_, 1);
      } else if (memoRow_ > 0) {
        memoCol_ = lines[memoRow_ - 1].size();
        lines[memoRow_ - 1] += line;
        lines.erase(lines.begin() + static_cast<long>(memoRow_--));
      }
      break;
    case tui::Key::Delete:
      if (memoCol_ < line.size()) {
        line.erase(memoCol_, 1);
      } else if (memoRow_ + 1 < lines.size()) {
        line += lines[memoRow_ + 1];
        lines.erase(lines.begin() + static_cast<long>(memoRow_) + 1);
      }
      break;
    case tui::Key::Left:
      if (memoCol_ > 0) --memoCol_;
      else if (memoRow_ > 0) memoCol_ = lines[--memoRow_].size();
      break;
    case tui::Key::Right:
      if (memoCol_ < line.size()) ++memoCol_;
      else if (memoRow_ + 1 < lines.size()) ++memoRow_, memoCol_ = 0;
      break;
    case tui::Key::Up: if (memoRow_ > 0) --memoRow_; break;
    case tui::Key::Down: if (memoRow_ + 1 < lines.size()) ++memoRow_; break;
    case tui::Key::PageUp: memoRow_ -= std::min(memoRow_, page); break;
    case tui::Key::PageDown: memoRow_ = std::min(lines.size() - 1, memoRow_ + page); break;
    case tui::Key::Home: memoCol_ = 0; break;
    case tui::Key::End: memoCol_ = line.size(); break;
    default: return false;  // Tab, Shift-Tab leave the text
  }
  return true;
}

// ---- Drawing ----

void Form::Draw() {
  term_.Clear();
  term_.HideCursor();
  const std::string title = title_ ? title_() : std::string();
  if (height_ <= 0) {
    term_.Put(0, 0, " " + title, term_.Cols(), Style::Title);
    if (hint) term_.Put(term_.Rows() - 1, 0, " " + hint(), term_.Cols(), Style::Reverse);
  } else {
    const Box in = Inside();
    term_.Frame(in.y - 1, in.x - 2, in.h + 2, in.w + 4, title, Style::Title);
    if (hint) term_.Put(term_.Rows() - 1, 0, " " + hint(), term_.Cols(), Style::Reverse);
  }
  // The focused control last, so that the cursor stays in it.
  for (std::size_t i = 0; i < widgets_.size(); ++i)
    if (Visible(widgets_[i]) && static_cast<int>(i) != focus_) DrawWidget(widgets_[i], false);
  if (focus_ >= 0) DrawWidget(widgets_[static_cast<std::size_t>(focus_)], true);
  term_.Show();
}

void Form::DrawWidget(const Widget& w, bool focus) {
  const Box b = Place(w);
  const bool on = !w.enabled || w.enabled();
  const Style text = on ? Style::Normal : Style::Dim;
  const std::string caption = Caption(w);
  // The field after a caption: "[" text "]" (Number, Edit, Choice).
  auto field = [&](const std::string& shown, int width, bool editing) {
    if (w.labelWidth > 0) term_.Put(b.y, b.x, caption, w.labelWidth - 1, text);
    const int fx = b.x + w.labelWidth;
    term_.Put(b.y, fx, "[", -1, text);
    term_.Put(b.y, fx + width + 1, "]", -1, text);
    if (editing) {
      term_.PutEdit(b.y, fx + 1, width, edit_, true, Style::Normal);
    } else {
      term_.Put(b.y, fx + 1, shown, width, focus ? Style::Reverse : text);
      if (focus) term_.PlaceCursor(b.y, fx + 1);
    }
  };
  switch (w.kind) {
    case Kind::Label: {
      const std::vector<std::string> lines = WrapText(caption, b.w);
      for (int r = 0; r < b.h && r < static_cast<int>(lines.size()); ++r)
        term_.Put(b.y + r, b.x, lines[static_cast<std::size_t>(r)], -1, text);
      break;
    }
    case Kind::Heading:
      term_.HLine(b.y, b.x, b.w);
      term_.Put(b.y, b.x + 1, " " + caption + " ", -1, Style::Bold);
      break;
    case Kind::Tabs: {
      int x = b.x;
      const std::vector<std::string> tabs = w.items();
      for (int i = 0; i < static_cast<int>(tabs.size()); ++i) {
        const bool current = i == page_;
        const std::string t = current ? "[" + tabs[static_cast<std::size_t>(i)] + "]"
                                      : " " + tabs[static_cast<std::size_t>(i)] + " ";
        term_.Put(b.y, x, t, -1, current ? (focus ? Style::Reverse : Style::Bold) : Style::Normal);
        if (current && focus) term_.PlaceCursor(b.y, x + 1);
        x += static_cast<int>(t.size()) + 1;
      }
      term_.HLine(b.y + 1, b.x, b.w);
      break;
    }
    case Kind::Check:
    case Kind::Radio: {
      const bool c = w.checked();
      const std::string box = w.kind == Kind::Check ? (c ? "[x]" : "[ ]") : (c ? "(*)" : "( )");
      term_.Put(b.y, b.x, box, -1, focus ? Style::Reverse : text);
      term_.Put(b.y, b.x + 4, caption, b.w - 4, text);
      if (focus) term_.PlaceCursor(b.y, b.x + 1);
      break;
    }
    case Kind::Number:
      field(std::to_string(w.number()), b.w - w.labelWidth - 2, focus);
      break;
    case Kind::Edit:
      field(*w.text, b.w - w.labelWidth - 2 - (w.options.empty() ? 0 : 2), focus);
      if (!w.options.empty()) term_.Put(b.y, b.x + b.w - 1, "v", -1, text);
      break;
    case Kind::Choice: {
      const std::vector<std::string> items = w.items();
      const int i = w.index();
      const int width = b.w - w.labelWidth - 2;
      field(i >= 0 && i < static_cast<int>(items.size()) ? items[static_cast<std::size_t>(i)] : "",
            width, false);
      term_.Put(b.y, b.x + w.labelWidth + width, "v", -1, text);
      break;
    }
    case Kind::Button: {
      const std::string t = (w.isDefault ? "< " : "[ ") + caption + (w.isDefault ? " >" : " ]");
      term_.Put(b.y, b.x, t, -1, focus ? Style::Reverse : text);
      if (focus) term_.PlaceCursor(b.y, b.x + 2);
      break;
    }
    case Kind::Report: {
      const std::vector<ColouredLine> lines = w.lines();
      for (int r = 0; r < b.h && r < static_cast<int>(lines.size()); ++r)
        term_.Put(b.y + r, b.x, lines[static_cast<std::size_t>(r)].text, b.w,
                  lines[static_cast<std::size_t>(r)].style, lines[static_cast<std::size_t>(r)].bold);
      break;
    }
    case Kind::Memo: {
      term_.Frame(b.y, b.x, b.h, b.w, std::string(), Style::Normal);
      const std::vector<std::string>& lines = *w.memo;
      const std::size_t visible = static_cast<std::size_t>(std::max(1, b.h - 2));
      if (focus) {
        if (memoRow_ < memoTop_) memoTop_ = memoRow_;
        if (memoRow_ >= memoTop_ + visible) memoTop_ = memoRow_ - visible + 1;
      }
      const std::size_t inner = static_cast<std::size_t>(std::max(1, b.w - 2));
      const std::size_t col = std::min(memoCol_, memoRow_ < lines.size() ? lines[memoRow_].size() : 0);
      const std::size_t left = focus && col >= inner ? col - inner + 1 : 0;
      for (std::size_t r = 0; r < visible && memoTop_ + r < lines.size(); ++r) {
        const std::string& l = lines[memoTop_ + r];
        term_.Put(b.y + 1 + static_cast<int>(r), b.x + 1, left < l.size() ? l.substr(left) : "",
                  static_cast<int>(inner), Style::Normal);
      }
      if (focus)
        term_.PlaceCursor(b.y + 1 + static_cast<int>(memoRow_ - memoTop_), b.x + 1 + static_cast<int>(col - left));
      break;
    }
    case Kind::Table: {
      term_.Frame(b.y, b.x, b.h, b.w, std::string(), Style::Normal);
      int total = 0;
      for (const Column& c : w.columns) total += c.share;
      std::vector<int> widths;
      int used = 0;
      for (std::size_t c = 0; c < w.columns.size(); ++c) {
        const int cw = c + 1 == w.columns.size() ? b.w - 2 - used : (b.w - 2) * w.columns[c].share / total;
        widths.push_back(cw);
        used += cw;
      }
      auto row = [&](int y, const std::function<std::string(std::size_t)>& text, Style s) {
        int x = b.x + 1;
        for (std::size_t c = 0; c < widths.size(); ++c) {
          term_.Put(y, x, " " + text(c), widths[c], s);
          x += widths[c];
        }
      };
      row(b.y + 1, [&](std::size_t c) { return w.columns[c].title(); }, Style::Bold);
      const int visible = std::max(1, b.h - 3);
      const int n = w.rows();
      const int sel = *w.selected;
      if (sel >= 0 && sel < tableTop_) tableTop_ = sel;
      if (sel >= tableTop_ + visible) tableTop_ = sel - visible + 1;
      tableTop_ = std::max(0, std::min(tableTop_, n - visible));
      for (int r = 0; r < visible && tableTop_ + r < n; ++r) {
        const int i = tableTop_ + r;
        row(b.y + 2 + r, [&](std::size_t c) { return w.cell(i, static_cast<int>(c)); },
            i == sel ? (focus ? Style::Reverse : Style::Bold) : Style::Normal);
      }
      if (focus) term_.PlaceCursor(b.y + 2 + std::max(0, sel - tableTop_), b.x + 1);
      break;
    }
  }
}

}  // namespace tui
}  // namespace quelta
