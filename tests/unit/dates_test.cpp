// Date texts, zone names and offsets, and the date-time value: the dates a
// message claims must land on the right day, second and zone, and every
// malformed date must give 0 without touching the zone when it fails early.
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

TEST(DateTimeValue, KnownDays) {
  EXPECT_EQ(0.0, Dt(1899, 12, 30));
  EXPECT_EQ(1.0, Dt(1899, 12, 31));
  EXPECT_EQ(2.0, Dt(1900, 1, 1));
  EXPECT_EQ(25569.0, Dt(1970, 1, 1));
  EXPECT_EQ(39083.0, Dt(2007, 1, 1));
  EXPECT_EQ(36585.0, Dt(2000, 2, 29));
  EXPECT_EQ(-1.0, Dt(1899, 12, 29));
  EXPECT_EQ(-693593.0, Dt(1, 1, 1));
  EXPECT_EQ(2958465.0, Dt(9999, 12, 31));
}

TEST(DateTimeValue, InvalidDatesAndTimes) {
  double v = 7;
  EXPECT_FALSE(TryEncodeDate(2007, 2, 29, v));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, v));  // century, not leap
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, v));   // every 400 years leap
  v = 7;
  EXPECT_FALSE(TryEncodeDate(2007, 13, 1, v));
  EXPECT_FALSE(TryEncodeDate(2007, 0, 1, v));
  EXPECT_FALSE(TryEncodeDate(2007, 4, 31, v));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, v));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, v));
  EXPECT_EQ(7.0, v);  // untouched on failure
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, v));
  EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, v));
  EXPECT_FALSE(TryEncodeTime(0, 0, 60, 0, v));
  EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, v));
  EXPECT_FALSE(TryEncodeTime(-1, 0, 0, 0, v));
  EXPECT_TRUE(TryEncodeTime(12, 0, 0, 0, v));
  EXPECT_EQ(0.5, v);
  EXPECT_EQ(0.0, EncodeDate(2007, 2, 30));
}

TEST(DateTimeValue, DaysInMonthAndLeapYears) {
  const struct {
    int y, m, days;
  } cases[] = {{2007, 1, 31}, {2007, 2, 28}, {2008, 2, 29}, {1900, 2, 28}, {2000, 2, 29},
               {2007, 4, 30}, {2007, 12, 31}, {2007, 0, 0},  {2007, 13, 0}};
  for (const auto& c : cases) EXPECT_EQ(c.days, DaysInMonth(c.y, c.m)) << c.y << "-" << c.m;
  EXPECT_TRUE(IsLeapYear(2004));
  EXPECT_FALSE(IsLeapYear(2100));
}

TEST(DateTimeValue, DecodeRoundTrip) {
  const int dates[][3] = {{1, 1, 1},     {1600, 2, 29}, {1899, 12, 29}, {1899, 12, 30},
                          {1970, 1, 1},  {2000, 2, 29}, {2007, 12, 31}, {2038, 1, 19},
                          {2200, 3, 1},  {9999, 12, 31}};
  for (const auto& d : dates) {
    double v = 0;
    ASSERT_TRUE(TryEncodeDate(d[0], d[1], d[2], v));
    int y, m, dd;
    // Before the epoch the time of day is subtracted from the day.
    ASSERT_TRUE(DecodeDate(v < 0 ? v - 0.75 : v + 0.75, y, m, dd));
    EXPECT_EQ(d[0], y);
    EXPECT_EQ(d[1], m);
    EXPECT_EQ(d[2], dd);
  }
  int h, n, s, ms;
  DecodeTime(Dt(2007, 1, 1, 23, 59, 59), h, n, s, ms);
  EXPECT_EQ(23, h);
  EXPECT_EQ(59, n);
  EXPECT_EQ(59, s);
  EXPECT_EQ(0, ms);
  // Before the epoch the time of day is the fraction's magnitude.
  const double before = Dt(1899, 12, 29, 6, 0, 0);
  EXPECT_DOUBLE_EQ(-1.25, before);
  DecodeTime(before, h, n, s, ms);
  EXPECT_EQ(6, h);
  int y, m, d;
  EXPECT_FALSE(DecodeDate(1e9, y, m, d));
  EXPECT_EQ(2, DayOfWeek(Dt(2007, 1, 1)));  // a Monday
  EXPECT_EQ(7, DayOfWeek(0));               // 1899-12-30, a Saturday
}

TEST(DateTimeValue, UnixSeconds) {
  EXPECT_EQ(25569.0, UnixToDateTime(0));
  EXPECT_DOUBLE_EQ(Dt(2007, 1, 1, 10, 0, 0), UnixToDateTime(1167645600));
  EXPECT_EQ(1167645600, DateTimeToUnix(Dt(2007, 1, 1, 10, 0, 0)));
  EXPECT_EQ(-86400, DateTimeToUnix(Dt(1969, 12, 31)));
  EXPECT_EQ(0, DateTimeToUnix(UnixToDateTime(0)));
}

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
