#pragma once
// Dates and times as the system keeps them: a 64-bit float counting days since
// 30 December 1899, the fraction being the time of day.
#include <cstdint>
#include <string>

namespace orvella {

using TDateTime = double;

struct TDateParts {
  int Year = 0;
  int Month = 0;
  int Day = 0;
};

struct TTimeParts {
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

// True for a day of the proleptic Gregorian calendar between the years 1 and 9999.
bool IsValidDate(int AYear, int AMonth, int ADay);

// The whole-day number of a valid date; EConvertError for an invalid one.
TDateTime EncodeDate(int AYear, int AMonth, int ADay);
TDateTime EncodeTime(int AHour, int AMinute, int ASecond, int AMillisecond);

// Whole days of a date-time (the date part, without time).
TDateTime DateOf(TDateTime AValue);

TDateParts DecodeDate(TDateTime AValue);
TTimeParts DecodeTime(TDateTime AValue);

// "yyyy.mm.dd": the date part of file names.
std::string FormatFileDate(TDateTime AValue);
// "hh.nn.ss": the time part of report archive names.
std::string FormatFileTime(TDateTime AValue);
// "dd.mm.yyyy hh:nn:ss" with the given time separator: the time stamp of log lines.
std::string FormatLogTimeStamp(TDateTime AValue, const std::string& ATimeSeparator);

// Days and milliseconds since 1 January 1970 UTC, as the C library counts them.
TDateTime UnixMillisecondsToDateTime(int64_t AMilliseconds);

}  // namespace orvella
