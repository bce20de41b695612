#include "plugin/BatAPI.h"

#include <vector>

namespace quelta {

std::string FetchItem(TDataRequestProc proc, THostCookie cookie, std::int32_t item,
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

}  // namespace quelta
