#pragma once
// A problem report archive in the log folder: the daily logs of the last seven
// days and the output of the route trace, each entry Deflate-compressed.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ArchiveInProgress.h"
#include "engine/LogsDir.h"
#include "engine/MonThreadOwner.h"
#include "engine/TickCount.h"
#include "platform/Clock.h"
#include "platform/RouteTracer.h"
#include "platform/TickSource.h"

struct zip;

namespace orvella {

class TReportPacker {
public:
  // AConsoleCharset: the character set of the trace output.
  TReportPacker(std::shared_ptr<IMonThreadOwner> AOwner, const TLogsDir& ALogsDir, const platform::IClock& AClock,
                const platform::ITickSource& ATicks, std::string AConsoleCharset = platform::ConsoleCharset());
  ~TReportPacker();
  TReportPacker(const TReportPacker&) = delete;
  TReportPacker& operator=(const TReportPacker&) = delete;

  // Names the archive after the local time, opens it and adds the logs dated
  // from six days ago to today. The files are streamed, never loaded whole.
  void AddLogs();
  // Adds the trace output as the last entry and writes the archive. When a
  // termination request interrupts the writing, the archive is abandoned and
  // FileName becomes empty; any other failure empties it and is raised.
  void FinalizeReport(std::string_view APathpingOemBytes);

  const std::string& FileName() const { return FFileName; }

  struct TLogSource;

private:
  struct TZipCloser {
    void operator()(zip* AZip) const;
  };

  // Polls the owner's termination signal at most every 250 ms while the
  // archive is written; true abandons the archive.
  bool ZipProgress();
  static int ZipCancel(zip* AZip, void* APacker);
  [[noreturn]] void RaiseZipError(const std::string& AWhat);

  // Declared before FZip, so that it outlives the zip writer's side file.
  std::optional<TArchiveInProgress> FInProgress;
  std::unique_ptr<zip, TZipCloser> FZip;
  std::shared_ptr<IMonThreadOwner> FOwner;
  std::string FFileName;
  TTickCount FLastExitCheck;
  const TLogsDir FLogsDir;
  const platform::IClock& FClock;
  const std::string FConsoleCharset;
  std::string FTrace;
  bool FAborted = false;
};

// Flushed logs and the trace in one archive, whose name (or "" when the
// archive was abandoned for termination) goes to AOwner's ReportCreated.
void CreateReport(const std::shared_ptr<IMonThreadOwner>& AOwner, std::string_view APathpingOemBytes,
                  const TLogsDir& ALogsDir, const platform::IClock& AClock, const platform::ITickSource& ATicks);

}  // namespace orvella
