#include "platform/DateTime.h"

#include <cmath>
#include <cstdio>

#include "platform/Exceptions.h"

namespace orvella {
namespace {

constexpr int64_t MillisecondsPerDay = 86'400'000;

// Days since 1970-01-01 of a civil date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

TDateParts CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

const int64_t DaysFrom1970To1899 = DaysFromCivil(1899, 12, 30);

int DaysInMonth(int AYear, int AMonth) {
  static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (AYear % 4 == 0 && AYear % 100 != 0) || AYear % 400 == 0;
  return AMonth == 2 && leap ? 29 : Days[AMonth - 1];
}

// The whole day and the milliseconds into it. Before 1899 the day count is
// negative while the fraction still counts forward from midnight.
void Split(TDateTime AValue, int64_t& ADay, int64_t& AMs) {
  const double day = std::trunc(AValue);
  int64_t ms = std::llround(std::fabs(AValue - day) * MillisecondsPerDay);
  int64_t whole = static_cast<int64_t>(day);
  if (ms >= MillisecondsPerDay) {  // rounding up to the next midnight
    ms -= MillisecondsPerDay;
    whole += AValue < 0 ? -1 : 1;
  }
  ADay = whole;
  AMs = ms;
}

}  // namespace

bool IsValidDate(int AYear, int AMonth, int ADay) {
  return AYear >= 1 && AYear <= 9999 && AMonth >= 1 && AMonth <= 12 && ADay >= 1 &&
         ADay <= DaysInMonth(AYear, AMonth);
}

TDateTime EncodeDate(int AYear, int AMonth, int ADay) {
  if (!IsValidDate(AYear, AMonth, ADay))
    throw EConvertError("Invalid argument to date encode");
  return static_cast<double>(DaysFromCivil(AYear, static_cast<unsigned>(AMonth), static_cast<unsigned>(ADay)) -
                             DaysFrom1970To1899);
}

TDateTime EncodeTime(int AHour, int AMinute, int ASecond, int AMillisecond) {
  if (AHour < 0 || AHour > 23 || AMinute < 0 || AMinute > 59 || ASecond < 0 || ASecond > 59 || AMillisecond < 0 ||
      AMillisecond > 999)
    throw EConvertError("Invalid argument to time encode");
  return ((AHour * 60 + AMinute) * 60 + ASecond + AMillisecond / 1000.0) / 86400.0;
}

TDateTime DateOf(TDateTime AValue) {
  int64_t day, ms;
  Split(AValue, day, ms);
  return static_cast<double>(day);
}

TDateParts DecodeDate(TDateTime AValue) {
  int64_t day, ms;
  Split(AValue, day, ms);
  return CivilFromDays(day + DaysFrom1970To1899);
}

TTimeParts DecodeTime(TDateTime AValue) {
  int64_t day, ms;
  Split(AValue, day, ms);
  TTimeParts t;
  t.Millisecond = static_cast<int>(ms % 1000);
  const int64_t seconds = ms / 1000;
  t.Second = static_cast<int>(seconds % 60);
  t.Minute = static_cast<int>(seconds / 60 % 60);
  t.Hour = static_cast<int>(seconds / 3600);
  return t;
}

std::string FormatFileDate(TDateTime AValue) {
  const TDateParts d = DecodeDate(AValue);
  char text[32];
  std::snprintf(text, sizeof text, "%04d.%02d.%02d", d.Year, d.Month, d.Day);
  return text;
}

std::string FormatFileTime(TDateTime AValue) {
  const TTimeParts t = DecodeTime(AValue);
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%02d", t.Hour, t.Minute, t.Second);
  return text;
}

std::string FormatLogTimeStamp(TDateTime AValue, const std::string& ATimeSeparator) {
  const TDateParts d = DecodeDate(AValue);
  const TTimeParts t = DecodeTime(AValue);
  char date[32], hh[8], nn[8], ss[8];
  std::snprintf(date, sizeof date, "%02d.%02d.%04d ", d.Day, d.Month, d.Year);
  std::snprintf(hh, sizeof hh, "%02d", t.Hour);
  std::snprintf(nn, sizeof nn, "%02d", t.Minute);
  std::snprintf(ss, sizeof ss, "%02d", t.Second);
  return std::string(date) + hh + ATimeSeparator + nn + ATimeSeparator + ss;
}

TDateTime UnixMillisecondsToDateTime(int64_t AMilliseconds) {
  // Floor division keeps times before 1970 on the right day.
  int64_t days = AMilliseconds / MillisecondsPerDay;
  int64_t ms = AMilliseconds % MillisecondsPerDay;
  if (ms < 0) {
    ms += MillisecondsPerDay;
    --days;
  }
  const int64_t day = days - DaysFrom1970To1899;
  const double fraction = static_cast<double>(ms) / MillisecondsPerDay;
  // Before 1899 the fraction is added to the magnitude, as the day count runs backwards.
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

}  // namespace orvella
