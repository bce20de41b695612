// The date-time value: days since 1899-12-30 with the time of day as the
// fraction, its calendar edges, invalid dates and times, and seconds since
// 1970.
#include <gtest/gtest.h>

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
  } days[] = {{1899, 12, 30, 0},       {1899, 12, 31, 1},       {1900, 1, 1, 2},
              {1970, 1, 1, 25569},     {2007, 1, 1, 39083},     {2000, 2, 29, 36585},
              {1899, 12, 29, -1},      {1, 1, 1, -693593},      {9999, 12, 31, 2958465},
              {1600, 2, 29, -109512},  {2038, 1, 19, 50424},    {2200, 3, 1, 109634}};
  for (const auto& c : days) {
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.value) << c.y << "-" << c.m << "-" << c.d;
    int y = 0, m = 0, d = 0;  // before the epoch the time of day is subtracted from the day
    ASSERT_TRUE(DecodeDate(c.value < 0 ? c.value - 0.75 : c.value + 0.75, y, m, d));
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d) << c.value;
  }
  int y = 7, m = 7, d = 7;
  EXPECT_FALSE(DecodeDate(2958466, y, m, d));
  EXPECT_EQ(y + m + d, 0);
  EXPECT_FALSE(DecodeDate(-693594, y, m, d));
}

TEST(DateTime, InvalidDatesAndTimesLeaveTheOutputAlone) {
  const int dates[][3] = {{2007, 2, 29}, {1900, 2, 29}, {2007, 13, 1}, {2007, 0, 1},
                          {2007, 4, 31}, {2007, 1, 0},  {0, 1, 1},     {10000, 1, 1}};
  const int times[][4] = {{24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000},
                          {-1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 0}, {0, 0, 0, -1}};
  double v = 7;
  for (const auto& d : dates) EXPECT_FALSE(TryEncodeDateTime(d[0], d[1], d[2], 0, 0, 0, 0, v)) << d[0] << d[1] << d[2];
  for (const auto& t : times) EXPECT_FALSE(TryEncodeDateTime(2007, 1, 1, t[0], t[1], t[2], t[3], v));
  EXPECT_EQ(v, 7.0);
  EXPECT_EQ(EncodeDate(2007, 2, 30), 0.0);
  EXPECT_EQ(DaysInMonth(2008, 2) * 100 + DaysInMonth(2100, 2), 2928);
}

TEST(DateTime, TimeOfDay) {
  const struct {
    double value;
    int hmsms;  // hh mm ss mmm
  } cases[] = {
      {Dt(2007, 1, 1, 23, 59, 59, 999), 235959999}, {Dt(2007, 1, 1, 10, 2, 3, 4), 100203004},
      {Dt(1899, 12, 29, 6, 0, 0), 60000000},  // before the epoch: the fraction's magnitude
      {0.5 + 0.4 / 86400000, 120000000},      // rounded to the nearest millisecond
      {0.5 + 0.6 / 86400000, 120000001},
      {1.0 - 0.1 / 86400000, 235959999},  // never rounded up to the next day
  };
  for (const auto& c : cases) {
    int h, n, s, ms;
    DecodeTime(c.value, h, n, s, ms);
    EXPECT_EQ(((h * 100 + n) * 100 + s) * 1000 + ms, c.hmsms) << c.value;
  }
  EXPECT_DOUBLE_EQ(Dt(1899, 12, 29, 6, 0, 0), -1.25);
  EXPECT_DOUBLE_EQ(Dt(1899, 12, 30, 23, 59, 59, 999), 1.0 - 0.001 / 86400);
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
