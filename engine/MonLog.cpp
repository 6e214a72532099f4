#include "engine/MonLog.h"

#include "platform/Exceptions.h"
#include "platform/FileSystem.h"

namespace orvella {

TMonLog::TMonLog(TLogId ALogId, double AMinValue, double AMaxValue, const TLogsDir& ALogsDir,
                 const platform::IClock& AClock)
    : FMinValue(AMinValue), FMaxValue(AMaxValue), FLogId(ALogId), FLogsDir(ALogsDir), FClock(AClock) {}

TMonLog::~TMonLog() = default;

bool TMonLog::LogNewValue() {
  const TDateTime now = FClock.LocalNow();
  const TDateTime day = DateOf(now);
  // A day whose file could not be opened is tried again with the next sample.
  if (day != FPrevDate || !FStream)
    OpenDay(day);
  else if (!FStream->IsAtItsName())
    OpenFile();  // deleted or replaced meanwhile: the day's lines belong in the file of its name

  TSampleValue value;
  try {
    GetValue(value);
  } catch (const Exception& e) {
    value = std::string(e.ClassName()) + ": " + e.what();
  }

  std::string text;
  FormatLogText(value, now, text);
  FStream->Write(text);

  FQueue.push_back(Judge(value));
  if (FQueue.size() > HistorySize)
    FQueue.pop_front();
  return !NeedNotifyAboutError();
}

void TMonLog::OpenDay(TDateTime ADay) {
  FPrevDate = ADay;
  FStream.reset();
  ApplySevenDayRule();
  OpenFile();
}

void TMonLog::OpenFile() {
  FStream.reset();
  FLogsDir.ForceExists();
  FStream = std::make_unique<platform::TAppendFile>(FLogsDir.LogFileName(FLogId, FPrevDate));
}

void TMonLog::ApplySevenDayRule() const {
  // Keeps the new day and the six before it; a file dated in the future goes too.
  FLogsDir.EnumFiles([this](const std::string& AFullPath, const std::string&, TDateTime ADate, bool) {
    if (!(ADate > FPrevDate - 7 && ADate <= FPrevDate))
      platform::RemoveFile(AFullPath);
  });
  FLogsDir.RemovePackingLeftovers();
}

TMonLog::TValType TMonLog::Judge(const TSampleValue& AValue) const {
  if (AValue.IsEmpty())
    return TValType::Clear;
  if (!AValue.IsNumeric())
    return TValType::Error;
  const double number = AValue.AsDouble();
  if (number < FMinValue || number > FMaxValue)
    return TValType::OutOfBounds;
  return TValType::Ok;
}

void TMonLog::Flush() {
  if (FStream)
    FStream->Flush();
}

void TMonLog::ClearErrors() { FQueue.clear(); }

void TMonLog::FormatLogText(const TSampleValue& AValue, TDateTime ATime, std::string& AText) {
  const platform::TFormatSettings& settings = platform::UserFormatSettings();
  AText = FormatLogTimeStamp(ATime, settings.TimeSeparator) + " - " + AValue.ToText(settings) + "\r\n";
}

bool TMonLog::NeedNotifyAboutError() { return false; }

bool TMonLog::ScanValues(const TPredicate& APredicate) const {
  bool result = false;
  int position = 0;
  for (const TValType value : FQueue) {
    result = APredicate(value, position++);
    if (result)
      break;
  }
  return result;
}

}  // namespace orvella
