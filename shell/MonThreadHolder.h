#pragma once
// The owner of the monitor thread: runs the monitoring loop on a thread of
// its own, carries stop, settings and report requests to it as signals, and
// brings its error sets and report names back to the GUI thread.
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/LogIds.h"
#include "engine/MonThreadOwner.h"
#include "engine/MonThreadSettings.h"
#include "engine/Signals.h"

namespace orvella {

// What the tray module sees of the holder.
class IMonThreadHolder {
public:
  virtual ~IMonThreadHolder() = default;
  virtual void BeginTerminate() = 0;
  virtual void BeginCollectReport() = 0;
  virtual void SetSettings(const TMonThreadSettings& ASettings) = 0;
  // The latest settings given; the GUI thread reads them without the lock.
  virtual const TMonThreadSettings& Settings() const = 0;
};

// The process-wide job that the monitor's children join; 0 when none could be
// set up. Made at the first call, which the start-up work makes before any
// window exists; closed when the process ends, which ends every child still in it.
platform::TOsHandle JobObject();

class TMonThreadHolder final : public IMonThreadHolder,
                               public IMonThreadOwner,
                               public std::enable_shared_from_this<TMonThreadHolder> {
public:
  using TOnError = std::function<void(TLogIds)>;
  using TOnReportCreated = std::function<void(const std::string&)>;
  // The body of the worker: the monitoring loop.
  using TRunLoop = std::function<void(const std::shared_ptr<IMonThreadOwner>&)>;
  // What the final step does with an exception that escaped the loop: show
  // it, and then, once the worker's reference is gone, ask the application to
  // terminate. The request goes to whoever ends the application in order:
  // nothing else may end the event loop.
  struct TFailureHooks {
    std::function<void(const std::exception_ptr&)> Report;
    std::function<void()> Terminate;
  };
  // The standard exception report, then ARequestTerminate.
  static TFailureHooks ApplicationFailureHooks(std::function<void()> ARequestTerminate);

  // On the GUI thread only. Starts the worker on ARunLoop (the monitoring loop
  // on the system's services when empty); the holder lives until both the
  // result and the worker's final step have let go of it.
  static std::shared_ptr<TMonThreadHolder> Create(const TMonThreadSettings& ASettings, TOnError AOnError,
                                                  TOnReportCreated AOnReportCreated, TRunLoop ARunLoop,
                                                  TFailureHooks AHooks);
  // True when no holder exists, not even one that is still stopping.
  static bool AllowTerminate();

  // On the GUI thread; waits for the worker's real end.
  ~TMonThreadHolder() override;

  // IMonThreadHolder, GUI thread.
  void BeginTerminate() override;
  void BeginCollectReport() override;
  void SetSettings(const TMonThreadSettings& ASettings) override;
  const TMonThreadSettings& Settings() const override { return FSettings; }

  // IMonThreadOwner, worker thread.
  TMonThreadSettings GetSettings() override;
  void ErrorOccured(TLogIds ALogIds) override;
  void ReportCreated(const std::string& AFileName) override;
  platform::TOsHandle GetJobObject() override;
  uint8_t WaitSignal(const TSigSet& AIndices, uint32_t ATimeout, platform::TOsHandle AObj) override;

  struct TPrivate;
  TMonThreadHolder(TPrivate, const TMonThreadSettings& ASettings, TOnError AOnError,
                   TOnReportCreated AOnReportCreated);

private:
  void Start(TRunLoop ARunLoop, TFailureHooks AHooks);
  // Hands AResult to the GUI thread, where it is dropped once termination
  // has been requested.
  void QueueResult(std::function<void(TMonThreadHolder&)> AResult);

  static int FInstanceCount;

  // The GUI thread, where the holder was made and must be destroyed.
  const std::thread::id FGuiThread;
  std::thread FThread;
  TSignals FSignals;
  TMonThreadSettings FSettings;
  const TOnError FOnError;
  const TOnReportCreated FOnReportCreated;
  std::mutex FSettingsLock;
};

}  // namespace orvella
