// The binary interface between the mail client and the plug-in: the calling
// convention, the data-request callback and its items, the macro receiver
// object, and the signatures of the twelve exports. The plug-in implements
// it; hosts (the mail client, the `quelta` command, the tests) bind the
// exports by name with these types.
//
// Promises: header only, no state; the same layout on every target
// (stdcall and 32-bit pointers in the 32-bit Windows plug-in).
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define TBP_STDCALL __stdcall
#else
#define TBP_STDCALL
#endif

namespace quelta {

// Opaque message cookie: pointer-sized (32 bits in the 32-bit plug-in).
using HostCookie = std::uintptr_t;

// Data-request callback: (cookie, item, buffer, size) -> count. With a null
// buffer and size 0 it returns the item's size; with a buffer it fills at
// most `size` bytes and returns how many it wrote. 0 or less: no data.
using DataRequestProc = std::int32_t(TBP_STDCALL*)(HostCookie cookie, std::int32_t item,
                                                   void* buffer, std::int32_t size);

constexpr std::int32_t kItemRawMessage = 100005;    // raw message, CR LF lines
constexpr std::int32_t kItemRenderedText = 100008;  // rendered text, UTF-16LE
constexpr std::int32_t kMaxScoredMessage = 10240000;  // fetch limit for scoring

// The host's macro receiver: a COM-style object whose vtable holds
// QueryInterface, AddRef, Release, then the method receiving the text.
struct MacroReceiver {
  virtual std::int32_t TBP_STDCALL QueryInterface(const void* iid, void** obj) = 0;
  virtual std::uint32_t TBP_STDCALL AddRef() = 0;
  virtual std::uint32_t TBP_STDCALL Release() = 0;
  virtual std::int32_t TBP_STDCALL SetText(std::int32_t zero, const char* text,
                                           std::int32_t length) = 0;
};

// The exports' signatures, by kind:
// TBP_Initialize, TBP_Finalize, TBP_GetStatus, TBP_NeedConfig, TBP_Setup.
using TbpVoidFn = std::int32_t(TBP_STDCALL*)();
// TBP_GetName, TBP_GetVersion, TBP_GetInfo, TBP_GetMacroList: (buffer, size).
using TbpTextFn = std::int32_t(TBP_STDCALL*)(char* buffer, std::int32_t size);
// TBP_GetSpamScore.
using TbpScoreFn = std::int32_t(TBP_STDCALL*)(HostCookie cookie, DataRequestProc proc);
// TBP_FeedSpam: isSpam 1 for spam, anything else for ham.
using TbpFeedFn = std::int32_t(TBP_STDCALL*)(HostCookie cookie, std::int32_t isSpam,
                                             DataRequestProc proc);
// TBP_ExecMacro.
using TbpMacroFn = std::int32_t(TBP_STDCALL*)(const char* name, std::int32_t length,
                                              MacroReceiver* receiver, MacroReceiver* context);

}  // namespace quelta
