// The editors' models: "EasyMode.rdb" rows through the rule list and the
// single-rule dialog, the list editor's five files, the address-book
// dialog's states, and saves that fail without losing the user's edits.
#include <gtest/gtest.h>

#include <tuple>

#include "ui/address_books_model.h"
#include "ui/list_editor_model.h"
#include "ui/rule_editor_model.h"
#include "ui/ui_test_support.h"

using namespace quelta;
using testing_support::RecordingServices;
using testing_support::AddressBookFile;

namespace {

using Editors = testing_support::HostTest;

const std::string kRows =
    "Subject\x01sbn\x01" "cheap\x01" "32767\x01lower-case code\r\n"
    "From\x01R\x01@spam\\.example$\x01-32768\x01" "ham rule\n"
    "To\x01XY\x01me\x01" "15\x01unknown code\r\n"
    "Header\x01s\x01x\r\n";

TEST_F(Editors, RuleListRowsShowTheirTextsAndGoBackWithUpperCaseCodes) {
  dir.Write("EasyMode.rdb", kRows);
  RuleListModel m(host);
  ASSERT_EQ(m.Count(), 4);
  const std::vector<std::vector<std::string>> cells = {
      {"Subject", "beginnt nicht mit", "cheap", "Spam", "lower-case code"},
      {"From", "entspricht (RegEx)", "@spam\\.example$", "Ham", "ham rule"},
      {"To", "", "me", "15", "unknown code"},
      {"Header", "enth\344lt", "x", "", ""},
  };
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < RuleListModel::kColumnCount; ++c) EXPECT_EQ(m.Cell(r, c), cells[r][c]) << r << c;

  RecordingServices s;
  ASSERT_TRUE(m.Save(s));
  EXPECT_EQ(dir.Read("EasyMode.rdb"),
            "Subject\x01SBN\x01" "cheap\x01" "32767\x01lower-case code\r\n"
            "From\x01R\x01@spam\\.example$\x01-32768\x01" "ham rule\r\n"
            "To\x01XY\x01me\x01" "15\x01unknown code\r\n"
            "Header\x01S\x01x\x01\x01\r\n");
}

TEST_F(Editors, RuleListRowsMoveWithinTheListAndGoAfterYes) {
  dir.Write("EasyMode.rdb", kRows);
  RuleListModel m(host);
  const std::pair<int, int> moves[] = {{m.MoveUp(0), 0}, {m.MoveDown(3), 3}, {m.MoveUp(4), 4},
                                       {m.MoveDown(2), 3}, {m.MoveUp(1), 0}, {m.MoveDown(-1), -1}};
  for (const auto& [got, want] : moves) EXPECT_EQ(got, want);
  EXPECT_FALSE(m.CanMoveUp(4) || m.CanMoveDown(3) || m.CanMoveUp(0) || m.CanMoveDown(-1));
  RecordingServices s;
  s.answers = {false, true};
  EXPECT_FALSE(m.Delete(4, s) || m.Delete(0, s));
  EXPECT_TRUE(m.Delete(0, s));
  EXPECT_EQ(s.asked.size(), 2u);
  std::string fields;
  for (const EasyRule& r : m.Rules()) fields += r.field + " ";
  EXPECT_EQ(fields, "Subject Header To ");
}

TEST_F(Editors, RuleListAFailedSaveTellsAndKeepsTheRowsAndTheFile) {
  dir.Write("EasyMode.rdb", kRows);
  RuleListModel m(host);
  m.Add({"Text", "S", "x", "5", "c"});
  host.failWrites = true;
  RecordingServices s;
  EXPECT_FALSE(m.Save(s));
  ASSERT_EQ(s.told.size(), 1u);
  EXPECT_EQ(s.told[0].title, "Fehler beim Speichern");
  EXPECT_NE(s.told[0].text.find(m.Path()), std::string::npos);
  EXPECT_EQ(m.Count(), 5);
  EXPECT_EQ(dir.Read("EasyMode.rdb"), kRows);
}

