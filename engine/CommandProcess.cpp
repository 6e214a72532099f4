#include "engine/CommandProcess.h"

namespace orvella {

TCommandProcess::TCommandProcess(const std::vector<std::string>& ACommand, THandle AJob) : FProcess(ACommand, AJob) {}

THandle TCommandProcess::GetHandle(const TCommandProcess* AProcess) {
  return AProcess ? AProcess->FProcess.Handle() : 0;
}

std::string TCommandProcess::GetOutput() { return FProcess.TakeOutput(); }

}  // namespace orvella
