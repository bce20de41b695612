#include "base/date_time.h"

#include <cmath>

namespace quelta {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (valid input assumed).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

constexpr std::int64_t kMinDay = -693593;  // 0001-01-01
constexpr std::int64_t kMaxDay = 2958465;  // 9999-12-31

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return (month == 2 && IsLeapYear(year)) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, double& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  out = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month),
                                          static_cast<unsigned>(day)) +
                            static_cast<std::int64_t>(kUnixDateDelta));
  return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, double& out) {
  if (hour < 0 || hour >= 24 || min < 0 || min >= 60 || sec < 0 || sec >= 60 || msec < 0 ||
      msec >= 1000)
    return false;
  out = (((hour * 60.0 + min) * 60.0 + sec) * 1000.0 + msec) / (kSecsPerDay * 1000.0);
  return true;
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec,
                       double& out) {
  double d = 0, t = 0;
  if (!TryEncodeDate(year, month, day, d) || !TryEncodeTime(hour, min, sec, msec, t))
    return false;
  out = d < 0 ? d - t : d + t;
  return true;
}

double EncodeDate(int year, int month, int day) {
  double d = 0;
  return TryEncodeDate(year, month, day, d) ? d : 0.0;
}

bool DecodeDate(double dt, int& year, int& month, int& day) {
  year = month = day = 0;
  if (!std::isfinite(dt)) return false;
  const double whole = std::trunc(dt);
  if (whole < static_cast<double>(kMinDay) || whole > static_cast<double>(kMaxDay))
    return false;
  CivilFromDays(static_cast<std::int64_t>(whole) - static_cast<std::int64_t>(kUnixDateDelta),
                year, month, day);
  return true;
}

void DecodeTime(double dt, int& hour, int& min, int& sec, int& msec) {
  hour = min = sec = msec = 0;
  if (!std::isfinite(dt)) return;
  double frac = std::fabs(dt - std::trunc(dt));
  auto ms = static_cast<std::int64_t>(std::llround(frac * kSecsPerDay * 1000.0));
  if (ms >= 86400000) ms = 86399999;
  hour = static_cast<int>(ms / 3600000);
  min = static_cast<int>(ms / 60000 % 60);
  sec = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

double UnixToDateTime(std::int64_t secs) {
  return static_cast<double>(secs) / kSecsPerDay + kUnixDateDelta;
}

std::int64_t DateTimeToUnix(double dt) {
  if (!std::isfinite(dt)) return 0;
  return static_cast<std::int64_t>(std::llround((dt - kUnixDateDelta) * kSecsPerDay));
}

}  // namespace quelta
