#include "app/macros.h"

#include <cstdint>

#include "app/session.h"

namespace quelta {

namespace {

constexpr const char* kContactMail = "quelta@users.invalid";
constexpr const char* kDownloadPage = "https://quelta.invalid/download/";
constexpr const char* kWebSite = "https://quelta.invalid/";

std::string U(std::uint32_t v) { return std::to_string(v); }

std::string DebugInfo(const Session& s) {
  const std::string rule(80, '=');
  return "QUELTA DEBUG INFO\r\n" + rule + "\r\nTB! WorkDir:   " + s.HostDir() +
         "\r\nTB! SpamValue: " + std::to_string(s.JunkScore()) + "\r\n" + rule + "\r\n";
}

struct Macro {
  const char* name;
  std::string (*text)(const Session&);
};

const Macro kMacros[] = {
    {"Quelta_DebugInfo", DebugInfo},
    {"Quelta_PlugPath", [](const Session& s) { return s.PluginDir(); }},
    {"Quelta_PlugName", [](const Session& s) { return s.ProductName(); }},
    {"Quelta_PlugVersion", [](const Session& s) { return s.FileVersion(); }},
    {"Quelta_LoadedRules", [](const Session& s) { return std::to_string(s.RuleCount()); }},
    {"Quelta_BayesWords", [](const Session& s) { return U(s.BayesNumbers().wordRecords); }},
    {"Quelta_BayesMails",
     [](const Session& s) {
       const BayesFigures b = s.BayesNumbers();
       return U(b.spamMessages + b.hamMessages);
     }},
    {"Quelta_BayesSpams", [](const Session& s) { return U(s.BayesNumbers().spamMessages); }},
    {"Quelta_BayesHams", [](const Session& s) { return U(s.BayesNumbers().hamMessages); }},
    {"Quelta_BayesReclassified",
     [](const Session& s) {
       const Statistics t = s.Stats();
       return U(t.bayesReClassAsSpam + t.bayesReClassAsHam);
     }},
    {"Quelta_BayesSpam2Ham", [](const Session& s) { return U(s.Stats().bayesReClassAsHam); }},
    {"Quelta_BayesHam2Spam", [](const Session& s) { return U(s.Stats().bayesReClassAsSpam); }},
    {"Quelta_BayesLearned",
     [](const Session& s) {
       const Statistics t = s.Stats();
       return U(t.bayesLearnAsSpam + t.bayesLearnAsHam);
     }},
    {"Quelta_BayesLearnSpam", [](const Session& s) { return U(s.Stats().bayesLearnAsSpam); }},
    {"Quelta_BayesLearnHam", [](const Session& s) { return U(s.Stats().bayesLearnAsHam); }},
    {"Quelta_BayesChecked", [](const Session& s) { return U(s.Stats().bayesMessagesChecked); }},
    {"Quelta_MsgFiltered", [](const Session& s) { return U(s.Stats().messagesFiltered); }},
    {"Quelta_Test", [](const Session&) { return std::string(); }},
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

bool MacroText(const Session& session, const std::string& name, std::string& text) {
  for (const auto& m : kMacros) {
    if (name == m.name) {
      text = m.text(session);
      return true;
    }
  }
  return false;
}

std::string InfoPage(const Session& s) {
  const std::string mail = std::string("<a href=\"mailto:") + kContactMail + "\">" + kContactMail + "</a>";
  return "<html><body background=\"#f0f0e8\"><font size=5><b>" + s.ProductName() +
         "</b></font><br>" + "<font size=4>" + s.FileDescription() + "</font><br>" +
         "<font size=4><b>Version " + s.FileVersion() + "</b></font><br>" +
         "<hr noshade color=\"#b0b0a8\" height=\"1\"><br>" +
         "Please send comments, tips and suggestions to &lt;" + mail + "&gt;.<br>" +
         "The newest version of this plugin is available at <a href=\"" + kDownloadPage + "\">" +
         kDownloadPage + "</a>.<br><br>" + "<b>" + s.LegalCopyright() + "</b><br>" +
         "Website: <a href=\"" + kWebSite + "\">" + kWebSite + "</a><br>" + "E-Mail: " + mail +
         "<br>" + "</body></html>";
}

}  // namespace quelta
