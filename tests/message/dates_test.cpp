// Date texts and zones: the dates a message claims land on the right day,
// second and zone; a malformed date gives 0 and leaves the zone alone when
// it fails before reaching it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/date_time.h"
#include "message/dates.h"
#include "support/table.h"

namespace quelta {
namespace {

using testing_support::ExpectEach;

// "yyyy-mm-dd hh:nn:ss zone" of a parsed date (zone -1 when never read),
// or "0 zone" when it failed; zone in minutes east of UTC.
std::string Parsed(const std::string& text) {
  int zone = -1, y, m, d, h, n, s, ms;
  const double v = ParseDate(text, zone);
  if (v == 0) return "0 " + std::to_string(zone);
  DecodeDate(v, y, m, d);
  DecodeTime(v, h, n, s, ms);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d %d", y, m, d, h, n, s, ms, zone);
  return buf;
}

TEST(Dates, ZoneOffsets) {
  ExpectEach([](const std::string& z) { return std::to_string(ZoneOffset(z)); },
             {{"+0100", "60"}, {"-0500", "-300"}, {"+0530", "330"}, {"-0330", "-210"}, {"+1300", "780"},
              {"+0100 (CET)", "60"}, {"+01", "0"}, {"+010", "0"}, {"+01x0", "0"}, {"+ab00", "0"}, {"  +0200  ", "120"},
              {"+", "0"}, {"CET", "60"}, {"cest", "120"}, {"MESZ", "120"}, {"ba.t", "180"}, {"it", "210"},
              {"jt", "450"}, {"sast", "570"}, {"cadt", "630"}, {"usz10", "660"}, {"nzdt", "780"}, {"wat", "-60"},
              {"at", "-120"}, {"bst", "-180"}, {"nst", "-210"}, {"edt", "-240"}, {"(EST)", "-300"}, {"(est", "-300"},
              {"cst", "-360"}, {"pdt", "-420"}, {"ahdt", "-480"}, {"yst", "-540"}, {"hst", "-600"}, {"be.t", "-660"},
              {"idlw", "-720"}, {"idle", "720"}, {"gmt", "0"}, {"utc", "0"}, {"est5edt", "0"}, {"est (eastern)", "0"},
              {"e st", "0"}});
}

TEST(Dates, ParseDate) {
  ExpectEach(Parsed, {
      {"Mon, 1 Jan 2007 10:00:00 +0100", "2007-01-01 10:00:00.000 60"},
      {"1 Jan 2007 10:00:00 GMT", "2007-01-01 10:00:00.000 0"},
      {"Mon, 1 Jan 2007 10:00:00 -0500 (EST)", "2007-01-01 10:00:00.000 -300"},
      {"Mon, 1 Jan 2007 10:00:00 (EST)", "2007-01-01 10:00:00.000 -300"},
      {"  tue, 29 FEB 2000 23:59:59 +1300  ", "2000-02-29 23:59:59.000 780"},
      {"Thu, 09 Dec 2200 00:00:00 -1200", "2200-12-09 00:00:00.000 -720"},
      {"Sat, 1 Dec 1900 0:0:0 +0000", "1900-12-01 00:00:00.000 0"},
      {"Mon, 1 Jan 2007 10:00:00", "2007-01-01 10:00:00.000 0"},
      {"Fri, 5 Oct 2007 08:09:10 +0200 (CEST)", "2007-10-05 08:09:10.000 120"},
      {std::string("Mon, 1 Jan 2007 10:00:00 \0+0100", 32), "2007-01-01 10:00:00.000 60"},
      // Failing before the zone leaves it at -1.
      {"Mon, 1 Jan 07 10:00:00 +0100", "0 -1"}, {"Mon, 1 Jan 2007 10:00 +0100", "0 -1"},
      {"Mon, 32 Jan 2007 10:00:00 +0100", "0 -1"}, {"Mon, 0 Jan 2007 10:00:00 +0100", "0 -1"},
      {"Mon, 1 Jan 1899 10:00:00 +0100", "0 -1"}, {"Mon, 1 Jan 2201 10:00:00 +0100", "0 -1"},
      {"Mon, 1 Jan 2007 24:00:00 +0100", "0 -1"}, {"Mon, 1 Jan 2007 10:60:00 +0100", "0 -1"},
      {"Mon, 1 Jan 2007 10:00:60 +0100", "0 -1"}, {"Mon, 1 Jan 2007 10:00:0x +0100", "0 -1"},
      {"Mon, 1 Jan 2007", "0 -1"}, {"Mon, Jan 1 2007 10:00:00 +0100", "0 -1"},
      {"Mon,1 Jan 2007 10:00:00 +0100", "0 -1"}, {"", "0 -1"}, {"garbage", "0 -1"},
      {std::string(200000, '1'), "0 -1"}, {"Mon, 1 Jan 2007 :: +0100", "0 -1"},
      // An impossible day or an unknown month fails after the zone.
      {"Fri, 30 Feb 2007 10:00:00 +0000", "0 0"}, {"Thu, 29 Feb 2007 10:00:00 +0100", "0 60"},
      {"Mon, 31 Apr 2007 10:00:00 EST", "0 -300"}, {"Mon, 1 January 2007 10:00:00 +0100", "0 60"},
      {"Mon, 1 jan. 2007 10:00:00 +0100", "0 60"}});
}

}  // namespace
}  // namespace quelta
