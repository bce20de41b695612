#include "plugin/fMacros.h"

#include <cstdint>

#include "bayes/cBayes.h"
#include "plugin/fPlugin.h"
#include "rules/cRules.h"

namespace quelta {

namespace {

constexpr const char* kContactMail = "quelta@users.invalid";
constexpr const char* kDownloadPage = "https://quelta.invalid/download/";
constexpr const char* kWebSite = "https://quelta.invalid/";

std::string U(std::uint32_t v) { return std::to_string(v); }

std::string DebugInfo() {
  const std::string rule(80, '=');
  return "QUELTA DEBUG INFO\r\n" + rule + "\r\nTB! WorkDir:   " + Plugin().HostDir +
         "\r\nTB! SpamValue: " + std::to_string(Plugin().JunkScore) + "\r\n" + rule + "\r\n";
}

TBayes* Bayes() { return Objects().Bayes.get(); }

struct Macro {
  const char* name;
  std::string (*text)();
};

const Macro kMacros[] = {
    {"Quelta_DebugInfo", [] { return DebugInfo(); }},
    {"Quelta_PlugPath", [] { return Plugin().PluginDir; }},
    {"Quelta_PlugName", [] { return Plugin().ProductName; }},
    {"Quelta_PlugVersion", [] { return Plugin().FileVersion; }},
    {"Quelta_LoadedRules",
     [] { return std::to_string(Objects().Rules ? Objects().Rules->Count() : 0); }},
    {"Quelta_BayesWords", [] { return U(Bayes() ? Bayes()->WordRecords() : 0); }},
    {"Quelta_BayesMails",
     [] { return U(Bayes() ? Bayes()->SpamMessages() + Bayes()->HamMessages() : 0); }},
    {"Quelta_BayesSpams", [] { return U(Bayes() ? Bayes()->SpamMessages() : 0); }},
    {"Quelta_BayesHams", [] { return U(Bayes() ? Bayes()->HamMessages() : 0); }},
    {"Quelta_BayesReclassified",
     [] { return U(Plugin().Stats.BayesReClassAsSpam + Plugin().Stats.BayesReClassAsHam); }},
    {"Quelta_BayesSpam2Ham", [] { return U(Plugin().Stats.BayesReClassAsHam); }},
    {"Quelta_BayesHam2Spam", [] { return U(Plugin().Stats.BayesReClassAsSpam); }},
    {"Quelta_BayesLearned",
     [] { return U(Plugin().Stats.BayesLearnAsSpam + Plugin().Stats.BayesLearnAsHam); }},
    {"Quelta_BayesLearnSpam", [] { return U(Plugin().Stats.BayesLearnAsSpam); }},
    {"Quelta_BayesLearnHam", [] { return U(Plugin().Stats.BayesLearnAsHam); }},
    {"Quelta_BayesChecked", [] { return U(Plugin().Stats.BayesMessagesChecked); }},
    {"Quelta_MsgFiltered", [] { return U(Plugin().Stats.MessagesFiltered); }},
    {"Quelta_Test", [] { return std::string(); }},
};

}  // namespace

std::string MacroList() {
  std::string list;
  for (const auto& m : kMacros) {
    list += m.name;
    list += "\r\n";
  }
  return list;
}

bool MacroText(const std::string& name, std::string& text) {
  for (const auto& m : kMacros) {
    if (name == m.name) {
      text = m.text();
      return true;
    }
  }
  return false;
}

std::string InfoPage() {
  const TPlugin& p = Plugin();
  const std::string mail = std::string("<a href=\"mailto:") + kContactMail + "\">" + kContactMail + "</a>";
  return "<html><body background=\"#f0f0e8\"><font size=5><b>" + p.ProductName +
         "</b></font><br>" + "<font size=4>" + p.FileDescription + "</font><br>" +
         "<font size=4><b>Version " + p.FileVersion + "</b></font><br>" +
         "<hr noshade color=\"#b0b0a8\" height=\"1\"><br>" +
         "Please send comments, tips and suggestions to &lt;" + mail + "&gt;.<br>" +
         "The newest version of this plugin is available at <a href=\"" + kDownloadPage + "\">" +
         kDownloadPage + "</a>.<br><br>" + "<b>" + p.LegalCopyright + "</b><br>" +
         "Website: <a href=\"" + kWebSite + "\">" + kWebSite + "</a><br>" + "E-Mail: " + mail +
         "<br>" + "</body></html>";
}

}  // namespace quelta
