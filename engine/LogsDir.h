#pragma once
// The log folder: the names of the daily log files and report archives in it,
// their enumeration, and the folder's creation.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/LogId.h"
#include "platform/DateTime.h"
#include "platform/FileSystem.h"

namespace orvella {

class TLogsDir {
public:
  // The extension part of the folder's file pattern.
  static constexpr std::string_view ExtMask = "???";

  // AFolder without a trailing delimiter.
  explicit TLogsDir(std::string APath);
  // AFolder, the user's local application-data folder, followed by "Orvella"
  // and "Logs"; "Unable to locate CSIDL_LOCAL_APPDATA" when there is none.
  static TLogsDir FromLocalAppData(std::optional<std::string> AFolder = platform::LocalAppDataFolder());

  const std::string& Path() const { return FPath; }

  // Path, a delimiter, "yyyy.mm.dd", "_", ANamePart and ".zip" or ".log".
  std::string FileName(std::string_view ANamePart, bool AIsArchive, TDateTime ADate) const;
  std::string LogFileName(TLogId ALogId, TDateTime ADate) const;

  // Creates the folder with any missing parents, or narrows an existing one of
  // the user's, for the user alone; the system's error otherwise.
  void ForceExists() const;

  using TCallback = std::function<void(const std::string& AFullPath, const std::string& ANamePart, TDateTime ADate,
                                       bool AIsArchive)>;
  // Reports every file of the folder whose name FileName could have produced,
  // in listing order. An exception of ACallback ends the enumeration.
  void EnumFiles(const TCallback& ACallback) const;

  // Deletes the side files (an archive's name, a dot and six characters) that
  // the zip writer leaves when packing is cut off, those of archives that this
  // process is writing now excepted.
  void RemovePackingLeftovers() const;

private:
  struct TNameParts {
    std::string NamePart;
    TDateTime Date = 0;
    bool IsArchive = false;
  };
  // The parts of a file name that FileName could have produced; none for another.
  std::optional<TNameParts> ParseFileName(const std::string& AName) const;

  std::string FPath;
};

}  // namespace orvella
