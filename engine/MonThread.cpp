#include "engine/MonThread.h"

#include "engine/CommandProcess.h"
#include "engine/ConnectionList.h"
#include "engine/CounterLog.h"
#include "engine/IpsForCheck.h"
#include "engine/Pinger.h"
#include "engine/ReportPacker.h"
#include "engine/TickCount.h"
#include "engine/UsedMemoryLog.h"
#include "platform/Exceptions.h"

namespace orvella {
namespace {

constexpr uint8_t stReadSettings = 1;
constexpr uint8_t stStartTrace = 2;
constexpr uint8_t stPackReport = 3;

constexpr uint32_t ConnectedPeriod = 1000;
constexpr uint32_t IdlePeriod = 60000;
constexpr uint32_t ResolvePeriod = 60000;
// Automatic traces are at least this far apart, however often the server fails.
constexpr uint32_t AutoTraceInterval = 30 * 60 * 1000;

class TMonThread {
public:
  TMonThread(const std::shared_ptr<IMonThreadOwner>& AOwner, const TMonThreadPlatform& APlatform)
      : FOwner(AOwner), FPlatform(APlatform), FCycle(APlatform.Ticks), FResolve(APlatform.Ticks),
        FAutoTrace(APlatform.Ticks), FConnections(APlatform.Tables) {}

  void Run();

private:
  template <typename TMonitor, typename... TArgs>
  TMonitor& Add(TArgs&&... AArgs) {
    auto monitor = std::make_unique<TMonitor>(std::forward<TArgs>(AArgs)...);
    TMonitor& result = *monitor;
    FMonitors.push_back(std::move(monitor));
    return result;
  }
  TPinger& AddPinger(TLogId ALogId) {
    return Add<TPinger>(ALogId, FPlatform.LogsDir, FPlatform.Clock, FPlatform.Icmp, FPlatform.Ticks);
  }

  void CreateMonitors();
  void PackReport();
  // One sampling cycle; true when it found a server outage that is due for
  // its automatic trace.
  bool SampleCycle();
  bool AutoTraceDue(bool AServerReported);
  void ResolveTargets();

