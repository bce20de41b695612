// The date-time value: days since 1899-12-30 with the time of day as the
// fraction, its calendar edges, invalid dates and times, and seconds since
// 1970.
#include <gtest/gtest.h>

#include <string>

#include "base/date_time.h"

namespace quelta {
namespace {

double Dt(int y, int m, int d, int h = 0, int n = 0, int s = 0, int ms = 0) {
  double v = 0;
  EXPECT_TRUE(TryEncodeDateTime(y, m, d, h, n, s, ms, v)) << y << "-" << m << "-" << d;
  return v;
}

TEST(DateTime, KnownDaysRoundTrip) {
  const struct {
    int y, m, d;
    double value;
  } days[] = {
      {1899, 12, 30, 0},     {1899, 12, 31, 1},      {1900, 1, 1, 2},       {1970, 1, 1, 25569},
      {2007, 1, 1, 39083},   {2000, 2, 29, 36585},   {1899, 12, 29, -1},    {1, 1, 1, -693593},
      {9999, 12, 31, 2958465}, {1600, 2, 29, -109512}, {2038, 1, 19, 50424}, {2200, 3, 1, 109634},
  };
  for (const auto& c : days) {
    EXPECT_EQ(Dt(c.y, c.m, c.d), c.value) << c.y << "-" << c.m << "-" << c.d;
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.value);
    int y = 0, m = 0, d = 0;
    // Before the epoch the time of day is subtracted from the day.
    ASSERT_TRUE(DecodeDate(c.value < 0 ? c.value - 0.75 : c.value + 0.75, y, m, d));
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d) << c.value;
  }
  int y = 7, m = 7, d = 7;
  EXPECT_FALSE(DecodeDate(2958466, y, m, d));
  EXPECT_EQ(y + m + d, 0);
  EXPECT_FALSE(DecodeDate(-693594, y, m, d));
}

TEST(DateTime, InvalidDatesAndTimesLeaveTheOutputAlone) {
  const int bad[][3] = {{2007, 2, 29}, {1900, 2, 29}, {2007, 13, 1}, {2007, 0, 1},
                        {2007, 4, 31}, {2007, 1, 0},  {0, 1, 1},     {10000, 1, 1}};
  double v = 7;
  for (const auto& b : bad) EXPECT_FALSE(TryEncodeDate(b[0], b[1], b[2], v)) << b[0] << b[1] << b[2];
  EXPECT_EQ(EncodeDate(2007, 2, 30), 0.0);
  const int badTimes[][4] = {{24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000},
                             {-1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 0}, {0, 0, 0, -1}};
  for (const auto& t : badTimes) EXPECT_FALSE(TryEncodeTime(t[0], t[1], t[2], t[3], v));
  EXPECT_FALSE(TryEncodeDateTime(2007, 2, 29, 12, 0, 0, 0, v));
  EXPECT_FALSE(TryEncodeDateTime(2007, 2, 28, 24, 0, 0, 0, v));
  EXPECT_EQ(v, 7.0);
  EXPECT_TRUE(TryEncodeTime(23, 59, 59, 999, v));
  EXPECT_DOUBLE_EQ(v, 1.0 - 0.001 / 86400);
  const struct {
    int y, m, days;
  } months[] = {{2007, 1, 31}, {2007, 2, 28}, {2008, 2, 29}, {1900, 2, 28}, {2000, 2, 29},
                {2007, 4, 30}, {2007, 12, 31}, {2007, 0, 0},  {2007, 13, 0}};
  for (const auto& c : months) EXPECT_EQ(DaysInMonth(c.y, c.m), c.days) << c.y << "-" << c.m;
}

TEST(DateTime, TimeOfDay) {
  const struct {
    double value;
    int h, n, s, ms;
  } cases[] = {
      {Dt(2007, 1, 1, 23, 59, 59, 999), 23, 59, 59, 999},
      {Dt(2007, 1, 1, 10, 2, 3, 4), 10, 2, 3, 4},
      {Dt(1899, 12, 29, 6, 0, 0), 6, 0, 0, 0},  // before the epoch: the fraction's magnitude
      {0.5 + 0.4 / 86400000, 12, 0, 0, 0},     // rounded to the nearest millisecond
      {0.5 + 0.6 / 86400000, 12, 0, 0, 1},
      {1.0 - 0.1 / 86400000, 23, 59, 59, 999},  // never rounded up to the next day
  };
  for (const auto& c : cases) {
    int h, n, s, ms;
    DecodeTime(c.value, h, n, s, ms);
    EXPECT_EQ(((h * 100 + n) * 100 + s) * 1000 + ms, ((c.h * 100 + c.n) * 100 + c.s) * 1000 + c.ms)
        << c.value;
  }
  EXPECT_DOUBLE_EQ(Dt(1899, 12, 29, 6, 0, 0), -1.25);
}

TEST(DateTime, UnixSeconds) {
  EXPECT_EQ(UnixToDateTime(0), 25569.0);
  EXPECT_DOUBLE_EQ(UnixToDateTime(1167645600), Dt(2007, 1, 1, 10, 0, 0));
  EXPECT_EQ(DateTimeToUnix(Dt(2007, 1, 1, 10, 0, 0)), 1167645600);
  EXPECT_EQ(DateTimeToUnix(Dt(1969, 12, 31)), -86400);
  EXPECT_EQ(DateTimeToUnix(Dt(2007, 1, 1, 0, 0, 0, 600)), 1167609601);  // to the nearest second
}

}  // namespace
}  // namespace quelta