TEST_F(Editors, RuleEditOkIsRefusedUntilTheRowIsSafe) {
  struct Case {
    const char* field;
    int compare;
    const char* term;
    const char* comment;
    const char* title;  // "" when accepted
    const char* named;  // the field a bad byte is reported in
  };
  const Case cases[] = {
      {"Subject", 0, "x", "a]", "Falscher Wert"},
      {"", -1, "", "[", "Falscher Wert"},  // brackets are tested first
      {"Subject", 0, "x\x01y", "c", "Ung\xFCltiges Zeichen", "\"Suchbegriff\""},
      {"Sub\r\nject", 0, "x", "c", "Ung\xFCltiges Zeichen", "\"Datenfeld\""},
      {"Subject", 0, "x", "two\nlines", "Ung\xFCltiges Zeichen", "\"Kommentar\""},
      {"Subject", -1, "x", "c", "Fehlende Werte"},
      {"Subject", 0, "", "c", "Fehlende Werte"},
      {"Subject", 0, "x", "", "Fehlende Werte"},
      {"Subject", 3, "x", "c", ""},
  };
  for (const auto& c : cases) {
    RuleEditModel m(host, nullptr);
    m.field = c.field;
    m.compare = c.compare;
    m.term = c.term;
    m.comment = c.comment;
    RecordingServices s;
    EasyRule rule;
    const bool accepted = m.Confirm(s, rule);
    EXPECT_EQ(accepted, *c.title == '\0') << c.field << "|" << c.term << "|" << c.comment;
    if (accepted) {
      EXPECT_TRUE(s.told.empty());
      EXPECT_EQ(rule.code, "SBN");
    } else {
      ASSERT_EQ(s.told.size(), 1u);
      EXPECT_EQ(s.told[0].title, c.title);
      EXPECT_EQ(s.told[0].icon, os::MsgIcon::Warning);
      if (c.named) EXPECT_NE(s.told[0].text.find(c.named), std::string::npos) << s.told[0].text;
    }
  }
}

TEST_F(Editors, RuleEditScoreChoicesBecomeTheScoreField) {
  using Kind = RuleEditModel::ScoreKind;
  using Case = std::tuple<const char*, Kind, std::int32_t>;  // stored, shown as, user score
  for (const auto& [stored, kind, user] :
       {Case{"32767", Kind::Spam, 0}, Case{"-32768", Kind::Ham, 0}, Case{"15", Kind::User, 15}, Case{"-40", Kind::User, -40}}) {
    const EasyRule row{"Subject", "s", "x", stored, "c"};
    RuleEditModel m(host, &row);
    EXPECT_EQ(m.Caption(), "Regel bearbeiten");
    EXPECT_EQ(m.scoreKind, kind) << stored;
    EXPECT_EQ(m.UserScoreEnabled(), kind == Kind::User);
    EXPECT_EQ(m.userScore, user);
    RecordingServices s;
    EasyRule out;
    ASSERT_TRUE(m.Confirm(s, out));
    EXPECT_EQ(out, (EasyRule{"Subject", "S", "x", stored, "c"}));
  }
  RuleEditModel m(host, nullptr);
  EXPECT_EQ(m.Caption(), "Neue Regel erstellen");
  EXPECT_EQ(m.StepUserScore(1), 5);
  EXPECT_EQ(m.SetUserScoreText("32766"), 32766);
  EXPECT_EQ(m.StepUserScore(1), 32767);
  EXPECT_EQ(m.SetUserScoreText("zz"), 32767);
}

