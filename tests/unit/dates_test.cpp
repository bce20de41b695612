// The date-time value: days, times, leap years and Unix seconds. (The date
// texts and zones of messages are tested in tests/message/dates_test.cpp.)
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/date_time.h"

using namespace quelta;

namespace {

double Dt(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  double v = 0;
  EXPECT_TRUE(TryEncodeDateTime(y, m, d, h, n, s, 0, v));
  return v;
}

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
