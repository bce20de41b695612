#include "ui/texts.h"

#include <initializer_list>

#include "app/language.h"

namespace quelta {

namespace {

struct BuiltinEntry {
  const char* key;
  const char* text;
};

// German texts are Windows-1252 bytes written as octal escapes.
const BuiltinEntry kBuiltin[] = {
    {"Font|Name", "Tahoma"},
    {"Font|Size", "8"},
    {"Opt|frmTitle", "Quelta - Einstellungen"},
    {"Opt|tabStats", "Statistik"},
    {"Opt|tabGeneral", "Allgemein"},
    {"Opt|tabEasy", "Filterung"},
    {"Opt|tabBayes", "Bayes"},
    {"Opt|btnOk", "Ok"},
    {"Opt|btnCancel", "Abbrechen"},
    {"Opt|btnHelp", "Hilfe"},
    {"Opt|btnStatReset", "Statistik zur\374cksetzen"},
    {"Opt|lblLanguage", "Sprache:"},
    {"Opt|grpLogging", "Protokoll"},
    {"Opt|lblLogExt", "Erweitertes Protokoll f\374r:"},
    {"Opt|chkLogExtBayes", "Bayes-Filter"},
    {"Opt|chkLogExtDnsbl", "DNSBL-Abfragen"},
    {"Opt|chkLogExtUrlbl", "URLBL-Abfragen"},
    {"Opt|chkLogExtMXSAV", "MX- und Absenderpr\374fung"},
    {"Opt|lblMaxLogSize", "Maximale Protokollgr\366\337e (KB):"},
    {"Opt|lblOldLogAge", "Alte Protokolle l\366schen nach (Monaten):"},
    {"Opt|grpLimits", "Verarbeitung"},
    {"Opt|lblMaxMsgSize", "Maximale Nachrichtengr\366\337e (MB):"},
    {"Opt|lblMaxDataSize", "Maximale Datenfeldgr\366\337e (KB):"},
    {"Opt|lblMaxRegExpSize", "Maximale RegEx-Textgr\366\337e (KB):"},
    {"Opt|lblBreakAtScore", "Filterung beenden ab Score:"},
    {"Opt|lblAWLDays", "Auto-Whitelist-Eintr\344ge g\374ltig (Tage):"},
    {"Opt|chkDebugMode", "Debug-Modus (Nachrichten nur bewerten, Score 0)"},
    {"Opt|grpUpdate", "Aktualisierung"},
    {"Opt|chkUpdate", "Automatisch nach neuen Versionen suchen"},
    {"Opt|lblUpdateInterval", "Intervall (Tage):"},
    {"Opt|btnUpdateCheck", "Jetzt pr\374fen"},
    {"Opt|chkEasyEnabled", "Easy-Modus verwenden (statt \"Rules.dat\")"},
    {"Opt|lblEasyRestart",
     "\304nderungen auf dieser Seite werden erst nach einem Neustart von The Bat! wirksam."},
    {"Opt|grpEasyFilters", "Pr\374fungen"},
    {"Opt|chkEasyAutoWL", "Absender aus der Auto-Whitelist als Ham einstufen"},
    {"Opt|chkEasyAddrBooks", "Absender aus Adressb\374chern als Ham einstufen"},
    {"Opt|chkEasyRules", "Regeln aus \"EasyRules.dat\" verwenden"},
    {"Opt|chkEasyIntern", "Eigene Regeln verwenden"},
    {"Opt|chkEasyBayes", "Bayes-Filter verwenden"},
    {"Opt|chkEasyBayesIsScore", "Filterung nach Bayes beenden ab Score:"},
    {"Opt|chkEasyDnsbl", "Relay-Adressen \374ber DNSBL-Server pr\374fen"},
    {"Opt|chkEasyUrlbl", "Links im Text \374ber URLBL-Server pr\374fen"},
    {"Opt|btnEasyAddrBooks", "Adressb\374cher..."},
    {"Opt|btnEasyIntern", "Regeln..."},
    {"Opt|btnEasyDnsbl", "DNSBL-Server..."},
    {"Opt|btnEasyUrlbl", "URLBL-Server..."},
    {"Opt|grpEasyLists", "Listen"},
    {"Opt|btnEasyWhitelist", "Whitelist..."},
    {"Opt|btnEasyBlacklist", "Blacklist..."},
    {"Opt|chkBayesEnabled", "Bayes-Filter aktivieren"},
    {"Opt|grpBayesClassify", "Bewertung"},
    {"Opt|lblMaxSigWords", "Signifikante W\366rter je Nachricht:"},
    {"Opt|lblMaxWords", "H\366chstens gepr\374fte W\366rter je Nachricht:"},
    {"Opt|lblMinWordCount", "Mindesth\344ufigkeit eines Wortes:"},
    {"Opt|grpBayesLearn", "Automatisch lernen"},
    {"Opt|chkAddMarkSpam", "Nachrichten, die eine Regel als Spam markiert"},
    {"Opt|chkAddMarkHam", "Nachrichten, die eine Regel als Ham markiert"},
    {"Opt|chkAddMaxScore", "Nachrichten, die den Abbruch-Score erreichen"},
    {"Opt|chkAddHigher", "Als Spam lernen bei Score \374ber:"},
    {"Opt|chkAddLower", "Als Ham lernen bei Score unter:"},
    {"Opt|grpBayesWords", "W\366rter"},
    {"Opt|chkNoHtmlPart", "HTML-Teil nicht auswerten"},
    {"Opt|chkNoNumbersOnly", "Reine Zahlen nicht auswerten"},
    {"Opt|btnBayesDelete", "Bayes-Datenbank l\366schen"},
    {"Opt|msgStatResetTitle", "Statistik zur\374cksetzen"},
    {"Opt|msgStatResetText", "Soll die Statistik zur\374ckgesetzt werden?"},
    {"Opt|msgBayesDeleteTitle", "Bayes-Datenbanken l\366schen"},
    {"Opt|msgBayesDeleteText", "Sollen die Bayes-Datenbanken gel\366scht werden?"},
    {"Opt|msgBayesDeleteOkTitle", "Bayes-Datenbanken wurden gel\366scht"},
    {"Opt|msgBayesDeleteOkText", "Bitte beenden Sie The Bat! sofort."},
    {"Opt|msgBayesDeleteErrTitle", "Fehler beim L\366schen der Bayes-Datenbanken"},
    {"Opt|msgBayesDeleteErrText",
     "Die Bayes-Datenbanken konnten nicht gel\366scht werden!\r\nWeitere Information entnehmen Sie bitte der Online-Hilfe."},
    {"Opt|msgHelpErrTitle", "HTML-Hilfe nicht gefunden"},
    {"Opt|msgHelpErrText",
     "Die Windows HTML-Hilfe (hh.exe) konnte nicht ge\366ffnet werden!"},
    {"Opt|msgSaveErrTitle", "Fehler beim Speichern"},
    {"Opt|msgSaveErrText",
     "Die Datei \"%s1%\" konnte nicht gespeichert werden.%r%%n%Ihre \304nderungen sind noch nicht gespeichert; der Dialog bleibt ge\366ffnet."},
    {"Opt|StatGeneral", "Allgemein"},
    {"Opt|StatFilteredMsgs", "  Gefilterte Nachrichten: %s1% (%s2% Spam, %s3% Ham)"},
    {"Opt|StatSpamDensity", "  Spam-Aufkommen:         %s1%$%$"},
    {"Opt|StatEfficiency", "  Filtereffizienz:        %s1%$%$"},
    {"Opt|StatBayesFilter", "Bayes"},
    {"Opt|StatBayesDBCount", "  Mails in der Datenbank: %s1% (%s2% Spam, %s3% Ham)"},
    {"Opt|StatBayesSpamHamRelation1", "  Spam/Ham-Verh\344ltnis:    %s1% / 1"},
    {"Opt|StatBayesSpamHamRelation2", "  Spam/Ham-Verh\344ltnis:    1 / %s1%"},
    {"Opt|StatBayesChecked", "  Gepr\374fte Nachrichten:   %s1%"},
    {"Opt|StatBayesAutoLearn", "  Automatisch gelernt:    %s1% (%s2% Spam, %s3% Ham)"},
    {"Opt|StatBayesReClassify",
     "  Umgelernte Nachrichten: %s1% (%s2% zu Spam, %s3% zu Ham)"},
    {"Opt|StatMiscInfo", "Sonstiges"},
    {"Opt|StatMiscTBJunkScore", "  TB! Junk-Score: %s1%"},
    {"Opt|EasyCaptionWL", "Whitelist.txt bearbeiten"},
    {"Opt|EasyCaptionAB", "Adressb\374cher bearbeiten"},
    {"Opt|EasyCaptionDNSBL", "DNSBL-Server bearbeiten"},
    {"Opt|EasyCaptionURLBL", "URLBL-Server bearbeiten"},
    {"Opt|EasyCaptionBL", "Blacklist.txt bearbeiten"},
    {"Opt|EasyDescriptionWL",
     "Tragen Sie hier bitte zeilenweise die Absenderadressen ein, die nicht gepr\374ft und immer als Ham eingestuft werden sollen. Ein Stern (*) steht f\374r einen beliebigen Teil der Adresse, zum Beispiel *@example.com f\374r alle Absender dieser Domain. Mit einem Raute-Zeichen (#) k\366nnen Sie Eintr\344ge deaktivieren."},
    {"Opt|EasyDescriptionAB",
     "Um Absenderadressen aus Adressb\374chern von The Bat! als Ham zu markieren, tragen Sie hier bitte die gew\374nschten Adressbuchdateien zeilenweise ein. Bitte verwenden Sie nur vollst\344ndige Pfadangaben. Mit einem Raute-Zeichen (#) k\366nnen Sie Eintr\344ge deaktivieren."},
    {"Opt|EasyDescriptionDNSBL",
     "Tragen Sie hier jene DNSBL-Server zeilenweise ein, die Sie f\374r die DNSBL-Abfragen verwenden m\366chten. Mit einem Raute-Zeichen (#) k\366nnen Sie Eintr\344ge deaktivieren."},
    {"Opt|EasyDescriptionURLBL",
     "Tragen Sie hier jene URLBL-Server zeilenweise ein, die Sie f\374r die URLBL-Abfragen verwenden m\366chten. Mit einem Raute-Zeichen (#) k\366nnen Sie Eintr\344ge deaktivieren."},
    {"Opt|EasyDescriptionBL",
     "Tragen Sie hier bitte zeilenweise die Absenderadressen ein, deren Nachrichten immer als Spam eingestuft werden sollen. Ein Stern (*) steht f\374r einen beliebigen Teil der Adresse, zum Beispiel *@example.com f\374r alle Absender dieser Domain. Mit einem Raute-Zeichen (#) k\366nnen Sie Eintr\344ge deaktivieren."},
    {"OptAB|frmTitle", "Adressb\374cher verwalten"},
    {"OptAB|lvABFileName", "Dateiname"},
    {"OptAB|lvABState", "Status"},
    {"OptAB|lvABStateNotFound", "Nicht gefunden"},
    {"OptAB|lvABStateWrongFormat", "Falsches Format"},
    {"OptAB|lvABStateEmpty", "Leer"},
    {"OptAB|lvABStateOk", "OK"},
    {"OptAB|btnAdd", "Adressbuch hinzuf\374gen..."},
    {"OptAB|btnRemove", "Eintrag l\366schen"},
    {"OptAB|DlgOpenABFileTitle", "Addressbuchdatei ausw\344hlen"},
    {"OptAB|DlgOpenABFileFilter",
     "The Bat! Adressbuch (*.ABD)|*.abd|Alle Dateien (*.*)|*.*"},
    {"RuleEd|frmTitle", "Regeln bearbeiten"},
    {"RuleEd|lvRulesField", "Datenfeld"},
    {"RuleEd|lvRulesCompare", "Vergleich"},
    {"RuleEd|lvRulesTerm", "Suchbegriff"},
    {"RuleEd|lvRulesScore", "Score"},
    {"RuleEd|lvRulesCommnet", "Kommentar"},
    {"RuleEd|CompDataS", "enth\344lt"},
    {"RuleEd|CompDataSN", "enth\344lt nicht"},
    {"RuleEd|CompDataSB", "beginnt mit"},
    {"RuleEd|CompDataSBN", "beginnt nicht mit"},
    {"RuleEd|CompDataSE", "endet mit"},
    {"RuleEd|CompDataSEN", "endet nicht mit"},
    {"RuleEd|CompDataR", "entspricht (RegEx)"},
    {"RuleEd|CompDataRN", "entspricht nicht (RegEx)"},
    {"RuleEd|ScoreSpam", "Spam"},
    {"RuleEd|ScoreHam", "Ham"},
    {"RuleEd|btnNew", "Neue Regel hinzuf\374gen..."},
    {"RuleEd|btnEdit", "Regel bearbeiten..."},
    {"RuleEd|btnDelete", "Regel l\366schen"},
    {"RuleEd|btnUp", "Aufw\344rts"},
    {"RuleEd|btnDown", "Abw\344rts"},
    {"RuleEd|MsgDelTitle", "Regel l\366schen"},
    {"RuleEd|MsgDelText", "Soll die ausgew\344hlte Regel gel\366scht werden?"},
    {"RuleEdit|frmTitleNew", "Neue Regel erstellen"},
    {"RuleEdit|frmTitleEdit", "Regel bearbeiten"},
    {"RuleEdit|lblField", "Datenfeld:"},
    {"RuleEdit|lblCompare", "Vergleich:"},
    {"RuleEdit|lblRule", "Suchbegriff:"},
    {"RuleEdit|lblScore", "Score:"},
    {"RuleEdit|rbScoreSpam", "Nachricht als Spam einstufen"},
    {"RuleEdit|rbScoreHam", "Nachricht als Ham einstufen"},
    {"RuleEdit|rbScoreUser", "Benutzerdefiniert:"},
    {"RuleEdit|lblComment", "Kommentar:"},
    {"RuleEdit|MsgNoSqBrackTitle", "Falscher Wert"},
    {"RuleEdit|MsgNoSqBrackText",
     "Im Feld \"Kommentar\" sind keine eckigen Klammern erlaubt!"},
    {"RuleEdit|MsgMissingTitle", "Fehlende Werte"},
    {"RuleEdit|MsgMissingText", "Bitte f\374llen Sie alle Felder aus!"},
    {"RuleEdit|MsgBadCharTitle", "Ung\374ltiges Zeichen"},
    {"RuleEdit|MsgBadCharText",
     "Im Feld \"%s1%\" sind keine Zeilenumbr\374che und keine Steuerzeichen erlaubt!"},
};

}  // namespace

std::string BuiltinText(std::string_view key) {
  for (const auto& e : kBuiltin)
    if (key == e.key) return e.text;
  return std::string();
}

const std::vector<std::pair<std::string, std::string>>& BuiltinTexts() {
  static const std::vector<std::pair<std::string, std::string>> all = [] {
    std::vector<std::pair<std::string, std::string>> v;
    for (const auto& e : kBuiltin) v.emplace_back(e.key, e.text);
    return v;
  }();
  return all;
}

std::string UiText(const LanguageTable& language, const std::string& key, const std::string& params) {
  return language.Text(key, BuiltinText(key), params);
}

std::string UiParams(std::initializer_list<std::string> values) {
  std::string joined;
  for (const std::string& v : values) {
    if (!joined.empty() || &v != values.begin()) joined += '\x01';
    joined += v;
  }
  return joined;
}

}  // namespace quelta