TEST_F(Editors, RuleEditHelpOpensTheRulesPageOrTellsWhyNot) {
  RecordingServices s;
  RuleEditModel(host, nullptr).OpenHelp(s);
  s.helpStarts = false;
  RuleEditModel(host, nullptr).OpenHelp(s);  // only this one tells
  EXPECT_EQ(s.helpTargets, std::vector<std::string>(2, dir.Folder() + "Quelta.chm::/rulepredef.html"));
  ASSERT_EQ(s.told.size(), 1u);
  EXPECT_EQ(s.told[0].icon, os::MsgIcon::Error);
}

TEST_F(Editors, ListEditorEachModeEditsItsFileWithItsTexts) {
  using Case = std::tuple<ListMode, const char*, const char*>;  // the mode, its file, its caption
  for (const auto& [mode, file, caption] :
       {Case{ListMode::Whitelist, "Whitelist.txt", "Whitelist.txt bearbeiten"},
        Case{ListMode::AddressBooks, "EasyAddrBooks.dat", "Adressb\xFC" "cher bearbeiten"},
        Case{ListMode::Dnsbl, "EasyDNSBL.dat", "DNSBL-Server bearbeiten"},
        Case{ListMode::Urlbl, "EasyURLBL.dat", "URLBL-Server bearbeiten"},
        Case{ListMode::Blacklist, "Blacklist.txt", "Blacklist.txt bearbeiten"}}) {
    ListEditorModel m(host, mode);
    EXPECT_EQ(m.Path(), dir.File(file));
    EXPECT_EQ(m.Caption(), caption);
    EXPECT_GT(m.Description().size(), 60u) << file;
    EXPECT_EQ(m.Text(), "");
    RecordingServices s;
    ASSERT_TRUE(m.Save("a\r\n#b\nc", s));  // Ok creates the file
    EXPECT_EQ(dir.Read(file), "a\r\n#b\r\nc\r\n");
    EXPECT_EQ(m.Text(), "a\r\n#b\r\nc\r\n");
  }
}

TEST_F(Editors, AddressBooksRowsShowTheFourStates) {
  dir.Write("full.abd", AddressBookFile({"friend@example.org"}));
  dir.Write("empty.abd", AddressBookFile({}));
  dir.Write("host/inhost.abd", AddressBookFile({"a@example.org"}));
  dir.Write("broken.abd", "not a book at all, not at all");
  const std::string list = "missing.abd\r\n" + dir.File("broken.abd") + "\r\n" +
                           dir.File("empty.abd") + "\r\n" + dir.File("full.abd") + "\r\ninhost.abd\r\n";
  dir.Write("EasyAddrBooks.dat", list);
  AddressBooksModel m(host);
  const std::vector<std::string> states = {"Nicht gefunden", "Falsches Format", "Leer", "OK", "OK"};
  ASSERT_EQ(m.Rows().size(), states.size());
  for (std::size_t i = 0; i < states.size(); ++i) EXPECT_EQ(m.StateText(m.Rows()[i].state), states[i]) << i;

  RecordingServices s;
  EXPECT_EQ(m.Add(s), -1);  // cancelled
  s.chosenFile = dir.File("empty.abd");
  EXPECT_EQ(m.Add(s), 5);
  EXPECT_EQ(m.Rows()[5].state, BookState::Empty);
  EXPECT_EQ(s.asked[0],
            "Addressbuchdatei ausw\xE4hlen|The Bat! Adressbuch (*.ABD)|*.abd|Alle Dateien (*.*)|*.*");
  EXPECT_TRUE(AddressBooksModel::CanRemove(1) && !AddressBooksModel::CanRemove(0) && !AddressBooksModel::CanRemove(2));
  m.Remove(0);
  ASSERT_TRUE(m.Save(s));
  EXPECT_EQ(dir.Read("EasyAddrBooks.dat"), list.substr(list.find("\r\n") + 2) + dir.File("empty.abd") + "\r\n");
  for (int i = 0; i < 5; ++i) m.Remove(0);
  ASSERT_TRUE(m.Save(s));
  EXPECT_EQ(dir.Read("EasyAddrBooks.dat"), "");
}

}  // namespace
