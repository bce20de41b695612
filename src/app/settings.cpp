#include "app/settings.h"

#include "base/date_time.h"
#include "base/ini.h"

namespace quelta {

namespace {

// One table drives both loading and saving, so the two cannot drift apart.
// Each key names its field through an accessor. Counts are stored in the
// file in units (MB, KB, months) and held in memory multiplied by 2^shift.
template <class T>
struct Key {
  const char* section;
  const char* key;
  T& (*field)(Settings&);
  T def;
};
struct IntKey : Key<std::int32_t> {
  bool defIsJunkScore;  // the default is the host's threshold
};
struct CountKey : Key<std::uint32_t> {
  unsigned shift;
};

#define QUELTA_FIELD(member) [](Settings& s) -> auto& { return s.member; }

const Key<bool> kBoolKeys[] = {
    {"Main", "DnsblExtendedLogging", QUELTA_FIELD(engine.network.dnsblExtendedLogging), true},
    {"Main", "UrlblExtendedLogging", QUELTA_FIELD(engine.network.urlblExtendedLogging), true},
    {"Main", "MXCheckSavExtendedLogging", QUELTA_FIELD(engine.network.mxCheckSavExtendedLogging), false},
    {"Bayes", "Enabled", QUELTA_FIELD(engine.bayesEnabled), true},
    {"Bayes", "ExtendedLogging", QUELTA_FIELD(engine.bayesExtendedLogging), false},
    {"Bayes", "AddMarkSpam", QUELTA_FIELD(engine.addMarkSpam), true},
    {"Bayes", "AddMarkHam", QUELTA_FIELD(engine.addMarkHam), true},
    {"Bayes", "AddMaxScore", QUELTA_FIELD(engine.addMaxScore), true},
    {"Bayes", "AddHigher", QUELTA_FIELD(engine.addHigher), true},
    {"Bayes", "AddLower", QUELTA_FIELD(engine.addLower), true},
    {"Bayes", "NoHtmlPart", QUELTA_FIELD(engine.tokenizer.noHtmlPart), false},
    {"Bayes", "NoNumbersOnly", QUELTA_FIELD(engine.tokenizer.noNumbersOnly), true},
    {"EasyMode", "Enabled", QUELTA_FIELD(easyEnabled), true},
    {"EasyMode", "AutoWL", QUELTA_FIELD(easy.autoWhiteList), true},
    {"EasyMode", "AddrBooks", QUELTA_FIELD(easy.addressBooks), true},
    {"EasyMode", "Rules", QUELTA_FIELD(easy.ruleFile), true},
    {"EasyMode", "Intern", QUELTA_FIELD(easy.ruleTable), false},
    {"EasyMode", "Bayes", QUELTA_FIELD(easy.bayes), true},
    {"EasyMode", "BayesIsScoreCheck", QUELTA_FIELD(easy.bayesIsScoreCheck), false},
    {"EasyMode", "DNSBL", QUELTA_FIELD(easy.dnsbl), true},
    {"EasyMode", "URLBL", QUELTA_FIELD(easy.urlbl), true},
    {"Main", "DebugMode", QUELTA_FIELD(engine.debugMode), false},
    {"Main", "Scripting", QUELTA_FIELD(scripting), false},
};
const IntKey kIntKeys[] = {
    {{"Main", "BreakAtScore", QUELTA_FIELD(engine.breakAtScore), 300}, false},
    {{"Main", "AWLDays", QUELTA_FIELD(awlDays), 60}, false},
    {{"Bayes", "MinWordCount", QUELTA_FIELD(bayes.minWordCount), 3}, false},
    {{"Bayes", "MaxWords", QUELTA_FIELD(bayes.maxWords), 200}, false},
    {{"Bayes", "MaxSigWords", QUELTA_FIELD(bayes.maxSigWords), 25}, false},
    {{"Bayes", "AddHigherValue", QUELTA_FIELD(engine.addHigherValue), 0}, true},
    {{"Bayes", "AddLowerValue", QUELTA_FIELD(engine.addLowerValue), 40}, false},
    {{"EasyMode", "BayesIsScoreValue", QUELTA_FIELD(easy.bayesIsScoreValue), 0}, true},
};
const CountKey kCountKeys[] = {
    {{"Main", "MaxMsgSize", QUELTA_FIELD(maxMsgSize), 10}, 20},
    {{"Main", "MaxDataSize", QUELTA_FIELD(message.maxDataSize), 100}, 10},
    {{"Main", "MaxRegExpSize", QUELTA_FIELD(engine.maxRegExpSize), 32}, 10},
    {{"Main", "MaxLogSize", QUELTA_FIELD(log.maxLogSize), 250}, 10},
    {{"Main", "OldLogAge", QUELTA_FIELD(log.oldLogAge), 3}, 0},
};

#undef QUELTA_FIELD

// The counters in their order in the file.
struct CounterKey {
  const char* key;
  std::uint32_t Statistics::*field;
};
const CounterKey kCounters[] = {
    {"MessagesFiltered", &Statistics::messagesFiltered},
    {"ClassAsSpam", &Statistics::classAsSpam},
    {"ClassAsHam", &Statistics::classAsHam},
    {"BayesMessagesChecked", &Statistics::bayesMessagesChecked},
    {"BayesReClassAsSpam", &Statistics::bayesReClassAsSpam},
    {"BayesReClassAsHam", &Statistics::bayesReClassAsHam},
    {"BayesLearnAsSpam", &Statistics::bayesLearnAsSpam},
    {"BayesLearnAsHam", &Statistics::bayesLearnAsHam},
};

}  // namespace

bool LoadSettings(const std::string& f, std::int32_t junkScore, double now, Settings& s) {
  try {
    s.language = ReadIniString(f, "Main", "Language", "English");
    for (const auto& k : kBoolKeys) k.field(s) = ReadIniBool(f, k.section, k.key, k.def);
    for (const auto& k : kIntKeys)
      k.field(s) = ReadIniInt(f, k.section, k.key, k.defIsJunkScore ? junkScore : k.def);
    // Wraps like the 32-bit arithmetic it stands for.
    for (const auto& k : kCountKeys)
      k.field(s) = ReadIniCounter(f, k.section, k.key, k.def) << k.shift;
    UpdateSettings& u = s.update;
    u.enabled = ReadIniBool(f, "Update", "Enabled", false);
    u.server = ReadIniString(f, "Update", "Server", "");
    // LastUpdate: whole seconds since 1970 of the local clock.
    const std::int64_t monthAgo = DateTimeToUnix(now - 30.0);
    u.lastUpdate = UnixToDateTime(static_cast<std::int64_t>(
        ReadIniCounter(f, "Update", "LastUpdate", static_cast<std::uint32_t>(monthAgo))));
    u.interval = ReadIniInt(f, "Update", "Interval", 3);
    if (u.interval < 1) u.interval = 1;
    u.showMessage = ReadIniBool(f, "Update", "ShowMessage", true);
    return true;
  } catch (...) {
    return false;
  }
}

bool SaveSettings(const std::string& f, const Settings& settings) {
  try {
    Settings s = settings;  // the accessors hand out references to a copy
    IniBatch ini;
    ini.String("Main", "Language", s.language);
    for (const auto& k : kCountKeys) ini.Counter(k.section, k.key, k.field(s) >> k.shift);
    for (const auto& k : kIntKeys) ini.Int(k.section, k.key, k.field(s));
    for (const auto& k : kBoolKeys) ini.Bool(k.section, k.key, k.field(s));
    // "Server" and "LastUpdate" are never written here.
    ini.Bool("Update", "Enabled", s.update.enabled);
    ini.Int("Update", "Interval", s.update.interval);
    ini.Bool("Update", "ShowMessage", s.update.showMessage);
    return ini.Write(f);
  } catch (...) {
    return false;
  }
}

void Statistics::Add(const UsageCounts& c) {
  messagesFiltered += c.messagesFiltered;
  classAsSpam += c.classAsSpam;
  classAsHam += c.classAsHam;
  bayesMessagesChecked += c.bayesMessagesChecked;
  bayesReClassAsSpam += c.bayesReClassAsSpam;
  bayesReClassAsHam += c.bayesReClassAsHam;
  bayesLearnAsSpam += c.bayesLearnAsSpam;
  bayesLearnAsHam += c.bayesLearnAsHam;
}

namespace {

void AddTo(std::atomic<std::uint32_t>& counter, std::uint32_t n) {
  if (n != 0) counter.fetch_add(n, std::memory_order_relaxed);  // wraps at 2^32
}

}  // namespace

void LiveStatistics::Set(const Statistics& s) {
  messagesFiltered_ = s.messagesFiltered;
  classAsSpam_ = s.classAsSpam;
  classAsHam_ = s.classAsHam;
  bayesReClassAsSpam_ = s.bayesReClassAsSpam;
  bayesReClassAsHam_ = s.bayesReClassAsHam;
  bayesLearnAsSpam_ = s.bayesLearnAsSpam;
  bayesLearnAsHam_ = s.bayesLearnAsHam;
  bayesMessagesChecked_ = s.bayesMessagesChecked;
}

void LiveStatistics::Add(const UsageCounts& c) {
  AddTo(messagesFiltered_, c.messagesFiltered);
  AddTo(classAsSpam_, c.classAsSpam);
  AddTo(classAsHam_, c.classAsHam);
  AddTo(bayesMessagesChecked_, c.bayesMessagesChecked);
  AddTo(bayesReClassAsSpam_, c.bayesReClassAsSpam);
  AddTo(bayesReClassAsHam_, c.bayesReClassAsHam);
  AddTo(bayesLearnAsSpam_, c.bayesLearnAsSpam);
  AddTo(bayesLearnAsHam_, c.bayesLearnAsHam);
}

Statistics LiveStatistics::Snapshot() const {
  Statistics s;
  s.messagesFiltered = messagesFiltered_.load(std::memory_order_relaxed);
  s.classAsSpam = classAsSpam_.load(std::memory_order_relaxed);
  s.classAsHam = classAsHam_.load(std::memory_order_relaxed);
  s.bayesReClassAsSpam = bayesReClassAsSpam_.load(std::memory_order_relaxed);
  s.bayesReClassAsHam = bayesReClassAsHam_.load(std::memory_order_relaxed);
  s.bayesLearnAsSpam = bayesLearnAsSpam_.load(std::memory_order_relaxed);
  s.bayesLearnAsHam = bayesLearnAsHam_.load(std::memory_order_relaxed);
  s.bayesMessagesChecked = bayesMessagesChecked_.load(std::memory_order_relaxed);
  return s;
}

bool LoadStatistics(const std::string& iniFile, Statistics& s) {
  try {
    for (const auto& c : kCounters) s.*c.field = ReadIniCounter(iniFile, "Statistics", c.key, 0);
    return true;
  } catch (...) {
    return false;
  }
}

bool SaveStatistics(const std::string& iniFile, const Statistics& s) {
  try {
    IniBatch ini;
    for (const auto& c : kCounters) ini.Counter("Statistics", c.key, s.*c.field);
    return ini.Write(iniFile);
  } catch (...) {
    return false;
  }
}

}  // namespace quelta
