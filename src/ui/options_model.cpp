#include "ui/options_model.h"

#include <cmath>
#include <cstdio>

#include "app/language.h"
#include "app/locations.h"
#include "app/settings.h"
#include "ui/texts.h"

namespace quelta {

namespace {

using P = OptionsPage;

const NumberFieldInfo kNumberFields[kNumberFieldCount] = {
    {"txtMaxLogSize", {10, 32767}, P::General, false},
    {"txtOldLogAge", {1, 99}, P::General, false},
    {"txtMaxMsgSize", {1, 30}, P::General, true},
    {"txtMaxDataSize", {1, 9999}, P::General, false},
    {"txtMaxRegExpSize", {1, 999}, P::General, false},
    {"txtBreakAtScore", {-32768, 32767}, P::General, false},
    {"txtAWLDays", {1, 32767}, P::General, false},
    {"txtUpdateInterval", {1, 100}, P::General, false},
    {"txtEasyBayesIsScore", {0, 999}, P::Easy, false},
    {"txtMaxSigWords", {1, 500}, P::Bayes, false},
    {"txtMaxWords", {10, 1000}, P::Bayes, false},
    {"txtMinWordCount", {1, 100}, P::Bayes, false},
    {"txtAddHigherValue", {-32768, 32767}, P::Bayes, false},
    {"txtAddLowerValue", {-32768, 32767}, P::Bayes, false},
};

const CheckBoxInfo kCheckBoxes[kCheckBoxCount] = {
    {"chkLogExtBayes", P::General},   {"chkLogExtDnsbl", P::General},
    {"chkLogExtUrlbl", P::General},   {"chkLogExtMXSAV", P::General},
    {"chkDebugMode", P::General},     {"chkUpdate", P::General},
    {"chkEasyEnabled", P::Easy},      {"chkEasyAutoWL", P::Easy},
    {"chkEasyAddrBooks", P::Easy},    {"chkEasyRules", P::Easy},
    {"chkEasyIntern", P::Easy},       {"chkEasyBayes", P::Easy},
    {"chkEasyBayesIsScore", P::Easy}, {"chkEasyDnsbl", P::Easy},
    {"chkEasyUrlbl", P::Easy},        {"chkBayesEnabled", P::Bayes},
    {"chkAddMarkSpam", P::Bayes},     {"chkAddMarkHam", P::Bayes},
    {"chkAddMaxScore", P::Bayes},     {"chkAddHigher", P::Bayes},
    {"chkAddLower", P::Bayes},        {"chkNoHtmlPart", P::Bayes},
    {"chkNoNumbersOnly", P::Bayes},
};

std::string TwoDecimals(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

std::string Dec(std::uint64_t v) { return std::to_string(v); }

// A figure in hundredths, as the report shows it: its colour follows the
// shown value, the same on every processor.
long Hundredths(double v) { return std::lround(v * 100.0); }

}  // namespace

const NumberFieldInfo& Info(NumberField field) { return kNumberFields[static_cast<int>(field)]; }
const CheckBoxInfo& Info(CheckBox box) { return kCheckBoxes[static_cast<int>(box)]; }

std::uint32_t ReportColourRgb(ReportColour colour) {
  switch (colour) {
    case ReportColour::Blue: return 0x0000FF;
    case ReportColour::Green: return 0x008000;
    case ReportColour::Olive: return 0x808000;
    case ReportColour::Red: return 0xFF0000;
    case ReportColour::Normal: break;
  }
  return 0x000000;
}

std::vector<ReportLine> BuildStatisticsReport(const Statistics& st, BayesMessageCounts bayes,
                                              std::int32_t junkScore, const LanguageTable& lang) {
  std::vector<ReportLine> r;
  auto line = [&](const char* key, const std::string& params = std::string(),
                  ReportColour colour = ReportColour::Normal) {
    r.push_back({UiText(lang, key, params), colour, false});
  };
  auto heading = [&](const char* key) { r.push_back({UiText(lang, key), ReportColour::Blue, true}); };
  auto empty = [&] { r.push_back({std::string(), ReportColour::Normal, false}); };

  heading("Opt|StatGeneral");
  line("Opt|StatFilteredMsgs",
       UiParams({Dec(st.messagesFiltered), Dec(st.classAsSpam), Dec(st.classAsHam)}));
  const std::uint64_t classified = std::uint64_t{st.classAsSpam} + st.classAsHam;
  if (classified > 0)
    line("Opt|StatSpamDensity", TwoDecimals(100.0 * st.classAsSpam / static_cast<double>(classified)));
  if (st.bayesMessagesChecked > 0) {
    const double reclassified = static_cast<double>(st.bayesReClassAsSpam) + st.bayesReClassAsHam;
    const double efficiency = 100.0 - 100.0 * reclassified / st.bayesMessagesChecked;
    const long shown = Hundredths(efficiency);
    const ReportColour c = shown >= 9000   ? ReportColour::Green
                           : shown >= 7500 ? ReportColour::Olive
                                           : ReportColour::Red;
    line("Opt|StatEfficiency", TwoDecimals(efficiency), c);
  }

  empty();
  heading("Opt|StatBayesFilter");
  const std::uint64_t total = std::uint64_t{bayes.spam} + bayes.ham;
  {
    const std::uint64_t counts[] = {bayes.ham, bayes.spam, total};
    bool red = false, olive = false;
    for (std::uint64_t n : counts) {
      red = red || n < 100 || n > 25000;
      olive = olive || n < 200 || n > 20000;
    }
    line("Opt|StatBayesDBCount", UiParams({Dec(total), Dec(bayes.spam), Dec(bayes.ham)}),
         red ? ReportColour::Red : olive ? ReportColour::Olive : ReportColour::Green);
  }
  if (total > 0) {
    // A class without messages gives no ratio: it shows as 0, in red.
    const bool moreSpam = bayes.spam > bayes.ham;
    const double num = moreSpam ? bayes.spam : bayes.ham;
    const double den = moreSpam ? bayes.ham : bayes.spam;
    const double ratio = den > 0 ? num / den : 0.0;
    const long shown = Hundredths(ratio);
    const ReportColour c = (shown >= 175 || shown == 0) ? ReportColour::Red
                           : shown > 140                ? ReportColour::Olive
                                                        : ReportColour::Green;
    line(moreSpam ? "Opt|StatBayesSpamHamRelation1" : "Opt|StatBayesSpamHamRelation2",
         TwoDecimals(ratio), c);
  }
  line("Opt|StatBayesChecked", Dec(st.bayesMessagesChecked));
  line("Opt|StatBayesAutoLearn",
       UiParams({Dec(std::uint64_t{st.bayesLearnAsSpam} + st.bayesLearnAsHam),
                 Dec(st.bayesLearnAsSpam), Dec(st.bayesLearnAsHam)}));
  line("Opt|StatBayesReClassify",
       UiParams({Dec(std::uint64_t{st.bayesReClassAsSpam} + st.bayesReClassAsHam),
                 Dec(st.bayesReClassAsSpam), Dec(st.bayesReClassAsHam)}));

  empty();
  heading("Opt|StatMiscInfo");
  line("Opt|StatMiscTBJunkScore", std::to_string(junkScore));
  return r;
}

// ---- OptionsModel ----

OptionsModel::OptionsModel(DialogHost& host) : host_(host) {
  const Settings& s = host.Config();
  const std::int64_t values[kNumberFieldCount] = {
      s.log.maxLogSize >> 10,     s.log.oldLogAge,        s.maxMsgSize >> 20,
      s.message.maxDataSize >> 10, s.engine.maxRegExpSize >> 10, s.engine.breakAtScore,
      s.awlDays,                  s.update.interval,      s.easy.bayesIsScoreValue,
      s.bayes.maxSigWords,        s.bayes.maxWords,       s.bayes.minWordCount,
      s.engine.addHigherValue,    s.engine.addLowerValue,
  };
  for (int i = 0; i < kNumberFieldCount; ++i)
    numbers_[i] = UpDownPosition(values[i], kNumberFields[i].range);

  const bool checks[kCheckBoxCount] = {
      s.engine.bayesExtendedLogging, s.engine.network.dnsblExtendedLogging,
      s.engine.network.urlblExtendedLogging, s.engine.network.mxCheckSavExtendedLogging,
      s.engine.debugMode,            s.update.enabled,
      s.easyEnabled,                 s.easy.autoWhiteList,
      s.easy.addressBooks,           s.easy.ruleFile,
      s.easy.ruleTable,              s.easy.bayes,
      s.easy.bayesIsScoreCheck,      s.easy.dnsbl,
      s.easy.urlbl,                  s.engine.bayesEnabled,
      s.engine.addMarkSpam,          s.engine.addMarkHam,
      s.engine.addMaxScore,          s.engine.addHigher,
      s.engine.addLower,             s.engine.tokenizer.noHtmlPart,
      s.engine.tokenizer.noNumbersOnly,
  };
  for (int i = 0; i < kCheckBoxCount; ++i) checks_[i] = checks[i];

  languages_ = ListLanguages(host.PluginDir() + "Language" + os::kPathSep);
  languageIndex_ = 0;
  for (std::size_t i = 0; i < languages_.size(); ++i)
    if (os::AnsiCompareText(languages_[i], s.language) == 0) {
      languageIndex_ = static_cast<int>(i);
      break;
    }
}

std::string OptionsModel::Text(const std::string& key, const std::string& params) const {
  return UiText(host_.Language(), key, params);
}

std::string OptionsModel::Caption(const std::string& control) const {
  std::string text = Text("Opt|" + control);
  if (control == "lblLanguage") {
    const std::string suffix = " / Language:";
    if (text != "Language:" &&
        (text.size() < suffix.size() || text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0))
      text += suffix;
  }
  return text;
}

std::int32_t OptionsModel::SetNumberText(NumberField field, const std::string& text) {
  std::int32_t& v = numbers_[Index(field)];
  v = ReadNumberText(text, Info(field).range, v);
  return v;
}

std::int32_t OptionsModel::StepNumber(NumberField field, int delta) {
  std::int32_t& v = numbers_[Index(field)];
  v = quelta::StepNumber(v, delta, Info(field).range);
  return v;
}

bool OptionsModel::Enabled(NumberField field) const {
  switch (field) {
    case NumberField::UpdateInterval: return Checked(CheckBox::Update);
    case NumberField::EasyBayesIsScore:
      return Checked(CheckBox::EasyEnabled) && Checked(CheckBox::EasyBayesIsScore);
    case NumberField::MaxSigWords:
    case NumberField::MaxWords:
    case NumberField::MinWordCount: return Checked(CheckBox::BayesEnabled);
    case NumberField::AddHigherValue:
      return Checked(CheckBox::BayesEnabled) && Checked(CheckBox::AddHigher);
    case NumberField::AddLowerValue:
      return Checked(CheckBox::BayesEnabled) && Checked(CheckBox::AddLower);
    default: return true;
  }
}

bool OptionsModel::Enabled(CheckBox box) const {
  if (box > CheckBox::EasyEnabled && box <= CheckBox::EasyUrlbl) return Checked(CheckBox::EasyEnabled);
  if (box > CheckBox::BayesEnabled) return Checked(CheckBox::BayesEnabled);
  return true;
}

void OptionsModel::ChooseLanguage(int index) {
  if (index < 0 || index >= static_cast<int>(languages_.size())) return;
  languageIndex_ = index;
  host_.Config().language = languages_[index];
  // "Deutsch (intern)" names no file: the table is emptied, German shows.
  host_.Language().Load(host_.PluginDir() + "Language" + os::kPathSep + languages_[index] + ".lng");
}

std::vector<ReportLine> OptionsModel::StatisticsReport() const {
  return BuildStatisticsReport(host_.Stats(), host_.BayesMessages(), host_.JunkScore(),
                               host_.Language());
}

bool OptionsModel::Confirm() {
  Settings& s = host_.Config();
  auto n = [&](NumberField f) { return Number(f); };
  auto bytes = [&](NumberField f, unsigned shift) { return static_cast<std::uint32_t>(n(f)) << shift; };
  s.log.maxLogSize = bytes(NumberField::MaxLogSize, 10);
  s.log.oldLogAge = static_cast<std::uint32_t>(n(NumberField::OldLogAge));
  s.maxMsgSize = bytes(NumberField::MaxMsgSize, 20);
  s.message.maxDataSize = bytes(NumberField::MaxDataSize, 10);
  s.engine.maxRegExpSize = bytes(NumberField::MaxRegExpSize, 10);
  s.engine.breakAtScore = n(NumberField::BreakAtScore);
  s.awlDays = n(NumberField::AWLDays);
  s.update.interval = n(NumberField::UpdateInterval);
  s.easy.bayesIsScoreValue = n(NumberField::EasyBayesIsScore);
  s.bayes.maxSigWords = n(NumberField::MaxSigWords);
  s.bayes.maxWords = n(NumberField::MaxWords);
  s.bayes.minWordCount = n(NumberField::MinWordCount);
  s.engine.addHigherValue = n(NumberField::AddHigherValue);
  s.engine.addLowerValue = n(NumberField::AddLowerValue);

  auto c = [&](CheckBox b) { return Checked(b); };
  s.engine.bayesExtendedLogging = c(CheckBox::LogExtBayes);
  s.engine.network.dnsblExtendedLogging = c(CheckBox::LogExtDnsbl);
  s.engine.network.urlblExtendedLogging = c(CheckBox::LogExtUrlbl);
  s.engine.network.mxCheckSavExtendedLogging = c(CheckBox::LogExtMXSAV);
  s.engine.debugMode = c(CheckBox::DebugMode);
  s.update.enabled = c(CheckBox::Update);
  s.easyEnabled = c(CheckBox::EasyEnabled);
  s.easy.autoWhiteList = c(CheckBox::EasyAutoWL);
  s.easy.addressBooks = c(CheckBox::EasyAddrBooks);
  s.easy.ruleFile = c(CheckBox::EasyRules);
  s.easy.ruleTable = c(CheckBox::EasyIntern);
  s.easy.bayes = c(CheckBox::EasyBayes);
  s.easy.bayesIsScoreCheck = c(CheckBox::EasyBayesIsScore);
  s.easy.dnsbl = c(CheckBox::EasyDnsbl);
  s.easy.urlbl = c(CheckBox::EasyUrlbl);
  s.engine.bayesEnabled = c(CheckBox::BayesEnabled);
  s.engine.addMarkSpam = c(CheckBox::AddMarkSpam);
  s.engine.addMarkHam = c(CheckBox::AddMarkHam);
  s.engine.addMaxScore = c(CheckBox::AddMaxScore);
  s.engine.addHigher = c(CheckBox::AddHigher);
  s.engine.addLower = c(CheckBox::AddLower);
  s.engine.tokenizer.noHtmlPart = c(CheckBox::NoHtmlPart);
  s.engine.tokenizer.noNumbersOnly = c(CheckBox::NoNumbersOnly);

  if (host_.SaveConfig()) return true;
  host_.Log("ERROR: Saving the configuration failed!");
  return false;
}

bool OptionsModel::ResetStatistics(DialogServices& services) {
  if (!services.Ask(Text("Opt|msgStatResetTitle"), Text("Opt|msgStatResetText"))) return false;
  host_.ResetStats();  // written at shutdown
  return true;
}

bool OptionsModel::DeleteBayesDatabases(DialogServices& services) {
  if (!services.Ask(Text("Opt|msgBayesDeleteTitle"), Text("Opt|msgBayesDeleteText"))) return false;
  bool ok = true;
  for (const char* name : {"Bayes.wdb", "Bayes.udb"}) {
    const std::string path = host_.Folders().bayesDb + name;
    if (os::FileExists(path) && !host_.DeleteDataFile(path)) ok = false;
  }
  host_.MarkBayesUnchanged();
  if (ok)
    services.Tell(Text("Opt|msgBayesDeleteOkTitle"), Text("Opt|msgBayesDeleteOkText"),
                  os::MsgIcon::Information);
  else
    services.Tell(Text("Opt|msgBayesDeleteErrTitle"), Text("Opt|msgBayesDeleteErrText"),
                  os::MsgIcon::Error);
  return true;
}

void OptionsModel::CheckForUpdate(DialogServices& services) { host_.CheckForUpdate(services); }

std::string OptionsModel::HelpTarget(OptionsPage page) const {
  const char* anchor = "";
  switch (page) {
    case OptionsPage::General: anchor = "#general"; break;
    case OptionsPage::Bayes: anchor = "#bayes"; break;
    case OptionsPage::Easy: anchor = "#easy"; break;
    case OptionsPage::Statistics: break;
  }
  return host_.PluginDir() + "Quelta.chm::/installdialog.html" + anchor;
}

void OptionsModel::OpenHelp(OptionsPage page, DialogServices& services) {
  if (!services.OpenHelp(HelpTarget(page)))
    services.Tell(Text("Opt|msgHelpErrTitle"), Text("Opt|msgHelpErrText"), os::MsgIcon::Error);
}

}  // namespace quelta