  const std::shared_ptr<IMonThreadOwner>& FOwner;
  const TMonThreadPlatform& FPlatform;
  TIpsForCheck FTargets;
  TMonThreadSettings FSettings;
  TTickCount FCycle;
  TTickCount FResolve;
  // Restarted whenever an outage is given its trace.
  TTickCount FAutoTrace;
  bool FAutoTraced = false;
  // The server is in the reported error set and its outage has had its trace.
  bool FOutageTraced = false;
  // Freed in the opposite order: the trace first, the monitors last.
  std::vector<std::unique_ptr<TMonLog>> FMonitors;
  TPinger* FGateway = nullptr;
  TPinger* FGoogle = nullptr;
  TPinger* FRdp = nullptr;
  TConnectionList FConnections;
  bool FConnected = false;
  std::unique_ptr<TCommandProcess> FPathping;
};

void TMonThread::CreateMonitors() {
  FGateway = &AddPinger(TLogId::gateway);
  FGateway->SetIpDescr("gateway");
  FGoogle = &AddPinger(TLogId::google);
  FGoogle->SetIpDescr("google DNS");
  FRdp = &AddPinger(TLogId::rdp);
  Add<TCounterLog>(ProcessorTimeCounterPath, ProcessorTimeMax, TLogId::cpu, FPlatform.LogsDir, FPlatform.Clock,
                   FPlatform.Counters);
  Add<TUsedMemoryLog>(TLogId::ram, FPlatform.LogsDir, FPlatform.Clock, FPlatform.Counters);
  Add<TCounterLog>(DiskQueueCounterPath(), DiskQueueMax, TLogId::disk, FPlatform.LogsDir, FPlatform.Clock,
                   FPlatform.Counters);
}

void TMonThread::Run() {
  CreateMonitors();
  uint8_t state = stReadSettings;
  while (true) {
    switch (state) {
    case stReadSettings:
      FSettings = FOwner->GetSettings();
      break;
    case stStartTrace:
      if (!FPathping)
        FPathping =
            std::make_unique<TCommandProcess>(FPlatform.TraceCommand(FRdp->IpDescr()), FOwner->GetJobObject());
      break;
    case stPackReport:
      PackReport();
      break;
    default:
      if (SampleCycle()) {
        state = stStartTrace;
        continue;
      }
    }
    const platform::TOsHandle process = TCommandProcess::GetHandle(FPathping.get());
    const uint32_t timeout = FCycle.TimeLeft(FConnected ? ConnectedPeriod : IdlePeriod);
    state = FOwner->WaitSignal({sigTerminate, sigSettings, sigCollectReport, sigObject}, timeout, process);
    if (state == sigTerminate)
      return;
  }
}

void TMonThread::PackReport() {
  if (!FPathping)
    throw EAssertionFailed("The trace ended without a trace process", "MonThread");
  // The process is gone after this step, whether or not it succeeds.
  const std::unique_ptr<TCommandProcess> process = std::move(FPathping);
  for (const auto& monitor : FMonitors)
    monitor->Flush();
  const std::string output = process->GetOutput();
  CreateReport(FOwner, output, FPlatform.LogsDir, FPlatform.Clock, FPlatform.Ticks);
}

void TMonThread::ResolveTargets() {
  FResolve = FCycle;
  const std::string& server = FSettings.RdpServer;
  FRdp->SetIpDescr(server.substr(0, server.find(':')));
  FTargets = TIpsForCheck::Get(server, FPlatform.Resolver, FPlatform.Tables);
  FRdp->SetIp(FTargets.FRdpServer);
  FGoogle->SetIp(GoogleDnsIp);
  FConnections.Refresh();
  if (FConnections.IsConnectedTo(FTargets.FRdpServer, FTargets.FRdpPort)) {
    // A new connection starts with a clean history in every monitor.
    if (!FConnected)
      for (const auto& monitor : FMonitors)
        monitor->ClearErrors();
    FConnected = true;
  } else {
    FConnected = false;
  }
}

bool TMonThread::SampleCycle() {
  FCycle.Now();
  if (FResolve.TimeLeft(ResolvePeriod) == 0 || FSettings.RdpServer != FTargets.FDnsName)
    ResolveTargets();
  TLogIds errors;
  if (FConnected) {
    FGateway->SetIp(FTargets.Gateway());
    FGateway->SetNoTarget(FTargets.FNoRouter);
    TPinger::BeginPing(FMonitors, FSettings.LogRdp ? -1 : static_cast<int>(TLogId::rdp));
    for (const auto& monitor : FMonitors) {
      if (FOwner->WaitSignal({sigTerminate}, 0, 0) == sigTerminate)
        break;
      if (!FSettings.LogRdp && monitor.get() == FRdp)
        continue;
      if (!monitor->LogNewValue())
        errors.Include(monitor->LogId());
    }
  }
  if (errors.Empty())
    return AutoTraceDue(false);
  errors = MaskedErrors(errors);
  FOwner->ErrorOccured(errors);
  return AutoTraceDue(errors.Contains(TLogId::rdp));
}

// A lasting outage would otherwise be traced and packed again as soon as the
// last trace ended: one trace per outage, and none sooner than the interval
// after the last. An outage that begins too soon gets its trace once the
// interval has passed, if it still lasts. A trace that already runs (one the
// user asked for) serves the outage.
bool TMonThread::AutoTraceDue(bool AServerReported) {
  if (!AServerReported) {
    FOutageTraced = false;
    return false;
  }
  if (FOutageTraced || (FAutoTraced && FAutoTrace.TimeLeft(AutoTraceInterval) > 0))
    return false;
  FOutageTraced = true;
  FAutoTraced = true;
  FAutoTrace.Now();
  return true;
}

}  // namespace

TLogIds MaskedErrors(TLogIds AErrors) {
  if (AErrors.Contains(TLogId::gateway)) {
    AErrors.Exclude(TLogId::google);
    AErrors.Exclude(TLogId::rdp);
  } else if (AErrors.Contains(TLogId::google)) {
    AErrors.Exclude(TLogId::rdp);
  }
  return AErrors;
}

void MonThreadRun(const std::shared_ptr<IMonThreadOwner>& AOwner, const TMonThreadPlatform& APlatform) {
  TMonThread(AOwner, APlatform).Run();
}

void MonThreadRun(const std::shared_ptr<IMonThreadOwner>& AOwner) {
  const TLogsDir logsDir = TLogsDir::FromLocalAppData();
  MonThreadRun(AOwner, TMonThreadPlatform{.LogsDir = logsDir});
}

}  // namespace orvella
