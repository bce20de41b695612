#include "plugin/host_data.h"

#include <algorithm>

namespace quelta {

std::string FetchItem(DataRequestProc proc, HostCookie cookie, std::int32_t item,
                      std::int32_t limit) {
  if (!proc) return {};
  try {
    std::int32_t size = proc(cookie, item, nullptr, 0);
    if (size <= 0) return {};
    if (limit >= 1 && size > limit) size = limit;
    std::string buf(static_cast<std::size_t>(size), '\0');
    std::int32_t got = proc(cookie, item, &buf[0], size);
    if (got <= 0) return {};
    if (got < size) buf.resize(static_cast<std::size_t>(got));
    return buf;
  } catch (...) {
    return {};
  }
}

std::string HostRenderedText::RenderedText(std::size_t maxBytes) {
  const std::string utf16 = FetchItem(
      proc_, cookie_, kItemRenderedText,
      static_cast<std::int32_t>(std::min<std::size_t>(maxBytes, 0x7FFFFFFF)));
  // The low byte of every UTF-16LE code unit; a lone last byte is dropped.
  std::string r;
  r.reserve(utf16.size() / 2);
  for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) r.push_back(utf16[i]);
  return r;
}

}  // namespace quelta
