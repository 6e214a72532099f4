#include "report/MailHeaders.h"

#include <QByteArray>
#include <chrono>
#include <cstdio>

namespace orvella {

std::string EncodedWords(const std::string& AText) {
  // 45 bytes make 60 Base64 characters, 72 with "=?UTF-8?B?" and "?=".
  constexpr size_t MaxChunk = 45;
  std::string result;
  size_t start = 0;
  while (start < AText.size()) {
    size_t end = std::min(start + MaxChunk, AText.size());
    // Never cut a multi-byte character: back off over continuation bytes.
    while (end < AText.size() && end > start + 1 && (static_cast<unsigned char>(AText[end]) & 0xC0) == 0x80)
      --end;
    const QByteArray chunk(AText.data() + start, static_cast<qsizetype>(end - start));
    if (!result.empty())
      result += ' ';
    result += "=?UTF-8?B?" + chunk.toBase64().toStdString() + "?=";
    start = end;
  }
  return result;
}

std::string MailDate(std::time_t ATime) {
  using namespace std::chrono;
  static constexpr const char* DayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* MonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const sys_seconds time{seconds{ATime}};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss<seconds> clock{time - day};
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02u %s %04d %02d:%02d:%02d +0000", DayNames[weekday{day}.c_encoding()],
                static_cast<unsigned>(date.day()), MonthNames[static_cast<unsigned>(date.month()) - 1],
                static_cast<int>(date.year()), static_cast<int>(clock.hours().count()),
                static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()));
  return text;
}

}  // namespace orvella
