#include "shell/MonThreadHolder.h"

#include <cstdio>
#include <cstdlib>

#include "engine/MonThread.h"
#include "platform/Exceptions.h"
#include "platform/JobObject.h"
#include "base/ExceptionReport.h"
#include "base/GuiQueue.h"

namespace orvella {
namespace {

constexpr uint8_t SignalCount = 3;

void RequireGuiThread(const char* AWhat) {
  if (!OnGuiThread())
    throw EAssertionFailed(std::string(AWhat) + " off the GUI thread", "MonThreadHolder");
}

}  // namespace

struct TMonThreadHolder::TPrivate {};

int TMonThreadHolder::FInstanceCount = 0;

platform::TOsHandle JobObject() {
  static const platform::TJobObject job;
  return job.Handle();
}

TMonThreadHolder::TFailureHooks TMonThreadHolder::ApplicationFailureHooks(std::function<void()> ARequestTerminate) {
  return {ShowExceptionReport, std::move(ARequestTerminate)};
}

TMonThreadHolder::TMonThreadHolder(TPrivate, const TMonThreadSettings& ASettings, TOnError AOnError,
                                   TOnReportCreated AOnReportCreated)
    : FGuiThread(std::this_thread::get_id()), FSignals(SignalCount), FSettings(ASettings),
      FOnError(std::move(AOnError)), FOnReportCreated(std::move(AOnReportCreated)) {}

std::shared_ptr<TMonThreadHolder> TMonThreadHolder::Create(const TMonThreadSettings& ASettings, TOnError AOnError,
                                                           TOnReportCreated AOnReportCreated, TRunLoop ARunLoop,
                                                           TFailureHooks AHooks) {
  RequireGuiThread("Create");
  // Counted from before the first step, so that a failing construction, whose
  // destructor lowers the count again, leaves it as it was.
  ++FInstanceCount;
  std::shared_ptr<TMonThreadHolder> holder;
  try {
    holder =
        std::make_shared<TMonThreadHolder>(TPrivate{}, ASettings, std::move(AOnError), std::move(AOnReportCreated));
  } catch (...) {
    --FInstanceCount;
    throw;
  }
  holder->Start(ARunLoop ? std::move(ARunLoop) : TRunLoop([](const auto& AOwner) { MonThreadRun(AOwner); }),
                std::move(AHooks));
  return holder;
}

void TMonThreadHolder::Start(TRunLoop ARunLoop, TFailureHooks AHooks) {
  // The worker's reference keeps the holder alive until its final step has
  // run on the GUI thread, after every result it queued before.
  std::shared_ptr<IMonThreadOwner> owner = shared_from_this();
  FThread = std::thread([owner = std::move(owner), run = std::move(ARunLoop), hooks = std::move(AHooks)]() mutable {
    std::exception_ptr failure;
    try {
      run(owner);
    } catch (...) {
      failure = std::current_exception();
    }
    QueueToGuiThread([owner = std::move(owner), failure, hooks = std::move(hooks)]() mutable {
      if (failure)
        hooks.Report(failure);
      owner.reset();
      if (failure)
        hooks.Terminate();
    });
  });
}

bool TMonThreadHolder::AllowTerminate() { return FInstanceCount == 0; }

TMonThreadHolder::~TMonThreadHolder() {
  if (std::this_thread::get_id() != FGuiThread) {
    std::fputs("TMonThreadHolder destroyed off the GUI thread (MonThreadHolder)\n", stderr);
    std::abort();
  }
  --FInstanceCount;
  if (FThread.joinable()) {
    if (FSignals.Wait({sigTerminate}, 0, 0) != sigTerminate) {
      std::fputs("TMonThreadHolder destroyed before BeginTerminate (MonThreadHolder)\n", stderr);
      std::abort();
    }
    FThread.join();
  }
}

void TMonThreadHolder::BeginTerminate() { FSignals.SetSignal(sigTerminate, true); }

void TMonThreadHolder::BeginCollectReport() { FSignals.SetSignal(sigCollectReport, true); }

void TMonThreadHolder::SetSettings(const TMonThreadSettings& ASettings) {
  {
    const std::lock_guard lock(FSettingsLock);
    FSettings = ASettings;
  }
  // Raised after the store: a worker copying meanwhile sees the signal again.
  FSignals.SetSignal(sigSettings, true);
}

TMonThreadSettings TMonThreadHolder::GetSettings() {
  // Cleared before the copy: a change that lands during the copy raises it anew.
  FSignals.SetSignal(sigSettings, false);
  const std::lock_guard lock(FSettingsLock);
  return FSettings;
}

void TMonThreadHolder::QueueResult(std::function<void(TMonThreadHolder&)> AResult) {
  // Uncounted: the queue runs in order and the worker's final step, which
  // releases the worker's reference, is queued after every result.
  TMonThreadHolder* const holder = this;
  QueueToGuiThread([holder, result = std::move(AResult)] {
    if (holder->WaitSignal({sigTerminate}, 0, 0) != sigTerminate)
      result(*holder);
  });
}

void TMonThreadHolder::ErrorOccured(TLogIds ALogIds) {
  QueueResult([ALogIds](TMonThreadHolder& AHolder) {
    if (AHolder.FOnError)
      AHolder.FOnError(ALogIds);
  });
}

void TMonThreadHolder::ReportCreated(const std::string& AFileName) {
  QueueResult([AFileName](TMonThreadHolder& AHolder) {
    if (AHolder.FOnReportCreated)
      AHolder.FOnReportCreated(AFileName);
  });
}

platform::TOsHandle TMonThreadHolder::GetJobObject() { return JobObject(); }

uint8_t TMonThreadHolder::WaitSignal(const TSigSet& AIndices, uint32_t ATimeout, platform::TOsHandle AObj) {
  uint8_t result = FSignals.Wait(AIndices, ATimeout, AObj);
  // Termination wins, also over a signal that won only because sigTerminate
  // was raised a moment after it.
  if (result != sigTerminate && AIndices.Contains(sigTerminate) && AIndices.Contains(result) &&
      FSignals.Wait({sigTerminate}, 0, 0) == sigTerminate)
    result = sigTerminate;
  if (result == sigCollectReport)
    FSignals.SetSignal(sigCollectReport, false);
  return result;
}

}  // namespace orvella
