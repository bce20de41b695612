// Date texts, zone names and offsets: the dates a message claims must land
// on the right day, second and zone, and every malformed date must give 0
// without touching the zone when it fails early.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/date_time.h"
#include "message/dates.h"

using namespace quelta;

namespace {

double Dt(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  double v = 0;
  EXPECT_TRUE(TryEncodeDateTime(y, m, d, h, n, s, 0, v));
  return v;
}

constexpr double kSecond = 1.0 / 86400.0;

}  // namespace

TEST(DatesZone, NumericOffsets) {
  const struct {
    const char* text;
    int offset;
  } cases[] = {
      {"+0100", 60},       {"-0500", -300},   {"+0000", 0},     {"+0530", 330},
      {"-0330", -210},     {"+1300", 780},    {"+0100 (CET)", 60},
      {"-0500 (EST)", -300}, {"+01", 0},      {"+010", 0},      {"+01x0", 0},
      {"+ab00", 0},        {"  +0200  ", 120}, {"-0000", 0},    {"+", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.offset, ZoneOffset(c.text)) << c.text;
}

TEST(DatesZone, Names) {
  const struct {
    const char* text;
    int offset;
  } cases[] = {
      {"CET", 60},     {"cest", 120},   {"MEZ", 60},    {"MESZ", 120},  {"ba.t", 180},
      {"it", 210},     {"IST", 330},    {"jt", 450},    {"sast", 570},  {"cadt", 630},
      {"usz10", 660},  {"nzdt", 780},   {"wat", -60},   {"at", -120},   {"bst", -180},
      {"gst", -180},   {"nst", -210},   {"edt", -240},  {"est", -300},  {"EST", -300},
      {"(EST)", -300}, {"(est", -300},  {"cst", -360},  {"mst", -420},  {"pst", -480},
      {"pdt", -420},   {"ahdt", -480},  {"yst", -540},  {"hst", -600},  {"cat", -600},
      {"be.t", -660},  {"nt", -660},    {"idl", -720},  {"idlw", -720}, {"idle", 720},
      // Not in the table, or not exactly.
      {"gmt", 0},      {"ut", 0},       {"utc", 0},     {"z", 0},       {"", 0},
      {"est5edt", 0},  {"(eastern)", 0}, {"est (eastern)", 0}, {"e st", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.offset, ZoneOffset(c.text)) << c.text;
}

TEST(DatesParse, Accepted) {
  const struct {
    const char* text;
    int y, m, d, h, n, s, zone;
  } cases[] = {
      {"Mon, 1 Jan 2007 10:00:00 +0100", 2007, 1, 1, 10, 0, 0, 60},
      {"1 Jan 2007 10:00:00 GMT", 2007, 1, 1, 10, 0, 0, 0},
      {"Wed, 31 Jan 2007 10:00:00 +0000", 2007, 1, 31, 10, 0, 0, 0},
      {"Mon, 1 Jan 2007 10:00:00 -0500 (EST)", 2007, 1, 1, 10, 0, 0, -300},
      {"Mon, 1 Jan 2007 10:00:00 (EST)", 2007, 1, 1, 10, 0, 0, -300},
      {"Mon, 1 Jan 2007 10:00:00 EST", 2007, 1, 1, 10, 0, 0, -300},
      {"  tue, 29 FEB 2000 23:59:59 +1300  ", 2000, 2, 29, 23, 59, 59, 780},
      {"Thu, 09 Dec 2200 00:00:00 -1200", 2200, 12, 9, 0, 0, 0, -720},
      {"Sat, 1 Dec 1900 0:0:0 +0000", 1900, 12, 1, 0, 0, 0, 0},
      {"Mon, 1 Jan 2007 10:00:00", 2007, 1, 1, 10, 0, 0, 0},  // no zone
      {"Fri, 5 Oct 2007 08:09:10 +0200 (CEST)", 2007, 10, 5, 8, 9, 10, 120},
  };
  for (const auto& c : cases) {
    int zone = -1;
    const double v = ParseDate(c.text, zone);
    EXPECT_DOUBLE_EQ(Dt(c.y, c.m, c.d, c.h, c.n, c.s), v) << c.text;
    EXPECT_EQ(c.zone, zone) << c.text;
  }
}

TEST(DatesParse, UtcValueOfTheSenderDate) {
  int zone = -1;
  const double sender = ParseDate("Mon, 1 Jan 2007 10:00:00 +0100", zone);
  const double utc = sender - zone / 1440.0;
  EXPECT_NEAR(Dt(2007, 1, 1, 9, 0, 0), utc, kSecond / 10);
}

TEST(DatesParse, RejectedBeforeTheZone) {
  // These fail before the zone is read: the zone stays as it was.
  const char* const cases[] = {
      "Mon, 1 Jan 07 10:00:00 +0100",        // two-digit year
      "Mon, 1 Jan 2007 10:00 +0100",         // no seconds
      "Mon, 32 Jan 2007 10:00:00 +0100",     // day out of range
      "Mon, 0 Jan 2007 10:00:00 +0100",
      "Mon, 1 Jan 1899 10:00:00 +0100",      // year out of range
      "Mon, 1 Jan 2201 10:00:00 +0100",
      "Mon, 1 Jan 2007 24:00:00 +0100",      // hour out of range
      "Mon, 1 Jan 2007 10:60:00 +0100",
      "Mon, 1 Jan 2007 10:00:60 +0100",
      "Mon, 1 Jan 2007 10:00:0x +0100",
      "Mon, 1 Jan 2007",                     // no time
      "Mon, Jan 1 2007 10:00:00 +0100",      // month before day
      "Mon,1 Jan 2007 10:00:00 +0100",       // the weekday swallows the day
      "",
      "   ",
      "garbage",
      "1",
  };
  for (const char* text : cases) {
    int zone = -1;
    EXPECT_EQ(0.0, ParseDate(text, zone)) << text;
    EXPECT_EQ(-1, zone) << text;
  }
}

TEST(DatesParse, RejectedAfterTheZone) {
  // An impossible day or an unknown month fails when the date is encoded,
  // after the zone has been read.
  const struct {
    const char* text;
    int zone;
  } cases[] = {
      {"Fri, 30 Feb 2007 10:00:00 +0000", 0},
      {"Thu, 29 Feb 2007 10:00:00 +0100", 60},
      {"Mon, 31 Apr 2007 10:00:00 EST", -300},
      {"Mon, 1 January 2007 10:00:00 +0100", 60},  // full month names are unknown
      {"Mon, 1 jan. 2007 10:00:00 +0100", 60},
  };
  for (const auto& c : cases) {
    int zone = -1;
    EXPECT_EQ(0.0, ParseDate(c.text, zone)) << c.text;
    EXPECT_EQ(c.zone, zone) << c.text;
  }
}

TEST(DatesParse, HostileInputNeverThrows) {
  std::string big(200000, '1');
  int zone = -1;
  EXPECT_EQ(0.0, ParseDate(big, zone));
  // A control byte before the zone is trimmed away with the blanks.
  EXPECT_DOUBLE_EQ(Dt(2007, 1, 1, 10, 0, 0),
                   ParseDate(std::string("Mon, 1 Jan 2007 10:00:00 \0+0100", 32), zone));
  EXPECT_EQ(60, zone);
  EXPECT_EQ(0.0, ParseDate("99999999999999999999 Jan 2007 10:00:00 +0100", zone));
  EXPECT_EQ(0.0, ParseDate("Mon, 1 Jan 2007 :: +0100", zone));
  EXPECT_EQ(0, ZoneOffset(std::string(100000, '(')));
}
