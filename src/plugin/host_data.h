// The plug-in's side of the data-request callback: the one two-call fetch
// every consumer uses, and the rendered text of a message fetched on demand.
//
// Promises: nothing throws and nothing reads more than the host reports;
// any failure yields the empty string.
#pragma once

#include <cstdint>
#include <string>

#include "message/parser.h"
#include "plugin/host_abi.h"

namespace quelta {

// Two-call fetch: ask for the size, cut it to `limit` when limit >= 1, fill
// a buffer by a second call (only when the size is above 0), keep as many
// bytes as the second call reports.
std::string FetchItem(DataRequestProc proc, HostCookie cookie, std::int32_t item,
                      std::int32_t limit);

// The host's rendered text (item 100008, UTF-16LE) reduced to the low byte
// of each code unit.
class HostRenderedText final : public RenderedTextSource {
 public:
  HostRenderedText(DataRequestProc proc, HostCookie cookie) : proc_(proc), cookie_(cookie) {}
  std::string RenderedText(std::size_t maxBytes) override;

 private:
  DataRequestProc proc_;
  HostCookie cookie_;
};

}  // namespace quelta
