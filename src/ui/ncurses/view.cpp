// The dialogs on a text terminal (POSIX): the options dialog with its four
// pages as tabs, and the list editor, the address-book dialog and the rule
// editors it opens, each a full-screen form over its model; the message
// boxes, questions, file choice and help as the model asks for them. Every
// value and rule lives in the models; this file only lays them out.
#include <filesystem>
#include <string>
#include <vector>

#include "ui/address_books_model.h"
#include "ui/list_editor_model.h"
#include "ui/ncurses/form.h"
#include "ui/options_model.h"
#include "ui/rule_editor_model.h"
#include "ui/texts.h"
#include "ui/view.h"

namespace quelta {

namespace {

using tui::Form;
using tui::Outcome;
using tui::Terminal;
using tui::Widget;
using Kind = Widget::Kind;

class TerminalServices final : public DialogServices {
 public:
  void Attach(Terminal* term, DialogHost* host) {
    term_ = term;
    host_ = host;
  }

  bool Ask(const std::string& title, const std::string& text) override {
    return term_ && term_->Question(title, text);
  }
  void Tell(const std::string& title, const std::string& text, os::MsgIcon icon) override {
    if (term_) term_->Message(title, text, icon);
    else os::ShowMessage(title, text, icon);
  }
  bool ChooseFile(const std::string& title, const std::string& filter, std::string& name) override {
    if (!term_) return false;
    // The filter's descriptions ("description|pattern|...") as the note.
    std::string note;
    std::size_t start = 0;
    for (int i = 0; start <= filter.size(); ++i) {
      std::size_t bar = filter.find('|', start);
      if (bar == std::string::npos) bar = filter.size();
      if (i % 2 == 0) note += (note.empty() ? "" : ", ") + filter.substr(start, bar - start);
      start = bar + 1;
    }
    std::string typed;
    if (!term_->Input(title, note, typed)) return false;
    // A file dialog answers with a full name.
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(typed, ec);
    name = ec ? typed : full.lexically_normal().string();
    return true;
  }
  bool OpenHelp(const std::string& target) override {
    const std::size_t sep = target.find("::/");
    std::string file;
    if (os::OpenHelp(target.substr(0, sep), sep == std::string::npos ? "" : target.substr(sep + 3), file))
      return true;
    if (file.empty()) return false;
    // No viewer to start: the page's name, for the user's own browser.
    Tell(host_ ? UiText(host_->Language(), "Opt|btnHelp") : "Help", file, os::MsgIcon::Information);
    return true;
  }

