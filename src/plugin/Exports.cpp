// Exports: the twelve functions the host calls. Each one guards its work:
// no exception ever leaves this file, failures become the plug-in's log
// lines and neutral results.
#include <cstdint>
#include <cstring>
#include <string>

#include "bayes/cBayes.h"
#include "message/cMsgParser.h"
#include "platform/Env.h"
#include "plugin/BatAPI.h"
#include "plugin/fLog.h"
#include "plugin/fMacros.h"
#include "plugin/fPlugin.h"
#include "rules/cLists.h"
#include "rules/cRuleMgr.h"
#include "ui/formOptions.h"

#if defined(_WIN32)
#define TBP_EXPORT extern "C"
#else
#define TBP_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace quelta;

namespace {

// Text copy rule: with a buffer and a size of 0 or more, copy min(size,
// length) bytes (no terminating zero) and return that number; otherwise
// return the text's length.
std::int32_t CopyText(const std::string& text, char* buffer, std::int32_t size) {
  try {
    const auto len = static_cast<std::int32_t>(text.size());
    if (!buffer || size < 0) return len;
    const std::int32_t n = size < len ? size : len;
    if (n > 0) std::memcpy(buffer, text.data(), static_cast<std::size_t>(n));
    return n;
  } catch (...) {
    return 0;
  }
}

// Takes the busy flag as one atomic step, polling every 50 ms.
void AcquireBusy() {
  while (Plugin().Busy.exchange(true, std::memory_order_acquire)) env::SleepMs(50);
}

struct BusyGuard {
  BusyGuard() { AcquireBusy(); }
  ~BusyGuard() { Plugin().Busy.store(false, std::memory_order_release); }
};

// Re-reads AutoWL.lst when its size changed (and is above 0).
void RefreshAutoWhiteList() {
  const std::string file = Plugin().Config.AutoWL + "AutoWL.lst";
  const std::int64_t size = env::FileSize(file);
  if (size > 0 && size != Plugin().Settings.AutoWLSize) {
    const int n = LoadAutoWhiteList(file);
    WriteLog("Quelta: " + std::to_string(n) + " lines reloaded from \"AutoWL.lst\".");
  }
}

}  // namespace

TBP_EXPORT std::int32_t TBP_STDCALL TBP_Initialize() {
  try {
    return Startup() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_Finalize() {
  try {
    return Shutdown();
  } catch (...) {
    return 1;
  }
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_GetName(char* buffer, std::int32_t size) {
  return CopyText(Plugin().ProductName, buffer, size);
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_GetVersion(char* buffer, std::int32_t size) {
  return CopyText(Plugin().FileVersion, buffer, size);
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_GetInfo(char* buffer, std::int32_t size) {
  try {
    return CopyText(InfoPage(), buffer, size);
  } catch (...) {
    return 0;
  }
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_GetStatus() { return 0; }

TBP_EXPORT std::int32_t TBP_STDCALL TBP_NeedConfig() { return 1; }

TBP_EXPORT std::int32_t TBP_STDCALL TBP_Setup() {
  try {
    if (Plugin().OptionsOpen.exchange(true)) return 0;
    try {
      ShowOptionsDialog();
    } catch (...) {
    }
    Plugin().OptionsOpen = false;
  } catch (...) {
  }
  return 0;
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_GetSpamScore(THostCookie cookie, TDataRequestProc proc) {
  std::int32_t score = 0;
  try {
    BusyGuard busy;
    try {
      RefreshAutoWhiteList();
      const std::uint32_t start = env::TickCount();
      {
        TRuleMgr mgr(cookie, proc);
        score = mgr.Evaluate();
      }
      const std::uint32_t elapsed = env::TickCount() - start;
      WriteLog("Message processed in " + std::to_string(elapsed) + " mSec.");
    } catch (...) {
      score = 0;
      WriteLog("ERROR: TBP_GetSpamScore failed!");
    }
  } catch (...) {
    score = 0;
  }
  return score;
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_FeedSpam(THostCookie cookie, std::int32_t isSpam,
                                                 TDataRequestProc proc) {
  try {
    BusyGuard busy;
    try {
      const auto limit = static_cast<std::int32_t>(
          Plugin().Settings.MaxMsgSize > 0x7FFFFFFFu ? 0x7FFFFFFFu : Plugin().Settings.MaxMsgSize);
      TMessageParser parser(FetchItem(proc, cookie, kItemRawMessage, limit), proc, cookie);
      parser.GetField("PARSEONLY_WORDLIST");
      if (Objects().Bayes) Objects().Bayes->Learn(parser, isSpam == 1, false);
    } catch (...) {
      WriteLog("ERROR: TBP_FeedSpam failed!");
    }
  } catch (...) {
  }
  return 0;
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_GetMacroList(char* buffer, std::int32_t size) {
  try {
    return CopyText(MacroList(), buffer, size);
  } catch (...) {
    return 0;
  }
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_ExecMacro(const char* name, std::int32_t length,
                                                  IMacroReceiver* receiver,
                                                  IMacroReceiver* context) {
  std::int32_t result = -1;
  try {
    // Both host objects are kept referenced for the whole call.
    if (receiver) receiver->AddRef();
    if (context) context->AddRef();
    try {
      std::string text;
      if (length > 0 && name && MacroText(std::string(name), text)) {
        if (receiver)
          receiver->SetText(0, text.c_str(), static_cast<std::int32_t>(text.size()));
        result = 0;
      }
    } catch (...) {
      result = -1;
    }
    if (context) context->Release();
    if (receiver) receiver->Release();
  } catch (...) {
  }
  return result;
}
