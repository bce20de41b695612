#include "ui/rule_editor_model.h"

#include <utility>

#include "app/language.h"
#include "app/locations.h"
#include "base/strings.h"
#include "rules/easy_mode.h"
#include "ui/texts.h"

namespace quelta {

namespace {

const std::array<ComparisonCode, 8> kCodes = {{
    {"S", "RuleEd|CompDataS"},
    {"SN", "RuleEd|CompDataSN"},
    {"SB", "RuleEd|CompDataSB"},
    {"SBN", "RuleEd|CompDataSBN"},
    {"SE", "RuleEd|CompDataSE"},
    {"SEN", "RuleEd|CompDataSEN"},
    {"R", "RuleEd|CompDataR"},
    {"RN", "RuleEd|CompDataRN"},
}};

// The label of a control without its colon, for messages naming a field.
std::string FieldName(const std::string& label) {
  std::string s = Trim(label);
  if (!s.empty() && s.back() == ':') s.pop_back();
  return s;
}

bool BreaksRow(const std::string& s) { return s.find_first_of("\x01\r\n") != std::string::npos; }

}  // namespace

const std::array<ComparisonCode, 8>& ComparisonCodes() { return kCodes; }

int ComparisonIndex(const std::string& code) {
  const std::string upper = AsciiUpper(code);
  for (std::size_t i = 0; i < kCodes.size(); ++i)
    if (upper == kCodes[i].code) return static_cast<int>(i);
  return -1;
}

const std::vector<std::string>& RuleDataFields() {
  static const std::vector<std::string> fields = {
      "From",        "RawFrom",   "To",        "RawTo",          "Subject",     "RawSubject",
      "Header",      "RawHeader", "Text",      "PlainPart",      "RawPlainPart", "HtmlPart",
      "RawHtmlPart", "RawBody",   "RawMsg",    "RawDate",        "Boundary",    "Charset",
      "ContentType", "Encoding",  "InReplyTo", "Mailer",         "MsgID",       "Organization",
      "Received",    "References", "ReplyTo",  "ReturnPath"};
  return fields;
}

std::vector<EasyRule> ParseEasyRules(const std::string& text) {
  std::vector<EasyRule> rules;
  for (const std::string& line : SplitLines(text)) {
    std::vector<std::string> f = SplitAt(line, kEasyTableSeparator);
    f.resize(5);
    rules.push_back({f[0], f[1], f[2], f[3], f[4]});
  }
  return rules;
}

std::string FormatEasyRules(const std::vector<EasyRule>& rules) {
  std::string text;
  for (const EasyRule& r : rules) {
    const int known = ComparisonIndex(r.code);
    // A code the dialogs do not know is kept as it was written.
    const std::string code = known >= 0 ? kCodes[known].code : r.code;
    for (const std::string* f : {&r.field, &code, &r.term, &r.score}) {
      text += *f;
      text += kEasyTableSeparator;
    }
    text += r.comment + "\r\n";
  }
  return text;
}

// ---- RuleListModel ----

RuleListModel::RuleListModel(DialogHost& host) : host_(host) {
  std::string text;
  if (os::FileExists(Path()) && os::ReadFile(Path(), text)) rules_ = ParseEasyRules(text);
}

std::string RuleListModel::Path() const { return host_.Folders().easyPath + "EasyMode.rdb"; }

std::string RuleListModel::Caption() const { return UiText(host_.Language(), "RuleEd|frmTitle"); }

std::string RuleListModel::ColumnTitle(int column) const {
  static const char* const keys[kColumnCount] = {"RuleEd|lvRulesField", "RuleEd|lvRulesCompare",
                                                 "RuleEd|lvRulesTerm", "RuleEd|lvRulesScore",
                                                 "RuleEd|lvRulesCommnet"};
  return column >= 0 && column < kColumnCount ? UiText(host_.Language(), keys[column]) : "";
}

std::string RuleListModel::CommandCaption(const std::string& command) const {
  return UiText(host_.Language(), "RuleEd|" + command);
}

std::string RuleListModel::Cell(int row, int column) const {
  if (row < 0 || row >= Count()) return std::string();
  const EasyRule& r = rules_[row];
  switch (column) {
    case kField: return r.field;
    case kCompare: {
      const int i = ComparisonIndex(r.code);
      return i >= 0 ? UiText(host_.Language(), kCodes[i].key) : std::string();
    }
    case kTerm: return r.term;
    case kScore:
      if (r.score == kEasyScoreSpam) return UiText(host_.Language(), "RuleEd|ScoreSpam");
      if (r.score == kEasyScoreHam) return UiText(host_.Language(), "RuleEd|ScoreHam");
      return r.score;
    case kComment: return r.comment;
    default: return std::string();
  }
}

int RuleListModel::Add(const EasyRule& rule) {
  rules_.push_back(rule);
  return Count() - 1;
}

void RuleListModel::Replace(int row, const EasyRule& rule) {
  if (row >= 0 && row < Count()) rules_[row] = rule;
}

bool RuleListModel::Delete(int row, DialogServices& services) {
  if (row < 0 || row >= Count()) return false;
  if (!services.Ask(UiText(host_.Language(), "RuleEd|MsgDelTitle"),
                    UiText(host_.Language(), "RuleEd|MsgDelText")))
    return false;
  rules_.erase(rules_.begin() + row);
  return true;
}

int RuleListModel::MoveUp(int row) {
  if (!CanMoveUp(row)) return row;
  std::swap(rules_[row], rules_[row - 1]);
  return row - 1;
}

int RuleListModel::MoveDown(int row) {
  if (!CanMoveDown(row)) return row;
  std::swap(rules_[row], rules_[row + 1]);
  return row + 1;
}

bool RuleListModel::Save(DialogServices& services) {
  if (host_.ReplaceDataFile(Path(), FormatEasyRules(rules_))) return true;
  services.Tell(UiText(host_.Language(), "Opt|msgSaveErrTitle"),
                UiText(host_.Language(), "Opt|msgSaveErrText", Path()), os::MsgIcon::Error);
  return false;
}

// ---- RuleEditModel ----

RuleEditModel::RuleEditModel(DialogHost& host, const EasyRule* rule) : host_(host), isNew_(!rule) {
  if (!rule) return;
  field = rule->field;
  compare = ComparisonIndex(rule->code);
  term = rule->term;
  comment = rule->comment;
  if (rule->score == kEasyScoreSpam) {
    scoreKind = ScoreKind::Spam;
  } else if (rule->score == kEasyScoreHam) {
    scoreKind = ScoreKind::Ham;
  } else {
    scoreKind = ScoreKind::User;
    userScore = ReadNumberText(rule->score, kUserScoreRange, 0);
  }
}

std::string RuleEditModel::Caption() const {
  return UiText(host_.Language(), isNew_ ? "RuleEdit|frmTitleNew" : "RuleEdit|frmTitleEdit");
}

std::string RuleEditModel::ControlCaption(const std::string& control) const {
  if (control.compare(0, 3, "btn") == 0) return UiText(host_.Language(), "Opt|" + control);
  return UiText(host_.Language(), "RuleEdit|" + control);
}

std::vector<std::string> RuleEditModel::ComparisonTexts() const {
  std::vector<std::string> texts;
  for (const auto& c : kCodes) texts.push_back(UiText(host_.Language(), c.key));
  return texts;
}

std::int32_t RuleEditModel::SetUserScoreText(const std::string& text) {
  userScore = ReadNumberText(text, kUserScoreRange, userScore);
  return userScore;
}

std::int32_t RuleEditModel::StepUserScore(int delta) {
  userScore = StepNumber(userScore, delta, kUserScoreRange);
  return userScore;
}

bool RuleEditModel::Confirm(DialogServices& services, EasyRule& rule) const {
  const LanguageTable& lang = host_.Language();
  if (comment.find_first_of("[]") != std::string::npos) {
    services.Tell(UiText(lang, "RuleEdit|MsgNoSqBrackTitle"), UiText(lang, "RuleEdit|MsgNoSqBrackText"),
                  os::MsgIcon::Warning);
    return false;
  }
  // A separator byte or a line break would split the row in the file.
  const std::pair<const std::string*, const char*> texts[] = {
      {&field, "lblField"}, {&term, "lblRule"}, {&comment, "lblComment"}};
  for (const auto& [value, label] : texts)
    if (BreaksRow(*value)) {
      services.Tell(UiText(lang, "RuleEdit|MsgBadCharTitle"),
                    UiText(lang, "RuleEdit|MsgBadCharText", FieldName(ControlCaption(label))),
                    os::MsgIcon::Warning);
      return false;
    }
  if (field.empty() || compare < 0 || compare >= static_cast<int>(kCodes.size()) || term.empty() ||
      comment.empty()) {
    services.Tell(UiText(lang, "RuleEdit|MsgMissingTitle"), UiText(lang, "RuleEdit|MsgMissingText"),
                  os::MsgIcon::Warning);
    return false;
  }
  rule.field = field;
  rule.code = kCodes[compare].code;
  rule.term = term;
  rule.score = scoreKind == ScoreKind::Spam  ? kEasyScoreSpam
               : scoreKind == ScoreKind::Ham ? kEasyScoreHam
                                             : std::to_string(userScore);
  rule.comment = comment;
  return true;
}

std::string RuleEditModel::HelpTarget() const { return host_.PluginDir() + "Quelta.chm::/rulepredef.html"; }

void RuleEditModel::OpenHelp(DialogServices& services) const {
  if (!services.OpenHelp(HelpTarget()))
    services.Tell(UiText(host_.Language(), "Opt|msgHelpErrTitle"),
                  UiText(host_.Language(), "Opt|msgHelpErrText"), os::MsgIcon::Error);
}

}  // namespace quelta
