// The options dialog's model: number fields with the up-down control's
// 16-bit position, enabling rules, Ok and cancel, the language choice, the
// statistics report and the commands with their questions and boxes.
#include <gtest/gtest.h>

#include <tuple>

#include "bayes/word_table.h"
#include "ui/options_model.h"
#include "ui/texts.h"
#include "ui/ui_test_support.h"

using namespace quelta;
using testing_support::RecordingServices;

namespace {

using Options = testing_support::HostTest;

TEST_F(Options, TextIsReadThroughTheSixteenBitPositionAndClamped) {
  using Case = std::tuple<NumberField, std::int32_t, const char*, std::int32_t>;  // field, value, text typed, read
  for (const auto& [field, previous, text, expected] : std::initializer_list<Case>{
      {NumberField::MaxMsgSize, 10, "50", 30},
      {NumberField::MaxMsgSize, 10, "abc", 10},
      {NumberField::MaxMsgSize, 10, "", 10},
      {NumberField::MaxMsgSize, 10, "0", 1},
      {NumberField::MaxMsgSize, 10, " 7 ", 7},
      {NumberField::MaxMsgSize, 10, "65537", 1},        // low 16 bits: 1
      {NumberField::MaxMsgSize, 10, "99999999999", 10}, // not a 32-bit number
      {NumberField::BreakAtScore, 300, "40000", -25536},
      {NumberField::BreakAtScore, 300, "-32768", -32768},
      {NumberField::MaxLogSize, 250, "5", 10},
      {NumberField::OldLogAge, 3, "100", 99},
      {NumberField::EasyBayesIsScore, 50, "-1", 0},
      {NumberField::MaxWords, 200, "1001", 1000},
      {NumberField::UpdateInterval, 3, "12x", 3},
       }) {
    OptionsModel m(host);
    m.SetNumberText(field, std::to_string(previous));
    ASSERT_EQ(m.Number(field), previous) << Info(field).control;
    EXPECT_EQ(m.SetNumberText(field, text), expected) << Info(field).control << " " << text;
  }
}

TEST(OptionsArrows, StopAtTheRange) {
  EXPECT_EQ(StepNumber(29, 1, {1, 30}), 30);
  EXPECT_EQ(StepNumber(30, 1, {1, 30}), 30);
  EXPECT_EQ(StepNumber(30, -40, {1, 30}), 1);
  EXPECT_EQ(StepNumber(-32768, -1, {-32768, 32767, 5}), -32768);
}

TEST_F(Options, OkWritesTheValuesInTheirUnits) {
  host.settings.maxMsgSize = 5u << 20;
  host.settings.log.maxLogSize = 100000u << 10;  // 100000 & 0xFFFF = 34464: -31072 as a position
  OptionsModel m(host);
  EXPECT_EQ(m.Number(NumberField::MaxMsgSize), 5);
  EXPECT_EQ(m.Number(NumberField::MaxLogSize), 10);
  m.SetNumberText(NumberField::MaxDataSize, "2000");
  m.SetNumberText(NumberField::AddLowerValue, "-12");
  m.SetChecked(CheckBox::NoHtmlPart, true);
  m.SetChecked(CheckBox::EasyEnabled, false);
  ASSERT_TRUE(m.Confirm());
  EXPECT_EQ(host.settings.maxMsgSize, 5u * 1048576u);
  EXPECT_EQ(host.settings.message.maxDataSize, 2000u * 1024u);
  EXPECT_EQ(host.settings.engine.addLowerValue, -12);
  EXPECT_TRUE(host.settings.engine.tokenizer.noHtmlPart);
  EXPECT_FALSE(host.settings.easyEnabled);
  const std::string ini = dir.Read("Quelta.ini");
  for (const char* line : {"MaxMsgSize=5\r\n", "MaxDataSize=2000\r\n", "MaxLogSize=10\r\n", "NoHtmlPart=1\r\n"})
    EXPECT_NE(ini.find(line), std::string::npos) << line;
  host.failWrites = true;
  EXPECT_FALSE(OptionsModel(host).Confirm());
  EXPECT_EQ(host.log.Text(), "ERROR: Saving the configuration failed!\r\n");
}

TEST_F(Options, SwitchingAFeatureOffDisablesWhatDependsOnIt) {
  const std::pair<CheckBox, std::string> cases[] = {  // the switch, the controls it disables
      {CheckBox::BayesEnabled,
       "txtMaxSigWords txtMaxWords txtMinWordCount txtAddHigherValue txtAddLowerValue chkAddMarkSpam chkAddMarkHam "
       "chkAddMaxScore chkAddHigher chkAddLower chkNoHtmlPart chkNoNumbersOnly "},
      {CheckBox::AddHigher, "txtAddHigherValue "},
      {CheckBox::AddLower, "txtAddLowerValue "},
      {CheckBox::EasyEnabled, "txtEasyBayesIsScore chkEasyAutoWL chkEasyAddrBooks chkEasyRules chkEasyIntern "
                              "chkEasyBayes chkEasyBayesIsScore chkEasyDnsbl chkEasyUrlbl "},
      {CheckBox::Update, "txtUpdateInterval "},
      {CheckBox::EasyBayesIsScore, "txtEasyBayesIsScore "},
  };
  for (const auto& [off, disabled] : cases) {
    OptionsModel m(host);
    for (int i = 0; i < kCheckBoxCount; ++i) m.SetChecked(static_cast<CheckBox>(i), true);
    m.SetChecked(off, false);
    std::string shown;
    for (int i = 0; i < kNumberFieldCount; ++i)
      if (!m.Enabled(static_cast<NumberField>(i))) shown += Info(static_cast<NumberField>(i)).control + std::string(" ");
    for (int i = 0; i < kCheckBoxCount; ++i)
      if (!m.Enabled(static_cast<CheckBox>(i))) shown += Info(static_cast<CheckBox>(i)).control + std::string(" ");
    EXPECT_EQ(shown, disabled) << Info(off).control;
  }
}

TEST_F(Options, LanguageChoiceActsAtOnceAndStaysInMemoryWhenCancelled) {
  dir.Write("Language/English.lng",
            testing_support::ReadBytes(std::string(QUELTA_SOURCE_DIR) + "/data/Language/English.lng"));
  host.settings.language = "ENGLISH";
  {
    OptionsModel m(host);
    ASSERT_EQ(m.Languages(), (std::vector<std::string>{"Deutsch (intern)", "English"}));
    EXPECT_EQ(m.LanguageIndex(), 1);
    m.ChooseLanguage(0);  // names no file: the built-in texts show
    EXPECT_EQ(m.Caption("lblLanguage"), "Sprache: / Language:");
    m.ChooseLanguage(1);
    EXPECT_EQ(m.Caption("lblLanguage"), "Language:");
    EXPECT_EQ(m.Caption("tabEasy"), "Filtering");
  }  // cancelled
  EXPECT_EQ(host.settings.language, "English");
  EXPECT_EQ(UiText(host.language, "Opt|tabEasy"), "Filtering");
  EXPECT_FALSE(dir.Exists("Quelta.ini"));
}

// A line's colour as a letter: Normal, Blue, Green, Olive, Red.
char Colour(const ReportLine& l) { return "NBGOR"[static_cast<int>(l.colour)]; }
// The report as text: each line's colour, '*' when bold, then the line.
std::string Shown(const std::vector<ReportLine>& report) {
  std::string s;
  for (const ReportLine& l : report) s += Colour(l) + std::string(l.bold ? "*" : " ") + l.text + "\n";
  return s;
}

TEST(StatisticsReport, EmptyStatisticsHaveNeitherDensityNorEfficiency) {
  const std::string shown = Shown(BuildStatisticsReport(Statistics(), {}, 50, LanguageTable()));
  EXPECT_EQ(shown.substr(0, shown.find("B*Bayes")), "B*Allgemein\nN   Gefilterte Nachrichten: 0 (0 Spam, 0 Ham)\nN \n");
  EXPECT_NE(shown.find("R   Mails in der Datenbank: 0 (0 Spam, 0 Ham)\nN   Gepr"), std::string::npos) << shown;
}

TEST(StatisticsReport, FullStatisticsShowEveryLine) {
  Statistics s;
  s.messagesFiltered = 4000, s.classAsSpam = 1000, s.classAsHam = 3000, s.bayesMessagesChecked = 400;
  s.bayesReClassAsSpam = 30, s.bayesReClassAsHam = 10, s.bayesLearnAsSpam = 5, s.bayesLearnAsHam = 6;
  EXPECT_EQ(Shown(BuildStatisticsReport(s, {3000, 2000}, 99, LanguageTable())),
            "B*Allgemein\n"
            "N   Gefilterte Nachrichten: 4000 (1000 Spam, 3000 Ham)\n"
            "N   Spam-Aufkommen:         25.00%\n"
            "G   Filtereffizienz:        90.00%\n"
            "N \n"
            "B*Bayes\n"
            "G   Mails in der Datenbank: 5000 (3000 Spam, 2000 Ham)\n"
            "O   Spam/Ham-Verh\xE4ltnis:    1.50 / 1\n"
            "N   Gepr\xFC" "fte Nachrichten:   400\n"
            "N   Automatisch gelernt:    11 (5 Spam, 6 Ham)\n"
            "N   Umgelernte Nachrichten: 40 (30 zu Spam, 10 zu Ham)\n"
            "N \n"
            "B*Sonstiges\n"
            "N   TB! Junk-Score: 99\n");
}

TEST(StatisticsReport, ColoursFollowTheThresholds) {
  // Re-classified messages, the database; the colours of the efficiency, the database count and the ratio.
  using Case = std::tuple<std::uint32_t, BayesMessageCounts, const char*, const char*>;
  for (const auto& [reclassified, db, colours, ratioText] : std::initializer_list<Case>{
      {10, {300, 300}, "GGG", "1 / 1.00"},   {11, {150, 300}, "OOR", "1 / 2.00"},
      {25, {141, 100}, "OOO", "1.41 / 1"},   {26, {99, 300}, "RRR", "1 / 3.03"},
      {0, {500, 0}, "GRR", "0.00 / 1"},      {0, {21000, 15000}, "GRG", "1.40 / 1"},
      {0, {12000, 8000}, "GGO", "1.50 / 1"}, {0, {11000, 10000}, "GOG", "1.10 / 1"},
       }) {
    Statistics s;
    s.bayesMessagesChecked = 100, s.bayesReClassAsHam = reclassified;
    const auto r = BuildStatisticsReport(s, db, 0, LanguageTable());
    ASSERT_EQ(r.size(), 13u);
    EXPECT_EQ(std::string({Colour(r[2]), Colour(r[5]), Colour(r[6])}), colours) << r[6].text;
    EXPECT_NE(r[6].text.find(ratioText), std::string::npos) << r[6].text;
  }
}

TEST_F(Options, StatisticsResetAsksAndZeroesInMemoryOnly) {
  host.stats.messagesFiltered = 7;
  RecordingServices s;
  s.answers = {false, true};
  OptionsModel m(host);
  EXPECT_FALSE(m.ResetStatistics(s));
  EXPECT_EQ(host.stats.messagesFiltered, 7u);
  EXPECT_TRUE(m.ResetStatistics(s));
  EXPECT_EQ(host.stats.messagesFiltered, 0u);
  EXPECT_FALSE(dir.Exists("Quelta.ini"));
}

TEST_F(Options, DeletingTheBayesDatabasesKeepsShutdownFromWritingThem) {
  WordTable words;
  words.Add("cheap");
  host.Filter().Learn("Subject: x\r\n", words, true, 45000.0);
  ASSERT_TRUE(host.Filter().Save(host.log) && dir.Exists("Bayes.wdb") && dir.Exists("Bayes.udb"));
  host.Filter().Learn("Subject: y\r\n", words, false, 45000.0);  // changed again
  OptionsModel m(host);
  RecordingServices s;
  s.answers = {true, true};
  EXPECT_TRUE(m.DeleteBayesDatabases(s));
  EXPECT_FALSE(dir.Exists("Bayes.wdb") || dir.Exists("Bayes.udb"));
  host.Filter().Save(host.log);  // what shutdown does
  EXPECT_FALSE(dir.Exists("Bayes.wdb"));

  dir.Write("Bayes.wdb", "x");
  host.failWrites = true;
  m.DeleteBayesDatabases(s);
  ASSERT_EQ(s.told.size(), 2u);
  EXPECT_EQ(s.told[0].icon, os::MsgIcon::Information);
  EXPECT_EQ(s.told[1].text, "Die Bayes-Datenbanken konnten nicht gel\xF6scht werden!\r\nWeitere Information "
                            "entnehmen Sie bitte der Online-Hilfe.");
  EXPECT_EQ(s.told[1].icon, os::MsgIcon::Error);
  EXPECT_EQ(host.markedUnchanged, 2);
}

TEST_F(Options, HelpOpensThePageOfTheTab) {
  OptionsModel m(host);
  RecordingServices s;
  for (int p = 0; p < kOptionsPageCount; ++p) m.OpenHelp(static_cast<OptionsPage>(p), s);
  const std::string chm = dir.Folder() + "Quelta.chm::/installdialog.html";
  EXPECT_EQ(s.helpTargets,
            (std::vector<std::string>{chm, chm + "#general", chm + "#easy", chm + "#bayes"}));
  EXPECT_TRUE(s.told.empty());
  s.helpStarts = false;
  m.OpenHelp(OptionsPage::Bayes, s);
  ASSERT_EQ(s.told.size(), 1u);
  EXPECT_EQ(s.told[0].title, "HTML-Hilfe nicht gefunden");
  EXPECT_EQ(s.told[0].icon, os::MsgIcon::Error);
}

TEST(DialogTexts, TheEnglishLanguageFileTranslatesEveryKey) {
  LanguageTable english;
  ASSERT_GT(english.Load(std::string(QUELTA_SOURCE_DIR) + "/data/Language/English.lng"), 0);
  for (const auto& [key, german] : BuiltinTexts()) {
    EXPECT_FALSE(german.empty()) << key;
    EXPECT_NE(english.Text(key, std::string()), "") << key << " is missing from English.lng";
  }
}

}  // namespace
