// The rule editor without a window: the list of easy-mode rules kept in
// "EasyMode.rdb" (RuleListModel) and the dialog that edits one of them
// (RuleEditModel).
//
// File format: one rule per line, five fields separated by the byte 0x01:
// data field, comparison code, search term, score, comment. The score
// "32767" marks the message as spam, "-32768" as ham.
//
// Promises: a row keeps its fields byte for byte, except that a known
// comparison code is written back in upper case; saving replaces the file
// in one step (temporary file + rename) and, when that fails, tells the
// user and keeps the rows, so the dialog can stay open. RuleEditModel never
// yields a row that could break the file (no 0x01, CR or LF in a field, no
// square bracket in the comment, no empty field). No call throws. One
// thread (the dialog's).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/dialog_host.h"
#include "ui/number_field.h"

namespace quelta {

// One row of "EasyMode.rdb" as written in the file.
struct EasyRule {
  std::string field, code, term, score, comment;
  bool operator==(const EasyRule& o) const {
    return field == o.field && code == o.code && term == o.term && score == o.score &&
           comment == o.comment;
  }
};

// The eight comparison codes in the order the dialogs offer them.
struct ComparisonCode {
  const char* code;  // "SBN"
  const char* key;   // "RuleEd|CompDataSBN"
};
const std::array<ComparisonCode, 8>& ComparisonCodes();
// Index of a code (compared in upper case) in ComparisonCodes; -1 when unknown.
int ComparisonIndex(const std::string& code);
// The data fields the single-rule dialog offers, in order.
const std::vector<std::string>& RuleDataFields();

// Rows of a file text (a missing field is empty); a row per line.
std::vector<EasyRule> ParseEasyRules(const std::string& text);
// The file text: every row as one line ending in CR LF.
std::string FormatEasyRules(const std::vector<EasyRule>& rules);

constexpr std::int32_t kScoreSpam = 32767;
constexpr std::int32_t kScoreHam = -32768;

class RuleListModel {
 public:
  enum Column { kField, kCompare, kTerm, kScore, kComment };
  static constexpr int kColumnCount = 5;

  // Reads EasyPath + "EasyMode.rdb" when it exists.
  explicit RuleListModel(DialogHost& host);

  std::string Caption() const;                 // "RuleEd|frmTitle"
  std::string ColumnTitle(int column) const;   // "RuleEd|lvRules..."
  // Caption of a command: "btnNew", "btnEdit", "btnDelete", "btnUp", "btnDown".
  std::string CommandCaption(const std::string& command) const;
  std::string Path() const;

  const std::vector<EasyRule>& Rules() const { return rules_; }
  int Count() const { return static_cast<int>(rules_.size()); }
  // The text of a cell: the comparison as its text ("" for an unknown
  // code), the scores 32767 and -32768 as "Spam" and "Ham".
  std::string Cell(int row, int column) const;

  // Adds a row at the end; its index.
  int Add(const EasyRule& rule);
  void Replace(int row, const EasyRule& rule);
  // Asks first; true when the row was removed.
  bool Delete(int row, DialogServices& services);
  // Swaps the row with its neighbour; the row's new index (unchanged when
  // it cannot move).
  int MoveUp(int row);
  int MoveDown(int row);
  bool CanMoveUp(int row) const { return row > 0 && row < Count(); }
  bool CanMoveDown(int row) const { return row >= 0 && row + 1 < Count(); }

  // Ok: writes every row to the file. False (after an error box) when the
  // file could not be written; the rows stay as they are.
  bool Save(DialogServices& services);

 private:
  DialogHost& host_;
  std::vector<EasyRule> rules_;
};

class RuleEditModel {
 public:
  enum class ScoreKind { Spam, Ham, User };
  static constexpr NumberRange kUserScoreRange{-32768, 32767, 5};

  // A new rule (rule null) or the rule to edit.
  RuleEditModel(DialogHost& host, const EasyRule* rule);

  std::string Caption() const;  // "RuleEdit|frmTitleNew" / "RuleEdit|frmTitleEdit"
  // "lblField", "rbScoreSpam", ... : "RuleEdit|" + name; "btnOk",
  // "btnCancel", "btnHelp": the options dialog's texts.
  std::string ControlCaption(const std::string& control) const;
  // The texts of the comparison choice, in ComparisonCodes order.
  std::vector<std::string> ComparisonTexts() const;

  // The dialog's values; the view sets them as the user edits.
  std::string field;
  int compare = -1;  // index into ComparisonCodes, -1: none chosen
  std::string term;
  ScoreKind scoreKind = ScoreKind::User;
  std::int32_t userScore = 0;
  std::string comment;

  bool UserScoreEnabled() const { return scoreKind == ScoreKind::User; }
  std::int32_t SetUserScoreText(const std::string& text);
  std::int32_t StepUserScore(int delta);

  // Ok: checks the values; a refusal shows its warning box and returns
  // false (the dialog stays open), else the row goes to rule.
  bool Confirm(DialogServices& services, EasyRule& rule) const;
  // Hilfe: the help page on rules; an error box when the viewer cannot be
  // started.
  void OpenHelp(DialogServices& services) const;
  std::string HelpTarget() const;

 private:
  DialogHost& host_;
  bool isNew_;
};

}  // namespace quelta
