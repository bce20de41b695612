// The twelve functions the host calls, and the one process-wide session
// they share. Each export guards its work: no exception ever leaves this
// file, failures become the plug-in's log lines and neutral results.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/filter_log.h"
#include "app/macros.h"
#include "app/session.h"
#include "os/env.h"
#include "plugin/host_abi.h"
#include "plugin/host_data.h"
#include "ui/options_dialog.h"

#if defined(_WIN32)
#define TBP_EXPORT extern "C"
#else
#define TBP_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace quelta;

namespace {

// The plug-in's process-wide state: the session and the two flags of the
// exports. The busy flag serialises scoring and training.
struct PluginState {
  Session session;
  std::atomic<bool> busy{false};
  std::atomic<bool> optionsOpen{false};
};

PluginState& Plugin() {
  static PluginState state;
  return state;
}

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
  while (Plugin().busy.exchange(true, std::memory_order_acquire)) os::SleepMs(50);
}

struct BusyGuard {
  BusyGuard() { AcquireBusy(); }
  ~BusyGuard() { Plugin().busy.store(false, std::memory_order_release); }
};

}  // namespace

TBP_EXPORT std::int32_t TBP_STDCALL TBP_Initialize() {
  try {
    Plugin().busy = false;
    Plugin().optionsOpen = false;
    return Plugin().session.Startup() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_Finalize() {
  try {
    return Plugin().session.Shutdown();
  } catch (...) {
    return 1;
  }
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_GetName(char* buffer, std::int32_t size) {
  return CopyText(Plugin().session.ProductName(), buffer, size);
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_GetVersion(char* buffer, std::int32_t size) {
  return CopyText(Plugin().session.FileVersion(), buffer, size);
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_GetInfo(char* buffer, std::int32_t size) {
  try {
    return CopyText(InfoPage(Plugin().session), buffer, size);
  } catch (...) {
    return 0;
  }
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_GetStatus() { return 0; }

TBP_EXPORT std::int32_t TBP_STDCALL TBP_NeedConfig() { return 1; }

TBP_EXPORT std::int32_t TBP_STDCALL TBP_Setup() {
  try {
    if (Plugin().optionsOpen.exchange(true)) return 0;
    try {
      ShowOptionsDialog(Plugin().session);
    } catch (...) {
    }
    Plugin().optionsOpen = false;
  } catch (...) {
  }
  return 0;
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_GetSpamScore(HostCookie cookie, DataRequestProc proc) {
  std::int32_t score = 0;
  try {
    BusyGuard busy;
    const FilterLog::Held heldLog(Plugin().session.LogFile());  // the call's lines through one handle
    try {
      Session& session = Plugin().session;
      session.RefreshAutoWhiteList();
      const std::uint32_t start = os::TickCount();
      HostRenderedText rendered(proc, cookie);
      score = session.ScoreMessage(FetchItem(proc, cookie, kItemRawMessage, kMaxScoredMessage),
                                   &rendered);
      const std::uint32_t elapsed = os::TickCount() - start;
      session.LogFile().Write("Message processed in " + std::to_string(elapsed) + " mSec.");
    } catch (...) {
      score = 0;
      Plugin().session.LogFile().Write("ERROR: TBP_GetSpamScore failed!");
    }
  } catch (...) {
    score = 0;
  }
  return score;
}

TBP_EXPORT std::int32_t TBP_STDCALL TBP_FeedSpam(HostCookie cookie, std::int32_t isSpam,
                                                 DataRequestProc proc) {
  try {
    BusyGuard busy;
    const FilterLog::Held heldLog(Plugin().session.LogFile());
    try {
      Session& session = Plugin().session;
      const std::uint32_t maxSize = session.Config().maxMsgSize;
      const auto limit = static_cast<std::int32_t>(maxSize > 0x7FFFFFFFu ? 0x7FFFFFFFu : maxSize);
      HostRenderedText rendered(proc, cookie);
      session.TrainMessage(FetchItem(proc, cookie, kItemRawMessage, limit), &rendered, isSpam == 1);
    } catch (...) {
      Plugin().session.LogFile().Write("ERROR: TBP_FeedSpam failed!");
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
                                                  MacroReceiver* receiver,
                                                  MacroReceiver* context) {
  std::int32_t result = -1;
  try {
    // Both host objects are kept referenced for the whole call.
    if (receiver) receiver->AddRef();
    if (context) context->AddRef();
    try {
      std::string text;
      if (length > 0 && name && MacroText(Plugin().session, std::string(name), text)) {
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
