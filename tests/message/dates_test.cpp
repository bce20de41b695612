// Date texts and zones: the dates a message claims land on the right day,
// second and zone; a malformed date gives 0 and leaves the zone alone when
// it fails before reaching it.
#include <gtest/gtest.h>

#include <string>

#include "base/date_time.h"
#include "message/dates.h"

namespace quelta {
namespace {

TEST(Dates, ZoneOffsets) {
  const std::pair<const char*, int> cases[] = {
      {"+0100", 60},   {"-0500", -300}, {"+0530", 330},  {"-0330", -210}, {"+1300", 780},
      {"+0100 (CET)", 60}, {"+01", 0},  {"+010", 0},     {"+01x0", 0},    {"+ab00", 0},
      {"  +0200  ", 120}, {"+", 0},     {"CET", 60},     {"cest", 120},   {"MESZ", 120},
      {"ba.t", 180},   {"it", 210},     {"jt", 450},     {"sast", 570},   {"cadt", 630},
      {"usz10", 660},  {"nzdt", 780},   {"wat", -60},    {"at", -120},    {"bst", -180},
      {"nst", -210},   {"edt", -240},   {"(EST)", -300}, {"(est", -300},  {"cst", -360},
      {"pdt", -420},   {"ahdt", -480},  {"yst", -540},   {"hst", -600},   {"be.t", -660},
      {"idlw", -720},  {"idle", 720},   {"gmt", 0},      {"utc", 0},      {"est5edt", 0},
      {"est (eastern)", 0}, {"e st", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ZoneOffset(c.first), c.second) << c.first;
}

TEST(Dates, Accepted) {
  const struct {
    const char* text;
    int y, m, d, h, n, s, zone;
  } cases[] = {
      {"Mon, 1 Jan 2007 10:00:00 +0100", 2007, 1, 1, 10, 0, 0, 60},
      {"1 Jan 2007 10:00:00 GMT", 2007, 1, 1, 10, 0, 0, 0},
      {"Mon, 1 Jan 2007 10:00:00 -0500 (EST)", 2007, 1, 1, 10, 0, 0, -300},
      {"Mon, 1 Jan 2007 10:00:00 (EST)", 2007, 1, 1, 10, 0, 0, -300},
      {"  tue, 29 FEB 2000 23:59:59 +1300  ", 2000, 2, 29, 23, 59, 59, 780},
      {"Thu, 09 Dec 2200 00:00:00 -1200", 2200, 12, 9, 0, 0, 0, -720},
      {"Sat, 1 Dec 1900 0:0:0 +0000", 1900, 12, 1, 0, 0, 0, 0},
      {"Mon, 1 Jan 2007 10:00:00", 2007, 1, 1, 10, 0, 0, 0},
      {"Fri, 5 Oct 2007 08:09:10 +0200 (CEST)", 2007, 10, 5, 8, 9, 10, 120},
  };
  for (const auto& c : cases) {
    int zone = -1;
    double want = 0;
    ASSERT_TRUE(TryEncodeDateTime(c.y, c.m, c.d, c.h, c.n, c.s, 0, want));
    EXPECT_DOUBLE_EQ(ParseDate(c.text, zone), want) << c.text;
    EXPECT_EQ(zone, c.zone) << c.text;
  }
  int zone = -1;  // a control byte before the zone is trimmed away with the blanks
  EXPECT_DOUBLE_EQ(ParseDate(std::string("Mon, 1 Jan 2007 10:00:00 \0+0100", 32), zone),
                   EncodeDate(2007, 1, 1) + 10.0 / 24);
  EXPECT_EQ(zone, 60);
}

TEST(Dates, Rejected) {
  // zone: what the parse leaves in the zone (-1: it failed before the zone).
  const std::pair<std::string, int> cases[] = {
      {"Mon, 1 Jan 07 10:00:00 +0100", -1},    {"Mon, 1 Jan 2007 10:00 +0100", -1},
      {"Mon, 32 Jan 2007 10:00:00 +0100", -1}, {"Mon, 0 Jan 2007 10:00:00 +0100", -1},
      {"Mon, 1 Jan 1899 10:00:00 +0100", -1},  {"Mon, 1 Jan 2201 10:00:00 +0100", -1},
      {"Mon, 1 Jan 2007 24:00:00 +0100", -1},  {"Mon, 1 Jan 2007 10:60:00 +0100", -1},
      {"Mon, 1 Jan 2007 10:00:60 +0100", -1},  {"Mon, 1 Jan 2007 10:00:0x +0100", -1},
      {"Mon, 1 Jan 2007", -1},                 {"Mon, Jan 1 2007 10:00:00 +0100", -1},
      {"Mon,1 Jan 2007 10:00:00 +0100", -1},   {"", -1},
      {"garbage", -1},                         {std::string(200000, '1'), -1},
      {"Mon, 1 Jan 2007 :: +0100", -1},
      {"Fri, 30 Feb 2007 10:00:00 +0000", 0},  {"Thu, 29 Feb 2007 10:00:00 +0100", 60},
      {"Mon, 31 Apr 2007 10:00:00 EST", -300}, {"Mon, 1 January 2007 10:00:00 +0100", 60},
      {"Mon, 1 jan. 2007 10:00:00 +0100", 60},
  };
  for (const auto& c : cases) {
    int zone = -1;
    EXPECT_EQ(ParseDate(c.first, zone), 0.0) << c.first;
    EXPECT_EQ(zone, c.second) << c.first;
  }
}

}  // namespace
}  // namespace quelta
