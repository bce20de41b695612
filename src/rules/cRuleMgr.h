// cRuleMgr: `TRuleMgr` scores one message: it fetches the raw message,
// owns its parser, walks the rule store, combines chains, obeys the control
// flags, stops at BreakAtScore, lets the Bayes filter learn from clear
// decisions, counts the statistics and writes the header and report blocks
// to the log.
//
// Promises: Evaluate is called once and returns 0..100 (0 in debug mode);
// a failing rule never ends the evaluation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "message/cMsgParser.h"
#include "plugin/BatAPI.h"
#include "rules/cRules.h"

namespace quelta {

class TRuleMgr {
 public:
  TRuleMgr(THostCookie cookie, TDataRequestProc proc);
  // For tests and tools: score an already fetched message.
  explicit TRuleMgr(std::string raw);
  ~TRuleMgr();

  std::int32_t Evaluate();

  TMessageParser& Parser() { return *parser_; }
  std::int32_t Total() const { return total_; }

 private:
  void Learn(bool asSpam, std::string& report);
  std::unique_ptr<TMessageParser> parser_;
  std::int32_t total_ = 0;
  bool learned_ = false;
  bool autoLearnOff_ = false;
};

}  // namespace quelta
