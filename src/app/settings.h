// Settings: every option of the plug-in, composed of the option structs of
// the layers that use them, and the one key table that reads them from and
// writes them to "Quelta.ini". Sizes are configured in MB or KB and held in
// bytes. Statistics: the usage counters kept in the same file.
//
// Promises: loading gives every missing or malformed key its default;
// saving writes every key the table names, in the table's order, as one
// save of the file (see os::IniWriteAll); nothing throws out of Load / Save
// (failures are reported as false). LiveStatistics may be counted on one
// thread and read on any other.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "app/filter_log.h"
#include "app/update_check.h"
#include "bayes/classifier.h"
#include "engine/evaluator.h"
#include "message/parser.h"
#include "rules/easy_mode.h"

namespace quelta {

struct Settings {
  std::string language = "English";
  std::uint32_t maxMsgSize = 10u * 1048576u;  // training fetches at most this much
  std::int32_t awlDays = 60;                  // auto-white-list entries older than this go
  bool easyEnabled = true;                    // easy mode instead of "Rules.dat"
  bool scripting = false;
  MessageOptions message;
  EngineOptions engine;
  BayesOptions bayes;
  EasyModeOptions easy;
  LogOptions log;
  UpdateSettings update;
};

// Reads every key; keys whose default is the host's threshold get
// junkScore. False when anything failed (fields read so far keep their new
// values).
bool LoadSettings(const std::string& iniFile, std::int32_t junkScore, double now, Settings& s);
// Writes every key ("Update" "Server" and "LastUpdate" are never written).
bool SaveSettings(const std::string& iniFile, const Settings& s);

// Usage statistics; unsigned 32-bit, wrapping.
struct Statistics {
  std::uint32_t messagesFiltered = 0, classAsSpam = 0, classAsHam = 0, bayesReClassAsSpam = 0,
                bayesReClassAsHam = 0, bayesLearnAsSpam = 0, bayesLearnAsHam = 0,
                bayesMessagesChecked = 0;

  void Add(const UsageCounts& c);
};

// The statistics of a running session: counted by the per-message work
// (one thread at a time), read by the macros from any thread. Every
// counter is read whole; a snapshot taken while a message is being counted
// may hold some of its counters added and others not yet.
class LiveStatistics {
 public:
  void Set(const Statistics& s);
  void Add(const UsageCounts& c);
  Statistics Snapshot() const;

 private:
  std::atomic<std::uint32_t> messagesFiltered_{0}, classAsSpam_{0}, classAsHam_{0},
      bayesReClassAsSpam_{0}, bayesReClassAsHam_{0}, bayesLearnAsSpam_{0}, bayesLearnAsHam_{0},
      bayesMessagesChecked_{0};
};

bool LoadStatistics(const std::string& iniFile, Statistics& s);
bool SaveStatistics(const std::string& iniFile, const Statistics& s);

}  // namespace quelta
