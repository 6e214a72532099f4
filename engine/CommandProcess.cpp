#include "engine/CommandProcess.h"

namespace orvella {

TCommandProcess::TCommandProcess(const std::vector<std::string>& ACommand, platform::TOsHandle AJob)
    : FProcess(ACommand, AJob) {}

platform::TOsHandle TCommandProcess::GetHandle(const TCommandProcess* AProcess) {
  return AProcess ? AProcess->FProcess.Handle() : 0;
}

std::string TCommandProcess::GetOutput() { return FProcess.TakeOutput(); }

}  // namespace orvella