 private:
  Terminal* term_ = nullptr;
  DialogHost* host_ = nullptr;
};

// ---- Building blocks ----

Widget Label(int y, int x, std::function<std::string()> caption, int width = 0, int height = 1) {
  Widget w;
  w.kind = Kind::Label;
  w.y = y, w.x = x, w.width = width, w.height = height;
  w.caption = std::move(caption);
  return w;
}

Widget Heading(int y, std::function<std::string()> caption) {
  Widget w = Label(y, 1, std::move(caption), -1);
  w.kind = Kind::Heading;
  return w;
}

Widget Button(int y, int x, std::function<std::string()> caption, std::function<Outcome()> press,
              bool isDefault = false) {
  Widget w;
  w.kind = Kind::Button;
  w.y = y, w.x = x, w.width = 1;
  w.caption = std::move(caption);
  w.press = std::move(press);
  w.isDefault = isDefault;
  return w;
}

Widget Check(int y, int x, std::function<std::string()> caption, std::function<bool()> checked,
             std::function<void()> toggle, std::function<bool()> enabled = nullptr) {
  Widget w;
  w.kind = Kind::Check;
  w.y = y, w.x = x, w.width = -1;
  w.caption = std::move(caption);
  w.checked = std::move(checked);
  w.toggle = std::move(toggle);
  w.enabled = std::move(enabled);
  return w;
}

// x positions of buttons laid out in a row from x, by their captions.
int After(int x, const std::string& caption) { return x + static_cast<int>(caption.size()) + 6; }

// The keys of a form for its last row (captions in the dialog's language).
std::string KeysHint(const std::string& ok, const std::string& cancel, const std::string& help) {
  return "Tab, Shift-Tab, Space, PgUp/PgDn  Enter: " + ok + "  Esc: " + cancel + "  F1: " + help;
}

// ---- The single rule ----

bool RunRuleEdit(Terminal& term, DialogHost& host, DialogServices& services, const EasyRule* rule,
                 EasyRule& result) {
  RuleEditModel m(host, rule);
  auto cap = [&m](const char* c) { return [&m, c] { return m.ControlCaption(c); }; };
  Form form(term, [&m] { return m.Caption(); }, 16, 76);
  form.hint = [&] {
    return KeysHint(m.ControlCaption("btnOk"), m.ControlCaption("btnCancel"), m.ControlCaption("btnHelp"));
  };
  form.help = [&] { m.OpenHelp(services); };
  const int lw = 16;
  Widget field;
  field.kind = Kind::Edit;
  field.y = 0, field.width = 46, field.labelWidth = lw;
  field.caption = cap("lblField");
  field.text = &m.field;
  field.options = RuleDataFields();
  form.Add(field);
  Widget compare;
  compare.kind = Kind::Choice;
  compare.y = 2, compare.width = 44, compare.labelWidth = lw;
  compare.caption = cap("lblCompare");
  compare.items = [&m] { return m.ComparisonTexts(); };
  compare.index = [&m] { return m.compare; };
  compare.choose = [&m](int i) { m.compare = i; };
  form.Add(compare);
  Widget ruleTerm = field;
  ruleTerm.y = 4, ruleTerm.width = 0;
  ruleTerm.caption = cap("lblRule");
  ruleTerm.text = &m.term;
  ruleTerm.options.clear();
  form.Add(ruleTerm);
  form.Add(Label(6, 0, cap("lblScore"), lw));
  using K = RuleEditModel::ScoreKind;
  const std::pair<K, const char*> kinds[] = {{K::Spam, "rbScoreSpam"}, {K::Ham, "rbScoreHam"}, {K::User, "rbScoreUser"}};
  for (int i = 0; i < 3; ++i) {
    const K kind = kinds[i].first;
    Widget r = Check(6 + i, lw, cap(kinds[i].second), [&m, kind] { return m.scoreKind == kind; },
                     [&m, kind] { m.scoreKind = kind; });
    r.kind = Kind::Radio;
    if (kind == K::User) r.width = static_cast<int>(m.ControlCaption("rbScoreUser").size()) + 4;
    form.Add(r);
  }
  Widget score;
  score.kind = Kind::Number;
  score.y = 8, score.x = lw + static_cast<int>(m.ControlCaption("rbScoreUser").size()) + 5, score.width = 9;
  score.number = [&m] { return m.userScore; };
  score.setText = [&m](const std::string& t) { m.SetUserScoreText(t); };
  score.step = [&m](int d) { m.StepUserScore(d); };
  score.enabled = [&m] { return m.UserScoreEnabled(); };
  form.Add(score);
  Widget comment = ruleTerm;
  comment.y = 10;
  comment.caption = cap("lblComment");
  comment.text = &m.comment;
  form.Add(comment);
  form.Add(Button(-1, 0, cap("btnHelp"), [&] {
    m.OpenHelp(services);
    return Outcome::Stay;
  }));
  form.Add(Button(-1, -30, cap("btnOk"), [&] { return m.Confirm(services, result) ? Outcome::Ok : Outcome::Stay; }, true));
  form.Add(Button(-1, -16, cap("btnCancel"), [] { return Outcome::Cancel; }));
  return form.Run() == Outcome::Ok;
}

// ---- The rule list ----

void RunRuleList(Terminal& term, DialogHost& host, DialogServices& services) {
  RuleListModel m(host);
  const std::string ok = UiText(host.Language(), "Opt|btnOk");
  const std::string cancel = UiText(host.Language(), "Opt|btnCancel");
  int sel = m.Count() > 0 ? 0 : -1;
  Form form(term, [&m] { return m.Caption(); });
  auto cmd = [&m](const char* c) { return [&m, c] { return m.CommandCaption(c); }; };
  auto hasRow = [&] { return sel >= 0 && sel < m.Count(); };
  auto add = [&] {
    EasyRule r;
    if (RunRuleEdit(term, host, services, nullptr, r)) sel = m.Add(r);
    return Outcome::Stay;
  };
  auto edit = [&] {
    if (!hasRow()) return Outcome::Stay;
    const EasyRule current = m.Rules()[static_cast<std::size_t>(sel)];
    EasyRule r;
    if (RunRuleEdit(term, host, services, &current, r)) m.Replace(sel, r);
    return Outcome::Stay;
  };
  auto remove = [&] {
    if (hasRow() && m.Delete(sel, services)) sel = std::min(sel, m.Count() - 1);
    return Outcome::Stay;
  };
  form.hint = [&] {
    return "Ins: " + m.CommandCaption("btnNew") + "  Enter: " + m.CommandCaption("btnEdit") +
           "  Del: " + m.CommandCaption("btnDelete") + "  Esc: " + cancel;
  };
  Widget table;
  table.kind = Kind::Table;
  table.y = 0, table.height = -3, table.width = 0;
  const int shares[RuleListModel::kColumnCount] = {13, 24, 21, 8, 22};
  for (int c = 0; c < RuleListModel::kColumnCount; ++c)
    table.columns.push_back({[&m, c] { return m.ColumnTitle(c); }, shares[c]});
  table.rows = [&m] { return m.Count(); };
  table.cell = [&m](int r, int c) { return m.Cell(r, c); };
  table.selected = &sel;
  table.onInsert = add;
  table.onEnter = edit;
  table.onDelete = remove;
  form.Add(table);
  int x = 0;
  form.Add(Button(-2, x, cmd("btnNew"), add));
  x = After(x, m.CommandCaption("btnNew"));
  form.Add(Button(-2, x, cmd("btnEdit"), edit)).enabled = hasRow;
  x = After(x, m.CommandCaption("btnEdit"));
  form.Add(Button(-2, x, cmd("btnDelete"), remove)).enabled = hasRow;
  form.Add(Button(-1, 0, cmd("btnUp"), [&] {
    sel = m.MoveUp(sel);
    return Outcome::Stay;
  })).enabled = [&] { return m.CanMoveUp(sel); };
  form.Add(Button(-1, After(0, m.CommandCaption("btnUp")), cmd("btnDown"), [&] {
    sel = m.MoveDown(sel);
    return Outcome::Stay;
  })).enabled = [&] { return m.CanMoveDown(sel); };
  form.Add(Button(-1, -30, [ok] { return ok; }, [&] { return m.Save(services) ? Outcome::Ok : Outcome::Stay; }, true));
  form.Add(Button(-1, -16, [cancel] { return cancel; }, [] { return Outcome::Cancel; }));
  form.Run();
}

// ---- The list editor ----

void RunListEditor(Terminal& term, DialogHost& host, DialogServices& services, ListMode mode) {
  ListEditorModel m(host, mode);
  std::vector<std::string> lines;
  {
    const std::string text = m.Text();
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
      if (text[i] == '\n' || text[i] == '\r') {
        lines.push_back(line);
        line.clear();
      } else {
        line += text[i];
      }
    }
    if (!line.empty() || lines.empty()) lines.push_back(line);
  }
  Form form(term, [&m] { return m.Caption(); });
  const std::string ok = m.ButtonCaption("btnOk"), cancel = m.ButtonCaption("btnCancel");
  form.hint = [&] { return "Tab, Shift-Tab  Esc: " + cancel; };
  const int descLines = static_cast<int>(tui::WrapText(m.Description(), term.Cols() - 4).size());
  form.Add(Label(0, 1, [&m] { return m.Description(); }, -1, descLines));
  Widget memo;
  memo.kind = Kind::Memo;
  memo.y = descLines + 1, memo.height = -2, memo.width = 0;
  memo.memo = &lines;
  form.Add(memo);
  form.Add(Button(-1, -30, [ok] { return ok; }, [&] {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (i + 1 < lines.size() || !lines[i].empty()) text += lines[i] + "\r\n";
    return m.Save(text, services) ? Outcome::Ok : Outcome::Stay;
  }, true));
  form.Add(Button(-1, -16, [cancel] { return cancel; }, [] { return Outcome::Cancel; }));
  form.Run();
}

// ---- The address books ----

void RunAddressBooks(Terminal& term, DialogHost& host, DialogServices& services) {
  AddressBooksModel m(host);
  int sel = m.Rows().empty() ? -1 : 0;
  auto count = [&m] { return static_cast<int>(m.Rows().size()); };
  auto cap = [&m](const char* c) { return [&m, c] { return m.ControlCaption(c); }; };
  Form form(term, [&m] { return m.Caption(); });
  auto add = [&] {
    const int row = m.Add(services);
    if (row >= 0) sel = row;
    return Outcome::Stay;
  };
  auto remove = [&] {
    if (!AddressBooksModel::CanRemove(sel >= 0 && sel < count() ? 1 : 0)) return Outcome::Stay;
    m.Remove(sel);
    sel = std::min(sel, count() - 1);
    return Outcome::Stay;
  };
  form.hint = [&] {
    return "Ins: " + m.ControlCaption("btnAdd") + "  Del: " + m.ControlCaption("btnRemove") +
           "  Enter: " + m.ControlCaption("btnOk") + "  Esc: " + m.ControlCaption("btnCancel");
  };
  Widget table;
  table.kind = Kind::Table;
  table.y = 0, table.height = -3, table.width = 0;
  table.columns = {{[&m] { return m.ColumnTitle(0); }, 3}, {[&m] { return m.ColumnTitle(1); }, 1}};
  table.rows = count;
  table.cell = [&m](int r, int c) {
    const BookRow& row = m.Rows()[static_cast<std::size_t>(r)];
    return c == 0 ? row.fileName : m.StateText(row.state);
  };
  table.selected = &sel;
  table.onInsert = add;
  table.onDelete = remove;
  form.Add(table);
  form.Add(Button(-2, 0, cap("btnAdd"), add));
  form.Add(Button(-2, After(0, m.ControlCaption("btnAdd")), cap("btnRemove"), remove)).enabled = [&] {
    return AddressBooksModel::CanRemove(sel >= 0 && sel < count() ? 1 : 0);
  };
  form.Add(Button(-1, -30, cap("btnOk"), [&] { return m.Save(services) ? Outcome::Ok : Outcome::Stay; }, true));
  form.Add(Button(-1, -16, cap("btnCancel"), [] { return Outcome::Cancel; }));
  form.Run();
}

// ---- The options dialog ----

void RunOptions(Terminal& term, DialogHost& host, DialogServices& services) {
  OptionsModel m(host);
  Form form(term, [&m] { return m.Caption("frmTitle"); });
  auto cap = [&m](const std::string& c) { return [&m, c] { return m.Caption(c); }; };
  auto page = [&form] { return static_cast<OptionsPage>(form.Page()); };
  form.help = [&] { m.OpenHelp(page(), services); };
  form.hint = [&] {
    return KeysHint(m.Caption("btnOk"), m.Caption("btnCancel"), m.Caption("btnHelp"));
  };
  Widget tabs;
  tabs.kind = Kind::Tabs;
  tabs.y = 0, tabs.width = 0;
  tabs.items = [&m] {
    return std::vector<std::string>{m.Caption("tabStats"), m.Caption("tabGeneral"), m.Caption("tabEasy"),
                                    m.Caption("tabBayes")};
  };
  form.Add(tabs);

  auto onPage = [&form](OptionsPage p, Widget w) -> Widget& {
    w.page = static_cast<int>(p);
    return form.Add(std::move(w));
  };
  auto check = [&](OptionsPage p, CheckBox b, int y, int x) -> Widget& {
    return onPage(p, Check(y, x, cap(Info(b).control), [&m, b] { return m.Checked(b); },
                           [&m, b] { m.SetChecked(b, !m.Checked(b)); },
                           [&m, b] { return m.Enabled(b); }));
  };
  // A number field; with label false the check box before it names it.
  auto number = [&](NumberField f, int y, int x, bool label = true, int labelWidth = 46) -> Widget& {
    Widget w;
    w.kind = Kind::Number;
    w.y = y, w.x = x, w.labelWidth = label ? labelWidth : 0, w.width = (label ? labelWidth : 0) + 9;
    if (label) w.caption = cap("lbl" + std::string(Info(f).control + 3));
    w.number = [&m, f] { return m.Number(f); };
    w.setText = [&m, f](const std::string& t) { m.SetNumberText(f, t); };
    w.step = [&m, f](int d) { m.StepNumber(f, d); };
    w.readOnChange = Info(f).readOnChange;
    w.enabled = [&m, f] { return m.Enabled(f); };
    return onPage(Info(f).page, std::move(w));
  };
  auto button = [&](OptionsPage p, const char* name, int y, int x, std::function<void()> run) -> Widget& {
    return onPage(p, Button(y, x, cap(name), [run] {
      run();
      return Outcome::Stay;
    }));
  };



  using P = OptionsPage;
  // Statistik
  Widget report;
  report.kind = Kind::Report;
  report.y = 2, report.x = 1, report.height = 15, report.width = -1;
  report.lines = [&m] {
    std::vector<tui::ColouredLine> out;
    for (const ReportLine& l : m.StatisticsReport()) {
      tui::Style s = tui::Style::Normal;
      switch (l.colour) {
        case ReportColour::Blue: s = tui::Style::Blue; break;
        case ReportColour::Green: s = tui::Style::Green; break;
        case ReportColour::Olive: s = tui::Style::Olive; break;
        case ReportColour::Red: s = tui::Style::Red; break;
        case ReportColour::Normal: break;
      }
      out.push_back({l.text, s, l.bold});
    }
    return out;
  };
  onPage(P::Statistics, report);
  button(P::Statistics, "btnStatReset", 18, 1, [&] { m.ResetStatistics(services); });

  // Allgemein
  Widget lang;
  lang.kind = Kind::Choice;
  lang.y = 2, lang.x = 1, lang.labelWidth = 46, lang.width = 46 + 28;
  lang.caption = cap("lblLanguage");
  lang.items = [&m] { return m.Languages(); };
  lang.index = [&m] { return m.LanguageIndex(); };
  lang.choose = [&m](int i) { m.ChooseLanguage(i); };
  onPage(P::General, lang);
  onPage(P::General, Heading(3, cap("grpLogging")));
  onPage(P::General, Label(4, 1, cap("lblLogExt"), -1));
  check(P::General, CheckBox::LogExtBayes, 5, 3).width = 36;
  check(P::General, CheckBox::LogExtDnsbl, 5, 40);
  check(P::General, CheckBox::LogExtUrlbl, 6, 3).width = 36;
  check(P::General, CheckBox::LogExtMXSAV, 6, 40);
  number(NumberField::MaxLogSize, 7, 1);
  number(NumberField::OldLogAge, 8, 1);
  onPage(P::General, Heading(9, cap("grpLimits")));
  number(NumberField::MaxMsgSize, 10, 1);
  number(NumberField::MaxDataSize, 11, 1);
  number(NumberField::MaxRegExpSize, 12, 1);
  number(NumberField::BreakAtScore, 13, 1);
  number(NumberField::AWLDays, 14, 1);
  check(P::General, CheckBox::DebugMode, 15, 1);
  onPage(P::General, Heading(16, cap("grpUpdate")));
  check(P::General, CheckBox::Update, 17, 1);
  number(NumberField::UpdateInterval, 18, 1);
  button(P::General, "btnUpdateCheck", 18, 58, [&] { m.CheckForUpdate(services); });

  // Filterung
  check(P::Easy, CheckBox::EasyEnabled, 2, 1);
  onPage(P::Easy, Label(3, 5, cap("lblEasyRestart"), -1, 2));
  onPage(P::Easy, Heading(5, cap("grpEasyFilters")));
  check(P::Easy, CheckBox::EasyAutoWL, 6, 3);
  check(P::Easy, CheckBox::EasyAddrBooks, 7, 3).width = 54;
  button(P::Easy, "btnEasyAddrBooks", 7, 58, [&] { RunAddressBooks(term, host, services); });
  check(P::Easy, CheckBox::EasyRules, 8, 3);
  check(P::Easy, CheckBox::EasyIntern, 9, 3).width = 54;
  button(P::Easy, "btnEasyIntern", 9, 58, [&] { RunRuleList(term, host, services); });
  check(P::Easy, CheckBox::EasyBayes, 10, 3);
  check(P::Easy, CheckBox::EasyBayesIsScore, 11, 5).width = 46;
  number(NumberField::EasyBayesIsScore, 11, 52, false);
  check(P::Easy, CheckBox::EasyDnsbl, 12, 3).width = 54;
  button(P::Easy, "btnEasyDnsbl", 12, 58, [&] { RunListEditor(term, host, services, ListMode::Dnsbl); });
  check(P::Easy, CheckBox::EasyUrlbl, 13, 3).width = 54;
  button(P::Easy, "btnEasyUrlbl", 13, 58, [&] { RunListEditor(term, host, services, ListMode::Urlbl); });
  onPage(P::Easy, Heading(14, cap("grpEasyLists")));
  button(P::Easy, "btnEasyWhitelist", 15, 3, [&] { RunListEditor(term, host, services, ListMode::Whitelist); });
  button(P::Easy, "btnEasyBlacklist", 15, After(3, m.Caption("btnEasyWhitelist")),
      [&] { RunListEditor(term, host, services, ListMode::Blacklist); });

  // Bayes
  check(P::Bayes, CheckBox::BayesEnabled, 2, 1);
  onPage(P::Bayes, Heading(3, cap("grpBayesClassify")));
  number(NumberField::MaxSigWords, 4, 3, true, 44);
  number(NumberField::MaxWords, 5, 3, true, 44);
  number(NumberField::MinWordCount, 6, 3, true, 44);
  onPage(P::Bayes, Heading(7, cap("grpBayesLearn")));
  check(P::Bayes, CheckBox::AddMarkSpam, 8, 3);
  check(P::Bayes, CheckBox::AddMarkHam, 9, 3);
  check(P::Bayes, CheckBox::AddMaxScore, 10, 3);
  check(P::Bayes, CheckBox::AddHigher, 11, 3).width = 44;
  number(NumberField::AddHigherValue, 11, 47, false);
  check(P::Bayes, CheckBox::AddLower, 12, 3).width = 44;
  number(NumberField::AddLowerValue, 12, 47, false);
  onPage(P::Bayes, Heading(13, cap("grpBayesWords")));
  check(P::Bayes, CheckBox::NoHtmlPart, 14, 3);
  check(P::Bayes, CheckBox::NoNumbersOnly, 15, 3);
  button(P::Bayes, "btnBayesDelete", 17, 1, [&] { m.DeleteBayesDatabases(services); });

  form.Add(Button(-1, 0, cap("btnHelp"), [&] {
    m.OpenHelp(page(), services);
    return Outcome::Stay;
  }));
  form.Add(Button(-1, -30, cap("btnOk"), [&] {
    m.Confirm();  // a failed save is logged; the dialog closes either way
    return Outcome::Ok;
  }, true));
  form.Add(Button(-1, -16, cap("btnCancel"), [] { return Outcome::Cancel; }));
  form.Run();
}

}  // namespace

void RunOptionsDialog(DialogHost& host, DialogServices& services) {
  std::string whyNot;
  const std::unique_ptr<Terminal> term = Terminal::Open(whyNot);
  if (!term) {
    host.Log("WARNING: Options dialog not shown: no terminal to show it on (" + whyNot + ").");
    return;
  }
  auto* own = dynamic_cast<TerminalServices*>(&services);
  if (own) own->Attach(term.get(), &host);
  RunOptions(*term, host, services);
  if (own) own->Attach(nullptr, nullptr);
}

std::unique_ptr<DialogServices> MakePlatformServices() { return std::make_unique<TerminalServices>(); }

}  // namespace quelta
