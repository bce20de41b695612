#include "message/cDates.h"

namespace quelta {

double ParseDate(const std::string& text, int& zoneOffset) { return 0; }
int ZoneOffset(const std::string& text) { return 0; }

}  // namespace quelta
