// DateTime: the date-time value used everywhere in the plug-in: a double
// counting days since 30 December 1899 00:00, the time of day being the
// fraction (0 means "no date"). Proleptic Gregorian calendar, years 1..9999.
//
// Promises: nothing here throws; the Try* functions return false and leave
// the output untouched on invalid input; Decode* of values outside the
// supported range give zeros.
#pragma once

#include <cstdint>

namespace quelta {

// Days between 1899-12-30 and 1970-01-01.
constexpr double kUnixDateDelta = 25569.0;
constexpr double kSecsPerDay = 86400.0;

// True for Gregorian leap years.
bool IsLeapYear(int year);
// Days in month 1..12 of year; 0 for an invalid month.
int DaysInMonth(int year, int month);

// Date value of y-m-d (whole days) into out; false when the date does not exist.
bool TryEncodeDate(int year, int month, int day, double& out);
// Time-of-day fraction of h:n:s.ms into out; false unless 0<=h<24, n,s<60, ms<1000.
bool TryEncodeTime(int hour, int min, int sec, int msec, double& out);
// Date plus time of day into out (time added away from the epoch for dates
// before 1899-12-30, as the system's value does); false when either is invalid.
bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec,
                       int msec, double& out);
// Encoded date, or 0 when invalid.
double EncodeDate(int year, int month, int day);

// Calendar date of a value; false (and zeros) when outside years 1..9999.
bool DecodeDate(double dt, int& year, int& month, int& day);
// Time of day of a value, rounded to the nearest millisecond.
void DecodeTime(double dt, int& hour, int& min, int& sec, int& msec);

// Date-time value of seconds since 1970-01-01 00:00 on the same clock.
double UnixToDateTime(std::int64_t secs);
// Seconds since 1970-01-01 00:00 of a date-time value (rounded to the
// nearest second).
std::int64_t DateTimeToUnix(double dt);

}  // namespace quelta
