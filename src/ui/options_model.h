// OptionsModel: the options dialog without a window. It holds the values
// the dialog's controls show (filled from the settings when it is made),
// says which controls are enabled, builds the statistics report and runs
// the dialog's commands. A view (Win32 dialog, terminal) only mirrors it:
// it shows Caption/Number/Checked/Enabled, passes every edit in, and calls
// Confirm on Ok and nothing on cancel.
//
// Promises: edits stay in the model until Confirm copies them into the
// settings and saves them; cancelling (dropping the model) changes nothing
// in the settings - except the language, which ChooseLanguage sets and
// loads at once, and the statistics reset and the Bayes deletion, which act
// at once. No call throws for any input. One thread (the dialog's).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/dialog_host.h"
#include "ui/number_field.h"

namespace quelta {

struct Statistics;

enum class OptionsPage { Statistics, General, Easy, Bayes };
constexpr int kOptionsPageCount = 4;

// The number fields, each an edit with an up-down control.
enum class NumberField {
  MaxLogSize,      // KB
  OldLogAge,       // months
  MaxMsgSize,      // MB; read on every change, not only on leaving the field
  MaxDataSize,     // KB
  MaxRegExpSize,   // KB
  BreakAtScore,
  AWLDays,
  UpdateInterval,  // days
  EasyBayesIsScore,
  MaxSigWords,
  MaxWords,
  MinWordCount,
  AddHigherValue,
  AddLowerValue,
};
constexpr int kNumberFieldCount = 14;

enum class CheckBox {
  LogExtBayes,
  LogExtDnsbl,
  LogExtUrlbl,
  LogExtMXSAV,
  DebugMode,
  Update,
  EasyEnabled,
  EasyAutoWL,
  EasyAddrBooks,
  EasyRules,
  EasyIntern,
  EasyBayes,
  EasyBayesIsScore,
  EasyDnsbl,
  EasyUrlbl,
  BayesEnabled,
  AddMarkSpam,
  AddMarkHam,
  AddMaxScore,
  AddHigher,
  AddLower,
  NoHtmlPart,
  NoNumbersOnly,
};
constexpr int kCheckBoxCount = 23;

struct NumberFieldInfo {
  const char* control;  // "txtMaxMsgSize"; its label is "lbl" + the rest
  NumberRange range;
  OptionsPage page;
  bool readOnChange;    // the text is read on every change
};
struct CheckBoxInfo {
  const char* control;  // "chkBayesEnabled"
  OptionsPage page;
};
const NumberFieldInfo& Info(NumberField field);
const CheckBoxInfo& Info(CheckBox box);

// ---- Statistics report ----

enum class ReportColour { Normal, Blue, Green, Olive, Red };
// 0xRRGGBB of a colour (Normal: black).
std::uint32_t ReportColourRgb(ReportColour colour);

struct ReportLine {
  std::string text;
  ReportColour colour = ReportColour::Normal;
  bool bold = false;
};

// The report's lines for these counters, Bayes database counts and junk
// threshold, in the language's texts.
std::vector<ReportLine> BuildStatisticsReport(const Statistics& stats, BayesMessageCounts bayes,
                                              std::int32_t junkScore, const LanguageTable& language);

// ---- The dialog ----

class OptionsModel {
 public:
  // Fills the controls' values from host.Config() and the language list.
  explicit OptionsModel(DialogHost& host);

  // Caption of a control or tab by its name ("btnOk", "tabBayes",
  // "lblLanguage", "frmTitle"): "Opt|" + name in the language table.
  std::string Caption(const std::string& control) const;
  // Any text of the language table by its full key.
  std::string Text(const std::string& key, const std::string& params = std::string()) const;

  // Number fields. Set... returns the value the field now holds; the view
  // shows it (for readOnChange fields only when the text was a number).
  std::int32_t Number(NumberField field) const { return numbers_[Index(field)]; }
  std::int32_t SetNumberText(NumberField field, const std::string& text);
  std::int32_t StepNumber(NumberField field, int delta);

  bool Checked(CheckBox box) const { return checks_[Index(box)]; }
  void SetChecked(CheckBox box, bool on) { checks_[Index(box)] = on; }

  // Enabling rules: a switched-off feature disables what depends on it.
  bool Enabled(NumberField field) const;
  bool Enabled(CheckBox box) const;

  // Language list: "Deutsch (intern)" and the language files.
  const std::vector<std::string>& Languages() const { return languages_; }
  int LanguageIndex() const { return languageIndex_; }
  // Sets the language in the settings and loads its table at once (kept
  // also when the dialog is cancelled); the view then re-applies every
  // caption and the report.
  void ChooseLanguage(int index);

  std::vector<ReportLine> StatisticsReport() const;

  // Ok: copies the values into the settings and saves them; false when
  // saving failed (logged). The dialog closes either way.
  bool Confirm();

  // Commands; each returns true when it changed something the view shows.
  // Yes/No question, then all counters 0 in memory.
  bool ResetStatistics(DialogServices& services);
  // Yes/No question, then deletes both database files and marks the
  // databases unchanged; tells the outcome.
  bool DeleteBayesDatabases(DialogServices& services);
  // The update check in manual mode; its messages go through services.
  void CheckForUpdate(DialogServices& services);
  // Help for the page; an error box when the viewer cannot be started.
  void OpenHelp(OptionsPage page, DialogServices& services);
  // The help target of a page: plug-in folder + "Quelta.chm::/" + page.
  std::string HelpTarget(OptionsPage page) const;

  DialogHost& Host() { return host_; }

 private:
  static int Index(NumberField f) { return static_cast<int>(f); }
  static int Index(CheckBox b) { return static_cast<int>(b); }

  DialogHost& host_;
  std::array<std::int32_t, kNumberFieldCount> numbers_{};
  std::array<bool, kCheckBoxCount> checks_{};
  std::vector<std::string> languages_;
  int languageIndex_ = 0;
};

}  // namespace quelta
