// BatAPI: the host's side of the plug-in interface (calling convention,
// the data-request callback, the macro receiver) and the one data-fetch
// routine every consumer uses.
//
// Promises: FetchItem never throws and never reads more than the host
// reports; any failure yields the empty string.
#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32)
#define TBP_STDCALL __stdcall
#else
#define TBP_STDCALL
#endif

namespace quelta {

// Opaque message cookie: pointer-sized (32 bits in the 32-bit plug-in).
using THostCookie = std::uintptr_t;

// Data-request callback: (cookie, item, buffer, size) -> count. With a null
// buffer and size 0 it returns the item's size; with a buffer it fills at
// most `size` bytes and returns how many it wrote. 0 or less: no data.
using TDataRequestProc = std::int32_t(TBP_STDCALL*)(THostCookie cookie, std::int32_t item,
                                                    void* buffer, std::int32_t size);

constexpr std::int32_t kItemRawMessage = 100005;  // raw message, CR LF lines
constexpr std::int32_t kItemRenderedText = 100008;  // rendered text, UTF-16LE
constexpr std::int32_t kMaxScoredMessage = 10240000;  // fetch limit for scoring

// The host's macro receiver: a COM-style object whose vtable holds
// QueryInterface, AddRef, Release, then the method receiving the text.
struct IMacroReceiver {
  virtual std::int32_t TBP_STDCALL QueryInterface(const void* iid, void** obj) = 0;
  virtual std::uint32_t TBP_STDCALL AddRef() = 0;
  virtual std::uint32_t TBP_STDCALL Release() = 0;
  virtual std::int32_t TBP_STDCALL SetText(std::int32_t zero, const char* text,
                                           std::int32_t length) = 0;
};

// Two-call fetch: ask for the size, cut it to `limit` when limit >= 1, fill
// a buffer by a second call (only when the size is above 0), keep as many
// bytes as the second call reports.
std::string FetchItem(TDataRequestProc proc, THostCookie cookie, std::int32_t item,
                      std::int32_t limit);

}  // namespace quelta
