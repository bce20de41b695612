// Parsing of RFC 822 style date texts ("Mon, 1 Jan 2007 10:00:00
// +0100") into date-time values, and time-zone names and numeric offsets
// into minutes east of UTC.
//
// Promises: nothing throws; a malformed date gives 0, an unknown zone 0.
#pragma once

#include <string>

namespace quelta {

// Date-time value of the date as written (sender's zone, whole seconds); 0
// when text is not a complete date. zoneOffset (minutes east of UTC) is
// written only when the parse reaches the zone, after the seconds.
double ParseDate(const std::string& text, int& zoneOffset);

// Minutes east of UTC of a zone text: "+hhmm"/"-hhmm" (anything after five
// characters ignored) or a zone name from the table ("cet", "(est)", ...);
// 0 when not recognised (also "gmt", "ut", "utc", "z").
int ZoneOffset(const std::string& text);

}  // namespace quelta
