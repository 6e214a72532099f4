#include "engine/LogsDir.h"

#include <optional>
#include <vector>

#include "engine/ArchiveInProgress.h"
#include "platform/Exceptions.h"
#include "platform/FileSystem.h"
#include "platform/SystemError.h"

namespace orvella {
namespace {

// Splits AText at every underscore.
std::vector<std::string> SplitAtUnderscores(const std::string& AText) {
  std::vector<std::string> parts(1);
  for (const char c : AText) {
    if (c == '_')
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

// Reads the leading decimal number of AText from APos, then drops everything up
// to and including the character that ended it. None when no digit leads.
std::optional<int> ReadLeadingNumber(const std::string& AText, size_t& APos) {
  int value = 0;
  size_t digits = 0;
  while (APos < AText.size() && AText[APos] >= '0' && AText[APos] <= '9') {
    if (++digits > 9)  // no valid year, month or day is that long
      return std::nullopt;
    value = value * 10 + (AText[APos] - '0');
    ++APos;
  }
  if (digits == 0)
    return std::nullopt;
  ++APos;
  return value;
}

bool IsLogIdName(const std::string& ANamePart) {
  for (const TLogId id : AllLogIds)
    if (platform::SameText(ANamePart, std::string(LogIdName(id))))
      return true;
  return false;
}

}  // namespace

TLogsDir::TLogsDir(std::string APath) : FPath(std::move(APath)) {}

TLogsDir TLogsDir::FromLocalAppData(std::optional<std::string> AFolder) {
  if (!AFolder)
    throw Exception("Unable to locate CSIDL_LOCAL_APPDATA");
  std::string folder = AFolder->substr(0, AFolder->find('\0'));
  if (!folder.empty() && (folder.back() == '/' || folder.back() == platform::PathDelim))
    folder.pop_back();
  return TLogsDir(folder + platform::PathDelim + "Orvella" + platform::PathDelim + "Logs");
}

std::string TLogsDir::FileName(std::string_view ANamePart, bool AIsArchive, TDateTime ADate) const {
  return FPath + platform::PathDelim + FormatFileDate(ADate) + "_" + std::string(ANamePart) +
         (AIsArchive ? ".zip" : ".log");
}

std::string TLogsDir::LogFileName(TLogId ALogId, TDateTime ADate) const {
  return FileName(LogIdName(ALogId), false, ADate);
}

void TLogsDir::ForceExists() const {
  // The logs and reports name the client's server: the folder is the user's alone.
  if (!platform::ForceDirectories(FPath) || !platform::RestrictToOwner(FPath))
    platform::RaiseLastOSError(FPath);
}

std::optional<TLogsDir::TNameParts> TLogsDir::ParseFileName(const std::string& AName) const {
  const size_t dot = AName.find_last_of('.');
  const std::vector<std::string> parts = SplitAtUnderscores(AName.substr(0, dot));
  if (parts.size() != 2)
    return std::nullopt;
  const std::string& dateText = parts[0];
  const std::string& namePart = parts[1];

  size_t pos = 0;
  const std::optional<int> year = ReadLeadingNumber(dateText, pos);
  const std::optional<int> month = year ? ReadLeadingNumber(dateText, pos) : std::nullopt;
  const std::optional<int> day = month ? ReadLeadingNumber(dateText, pos) : std::nullopt;
  if (!day || !IsValidDate(*year, *month, *day))
    return std::nullopt;

  const bool archive =
      AName.size() >= ExtMask.size() && platform::SameText(AName.substr(AName.size() - ExtMask.size()), "zip");
  if (!archive && !IsLogIdName(namePart))
    return std::nullopt;

  const TDateTime date = EncodeDate(*year, *month, *day);
  const std::string canonical = FileName(namePart, archive, date);
  if (!platform::SameText(AName, canonical.substr(FPath.size() + 1)))
    return std::nullopt;
  return TNameParts{namePart, date, archive};
}

void TLogsDir::EnumFiles(const TCallback& ACallback) const {
  if (!platform::DirectoryExists(FPath))
    return;
  const std::string pattern = "*_*." + std::string(ExtMask);
  for (const std::string& name : platform::ListFiles(FPath, pattern))
    if (const std::optional<TNameParts> parts = ParseFileName(name))
      ACallback(FPath + platform::PathDelim + name, parts->NamePart, parts->Date, parts->IsArchive);
}

void TLogsDir::RemovePackingLeftovers() const {
  // The zip writer writes the archive under a name of its own beside it and
  // renames it when done; a packing that was killed leaves that file behind.
  constexpr std::string_view Suffix = ".??????";
  for (const std::string& name : platform::ListFiles(FPath, "*_*.zip" + std::string(Suffix))) {
    const std::string archive = name.substr(0, name.size() - Suffix.size());
    const std::optional<TNameParts> parts = ParseFileName(archive);
    if (parts && parts->IsArchive && !TArchiveInProgress::Contains(FPath + platform::PathDelim + archive))
      platform::RemoveFile(FPath + platform::PathDelim + name);
  }
}

}  // namespace orvella
