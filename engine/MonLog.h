#pragma once
// The abstract monitor: takes one sample per call, appends it to the day's log
// file, judges it against the bounds and keeps the last 100 verdicts, from
// which the concrete monitor decides whether its problem persists.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "engine/LogId.h"
#include "engine/LogsDir.h"
#include "engine/SampleValue.h"
#include "platform/AppendFile.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"

namespace orvella {

class TMonLog {
public:
  enum class TValType : uint8_t { Clear, Ok, OutOfBounds, Error };

  // The lower bound of a monitor that has none.
  static constexpr double NoLowerBound = -1.7976931348623157e308;
  static constexpr size_t HistorySize = 100;

  virtual ~TMonLog();
  TMonLog(const TMonLog&) = delete;
  TMonLog& operator=(const TMonLog&) = delete;

  // Takes, logs and judges one sample; false when the monitor's problem persists.
  bool LogNewValue();
  // Commits the open log file to disk.
  void Flush();
  // Forgets every verdict; the log file stays as it is.
  void ClearErrors();

  TLogId LogId() const { return FLogId; }

protected:
  TMonLog(TLogId ALogId, double AMinValue, double AMaxValue, const TLogsDir& ALogsDir,
          const platform::IClock& AClock = platform::SystemClock());

  virtual void GetValue(TSampleValue& AValue) = 0;
  virtual void FormatLogText(const TSampleValue& AValue, TDateTime ATime, std::string& AText);
  virtual bool NeedNotifyAboutError();

  using TPredicate = std::function<bool(TValType AValue, int APosition)>;
  // Visits the verdicts from the oldest (position 0) to the newest and stops
  // at the first call that returns true; the result of the last call made.
  bool ScanValues(const TPredicate& APredicate) const;

  const double FMinValue;
  const double FMaxValue;
  const TLogId FLogId;

private:
  void OpenDay(TDateTime ADay);
  // Opens the file of FPrevDate, creating the folder when it is missing.
  void OpenFile();
  void ApplySevenDayRule() const;
  TValType Judge(const TSampleValue& AValue) const;

  const TLogsDir FLogsDir;
  const platform::IClock& FClock;
  std::unique_ptr<platform::TAppendFile> FStream;
  TDateTime FPrevDate = 0;
  std::deque<TValType> FQueue;
};

}  // namespace orvella
